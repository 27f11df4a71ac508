// sd_import_bench.cpp - the SD Importer building a large scene, and keying a long camera, through its dialog.
//
// The scene has 40 objects of 5,000 triangles on 2,601 points each, 10 frames; the camera file has
// 20,000 frames of camera records. Both are written once (and so sit in the page cache). Each
// iteration imports into a fresh document.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "bench_frames.h"
#include "headless.h"

#include "c4d_symbols.h"
#include "plugin_ids.h"
#include "sd_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

const int OBJECTS = 40;
const int GRID = 51; // points per side; (GRID - 1)^2 * 2 = 5,000 triangles
const int SCENE_FRAMES = 10;
const int CAMERA_FRAMES = 20000;

void WriteFile(const std::string& path, int objects, int frames, bool camera)
{
	SdFile* f = SdOpen(path.c_str(), true);
	if (!f)
		std::abort();
	f->version = SD_VERSION;
	f->has_camera = camera;
	f->axis_setup = SD_AXIS_SETUP;
	f->object_count = objects;
	f->first_frame = 0;
	f->last_frame = frames - 1;
	SdWriteHeader(f);
	const int v = GRID * GRID, t = (GRID - 1) * (GRID - 1) * 2;
	std::vector<float> xyz(static_cast<size_t>(v) * 3, 0.5f);
	for (int k = 0; k < objects; ++k)
	{
		char name[32];
		std::snprintf(name, sizeof name, "Object%d", k);
		SdDescriptorSetName(&f->descriptor, name);
		SdDescriptorSetTexture(&f->descriptor, "/textures/water.png");
		f->descriptor.vertex_count = v;
		f->descriptor.triangle_count = t;
		SdDescriptorSetSizes(&f->descriptor);
		SdWriteObjectDescriptor(f);
		SdWriteVertices(f, xyz.data(), v);
		for (int i = 0; i < t; ++i)
		{
			const int cell = i / 2, x = cell % (GRID - 1), y = cell / (GRID - 1), p = y * GRID + x;
			const int a = p, b = i % 2 ? p + GRID + 1 : p + 1, c = i % 2 ? p + GRID : p + GRID + 1;
			f->face.corners[0] = a;
			f->face.corners[1] = b;
			f->face.corners[2] = c;
			SdWriteFace(f);
		}
	}
	if (camera)
		SdWriteCameraDescriptor(f);
	for (int fr = 0; fr < frames; ++fr)
	{
		f->frame_number = fr;
		SdWriteFrameNumber(f);
		for (int k = 0; k < objects; ++k)
			SdWriteObjectFrame(f);
		if (camera)
			SdWriteCameraFrame(f);
	}
	if (!SdClose(f))
		std::abort();
}

struct SdImportFixture
{
	std::string dir, scene, camera;

	SdImportFixture()
	{
		char tmpl[] = "/tmp/tw_sd_import_bench_XXXXXX";
		dir = mkdtemp(tmpl);
		scene = dir + "/scene.sd";
		camera = dir + "/camera.sd";
		WriteFile(scene, OBJECTS, SCENE_FRAMES, false);
		WriteFile(camera, 0, CAMERA_FRAMES, true);
		if (!LoadBenchModule())
			std::abort();
	}
	~SdImportFixture()
	{
		std::remove(scene.c_str());
		std::remove(camera.c_str());
		rmdir(dir.c_str());
	}
};

SdImportFixture& Fixture()
{
	static SdImportFixture fx;
	return fx;
}

void Import(const std::string& camera, const std::string& scene)
{
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (!camera.empty())
			d.SetFilename(TW_SDIMP_CAMERA_FILE, camera);
		if (!scene.empty())
			d.SetFilename(TW_SDIMP_SCENE_FILE, scene);
		d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
}

void BM_SdImportScene(benchmark::State& state)
{
	SdImportFixture& fx = Fixture();
	for (auto _ : state)
	{
		BaseDocument* doc = BaseDocument::Alloc();
		headless::SetActiveDocument(doc);
		Import("", fx.scene);
		state.PauseTiming();
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		state.ResumeTiming();
	}
	state.counters["triangles/s"] =
		benchmark::Counter(static_cast<double>(OBJECTS) * (GRID - 1) * (GRID - 1) * 2, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SdImportScene)->Unit(benchmark::kMillisecond);

void BM_SdImportCamera(benchmark::State& state)
{
	SdImportFixture& fx = Fixture();
	for (auto _ : state)
	{
		BaseDocument* doc = BaseDocument::Alloc();
		headless::SetActiveDocument(doc);
		Import(fx.camera, "");
		state.PauseTiming();
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		state.ResumeTiming();
	}
	state.counters["frames/s"] = benchmark::Counter(CAMERA_FRAMES, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SdImportCamera)->Unit(benchmark::kMillisecond);

} // namespace

#endif
