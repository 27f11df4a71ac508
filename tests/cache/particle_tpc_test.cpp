// particle_tpc_test.cpp - particle .tpc frames: conversions, selection, block verdicts, hostile files.
#include "cache_internal.h"
#include "cache_types.h"
#include "frame_cache.h"
#include "frame_sequence.h"
#include "particle_frame.h"
#include "particle_test_util.h"
#include "tpc_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace
{

TpcParticleFrame* ReadTpcBytes(const TempDir& dir, const std::vector<unsigned char>& bytes, float percentage, int* ok)
{
	const std::string path = dir.File("f.tpc");
	WriteBytes(path, bytes);
	TpcParticleFrame* f = OpenTpc(path.c_str());
	*ok = f ? ReadTpc(f, percentage) : 0;
	CloseTpcFile(f);
	return f;
}

// How many allocations fn makes, counted through the allocation hook.
template <typename F>
int64_t AllocationsDuring(const F& fn)
{
	const int64_t budget = 1000;
	CacheSetAllocFailAfter(budget);
	fn();
	int64_t left = 0;
	while (void* p = CacheAlloc(1))
	{
		CacheFree(p);
		++left;
	}
	CacheSetAllocFailAfter(-1);
	return budget - left;
}

std::vector<int64_t> Range(int n)
{
	std::vector<int64_t> v;
	for (int i = 0; i < n; ++i)
		v.push_back(i);
	return v;
}

std::vector<float> Positions(int n)
{
	std::vector<float> v;
	for (int i = 0; i < n; ++i)
		v.insert(v.end(), {1.0f + i, -2.0f * i, 0.5f + i});
	return v;
}

struct VectorCase
{
	int32_t type;
	std::vector<unsigned char> element; // one particle
	float expect[3];
};

class TpcPositionType : public ::testing::TestWithParam<VectorCase>
{
};

TEST_P(TpcPositionType, ReadsAsPosition)
{
	const VectorCase& c = GetParam();
	TempDir dir;
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(1, {{"position", c.type, c.element}}), 100.0f, &ok);
	ASSERT_EQ(ok, 1);
	float p[3];
	GetTpcPosition(f, 0, p);
	for (int k = 0; k < 3; ++k)
		EXPECT_EQ(p[k], c.expect[k]) << k;
	EXPECT_EQ(GetTpcId(f, 0), -1); // no "id" channel
	FreeTpc(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, TpcPositionType,
						 ::testing::Values(VectorCase{1, Floats({1.5f, -2, 3}), {1.5f, -2, 3}},
										   VectorCase{2, Doubles({1.5, -2, 3}), {1.5f, -2, 3}},
										   VectorCase{3, Floats({1.5f, -2}), {1.5f, -2, 0}},
										   VectorCase{11, Floats({1.5f, -2, 3, 9}), {1.5f, -2, 3}}));

struct ElementCase
{
	int32_t type;
	std::vector<unsigned char> element;
	int32_t integer;
	float scalar; // squared length for vectors
};

class TpcElement : public ::testing::TestWithParam<ElementCase>
{
};

TEST_P(TpcElement, IntegerAndScalarConversions)
{
	const ElementCase& c = GetParam();
	EXPECT_EQ(ReadInteger(c.type, c.element.data()), c.integer);
	EXPECT_FLOAT_EQ(ReadScalar(c.type, c.element.data()), c.scalar);
	float v[3] = {7, 7, 7};
	ReadVector(c.type, c.element.data(), v);
	if (TpcComponents(c.type) == 1)
	{
		EXPECT_EQ(v[0], 7.0f); // not a vector: left unchanged
	}
}

INSTANTIATE_TEST_SUITE_P(
	Types, TpcElement,
	::testing::Values(ElementCase{1, Floats({1, 2, 2}), 0, 9}, ElementCase{2, Doubles({1, 2, 2}), 0, 9},
					  ElementCase{3, Floats({3, 4}), 0, 25}, ElementCase{11, Floats({1, 2, 2, 5}), 0, 9},
					  ElementCase{4, Int64s({(int64_t(1) << 40) + 7}), 7, 1099511627783.0f},
					  ElementCase{4, Int64s({-1}), -1, 18446744073709551615.0f},
					  ElementCase{5, {0xff, 0xff}, 65535, 65535}, ElementCase{6, {200}, 200, 200},
					  ElementCase{7, {0xfe, 0xff, 0xff, 0xff}, -2, -2}, ElementCase{8, {200}, -56, -56},
					  ElementCase{9, Floats({-2.75f}), -2, -2.75f}, ElementCase{10, Doubles({3.9}), 3, 3.9f},
					  // a float beyond the int range saturates instead of being undefined
					  ElementCase{9, Floats({1e20f}), INT32_MAX, 1e20f}, ElementCase{12, {0, 0, 0, 0}, 0, 0}));

TEST(ParticleTpc, IdsAreTheLow32Bits)
{
	TempDir dir;
	const std::vector<int64_t> ids = {(int64_t(1) << 40) + 3, -4, 5, (int64_t(7) << 32)};
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(4, {{"position", 1, Floats(Positions(4))}, {"id", 4, Int64s(ids)}}), 100.0f, &ok);
	ASSERT_EQ(ok, 1);
	ASSERT_EQ(f->kept_count, 4);
	const int64_t expect[] = {3, -4, 5, 0};
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_EQ(GetTpcId(f, i), expect[i]);
		float p[3];
		GetTpcPosition(f, i, p);
		EXPECT_EQ(p[0], 1.0f + i);
		EXPECT_EQ(p[1], -2.0f * i);
	}
	FreeTpc(f);
}

