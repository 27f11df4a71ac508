// mesh_bin_test.cpp - mesh .bin frames: round trips, file layout, face thinning, damaged files, memory.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

std::string TempPath(const std::string& name)
{
	// ctest runs the cases as parallel processes: each needs its own files.
	return ::testing::TempDir() + "mesh_bin_test_" + std::to_string(getpid()) + "_" + name;
}

std::vector<unsigned char> Slurp(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::vector<unsigned char>& bytes)
{
	std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void PutU32(std::vector<unsigned char>& b, uint32_t v)
{
	b.resize(b.size() + 4);
	StoreU32(&b[b.size() - 4], v);
}

// A small mesh with a distinct value in every field: V vertices, F triangles over them.
bool WriteMesh(const std::string& path, int32_t v, int32_t f, int32_t w, bool texture, bool velocity)
{
	MeshBinFile* file = MeshBinCreate(path.c_str());
	if (!file || !MeshBinAllocate(file, v, f, w, texture, velocity))
	{
		MeshBinFree(file);
		return false;
	}
	for (int32_t i = 0; i < v; ++i)
	{
		MeshVertex& x = file->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			x.position[c] = i + 0.1f * (c + 1);
			x.texture[c] = 0.01f * i + 0.001f * (c + 1);
			x.velocity[c] = -i - 0.2f * (c + 1);
		}
		for (int32_t k = 0; texture && k + 1 < w; ++k)
			x.weights[k] = 0.125f * (k + 1) / (i + 1);
	}
	for (int32_t i = 0; i < f; ++i)
		for (int c = 0; c < 3; ++c)
			file->faces[i].index[c] = static_cast<uint32_t>((i + c) % v);
	int ok = MeshBinWrite(file);
	MeshBinFree(file);
	return ok == 1;
}

MeshHandle* OpenAndRead(const std::string& path, float percent = 100.0f)
{
	return ReadMeshFile(path, CACHE_MESH_BIN, percent);
}

struct Shape
{
	bool texture;
	bool velocity;
	int32_t weights;
};

class MeshRoundTrip : public ::testing::TestWithParam<Shape>
{
};

TEST_P(MeshRoundTrip, EveryFieldReadsBack)
{
	const Shape s = GetParam();
	const std::string path = TempPath("round.bin");
	ASSERT_TRUE(WriteMesh(path, 6, 5, s.weights, s.texture, s.velocity));
	MeshHandle* h = OpenAndRead(path);
	ASSERT_NE(h, nullptr);
	const MeshBinFile* m = MeshHandleBinFile(h);
	EXPECT_STREQ(MeshHandlePath(h), path.c_str());
	ASSERT_EQ(MeshHandleVertexCount(h), 6);
	ASSERT_EQ(MeshHandleFaceCount(h), 5);
	EXPECT_EQ(m->kept_index_count, 15);
	EXPECT_EQ(m->weight_count, s.texture ? s.weights : 1);
	for (int32_t i = 0; i < 6; ++i)
	{
		const MeshVertex& x = m->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			EXPECT_EQ(x.position[c], i + 0.1f * (c + 1));
			EXPECT_EQ(x.texture[c], s.texture ? 0.01f * i + 0.001f * (c + 1) : 0.0f);
			EXPECT_EQ(x.velocity[c], s.velocity ? -i - 0.2f * (c + 1) : 0.0f);
		}
		EXPECT_EQ(MeshHandleVelocity(h, i), x.velocity);
		if (!s.texture)
		{
			EXPECT_EQ(x.weights, nullptr);
			continue;
		}
		float sum = 0.0f;
		for (int32_t k = 0; k + 1 < s.weights; ++k)
		{
			EXPECT_EQ(x.weights[k], 0.125f * (k + 1) / (i + 1));
			sum += x.weights[k];
		}
		EXPECT_FLOAT_EQ(x.weights[s.weights - 1], 1.0f - sum);
	}
	for (int32_t i = 0; i < 5; ++i)
		for (int c = 0; c < 3; ++c)
			EXPECT_EQ(m->faces[i].index[c], static_cast<uint32_t>((i + c) % 6));
	MeshHandleFree(h);
}

INSTANTIATE_TEST_SUITE_P(Blocks, MeshRoundTrip,
	::testing::Values(Shape{false, false, 1}, Shape{true, false, 1}, Shape{false, true, 1}, Shape{true, true, 2},
		Shape{true, true, 3}),
	// Numbered, so the names stay the same from one run to the next.
	[](const ::testing::TestParamInfo<Shape>& info) { return std::to_string(info.index); });

