// frame_cache_test.cpp - frame mapping, the three modes, hold, generations and storage reuse.
#include "cache_internal.h"
#include "frame_cache.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

namespace
{

// Files a_0010.bin .. a_0020.bin (or the given range), each holding its frame number in the header.
class FrameCacheTest : public ::testing::Test
{
protected:
	void MakeSequence(int first, int last, int particles = 3)
	{
		for (int f = first; f <= last; ++f)
		{
			char name[64];
			std::snprintf(name, sizeof(name), "a_%04d.bin", f);
			ASSERT_EQ(WriteTestFrame(dir_.File(name), 12, particles, {}, f), 1);
		}
		char chosen[64];
		std::snprintf(chosen, sizeof(chosen), "a_%04d.bin", first);
		sequence_.format = CACHE_PARTICLE_BIN;
		sequence_.SetName(dir_.File(chosen).c_str(), true, true);
		ASSERT_EQ(sequence_.first, first);
		ASSERT_EQ(sequence_.last, last);
		settings_.sequence = &sequence_;
		settings_.load_percentage = 100.0f;
	}

	// Frame number held by what GetFrame serves for host frame h, or -1 for nothing.
	int Shown(int host_frame)
	{
		ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache_, &settings_, host_frame));
		return frame ? frame->bin->header.frame : -1;
	}

	void TearDown() override
	{
		ReleaseCache(&cache_, &settings_);
		EXPECT_EQ(CacheLiveAllocations(), 0);
	}

	TempDir dir_;
	FrameSequence sequence_;
	FrameCacheSettings settings_ = {};
	FrameCache cache_ = {};
};

TEST_F(FrameCacheTest, MapsHostFramesThroughOffsetReverseAndHoldEnds)
{
	MakeSequence(10, 20, 1);
	settings_.offset = 5;
	struct Case
	{
		bool reverse, hold_ends;
		int host, expect;
	} cases[] = {
		{false, false, 15, 10}, {false, false, 25, 20}, {false, false, 26, -1}, {false, true, 26, 20},
		{false, false, 14, -1}, {true, false, 15, 20}, {true, false, 25, 10}, {true, true, 26, 10},
		{true, false, 26, -1}, {false, true, 14, -1},
	};
	for (const Case& c : cases)
	{
		settings_.reverse = c.reverse;
		settings_.hold_ends = c.hold_ends;
		EXPECT_EQ(MapFrame(&cache_, &settings_, c.host), c.expect) << c.host << " reverse " << c.reverse;
	}
}

TEST_F(FrameCacheTest, OneFrameModeLoadsOnChangeAndHoldKeepsTheFrame)
{
	MakeSequence(10, 20);
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	ASSERT_EQ(cache_.count, 1);
	EXPECT_EQ(Shown(12), 12);
	EXPECT_EQ(cache_.generation, 2); // flush and load
	EXPECT_EQ(Shown(12), 12);
	EXPECT_EQ(cache_.generation, 2);
	settings_.hold = true;
	EXPECT_EQ(Shown(18), 12);
	EXPECT_EQ(cache_.generation, 2);
	settings_.hold = false;
	EXPECT_EQ(Shown(25), -1);
	EXPECT_EQ(cache_.current, -1);
	EXPECT_EQ(Shown(13), 13);
	EXPECT_EQ(cache_.generation, 4);
}

TEST_F(FrameCacheTest, WindowReloadsOnlyOutsideItself)
{
	MakeSequence(0, 30);
	settings_.mode = FRAME_CACHE_WINDOW;
	settings_.window_radius = 2;
	InitCache(&cache_, &settings_);
	ASSERT_EQ(cache_.count, 5);
	// frame 0 first: a fresh cache holds no frame, so it loads
	EXPECT_EQ(Shown(0), 0);
	struct Step
	{
		int host, low, high, generation_step;
	} steps[] = {
		{10, 10, 14, 2}, {11, 10, 14, 0}, {14, 10, 14, 0}, {15, 15, 19, 2}, {9, 9, 13, 2}, {13, 9, 13, 0},
	};
	for (const Step& s : steps)
	{
		int generation = cache_.generation;
		EXPECT_EQ(Shown(s.host), s.host);
		EXPECT_EQ(cache_.low, s.low) << s.host;
		EXPECT_EQ(cache_.high, s.high) << s.host;
		EXPECT_EQ(cache_.generation - generation, s.generation_step) << s.host;
	}
	// never clamped: a window past the end holds empty slots
	EXPECT_EQ(Shown(29), 29);
	EXPECT_EQ(Shown(31), -1);
	EXPECT_EQ(cache_.high, 33);
}

