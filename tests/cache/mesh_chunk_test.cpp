// mesh_chunk_test.cpp - chunked mesh frames: points, polygons and maps, the writer's round trips, damaged
// files, memory, and frames recycled through the frame cache.
#include "cache_types.h"
#include "mesh_chunk.h"
#include "mesh_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace
{

using Point = std::array<float, 3>;

FileBytes Chunk(const char* id, const FileBytes& body)
{
	FileBytes b;
	b.Raw(std::string(id, 4)).BeU32(static_cast<uint32_t>(body.Size())).Append(body);
	return b;
}

FileBytes ChunkFile(const std::vector<FileBytes>& chunks)
{
	FileBytes body;
	for (const FileBytes& c : chunks)
		body.Append(c);
	FileBytes b;
	b.Raw("FORM").BeU32(static_cast<uint32_t>(body.Size() + 4)).Raw("MESH").Append(body);
	return b;
}

FileBytes& Index(FileBytes& b, uint32_t index)
{
	if (index < 0xFF00)
		return b.BeU16(static_cast<uint16_t>(index));
	return b.BeU32(0xFF000000u | index);
}

FileBytes Points(const std::vector<Point>& points)
{
	FileBytes b;
	for (const Point& p : points)
		b.BeF32(p[0]).BeF32(p[1]).BeF32(p[2]);
	return Chunk("PNTS", b);
}

// n points at (i, 2i, 3i).
FileBytes Points(int n)
{
	std::vector<Point> points;
	for (int i = 0; i < n; ++i)
		points.push_back({float(i), 2.0f * i, 3.0f * i});
	return Points(points);
}

FileBytes Polygons(const std::vector<std::vector<uint32_t>>& polygons, uint16_t flags = 0, const char* type = "FACE")
{
	FileBytes b;
	b.Raw(std::string(type, 4));
	for (const std::vector<uint32_t>& corners : polygons)
	{
		b.BeU16(static_cast<uint16_t>(corners.size() | flags));
		for (uint32_t c : corners)
			Index(b, c);
	}
	return Chunk("POLS", b);
}

struct Entry
{
	uint32_t index;
	std::vector<float> values;
};

FileBytes Map(const char* type, uint16_t dimension, const std::string& name, const std::vector<Entry>& entries)
{
	FileBytes b;
	b.Raw(std::string(type, 4)).BeU16(dimension).Raw(name).Raw({0});
	if ((name.size() + 1) % 2)
		b.Raw({0});
	for (const Entry& e : entries)
	{
		Index(b, e.index);
		for (float v : e.values)
			b.BeF32(v);
	}
	return Chunk("VMAP", b);
}

class ChunkFileTest : public ::testing::Test
{
protected:
	TempDir dir;
	std::string path = dir.File("frame.chunk");
	int64_t baseline = CacheLiveAllocations();
	MeshHandle* handle = nullptr;

	// The record read from bytes, or null when the read failed.
	const MeshBinFile* Read(const FileBytes& bytes)
	{
		MeshHandleFree(handle);
		WriteBytes(path, bytes.b);
		handle = MeshHandleOpen(path.c_str(), CACHE_MESH_CHUNK);
		if (!handle)
			return nullptr;
		const int ok = MeshHandleRead(handle, 100.0f);
		MeshHandleCloseFile(handle);
		if (!ok)
		{
			EXPECT_EQ(MeshHandleVertexCount(handle), 0);
			EXPECT_EQ(MeshHandleFaceCount(handle), 0);
			MeshHandleFree(handle);
			handle = nullptr;
		}
		return MeshHandleBinFile(handle);
	}

	void TearDown() override
	{
		MeshHandleFree(handle);
		EXPECT_EQ(CacheLiveAllocations(), baseline);
	}
};

TEST_F(ChunkFileTest, PointsTrianglesAndTheMeshBinRecord)
{
	const MeshBinFile* m = Read(ChunkFile({Chunk("TAGS", FileBytes().Raw("abc")), Points(4),
		Polygons({{0, 1, 2}, {3, 2, 1}})}));
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->magic, MESH_BIN_MAGIC);
	EXPECT_EQ(m->version, MESH_BIN_VERSION);
	EXPECT_EQ(m->header_marker, MESH_BIN_HEADER_MARKER);
	EXPECT_EQ(m->texture_marker, 0u);
	EXPECT_EQ(m->velocity_marker, 0u);
	ASSERT_EQ(m->vertex_count, 4);
	ASSERT_EQ(m->kept_face_count, 2);
	EXPECT_EQ(m->face_count, 2);
	EXPECT_EQ(m->kept_index_count, 6);
	EXPECT_EQ(m->weight_count, 1);
	EXPECT_EQ(m->vertices[3].position[2], 9.0f);
	EXPECT_EQ(m->vertices[3].weights[0], 1.0f);
	EXPECT_EQ(m->faces[1].index[0], 3u);
	EXPECT_EQ(m->faces[1].index[2], 1u);
}

