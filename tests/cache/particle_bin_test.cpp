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

// The header's emitter vectors exist from version 7, the trailer from version 6; vorticity from 9.
TEST(ParticleBin, WriterHeaderOfVersionsBeforeNine)
{
	struct Case
	{
		int version;
		size_t header, record, trailer;
	};
	for (const Case& c : {Case{5, 320, 98, 0}, Case{6, 320, 98, 5}, Case{7, 356, 98, 5}, Case{8, 356, 98, 5}})
	{
		SCOPED_TRACE(c.version);
		TempDir dir;
		const std::string path = dir.File("old.bin");
		ASSERT_EQ(WriteTestFrame(path, c.version, 1, {9}), 1);
		const std::vector<unsigned char> b = ReadBytes(path);
		ASSERT_EQ(b.size(), c.header + c.record + c.trailer);
		EXPECT_EQ(LoadU16(&b[254]), c.version); // version
		EXPECT_EQ(LoadF32(&b[308]), 7.0f); // range 3, the last field every version has
		if (c.version >= 7)
		{
			EXPECT_EQ(LoadF32(&b[320]), 10.0f); // emitter position
			EXPECT_EQ(LoadF32(&b[332]), 13.0f); // emitter rotation
			EXPECT_EQ(LoadF32(&b[352]), 18.0f); // emitter scale z
		}
		// the record follows the header directly: position, velocity, force, then normal
		const unsigned char* r = &b[c.header];
		EXPECT_EQ(LoadF32(r), 0.5f);
		EXPECT_EQ(LoadF32(r + 36), 0.5f + 12 * 0.25f);
		EXPECT_EQ(LoadI32(r + 94), 9); // id
		for (size_t i = c.header + c.record; i < b.size(); ++i)
			EXPECT_EQ(b[i], 0) << i;
	}
}

