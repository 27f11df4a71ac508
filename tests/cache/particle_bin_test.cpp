// particle_bin_test.cpp - particle .bin round trips, hostile bytes, truncation and allocation failure.
#include "cache_internal.h"
#include "particle_bin.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

BinParticleFrame* ReadFile(const std::string& path, float percentage, int* ok)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
	*ok = f ? ReadParticleBin(f, percentage) : 0;
	CloseParticleBinFile(f);
	return f;
}

class BinVersion : public ::testing::TestWithParam<int>
{
};

TEST_P(BinVersion, RoundTripsEveryFieldWithExactSize)
{
	const int version = GetParam();
	TempDir dir;
	std::string path = dir.File("a.bin");
	std::vector<int64_t> ids = {0, -5, version >= 12 ? (int64_t(1) << 40) + 3 : 123456};
	ASSERT_EQ(WriteTestFrame(path, version, 3, ids), 1);

	const int record = version >= 12 ? 114 : 110;
	const size_t trailer = version >= 12 ? 6 : 5;
	std::vector<unsigned char> bytes = ReadBytes(path);
	ASSERT_EQ(bytes.size(), 356 + 3 * static_cast<size_t>(record) + trailer);
	for (size_t i = bytes.size() - trailer; i < bytes.size(); ++i)
		EXPECT_EQ(bytes[i], 0) << i;

	int ok;
	BinParticleFrame* f = ReadFile(path, 100.0f, &ok);
	ASSERT_EQ(ok, 1);
	const BinParticleHeader& h = f->header;
	EXPECT_STREQ(h.fluid_name, "splash");
	EXPECT_EQ(h.version, version);
	EXPECT_EQ(h.scale, 1.0f);
	EXPECT_EQ(h.fluid_type, 5);
	EXPECT_EQ(h.frame, 7);
	EXPECT_EQ(h.fps, 25);
	EXPECT_FLOAT_EQ(h.simulation_time_seconds, 7.0f / 25.0f);
	EXPECT_EQ(h.particle_count, 3);
	EXPECT_EQ(h.radius, 0.1f);
	for (int c = 0; c < 3; ++c)
	{
		EXPECT_EQ(h.range1[c], 1.0f + c);
		EXPECT_EQ(h.speed_range[c], 4.0f + c);
		EXPECT_EQ(h.range3[c], 7.0f + c);
		EXPECT_EQ(h.emitter_position[c], 10.0f + c);
		EXPECT_EQ(h.emitter_rotation[c], 13.0f + c);
		EXPECT_EQ(h.emitter_scale[c], 16.0f + c);
	}
	ASSERT_EQ(f->kept_count, 3);

	BinParticleFrame* expect = OpenParticleBin(dir.File("expect.bin").c_str(), 1);
	ASSERT_TRUE(expect);
	ASSERT_EQ(AllocateChannels(expect, 3), 1);
	for (int i = 0; i < 3; ++i)
		FillParticle(expect, i, ids[static_cast<size_t>(i)]);
	EXPECT_EQ(std::memcmp(f->position, expect->position, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->velocity, expect->velocity, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->force, expect->force, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->vorticity, expect->vorticity, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->normal, expect->normal, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->texture, expect->texture, 3 * 12), 0);
	EXPECT_EQ(std::memcmp(f->neighbors, expect->neighbors, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->info_bits, expect->info_bits, 3 * 2), 0);
	EXPECT_EQ(std::memcmp(f->age, expect->age, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->isolation, expect->isolation, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->viscosity, expect->viscosity, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->density, expect->density, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->pressure, expect->pressure, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->mass, expect->mass, 3 * 4), 0);
	EXPECT_EQ(std::memcmp(f->temperature, expect->temperature, 3 * 4), 0);
	for (int i = 0; i < 3; ++i)
		EXPECT_EQ(f->id[i], ids[static_cast<size_t>(i)]);

	// texture U and V of particle 2 are its first and second texture floats
	EXPECT_EQ(GetBinChannelValue(f, 2, CHANNEL_TEXTURE_U), f->texture[6]);
	EXPECT_EQ(GetBinChannelValue(f, 2, CHANNEL_TEXTURE_V), f->texture[7]);
	const float* v = f->velocity + 3;
	EXPECT_EQ(GetBinChannelValue(f, 1, CHANNEL_VELOCITY), v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
	EXPECT_EQ(GetBinChannelValue(f, 1, CHANNEL_NEIGHBORS), 1001.0f);
	EXPECT_EQ(GetBinChannelValue(f, 1, CHANNEL_TEMPERATURE), f->temperature[1]);
	EXPECT_EQ(GetBinChannelValue(f, 3, CHANNEL_AGE), 0.0f);
	EXPECT_EQ(GetBinChannelValue(f, 1, 15), 0.0f);
	EXPECT_EQ(GetBinChannelValue(nullptr, 0, CHANNEL_AGE), 0.0f);
	FreeParticleBin(expect);
	FreeParticleBin(f);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, BinVersion, ::testing::Values(9, 11, 12));

TEST(ParticleBin, EmptyVersion12FileEndsWithZeroCountAndTwoZeroBytes)
{
	TempDir dir;
	std::string path = dir.File("e.bin");
	ASSERT_EQ(WriteTestFrame(path, 12, 0), 1);
	std::vector<unsigned char> bytes = ReadBytes(path);
	ASSERT_EQ(bytes.size(), 356u + 6u);
	EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 356, bytes.end()), std::vector<unsigned char>(6, 0));
	int ok;
	BinParticleFrame* f = ReadFile(path, 100.0f, &ok);
	EXPECT_EQ(ok, 1);
	EXPECT_EQ(f->kept_count, 0);
	FreeParticleBin(f);
}

