// pxy_bench.cpp - particle .pxy frames through the frame cache against a memcpy of one frame file.
//
// Ten 1,000,000-particle frames of each record size (versions 2.5 and 3.0) are written to a
// temporary folder once, and so sit in the page cache. Each new frame read through a mode-0 cache is
// timed together with a memcpy of the file's bytes right after it, so that both see the same
// machine; the benchmark reports the median read and the median of the per-frame ratios.
#include "bench_frames.h"
#include "cache_internal.h"
#include "frame_cache.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

const int FRAMES = 10;
const int PARTICLES = 1000000;

struct PxySequence
{
	BenchFrameDir files{"bench", "pxy", FRAMES};
	FrameSequence sequence;
	int64_t file_bytes = 0;

	explicit PxySequence(float version)
	{
		const bool wide = version >= 3.0f;
		const size_t record_bytes = wide ? 32 : 28;
		std::vector<unsigned char> b(8 + record_bytes * PARTICLES);
		for (int f = 0; f < FRAMES; ++f)
		{
			StoreF32(&b[0], version);
			StoreU32(&b[4], PARTICLES);
			for (int i = 0; i < PARTICLES; ++i)
			{
				unsigned char* r = &b[8 + record_bytes * static_cast<size_t>(i)];
				StoreU32(r, static_cast<uint32_t>(i + 1 + f));
				if (wide)
					StoreU32(r + 4, 0);
				unsigned char* v = r + (wide ? 8 : 4);
				const float a = static_cast<float>(i) * 0.001f + static_cast<float>(f) * 0.04f;
				const float values[6] = {std::cos(a), 0.001f * i, std::sin(a), -std::sin(a), 0.1f, std::cos(a)};
				for (int k = 0; k < 6; ++k)
					StoreF32(v + 4 * k, values[k]);
			}
			FILE* out = std::fopen(Path(f).c_str(), "wb");
			if (!out || std::fwrite(b.data(), 1, b.size(), out) != b.size() || std::fclose(out) != 0)
				std::abort();
		}
		sequence.format = CACHE_PARTICLE_PXY;
		sequence.SetName(Path(0).c_str(), true, true);
		file_bytes = BenchFileBytes(Path(0));
		sync();
	}

	std::string Path(int frame) const { return files.Path(frame); }
};

PxySequence& Sequence(float version)
{
	static PxySequence v25(2.5f);
	static PxySequence v30(3.0f);
	return version >= 3.0f ? v30 : v25;
}

// Arg: version x 10 (25 or 30).
void BM_PxyCacheMode0(benchmark::State& state)
{
	PxySequence& fx = Sequence(static_cast<float>(state.range(0)) / 10.0f);
	MemcpyProbe probe(fx.file_bytes);
	std::vector<double> reads, ratios;
	for (auto _ : state)
	{
		FrameCacheSettings settings = {};
		settings.sequence = &fx.sequence;
		settings.mode = FRAME_CACHE_ONE;
		settings.load_percentage = 100.0f;
		FrameCache cache = {};
		InitCache(&cache, &settings);
		for (int f = 0; f < FRAMES; ++f)
		{
			const auto t0 = std::chrono::steady_clock::now();
			ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, f));
			const double read = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
			if (!frame || GetParticleCount(frame) != PARTICLES)
				std::abort();
			const double copy = probe.Seconds();
			reads.push_back(read);
			ratios.push_back(read / copy);
		}
		ReleaseCache(&cache, &settings);
	}
	state.counters["median_frame_ms"] = Median(reads) * 1e3;
	state.counters["x_memcpy"] = Median(ratios);
}

} // namespace

BENCHMARK(BM_PxyCacheMode0)->Arg(30)->Arg(25)->Unit(benchmark::kMillisecond)->Iterations(3);
