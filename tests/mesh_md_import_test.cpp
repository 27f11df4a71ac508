// mesh_md_import_test.cpp - .md and chunked frames through the Mesh Importer: channels as maps, texture,
// motion, enabling, and a stored chunked type building what a mesh .bin of the same content builds.
#include "host_test.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_build.h"
#include "mesh_chunk.h"
#include "mesh_md.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace
{

// Vertex i at (i, 2i, 3i) m moving at (1, 0, 0) m/s, normal (0, 3, 4), vorticity (i, 0, 0), density
// 0.5 i, identity 10 + i, texture (0.25, 0.75, 0) for vertex 0; faces (f, f + 1, f + 2) mod V.
std::vector<MdVertex> Vertices(int32_t count, float x0 = 0.0f)
{
	std::vector<MdVertex> v(static_cast<size_t>(count), MdVertex{});
	for (int32_t i = 0; i < count; ++i)
	{
		v[i].position[0] = x0 + i;
		v[i].position[1] = 2.0f * i;
		v[i].position[2] = 3.0f * i;
		v[i].velocity[0] = 1.0f;
		v[i].normal[1] = 3.0f;
		v[i].normal[2] = 4.0f;
		v[i].vorticity[0] = float(i);
		v[i].density = 0.5f * i;
		v[i].identity = 10.0f + i;
		v[i].texture[0] = i == 0 ? 0.25f : 0.1f;
		v[i].texture[1] = i == 0 ? 0.75f : 0.2f;
	}
	return v;
}

std::vector<MeshFace> Faces(int32_t faces, int32_t vertices)
{
	std::vector<MeshFace> f(static_cast<size_t>(faces));
	for (int32_t k = 0; k < faces; ++k)
		for (int c = 0; c < 3; ++c)
			f[k].index[c] = static_cast<uint32_t>((k + c) % vertices);
	return f;
}

// "vort" is no name of the table: its stored id makes it the vorticity channel.
const std::vector<MdWriteChannel> kChannels = {{"position", MD_POSITION, MESH_MD_VALUE_VECTOR},
	{"velocity", MD_VELOCITY, MESH_MD_VALUE_VECTOR}, {"normal", MD_NORMAL, MESH_MD_VALUE_VECTOR},
	{"texture", MD_TEXTURE, MESH_MD_VALUE_VECTOR}, {"density", MD_DENSITY, MESH_MD_VALUE_SCALAR},
	{"vort", MD_VORTICITY, MESH_MD_VALUE_VECTOR}, {"identity", MD_IDENTITY, MESH_MD_VALUE_SCALAR}};

bool WriteMd(const std::string& path, const std::vector<MdVertex>& v, const std::vector<MeshFace>& f,
	const std::vector<MdWriteChannel>& channels = kChannels)
{
	return MdWrite(path.c_str(), "fluid", 1, channels.data(), static_cast<int32_t>(channels.size()), v.data(),
			   static_cast<int32_t>(v.size()), f.data(), static_cast<int32_t>(f.size())) == 1;
}

const Float32* Map(const BaseObject* op, const char* name)
{
	const VertexMapTag* tag = static_cast<const VertexMapTag*>(FindTag(op, Tvertexmap, name));
	return tag ? tag->GetDataAddressR() : nullptr;
}

std::vector<std::string> Tags(const BaseObject* op, Int32 type)
{
	std::vector<std::string> names;
	for (BaseTag* t = op->GetFirstTag(); t; t = t->GetNext())
		if (t->GetType() == type)
			names.push_back(t->GetName().Get());
	return names;
}

class MdImport : public HostTest
{
protected:
	std::string PathOf(const std::string& name, int frame, const char* extension)
	{
		char file[96];
		std::snprintf(file, sizeof file, "%s%05d%s", name.c_str(), frame, extension);
		return dir / file;
	}
	BaseObject* AddImporter(const std::string& path)
	{
		BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(path)));
		return op;
	}
	PolygonObject* EvaluateAt(BaseObject* op, Float seconds)
	{
		doc->SetTime(BaseTime(seconds * 1000.0, 1000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		return static_cast<PolygonObject*>(op->GetCache());
	}

	TempDir dir;
};

TEST_F(MdImport, ChannelsBecomeMapsLastChannelFirstAndTheTextureIsNotFlipped)
{
	const std::string path = PathOf("drop_", 0, ".md");
	ASSERT_TRUE(WriteMd(path, Vertices(4), Faces(2, 4)));
	BaseObject* op = AddImporter(path);
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_MI_TYPE), CACHE_MESH_MD);
	BaseContainer* bc = op->GetDataInstance();
	bc->SetFloat(TW_MI_MD_DENSITY_SCALE, 2.0);
	bc->SetFloat(TW_MI_MD_NORMAL_SCALE, 0.5);
	bc->SetVector(TW_MI_POINT_OFFSET, Vector(100, 0, 0));

	PolygonObject* built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	ASSERT_EQ(built->GetPointCount(), 4);
	ASSERT_EQ(built->GetPolygonCount(), 2);
	EXPECT_EQ(built->GetPointR()[3], Vector(200, 600, 900));
	const CPolygon& p = built->GetPolygonR()[1];
	EXPECT_EQ((std::vector<Int32>{p.a, p.b, p.c, p.d}), (std::vector<Int32>{1, 2, 3, 3}));

	// identity, vorticity, density, normal, velocity: from channel 15 down to 1, magnitudes by default
	const std::vector<std::string> maps = {"identity", "vort", "density", "normal", "velocity"};
	EXPECT_EQ(Tags(built, Tvertexmap), maps);
	EXPECT_EQ(Tags(op, Tvertexmap), maps);
	EXPECT_FLOAT_EQ(Map(built, "identity")[2], 12.0f);
	EXPECT_FLOAT_EQ(Map(built, "vort")[3], 3.0f);
	EXPECT_FLOAT_EQ(Map(built, "density")[3], 3.0f);
	EXPECT_FLOAT_EQ(Map(built, "normal")[0], 2.5f); // |(0, 3, 4)| x 0.5
	EXPECT_FLOAT_EQ(Map(built, "velocity")[1], 1.0f);

	UVWTag* uvw = static_cast<UVWTag*>(FindTag(built, Tuvw, TW_MESH_UV));
	ASSERT_NE(uvw, nullptr);
	UVWStruct corners;
	UVWTag::Get(uvw->GetDataAddressR(), 0, corners);
	EXPECT_EQ(corners.a, Vector(0.25, 0.75, 0.0));
	EXPECT_NEAR(corners.b.y, 0.2, 1e-6);
	EXPECT_EQ(corners.d, corners.c);
	EXPECT_NE(FindTag(op, Tuvw, TW_MESH_UV), nullptr);
}

