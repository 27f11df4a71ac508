// mesh_md_test.cpp - .md mesh frames: slots and value order, writer round trips, face thinning, damaged
// files, memory, and frames recycled through the frame cache.
#include "cache_types.h"
#include "mesh_md.h"
#include "mesh_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{

FileBytes MdHead(uint32_t nc, uint32_t v, uint32_t f, const std::string& name = "mesh")
{
	FileBytes b;
	b.U32(MESH_MD_MAGIC).U16(3).U32(static_cast<uint32_t>(name.size())).Raw(name).U32(nc).U32(v).U32(f);
	return b;
}

FileBytes& Descriptor(FileBytes& b, uint32_t id, const std::string& name, uint32_t type, const std::string& info = "")
{
	return b.U32(id).U32(static_cast<uint32_t>(name.size())).Raw(name).U32(static_cast<uint32_t>(info.size()))
		.Raw(info).U32(type);
}

// The record of a read, or null when the read failed.
MeshHandle* ReadMd(const std::string& path, float percent = 100.0f)
{
	return ReadMeshFile(path, CACHE_MESH_MD, percent);
}

const float* Floats(const MdVertex& v)
{
	return reinterpret_cast<const float*>(&v);
}

// A distinct value for every float of every vertex.
MdVertex Distinct(int i)
{
	MdVertex v;
	float* f = reinterpret_cast<float*>(&v);
	for (int k = 0; k < 28; ++k)
		f[k] = static_cast<float>(i * 100 + k) + 0.5f;
	return v;
}

class MdFile : public ::testing::Test
{
protected:
	TempDir dir;
	std::string path = dir.File("frame.md");
	int64_t baseline = CacheLiveAllocations();
	void TearDown() override { EXPECT_EQ(CacheLiveAllocations(), baseline); }
};

// --- what a read gives, file by file

TEST_F(MdFile, ChannelsLandWhereTheirSlotSays)
{
	const float X = 0.1f, Y = 0.2f, Z = 0.3f;
	struct Case
	{
		const char* what;
		std::string name;
		uint32_t id;
		uint32_t type;
		std::vector<float> stored;
		uint32_t slot;
		std::vector<std::pair<int, float>> lands; // float index of MdVertex, value
	};
	const std::vector<Case> cases = {
		{"vector position", "position", 9, 6, {X, Y, Z}, MD_POSITION, {{0, X}, {1, Y}, {2, Z}}},
		{"scalar position gives only x", "position", 0, 4, {X}, MD_POSITION, {{0, X}, {1, 0}, {2, 0}}},
		{"texture in the order first, third, second", "texture", 0, 6, {X, Y, Z}, MD_TEXTURE,
			{{13, X}, {14, Z}, {15, Y}}},
		{"scalar texture", "texture", 0, 4, {X}, MD_TEXTURE, {{13, X}, {14, 0}, {15, 0}}},
		{"neighbors as a vector keeps its first value", "neighbors", 0, 6, {X, Y, Z}, MD_NEIGHBORS,
			{{12, X}, {13, 0}, {14, 0}, {15, 0}}},
		{"vorticity is always three values", "vorticity", 0, 4, {X, Y, Z}, MD_VORTICITY,
			{{23, X}, {24, Y}, {25, Z}}},
		{"a scalar slot reads one value of a vector", "identity", 0, 6, {X}, MD_IDENTITY, {{27, X}}},
		{"case-different name keeps its stored id", "Velocity", 2, 6, {X, Y, Z}, MD_FORCE,
			{{6, X}, {7, Y}, {8, Z}}},
		{"unknown name with an id outside the table, scalar", "foam", 99, 4, {X}, 99, {}},
		{"unknown name with an id outside the table, vector", "spray", 16, 6, {X, Y, Z}, 16, {}},
	};
	for (const Case& c : cases)
	{
		// The channel under test, then a vector velocity: misread sizes shift the velocity.
		FileBytes b = MdHead(2, 1, 0);
		Descriptor(b, c.id, c.name, c.type, "info");
		Descriptor(b, 1, "velocity", 6);
		for (float v : c.stored)
			b.F32(v);
		b.F32(7.0f).F32(8.0f).F32(9.0f);
		WriteBytes(path, b.b);
		MeshHandle* h = ReadMd(path);
		ASSERT_NE(h, nullptr) << c.what;
		const MdMeshFile* m = MeshHandleMdFile(h);
		ASSERT_EQ(m->channel_count, 2) << c.what;
		EXPECT_EQ(m->channels[0].id, c.slot) << c.what;
		EXPECT_STREQ(m->channels[0].name, c.name.c_str());
		EXPECT_STREQ(m->channels[0].info, "info");
		EXPECT_EQ(m->channels[0].value_type, c.type);
		const float* f = Floats(m->vertices[0]);
		for (const auto& land : c.lands)
			EXPECT_EQ(f[land.first], land.second) << c.what << ", float " << land.first;
		EXPECT_EQ(m->vertices[0].velocity[0], 7.0f) << c.what;
		EXPECT_EQ(m->vertices[0].velocity[2], 9.0f) << c.what;
		EXPECT_EQ(MeshHandleVelocity(h, 0), m->vertices[0].velocity);
		MeshHandleFree(h);
	}
}

