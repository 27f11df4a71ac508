// node_bench.cpp - the particle node calculating all its output ports over a 1,000,000-particle group.
//
// One version-12 frame of 1,000,000 particles is loaded by a Particle Importer; an XPresso tag on it
// holds a particle node with all seventeen output ports, each connected to a recording node that
// only counts. Every timed run executes the tag's graph once (one pass per particle), and beside it a
// memcpy of the frame file's bytes is timed; the counters give both medians and their ratio.
// Argument 0 leaves the ports unconnected: the node's own share, without passing values on.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_Particle_Importer.h"
#include "bench_frames.h"
#include "c4d_graphview.h"
#include "c4d_particles.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace
{

const int PARTICLES = 1000000;
const Int32 NODE = 1026267;
const Int32 FIRST_PORT = 8001, LAST_PORT = 8017;

void BM_ParticleNodeAllPorts(benchmark::State& state)
{
	BenchFrameDir files("node", "bin", 1);
	WriteBenchParticleFrame(files.Path(0), 0, PARTICLES, "node", 0);
	const int64_t file_bytes = BenchFileBytes(files.Path(0));
	if (!LoadBenchModule())
		std::abort();

	BaseDocument* doc = BaseDocument::Alloc();
	doc->SetFps(25);
	headless::SetActiveDocument(doc);
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(files.Path(0))));
	doc->ExecutePasses(nullptr, true, true, true, 0);

	// the graph comes after the load, so that the evaluation above does not run it
	XPressoTag* tag = XPressoTag::Alloc();
	op->InsertTag(tag);
	GvNodeMaster* gm = tag->GetNodeMaster();
	GvNode* node = gm->CreateNode(nullptr, NODE);
	GvNode* recorder = headless::AddRecordingNode(gm);
	headless::SetRecordingKeeps(recorder, false);
	for (Int32 id = FIRST_PORT; id <= LAST_PORT; ++id)
	{
		GvPort* port = node->GetOutPortFirstMainID(id);
		if (!port)
			port = node->AddPort(GV_PORT_OUTPUT, id);
		if (!port || (state.range(0) != 0 && !headless::RecordPort(recorder, port)))
			std::abort();
	}

	MemcpyProbe probe(file_bytes);
	std::vector<double> times, copies;
	for (auto _ : state)
	{
		auto t0 = std::chrono::steady_clock::now();
		const Int32 error = gm->Execute(nullptr);
		times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
		copies.push_back(probe.Seconds());
		if (error != GV_CALC_ERR_NONE)
			state.SkipWithError("the graph failed");
	}
	const double median = Median(times), memcpy_median = Median(copies);
	// passes per execution: one per particle
	if (state.range(0) != 0)
		state.counters["particles"] = static_cast<double>(headless::Recording(recorder)->calculations) / static_cast<double>(times.size());
	state.counters["file_mb"] = static_cast<double>(file_bytes) / 1e6;
	state.counters["median_ms"] = median * 1e3;
	state.counters["memcpy_ms"] = memcpy_median * 1e3;
	state.counters["x_memcpy"] = median / memcpy_median;

	headless::SetActiveDocument(nullptr);
	BaseDocument::Free(doc);
}
BENCHMARK(BM_ParticleNodeAllPorts)->Arg(1)->Arg(0)->Iterations(11)->Unit(benchmark::kMillisecond);

} // namespace

#endif
