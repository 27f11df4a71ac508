// frame_cache_test.cpp - frame mapping, the three modes, hold, generations, storage reuse, layouts and mesh frames.
#include "cache_internal.h"
#include "frame_cache.h"
#include "mesh_bin.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <set>

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

TEST_F(FrameCacheTest, EachWindowReadsIntoTheArraysOfTheWindowBefore)
{
	MakeSequence(0, 11, 2000);
	settings_.mode = FRAME_CACHE_WINDOW;
	settings_.window_radius = 1;
	InitCache(&cache_, &settings_);
	ASSERT_EQ(Shown(0), 0);
	std::set<const void*> blocks;
	for (int f = 0; f <= 2; ++f)
		blocks.insert(SlotParticleFrame(GetFrame(&cache_, &settings_, f))->bin->storage);
	ASSERT_EQ(blocks.size(), 3u);
	const int64_t live = CacheLiveAllocations();
	for (int f = 3; f <= 11; ++f)
	{
		ASSERT_EQ(Shown(f), f);
		EXPECT_EQ(blocks.count(SlotParticleFrame(GetFrame(&cache_, &settings_, f))->bin->storage), 1u) << f;
		EXPECT_EQ(CacheLiveAllocations(), live) << f;
	}
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

	sequence_.format = CACHE_PARTICLE_BIN;
	settings_.sequence = nullptr;
	InitCache(&cache_, &settings_);
	EXPECT_EQ(cache_.count, 0);
	EXPECT_EQ(GetFrame(&cache_, &settings_, 10), nullptr);
}

// A table asked with settings it was not laid out for (a loaded or copied importer's table is made
// before its settings are read) must be laid out for them, not served from the old slots.
TEST_F(FrameCacheTest, TableLaidOutForOtherSettingsIsLaidOutAnew)
{
	MakeSequence(10, 14, 2000);
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	ASSERT_EQ(Shown(10), 10);
	const void* storage = SlotParticleFrame(GetFrame(&cache_, &settings_, 10))->bin->storage;
	// the flushed arrays serve the new layout
	settings_.mode = FRAME_CACHE_ALL;
	ASSERT_EQ(Shown(10), 10);
	EXPECT_EQ(SlotParticleFrame(GetFrame(&cache_, &settings_, 10))->bin->storage, storage);
	struct Step
	{
		int32_t mode, radius;
		float percentage;
		int count, kept;
	} steps[] = {
		{FRAME_CACHE_ALL, 5, 100.0f, 5, 2000},
		{FRAME_CACHE_WINDOW, 1, 100.0f, 3, 2000},
		{FRAME_CACHE_WINDOW, 2, 100.0f, 5, 2000},
		{FRAME_CACHE_WINDOW, 2, 50.0f, 5, 1000},
		{FRAME_CACHE_ALL, 2, 50.0f, 5, 1000},
		{FRAME_CACHE_ONE, 2, 50.0f, 1, 1000},
	};
	for (const Step& s : steps)
	{
		settings_.mode = s.mode;
		settings_.window_radius = s.radius;
		settings_.load_percentage = s.percentage;
		for (int f = 10; f <= 14; ++f)
		{
			ASSERT_EQ(Shown(f), f) << "mode " << s.mode << " radius " << s.radius;
			EXPECT_EQ(SlotParticleFrame(GetFrame(&cache_, &settings_, f))->bin->kept_count, s.kept);
		}
		EXPECT_EQ(cache_.count, s.count) << "mode " << s.mode << " radius " << s.radius;
	}

	// mapping alone (offset, reverse, hold ends) changes no slot: nothing loads again
	settings_.mode = FRAME_CACHE_ALL;
	ASSERT_EQ(Shown(12), 12);
	const int generation = cache_.generation;
	settings_.reverse = true;
	EXPECT_EQ(Shown(11), 13);
	settings_.offset = 1;
	settings_.hold_ends = true;
	EXPECT_EQ(Shown(20), 10);
	EXPECT_EQ(cache_.generation, generation);

	// a new range is a new layout for the whole sequence
	settings_.reverse = settings_.hold_ends = false;
	settings_.offset = 0;
	sequence_.last = 12;
	EXPECT_EQ(Shown(12), 12);
	EXPECT_EQ(Shown(13), -1);
	EXPECT_EQ(cache_.count, 3);
}