TEST_F(MdFile, EmptyMeshReadsWithNoChannels)
{
	// The descriptors of an empty mesh are not read, whatever Nc says.
	FileBytes b = MdHead(5, 0, 0, "");
	WriteBytes(path, b.b);
	MeshHandle* h = ReadMd(path);
	ASSERT_NE(h, nullptr);
	const MdMeshFile* m = MeshHandleMdFile(h);
	EXPECT_EQ(m->channel_count, 0);
	EXPECT_EQ(m->name, nullptr);
	EXPECT_EQ(MeshHandleVertexCount(h), 0);
	EXPECT_EQ(MeshHandleFaceCount(h), 0);
	EXPECT_EQ(MdFindChannel(m, MD_POSITION), nullptr);
	EXPECT_EQ(m->version, 3);
	MeshHandleFree(h);
}

TEST_F(MdFile, DamagedFilesFail)
{
	auto one_vertex = [](FileBytes b) { return b.F32(1.0f).F32(2.0f).F32(3.0f); };
	struct Case
	{
		const char* what;
		FileBytes bytes;
		bool reads;
	};
	std::vector<Case> cases;
	{
		FileBytes b = MdHead(1, 1, 0);
		cases.push_back({"a well-formed file", one_vertex(Descriptor(b, 0, "position", 6)), true});
	}
	{
		FileBytes b = MdHead(1, 1, 0);
		cases.push_back({"an empty channel name", one_vertex(Descriptor(b, 0, "", 6)), false});
	}
	{
		FileBytes b = MdHead(1, 1, 0);
		cases.push_back({"value type 5 outside the table", one_vertex(Descriptor(b, 40, "foam", 5)), false});
	}
	{
		FileBytes b = MdHead(1, 1, 0);
		cases.push_back({"value type 5 inside the table reads one value", Descriptor(b, 0, "age", 5).F32(1.0f), true});
	}
	{
		FileBytes b;
		b.U32(0xDADADADA).U16(1).U32(0).U32(0).U32(0).U32(0);
		cases.push_back({"wrong magic", b, false});
	}
	{
		FileBytes b = MdHead(0x10000000, 1, 0);
		cases.push_back({"Nc beyond the file", b.U32(0).U32(0), false});
	}
	{
		FileBytes b = MdHead(1, 0x7FFFFFFF, 0);
		cases.push_back({"V beyond the file", one_vertex(Descriptor(b, 0, "position", 6)), false});
	}
	{
		FileBytes b = MdHead(1, 0x80000000u, 0);
		cases.push_back({"V above the int range", one_vertex(Descriptor(b, 0, "position", 6)), false});
	}
	{
		FileBytes b = MdHead(0, 100000, 0);
		cases.push_back({"vertices without values beyond the file's size", b, false});
	}
	{
		FileBytes b = MdHead(0, 3, 1);
		cases.push_back({"vertices without values, within the file's size", b.U32(0).U32(1).U32(2), true});
	}
	{
		FileBytes b = MdHead(1, 1, 0x10000000);
		cases.push_back({"F beyond the file", one_vertex(Descriptor(b, 0, "position", 6)).U32(0).U32(0).U32(0), false});
	}
	{
		FileBytes b;
		b.U32(MESH_MD_MAGIC).U16(1).U32(0x7FFFFFF0).Raw("name");
		cases.push_back({"name length beyond the file", b, false});
	}
	{
		FileBytes b = MdHead(1, 1, 0);
		cases.push_back({"channel name length beyond the file", b.U32(0).U32(0xFFFFFFF0u).Raw("position"), false});
	}
	{
		FileBytes b = MdHead(1, 2, 1);
		b = one_vertex(one_vertex(Descriptor(b, 0, "position", 6)));
		cases.push_back({"face corner equal to V", b.U32(0).U32(1).U32(2), false});
	}
	{
		FileBytes b = MdHead(1, 3, 1);
		b = one_vertex(one_vertex(one_vertex(Descriptor(b, 0, "position", 6))));
		cases.push_back({"face corners below V", b.U32(0).U32(1).U32(2), true});
	}
	for (const Case& c : cases)
		for (float percent : {100.0f, 0.0f})
		{
			WriteBytes(path, c.bytes.b);
			MeshHandle* h = ReadMd(path, percent);
			EXPECT_EQ(h != nullptr, c.reads) << c.what << " at " << percent << "%";
			MeshHandleFree(h);
		}
}