TEST_F(MdImport, SwitchesMagnitudesAndScalesShapeTheMaps)
{
	const std::string path = PathOf("swirl_", 0, ".md");
	ASSERT_TRUE(WriteMd(path, Vertices(4), Faces(2, 4)));
	BaseObject* op = AddImporter(path);
	ASSERT_NE(EvaluateAt(op, 0.0), nullptr);
	headless::UserSetParameter(op, TW_MI_MD_VORTICITY_MAGNITUDE, GeData(false));
	headless::UserSetParameter(op, TW_MI_MD_VORTICITY_SCALE, GeData(3.0));
	headless::UserSetParameter(op, TW_MI_MD_VELOCITY, GeData(false));
	PolygonObject* built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	EXPECT_EQ(Tags(built, Tvertexmap), (std::vector<std::string>{"identity", "vortX", "vortY", "vortZ", "density", "normal"}));
	EXPECT_FLOAT_EQ(Map(built, "vortX")[2], 6.0f);
	EXPECT_FLOAT_EQ(Map(built, "vortY")[2], 0.0f);
	// the switched-off channel's placeholder, and the old length map, leave the generator; the
	// placeholders it kept stay where they stood
	EXPECT_EQ(Tags(op, Tvertexmap), (std::vector<std::string>{"identity", "density", "normal", "vortX", "vortY", "vortZ"}));
}