TEST(MeshBinLayout, CornersReversedTextureAsUWFlippedVAndLastWeightDerived)
{
	const std::string path = TempPath("layout.bin");
	MeshBinFile* file = MeshBinCreate(path.c_str());
	ASSERT_TRUE(MeshBinAllocate(file, 3, 1, 3, true, false));
	file->faces[0] = MeshFace{{0, 1, 2}};
	file->vertices[0].weights[0] = 0.25f;
	file->vertices[0].weights[1] = 0.5f;
	file->vertices[0].texture[0] = 0.1f; // U
	file->vertices[0].texture[1] = 0.7f; // 1 - V
	file->vertices[0].texture[2] = 0.3f; // W
	ASSERT_EQ(MeshBinWrite(file), 1);
	MeshBinFree(file);

	const std::vector<unsigned char> b = Slurp(path);
	ASSERT_EQ(b.size(), 16u + 36 + 4 + 12 + 8 + 3 * 20 + 4 + 4);
	const unsigned char* face = &b[16 + 36 + 4];
	EXPECT_EQ(LoadU32(face), 2u);
	EXPECT_EQ(LoadU32(face + 8), 0u);
	const unsigned char* tex = face + 12 + 8; // texture marker, W
	EXPECT_EQ(LoadF32(tex), 0.25f);
	EXPECT_EQ(LoadF32(tex + 8), 0.1f);
	EXPECT_EQ(LoadF32(tex + 12), 0.3f);
	EXPECT_EQ(LoadF32(tex + 16), 0.7f);

	MeshHandle* h = OpenAndRead(path);
	ASSERT_NE(h, nullptr);
	const MeshBinFile* m = MeshHandleBinFile(h);
	EXPECT_EQ(m->faces[0].index[0], 0u);
	EXPECT_EQ(m->faces[0].index[2], 2u);
	EXPECT_EQ(m->vertices[0].weights[2], 0.25f);
	EXPECT_EQ(m->vertices[0].texture[1], 0.7f);
	MeshHandleFree(h);
}

TEST(MeshBinLayout, SingleWeightStoresNoWeights)
{
	const std::string path = TempPath("w1.bin");
	ASSERT_TRUE(WriteMesh(path, 4, 2, 1, true, false));
	EXPECT_EQ(Slurp(path).size(), 16u + 48 + 4 + 24 + 8 + 4 * 12 + 4 + 4);
	MeshHandle* h = OpenAndRead(path);
	ASSERT_NE(h, nullptr);
	for (int32_t i = 0; i < 4; ++i)
		EXPECT_EQ(MeshHandleBinFile(h)->vertices[i].weights[0], 1.0f);
	MeshHandleFree(h);
}

struct Thinning
{
	float percent;
	std::vector<uint32_t> kept; // empty with all = true: every face
	bool all;
};

class MeshThinning : public ::testing::TestWithParam<Thinning>
{
};

TEST_P(MeshThinning, KeepsTheListedFaces)
{
	const Thinning t = GetParam();
	const std::string path = TempPath("thin.bin");
	ASSERT_TRUE(WriteMesh(path, 10, 10, 1, false, false));
	MeshHandle* h = OpenAndRead(path, t.percent);
	ASSERT_NE(h, nullptr);
	const MeshBinFile* m = MeshHandleBinFile(h);
	std::vector<uint32_t> got;
	for (int32_t i = 0; i < m->kept_face_count; ++i)
		got.push_back(m->faces[i].index[0]); // face i starts at vertex i
	EXPECT_EQ(m->face_count, 10);
	EXPECT_EQ(m->kept_index_count, 3 * m->kept_face_count);
	const std::vector<uint32_t> every = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
	EXPECT_EQ(got, t.all ? every : t.kept);
	MeshHandleFree(h);
}

INSTANTIATE_TEST_SUITE_P(Percentages, MeshThinning,
	::testing::Values(Thinning{100.0f, {}, true}, Thinning{250.0f, {}, true}, Thinning{NAN, {}, true},
		Thinning{50.0f, {0, 2, 4, 6, 8}, false}, Thinning{25.0f, {2, 6}, false}, Thinning{0.0f, {}, false},
		Thinning{-10.0f, {}, false}),
	[](const ::testing::TestParamInfo<Thinning>& info) { return std::to_string(info.index); });

