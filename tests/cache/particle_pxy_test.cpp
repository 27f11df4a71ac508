// particle_pxy_test.cpp - .pxy frames: both record sizes, the share of particles, hostile files.
#include "cache_internal.h"
#include "frame_cache.h"
#include "particle_frame.h"
#include "particle_pxy.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace
{

struct PxyParticle
{
	int64_t id;
	float position[3];
	float velocity[3];
};

// File bytes of a .pxy frame; the count field may differ from the particles written.
std::vector<unsigned char> PxyBytes(float version, int32_t count, const std::vector<PxyParticle>& particles)
{
	const bool wide = version >= 3.0f;
	std::vector<unsigned char> b(8 + particles.size() * (wide ? 32 : 28));
	StoreF32(&b[0], version); // version
	StoreI32(&b[4], count); // particle count
	unsigned char* r = b.data() + 8;
	for (const PxyParticle& p : particles)
	{
		if (wide)
			StoreI64(r, p.id);
		else
			StoreI32(r, static_cast<int32_t>(p.id));
		r += wide ? 8 : 4;
		for (int k = 0; k < 3; ++k)
			StoreF32(r + 4 * k, p.position[k]);
		for (int k = 0; k < 3; ++k)
			StoreF32(r + 12 + 4 * k, p.velocity[k]);
		r += 24;
	}
	return b;
}

std::vector<PxyParticle> Particles(int count, int64_t first_id = 0)
{
	std::vector<PxyParticle> out;
	for (int i = 0; i < count; ++i)
	{
		const float base = static_cast<float>(i) * 8.0f;
		out.push_back({first_id + i, {base + 1, base + 2, base + 3}, {base + 4, base + 5, base + 6}});
	}
	return out;
}

// Opens and reads a file; *ok receives the read's result.
PxyParticleFrame* ReadFile(const std::string& path, float percentage, int* ok)
{
	PxyParticleFrame* f = OpenPxy(path.c_str());
	*ok = f ? ReadPxy(f, percentage) : 0;
	ClosePxyFile(f);
	return f;
}

class PxyTest : public ::testing::Test
{
protected:
	void TearDown() override { EXPECT_EQ(CacheLiveAllocations(), 0); }
	TempDir dir_;
};

TEST_F(PxyTest, BothVersionsReadEveryFieldFromFilesOfExactSize)
{
	struct Case
	{
		float version;
		size_t bytes;
		int64_t ids[2];
	};
	// 2.5 holds 32-bit ids, widened with their sign; 3.0 holds the full 64 bits
	const Case cases[] = {
		{2.5f, 8 + 2 * 28, {-5, 0x7fffffff}},
		{3.0f, 8 + 2 * 32, {-5, (int64_t(1) << 40) + 3}},
	};
	for (const Case& c : cases)
	{
		std::vector<PxyParticle> particles = Particles(2);
		particles[0].id = c.ids[0];
		particles[1].id = c.ids[1];
		const std::string path = dir_.File("f.pxy");
		WriteBytes(path, PxyBytes(c.version, 2, particles));
		ASSERT_EQ(ReadBytes(path).size(), c.bytes);
		int ok;
		PxyParticleFrame* f = ReadFile(path, 100.0f, &ok);
		ASSERT_TRUE(f);
		EXPECT_EQ(ok, 1);
		ASSERT_EQ(f->kept_count, 2) << c.version;
		for (int i = 0; i < 2; ++i)
		{
			EXPECT_EQ(f->records[i].id, c.ids[i]) << c.version;
			for (int k = 0; k < 3; ++k)
			{
				EXPECT_EQ(f->records[i].position[k], particles[i].position[k]);
				EXPECT_EQ(f->records[i].velocity[k], particles[i].velocity[k]);
			}
		}
		FreePxy(f);
	}
}

TEST_F(PxyTest, VersionsThatCarryNoParticlesAreEmptyFrames)
{
	const float versions[] = {1.0f, 1.999f, -3.0f, std::numeric_limits<float>::quiet_NaN()};
	for (float v : versions)
	{
		const std::string path = dir_.File("old.pxy");
		WriteBytes(path, PxyBytes(v, 4, Particles(4)));
		int ok;
		PxyParticleFrame* f = ReadFile(path, 100.0f, &ok);
		ASSERT_TRUE(f);
		EXPECT_EQ(ok, 1) << v;
		EXPECT_EQ(f->kept_count, 0) << v;
		FreePxy(f);
	}
}

TEST_F(PxyTest, HostileCountsFailBeforeAnyAllocation)
{
	struct Case
	{
		float version;
		int32_t count;
		int particles_written;
	};
	const Case cases[] = {
		{3.0f, -1, 2}, // negative count
		{3.0f, 3, 2}, // more than the file holds
		{2.5f, 0x7fffffff, 1}, // a count that would take gigabytes
		{1e30f, 0x7fffffff, 1}, // a huge version is a 64-bit-id file, still checked
		{std::numeric_limits<float>::infinity(), 5, 4},
	};
	for (const Case& c : cases)
	{
		const std::string path = dir_.File("bad.pxy");
		WriteBytes(path, PxyBytes(c.version, c.count, Particles(c.particles_written)));
		PxyParticleFrame* f = OpenPxy(path.c_str());
		ASSERT_TRUE(f);
		const int64_t before = CacheLiveAllocations();
		EXPECT_EQ(ReadPxy(f, 100.0f), 0) << c.count;
		EXPECT_EQ(CacheLiveAllocations(), before) << c.count;
		EXPECT_EQ(f->kept_count, 0);
		FreePxy(f);
	}
}

TEST_F(PxyTest, ShareKeepsTheSameIdsInBothVersions)
{
	for (float version : {2.5f, 3.0f})
	{
		const std::string path = dir_.File("s.pxy");
		WriteBytes(path, PxyBytes(version, 10, Particles(10)));
		struct Case
		{
			float percentage;
			std::vector<int64_t> ids;
		};
		const Case cases[] = {{50.0f, {0, 2, 4, 6, 8}}, {20.0f, {0, 5}}, {0.0f, {}}, {-10.0f, {}}};
		for (const Case& c : cases)
		{
			int ok;
			PxyParticleFrame* f = ReadFile(path, c.percentage, &ok);
			ASSERT_TRUE(f);
			EXPECT_EQ(ok, 1);
			std::vector<int64_t> ids;
			for (int i = 0; i < f->kept_count; ++i)
			{
				ids.push_back(f->records[i].id);
				// the whole record of a kept particle, not just its id
				EXPECT_EQ(f->records[i].position[0], static_cast<float>(f->records[i].id) * 8.0f + 1);
			}
			EXPECT_EQ(ids, c.ids) << version << " " << c.percentage;
			FreePxy(f);
		}
	}
}

TEST_F(PxyTest, ChannelValueIsSquaredSpeedForVelocityAndZeroOtherwise)
{
	const std::string path = dir_.File("c.pxy");
	std::vector<PxyParticle> particles = Particles(2);
	particles[1].velocity[0] = 1;
	particles[1].velocity[1] = 2;
	particles[1].velocity[2] = 2;
	WriteBytes(path, PxyBytes(3.0f, 2, particles));
	ParticleFrame* f = OpenParticleFrame(path.c_str(), CACHE_PARTICLE_PXY);
	ASSERT_TRUE(f);
	ASSERT_EQ(ReadParticleFrame(f, 100.0f), 1);
	CloseParticleFile(f);
	EXPECT_EQ(GetParticleCount(f), 2);
	EXPECT_EQ(GetChannelValue(f, 1, 1), 9.0f);
	for (int code : {0, 2, 3, 7, 14, 15})
		EXPECT_EQ(GetChannelValue(f, 1, code), 0.0f) << code;
	EXPECT_EQ(GetChannelValue(f, 2, 1), 0.0f); // beyond the kept count
	EXPECT_EQ(GetParticleId(f, 1), 1);
	EXPECT_EQ(GetParticleId(f, 2), -1);
	float v[3];
	GetParticleVelocity(f, 1, v);
	EXPECT_EQ(v[2], 2.0f);
	EXPECT_STREQ(GetParticlePath(f), path.c_str());
	FreeParticleFrame(f);
}

// The description has no failing read: a cut file used to read its missing records as zeros.
TEST_F(PxyTest, EveryPrefixReadsWholeOrFailsCleanly)
{
	for (float version : {2.5f, 3.0f})
	{
		const std::vector<unsigned char> full = PxyBytes(version, 4, Particles(4, 1));
		for (float percentage : {100.0f, 50.0f})
			for (size_t n = 0; n <= full.size(); ++n)
			{
				const std::string cut = dir_.File("cut.pxy");
				WriteBytes(cut, std::vector<unsigned char>(full.begin(), full.begin() + static_cast<long>(n)));
				int ok;
				PxyParticleFrame* f = ReadFile(cut, percentage, &ok);
				ASSERT_TRUE(f);
				EXPECT_EQ(ok, n == full.size() ? 1 : 0) << version << " " << n;
				EXPECT_EQ(f->kept_count, ok ? (percentage == 100.0f ? 4 : 2) : 0) << n;
				FreePxy(f);
			}
	}
}

TEST_F(PxyTest, AllocationFailureAfterNLeaksNothing)
{
	for (float version : {2.5f, 3.0f})
	{
		const std::string path = dir_.File("a.pxy");
		WriteBytes(path, PxyBytes(version, 5, Particles(5)));
		for (int n = 0; n < 4; ++n)
		{
			CacheSetAllocFailAfter(n);
			ParticleFrame* f = OpenParticleFrame(path.c_str(), CACHE_PARTICLE_PXY);
			const int ok = f ? ReadParticleFrame(f, 100.0f) : 0;
			CacheSetAllocFailAfter(-1);
			EXPECT_EQ(GetParticleCount(f), ok ? 5 : 0) << n;
			FreeParticleFrame(f);
			EXPECT_EQ(CacheLiveAllocations(), 0) << n;
		}
	}
}

TEST_F(PxyTest, ReadingAgainReusesTheArraysAndHoldsOnlyTheNewFrame)
{
	const std::string big = dir_.File("big.pxy"), small = dir_.File("small.pxy");
	WriteBytes(big, PxyBytes(2.5f, 8, Particles(8)));
	WriteBytes(small, PxyBytes(2.5f, 3, Particles(3, 100)));
	int ok;
	PxyParticleFrame* spare = ReadFile(big, 100.0f, &ok);
	ASSERT_EQ(ok, 1);
	const PxyParticleRecord* arrays = spare->records;
	PxyParticleFrame* f = OpenPxy(small.c_str());
	PxyReuse(f, spare);
	ASSERT_EQ(ReadPxy(f, 100.0f), 1);
	ClosePxyFile(f);
	EXPECT_EQ(f->records, arrays);
	EXPECT_EQ(f->kept_count, 3);
	EXPECT_EQ(f->records[2].id, 102);
	FreePxy(f);
}

// Files p_0001.pxy .. p_0009.pxy through the frame cache's window.
TEST_F(PxyTest, FrameCacheWindowsReadIntoTheRecordsOfTheWindowBefore)
{
	for (int f = 1; f <= 9; ++f)
	{
		char name[32];
		std::snprintf(name, sizeof(name), "p_%04d.pxy", f);
		WriteBytes(dir_.File(name), PxyBytes(3.0f, 4, Particles(4, 10 * f)));
	}
	FrameSequence sequence;
	sequence.format = CACHE_PARTICLE_PXY;
	sequence.SetName(dir_.File("p_0001.pxy").c_str(), true, true);
	FrameCacheSettings settings = {};
	settings.sequence = &sequence;
	settings.mode = FRAME_CACHE_WINDOW;
	settings.window_radius = 1;
	settings.load_percentage = 100.0f;
	FrameCache cache = {};
	InitCache(&cache, &settings);
	std::set<const void*> first_window;
	for (int f = 1; f <= 3; ++f)
		first_window.insert(SlotParticleFrame(GetFrame(&cache, &settings, f))->pxy->records);
	for (int f = 4; f <= 6; ++f)
	{
		const ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, f));
		ASSERT_TRUE(frame);
		EXPECT_EQ(GetParticleId(frame, 0), 10 * f);
		EXPECT_EQ(first_window.count(frame->pxy->records), 1u) << f;
	}
	ReleaseCache(&cache, &settings);
}

