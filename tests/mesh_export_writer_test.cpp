// mesh_export_writer_test.cpp - the Mesh Exporter's frame writer against the whole-record writer: frames
// of many pieces, quads, short tags and computed velocities give the same bytes.
#include "host_test.h"
#include "test_support.h"

#include "c4d_polygon.h"
#include "mesh_bin.h"
#include "mesh_build.h"
#include "mesh_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A mesh and its tags as plain arrays, so that the expected file can be built without the exporter.
struct MeshData
{
	std::vector<Vector> points;
	std::vector<CPolygon> polygons;
	std::vector<UVWStruct> uvw; // may be shorter than the polygons
	std::vector<std::vector<Float32>> weights; // may be shorter than the points
	std::vector<Float32> speed[3];
};

// n points and m polygons, every other one a quad; the tags fall short of the mesh here and there.
MeshData MakeMesh(Int32 n, Int32 m, Int32 weight_maps)
{
	MeshData d;
	for (Int32 i = 0; i < n; ++i)
		d.points.push_back(Vector(i * 0.37, (i % 101) * -1.5, (i % 7) * 1000.25));
	for (Int32 p = 0; p < m; ++p)
	{
		const Int32 a = (p * 7) % n;
		d.polygons.push_back(p % 2 ? CPolygon(a, (a + 1) % n, (a + 2) % n) : CPolygon(a, (a + 1) % n, (a + 2) % n, (a + 3) % n));
	}
	for (Int32 p = 0; p < m - 1000; ++p)
		d.uvw.push_back(UVWStruct(Vector(p * 1e-5, 0.25, 0.5), Vector(0.5, p * 2e-5, 1.0), Vector(0.75, 0.125, p * 3e-6), Vector(1e-3, 0.9, 0.0)));
	d.weights.resize(static_cast<size_t>(weight_maps));
	for (Int32 k = 0; k < weight_maps; ++k)
		for (Int32 i = 0; i < n - 100 * k; ++i)
			d.weights[size_t(k)].push_back(static_cast<Float32>((i + k) % 97) * 0.01f);
	for (Int32 c = 0; c < 3; ++c)
		d.speed[c].assign(static_cast<size_t>(c == 1 ? n / 2 : n), 0.5f * (c + 1));
	return d;
}

PolygonObject* MakeObject(const MeshData& d)
{
	PolygonObject* op = PolygonObject::Alloc(Int32(d.points.size()), Int32(d.polygons.size()));
	std::copy(d.points.begin(), d.points.end(), op->GetPointW());
	std::copy(d.polygons.begin(), d.polygons.end(), op->GetPolygonW());
	BaseTag* last = nullptr;
	auto append = [&](BaseTag* tag, const std::string& name) {
		tag->SetName(String(name));
		op->InsertTag(tag, last);
		last = tag;
	};
	UVWTag* uvw = UVWTag::Alloc(Int32(d.uvw.size()));
	for (size_t p = 0; p < d.uvw.size(); ++p)
		UVWTag::Set(uvw->GetDataAddressW(), Int32(p), d.uvw[p]);
	append(uvw, TW_MESH_UV);
	auto map = [&](const std::vector<Float32>& values, const std::string& name) {
		VertexMapTag* tag = VertexMapTag::Alloc(Int32(values.size()));
		std::copy(values.begin(), values.end(), tag->GetDataAddressW());
		append(tag, name);
	};
	for (size_t k = 0; k < d.weights.size(); ++k)
		map(d.weights[k], "TW_Mesh_Weight_" + std::to_string(k + 1));
	for (Int32 c = 0; c < 3; ++c)
		map(d.speed[c], TW_MESH_SPEED_XYZ[c]);
	return op;
}

Float32 At(const std::vector<Float32>& v, Int32 i)
{
	return i < Int32(v.size()) ? v[size_t(i)] : 0.0f;
}

