// mesh_bench.cpp - reading a new mesh .bin frame, and building its polygon object, against a memcpy of the
// frame file's bytes.
#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"
#include "cache_types.h"
#include "frame_cache.h"
#include "frame_sequence.h"
#include "mesh_bin.h"
#include "mesh_build.h"

#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

const int32_t kVertices = 1000000;
const int32_t kFaces = 2000000;
const int32_t kWeights = 3;
const int kFrames = 3;

// Frames written once per run into a temporary folder, removed at exit.
struct FrameFiles
{
	std::string dir;
	std::vector<std::string> paths;
	int64_t size_bytes = 0;

	FrameFiles()
	{
		char templ[] = "/tmp/tw_mesh_bench_XXXXXX";
		if (!mkdtemp(templ))
			std::abort();
		dir = templ;
		for (int frame = 0; frame < kFrames; ++frame)
		{
			paths.push_back(dir + "/surface_0000" + std::to_string(frame) + ".bin");
			MeshBinFile* file = MeshBinCreate(paths.back().c_str());
			if (!file || !MeshBinAllocate(file, kVertices, kFaces, kWeights, true, true))
				std::abort();
			for (int32_t i = 0; i < kVertices; ++i)
			{
				MeshVertex& v = file->vertices[i];
				const float x = static_cast<float>(i % 1000) * 0.01f;
				const float z = static_cast<float>(i / 1000) * 0.01f;
				v.position[0] = x;
				v.position[1] = 0.1f * frame * x * z;
				v.position[2] = z;
				v.velocity[1] = 0.1f * x * z;
				v.texture[0] = x;
				v.texture[1] = 1.0f - z;
				v.weights[0] = 0.5f * x;
				v.weights[1] = 0.5f * z;
			}
			for (int32_t f = 0; f < kFaces; ++f)
			{
				const uint32_t a = static_cast<uint32_t>(f / 2);
				file->faces[f] = MeshFace{{a, (a + 1) % kVertices, (a + 1000 + (f & 1)) % kVertices}};
			}
			if (!MeshBinWrite(file))
				std::abort();
			MeshBinFree(file);
		}
		struct stat st;
		stat(paths[0].c_str(), &st);
		size_bytes = st.st_size;
	}

	~FrameFiles()
	{
		for (const std::string& p : paths)
			unlink(p.c_str());
		rmdir(dir.c_str());
	}
};

FrameFiles& Frames()
{
	static FrameFiles frames;
	return frames;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
	return std::chrono::duration<double>(b - a).count();
}

// Each iteration reads the next frame, as the frame cache does when the timeline moves on. With
// `reuse` the previous frame's arrays are handed to the new handle (a recycling frame cache);
// without it the previous frame is freed first and the new one gets fresh memory. Beside every
// read the same run times a memcpy of one frame file's bytes between two touched buffers, and
// reports the ratio of the medians.
void ReadNewFrame(benchmark::State& state, bool reuse)
{
	FrameFiles& frames = Frames();
	std::vector<unsigned char> from(frames.size_bytes, 1);
	std::vector<unsigned char> to(frames.size_bytes, 2);
	std::vector<double> reads;
	std::vector<double> copies;
	MeshHandle* previous = nullptr;
	int frame = 0;
	for (auto _ : state)
	{
		auto c0 = std::chrono::steady_clock::now();
		std::memcpy(to.data(), from.data(), from.size());
		benchmark::DoNotOptimize(to.data());
		auto c1 = std::chrono::steady_clock::now();
		copies.push_back(Seconds(c0, c1));

		if (!reuse)
		{
			MeshHandleFree(previous);
			previous = nullptr;
		}
		auto t0 = std::chrono::steady_clock::now();
		MeshHandle* h = MeshHandleOpen(frames.paths[frame].c_str(), CACHE_MESH_BIN);
		if (reuse)
			MeshHandleReuse(h, previous);
		if (!h || !MeshHandleRead(h, 100.0f))
			state.SkipWithError("read failed");
		MeshHandleCloseFile(h);
		auto t1 = std::chrono::steady_clock::now();
		benchmark::DoNotOptimize(MeshHandleBinFile(h)->vertices);
		reads.push_back(Seconds(t0, t1));
		state.SetIterationTime(Seconds(t0, t1));
		previous = h;
		frame = (frame + 1) % kFrames;
	}
	MeshHandleFree(previous);
	state.counters["read_ms"] = Median(reads) * 1e3;
	state.counters["memcpy_ms"] = Median(copies) * 1e3;
	state.counters["ratio"] = Median(reads) / Median(copies);
	state.SetBytesProcessed(state.iterations() * frames.size_bytes);
}