TEST_F(MdFile, FailedReadLeavesNoChannelsVerticesOrFaces)
{
	FileBytes b = MdHead(2, 1, 0, "named");
	Descriptor(b, 0, "position", 6);
	Descriptor(b, 0, "", 4);
	WriteBytes(path, b.b);
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_MD);
	ASSERT_EQ(MeshHandleRead(h, 100.0f), 0);
	const MdMeshFile* m = MeshHandleMdFile(h);
	EXPECT_EQ(m->channel_count, 0);
	EXPECT_EQ(m->channels, nullptr);
	EXPECT_EQ(m->name, nullptr);
	EXPECT_EQ(MeshHandleVertexCount(h), 0);
	EXPECT_EQ(MeshHandleFaceCount(h), 0);
	EXPECT_EQ(MeshHandleVelocity(h, 0), nullptr);
	MeshHandleFree(h);
}

// --- the writer

struct WriteCase
{
	const char* what;
	std::vector<MdWriteChannel> channels;
	int32_t vertices;
	int32_t faces;
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
	*os << c.what;
}

class MdRoundTrip : public ::testing::TestWithParam<WriteCase>
{
};

TEST_P(MdRoundTrip, WhatIsWrittenReadsBack)
{
	const WriteCase& c = GetParam();
	TempDir dir;
	const std::string path = dir.File("round.md");
	std::vector<MdVertex> vertices;
	for (int32_t i = 0; i < c.vertices; ++i)
		vertices.push_back(Distinct(i));
	std::vector<MeshFace> faces;
	for (int32_t i = 0; i < c.faces; ++i)
		faces.push_back(MeshFace{{static_cast<uint32_t>(i % c.vertices), static_cast<uint32_t>((i + 1) % c.vertices),
			static_cast<uint32_t>((i + 3) % c.vertices)}});
	ASSERT_EQ(MdWrite(path.c_str(), "surface", 7, c.channels.data(), static_cast<int32_t>(c.channels.size()),
				  vertices.data(), c.vertices, faces.data(), c.faces),
		1);

	MeshHandle* h = ReadMd(path);
	ASSERT_NE(h, nullptr);
	const MdMeshFile* m = MeshHandleMdFile(h);
	EXPECT_STREQ(m->name, "surface");
	EXPECT_EQ(m->version, 7);
	EXPECT_STREQ(MeshHandlePath(h), path.c_str());
	ASSERT_EQ(MeshHandleVertexCount(h), c.vertices);
	ASSERT_EQ(MeshHandleFaceCount(h), c.faces);
	EXPECT_EQ(m->kept_index_count, 3 * c.faces);
	const bool empty = c.vertices == 0 && c.faces == 0;
	ASSERT_EQ(m->channel_count, empty ? 0 : static_cast<int32_t>(c.channels.size()));

	// Every float some channel carries reads back; the others read as zero.
	std::vector<bool> carried(28, false);
	for (size_t k = 0; !empty && k < c.channels.size(); ++k)
	{
		const MdWriteChannel& w = c.channels[k];
		EXPECT_EQ(m->channels[k].id, w.slot);
		EXPECT_STREQ(m->channels[k].name, w.name);
		EXPECT_EQ(MdFindChannel(m, w.slot), &m->channels[k]);
		if (w.slot >= MD_SLOT_COUNT)
			continue;
		const bool vector = w.value_type == MESH_MD_VALUE_VECTOR;
		const int width[MD_SLOT_COUNT] = {3, 3, 3, 3, 1, 3, 1, 1, 1, 1, 1, 1, 1, 3, 1, 1};
		const int first[MD_SLOT_COUNT] = {0, 3, 6, 9, 12, 13, 16, 17, 18, 19, 20, 21, 22, 23, 26, 27};
		const int n = w.slot == MD_VORTICITY ? 3 : (vector ? width[w.slot] : 1);
		for (int j = 0; j < n; ++j)
			carried[first[w.slot] + j] = true;
	}
	for (int32_t i = 0; i < c.vertices; ++i)
		for (int k = 0; k < 28; ++k)
			ASSERT_EQ(Floats(m->vertices[i])[k], carried[k] ? Floats(vertices[i])[k] : 0.0f)
				<< c.what << ": vertex " << i << ", float " << k;
	for (int32_t i = 0; i < c.faces; ++i)
		for (int k = 0; k < 3; ++k)
			EXPECT_EQ(m->faces[i].index[k], faces[i].index[k]);
	MeshHandleFree(h);
}

