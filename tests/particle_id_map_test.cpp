// particle_id_map_test.cpp - file IDs to host particles: memory by count, not by the largest ID.
#include "particle_id_map.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace
{

// One load: every ID gets its old particle or the next new number; returns the particles dropped.
std::set<int32_t> Load(ParticleIdMap& map, const std::vector<int64_t>& ids, int32_t& next)
{
	const uint32_t stamp = map.Begin(ids.size());
	for (int64_t id : ids)
	{
		ParticleIdMap::Entry& e = map.Find(id);
		e.stamp = stamp;
		if (e.pid < 0)
			e.pid = next++;
	}
	std::set<int32_t> dropped;
	map.Sweep(stamp, [&dropped](int32_t pid) { dropped.insert(pid); });
	return dropped;
}

TEST(ParticleIdMap, KeepsParticlesOfReturningIdsAndDropsMissingOnes)
{
	ParticleIdMap map;
	int32_t next = 0;
	EXPECT_TRUE(Load(map, {1, 2000000000, 7}, next).empty());
	EXPECT_LE(map.Capacity(), 16u); // an ID of two billion costs one entry
	const int32_t far = map.Lookup(2000000000);
	EXPECT_EQ(Load(map, {7, 2000000000, 9, 9}, next), std::set<int32_t>{0}); // ID 1 is missing
	EXPECT_EQ(map.Lookup(2000000000), far);
	EXPECT_EQ(map.Lookup(7), 2);
	EXPECT_EQ(map.Lookup(9), 3); // twice in the frame, one particle
	EXPECT_EQ(next, 4);
	EXPECT_EQ(map.Lookup(1), -1);
	EXPECT_EQ(map.Size(), 3u);
	EXPECT_EQ(map.Lookup(0), -1);
	EXPECT_EQ(map.Lookup(-5), -1);
}

TEST(ParticleIdMap, GivesMemoryBackAfterALargeFrameAndSurvivesChurn)
{
	ParticleIdMap map;
	int32_t next = 0;
	std::vector<int64_t> many;
	for (int64_t id = 1; id <= 100000; ++id)
		many.push_back(id * 1000003);
	Load(map, many, next);
	EXPECT_EQ(map.Size(), 100000u);
	EXPECT_EQ(map.Lookup(1000003 * 500), 499);
	EXPECT_EQ(Load(map, {3, 4}, next).size(), 100000u);
	EXPECT_LE(map.Capacity(), 16u);
	// IDs that keep growing: a sliding window of 1000 over many loads stays small and exact
	for (int64_t start = 10; start < 20000; start += 250)
	{
		std::vector<int64_t> window;
		for (int64_t id = start; id < start + 1000; ++id)
			window.push_back(id);
		const int32_t kept = map.Lookup(start + 500);
		Load(map, window, next);
		EXPECT_EQ(map.Size(), 1000u);
		if (start > 10)
		{
			EXPECT_EQ(map.Lookup(start + 500), kept);
		}
	}
	EXPECT_LE(map.Capacity(), 4096u);
}

} // namespace
