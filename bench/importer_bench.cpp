// importer_bench.cpp - the Particle Importer evaluating new frames into Thinking Particles.
//
// Fifty 1,000,000-particle version-12 frames are written once (and so sit in the page cache). The
// mode-0 benchmarks report the median evaluation that loads a new frame into the importer's group,
// as a ratio to the median memcpy of one frame file's bytes between two touched buffers, each memcpy
// timed right after an evaluation: this machine's memory speed drifts by half within a run.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "bench_frames.h"
#include "particle_bin.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

const int FRAMES = 50;
const int PARTICLES = 1000000;

struct ImporterFixture
{
	BenchFrameDir files{"flow", "bin", FRAMES};
	int64_t file_bytes = 0;
	ImporterFixture()
	{
		for (int f = 0; f < FRAMES; ++f)
			WriteFrame(f);
		// The frames stay in the page cache; their write-back to disk would otherwise run under the
		// first timed loads.
		sync();
		file_bytes = BenchFileBytes(Path(0));
		if (!LoadBenchModule())
			std::abort();
	}
	std::string Path(int frame) const { return files.Path(frame); }
	void WriteFrame(int frame) { WriteBenchParticleFrame(Path(frame), frame, PARTICLES, "flow", 97); }
};

ImporterFixture& Fixture()
{
	static ImporterFixture fixture;
	return fixture;
}

struct Scene
{
	BaseDocument* doc;
	BaseObject* op;

	Scene(int mode, bool ids)
	{
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
		op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_CACHE_MODE, GeData(static_cast<Int32>(mode)));
		headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(ids));
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(Fixture().Path(0))));
	}
	~Scene()
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
	}
	double Evaluate(int frame)
	{
		auto t0 = std::chrono::steady_clock::now();
		doc->SetTime(BaseTime(frame, 25.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	}
	Int32 Count() const
	{
		for (TP_PGroup* g : GetThinkingParticlesMaster(doc)->GetParticleGroups())
			if (g->GetName() == op->GetName())
				return g->NumParticles();
		return 0;
	}
};

void BM_ImporterMode0(benchmark::State& state)
{
	ImporterFixture& fx = Fixture();
	const bool ids = state.range(0) != 0;
	double median = 0, memcpy_median = 0;
	Int32 count = 0;
	MemcpyProbe probe(fx.file_bytes);
	for (auto _ : state)
	{
		Scene scene(0, ids);
		scene.Evaluate(0); // first evaluation: channels, group, the store's arrays
		std::vector<double> times, copies;
		for (int f = 1; f <= 20; ++f)
		{
			times.push_back(scene.Evaluate(f));
			copies.push_back(probe.Seconds());
		}
		std::sort(copies.begin(), copies.end());
		memcpy_median = copies[copies.size() / 2];
		count = scene.Count();
		if (std::getenv("TW_BENCH_VERBOSE"))
			for (double t : times)
				std::fprintf(stderr, "%.1f ms\n", t * 1e3);
		std::sort(times.begin(), times.end());
		median = times[times.size() / 2];
	}
	state.counters["particles"] = count;
	state.counters["median_ms"] = median * 1e3;
	state.counters["memcpy_ms"] = memcpy_median * 1e3;
	state.counters["x_memcpy"] = median / memcpy_median;
}
BENCHMARK(BM_ImporterMode0)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same 50 frames played from a new scene in single-frame mode (0) and in window mode (1, radius 5),
// every evaluation timed. frames_per_second counts the first evaluation, where the window reads its
// eleven frames into fresh memory; steady_frames_per_second is frames 1 to 49, where each window
// reads into the arrays of the window before.
void BM_ImporterPlay50(benchmark::State& state)
{
	Fixture();
	const int mode = static_cast<int>(state.range(0));
	double seconds = 0, first = 0;
	for (auto _ : state)
	{
		Scene scene(mode, false);
		seconds = 0;
		for (int f = 0; f < FRAMES; ++f)
		{
			const double t = scene.Evaluate(f);
			if (std::getenv("TW_BENCH_VERBOSE"))
				std::fprintf(stderr, "mode %d frame %d: %.1f ms\n", mode, f, t * 1e3);
			if (f == 0)
				first = t;
			seconds += t;
		}
	}
	state.counters["frames_per_second"] = FRAMES / seconds;
	state.counters["steady_frames_per_second"] = (FRAMES - 1) / (seconds - first);
	state.counters["first_ms"] = first * 1e3;
}
BENCHMARK(BM_ImporterPlay50)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

#endif