const std::vector<MdWriteChannel> kEverySlot = {{"position", 0, 6}, {"velocity", 1, 6}, {"force", 2, 6},
	{"normal", 3, 6}, {"neighbors", 4, 6}, {"texture", 5, 6}, {"age", 6, 4}, {"isolation", 7, 4},
	{"viscosity", 8, 4}, {"density", 9, 4}, {"pressure", 10, 4}, {"mass", 11, 4}, {"temperature", 12, 4},
	{"vorticity", 13, 6}, {"curvature", 14, 4}, {"identity", 15, 4}};

INSTANTIATE_TEST_SUITE_P(Channels, MdRoundTrip,
	::testing::Values(WriteCase{"every slot", kEverySlot, 9, 7},
		WriteCase{"more vertices and faces than a read block holds", kEverySlot, 100000, 400000},
		WriteCase{"scalar forms and unknown channels",
			{{"position", 0, 4}, {"foam", 40, 4}, {"texture", 5, 4}, {"spray", 41, 6}, {"Normal", 3, 6}}, 5, 4},
		WriteCase{"no channels", {}, 4, 2}, WriteCase{"an empty mesh", {{"position", 0, 6}}, 0, 0}),
	[](const ::testing::TestParamInfo<WriteCase>& info) { return std::to_string(info.index); });

TEST(MdWrite, RefusesWhatWouldNotReadBack)
{
	TempDir dir;
	const std::string path = dir.File("refused.md");
	MdVertex v[3] = {};
	const MeshFace good{{0, 1, 2}};
	const MeshFace bad{{0, 1, 3}};
	struct Case
	{
		const char* what;
		MdWriteChannel channel;
		const MeshFace* face;
	};
	const Case cases[] = {
		{"a table name under another slot", {"velocity", 0, 6}, &good},
		{"an empty name", {"", 30, 4}, &good},
		{"value type 5", {"age", 6, 5}, &good},
		{"a face corner not below V", {"position", 0, 6}, &bad},
	};
	for (const Case& c : cases)
		EXPECT_EQ(MdWrite(path.c_str(), "m", 1, &c.channel, 1, v, 3, c.face, 1), 0) << c.what;
	const MdWriteChannel position{"position", 0, 6};
	EXPECT_EQ(MdWrite(path.c_str(), "m", 1, &position, 1, v, 3, &good, 1), 1);
	EXPECT_EQ(MdWrite("/dev/full", "m", 1, &position, 1, v, 3, &good, 1), 0);
}

// --- faces

TEST(MdFaces, ThinnedAsTheMeshBinAndStoredReversed)
{
	TempDir dir;
	const std::string path = dir.File("thin.md");
	FileBytes b = MdHead(1, 12, 10);
	Descriptor(b, 0, "identity", 4);
	for (int i = 0; i < 12; ++i)
		b.F32(static_cast<float>(i));
	for (uint32_t i = 0; i < 10; ++i)
		b.U32(i + 2).U32(i + 1).U32(i); // face i is (i, i + 1, i + 2)
	WriteBytes(path, b.b);
	for (float percent : {50.0f, 100.0f})
	{
		MeshHandle* h = ReadMd(path, percent);
		ASSERT_NE(h, nullptr);
		const MdMeshFile* m = MeshHandleMdFile(h);
		std::vector<uint32_t> kept;
		for (int32_t i = 0; i < m->kept_face_count; ++i)
		{
			kept.push_back(m->faces[i].index[0]);
			EXPECT_EQ(m->faces[i].index[2], m->faces[i].index[0] + 2);
		}
		EXPECT_EQ(m->face_count, 10);
		EXPECT_EQ(m->kept_index_count, 3 * m->kept_face_count);
		if (percent < 100.0f)
			EXPECT_EQ(kept, (std::vector<uint32_t>{0, 2, 4, 6, 8}));
		else
			EXPECT_EQ(kept.size(), 10u);
		EXPECT_EQ(m->vertices[11].identity, 11.0f);
		MeshHandleFree(h);
	}
}