TEST_F(ChunkFileTest, PolygonsBecomeTriangleFans)
{
	struct Case
	{
		const char* what;
		std::vector<std::vector<uint32_t>> polygons;
		uint16_t flags;
		std::vector<std::array<uint32_t, 3>> faces;
	};
	const std::vector<Case> cases = {
		{"a quad", {{0, 1, 2, 3}}, 0, {{0, 1, 2}, {0, 2, 3}}},
		{"a pentagon", {{4, 0, 1, 2, 3}}, 0, {{4, 0, 1}, {4, 1, 2}, {4, 2, 3}}},
		{"points and lines make no face", {{1}, {0, 2}, {2, 3, 4}}, 0, {{2, 3, 4}}},
		{"flags above the corner count", {{0, 1, 2, 3}}, 0xFC00, {{0, 1, 2}, {0, 2, 3}}},
		{"no polygons", {}, 0, {}},
	};
	for (const Case& c : cases)
	{
		const MeshBinFile* m = Read(ChunkFile({Points(5), Polygons(c.polygons, c.flags)}));
		ASSERT_NE(m, nullptr) << c.what;
		ASSERT_EQ(m->kept_face_count, static_cast<int32_t>(c.faces.size())) << c.what;
		for (size_t i = 0; i < c.faces.size(); ++i)
			for (int k = 0; k < 3; ++k)
				EXPECT_EQ(m->faces[i].index[k], c.faces[i][k]) << c.what << ", face " << i;
	}
}

TEST_F(ChunkFileTest, LongIndexFormAddressesPointsAboveTheShortRange)
{
	// 0xFF 0x01 0x02 0x03 is point 66051.
	FileBytes speed;
	speed.Raw("MORF").BeU16(3).Raw("Speed").Raw({0}).Raw({0xFF, 0x01, 0x02, 0x03});
	speed.BeF32(0.04f).BeF32(0.0f).BeF32(0.0f);
	const MeshBinFile* m = Read(ChunkFile({Points(66052), Chunk("VMAP", speed)}));
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->velocity_marker, MESH_BIN_VELOCITY_MARKER);
	EXPECT_FLOAT_EQ(m->vertices[66051].velocity[0], 1.0f);
	EXPECT_EQ(m->vertices[66050].velocity[0], 0.0f);
}

TEST_F(ChunkFileTest, MapsFillTextureVelocityAndWeights)
{
	const MeshBinFile* m = Read(ChunkFile({Points(3),
		Map("WGHT", 1, "foam", {{1, {0.2f}}, {2, {0.6f}}}),
		Map("WGHT", 1, "spray", {{1, {0.3f}}}),
		Map("TXUV", 2, "TW UV Mapping", {{0, {0.25f, 0.75f}}, {7, {9.0f, 9.0f}}}),
		Map("TXUV", 3, "TW UV Mapping extra", {{2, {0.1f, 0.2f, 0.3f}}}),
		Map("TXUV", 2, "other uv", {{1, {5.0f, 5.0f}}}),
		Map("MORF", 3, "Speedy", {{2, {0.04f, -0.08f, 0.0f}}}),
		Map("MORF", 3, "position", {{1, {5.0f, 5.0f, 5.0f}}}),
		Map("PICK", 0, "selection", {{0, {}}})}));
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->texture_marker, MESH_BIN_TEXTURE_MARKER);
	ASSERT_EQ(m->weight_count, 3);
	struct Expected
	{
		std::array<float, 3> weights, texture, velocity;
	};
	const Expected expected[3] = {
		{{0.0f, 0.0f, 1.0f}, {0.25f, 0.75f, 0.0f}, {0.0f, 0.0f, 0.0f}},
		{{0.2f, 0.3f, 0.5f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
		{{0.6f, 0.0f, 0.4f}, {0.1f, 0.2f, 0.3f}, {1.0f, -2.0f, 0.0f}},
	};
	for (int i = 0; i < 3; ++i)
		for (int k = 0; k < 3; ++k)
		{
			EXPECT_FLOAT_EQ(m->vertices[i].weights[k], expected[i].weights[k]) << i << " " << k;
			EXPECT_FLOAT_EQ(m->vertices[i].texture[k], expected[i].texture[k]) << i << " " << k;
			EXPECT_FLOAT_EQ(m->vertices[i].velocity[k], expected[i].velocity[k]) << i << " " << k;
		}
	EXPECT_EQ(m->vertices[1].weights, m->vertices[0].weights + 3);
}

TEST_F(ChunkFileTest, OneDimensionalUvClearsTheThirdValue)
{
	const MeshBinFile* m = Read(ChunkFile({Points(2), Map("TXUV", 3, "TW UV Mapping", {{0, {0.1f, 0.2f, 0.3f}}}),
		Map("TXUV", 1, "TW UV Mapping", {{0, {0.5f}}})}));
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->vertices[0].texture[0], 0.5f);
	EXPECT_EQ(m->vertices[0].texture[1], 0.2f);
	EXPECT_EQ(m->vertices[0].texture[2], 0.0f);
}

