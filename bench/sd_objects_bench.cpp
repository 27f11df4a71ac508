// sd_objects_bench.cpp - an SD scene played under an SD Reader: a document evaluation at a new whole
// frame, at a new time between frames, and again at the same time, each against the scene reader's
// own read of one frame (the file work the evaluation cannot avoid).
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "bench_frames.h"
#include "headless.h"

#include "TW_SD_Anim.h"
#include "TW_SD_Reader.h"
#include "c4d_polygon.h"
#include "sd_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace
{

const int32_t kObjects = 20; // every other one deforming
const int32_t kVertices = 10000;
const int32_t kFrames = 60;

struct SceneFixture
{
	std::string dir;
	std::string path;
	BaseDocument* doc = nullptr;

	SceneFixture()
	{
		char templ[] = "/tmp/tw_sd_objects_bench_XXXXXX";
		if (!mkdtemp(templ))
			std::abort();
		dir = templ;
		path = dir + "/scene.sd";
		if (!Write() || !LoadBenchModule())
			std::abort();
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
		BaseObject* reader = BaseObject::Alloc(TW_SD_Reader);
		doc->InsertObject(reader, nullptr, nullptr);
		headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(path)));
		for (int32_t k = 0; k < kObjects; ++k)
		{
			PolygonObject* op = PolygonObject::Alloc(kVertices, 0);
			op->SetName(String(Name(k)));
			doc->InsertObject(op, reader, nullptr);
			doc->InsertObject(BaseObject::Alloc(TW_SD_Anim), op, nullptr);
		}
	}
	~SceneFixture()
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		unlink(path.c_str());
		rmdir(dir.c_str());
	}

	static std::string Name(int32_t k) { return (k % 2 ? "Deforming_" : "Rigid_") + std::to_string(k); }

	void Describe(SdFile* file, int32_t k)
	{
		SdObjectDescriptor* d = &file->descriptor;
		d->type = k % 2 ? SD_OBJECT_DEFORMING : SD_OBJECT_RIGID;
		SdDescriptorSetName(d, Name(k).c_str());
		SdDescriptorSetTexture(d, nullptr);
		d->vertex_count = kVertices;
		d->triangle_count = 0;
		SdDescriptorSetSizes(d);
	}

	bool Write()
	{
		SdFile* file = SdOpen(path.c_str(), true);
		if (!file)
			return false;
		file->version = SD_VERSION;
		file->axis_setup = SD_AXIS_SETUP;
		file->object_count = kObjects;
		file->first_frame = 0;
		file->last_frame = kFrames - 1;
		bool ok = SdWriteHeader(file);
		for (int32_t k = 0; ok && k < kObjects; ++k)
		{
			Describe(file, k);
			ok = SdWriteObjectDescriptor(file);
			for (int32_t i = 0; ok && i < kVertices; ++i)
				ok = SdWriteVertex(file);
		}
		for (int32_t n = 0; ok && n < kFrames; ++n)
		{
			file->frame_number = n;
			ok = SdWriteFrameNumber(file);
			for (int32_t k = 0; ok && k < kObjects; ++k)
			{
				Describe(file, k);
				float* t = file->object_frame.transform;
				for (int i = 0; i < 12; ++i)
					t[i] = (i % 4 == 0) ? 1.0f : 0.0f;
				t[9] = 0.01f * n;
				ok = SdWriteObjectFrame(file);
				for (int32_t i = 0; ok && k % 2 && i < kVertices; ++i)
				{
					file->vertex[0] = 0.001f * i;
					file->vertex[1] = 0.01f * n;
					file->vertex[2] = 0.0f;
					ok = SdWriteVertex(file);
				}
			}
		}
		return SdClose(file) == 1 && ok;
	}

	double Evaluate(double frame)
	{
		doc->SetTime(BaseTime(frame * 1000.0, 25000.0));
		const auto start = std::chrono::steady_clock::now();
		doc->ExecutePasses(nullptr, true, true, true, 0);
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	}
};

SceneFixture& Fixture()
{
	static SceneFixture fixture;
	return fixture;
}

// One evaluation per iteration at the next whole frame: one frame read for the scene, then every
// object placed from it.
void BM_SdObjectsWholeFrame(benchmark::State& state)
{
	SceneFixture& f = Fixture();
	int32_t frame = 0;
	for (auto _ : state)
	{
		state.SetIterationTime(f.Evaluate(frame));
		frame = (frame + 1) % (kFrames - 1);
	}
}

// Between frames: one more read of the next frame for each whole frame, then the blend; four times a
// frame, as a render with motion blur would ask.
void BM_SdObjectsQuarterFrames(benchmark::State& state)
{
	SceneFixture& f = Fixture();
	int32_t step = 0;
	for (auto _ : state)
	{
		state.SetIterationTime(f.Evaluate(step / 4 + 0.25 * (step % 4) + 0.1));
		step = (step + 1) % (4 * (kFrames - 2));
	}
}

// The same time again: nothing is read; the objects are placed from memory.
void BM_SdObjectsSameTime(benchmark::State& state)
{
	SceneFixture& f = Fixture();
	f.Evaluate(7);
	for (auto _ : state)
		state.SetIterationTime(f.Evaluate(7));
}

// The floor: the scene reader's read of one whole frame, without any host work.
void BM_SdObjectsSceneReadOnly(benchmark::State& state)
{
	SceneFixture& f = Fixture();
	SdSceneReader* reader = SdSceneOpen(f.path.c_str());
	if (!reader)
		std::abort();
	SdCloseStream(reader->file);
	int32_t frame = 0;
	for (auto _ : state)
	{
		const auto start = std::chrono::steady_clock::now();
		SdSceneReadFrame(reader, frame);
		state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
		frame = (frame + 1) % kFrames;
	}
	SdSceneFree(reader);
}

} // namespace

BENCHMARK(BM_SdObjectsSceneReadOnly)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdObjectsWholeFrame)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdObjectsQuarterFrames)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdObjectsSameTime)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

#endif