// --- damage and memory

std::vector<unsigned char> SmallFrame(const std::string& path)
{
	std::vector<MdVertex> vertices = {Distinct(0), Distinct(1), Distinct(2), Distinct(3)};
	const MeshFace faces[] = {{{0, 1, 2}}, {{1, 2, 3}}, {{3, 2, 0}}};
	const MdWriteChannel channels[] = {{"position", 0, 6}, {"texture", 5, 6}, {"foam", 30, 4}, {"age", 6, 4}};
	EXPECT_EQ(MdWrite(path.c_str(), "cut", 1, channels, 4, vertices.data(), 4, faces, 3), 1);
	return ReadBytes(path);
}

TEST(MdDamage, EveryPrefixReadsOrFailsCleanly)
{
	TempDir dir;
	const std::vector<unsigned char> whole = SmallFrame(dir.File("whole.md"));
	const int reads = ReadEveryPrefix(dir.File("cut.md"), whole, [](const std::string& p) {
		MeshHandle* h = ReadMd(p, 50.0f);
		const int ok = h != nullptr;
		MeshHandleFree(h);
		return ok;
	});
	// Only the whole file: every shorter prefix ends before the faces it announces.
	EXPECT_EQ(reads, 1);
}

TEST(MdMemory, AllocationFailureAtEveryStepLeaksNothing)
{
	TempDir dir;
	const std::string path = dir.File("alloc.md");
	SmallFrame(path);
	const std::string out = dir.File("alloc_out.md");
	const int64_t needed = FailEveryAllocation([&] {
		MeshHandle* h = ReadMd(path, 50.0f);
		const bool read = h != nullptr;
		MeshHandleFree(h);
		const MdVertex v[3] = {};
		const MeshFace face{{0, 1, 2}};
		const MdWriteChannel position{"position", 0, 6};
		return read && MdWrite(out.c_str(), "m", 1, &position, 1, v, 3, &face, 1) == 1;
	});
	EXPECT_GT(needed, 5);
}

// Frames of one sequence, each with its own channel set, read one after the other through a one-frame
// cache that recycles the arrays of the frame before.
TEST(MdFrameCache, SmallerFrameAfterALargerOneReadsRight)
{
	TempDir dir;
	const MdWriteChannel big_channels[] = {{"position", 0, 6}, {"velocity", 1, 6}, {"texture", 5, 6},
		{"vorticity", 13, 6}, {"age", 6, 4}};
	const MdWriteChannel small_channels[] = {{"position", 0, 4}, {"density", 9, 4}};
	std::vector<MdVertex> vertices;
	std::vector<MeshFace> faces;
	for (int i = 0; i < 50; ++i)
		vertices.push_back(Distinct(i));
	for (uint32_t i = 0; i < 40; ++i)
		faces.push_back(MeshFace{{i, i + 1, i + 2}});
	ASSERT_EQ(MdWrite(dir.File("wave_00001.md").c_str(), "big", 1, big_channels, 5, vertices.data(), 50, faces.data(),
				  40),
		1);
	ASSERT_EQ(MdWrite(dir.File("wave_00002.md").c_str(), "small", 1, small_channels, 2, vertices.data() + 7, 6,
				  faces.data(), 3),
		1);

	const int64_t baseline = CacheLiveAllocations();
	{
		OneFrameCache cache(dir.File("wave_00001.md"), CACHE_MESH_MD);
		for (int round = 0; round < 2; ++round)
		{
			const MeshHandle* big = cache.Get(1);
			ASSERT_NE(big, nullptr);
			EXPECT_EQ(MeshHandleVertexCount(big), 50);
			EXPECT_EQ(MeshHandleMdFile(big)->vertices[49].vorticity[2], Distinct(49).vorticity[2]);

			const MeshHandle* small = cache.Get(2);
			ASSERT_NE(small, nullptr);
			const MdMeshFile* m = MeshHandleMdFile(small);
			ASSERT_EQ(MeshHandleVertexCount(small), 6);
			ASSERT_EQ(MeshHandleFaceCount(small), 3);
			EXPECT_STREQ(m->name, "small");
			EXPECT_EQ(m->channel_count, 2);
			// the larger frame's arrays, recycled
			EXPECT_EQ(m->vertex_capacity, 50);
			EXPECT_EQ(MdFindChannel(m, MD_VELOCITY), nullptr);
			for (int i = 0; i < 6; ++i)
			{
				const MdVertex& v = m->vertices[i];
				EXPECT_EQ(v.position[0], Distinct(i + 7).position[0]);
				EXPECT_EQ(v.density, Distinct(i + 7).density);
				// left over from the larger frame unless cleared
				EXPECT_EQ(v.position[1], 0.0f);
				EXPECT_EQ(v.velocity[0], 0.0f);
				EXPECT_EQ(v.texture[1], 0.0f);
				EXPECT_EQ(v.vorticity[2], 0.0f);
				EXPECT_EQ(v.age, 0.0f);
			}
			EXPECT_EQ(m->faces[2].index[2], 4u);
		}
	}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

} // namespace