TEST_F(ChunkFileTest, DamagedAndUnusualFiles)
{
	struct Case
	{
		const char* what;
		FileBytes bytes;
		bool reads;
	};
	FileBytes cut_entry = Map("MORF", 3, "Speed", {{0, {1.0f, 2.0f, 3.0f}}});
	cut_entry.b.resize(cut_entry.Size() - 4);
	cut_entry.b[7] = static_cast<unsigned char>(cut_entry.Size() - 8);
	FileBytes cut_name;
	cut_name.Raw("VMAP").BeU32(9).Raw("WGHT").BeU16(1).Raw("abc");
	FileBytes weights;
	for (int k = 0; k < 256; ++k)
		weights.Append(Map("WGHT", 1, "w", {}));
	const std::vector<Case> cases = {
		{"shorter than the file header", FileBytes().Raw("FORM").BeU32(0).Raw("ME"), false},
		{"the file header alone", FileBytes().Raw("FORM").BeU32(4).Raw("MESH"), true},
		{"ending inside a chunk ID", ChunkFile({Points(3)}).Raw("PO"), false},
		{"ending inside a chunk size", ChunkFile({Points(3)}).Raw("POLS").Raw({0, 0}), false},
		{"a chunk size beyond the file", ChunkFile({}).Raw("PNTS").BeU32(24).BeF32(1.0f), false},
		{"an unknown chunk of odd size is skipped unpadded",
			ChunkFile({Chunk("ODDS", FileBytes().Raw("xyz")), Points(3), Polygons({{0, 1, 2}})}), true},
		{"a map entry cut by its chunk's end", ChunkFile({Points(1), cut_entry}), false},
		{"a map name without its terminator", ChunkFile({Points(1)}).Append(cut_name), false},
		{"a map entry for a point that does not exist is skipped",
			ChunkFile({Points(2), Map("MORF", 3, "Speed", {{2, {1.0f, 1.0f, 1.0f}}, {1, {1.0f, 0.0f, 0.0f}}})}), true},
		{"a polygon corner not below the point count", ChunkFile({Points(3), Polygons({{0, 1, 3}})}), false},
		{"a polygon cut by its chunk's end", ChunkFile({Points(3)}).Append(Chunk("POLS",
			FileBytes().Raw("FACE").BeU16(3).BeU16(0).BeU16(1))), false},
		{"polygons before their points", ChunkFile({Polygons({{0, 1, 2}}), Points(3)}), true},
		{"a second point list", ChunkFile({Points(3), Polygons({{0, 1, 2}}), Points(3)}), false},
		{"a second polygon list", ChunkFile({Points(3), Polygons({{0, 1, 2}}), Polygons({{0, 1, 2}})}), false},
		{"polygons of another type", ChunkFile({Points(3), Polygons({{0, 1, 2}}, 0, "EDGE")}), false},
		{"weight maps before the points", ChunkFile({Map("WGHT", 1, "w", {}), Points(2)}), true},
		{"more weight maps than a vertex may carry", ChunkFile({Points(2)}).Append(weights), false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(Read(c.bytes) != nullptr, c.reads) << c.what;

	const MeshBinFile* m = Read(cases[8].bytes);
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->vertices[1].velocity[0], 25.0f);
	m = Read(cases[15].bytes);
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m->weight_count, 2);
	EXPECT_EQ(m->vertices[1].weights[0], 0.0f);
	EXPECT_EQ(m->vertices[1].weights[1], 1.0f);
}

// --- the writer

struct Shape
{
	const char* what;
	int32_t vertices;
	int32_t weights;
	bool texture;
	bool velocity;
};

void PrintTo(const Shape& s, std::ostream* os)
{
	*os << s.what;
}