// Reader and writer against bytes laid out by hand from the format's offset table, so that a field
// moved in both cannot pass as a round trip.
TEST(ParticleBin, RecordLayoutMatchesHandWrittenBytes)
{
	for (const int version : {9, 12})
	{
		SCOPED_TRACE(version);
		const size_t record = version >= 12 ? 114 : 110;
		std::vector<unsigned char> b(356 + record + (version >= 12 ? 6 : 5), 0);
		auto u32 = [&b](size_t at, uint32_t v) {
			for (int k = 0; k < 4; ++k)
				b[at + static_cast<size_t>(k)] = static_cast<unsigned char>(v >> (8 * k));
		};
		auto f32 = [&u32](size_t at, float v) {
			uint32_t u;
			std::memcpy(&u, &v, 4);
			u32(at, u);
		};
		u32(0, 0x00FABADA); // magic
		std::memcpy(&b[4], "hand", 4); // fluid name
		b[254] = static_cast<unsigned char>(version); // version
		f32(256, 2.5f); // scale
		u32(260, 3); // fluid type
		f32(264, 1.75f); // simulation time
		u32(268, 42); // frame
		u32(272, 24); // fps
		u32(276, 1); // particle count
		f32(280, 0.05f); // radius
		for (size_t k = 0; k < 9; ++k)
			f32(284 + 4 * k, 100.0f + k); // range 1, speed range, range 3
		for (size_t k = 0; k < 9; ++k)
			f32(320 + 4 * k, 200.0f + k); // emitter position, rotation, scale
		const size_t r = 356;
		for (size_t k = 0; k < 15; ++k)
			f32(r + 4 * k, 1.0f + k); // position, velocity, force, vorticity, normal: 1 .. 15
		u32(r + 60, 16); // neighbors
		for (size_t k = 0; k < 3; ++k)
			f32(r + 64 + 4 * k, 17.0f + k); // texture
		b[r + 76] = 0xEC; // info bits -20
		b[r + 77] = 0xFF;
		for (size_t k = 0; k < 7; ++k)
			f32(r + 78 + 4 * k, 21.0f + k); // age, isolation, viscosity, density, pressure, mass, temperature
		u32(r + 106, 0xFFFFFFFD); // id -3 (v9), low word of the 64-bit id (v12)
		if (version >= 12)
			u32(r + 110, 5);

		TempDir dir;
		const std::string path = dir.File("hand.bin");
		WriteBytes(path, b);
		int ok;
		BinParticleFrame* f = ReadFile(path, 100.0f, &ok);
		ASSERT_EQ(ok, 1);
		ASSERT_EQ(f->kept_count, 1);
		const BinParticleHeader& h = f->header;
		EXPECT_STREQ(h.fluid_name, "hand");
		EXPECT_EQ(h.scale, 2.5f);
		EXPECT_EQ(h.fluid_type, 3);
		EXPECT_EQ(h.simulation_time_seconds, 1.75f);
		EXPECT_EQ(h.frame, 42);
		EXPECT_EQ(h.fps, 24);
		EXPECT_EQ(h.radius, 0.05f);
		for (int c = 0; c < 3; ++c)
		{
			EXPECT_EQ(h.range1[c], 100.0f + c);
			EXPECT_EQ(h.speed_range[c], 103.0f + c);
			EXPECT_EQ(h.range3[c], 106.0f + c);
			EXPECT_EQ(h.emitter_position[c], 200.0f + c);
			EXPECT_EQ(h.emitter_rotation[c], 203.0f + c);
			EXPECT_EQ(h.emitter_scale[c], 206.0f + c);
			EXPECT_EQ(f->position[c], 1.0f + c);
			EXPECT_EQ(f->velocity[c], 4.0f + c);
			EXPECT_EQ(f->force[c], 7.0f + c);
			EXPECT_EQ(f->vorticity[c], 10.0f + c);
			EXPECT_EQ(f->normal[c], 13.0f + c);
			EXPECT_EQ(f->texture[c], 17.0f + c);
		}
		EXPECT_EQ(f->neighbors[0], 16);
		EXPECT_EQ(f->info_bits[0], -20);
		const float scalars[] = {f->age[0], f->isolation[0], f->viscosity[0], f->density[0], f->pressure[0], f->mass[0],
			f->temperature[0]};
		for (int k = 0; k < 7; ++k)
			EXPECT_EQ(scalars[k], 21.0f + k) << k;
		EXPECT_EQ(f->id[0], version >= 12 ? (int64_t(5) << 32) + 0xFFFFFFFD : -3);

		// written back, the frame is the same bytes
		BinParticleFrame* out = OpenParticleBin(dir.File("out.bin").c_str(), 1);
		ASSERT_TRUE(out);
		out->header = f->header;
		ASSERT_EQ(AllocateChannels(out, 1), 1);
		auto copy = [](void* to, const void* from, size_t bytes) { std::memcpy(to, from, bytes); };
		copy(out->position, f->position, 12);
		copy(out->velocity, f->velocity, 12);
		copy(out->force, f->force, 12);
		copy(out->vorticity, f->vorticity, 12);
		copy(out->normal, f->normal, 12);
		copy(out->texture, f->texture, 12);
		copy(out->neighbors, f->neighbors, 4);
		copy(out->info_bits, f->info_bits, 2);
		copy(out->age, f->age, 4);
		copy(out->isolation, f->isolation, 4);
		copy(out->viscosity, f->viscosity, 4);
		copy(out->density, f->density, 4);
		copy(out->pressure, f->pressure, 4);
		copy(out->mass, f->mass, 4);
		copy(out->temperature, f->temperature, 4);
		copy(out->id, f->id, 8);
		ASSERT_EQ(WriteParticleBin(out), 1);
		FreeParticleBin(out);
		EXPECT_EQ(ReadBytes(dir.File("out.bin")), b);
		FreeParticleBin(f);
	}
}

} // namespace