TEST(ParticleTpc, HalfKeepsEvenIdsInEveryChannel)
{
	TempDir dir;
	std::vector<float> velocity;
	for (int i = 0; i < 10; ++i)
		velocity.push_back(10.0f * i);
	int ok;
	// "id" in the middle: the selection skips the block before it and reads the one after
	TpcParticleFrame* f = ReadTpcBytes(
		dir,
		TpcBytes(10, {{"position", 1, Floats(Positions(10))}, {"id", 4, Int64s(Range(10))}, {"age", 9, Floats(velocity)}}),
		50.0f, &ok);
	ASSERT_EQ(ok, 1);
	ASSERT_EQ(f->kept_count, 5);
	for (int k = 0; k < 5; ++k)
	{
		EXPECT_EQ(GetTpcId(f, k), 2 * k);
		float p[3];
		GetTpcPosition(f, k, p);
		EXPECT_EQ(p[0], 1.0f + 2 * k);
		EXPECT_EQ(GetTpcChannelScalar(f, "age", k), 20.0f * k);
	}
	EXPECT_EQ(FindChannel(f, "age")->data_bytes, 5 * 4);
	FreeTpc(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

// Fault: the .tpc selection measured the distance of a negative id / step and dropped ids the .bin
// and .pxy readers keep; one sequence converted between formats lost particles at a share.
TEST(ParticleTpc, ShareKeepsTheIdsOfTheOtherParticleFormats)
{
	TempDir dir;
	const std::vector<int64_t> ids = {-7, -4, -3, 0, 1, 2, 3, 4};
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(8, {{"id", 4, Int64s(ids)}}), 50.0f, &ok);
	ASSERT_EQ(ok, 1);
	const float step = 2.0f, half_window = 0.25f;
	std::vector<int64_t> kept, expect;
	for (int64_t id : ids)
		if (KeepId(static_cast<int32_t>(id), step, half_window))
			expect.push_back(id);
	for (int32_t k = 0; k < f->kept_count; ++k)
		kept.push_back(GetTpcId(f, k));
	EXPECT_EQ(kept, expect);
	EXPECT_EQ(kept, (std::vector<int64_t>{-7, -4, -3, 0, 2, 4}));
	FreeTpc(f);
}

TEST(ParticleTpc, ShareWithoutIdChannelIsAnEmptyFrame)
{
	TempDir dir;
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(3, {{"position", 1, Floats(Positions(3))}}), 99.0f, &ok);
	EXPECT_EQ(ok, 1);
	EXPECT_EQ(f->kept_count, 0);
	float p[3] = {1, 1, 1};
	GetTpcPosition(f, 0, p);
	EXPECT_EQ(p[0], 0.0f);
	FreeTpc(f);
}

// Nothing but blocks bounds the particle count a header promises: without a channel, a header of
// two billion particles would be believed.
TEST(ParticleTpc, ParticlesWithoutChannelsAreRefused)
{
	TempDir dir;
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(2000000000, {}), 100.0f, &ok);
	EXPECT_EQ(ok, 0);
	EXPECT_EQ(f->kept_count, 0);
	FreeTpc(f);
	f = ReadTpcBytes(dir, TpcBytes(0, {}), 100.0f, &ok);
	EXPECT_EQ(ok, 1);
	FreeTpc(f);
}

