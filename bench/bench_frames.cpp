// bench_frames.cpp - what the benchmarks share: particle frame files, the memcpy they are measured against, the module.
#include "bench_frames.h"

#include "particle_bin.h"

#if defined(TW_DEFAULT_PLUGIN_DIR)
#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"
#include "headless.h"
#include "mesh_build.h"
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

BenchOneFrameCache::BenchOneFrameCache(const std::string& first_path, int32_t format)
{
	sequence.format = format;
	sequence.SetName(first_path.c_str(), true, true);
	settings.sequence = &sequence;
	settings.mode = FRAME_CACHE_ONE;
	settings.load_percentage = 100.0f;
	InitCache(&cache, &settings);
}

BenchOneFrameCache::~BenchOneFrameCache()
{
	ReleaseCache(&cache, &settings);
}

const FrameSlot* BenchOneFrameCache::Get(int frame)
{
	return GetFrame(&cache, &settings, sequence.first + frame);
}

double Median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v.empty() ? 0.0 : v[v.size() / 2];
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

#if defined(TW_DEFAULT_PLUGIN_DIR)
void BenchMeshImporterRebuild(benchmark::State& state, const std::string& first_path, int frames, int64_t file_bytes,
	int32_t points, const std::vector<int32_t>& switched_on)
{
	if (!LoadBenchModule())
	{
		state.SkipWithError("module did not load");
		return;
	}
	MemcpyProbe probe(file_bytes);
	BaseDocument* doc = BaseDocument::Alloc();
	doc->SetFps(25);
	headless::SetActiveDocument(doc);
	BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	for (int32_t id : switched_on)
		headless::UserSetParameter(op, id, GeData(true));
	headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(first_path)));
	auto evaluate = [doc](int frame) {
		doc->SetTime(BaseTime(frame, 25.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	};
	// The first two evaluations make the tables, the generator's placeholder maps and the arrays of
	// two objects (the one shown while the next is built); from then on the timeline is playing.
	evaluate(0);
	evaluate(1 % frames);
	std::vector<double> rebuilds, copies;
	int frame = 2 % frames;
	for (auto _ : state)
	{
		copies.push_back(probe.Seconds());
		auto t0 = std::chrono::steady_clock::now();
		evaluate(frame);
		auto t1 = std::chrono::steady_clock::now();
		const PolygonObject* built = static_cast<const PolygonObject*>(op->GetCache());
		if (!built || built->GetPointCount() != points || !FindTag(built, Tuvw, TW_MESH_UV))
			state.SkipWithError("the importer built no complete object");
		const double seconds = std::chrono::duration<double>(t1 - t0).count();
		rebuilds.push_back(seconds);
		state.SetIterationTime(seconds);
		frame = (frame + 1) % frames;
	}
	headless::SetActiveDocument(nullptr);
	BaseDocument::Free(doc);
	state.counters["rebuild_ms"] = Median(rebuilds) * 1e3;
	state.counters["memcpy_ms"] = Median(copies) * 1e3;
	state.counters["ratio"] = Median(rebuilds) / Median(copies);
	state.SetBytesProcessed(state.iterations() * file_bytes);
}
#endif