// A record with a distinct value in every field; null when it cannot be made.
MeshBinFile* MakeRecord(const std::string& scratch_path, const Shape& s)
{
	MeshBinFile* file = MeshBinCreate(scratch_path.c_str());
	if (!file || !MeshBinAllocate(file, s.vertices, s.vertices > 2 ? s.vertices - 2 : 0, s.weights, s.texture,
					 s.velocity))
	{
		MeshBinFree(file);
		return nullptr;
	}
	for (int32_t i = 0; i < s.vertices; ++i)
	{
		MeshVertex& v = file->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			v.position[c] = i + 0.1f * (c + 1);
			v.velocity[c] = s.velocity ? -0.5f * i - 0.03f * c : 0.0f;
		}
		v.texture[0] = s.texture ? 0.001f * i : 0.0f;
		v.texture[1] = s.texture ? 1.0f - 0.002f * i : 0.0f;
		float sum = 0.0f;
		for (int32_t k = 0; s.texture && k + 1 < s.weights; ++k)
			sum += v.weights[k] = 0.125f * (k + 1) / (i + 1);
		if (s.texture)
			v.weights[s.weights - 1] = static_cast<float>(1.0 - static_cast<double>(sum));
	}
	for (int32_t i = 0; i + 2 < s.vertices; ++i)
		file->faces[i] = MeshFace{{static_cast<uint32_t>(s.vertices - 1 - i), static_cast<uint32_t>(i),
			static_cast<uint32_t>(i + 1)}};
	return file;
}

class ChunkRoundTrip : public ::testing::TestWithParam<Shape>
{
};

TEST_P(ChunkRoundTrip, WhatIsWrittenReadsBack)
{
	const Shape s = GetParam();
	TempDir dir;
	MeshBinFile* source = MakeRecord(dir.File("scratch.bin"), s);
	ASSERT_NE(source, nullptr);
	const std::string path = dir.File("round.chunk");
	ASSERT_EQ(MeshChunkWrite(source, path.c_str()), 1);
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_CHUNK);
	ASSERT_EQ(MeshHandleRead(h, 100.0f), 1);
	const MeshBinFile* m = MeshHandleBinFile(h);
	ASSERT_EQ(m->vertex_count, source->vertex_count);
	ASSERT_EQ(m->kept_face_count, source->kept_face_count);
	EXPECT_EQ(m->texture_marker, source->texture_marker);
	EXPECT_EQ(m->velocity_marker, source->velocity_marker);
	EXPECT_EQ(m->weight_count, source->weight_count);
	for (int32_t i = 0; i < m->vertex_count; ++i)
	{
		const MeshVertex& a = source->vertices[i];
		const MeshVertex& b = m->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			ASSERT_EQ(b.position[c], a.position[c]) << i;
			ASSERT_NEAR(b.velocity[c], a.velocity[c], 1e-6f * (1.0f + std::abs(a.velocity[c]))) << i;
		}
		EXPECT_EQ(b.texture[0], a.texture[0]);
		EXPECT_EQ(b.texture[1], a.texture[1]);
		for (int32_t k = 0; s.texture && k < s.weights; ++k)
			ASSERT_EQ(b.weights[k], a.weights[k]) << i << " " << k;
	}
	for (int32_t i = 0; i < m->kept_face_count; ++i)
		for (int c = 0; c < 3; ++c)
			ASSERT_EQ(m->faces[i].index[c], source->faces[i].index[c]);
	MeshHandleFree(h);
	MeshBinFree(source);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ChunkRoundTrip,
	::testing::Values(Shape{"points and triangles", 5, 1, false, false}, Shape{"texture", 6, 1, true, false},
		Shape{"speed", 6, 1, false, true}, Shape{"three weights", 7, 3, true, true},
		Shape{"long indices", 70000, 2, true, true}, Shape{"chunks larger than a read block", 400000, 2, true, true},
		Shape{"empty", 0, 1, false, false}));

TEST(ChunkWrite, RefusesWhatWouldNotReadBack)
{
	TempDir dir;
	const std::string path = dir.File("refused.chunk");
	MeshBinFile* file = MakeRecord(dir.File("scratch.bin"), Shape{"", 4, 2, true, true});
	ASSERT_NE(file, nullptr);
	file->faces[0].index[1] = 4;
	EXPECT_EQ(MeshChunkWrite(file, path.c_str()), 0) << "a corner not below V";
	file->faces[0].index[1] = 3;
	file->vertices[2].weights = nullptr;
	EXPECT_EQ(MeshChunkWrite(file, path.c_str()), 0) << "a vertex without weights";
	file->vertices[2].weights = file->vertices[1].weights;
	EXPECT_EQ(MeshChunkWrite(file, path.c_str()), 1);
	EXPECT_EQ(MeshChunkWrite(file, "/dev/full"), 0) << "a failed write";
	EXPECT_EQ(MeshChunkWrite(nullptr, path.c_str()), 0);
	MeshBinFree(file);
}

