// particle_bin_stream_test.cpp - a frame written as a stream against the same frame written whole.
#include "cache_internal.h"
#include "particle_bin.h"
#include "particle_bin_stream.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

namespace
{

void SetHeader(BinParticleFrame* f, int version, int count)
{
	BinParticleHeader& h = f->header;
	h.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f, "stream");
	h.version = static_cast<int16_t>(version);
	h.scale = 1.0f;
	h.fluid_type = 5;
	h.frame = 3;
	h.fps = 25;
	h.particle_count = count;
	h.radius = 0.1f;
	for (int c = 0; c < 3; ++c)
		h.emitter_scale[c] = 1.0f + c;
}

// Statistics as a writer learns them only once every particle is filled.
void SetStatistics(BinParticleFrame* f)
{
	for (int c = 0; c < 3; ++c)
	{
		f->header.range1[c] = -1.5f + c;
		f->header.speed_range[c] = 2.0f * c;
		f->header.range3[c] = 100.0f + c;
	}
}

// version, particles, particles per publication (0: none until the end), second thread
using StreamCase = std::tuple<int, int, int, int>;

class ParticleBinStreamFile : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(ParticleBinStreamFile, IsByteForByteTheWholeWritersFile)
{
	const int version = std::get<0>(GetParam()), count = std::get<1>(GetParam());
	const int piece = std::get<2>(GetParam()), second_thread = std::get<3>(GetParam());
	TempDir dir;

	BinParticleFrame* whole = OpenParticleBin(dir.File("whole.bin").c_str(), 1);
	ASSERT_TRUE(whole);
	SetHeader(whole, version, count);
	SetStatistics(whole);
	ASSERT_EQ(AllocateChannels(whole, count), 1);
	for (int i = 0; i < count; ++i)
		FillParticle(whole, i, (int64_t(1) << 33) + i);
	ASSERT_EQ(WriteParticleBin(whole), 1);
	FreeParticleBin(whole);

	BinParticleFrame* f = OpenParticleBin(dir.File("stream.bin").c_str(), 1);
	ASSERT_TRUE(f);
	SetHeader(f, version, count);
	ASSERT_EQ(AllocateChannelsUnfilled(f, count), 1);
	ParticleBinStream* s = StartParticleBinStream(f, second_thread);
	ASSERT_TRUE(s);
	// filled after the stream started, as a writer gathering its values does
	for (int i = 0; i < count; ++i)
	{
		FillParticle(f, i, (int64_t(1) << 33) + i);
		if (piece > 0 && ((i + 1) % piece == 0 || i + 1 == count))
		{
			EXPECT_EQ(PublishParticleBinStream(s, i + 1), 1);
		}
	}
	SetStatistics(f);
	EXPECT_EQ(FinishParticleBinStream(s), 1);
	FreeParticleBin(f);

	const std::vector<unsigned char> expect = ReadBytes(dir.File("whole.bin"));
	ASSERT_GT(expect.size(), 300u);
	EXPECT_TRUE(ReadBytes(dir.File("stream.bin")) == expect);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

// 10000 records are three of the writer's scratch pieces; 4099 publications end inside a piece.
INSTANTIATE_TEST_SUITE_P(Frames, ParticleBinStreamFile,
	::testing::Values(StreamCase{12, 0, 1, 1}, StreamCase{9, 0, 0, 0}, StreamCase{12, 1, 1, 1}, StreamCase{9, 3, 1, 0},
		StreamCase{12, 10000, 4099, 1}, StreamCase{12, 10000, 4099, 0}, StreamCase{9, 10000, 1, 1},
		StreamCase{12, 10000, 0, 1}, StreamCase{12, 10000, 10000, 1}));

TEST(ParticleBinStream, FailedWriteReachesTheCallerWithItsReasonAndLeaksNothing)
{
	if (FILE* probe = std::fopen("/dev/full", "wb"))
		std::fclose(probe);
	else
		GTEST_SKIP() << "no /dev/full";
	const int count = 20000; // more than the stdio buffer holds
	for (int second_thread = 0; second_thread <= 1; ++second_thread)
	{
		BinParticleFrame* f = OpenParticleBin("/dev/full", 1);
		ASSERT_TRUE(f);
		SetHeader(f, 12, count);
		ASSERT_EQ(AllocateChannels(f, count), 1);
		ParticleBinStream* s = StartParticleBinStream(f, second_thread);
		ASSERT_TRUE(s);
		// publications may report the failure early or not, the end always does
		for (int done = 1000; done <= count; done += 1000)
			if (!PublishParticleBinStream(s, done))
				break;
		errno = 0;
		EXPECT_EQ(FinishParticleBinStream(s), 0) << second_thread;
		EXPECT_EQ(errno, ENOSPC) << second_thread;
		FreeParticleBin(f);
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleBinStream, StartRefusesAFrameItCannotWriteAndAFailedAllocation)
{
	TempDir dir;
	BinParticleFrame* f = OpenParticleBin(dir.File("a.bin").c_str(), 1);
	ASSERT_TRUE(f);
	SetHeader(f, 12, 10);
	ASSERT_EQ(AllocateChannels(f, 5), 1);
	EXPECT_EQ(StartParticleBinStream(f, 1), nullptr) << "the arrays hold fewer than the header counts";

	ASSERT_EQ(AllocateChannels(f, 10), 1);
	CacheSetAllocFailAfter(0);
	errno = 0;
	EXPECT_EQ(StartParticleBinStream(f, 1), nullptr);
	EXPECT_EQ(errno, ENOMEM);
	CacheSetAllocFailAfter(-1);
	FreeParticleBin(f);

	EXPECT_EQ(PublishParticleBinStream(nullptr, 1), 0);
	EXPECT_EQ(FinishParticleBinStream(nullptr), 0);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

} // namespace