TEST(ParticleBin, PercentageKeepsIdsNearMultiplesOfTheStep)
{
	TempDir dir;
	std::string path = dir.File("p.bin");
	std::vector<int64_t> ids;
	for (int64_t id = -3; id < 40; ++id)
		ids.push_back(id);
	ASSERT_EQ(WriteTestFrame(path, 12, static_cast<int>(ids.size()), ids), 1);

	struct Case
	{
		float percentage;
		bool (*keeps)(int64_t);
	} cases[] = {
		{100.0f, [](int64_t) { return true; }},
		{50.0f, [](int64_t id) { return id < 0 || id % 2 == 0; }},
		{10.0f, [](int64_t id) { return id < 0 || id % 10 == 0; }},
		{0.0f, [](int64_t) { return false; }},
		{-5.0f, [](int64_t) { return false; }},
	};
	for (const Case& c : cases)
	{
		int ok;
		BinParticleFrame* f = ReadFile(path, c.percentage, &ok);
		ASSERT_EQ(ok, 1) << c.percentage;
		std::vector<int64_t> want, got;
		for (int64_t id : ids)
			if (c.keeps(id))
				want.push_back(id);
		for (int i = 0; i < f->kept_count; ++i)
			got.push_back(f->id[i]);
		EXPECT_EQ(got, want) << c.percentage;
		// kept particles carry their own record, not a neighbour's
		for (int i = 0; i < f->kept_count; ++i)
			EXPECT_EQ(f->neighbors[i], 1000 + (f->id[i] + 3)) << c.percentage;
		FreeParticleBin(f);
	}
}

// Keep rule written out plainly: q = id / step, d = fractional part folded at one half.
bool ReferenceKeep(int64_t id, float percentage)
{
	float step = 100.0f / percentage;
	float q = static_cast<float>(static_cast<int32_t>(id)) / step;
	float d = q - std::trunc(q);
	if (d > 0.5f)
		d = 1.0f - d;
	return 0.5f / step > d;
}