TEST_F(MdImport, ChannelParametersAreEnabledOnlyForChannelsTheFrameHas)
{
	const std::string path = PathOf("enable_", 0, ".md");
	ASSERT_TRUE(WriteMd(path, Vertices(4), Faces(2, 4)));
	BaseObject* op = AddImporter(path);
	// nothing loaded yet: nothing to enable
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_MD_VELOCITY));
	ASSERT_NE(EvaluateAt(op, 0.0), nullptr);
	struct Case
	{
		Int32 id;
		bool enabled;
	} cases[] = {{TW_MI_MD_VELOCITY, true}, {TW_MI_MD_VELOCITY_MAGNITUDE, true}, {TW_MI_MD_VELOCITY_SCALE, true},
		{TW_MI_MD_FORCE, false}, {TW_MI_MD_FORCE_MAGNITUDE, false}, {TW_MI_MD_FORCE_SCALE, false},
		{TW_MI_MD_TEXTURE, true}, {TW_MI_MD_TEXTURE_SCALE, true}, {TW_MI_MD_VORTICITY, true},
		{TW_MI_MD_AGE, false}, {TW_MI_MD_AGE_SCALE, false}, {TW_MI_MD_IDENTITY, true}, {TW_MI_SCALE, true}};
	for (const Case& c : cases)
		EXPECT_EQ(headless::IsEnabled(op, c.id), c.enabled) << c.id;
	// A channel switched off takes its magnitude switch and scale with it, not itself.
	headless::UserSetParameter(op, TW_MI_MD_VELOCITY, GeData(false));
	EXPECT_TRUE(headless::IsEnabled(op, TW_MI_MD_VELOCITY));
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_MD_VELOCITY_MAGNITUDE));
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_MD_VELOCITY_SCALE));
}

TEST_F(MdImport, SequencePlaysEveryFrameAndMovesPointsByTheVelocitySlot)
{
	for (int k = 0; k < 3; ++k)
		ASSERT_TRUE(WriteMd(PathOf("flow_", k, ".md"), Vertices(4 + k, float(k)), Faces(2 + k, 4 + k)));
	BaseObject* op = AddImporter(PathOf("flow_", 1, ".md"));
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_MI_LAST_FRAME), 2);
	for (int k = 0; k < 3; ++k)
	{
		PolygonObject* built = EvaluateAt(op, k / 25.0);
		ASSERT_NE(built, nullptr);
		EXPECT_EQ(built->GetPointCount(), 4 + k);
		EXPECT_EQ(built->GetPolygonCount(), 2 + k);
		EXPECT_DOUBLE_EQ(built->GetPointR()[0].x, 100.0 * k);
	}
	// 0.01 s after frame 1 at 1 m/s: one centimetre on
	PolygonObject* built = EvaluateAt(op, 0.05);
	ASSERT_NE(built, nullptr);
	EXPECT_NEAR(built->GetPointR()[0].x, 101.0, 1e-6);
	// half the faces
	headless::UserSetParameter(op, TW_MI_FACE_PERCENT, GeData(Int32(50)));
	built = EvaluateAt(op, 2 / 25.0);
	ASSERT_NE(built, nullptr);
	EXPECT_EQ(built->GetPolygonCount(), 2);
}

TEST_F(MdImport, PositionsAreTakenAsTheyAreWithoutTheNaNRuleOfBinFrames)
{
	std::vector<MdVertex> v = Vertices(3);
	v[1].position[0] = std::numeric_limits<float>::quiet_NaN();
	const std::string path = PathOf("nan_", 0, ".md");
	ASSERT_TRUE(WriteMd(path, v, Faces(1, 3)));
	BaseObject* op = AddImporter(path);
	PolygonObject* built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	EXPECT_TRUE(std::isnan(built->GetPointR()[1].x));
	EXPECT_DOUBLE_EQ(built->GetPointR()[1].y, 200.0);
}

