// particle_bench.cpp - particle frames through the frame cache against a memcpy of one frame file.
//
// Twenty 1,000,000-particle version-12 frames are written to a temporary folder once (and so sit
// in the page cache). Each benchmark reports its median frame and its ratio to the median memcpy
// of one frame file's bytes between two buffers that are already touched.
#include "frame_cache.h"
#include "bench_frames.h"
#include "particle_bin.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace
{

const int FRAMES = 20;
const int PARTICLES = 1000000;

struct Fixture
{
	BenchFrameDir files{"bench", "bin", FRAMES};
	FrameSequence sequence;
	int64_t file_bytes = 0;
	double memcpy_seconds = 0;
	double full_frame_seconds = 0;

	Fixture()
	{
		for (int f = 0; f < FRAMES; ++f)
			WriteFrame(f);
		sequence.format = CACHE_PARTICLE_BIN;
		sequence.SetName(Path(0).c_str(), true, true);
		file_bytes = BenchFileBytes(Path(0));
		memcpy_seconds = MedianMemcpySeconds(file_bytes);
	}

	std::string Path(int frame) const { return files.Path(frame); }

	void WriteFrame(int frame) { WriteBenchParticleFrame(Path(frame), frame, PARTICLES, "bench", 0); }
};

Fixture& Bench()
{
	static Fixture fixture;
	return fixture;
}

// Plays the twenty frames through a mode-0 cache; returns the per-frame times.
std::vector<double> PlayFrames(float percentage, int64_t* kept)
{
	Fixture& fx = Bench();
	FrameCacheSettings settings = {};
	settings.sequence = &fx.sequence;
	settings.mode = FRAME_CACHE_ONE;
	settings.load_percentage = percentage;
	FrameCache cache = {};
	InitCache(&cache, &settings);
	std::vector<double> times;
	for (int f = 0; f < FRAMES; ++f)
	{
		auto t0 = std::chrono::steady_clock::now();
		ParticleFrame* frame = SlotParticleFrame(GetFrame(&cache, &settings, f));
		times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
		if (!frame)
			std::abort();
		*kept = GetParticleCount(frame);
	}
	ReleaseCache(&cache, &settings);
	return times;
}

void BM_Memcpy(benchmark::State& state)
{
	Fixture& fx = Bench();
	std::vector<char> a(static_cast<size_t>(fx.file_bytes), 1), b(static_cast<size_t>(fx.file_bytes), 2);
	std::vector<double> times;
	for (auto _ : state)
	{
		auto t0 = std::chrono::steady_clock::now();
		std::memcpy(b.data(), a.data(), a.size());
		benchmark::ClobberMemory();
		times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
	}
	// the ratios divide by the faster of the two measurements, so they never flatter the reader
	fx.memcpy_seconds = std::min(fx.memcpy_seconds, Median(times));
	state.counters["median_ms"] = fx.memcpy_seconds * 1e3;
	state.SetBytesProcessed(state.iterations() * fx.file_bytes);
}

void BM_CacheMode0(benchmark::State& state)
{
	Fixture& fx = Bench();
	const float percentage = static_cast<float>(state.range(0));
	std::vector<double> medians;
	int64_t kept = 0;
	for (auto _ : state)
		medians.push_back(Median(PlayFrames(percentage, &kept)));
	double median = Median(medians);
	if (percentage == 100.0f)
		fx.full_frame_seconds = median;
	state.counters["median_frame_ms"] = median * 1e3;
	state.counters["x_memcpy"] = median / fx.memcpy_seconds;
	if (percentage != 100.0f && fx.full_frame_seconds > 0)
		state.counters["x_full_frame"] = median / fx.full_frame_seconds;
	state.counters["kept"] = static_cast<double>(kept);
}

// Baseline: one library call per field, as a naive reader would do.
void BM_FieldByField(benchmark::State& state)
{
	Fixture& fx = Bench();
	std::vector<float> vectors(static_cast<size_t>(PARTICLES) * 18, 0.0f);
	std::vector<float> scalars(static_cast<size_t>(PARTICLES) * 7, 0.0f);
	std::vector<int32_t> neighbors(PARTICLES, 0);
	std::vector<int16_t> info(PARTICLES, 0);
	std::vector<int64_t> ids(PARTICLES, 0);
	std::vector<double> times;
	int frame = 0;
	for (auto _ : state)
	{
		auto t0 = std::chrono::steady_clock::now();
		FILE* f = std::fopen(fx.Path(frame++ % FRAMES).c_str(), "rb");
		unsigned char header[356];
		if (!f || std::fread(header, 1, sizeof(header), f) != sizeof(header))
			std::abort();
		for (int i = 0; i < PARTICLES; ++i)
		{
			float* v = &vectors[static_cast<size_t>(i) * 18];
			for (int k = 0; k < 5; ++k)
				benchmark::DoNotOptimize(std::fread(v + 3 * k, 4, 3, f));
			benchmark::DoNotOptimize(std::fread(&neighbors[static_cast<size_t>(i)], 4, 1, f));
			benchmark::DoNotOptimize(std::fread(v + 15, 4, 3, f));
			benchmark::DoNotOptimize(std::fread(&info[static_cast<size_t>(i)], 2, 1, f));
			for (int k = 0; k < 7; ++k)
				benchmark::DoNotOptimize(std::fread(&scalars[static_cast<size_t>(i) * 7 + k], 4, 1, f));
			benchmark::DoNotOptimize(std::fread(&ids[static_cast<size_t>(i)], 8, 1, f));
		}
		std::fclose(f);
		times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
	}
	double median = Median(times);
	state.counters["median_frame_ms"] = median * 1e3;
	state.counters["x_memcpy"] = median / fx.memcpy_seconds;
	if (fx.full_frame_seconds > 0)
		state.counters["x_cache_frame"] = median / fx.full_frame_seconds;
}

int64_t StatusKilobytes(const char* key)
{
	FILE* f = std::fopen("/proc/self/status", "r");
	if (!f)
		return -1;
	char line[256];
	int64_t value = -1;
	size_t key_len = std::strlen(key);
	while (std::fgets(line, sizeof(line), f))
		if (std::strncmp(line, key, key_len) == 0)
			value = std::strtoll(line + key_len, nullptr, 10);
	std::fclose(f);
	return value;
}

// Peak resident memory of playing the frames in a fresh child process, against one frame's arrays.
void BM_PeakMemory(benchmark::State& state)
{
	Bench();
	double ratio = -1;
	for (auto _ : state)
	{
		int fds[2];
		if (pipe(fds) != 0)
			std::abort();
		pid_t child = fork();
		if (child == 0)
		{
			int64_t before = StatusKilobytes("VmRSS:");
			int64_t kept = 0;
			PlayFrames(100.0f, &kept);
			int64_t peak = StatusKilobytes("VmHWM:");
			double r = static_cast<double>(peak - before) * 1024.0 / static_cast<double>(ParticleBinChannelBytes(PARTICLES));
			if (write(fds[1], &r, sizeof(r)) != sizeof(r))
				_exit(1);
			_exit(0);
		}
		if (read(fds[0], &ratio, sizeof(ratio)) != sizeof(ratio))
			ratio = -1;
		close(fds[0]);
		close(fds[1]);
		int status;
		waitpid(child, &status, 0);
	}
	state.counters["x_channel_bytes"] = ratio;
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->Iterations(21);
BENCHMARK(BM_CacheMode0)->Arg(100)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FieldByField)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