// A sequence whose name holds no frame number: every GetFileName is counted, so that loading the
// same file ten million times shows as a count, not as a test that never ends.
class NameCountingSequence : public FrameSequence
{
public:
	int64_t names = 0;
	void GetFileName(int32_t frame, int32_t offset, char* out) override
	{
		if (++names > 100)
		{
			out[0] = '\0';
			return;
		}
		FrameSequence::GetFileName(frame, offset, out);
	}
};

TEST(SingleFileSequence, IsOneFrameLoadedOnceInEveryMode)
{
	TempDir dir;
	ASSERT_EQ(WriteTestFrame(dir.File("scene.bin"), 12, 4, {}, 7), 1);
	NameCountingSequence sequence;
	sequence.format = CACHE_PARTICLE_BIN;
	sequence.SetName(dir.File("scene.bin").c_str(), true, true);
	ASSERT_EQ(sequence.last, SEQUENCE_FRAME_LIMIT - 1);
	for (int32_t mode : {FRAME_CACHE_ONE, FRAME_CACHE_WINDOW, FRAME_CACHE_ALL})
	{
		FrameCacheSettings settings = {};
		settings.sequence = &sequence;
		settings.mode = mode;
		settings.window_radius = 5;
		settings.load_percentage = 100.0f;
		settings.offset = 2;
		sequence.names = 0;
		FrameCache cache = {};
		InitCache(&cache, &settings);
		EXPECT_EQ(cache.count, 1) << mode;
		for (int32_t host : {2, 3, 40, 2, 5000000, SEQUENCE_FRAME_LIMIT})
		{
			ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, host));
			ASSERT_NE(frame, nullptr) << mode << " " << host;
			EXPECT_EQ(frame->bin->header.frame, 7);
		}
		EXPECT_EQ(SlotParticleFrame(GetFrame(&cache, &settings, 1)), nullptr) << mode; // before the first frame
		EXPECT_EQ(sequence.names, 1) << mode;
		ReleaseCache(&cache, &settings);
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

// Mesh frames m_0010.bin ..: frame f has f + 1 vertices (so the frame shows in the count), one face,
// and velocity (1, 2, 3) on every vertex.
class MeshFrameCacheTest : public ::testing::Test
{
protected:
	void MakeSequence(int first, int last)
	{
		for (int f = first; f <= last; ++f)
		{
			char name[64];
			std::snprintf(name, sizeof(name), "m_%04d.bin", f);
			MeshBinFile* file = MeshBinCreate(dir_.File(name).c_str());
			ASSERT_TRUE(file);
			ASSERT_EQ(MeshBinAllocate(file, f + 1, 1, 2, true, true), 1);
			for (int i = 0; i <= f; ++i)
			{
				file->vertices[i].velocity[0] = 1.0f;
				file->vertices[i].velocity[1] = 2.0f;
				file->vertices[i].velocity[2] = 3.0f;
			}
			file->faces[0] = MeshFace{{0, 1, 2}};
			ASSERT_EQ(MeshBinWrite(file), 1);
			MeshBinFree(file);
		}
		char chosen[64];
		std::snprintf(chosen, sizeof(chosen), "m_%04d.bin", first);
		sequence_.format = CACHE_MESH_BIN;
		sequence_.SetName(dir_.File(chosen).c_str(), true, true);
		ASSERT_EQ(sequence_.last, last);
		settings_.sequence = &sequence_;
		settings_.load_percentage = 100.0f;
	}

	MeshHandle* Served(int host_frame) { return SlotMeshHandle(GetFrame(&cache_, &settings_, host_frame)); }

