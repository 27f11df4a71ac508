// particle_render_bench.cpp - the Particle Importer building its render objects, one per particle.
//
// A frame of N particles as disc instances coloured by velocity through the particle material. Per N:
// the median evaluation while rendering (frame load, instance build, the last result freed) and the
// median evaluation of the same frame outside a render (frame load only); their difference is the
// build. bytes_per_instance is the heap the render result holds, over its objects. Then one render at
// 1280 x 720 through a camera that sees the whole frame: its seconds, and the share of each stage.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_Particle_Importer.h"
#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <string>
#include <vector>

namespace
{

double Seconds(BaseDocument* doc)
{
	auto t0 = std::chrono::steady_clock::now();
	doc->ExecutePasses(nullptr, true, true, true, 0);
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Rendering(BaseDocument* doc, BaseObject* op, bool on)
{
	RenderNotificationData rn;
	rn.doc = doc;
	rn.start = on;
	op->Message(MSG_MULTI_RENDERNOTIFICATION, &rn);
}

void BM_ParticleRenderInstances(benchmark::State& state)
{
	const int count = static_cast<int>(state.range(0));
	BenchFrameDir files("drops", "bin", 1);
	WriteBenchParticleFrame(files.Path(0), 0, count, "drops", 0);
	if (!LoadBenchModule())
		state.SkipWithError("no module");
	double render = 0, view = 0, bytes = 0, objects = 0, picture = 0;
	headless::RenderReport report;
	for (auto _ : state)
	{
		BaseDocument* doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(files.Path(0))));
		headless::UserSetParameter(op, TW_PI_RENDER_SHAPE, GeData(TW_PI_RENDER_SHAPE_DISC));
		headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(1));
		headless::PressButton(op, TW_PI_CREATE_MATERIAL);

		std::vector<double> v, r;
		Seconds(doc);
		for (int i = 0; i < 5; ++i)
			v.push_back(Seconds(doc));
		const size_t before = mallinfo2().uordblks;
		Rendering(doc, op, true);
		Seconds(doc);
		const size_t after = mallinfo2().uordblks;
		for (int i = 0; i < 5; ++i)
			r.push_back(Seconds(doc));
		objects = 0;
		if (BaseObject* null = op->GetCache())
			for (BaseObject* c = null->GetDown(); c; c = c->GetNext())
				++objects;
		// the render table's frame is in the difference too: it is one more copy of the file's data
		bytes = objects > 0 ? (static_cast<double>(after) - static_cast<double>(before) - BenchFileBytes(files.Path(0))) / objects : 0;
		Rendering(doc, op, false);

		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetRelPos(Vector(500, 600, -3000));
		doc->InsertObject(cam, nullptr, nullptr);
		BaseContainer rd;
		rd.SetFloat(RDATA_XRES, 1280);
		rd.SetFloat(RDATA_YRES, 720);
		BaseBitmap* bmp = BaseBitmap::Alloc();
		auto t0 = std::chrono::steady_clock::now();
		RenderDocument(doc, rd, nullptr, nullptr, bmp, RENDERFLAGS_EXTERNAL, nullptr);
		picture = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		report = headless::LastRender();
		BaseBitmap::Free(bmp);
		view = Median(v);
		render = Median(r);
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
	}
	state.counters["objects"] = objects;
	state.counters["render_eval_ms"] = render * 1e3;
	state.counters["view_eval_ms"] = view * 1e3;
	state.counters["build_ms"] = (render - view) * 1e3;
	state.counters["bytes_per_instance"] = bytes;
	state.counters["render_s"] = picture;
	state.counters["render_instances"] = static_cast<double>(report.instances);
	state.counters["raster_s"] = report.seconds_raster;
	state.counters["shade_s"] = report.seconds_shade;
}
BENCHMARK(BM_ParticleRenderInstances)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

#endif
