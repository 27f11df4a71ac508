// tpc_bench.cpp - particle .tpc frames through the frame cache against zlib's own inflate.
//
// Six 1,000,000-particle frames (channels position, velocity, id and four scalars, compressed by
// zlib at its default level) are written to a temporary folder once. Each frame is read through a
// mode-0 frame cache, and right after it its blocks, already in memory, are inflated by one zlib
// call each into buffers that are already touched: the baseline. The counters give the median of
// both and the ratio of our read to the baseline.
#include "bench_frames.h"
#include "cache_internal.h"
#include "frame_cache.h"
#include "particle_tpc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>
#include <zlib.h>

namespace
{

const int FRAMES = 6;
const int PARTICLES = 1000000;

struct Block
{
	std::vector<unsigned char> compressed;
	size_t raw_bytes;
};

struct TpcFixture
{
	BenchFrameDir files{"bench", "tpc", FRAMES};
	FrameSequence sequence;
	std::vector<std::vector<Block>> blocks; // per frame

	TpcFixture()
	{
		for (int f = 0; f < FRAMES; ++f)
			WriteFrame(f);
		sequence.format = CACHE_PARTICLE_TPC;
		sequence.SetName(Path(0).c_str(), true, true);
	}

	std::string Path(int frame) const { return files.Path(frame); }

	// A fluid-like frame: smooth positions and velocities, ids in order, slowly varying scalars.
	void WriteFrame(int frame)
	{
		struct Channel
		{
			const char* name;
			int32_t type;
			std::vector<unsigned char> raw;
		};
		std::vector<Channel> channels = {{"position", 1, {}}, {"velocity", 1, {}}, {"id", 4, {}}, {"age", 9, {}},
										 {"density", 9, {}},  {"pressure", 9, {}}, {"mass", 9, {}}};
		for (Channel& c : channels)
			c.raw.resize(static_cast<size_t>(PARTICLES) * static_cast<size_t>(TpcElementBytes(c.type)));
		const float t = static_cast<float>(frame) / 25.0f;
		for (int i = 0; i < PARTICLES; ++i)
		{
			const size_t k = static_cast<size_t>(i);
			const float u = static_cast<float>(i) / PARTICLES, a = 6.2831853f * 400.0f * u + t;
			const float p[3] = {(1.0f + u) * std::cos(a), 2.0f * u + 0.1f * t, (1.0f + u) * std::sin(a)};
			const float v[3] = {-std::sin(a), 0.1f, std::cos(a)};
			for (int c = 0; c < 3; ++c)
			{
				StoreF32(&channels[0].raw[12 * k + 4 * c], p[c]);
				StoreF32(&channels[1].raw[12 * k + 4 * c], v[c]);
			}
			StoreI64(&channels[2].raw[8 * k], i + 1);
			StoreF32(&channels[3].raw[4 * k], t + u);
			StoreF32(&channels[4].raw[4 * k], 998.0f + 4.0f * std::sin(a));
			StoreF32(&channels[5].raw[4 * k], 101325.0f + 100.0f * std::cos(a));
			StoreF32(&channels[6].raw[4 * k], 0.001f);
		}
		std::vector<unsigned char> out(PARTICLE_TPC_HEADER_BYTES, 0);
		StoreU32(&out[0], PARTICLE_TPC_MAGIC);
		StoreI32(&out[4], 3);
		StoreI32(&out[8], PARTICLES);
		StoreI32(&out[12], static_cast<int32_t>(channels.size()));
		std::vector<Block> frame_blocks;
		for (const Channel& c : channels)
		{
			uLongf size = compressBound(static_cast<uLong>(c.raw.size()));
			Block b{std::vector<unsigned char>(size), c.raw.size()};
			if (compress2(b.compressed.data(), &size, c.raw.data(), static_cast<uLong>(c.raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
				std::abort();
			b.compressed.resize(size);
			unsigned char d[24];
			const std::string name = c.name;
			StoreI32(d, static_cast<int32_t>(name.size() + 1));
			out.insert(out.end(), d, d + 4);
			out.insert(out.end(), name.c_str(), name.c_str() + name.size() + 1);
			StoreI32(d, c.type);
			StoreU64(d + 4, 0);
			StoreU64(d + 12, size);
			out.insert(out.end(), d, d + 20);
			const int32_t e = TpcElementBytes(c.type);
			out.insert(out.end(), static_cast<size_t>(3 * e + 2 * e / TpcComponents(c.type)), 0);
			frame_blocks.push_back(std::move(b));
		}
		for (const Block& b : frame_blocks)
			out.insert(out.end(), b.compressed.begin(), b.compressed.end());
		FILE* f = std::fopen(Path(frame).c_str(), "wb");
		if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0)
			std::abort();
		blocks.push_back(std::move(frame_blocks));
	}
};

TpcFixture& TpcBench()
{
	static TpcFixture fixture;
	return fixture;
}

// zlib's one-call inflate of one frame's blocks into buffers that are already touched.
double ZlibFrameSeconds(const std::vector<Block>& frame, std::vector<std::vector<unsigned char>>& out)
{
	out.resize(frame.size());
	for (size_t c = 0; c < frame.size(); ++c)
		if (out[c].size() != frame[c].raw_bytes)
			out[c].assign(frame[c].raw_bytes, 1);
	auto t0 = std::chrono::steady_clock::now();
	for (size_t c = 0; c < frame.size(); ++c)
	{
		uLongf size = static_cast<uLongf>(out[c].size());
		if (uncompress(out[c].data(), &size, frame[c].compressed.data(), static_cast<uLong>(frame[c].compressed.size())) != Z_OK)
			std::abort();
	}
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_TpcCacheAgainstZlib(benchmark::State& state)
{
	TpcFixture& fx = TpcBench();
	const float percentage = static_cast<float>(state.range(0));
	std::vector<std::vector<unsigned char>> out;
	std::vector<double> reads, zlibs;
	int64_t kept = 0;
	for (auto _ : state)
	{
		FrameCacheSettings settings = {};
		settings.sequence = &fx.sequence;
		settings.mode = FRAME_CACHE_ONE;
		settings.load_percentage = percentage;
		FrameCache cache = {};
		InitCache(&cache, &settings);
		for (int f = 0; f < FRAMES; ++f)
		{
			auto t0 = std::chrono::steady_clock::now();
			ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, f));
			reads.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
			if (!frame)
				std::abort();
			kept = GetParticleCount(frame);
			zlibs.push_back(ZlibFrameSeconds(fx.blocks[static_cast<size_t>(f)], out));
		}
		ReleaseCache(&cache, &settings);
	}
	const double read = Median(reads), zlib = Median(zlibs);
	state.counters["median_read_ms"] = read * 1e3;
	state.counters["median_zlib_ms"] = zlib * 1e3;
	state.counters["x_zlib"] = read / zlib;
	state.counters["kept"] = static_cast<double>(kept);
}

} // namespace

BENCHMARK(BM_TpcCacheAgainstZlib)->Arg(100)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);