TEST_F(FrameCacheTest, WholeSequenceLoadsOnceAtInit)
{
	MakeSequence(10, 14);
	settings_.mode = FRAME_CACHE_ALL;
	InitCache(&cache_, &settings_);
	ASSERT_EQ(cache_.count, 5);
	EXPECT_EQ(cache_.generation, 1);
	for (int f = 10; f <= 14; ++f)
		EXPECT_EQ(Shown(f), f);
	EXPECT_EQ(Shown(15), -1);
	EXPECT_EQ(cache_.generation, 1);
	ResetCache(&cache_, &settings_);
	EXPECT_EQ(cache_.generation, 1);
	EXPECT_EQ(Shown(11), 11);
}

TEST_F(FrameCacheTest, FlushedArraysAreReusedByTheNextFrame)
{
	MakeSequence(10, 14, 2000);
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	ParticleFrame* a = SlotParticleFrame(GetFrame(&cache_, &settings_, 10));
	ASSERT_TRUE(a);
	const void* storage = a->bin->storage;
	int64_t live = CacheLiveAllocations();
	for (int f = 11; f <= 14; ++f)
	{
		ParticleFrame* b = SlotParticleFrame(GetFrame(&cache_, &settings_, f));
		ASSERT_TRUE(b);
		EXPECT_EQ(b->bin->storage, storage) << f;
		EXPECT_EQ(b->bin->kept_count, 2000);
		EXPECT_EQ(CacheLiveAllocations(), live) << f;
	}
	// a smaller share still fits the recycled block
	settings_.load_percentage = 10.0f;
	ParticleFrame* c = SlotParticleFrame(GetFrame(&cache_, &settings_, 10));
	ASSERT_TRUE(c);
	EXPECT_EQ(c->bin->storage, storage);
	EXPECT_EQ(c->bin->kept_count, 200);
}

TEST_F(FrameCacheTest, MissingUnreadableAndUnknownGiveEmptySlots)
{
	MakeSequence(10, 12);
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	WriteBytes(dir_.File("a_0011.bin"), {1, 2, 3});
	std::remove(dir_.File("a_0012.bin").c_str());
	EXPECT_EQ(Shown(10), 10);
	EXPECT_EQ(Shown(11), -1);
	EXPECT_EQ(Shown(12), -1);
	ReleaseCache(&cache_, &settings_);
	// the frame record, the handle, the arrays: each failing leaves the slot empty, leaking nothing
	for (int n = 0; n < 3; ++n)
	{
		InitCache(&cache_, &settings_);
		CacheSetAllocFailAfter(n);
		EXPECT_EQ(Shown(10), -1) << n;
		CacheSetAllocFailAfter(-1);
		ReleaseCache(&cache_, &settings_);
		EXPECT_EQ(CacheLiveAllocations(), 0) << n;
	}

	sequence_.format = CACHE_NONE;
	InitCache(&cache_, &settings_);
	EXPECT_EQ(cache_.count, 0);
	EXPECT_EQ(Shown(10), -1);
	ReleaseCache(&cache_, &settings_);

	sequence_.format = CACHE_MESH_BIN; // mesh frames are not wired in yet
	InitCache(&cache_, &settings_);
	EXPECT_EQ(cache_.count, 1);
	EXPECT_EQ(GetFrame(&cache_, &settings_, 10), nullptr);
	ReleaseCache(&cache_, &settings_);

	sequence_.format = CACHE_PARTICLE_BIN;
	settings_.sequence = nullptr;
	InitCache(&cache_, &settings_);
	EXPECT_EQ(cache_.count, 0);
	EXPECT_EQ(GetFrame(&cache_, &settings_, 10), nullptr);
}

} // namespace