TEST(ParticleTpc, ChannelValuesGiveLengthsAndTextureComponents)
{
	TempDir dir;
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(
		dir,
		TpcBytes(1, {{"velocity", 1, Floats({3, 4, 0})}, {"texture", 3, Floats({0.25f, 0.75f})}, {"mass", 1, Floats({1, 2, 2})},
					 {"pressure", 5, {0x10, 0x00}}}),
		100.0f, &ok);
	ASSERT_EQ(ok, 1);
	EXPECT_FLOAT_EQ(GetTpcChannelValue(f, 0, 1), 5.0f); // the speed, not its square
	EXPECT_EQ(GetTpcChannelValue(f, 0, 4), 0.25f);
	EXPECT_EQ(GetTpcChannelValue(f, 0, 5), 0.75f);
	EXPECT_FLOAT_EQ(GetTpcChannelValue(f, 0, 12), 3.0f);
	EXPECT_EQ(GetTpcChannelValue(f, 0, 11), 16.0f);
	EXPECT_EQ(GetTpcChannelValue(f, 0, 2), 0.0f); // no "normal"
	EXPECT_EQ(GetTpcChannelValue(f, 0, 15), 0.0f);
	EXPECT_EQ(GetTpcChannelValue(f, 1, 1), 0.0f);
	FreeTpc(f);
}

TEST(ParticleTpc, SecondChannelOfOneNameIsIgnoredAndLongNamesAreCutAndTerminated)
{
	TempDir dir;
	const std::string long_name(1000, 'n');
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(
		dir, TpcBytes(1, {{"position", 1, Floats({1, 2, 3})}, {long_name, 9, Floats({1})}, {"position", 1, Floats({4, 5, 6})}}),
		100.0f, &ok);
	ASSERT_EQ(ok, 1);
	float p[3];
	GetTpcPosition(f, 0, p);
	EXPECT_EQ(p[0], 1.0f);
	EXPECT_EQ(std::strlen(f->channels[1].name), static_cast<size_t>(PARTICLE_TPC_NAME_BYTES - 1));
	FreeTpc(f);
}

// Broken blocks, each judged by the block rule; the fast path must agree with zlib on every one.
struct BlockCase
{
	const char* what;
	int expect;
};