void BM_MeshHandleReadReusedArrays(benchmark::State& state)
{
	ReadNewFrame(state, true);
}

void BM_MeshHandleReadFreshArrays(benchmark::State& state)
{
	ReadNewFrame(state, false);
}

BENCHMARK(BM_MeshHandleReadReusedArrays)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshHandleReadFreshArrays)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

// The timeline moving on through a one-frame cache: every iteration asks for the next frame, which
// flushes the last one and reads the new file into the recycled arrays. With `build` the polygon
// object with UVW, speed and weight maps is built from the served handle as well, and the object
// of the iteration before is freed first (outside the timing), as the host frees a generator's old
// cache when the new one arrives.
void ThroughFrameCache(benchmark::State& state, bool build)
{
	FrameFiles& frames = Frames();
	std::vector<unsigned char> from(frames.size_bytes, 1);
	std::vector<unsigned char> to(frames.size_bytes, 2);
	BenchOneFrameCache cache(frames.paths[0], CACHE_MESH_BIN);
	BaseObject* generator = BaseObject::Alloc(Onull);
	generator->GetDataInstance()->SetBool(TW_MI_SPEED_MAGNITUDE, true);
	BaseObject* built = nullptr;
	std::vector<double> totals, reads, builds, copies;
	int frame = 0;
	for (auto _ : state)
	{
		auto c0 = std::chrono::steady_clock::now();
		std::memcpy(to.data(), from.data(), from.size());
		benchmark::DoNotOptimize(to.data());
		auto c1 = std::chrono::steady_clock::now();
		copies.push_back(Seconds(c0, c1));
		BaseObject::Free(built);

		auto t0 = std::chrono::steady_clock::now();
		MeshHandle* h = SlotMeshHandle(cache.Get(frame));
		auto t1 = std::chrono::steady_clock::now();
		if (!h)
			state.SkipWithError("read failed");
		if (build)
		{
			built = BuildPolygonObject(h, generator);
			if (!built)
				state.SkipWithError("build failed");
		}
		auto t2 = std::chrono::steady_clock::now();
		reads.push_back(Seconds(t0, t1));
		builds.push_back(Seconds(t1, t2));
		totals.push_back(Seconds(t0, t2));
		state.SetIterationTime(Seconds(t0, t2));
		frame = (frame + 1) % kFrames;
	}
	BaseObject::Free(built);
	BaseObject::Free(generator);
	const double copy = Median(copies);
	state.counters["memcpy_ms"] = copy * 1e3;
	state.counters["read_ms"] = Median(reads) * 1e3;
	if (build)
	{
		state.counters["build_ms"] = Median(builds) * 1e3;
		state.counters["total_ms"] = Median(totals) * 1e3;
	}
	state.counters["ratio"] = Median(totals) / copy;
	state.SetBytesProcessed(state.iterations() * frames.size_bytes);
}

void BM_MeshFrameCacheRead(benchmark::State& state)
{
	ThroughFrameCache(state, false);
}

void BM_MeshFrameCacheReadAndBuild(benchmark::State& state)
{
	ThroughFrameCache(state, true);
}

BENCHMARK(BM_MeshFrameCacheRead)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshFrameCacheReadAndBuild)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

#if defined(TW_DEFAULT_PLUGIN_DIR)
// The whole rebuild with UVW, speed and weight maps.
void BM_MeshImporterRebuild(benchmark::State& state)
{
	FrameFiles& frames = Frames();
	BenchMeshImporterRebuild(state, frames.paths[0], kFrames, frames.size_bytes, kVertices, {TW_MI_SPEED_MAGNITUDE});
}

BENCHMARK(BM_MeshImporterRebuild)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
#endif

} // namespace
