// bench_frames.cpp - what the benchmarks share: particle frame files, the memcpy they are measured against, the module.
#include "bench_frames.h"

#include "particle_bin.h"

#if defined(TW_DEFAULT_PLUGIN_DIR)
#include "headless.h"
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

BenchFrameDir::BenchFrameDir(const char* name, const char* ext, int frames) : _name(name), _ext(ext), _frames(frames)
{
	char tmpl[] = "/tmp/tw_bench_XXXXXX";
	if (!mkdtemp(tmpl))
		std::abort();
	_dir = tmpl;
}

BenchFrameDir::~BenchFrameDir()
{
	for (int f = 0; f < _frames; ++f)
		std::remove(Path(f).c_str());
	rmdir(_dir.c_str());
}

std::string BenchFrameDir::Path(int frame) const
{
	char number[16];
	std::snprintf(number, sizeof(number), "_%05d.", frame);
	return _dir + "/" + _name + number + _ext;
}

void WriteBenchParticleFrame(const std::string& path, int frame, int count, const char* name, int id_stride_frame)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	if (!f || !AllocateChannels(f, count))
		std::abort();
	f->header.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f, name);
	f->header.version = 12;
	f->header.frame = frame;
	f->header.fps = 25;
	f->header.particle_count = count;
	f->header.radius = 0.1f;
	for (int i = 0; i < count; ++i)
	{
		for (int c = 0; c < 3; ++c)
		{
			f->position[3 * i + c] = static_cast<float>(i % 1000) * 0.01f + c + frame;
			f->velocity[3 * i + c] = static_cast<float>(c) - 1.0f;
		}
		f->age[i] = static_cast<float>(frame) * 0.04f;
		f->density[i] = 1000.0f;
		f->id[i] = id_stride_frame > 0 ? 1 + i + (i % id_stride_frame == 0 ? frame : 0) : i;
	}
	if (!WriteParticleBin(f))
		std::abort();
	FreeParticleBin(f);
}

MemcpyProbe::MemcpyProbe(int64_t bytes) : _a(static_cast<size_t>(bytes), 1), _b(static_cast<size_t>(bytes), 2) {}

double MemcpyProbe::Seconds()
{
	auto t0 = std::chrono::steady_clock::now();
	std::memcpy(_b.data(), _a.data(), _a.size());
	benchmark::ClobberMemory();
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	std::swap(_a, _b);
	return seconds;
}

double MedianMemcpySeconds(int64_t bytes)
{
	MemcpyProbe probe(bytes);
	std::vector<double> times;
	for (int k = 0; k < 11; ++k)
		times.push_back(probe.Seconds());
	std::sort(times.begin(), times.end());
	return times[times.size() / 2];
}

int64_t BenchFileBytes(const std::string& path)
{
	FILE* file = std::fopen(path.c_str(), "rb");
	if (!file)
		std::abort();
	std::fseek(file, 0, SEEK_END);
	int64_t bytes = std::ftell(file);
	std::fclose(file);
	return bytes;
}

bool LoadBenchModule()
{
#if defined(TW_DEFAULT_PLUGIN_DIR)
	static headless::Module module;
	static const bool loaded = module.Load(TW_DEFAULT_PLUGIN_DIR);
	return loaded;
#else
	return false;
#endif
}