// --- damage and memory

TEST(ChunkDamage, EveryPrefixReadsOrFailsCleanly)
{
	TempDir dir;
	MeshBinFile* file = MakeRecord(dir.File("scratch.bin"), Shape{"", 5, 3, true, true});
	ASSERT_NE(file, nullptr);
	const std::string whole_path = dir.File("whole.chunk");
	ASSERT_EQ(MeshChunkWrite(file, whole_path.c_str()), 1);
	MeshBinFree(file);
	const std::vector<unsigned char> whole = ReadBytes(whole_path);
	std::vector<size_t> read_lengths;
	ReadEveryPrefix(dir.File("cut.chunk"), whole, [&](const std::string& p) {
		MeshHandle* h = MeshHandleOpen(p.c_str(), CACHE_MESH_CHUNK);
		const int ok = MeshHandleRead(h, 100.0f);
		if (ok)
			read_lengths.push_back(ReadBytes(p).size());
		MeshHandleFree(h);
		return ok;
	});
	// The header alone, then the file after each of its six chunks; never a length inside a chunk.
	ASSERT_EQ(read_lengths.size(), 7u);
	EXPECT_EQ(read_lengths.front(), 12u);
	EXPECT_EQ(read_lengths.back(), whole.size());
}

TEST(ChunkMemory, AllocationFailureAtEveryStepLeaksNothing)
{
	TempDir dir;
	MeshBinFile* file = MakeRecord(dir.File("scratch.bin"), Shape{"", 6, 3, true, true});
	ASSERT_NE(file, nullptr);
	const std::string path = dir.File("alloc.chunk");
	ASSERT_EQ(MeshChunkWrite(file, path.c_str()), 1);
	const std::string out = dir.File("alloc_out.chunk");
	const int64_t needed = FailEveryAllocation([&] {
		MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_CHUNK);
		const bool read = h && MeshHandleRead(h, 100.0f) == 1;
		MeshHandleFree(h);
		return read && MeshChunkWrite(file, out.c_str()) == 1;
	});
	EXPECT_GT(needed, 5);
	MeshBinFree(file);
}

TEST(ChunkFrameCache, SmallerFrameAfterALargerOneReadsRight)
{
	TempDir dir;
	MeshBinFile* big = MakeRecord(dir.File("big.bin"), Shape{"", 40, 3, true, true});
	MeshBinFile* small = MakeRecord(dir.File("small.bin"), Shape{"", 6, 1, false, false});
	ASSERT_TRUE(big && small);
	ASSERT_EQ(MeshChunkWrite(big, dir.File("wave_00001.chunk").c_str()), 1);
	ASSERT_EQ(MeshChunkWrite(small, dir.File("wave_00002.chunk").c_str()), 1);
	MeshBinFree(big);
	MeshBinFree(small);

	const int64_t baseline = CacheLiveAllocations();
	{
		OneFrameCache cache(dir.File("wave_00001.chunk"), CACHE_MESH_CHUNK);
		for (int round = 0; round < 2; ++round)
		{
			const MeshBinFile* m = MeshHandleBinFile(cache.Get(1));
			ASSERT_NE(m, nullptr);
			EXPECT_EQ(m->weight_count, 3);
			m = MeshHandleBinFile(cache.Get(2));
			ASSERT_NE(m, nullptr);
			ASSERT_EQ(m->vertex_count, 6);
			EXPECT_EQ(m->kept_face_count, 4);
			EXPECT_EQ(m->weight_count, 1);
			EXPECT_EQ(m->texture_marker, 0u);
			EXPECT_EQ(m->velocity_marker, 0u);
			// the larger frame's arrays, recycled
			EXPECT_EQ(m->vertex_capacity, 40);
			EXPECT_GE(m->weight_capacity, 120);
			for (int i = 0; i < 6; ++i)
			{
				// left over from the larger frame unless cleared
				EXPECT_EQ(m->vertices[i].texture[1], 0.0f);
				EXPECT_EQ(m->vertices[i].velocity[0], 0.0f);
				EXPECT_EQ(m->vertices[i].weights[0], 1.0f);
				EXPECT_EQ(m->vertices[i].position[0], i + 0.1f);
			}
		}
	}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

} // namespace