TEST(ParticleBin, PercentageMatchesTheRuleForAwkwardIdsAndShares)
{
	TempDir dir;
	std::string path = dir.File("w.bin");
	std::vector<int64_t> ids = {INT32_MAX, INT32_MIN, (1 << 24) + 1, 123456789, -123456789, (int64_t(1) << 35) + 7,
		8388607, 8388609, -1, 0, 1};
	for (int64_t id = 0; id < 997; ++id)
		ids.push_back(id * 7919 % 100003);
	ASSERT_EQ(WriteTestFrame(path, 12, static_cast<int>(ids.size()), ids), 1);
	for (float percentage : {33.3f, 7.0f, 99.9f, 1.0f, 66.6f, 150.0f})
	{
		int ok;
		BinParticleFrame* f = ReadFile(path, percentage, &ok);
		ASSERT_EQ(ok, 1);
		std::vector<int64_t> want, got(f->id, f->id + f->kept_count);
		for (int64_t id : ids)
			if (ReferenceKeep(id, percentage))
				want.push_back(id);
		EXPECT_EQ(got, want) << percentage;
		FreeParticleBin(f);
	}
}

// A valid version-12 header of `count` particles followed by `records` zero records.
std::vector<unsigned char> HandHeader(int16_t version, int32_t count, int records)
{
	std::vector<unsigned char> b(356, 0);
	StoreU32(&b[0], PARTICLE_BIN_MAGIC); // magic
	std::memcpy(&b[4], "hand", 4); // fluid name
	StoreU16(&b[254], static_cast<uint16_t>(version)); // version
	StoreI32(&b[276], count); // particle count
	b.resize(356 + static_cast<size_t>(records) * static_cast<size_t>(ParticleBinRecordBytes(version)), 0);
	return b;
}