// The selection as it was first written, in single precision: the reference wherever its
// arithmetic is exact.
std::vector<uint32_t> SinglePrecisionKeptFaces(int32_t n, float percent)
{
	const float share = percent / 100.0f;
	const float kept_f = static_cast<float>(n) * share;
	const int32_t kept = kept_f > 0.0f ? static_cast<int32_t>(kept_f) : 0;
	std::vector<uint32_t> list(static_cast<size_t>(kept));
	for (int32_t i = 0; i < n; ++i)
	{
		const int32_t k = static_cast<int32_t>(static_cast<float>(i) * share);
		if (k < kept)
			list[kept - 1 - k] = static_cast<uint32_t>(n - 1 - i);
	}
	return list;
}

std::vector<uint32_t> KeptFaces(int32_t n, float percent)
{
	int32_t k = -1;
	uint32_t* list = nullptr;
	EXPECT_EQ(MeshKeptFaces(n, percent, &k, &list), 1);
	std::vector<uint32_t> out(list, list + (list ? k : 0));
	CacheFree(list);
	return out;
}

TEST(MeshKeptFaces, SameSelectionWhereSinglePrecisionIsExact)
{
	// Shares of at most four significant bits on at most 2^20 faces: every single-precision product
	// is exact.
	const float percents[] = {50.0f, 25.0f, 75.0f, 12.5f, 37.5f, 62.5f, 87.5f, 6.25f, 93.75f};
	for (int32_t n : {1, 2, 3, 7, 10, 99, 1000, 100003, 1 << 20})
		for (float p : percents)
			ASSERT_EQ(KeptFaces(n, p), SinglePrecisionKeptFaces(n, p)) << n << " faces at " << p << "%";
}

TEST(MeshKeptFaces, ListIsAscendingAndFull)
{
	const float percents[] = {1.0f, 10.0f, 33.0f, 50.0f, 70.0f, 99.0f};
	for (int32_t n : {1, 2, 3, 7, 10, 99, 1000, 100003})
		for (float p : percents)
		{
			const std::vector<uint32_t> list = KeptFaces(n, p);
			// Whole percentages are exact fractions: 70% of 10 faces is 7.
			EXPECT_EQ(static_cast<int64_t>(list.size()), int64_t{n} * static_cast<int64_t>(p) / 100);
			for (size_t i = 1; i < list.size(); ++i)
				ASSERT_LT(list[i - 1], list[i]) << n << " faces at " << p << "%";
			if (!list.empty())
			{
				EXPECT_LT(list.back(), static_cast<uint32_t>(n));
			}
		}
}

// Fault: above 2^24 faces single-precision slots stopped rising, the list lost its order and the
// reader kept a handful of faces.
TEST(MeshKeptFaces, AscendingWithTheRightCountAboveTwoToThe24)
{
	struct Case
	{
		int32_t n;
		float percent;
	};
	for (const Case& c : {Case{(1 << 24) + 1, 50.0f}, Case{20000003, 70.0f}, Case{(1 << 25) + 5, 3.0f}})
	{
		const std::vector<uint32_t> list = KeptFaces(c.n, c.percent);
		ASSERT_EQ(static_cast<int64_t>(list.size()), int64_t{c.n} * static_cast<int64_t>(c.percent) / 100);
		size_t out_of_order = 0;
		for (size_t i = 1; i < list.size(); ++i)
			out_of_order += list[i - 1] >= list[i];
		EXPECT_EQ(out_of_order, 0u) << c.n << " faces at " << c.percent << "%";
		EXPECT_LT(list.back(), static_cast<uint32_t>(c.n));
	}
}

TEST(MeshIsBinFile, OnlyTheMeshMagic)
{
	const std::string particle = TempPath("particle.bin");
	Spit(particle, {0xDA, 0xBA, 0xFA, 0x00}); // particle magic 0x00FABADA
	EXPECT_FALSE(MeshIsBinFile(particle.c_str()));
	MeshHandle* h = MeshHandleOpen(particle.c_str(), CACHE_MESH_BIN);
	EXPECT_EQ(MeshHandleRead(h, 100.0f), 0);
	MeshHandleFree(h);

	const std::string shorter = TempPath("short.bin");
	Spit(shorter, {0xDA, 0xDA, 0xDA});
	EXPECT_FALSE(MeshIsBinFile(shorter.c_str()));
	EXPECT_FALSE(MeshIsBinFile(TempPath("missing.bin").c_str()));
	const std::string mesh = TempPath("mesh.bin");
	ASSERT_TRUE(WriteMesh(mesh, 3, 1, 1, false, false));
	EXPECT_TRUE(MeshIsBinFile(mesh.c_str()));
}