// A large frame is read by two threads (faces and the first vertices on one, the other vertices on the
// other): a fault in either part fails the whole read, at every share of faces.
TEST_F(MdFile, LargeFrameFailsWhicheverThreadMeetsTheFault)
{
	const int32_t vertex_count = 200000, face_count = 400000;
	const MdWriteChannel channels[] = {{"position", MD_POSITION, 6}, {"velocity", MD_VELOCITY, 6},
		{"density", MD_DENSITY, 4}};
	std::vector<MdVertex> vertices(vertex_count);
	for (int32_t i = 0; i < vertex_count; ++i)
		vertices[i] = Distinct(i);
	std::vector<MeshFace> faces(face_count);
	for (int32_t f = 0; f < face_count; ++f)
		faces[f] = MeshFace{{uint32_t(f / 2), uint32_t((f / 2 + 1) % vertex_count), uint32_t((f / 2 + 7) % vertex_count)}};
	ASSERT_EQ(MdWrite(path.c_str(), "big", 1, channels, 3, vertices.data(), vertex_count, faces.data(), face_count), 1);
	std::vector<unsigned char> whole = ReadBytes(path);
	const size_t faces_at = whole.size() - 12 * size_t(face_count);

	for (float percent : {100.0f, 37.0f})
	{
		MeshHandle* h = ReadMd(path, percent);
		ASSERT_NE(h, nullptr) << percent;
		const MdMeshFile* m = MeshHandleMdFile(h);
		for (int32_t i : {0, 1, vertex_count / 3, vertex_count / 2, vertex_count - 1})
		{
			EXPECT_EQ(m->vertices[i].position[2], vertices[i].position[2]) << i;
			EXPECT_EQ(m->vertices[i].density, vertices[i].density) << i;
			EXPECT_EQ(m->vertices[i].force[0], 0.0f) << i;
		}
		if (percent == 100.0f)
		{
			EXPECT_EQ(m->faces[face_count - 1].index[2], faces[face_count - 1].index[2]);
		}
		MeshHandleFree(h);
	}

	struct Fault
	{
		const char* what;
		size_t at;
		bool cut; // cut the file here, else write a corner beyond the vertices here
	} faults[] = {{"a corner beyond the vertices in the last face", whole.size() - 4, false},
		{"a corner beyond the vertices in the first face", faces_at, false},
		{"the file cut inside the faces", faces_at + 6 * size_t(face_count), true},
		{"the file cut inside the vertices", faces_at / 2, true}};
	for (const Fault& fault : faults)
	{
		std::vector<unsigned char> bad(whole.begin(), fault.cut ? whole.begin() + long(fault.at) : whole.end());
		if (!fault.cut)
			StoreU32(&bad[fault.at], uint32_t(vertex_count));
		WriteBytes(path, bad);
		for (float percent : {100.0f, 37.0f})
		{
			MeshHandle* h = ReadMd(path, percent);
			EXPECT_EQ(h, nullptr) << fault.what << " at " << percent << " %";
			MeshHandleFree(h);
		}
	}
}
