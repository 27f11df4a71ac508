// render_bench.cpp - a frame of N particles rendered as disc instances at 1280 x 720.
//
// The Particle Importer on one version-12 frame, coloured by velocity through the particle material,
// rendered once per size by the host's render call. Counters per N: build_s, the evaluation with
// rendering on (frame load and one render object per particle); render_s, the renderer's geometry,
// raster and shade; bytes_per_instance, the heap the evaluation added (the render table's copy of the
// frame taken out) over the render objects, read when the renderer first reports progress, i.e. after
// the evaluation and before its own geometry. Run once per size: the 1,000,000 frame takes a while.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_Particle_Importer.h"
#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace
{

size_t HeapInUse()
{
	struct mallinfo2 mi = mallinfo2();
	return mi.uordblks + mi.hblkhd;
}

struct HeapProbe
{
	size_t at_first_progress = 0;
	bool seen = false;
};

Bool OnProgress(Float done, void* data)
{
	HeapProbe* probe = static_cast<HeapProbe*>(data);
	if (!probe->seen && done == 0.0)
	{
		probe->at_first_progress = HeapInUse();
		probe->seen = true;
	}
	return true;
}

void BM_RenderParticleInstances(benchmark::State& state)
{
	const int count = static_cast<int>(state.range(0));
	BenchFrameDir files("drops", "bin", 1);
	WriteBenchParticleFrame(files.Path(0), 0, count, "drops", 0);
	if (!LoadBenchModule())
	{
		state.SkipWithError("no module");
		return;
	}
	const double file_bytes = static_cast<double>(BenchFileBytes(files.Path(0)));
	for (auto _ : state)
	{
		BaseDocument* doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_DISPLAY_MODE, GeData(static_cast<Int32>(1)));
		headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(static_cast<Int32>(1)));
		headless::UserSetParameter(op, TW_PI_RENDER_SHAPE, GeData(TW_PI_RENDER_SHAPE_DISC));
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(files.Path(0))));
		headless::PressButton(op, TW_PI_CREATE_MATERIAL);
		doc->ExecutePasses(nullptr, true, true, true, 0);

		BaseContainer rdata;
		rdata.SetFloat(RDATA_XRES, 1280.0);
		rdata.SetFloat(RDATA_YRES, 720.0);
		BaseBitmap* bmp = BaseBitmap::Alloc();
		bmp->Init(1280, 720, 24);
		HeapProbe probe;
		const size_t before = HeapInUse();
		const RENDERRESULT result = RenderDocument(doc, rdata, OnProgress, &probe, bmp, RENDERFLAGS_EXTERNAL, nullptr);
		const headless::RenderReport& rep = headless::LastRender();
		if (result != RENDERRESULT_OK || rep.render_objects != count)
			state.SkipWithError("the frame did not render one object per particle");
		const double objects = static_cast<double>(rep.render_objects);
		state.counters["objects"] = objects;
		state.counters["build_s"] = rep.seconds_evaluate;
		state.counters["render_s"] = rep.seconds_geometry + rep.seconds_raster + rep.seconds_shade;
		state.counters["geometry_s"] = rep.seconds_geometry;
		state.counters["raster_s"] = rep.seconds_raster;
		state.counters["shade_s"] = rep.seconds_shade;
		state.counters["bytes_per_instance"] =
			objects > 0 ? (static_cast<double>(probe.at_first_progress) - static_cast<double>(before) - file_bytes) / objects : 0.0;
		BaseBitmap::Free(bmp);
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
	}
}
BENCHMARK(BM_RenderParticleInstances)
	->Arg(10000)
	->Arg(100000)
	->Arg(1000000)
	->Iterations(1)
	->Unit(benchmark::kMillisecond);

} // namespace

#endif