// The frame written by the whole-record writer from a record filled corner by corner in polygon order.
std::string ExpectedFile(const MeshData& d, const MeshExportOptions& o, const MeshNextPositions& next, Int32 fps, const std::string& path)
{
	const Int32 n = Int32(d.points.size());
	Int32 faces = 0;
	for (const CPolygon& q : d.polygons)
		faces += q.c != q.d ? 2 : 1;
	const Int32 w = d.weights.empty() ? 1 : Int32(d.weights.size());
	MeshBinFile* r = MeshBinCreate(path.c_str());
	EXPECT_EQ(MeshBinAllocate(r, n, faces, w, o.texture, o.velocity), 1);
	const Int32 computed = o.compute_velocity ? std::min(n, Int32(next.size() / 3)) : 0;
	for (Int32 i = 0; i < n; ++i)
	{
		MeshVertex& v = r->vertices[i];
		const Float xyz[3] = {d.points[i].x, d.points[i].y, d.points[i].z};
		for (Int32 c = 0; c < 3; ++c)
			v.position[c] = static_cast<float>(xyz[c] * 0.01);
		for (Int32 k = 0; o.texture && k + 1 < w; ++k)
			v.weights[k] = At(d.weights[size_t(k)], i);
		for (Int32 c = 0; o.velocity && c < 3; ++c)
			v.velocity[c] = i < computed ? static_cast<float>((Float(next[size_t(3 * i + c)]) - Float(v.position[c])) * fps) : At(d.speed[c], i);
	}
	MeshFace* f = r->faces;
	auto corner = [&](Int32 point, const Vector& t) {
		r->vertices[point].texture[0] = static_cast<float>(t.x);
		r->vertices[point].texture[1] = static_cast<float>(1.0 - t.y);
		r->vertices[point].texture[2] = static_cast<float>(t.z);
	};
	for (size_t p = 0; p < d.polygons.size(); ++p)
	{
		const CPolygon& q = d.polygons[p];
		*f++ = MeshFace{{uint32_t(q.a), uint32_t(q.b), uint32_t(q.c)}};
		if (q.c != q.d)
			*f++ = MeshFace{{uint32_t(q.a), uint32_t(q.c), uint32_t(q.d)}};
		if (o.texture && p < d.uvw.size())
		{
			corner(q.a, d.uvw[p].a);
			corner(q.b, d.uvw[p].b);
			corner(q.c, d.uvw[p].c);
			if (q.c != q.d)
				corner(q.d, d.uvw[p].d);
		}
	}
	EXPECT_EQ(MeshBinWrite(r), 1);
	MeshBinFree(r);
	return ReadFile(path);
}

class MeshExportWriterBytes : public HostTest
{
protected:
	TempDir out;
};

TEST_F(MeshExportWriterBytes, FramesOfManyPiecesMatchTheWholeRecordWriter)
{
	MeshExportWriter writer;
	char reason[256];
	const std::string path = out / "frame.bin";
	struct Frame
	{
		Int32 points, polygons, weight_maps;
		bool texture, velocity, compute;
	};
	// One writer for all frames and one path: arrays and file are reused, a smaller frame after a larger one.
	const Frame frames[] = {{200000, 180000, 3, true, true, true}, {150001, 170001, 1, true, true, false},
		{120000, 90000, 0, false, true, false}, {5000, 4000, 2, true, false, false}, {0, 0, 0, true, true, false}};
	for (const Frame& fr : frames)
	{
		SCOPED_TRACE(fr.points);
		const MeshData d = MakeMesh(fr.points, fr.polygons, fr.weight_maps);
		PolygonObject* op = MakeObject(d);
		MeshExportOptions o;
		o.texture = fr.texture;
		o.velocity = fr.velocity;
		o.compute_velocity = fr.compute;
		MeshNextPositions next;
		// the next frame has fewer points: the rest keep their speed maps
		for (Int32 i = 0; fr.compute && i < fr.points - 500; ++i)
			for (Int32 c = 0; c < 3; ++c)
				next.push_back(static_cast<Float32>(i * 0.01 + c));
		ASSERT_TRUE(writer.Write(op, o, next, 30, path.c_str(), reason)) << reason;
		const std::string written = ReadFile(path);
		const std::string expected = ExpectedFile(d, o, next, 30, out / "expected.bin");
		EXPECT_EQ(written.size(), expected.size());
		EXPECT_TRUE(written == expected);
		BaseObject* obj = op;
		BaseObject::Free(obj);
	}
}

// Fault guarded: a mesh without points whose UVW tag still has entries was refused as out of memory.
TEST_F(MeshExportWriterBytes, AnEmptyMeshWithTextureEntriesIsWritten)
{
	MeshData d;
	d.uvw.assign(3, UVWStruct(Vector(0.5), Vector(0.5), Vector(0.5), Vector(0.5)));
	PolygonObject* op = MakeObject(d);
	MeshExportWriter writer;
	char reason[256];
	const MeshExportOptions o;
	ASSERT_TRUE(writer.Write(op, o, MeshNextPositions(), 25, (out / "empty.bin").c_str(), reason)) << reason;
	EXPECT_EQ(ReadFile(out / "empty.bin"), ExpectedFile(d, o, MeshNextPositions(), 25, out / "expected.bin"));
	BaseObject* obj = op;
	BaseObject::Free(obj);
}

// The texture coordinates are gathered while the mesh is checked: a corner outside the mesh must be
// passed over there, and the frame refused.
TEST_F(MeshExportWriterBytes, APolygonOutsideTheMeshIsRefusedWithItsTextureTag)
{
	MeshData d = MakeMesh(1000, 800, 1);
	d.polygons[700] = CPolygon(5, 6, 1000000, 7);
	PolygonObject* op = MakeObject(d);
	MeshExportWriter writer;
	char reason[256];
	EXPECT_FALSE(writer.Write(op, MeshExportOptions(), MeshNextPositions(), 25, (out / "bad.bin").c_str(), reason));
	EXPECT_STREQ(reason, "polygon 700 refers to a point outside the mesh's 1000 points");
	EXPECT_FALSE(FileExists(out / "bad.bin"));
	BaseObject* obj = op;
	BaseObject::Free(obj);
}

} // namespace
