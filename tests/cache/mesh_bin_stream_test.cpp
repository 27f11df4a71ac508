// mesh_bin_stream_test.cpp - mesh .bin frames written piece by piece: the same bytes as the whole-record
// writer, older files overwritten, and every failure reported.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_bin_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

std::string TempPath(const std::string& name)
{
	return ::testing::TempDir() + "mesh_bin_stream_test_" + std::to_string(getpid()) + "_" + name;
}

std::vector<unsigned char> Slurp(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

struct Case
{
	const char* name;
	int32_t v, f, w;
	bool texture, velocity;
	int64_t buffer_bytes;
	bool threaded;
};

void PrintTo(const Case& c, std::ostream* os)
{
	*os << c.name;
}

// A record with a distinct value in every field, open for the whole-record writer at `path`.
MeshBinFile* Reference(const Case& c, const std::string& path)
{
	MeshBinFile* r = MeshBinCreate(path.c_str());
	if (!r || !MeshBinAllocate(r, c.v, c.f, c.w, c.texture, c.velocity))
	{
		MeshBinFree(r);
		return nullptr;
	}
	for (int32_t i = 0; i < c.v; ++i)
	{
		MeshVertex& x = r->vertices[i];
		for (int k = 0; k < 3; ++k)
		{
			x.position[k] = i + 0.1f * (k + 1);
			x.texture[k] = 0.01f * i + 0.001f * (k + 1);
			x.velocity[k] = -i - 0.2f * (k + 1);
		}
		for (int32_t k = 0; c.texture && k + 1 < c.w; ++k)
			x.weights[k] = 0.125f * (k + 1) / (i + 1);
	}
	for (int32_t i = 0; i < c.f; ++i)
		for (int k = 0; k < 3; ++k)
			r->faces[i].index[k] = static_cast<uint32_t>((7 * i + k) % c.v);
	return r;
}

// Gives the stream every record of r in file order, in pieces of 1, 2, 3, ... up to `most` records.
bool GiveRecords(MeshBinStream* s, const MeshBinFile* r, int64_t most)
{
	int64_t piece = 0;
	auto section = [&](int64_t count, const std::function<void(int64_t, unsigned char*)>& put, int64_t record_bytes) {
		for (int64_t i = 0; i < count;)
		{
			const int64_t n = std::min(MeshBinStreamFit(s), 1 + piece++ % most);
			unsigned char* p = MeshBinStreamRecords(s, n);
			if (!p)
				return false;
			for (int64_t k = 0; k < n; ++k)
				put(i + k, p + k * record_bytes);
			i += n;
		}
		return true;
	};
	const bool texture = r->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const int64_t w = r->weight_count;
	return section(r->vertex_count, [&](int64_t i, unsigned char* p) {
		for (int k = 0; k < 3; ++k)
			StoreF32(p + 4 * k, r->vertices[i].position[k]);
	}, 12) && section(r->face_count, [&](int64_t i, unsigned char* p) {
		for (int k = 0; k < 3; ++k)
			StoreU32(p + 4 * k, r->faces[i].index[2 - k]);
	}, 12) && (!texture || section(r->vertex_count, [&](int64_t i, unsigned char* p) {
		const MeshVertex& x = r->vertices[i];
		for (int64_t k = 0; k + 1 < w; ++k, p += 4)
			StoreF32(p, x.weights[k]);
		StoreF32(p, x.texture[0]);
		StoreF32(p + 4, x.texture[2]);
		StoreF32(p + 8, x.texture[1]);
	}, 4 * (w + 2))) && (r->velocity_marker != MESH_BIN_VELOCITY_MARKER || section(r->vertex_count, [&](int64_t i, unsigned char* p) {
		for (int k = 0; k < 3; ++k)
			StoreF32(p + 4 * k, r->vertices[i].velocity[k]);
	}, 12));
}

MeshBinShape ShapeOf(const Case& c)
{
	return MeshBinShape{c.v, c.f, c.w, c.texture, c.velocity};
}

class MeshBinStreamBytes : public ::testing::TestWithParam<Case>
{
};

TEST_P(MeshBinStreamBytes, SameAsTheWholeRecordWriter)
{
	const Case& c = GetParam();
	const std::string whole = TempPath(std::string(c.name) + "_whole.bin");
	const std::string streamed = TempPath(std::string(c.name) + "_streamed.bin");
	MeshBinFile* r = Reference(c, whole);
	ASSERT_NE(r, nullptr);
	ASSERT_EQ(MeshBinWrite(r), 1);
	MeshBinStream* s = MeshBinStreamNew(c.buffer_bytes, 3);
	ASSERT_NE(s, nullptr);
	ASSERT_EQ(MeshBinStreamOpen(s, streamed.c_str(), ShapeOf(c), c.threaded), 1);
	EXPECT_TRUE(GiveRecords(s, r, 7));
	EXPECT_EQ(MeshBinStreamFit(s), 0);
	EXPECT_EQ(MeshBinStreamFinish(s), 1);
	MeshBinStreamFree(s);
	MeshBinFree(r);
	const std::vector<unsigned char> expected = Slurp(whole);
	EXPECT_GT(expected.size(), 0u);
	EXPECT_TRUE(Slurp(streamed) == expected);
	unlink(whole.c_str());
	unlink(streamed.c_str());
}

// 64-byte buffers hold five records: most frames there span many pieces.
INSTANTIATE_TEST_SUITE_P(Frames, MeshBinStreamBytes,
	::testing::Values(Case{"empty", 0, 0, 1, true, true, 64, true}, Case{"empty_bare", 0, 0, 1, false, false, 64, false},
		Case{"pieces", 500, 700, 4, true, true, 64, true}, Case{"pieces_one_thread", 500, 700, 4, true, true, 64, false},
		Case{"no_texture", 300, 200, 1, false, true, 256, true}, Case{"one_weight_no_velocity", 300, 200, 1, true, false, 1000, true},
		Case{"records_wider_than_a_buffer", 50, 20, 40, true, true, 64, true},
		Case{"one_buffer", 400, 300, 3, true, true, 1 << 20, true}),
	[](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Fault guarded: an older, longer file at the path kept its tail after the new frame.
TEST(MeshBinStream, AnOlderFileIsOverwrittenAndCutToTheNewLength)
{
	const Case c = {"over", 40, 30, 2, true, true, 128, true};
	const std::string whole = TempPath("over_whole.bin");
	const std::string path = TempPath("over.bin");
	MeshBinFile* r = Reference(c, whole);
	ASSERT_NE(r, nullptr);
	ASSERT_EQ(MeshBinWrite(r), 1);
	const std::vector<unsigned char> expected = Slurp(whole);
	for (size_t older : {size_t(100000), expected.size() / 2})
	{
		std::ofstream(path, std::ios::binary) << std::string(older, '\xab');
		MeshBinStream* s = MeshBinStreamNew(c.buffer_bytes, 2);
		ASSERT_EQ(MeshBinStreamOpen(s, path.c_str(), ShapeOf(c), true), 1);
		EXPECT_TRUE(GiveRecords(s, r, 100));
		EXPECT_EQ(MeshBinStreamFinish(s), 1);
		MeshBinStreamFree(s);
		EXPECT_TRUE(Slurp(path) == expected) << older;
	}
	MeshBinFree(r);
	unlink(whole.c_str());
	unlink(path.c_str());
}

TEST(MeshBinStream, FailuresReachTheCaller)
{
	const Case c = {"fail", 300, 200, 3, true, true, 256, true};
	const std::string whole = TempPath("fail_whole.bin");
	MeshBinFile* r = Reference(c, whole);
	ASSERT_NE(r, nullptr);
	MeshBinStream* s = MeshBinStreamNew(c.buffer_bytes, 3);
	ASSERT_NE(s, nullptr);

	// a full disk, whichever thread writes
	if (access("/dev/full", W_OK) == 0)
		for (bool threaded : {true, false})
		{
			ASSERT_EQ(MeshBinStreamOpen(s, "/dev/full", ShapeOf(c), threaded), 1);
			EXPECT_TRUE(GiveRecords(s, r, 50));
			EXPECT_EQ(MeshBinStreamFinish(s), 0) << threaded;
		}

	const std::string path = TempPath("fail.bin");
	// records missing at the end
	ASSERT_EQ(MeshBinStreamOpen(s, path.c_str(), ShapeOf(c), true), 1);
	EXPECT_NE(MeshBinStreamRecords(s, 1), nullptr);
	EXPECT_EQ(MeshBinStreamFinish(s), 0);
	// more records asked for than are due
	ASSERT_EQ(MeshBinStreamOpen(s, path.c_str(), MeshBinShape{2, 0, 1, false, false}, true), 1);
	EXPECT_EQ(MeshBinStreamRecords(s, 3), nullptr);
	EXPECT_EQ(MeshBinStreamRecords(s, 2), nullptr);
	EXPECT_EQ(MeshBinStreamFinish(s), 0);

	// a file that cannot be created, bad counts, a second open
	errno = 0;
	EXPECT_EQ(MeshBinStreamOpen(s, ::testing::TempDir().c_str(), ShapeOf(c), true), 0);
	EXPECT_EQ(errno, EISDIR);
	EXPECT_EQ(MeshBinStreamOpen(s, path.c_str(), MeshBinShape{-1, 0, 1, false, false}, true), 0);
	EXPECT_EQ(MeshBinStreamOpen(s, path.c_str(), MeshBinShape{1, 0, 0, true, false}, true), 0);
	ASSERT_EQ(MeshBinStreamOpen(s, path.c_str(), ShapeOf(c), true), 1);
	EXPECT_EQ(MeshBinStreamOpen(s, path.c_str(), ShapeOf(c), true), 0);
	// freed while open: the writer is stopped and the file closed
	MeshBinStreamFree(s);
	MeshBinFree(r);
	unlink(whole.c_str());
	unlink(path.c_str());
}

TEST(MeshBinStream, AllocationFailureAfterNLeaksNothing)
{
	const std::string path = TempPath("alloc.bin");
	const int64_t baseline = CacheLiveAllocations();
	bool written = false;
	for (int64_t n = 0; !written; ++n)
	{
		ASSERT_LT(n, 50);
		CacheSetAllocFailAfter(n);
		MeshBinStream* s = MeshBinStreamNew(64, 3);
		// the texture records are wider than the buffers, which are then allocated anew
		written = s && MeshBinStreamOpen(s, path.c_str(), MeshBinShape{0, 0, 30, true, false}, true) &&
			MeshBinStreamFinish(s) == 1;
		MeshBinStreamFree(s);
		CacheSetAllocFailAfter(-1);
		EXPECT_EQ(CacheLiveAllocations(), baseline) << "failing after " << n;
	}
	unlink(path.c_str());
}

} // namespace
