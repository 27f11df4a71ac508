// particle_id_map_test.cpp - file IDs to host particles: memory by count, not by the largest ID.
#include "particle_id_map.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace
{

struct Loaded
{
	std::vector<int32_t> pids; // per file particle
	std::set<int32_t> dropped;
};

// One load: every ID keeps its particle or gets the next new number (`limit` of them at most).
Loaded Load(ParticleIdMap& map, const std::vector<int64_t>& ids, int32_t& next, int32_t limit = 1 << 30,
	const std::set<int32_t>& dead = {})
{
	Loaded out;
	const int32_t n = static_cast<int32_t>(ids.size());
	const int32_t fresh = map.Match(
		n, [&ids](int32_t i) { return ids[static_cast<size_t>(i)]; }, [&dead](int32_t pid) { return !dead.count(pid); },
		[&out](int32_t pid) { out.dropped.insert(pid); });
	std::vector<int32_t> made;
	for (int32_t k = 0; k < fresh && k < limit; ++k)
		made.push_back(next++);
	out.pids.assign(ids.size(), -1);
	map.Complete(made.data(), static_cast<int32_t>(made.size()), out.pids.data());
	return out;
}

TEST(ParticleIdMap, KeepsParticlesOfReturningIdsAndDropsMissingOrDeadOnes)
{
	ParticleIdMap map;
	int32_t next = 0;
	Loaded a = Load(map, {2000000000, 1, 7, 0, -4}, next);
	EXPECT_EQ(a.pids, (std::vector<int32_t>{2, 0, 1, -1, -1})); // new particles in ID order; IDs < 1 take none
	EXPECT_LT(map.CapacityBytes(), 1024u); // an ID of two billion costs one entry
	Loaded b = Load(map, {9, 7, 2000000000, 9}, next);
	EXPECT_EQ(b.pids, (std::vector<int32_t>{3, 1, 2, 3})); // twice in the frame: one particle
	EXPECT_EQ(b.dropped, std::set<int32_t>{0}); // ID 1 is missing
	EXPECT_EQ(map.Lookup(9), 3);
	EXPECT_EQ(map.Lookup(1), -1);
	// a particle that died is dropped and its ID starts afresh
	Loaded c = Load(map, {7, 9}, next, 1 << 30, {1});
	EXPECT_EQ(c.pids, (std::vector<int32_t>{4, 3}));
	EXPECT_EQ(c.dropped, (std::set<int32_t>{1, 2}));
	// no particle left for a new ID: that ID is forgotten, the others keep theirs
	Loaded d = Load(map, {7, 11, 9, 12}, next, 1);
	EXPECT_EQ(d.pids, (std::vector<int32_t>{4, 5, 3, -1}));
	EXPECT_EQ(map.Size(), 3u);
}

TEST(ParticleIdMap, SortsAnyOrderAndGivesMemoryBackAfterALargeFrame)
{
	ParticleIdMap map;
	int32_t next = 0;
	// scattered IDs spanning all 63 bits, in no order
	std::vector<int64_t> many;
	uint64_t x = 88172645463325252ull;
	for (int k = 0; k < 100000; ++k)
	{
		x ^= x << 13;
		x ^= x >> 7;
		x ^= x << 17;
		many.push_back(static_cast<int64_t>(x >> 1) + 1);
	}
	Loaded a = Load(map, many, next);
	std::vector<int64_t> reversed(many.rbegin(), many.rend());
	Loaded b = Load(map, reversed, next);
	EXPECT_TRUE(b.dropped.empty());
	for (size_t k = 0; k < many.size(); ++k)
		ASSERT_EQ(b.pids[many.size() - 1 - k], a.pids[k]) << k;
	EXPECT_EQ(map.Lookup(many[500]), a.pids[500]);
	EXPECT_EQ(Load(map, {3, 4}, next).dropped.size(), many.size());
	EXPECT_LT(map.CapacityBytes(), 4096u);
}

} // namespace