TEST(MeshBinDamage, EveryPrefixFailsCleanly)
{
	const std::string path = TempPath("whole.bin");
	const std::string cut = TempPath("cut.bin");
	ASSERT_TRUE(WriteMesh(path, 5, 4, 3, true, true));
	const std::vector<unsigned char> whole = Slurp(path);
	const int64_t baseline = CacheLiveAllocations();
	for (size_t n = 0; n < whole.size(); ++n)
	{
		Spit(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + n));
		MeshHandle* h = MeshHandleOpen(cut.c_str(), CACHE_MESH_BIN);
		ASSERT_NE(h, nullptr);
		EXPECT_EQ(MeshHandleRead(h, 100.0f), 0) << n << " bytes";
		EXPECT_EQ(MeshHandleVertexCount(h), 0);
		MeshHandleFree(h);
	}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

// Header of a hand-built file: magic, version, marker, V, then V zero positions.
std::vector<unsigned char> Header(uint32_t v)
{
	std::vector<unsigned char> b;
	PutU32(b, MESH_BIN_MAGIC);
	PutU32(b, 4);
	PutU32(b, MESH_BIN_HEADER_MARKER);
	PutU32(b, v);
	b.resize(b.size() + 12 * static_cast<size_t>(v < 16 ? v : 0));
	return b;
}

TEST(MeshBinDamage, CountsAndIndicesFromTheFileAreChecked)
{
	struct Case
	{
		const char* what;
		std::vector<unsigned char> bytes;
		bool reads;
	};
	std::vector<Case> cases;
	auto with_face = [](uint32_t a, uint32_t b, uint32_t c) {
		std::vector<unsigned char> f = Header(3);
		PutU32(f, 2); // F
		for (uint32_t i : {0u, 1u, 2u, c, b, a}) // face 0 = (2, 1, 0), face 1 as given
			PutU32(f, i);
		PutU32(f, 0); // texture marker
		PutU32(f, 0); // velocity marker
		PutU32(f, MESH_BIN_END_MARKER);
		return f;
	};
	cases.push_back({"last vertex index", with_face(2, 0, 1), true});
	cases.push_back({"index equal to V", with_face(0, 1, 3), false});
	cases.push_back({"index far past V", with_face(0xFFFFFFFFu, 1, 2), false});
	std::vector<unsigned char> huge_v = Header(0x7FFFFFFF);
	huge_v.resize(64);
	cases.push_back({"V beyond the file", huge_v, false});
	cases.push_back({"V above the int range", Header(0x80000000u), false});
	std::vector<unsigned char> huge_f = Header(1);
	PutU32(huge_f, 0x20000000); // F
	huge_f.resize(128);
	cases.push_back({"F beyond the file", huge_f, false});
	std::vector<unsigned char> huge_w = Header(2);
	PutU32(huge_w, 0); // F
	PutU32(huge_w, MESH_BIN_TEXTURE_MARKER);
	PutU32(huge_w, 0x40000000); // W
	huge_w.resize(huge_w.size() + 64);
	cases.push_back({"W beyond the file", huge_w, false});

	const std::string path = TempPath("hand.bin");
	const int64_t baseline = CacheLiveAllocations();
	for (const Case& c : cases)
		for (float percent : {100.0f, 50.0f})
		{
			Spit(path, c.bytes);
			MeshHandle* h = OpenAndRead(path, percent);
			EXPECT_EQ(h != nullptr, c.reads) << c.what << " at " << percent << "%";
			MeshHandleFree(h);
		}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

TEST(MeshBinMemory, AllocationFailureAfterNLeaksNothing)
{
	const std::string path = TempPath("alloc.bin");
	ASSERT_TRUE(WriteMesh(path, 7, 6, 3, true, true));
	const int64_t baseline = CacheLiveAllocations();
	bool read_once = false;
	for (int64_t n = 0; !read_once; ++n)
	{
		ASSERT_LT(n, 50);
		CacheSetAllocFailAfter(n);
		MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_BIN);
		read_once = h && MeshHandleRead(h, 50.0f) == 1;
		MeshHandleFree(h);

		CacheSetAllocFailAfter(n);
		MeshBinFile* w = MeshBinCreate(TempPath("alloc_out.bin").c_str());
		if (w && MeshBinAllocate(w, 7, 6, 3, true, true))
			MeshBinWrite(w);
		MeshBinFree(w);
		CacheSetAllocFailAfter(-1);
		EXPECT_EQ(CacheLiveAllocations(), baseline) << "failing after " << n;
	}
}