// A chunked file of the same content as a mesh .bin: points, triangles, texture, speed and weights.
TEST_F(MdImport, StoredChunkedTypeBuildsWhatTheSameMeshBinBuilds)
{
	const std::string bin_path = PathOf("same_", 0, ".bin");
	const std::string chunk_path = PathOf("chunk_", 0, ".bin");
	MeshBinFile* f = MeshBinCreate(bin_path.c_str());
	ASSERT_NE(f, nullptr);
	ASSERT_TRUE(MeshBinAllocate(f, 5, 3, 3, true, true));
	for (int32_t i = 0; i < 5; ++i)
	{
		MeshVertex& v = f->vertices[i];
		v.position[0] = float(i);
		v.position[2] = -0.5f * i;
		v.velocity[1] = 0.04f * i;
		v.texture[0] = 0.1f * i;
		v.texture[1] = 0.75f;
		v.weights[0] = 0.25f;
		v.weights[1] = 0.125f * i;
	}
	for (int32_t k = 0; k < 3; ++k)
		f->faces[k] = MeshFace{{uint32_t(k), uint32_t(k + 2), uint32_t(k + 1)}};
	ASSERT_EQ(MeshChunkWrite(f, chunk_path.c_str()), 1);
	ASSERT_EQ(MeshBinWrite(f), 1);
	MeshBinFree(f);

	BaseObject* bin = AddImporter(bin_path);
	BaseObject* chunked = AddImporter(chunk_path);
	// the user's stored type: the file check cannot tell a chunked file
	chunked->GetDataInstance()->SetInt32(TW_MI_TYPE, CACHE_MESH_CHUNK);
	doc->SetTime(BaseTime(0.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	PolygonObject* a = static_cast<PolygonObject*>(bin->GetCache());
	PolygonObject* b = static_cast<PolygonObject*>(chunked->GetCache());
	ASSERT_NE(a, nullptr);
	ASSERT_NE(b, nullptr);
	ASSERT_EQ(b->GetPointCount(), a->GetPointCount());
	ASSERT_EQ(b->GetPolygonCount(), a->GetPolygonCount());
	for (Int32 i = 0; i < a->GetPointCount(); ++i)
		EXPECT_EQ(b->GetPointR()[i], a->GetPointR()[i]) << i;
	for (Int32 k = 0; k < a->GetPolygonCount(); ++k)
	{
		const CPolygon& pa = a->GetPolygonR()[k];
		const CPolygon& pb = b->GetPolygonR()[k];
		EXPECT_EQ((std::vector<Int32>{pb.a, pb.b, pb.c, pb.d}), (std::vector<Int32>{pa.a, pa.b, pa.c, pa.d})) << k;
	}
	EXPECT_EQ(Tags(b, Tvertexmap), Tags(a, Tvertexmap));
	EXPECT_EQ(Tags(b, Tuvw), Tags(a, Tuvw));
	for (const std::string& name : Tags(a, Tvertexmap))
		for (Int32 i = 0; i < a->GetPointCount(); ++i)
			EXPECT_NEAR(Map(b, name.c_str())[i], Map(a, name.c_str())[i], 1e-6) << name << " " << i;
	UVWStruct ca, cb;
	UVWTag::Get(static_cast<UVWTag*>(FindTag(a, Tuvw, TW_MESH_UV))->GetDataAddressR(), 2, ca);
	UVWTag::Get(static_cast<UVWTag*>(FindTag(b, Tuvw, TW_MESH_UV))->GetDataAddressR(), 2, cb);
	EXPECT_EQ(cb.b, ca.b);
}

} // namespace
