// view_bench.cpp - the Particle Importer drawing a 1,000,000-particle frame into a 1920 x 1080 view.
//
// One version-12 frame is written once; a document holding only the importer (display points or
// circles, channel velocity, its default gradient) is evaluated and drawn once, which loads the frame
// into the importer's viewport table. Each timed step is then the host's draw call of the object in
// the object pass alone: configuration, channel range, colours, projection and pixels. The rest of a
// whole view (clearing the image, the host's own particles and surfaces) is the host's work, not the
// importer's. Beside every draw a memcpy of the frame file's bytes is timed; the counters give both
// medians and their ratio.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_Particle_Importer.h"
#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include <unistd.h>

namespace
{

const int PARTICLES = 1000000;

struct ViewFixture
{
	BenchFrameDir files{"view", "bin", 1};
	int64_t file_bytes = 0;
	ViewFixture()
	{
		WriteBenchParticleFrame(files.Path(0), 0, PARTICLES, "view", 0);
		sync();
		file_bytes = BenchFileBytes(files.Path(0));
		if (!LoadBenchModule())
			std::abort();
	}
};

ViewFixture& Fixture()
{
	static ViewFixture fixture;
	return fixture;
}

// display: 1 points, 2 circles
void BM_ViewDraw(benchmark::State& state)
{
	ViewFixture& fx = Fixture();
	const Int32 display = static_cast<Int32>(state.range(0));
	BaseDocument* doc = BaseDocument::Alloc();
	doc->SetFps(25);
	headless::SetActiveDocument(doc);
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_PI_DISPLAY_MODE, GeData(display));
	headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(static_cast<Int32>(1)));
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(fx.files.Path(0))));
	doc->SetTime(BaseTime(0.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);

	headless::View view(1920, 1080);
	// places the editor camera and has the importer fetch its frame
	view.DrawDocument(doc);
	ObjectData* data = dynamic_cast<ObjectData*>(op->GetNodeData());
	BaseDraw* bd = view.GetBaseDraw();
	BaseDrawHelp bh(bd, op);
	if (!data || op->GetDataInstance()->GetFloat(TW_PI_FOUND_MAX) <= 0.0)
	{
		state.SkipWithError("the importer drew no velocities");
		return;
	}

	MemcpyProbe probe(fx.file_bytes);
	std::vector<double> draws, copies;
	for (auto _ : state)
	{
		copies.push_back(probe.Seconds());
		const auto t0 = std::chrono::steady_clock::now();
		const DRAWRESULT r = data->Draw(op, DRAWPASS_OBJECT, bd, &bh);
		const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		if (r != DRAWRESULT_OK)
			state.SkipWithError("the importer did not draw");
		draws.push_back(seconds);
		state.SetIterationTime(seconds);
	}
	headless::SetActiveDocument(nullptr);
	BaseDocument::Free(doc);
	state.counters["particles"] = PARTICLES;
	state.counters["draw_ms"] = Median(draws) * 1e3;
	state.counters["memcpy_ms"] = Median(copies) * 1e3;
	state.counters["draw_vs_memcpy"] = Median(draws) / Median(copies);
}
// circles draw a ring of line segments each: fewer steps keep the run short
BENCHMARK(BM_ViewDraw)->ArgName("display")->Arg(1)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewDraw)->ArgName("display")->Arg(2)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

#endif