TEST(MeshBinMemory, ReusedArraysHoldOnlyTheNewFrame)
{
	const std::string big = TempPath("big.bin");
	const std::string small = TempPath("small.bin");
	ASSERT_TRUE(WriteMesh(big, 40, 30, 3, true, true));
	ASSERT_TRUE(WriteMesh(small, 8, 5, 1, false, false));
	const int64_t baseline = CacheLiveAllocations();
	MeshHandle* old_frame = OpenAndRead(big);
	ASSERT_NE(old_frame, nullptr);
	MeshHandle* h = MeshHandleOpen(small.c_str(), CACHE_MESH_BIN);
	MeshHandleReuse(h, old_frame);
	ASSERT_EQ(MeshHandleRead(h, 100.0f), 1);
	const MeshBinFile* m = MeshHandleBinFile(h);
	EXPECT_EQ(m->vertex_capacity, 40);
	EXPECT_EQ(m->weight_count, 1);
	for (int32_t i = 0; i < 8; ++i)
	{
		EXPECT_EQ(m->vertices[i].weights, nullptr);
		EXPECT_EQ(m->vertices[i].texture[0], 0.0f);
		EXPECT_EQ(m->vertices[i].velocity[2], 0.0f);
		EXPECT_EQ(m->vertices[i].position[0], i + 0.1f);
	}
	MeshHandleFree(h);
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

TEST(MeshBinWrite, FailedWriteIsReported)
{
	MeshBinFile* file = MeshBinCreate("/dev/full");
	if (!file)
		GTEST_SKIP() << "no /dev/full";
	ASSERT_TRUE(MeshBinAllocate(file, 1000, 10, 2, true, true));
	EXPECT_EQ(MeshBinWrite(file), 0);
	MeshBinFree(file);
}

TEST(MeshHandle, VelocityScalingAndTheOtherTypes)
{
	const std::string path = TempPath("scale.bin");
	ASSERT_TRUE(WriteMesh(path, 3, 1, 1, false, true));
	MeshHandle* h = OpenAndRead(path);
	ASSERT_NE(h, nullptr);
	const MeshVelocityScaleEntry entries[] = {
		{0, 2, -1, 2.0f}, {1, 2, -1, 100.0f}, {0, 1, -1, 100.0f}, {0, 2, -1, 3.0f}};
	MeshScaleVelocities(h, entries, 4);
	const MeshBinFile* m = MeshHandleBinFile(h);
	for (int32_t i = 0; i < 3; ++i)
		for (int c = 0; c < 3; ++c)
		{
			EXPECT_FLOAT_EQ(m->vertices[i].velocity[c], 6.0f * (-i - 0.2f * (c + 1)));
			EXPECT_EQ(m->vertices[i].position[c], i + 0.1f * (c + 1));
		}
	EXPECT_EQ(MeshHandleVelocity(h, 3), nullptr);
	EXPECT_EQ(MeshHandleVelocity(h, -1), nullptr);
	MeshHandleFree(h);

	// a mesh .bin is no .md file
	MeshHandle* md = MeshHandleOpen(path.c_str(), CACHE_MESH_MD);
	ASSERT_NE(md, nullptr);
	EXPECT_EQ(MeshHandleRead(md, 100.0f), 0);
	MeshHandleFree(md);
	EXPECT_EQ(MeshHandleOpen(path.c_str(), CACHE_PARTICLE_BIN), nullptr);
	EXPECT_EQ(MeshHandleRead(nullptr, 100.0f), 0);
	EXPECT_EQ(MeshHandleVertexCount(nullptr), 0);
	EXPECT_EQ(MeshHandlePath(nullptr), nullptr);
	EXPECT_EQ(MeshHandleCloseFile(nullptr), 1);
}

} // namespace