	// Frame number of what GetFrame serves for a host frame, or -1 for nothing.
	int Shown(int host_frame)
	{
		MeshHandle* h = Served(host_frame);
		return h ? MeshHandleVertexCount(h) - 1 : -1;
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

TEST_F(MeshFrameCacheTest, FramesLoadClosedWithVelocityScaleAndRecycledArrays)
{
	MakeSequence(10, 14);
	const MeshVelocityScaleEntry entries[] = {{0, 2, -1, 2.0f}, {1, 2, -1, 100.0f}, {0, 1, -1, 100.0f}, {0, 2, -1, 0.5f}};
	settings_.velocity_scale_entries = entries;
	settings_.velocity_scale_count = 2;
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	MeshHandle* h = Served(10);
	ASSERT_TRUE(h);
	EXPECT_EQ(MeshHandleType(h), CACHE_MESH_BIN);
	EXPECT_EQ(MeshHandleFaceCount(h), 1);
	EXPECT_EQ(MeshHandleBinFile(h)->stream, nullptr); // closed as soon as it is read
	// only entries of channel 0 and kind 2 scale
	EXPECT_EQ(MeshHandleVelocity(h, 10)[2], 6.0f);

	settings_.velocity_scale_count = 4;
	ASSERT_EQ(Shown(14), 14); // grows: new arrays
	ASSERT_EQ(Shown(12), 12); // fits into the recycled ones
	MeshHandle* g = Served(12);
	EXPECT_EQ(MeshHandleVelocity(g, 0)[1], 2.0f);
	int64_t live = CacheLiveAllocations();
	ASSERT_EQ(Shown(11), 11);
	EXPECT_EQ(CacheLiveAllocations(), live);
	ASSERT_EQ(Shown(13), 13);
	EXPECT_EQ(CacheLiveAllocations(), live);

	// the window holds one handle per frame
	settings_.mode = FRAME_CACHE_WINDOW;
	settings_.window_radius = 1;
	ResetCache(&cache_, &settings_);
	EXPECT_EQ(Shown(11), 11);
	EXPECT_EQ(Shown(13), 13);
	EXPECT_EQ(Shown(12), 12);
	EXPECT_EQ(cache_.low, 11);
	EXPECT_NE(Served(11), Served(12));
}

TEST_F(MeshFrameCacheTest, DamagedMissingAndUnreadableTypesGiveEmptySlots)
{
	MakeSequence(10, 13);
	WriteBytes(dir_.File("m_0011.bin"), {0xDA, 0xDA, 0xDA, 0xDA, 4, 0, 0, 0});
	WriteBytes(dir_.File("m_0012.bin"), {0xDA, 0xBA, 0xFA, 0x00});
	std::remove(dir_.File("m_0013.bin").c_str());
	settings_.mode = FRAME_CACHE_ONE;
	InitCache(&cache_, &settings_);
	EXPECT_EQ(Shown(10), 10);
	EXPECT_EQ(Shown(11), -1);
	EXPECT_EQ(Shown(12), -1);
	EXPECT_EQ(Shown(13), -1);
	EXPECT_EQ(Shown(10), 10); // a failed read's handle does not poison the next one
	ReleaseCache(&cache_, &settings_);
	for (int n = 0; n < 6; ++n)
	{
		InitCache(&cache_, &settings_);
		CacheSetAllocFailAfter(n);
		int shown = Shown(10);
		CacheSetAllocFailAfter(-1);
		EXPECT_TRUE(shown == -1 || shown == 10) << n;
		ReleaseCache(&cache_, &settings_);
		EXPECT_EQ(CacheLiveAllocations(), 0) << n;
	}
	// chunked and .md frames have no reader here: the slots stay empty
	for (int32_t format : {CACHE_MESH_CHUNK, CACHE_MESH_MD})
	{
		sequence_.format = format;
		InitCache(&cache_, &settings_);
		EXPECT_EQ(cache_.count, 1);
		EXPECT_EQ(GetFrame(&cache_, &settings_, 10), nullptr) << format;
		ReleaseCache(&cache_, &settings_);
	}
}

// The entries' values decide what a mesh .bin slot holds, not only their number.
TEST_F(MeshFrameCacheTest, NewVelocityScaleReloadsTheWholeSequence)
{
	MakeSequence(10, 12);
	MeshVelocityScaleEntry entry = {0, 2, -1, 2.0f};
	settings_.velocity_scale_entries = &entry;
	settings_.velocity_scale_count = 1;
	settings_.mode = FRAME_CACHE_ALL;
	InitCache(&cache_, &settings_);
	ASSERT_NE(Served(11), nullptr);
	EXPECT_EQ(MeshHandleVelocity(Served(11), 0)[0], 2.0f);
	entry.factor = 3.0f;
	ASSERT_NE(Served(11), nullptr);
	EXPECT_EQ(MeshHandleVelocity(Served(11), 0)[0], 3.0f);
	EXPECT_EQ(MeshHandleVelocity(Served(12), 0)[0], 3.0f);
	settings_.velocity_scale_count = 0;
	EXPECT_EQ(MeshHandleVelocity(Served(10), 0)[0], 1.0f);
}

} // namespace