TEST(ParticleTpc, BlockVerdictsMatchZlibOnEveryPath)
{
	std::vector<unsigned char> raw(5000);
	for (size_t i = 0; i < raw.size(); ++i)
		raw[i] = static_cast<unsigned char>((i * 7) ^ (i >> 5));
	const std::vector<unsigned char> good = Deflate(raw);
	std::vector<unsigned char> longer = raw;
	longer.insert(longer.end(), 100, 1);
	std::vector<unsigned char> bad_check = good;
	bad_check.back() ^= 1;
	std::vector<unsigned char> corrupt = good;
	corrupt[good.size() / 2] ^= 0x55;
	std::vector<unsigned char> trailing = good;
	trailing.push_back(0);
	const std::vector<std::pair<BlockCase, std::vector<unsigned char>>> cases = {
		{{"whole", 1}, good},
		{{"trailing byte after the stream", 0}, trailing},
		// all values are out before the cut: the rule judges by the full output
		{{"last checksum byte cut", 1}, {good.begin(), good.end() - 1}},
		{{"whole checksum cut", 1}, {good.begin(), good.end() - 4}},
		{{"cut inside the data", 0}, {good.begin(), good.begin() + good.size() / 2}},
		{{"stream ends early", 0}, Deflate({raw.begin(), raw.end() - 1})},
		{{"stream runs long", 1}, Deflate(longer)},
		{{"wrong checksum", 0}, bad_check},
		{{"corrupt data", 0}, corrupt},
		{{"empty", 0}, {}},
		{{"stored, no compression", 1}, Deflate(raw, 0)},
	};
	for (const auto& c : cases)
	{
		std::vector<unsigned char> out(raw.size()), out_zlib(raw.size());
		const int fast = TpcInflate(c.second.data(), static_cast<int64_t>(c.second.size()), out.data(), static_cast<int64_t>(out.size()));
		const int slow = TpcInflateZlib(c.second.data(), static_cast<int64_t>(c.second.size()), out_zlib.data(),
										static_cast<int64_t>(out_zlib.size()));
		EXPECT_EQ(slow, c.first.expect) << c.first.what;
		EXPECT_EQ(fast, slow) << c.first.what;
		if (fast)
		{
			EXPECT_EQ(out, raw) << c.first.what;
		}
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

// A stream that ended on its last compressed byte was good even when it held fewer values than
// the particle count, leaving the rest of the channel unwritten.
TEST(ParticleTpc, StreamEndingShortOfTheParticleCountFailsTheFrame)
{
	TempDir dir;
	const std::vector<unsigned char> short_block = Deflate(Floats(Positions(3)));
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(4, {{"position", 1, Floats(Positions(4))}}, {short_block}), 100.0f, &ok);
	EXPECT_EQ(ok, 0);
	EXPECT_EQ(f->kept_count, 0);
	FreeTpc(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleTpc, SelectionInflatesEveryBlockOnce)
{
	TempDir dir;
	int ok;
	const std::vector<TpcTestChannel> channels = {
		{"position", 1, Floats(Positions(100))}, {"id", 4, Int64s(Range(100))}, {"age", 9, Floats(std::vector<float>(100, 1.0f))}};
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(100, channels), 10.0f, &ok);
	ASSERT_EQ(ok, 1);
	EXPECT_EQ(f->kept_count, 10);
	EXPECT_EQ(f->inflated_blocks, 3); // the "id" block once, for the selection and its values
	EXPECT_EQ(GetTpcId(f, 9), 90);
	FreeTpc(f);
}

TEST(ParticleTpc, BlockCutByOneByteFailsTheFrame)
{
	TempDir dir;
	std::vector<unsigned char> block = Deflate(Floats(Positions(50)));
	block.resize(block.size() / 2);
	int ok;
	TpcParticleFrame* f = ReadTpcBytes(dir, TpcBytes(50, {{"position", 1, Floats(Positions(50))}}, {block}), 100.0f, &ok);
	EXPECT_EQ(ok, 0);
	EXPECT_EQ(f->kept_count, 0);
	FreeTpc(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleTpc, EveryPrefixFailsCleanly)
{
	TempDir dir;
	const std::vector<unsigned char> bytes =
		TpcBytes(20, {{"position", 1, Floats(Positions(20))}, {"id", 4, Int64s(Range(20))}});
	for (size_t n = 0; n < bytes.size(); ++n)
		for (float p : {100.0f, 50.0f})
		{
			int ok;
			TpcParticleFrame* f = ReadTpcBytes(dir, {bytes.begin(), bytes.begin() + static_cast<long>(n)}, p, &ok);
			EXPECT_EQ(ok, 0) << n;
			EXPECT_EQ(f->kept_count, 0) << n;
			FreeTpc(f);
		}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleTpc, HostileHeadersFailBeforeAllocating)
{
	TempDir dir;
	const std::vector<unsigned char> base = TpcBytes(4, {{"position", 1, Floats(Positions(4))}});
	struct Case
	{
		const char* what;
		size_t offset;
		int32_t value;
	};
	const Case cases[] = {
		{"wrong magic", 0, 0x00FABADA},
		{"version 2", 4, 2},
		{"negative particle count", 8, -1},
		{"negative channel count", 12, -1},
		{"channel count past the file", 12, 1000},
		{"name past the file", 40, 100000},
		{"negative name length", 40, -3},
		{"unknown value type", 40 + 4 + 9, 12},
		{"count the block cannot inflate to", 8, 100000000},
	};
	for (const Case& c : cases)
	{
		std::vector<unsigned char> bytes = base;
		StoreI32(&bytes[c.offset], c.value);
		const std::string path = dir.File("h.tpc");
		WriteBytes(path, bytes);
		TpcParticleFrame* f = OpenTpc(path.c_str());
		ASSERT_NE(f, nullptr);
		EXPECT_EQ(ReadTpc(f, 100.0f), 0) << c.what;
		// at most the descriptor list, which the file's size bounds: no buffer for the particles
		EXPECT_LE(AllocationsDuring([&] { ReadTpc(f, 100.0f); }), 1) << c.what;
		EXPECT_EQ(f->kept_count, 0) << c.what;
		FreeTpc(f);
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleTpc, AllocationFailureAfterNLeaksNothing)
{
	TempDir dir;
	const std::string path = dir.File("a.tpc");
	WriteBytes(path, TpcBytes(10, {{"position", 1, Floats(Positions(10))}, {"id", 4, Int64s(Range(10))}}));
	for (float p : {100.0f, 50.0f})
		for (int n = 0; n < 40; ++n)
		{
			CacheSetAllocFailAfter(n);
			TpcParticleFrame* f = OpenTpc(path.c_str());
			const int ok = f ? ReadTpc(f, p) : 0;
			CacheSetAllocFailAfter(-1);
			if (f)
			{
				EXPECT_EQ(f->kept_count, ok ? (p == 100.0f ? 10 : 5) : 0);
			}
			FreeTpc(f);
			EXPECT_EQ(CacheLiveAllocations(), 0) << n;
		}
}

TEST(ParticleTpc, ReadingAgainReusesChannelBuffers)
{
	TempDir dir;
	const std::string a = dir.File("a.tpc"), b = dir.File("b.tpc");
	WriteBytes(a, TpcBytes(8, {{"position", 1, Floats(Positions(8))}, {"id", 4, Int64s(Range(8))}}));
	WriteBytes(b, TpcBytes(6, {{"id", 4, Int64s(Range(6))}, {"position", 1, Floats(Positions(6))}}));
	TpcParticleFrame* f = OpenTpc(a.c_str());
	ASSERT_EQ(ReadTpc(f, 100.0f), 1);
	const unsigned char* position = FindChannel(f, "position")->data;
	const unsigned char* id = FindChannel(f, "id")->data;
	CloseTpcFile(f);
	f->file = std::fopen(b.c_str(), "rb");
	ASSERT_EQ(ReadTpc(f, 100.0f), 1);
	EXPECT_EQ(FindChannel(f, "position")->data, position);
	EXPECT_EQ(FindChannel(f, "id")->data, id);
	EXPECT_EQ(GetTpcId(f, 5), 5);
	FreeTpc(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleTpc, ParticleFrameDispatchesFormatSix)
{
	TempDir dir;
	const std::string path = dir.File("d.tpc");
	WriteBytes(path, TpcBytes(2, {{"position", 1, Floats(Positions(2))}, {"velocity", 1, Floats({1, 0, 0, 0, 2, 0})},
								  {"id", 7, {9, 0, 0, 0, 4, 0, 0, 0}}}));
	ParticleFrame* f = OpenParticleFrame(path.c_str(), CACHE_PARTICLE_TPC);
	ASSERT_NE(f, nullptr);
	ASSERT_EQ(ReadParticleFrame(f, 100.0f), 1);
	CloseParticleFile(f);
	EXPECT_EQ(GetParticleCount(f), 2);
	EXPECT_STREQ(GetParticlePath(f), path.c_str());
	EXPECT_EQ(GetParticleId(f, 1), 4);
	float v[3];
	GetParticleVelocity(f, 1, v);
	EXPECT_EQ(v[1], 2.0f);
	GetParticlePosition(f, 1, v);
	EXPECT_EQ(v[0], 2.0f);
	EXPECT_FLOAT_EQ(GetChannelValue(f, 1, 1), 2.0f);
	FreeParticleFrame(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

} // namespace

// Files t_0001.tpc .. t_0006.tpc through the frame cache's window: the second window reads into the
// channel buffers of the first instead of allocating its own.
TEST(ParticleTpc, FrameCacheWindowsReadIntoTheBuffersOfTheWindowBefore)
{
	TempDir dir;
	for (int f = 1; f <= 6; ++f)
	{
		char name[32];
		std::snprintf(name, sizeof(name), "t_%04d.tpc", f);
		std::vector<int64_t> ids = Range(4);
		for (int64_t& id : ids)
			id += 10 * f;
		WriteBytes(dir.File(name), TpcBytes(4, {{"position", 1, Floats(Positions(4))}, {"id", 4, Int64s(ids)}}));
	}
	FrameSequence sequence;
	sequence.format = CACHE_PARTICLE_TPC;
	sequence.SetName(dir.File("t_0001.tpc").c_str(), true, true);
	FrameCacheSettings settings = {};
	settings.sequence = &sequence;
	settings.mode = FRAME_CACHE_WINDOW;
	settings.window_radius = 1;
	settings.load_percentage = 100.0f;
	FrameCache cache = {};
	InitCache(&cache, &settings);
	const int64_t first = AllocationsDuring([&] { GetFrame(&cache, &settings, 1); });
	const int64_t second = AllocationsDuring([&] { GetFrame(&cache, &settings, 4); });
	// each frame of the second window is spared its two channel buffers and its compressed scratch
	EXPECT_EQ(second, first - 3 * 3);
	for (int f = 4; f <= 6; ++f)
		EXPECT_EQ(GetParticleId(SlotParticleFrame(GetFrame(&cache, &settings, f)), 0), 10 * f);
	ReleaseCache(&cache, &settings);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}