TEST(ParticleBin, RefusesHostileHeaders)
{
	struct Case
	{
		const char* what;
		std::vector<unsigned char> bytes;
		int ok;
	};
	std::vector<unsigned char> bad_magic = HandHeader(12, 1, 1);
	bad_magic[0] ^= 1;
	std::vector<unsigned char> long_name = HandHeader(12, 1, 1);
	std::memset(&long_name[4], 'n', 250); // no terminator in the name field
	Case cases[] = {
		{"bad magic", bad_magic, 0},
		{"version 8", HandHeader(8, 1, 1), 0},
		{"negative count", HandHeader(12, -1, 1), 0},
		{"count beyond the file", HandHeader(12, 2, 1), 0},
		{"huge count", HandHeader(12, INT32_MAX, 1), 0},
		{"version 9 count exact", HandHeader(9, 2, 2), 1},
		{"unterminated name", long_name, 1},
		{"empty", {}, 0},
	};
	TempDir dir;
	for (const Case& c : cases)
	{
		std::string path = dir.File("h.bin");
		WriteBytes(path, c.bytes);
		CacheSetAllocFailAfter(1); // the frame record only: a read that allocates would fail
		int ok;
		BinParticleFrame* f = ReadFile(path, 100.0f, &ok);
		CacheSetAllocFailAfter(-1);
		if (c.ok && f && f->header.particle_count > 0)
		{
			// a good file does allocate; read it again without the limit
			FreeParticleBin(f);
			f = ReadFile(path, 100.0f, &ok);
		}
		EXPECT_EQ(ok, c.ok) << c.what;
		if (ok && std::strcmp(c.what, "unterminated name") == 0)
		{
			EXPECT_EQ(std::strlen(f->header.fluid_name), 250u);
		}
		FreeParticleBin(f);
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleBin, EveryPrefixReadsWholeOrFailsCleanly)
{
	TempDir dir;
	std::string path = dir.File("t.bin");
	ASSERT_EQ(WriteTestFrame(path, 12, 4), 1);
	std::vector<unsigned char> full = ReadBytes(path);
	const size_t records_end = 356 + 4 * 114;
	for (size_t n = 0; n <= full.size(); ++n)
	{
		std::string cut = dir.File("cut.bin");
		WriteBytes(cut, std::vector<unsigned char>(full.begin(), full.begin() + static_cast<long>(n)));
		int ok;
		BinParticleFrame* f = ReadFile(cut, 100.0f, &ok);
		ASSERT_TRUE(f);
		EXPECT_EQ(ok, n >= records_end ? 1 : 0) << n;
		EXPECT_EQ(f->kept_count, ok ? 4 : 0) << n;
		FreeParticleBin(f);
	}
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleBin, AllocationFailureAfterNLeaksNothing)
{
	TempDir dir;
	std::string path = dir.File("a.bin");
	ASSERT_EQ(WriteTestFrame(path, 12, 5), 1);
	for (int n = 0; n < 4; ++n)
	{
		CacheSetAllocFailAfter(n);
		int ok;
		BinParticleFrame* f = ReadFile(path, 100.0f, &ok);
		CacheSetAllocFailAfter(-1);
		if (f)
		{
			EXPECT_EQ(f->kept_count, ok ? 5 : 0);
		}
		FreeParticleBin(f);
		EXPECT_EQ(CacheLiveAllocations(), 0) << n;
	}
}

TEST(ParticleBin, WriterCutsLongNamesAndReportsFailedWrites)
{
	TempDir dir;
	std::string path = dir.File("n.bin");
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	ASSERT_TRUE(f);
	std::string name(300, 'x');
	SetParticleBinName(f, name.c_str());
	EXPECT_EQ(std::strlen(f->header.fluid_name), 249u);
	// a name filling the whole field, as a read of another writer's file can give
	std::memset(f->header.fluid_name, 'y', 250);
	f->header.magic = PARTICLE_BIN_MAGIC;
	f->header.version = 12;
	EXPECT_EQ(WriteParticleBin(f), 1);
	FreeParticleBin(f);
	std::vector<unsigned char> bytes = ReadBytes(path);
	ASSERT_EQ(bytes.size(), 362u);
	EXPECT_EQ(bytes[4 + 248], 'y');
	EXPECT_EQ(bytes[4 + 249], 0);

	// header counts more particles than the arrays hold
	f = OpenParticleBin(path.c_str(), 1);
	ASSERT_EQ(AllocateChannels(f, 2), 1);
	f->header.version = 12;
	f->header.particle_count = 3;
	EXPECT_EQ(WriteParticleBin(f), 0);
	FreeParticleBin(f);

	if (FILE* probe = std::fopen("/dev/full", "wb"))
	{
		std::fclose(probe);
		f = OpenParticleBin("/dev/full", 1);
		ASSERT_TRUE(f);
		ASSERT_EQ(AllocateChannels(f, 100), 1);
		f->header.version = 12;
		f->header.particle_count = 100;
		EXPECT_EQ(WriteParticleBin(f), 0);
		FreeParticleBin(f);
	}
	EXPECT_EQ(OpenParticleBin(std::string(600, 'p').c_str(), 0), nullptr);
	EXPECT_EQ(CacheLiveAllocations(), 0);
}

TEST(ParticleBin, MagicTest)
{
	TempDir dir;
	std::string good = dir.File("g.bin");
	ASSERT_EQ(WriteTestFrame(good, 9, 1), 1);
	std::string shorter = dir.File("s.bin");
	WriteBytes(shorter, {0xDA, 0xBA, 0xFA});
	std::string mesh = dir.File("m.bin");
	WriteBytes(mesh, {0xDA, 0xDA, 0xDA, 0xDA});
	EXPECT_EQ(IsParticleBin(good.c_str()), 1);
	EXPECT_EQ(IsParticleBin(shorter.c_str()), 0);
	EXPECT_EQ(IsParticleBin(mesh.c_str()), 0);
	EXPECT_EQ(IsParticleBin(dir.File("missing.bin").c_str()), 0);
}

} // namespace