// One table that plays a .pxy sequence, then a .bin one: the spare .pxy records must not reach the
// .bin reader, and nothing of either stays behind after the release.
TEST_F(PxyTest, SpareRecordsOfAnotherFormatAreNotHandedToTheNextReader)
{
	for (int f = 1; f <= 3; ++f)
	{
		char name[32];
		std::snprintf(name, sizeof(name), "p_%04d.pxy", f);
		WriteBytes(dir_.File(name), PxyBytes(2.5f, 5, Particles(5, f)));
		std::snprintf(name, sizeof(name), "b_%04d.bin", f);
		ASSERT_EQ(WriteTestFrame(dir_.File(name), 12, 2, {}, f), 1);
	}
	FrameSequence pxy, bin;
	pxy.format = CACHE_PARTICLE_PXY;
	pxy.SetName(dir_.File("p_0001.pxy").c_str(), true, true);
	bin.format = CACHE_PARTICLE_BIN;
	bin.SetName(dir_.File("b_0001.bin").c_str(), true, true);
	FrameCacheSettings settings = {};
	settings.sequence = &pxy;
	settings.mode = FRAME_CACHE_ONE;
	settings.load_percentage = 100.0f;
	FrameCache cache = {};
	InitCache(&cache, &settings);
	for (int f = 1; f <= 3; ++f)
		EXPECT_EQ(GetParticleId(SlotParticleFrame(GetFrame(&cache, &settings, f)), 0), f);
	settings.sequence = &bin;
	for (int f = 1; f <= 3; ++f)
	{
		const ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, f));
		ASSERT_TRUE(frame && frame->bin);
		EXPECT_EQ(frame->bin->header.frame, f);
		EXPECT_EQ(GetParticleCount(frame), 2);
	}
	settings.sequence = &pxy;
	EXPECT_EQ(GetParticleCount(SlotParticleFrame(GetFrame(&cache, &settings, 2))), 5);
	ReleaseCache(&cache, &settings);
}

} // namespace
