// mesh_md_bench.cpp - reading a new .md and a new chunked mesh frame through the frame cache, against a
// memcpy of the frame file's bytes.
#include "bench_frames.h"
#include "cache_types.h"
#include "frame_cache.h"
#include "frame_sequence.h"
#include "mesh_chunk.h"
#include "mesh_md.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

const int32_t kVertices = 1000000;
const int32_t kFaces = 2000000;
const int kFrames = 3;

// A rippling sheet of 1000 x 1000 vertices, two triangles per vertex.
void FillSheet(int frame, int32_t i, float* position, float* velocity, float* texture)
{
	const float x = static_cast<float>(i % 1000) * 0.01f;
	const float z = static_cast<float>(i / 1000) * 0.01f;
	position[0] = x;
	position[1] = 0.1f * frame * x * z;
	position[2] = z;
	velocity[0] = 0.0f;
	velocity[1] = 0.1f * x * z;
	velocity[2] = 0.0f;
	texture[0] = x;
	texture[1] = 1.0f - z;
	texture[2] = 0.0f;
}

MeshFace SheetFace(int32_t f)
{
	const uint32_t a = static_cast<uint32_t>(f / 2);
	return MeshFace{{a, (a + 1) % kVertices, (a + 1000 + (f & 1)) % kVertices}};
}

// .md frames with position, velocity, normal, texture (as vectors) and four scalars.
struct MdFrames
{
	BenchFrameDir dir{"surface", "md", kFrames};
	int64_t file_bytes = 0;

	MdFrames()
	{
		const MdWriteChannel channels[] = {{"position", MD_POSITION, MESH_MD_VALUE_VECTOR},
			{"velocity", MD_VELOCITY, MESH_MD_VALUE_VECTOR}, {"normal", MD_NORMAL, MESH_MD_VALUE_VECTOR},
			{"texture", MD_TEXTURE, MESH_MD_VALUE_VECTOR}, {"age", MD_AGE, MESH_MD_VALUE_SCALAR},
			{"density", MD_DENSITY, MESH_MD_VALUE_SCALAR}, {"pressure", MD_PRESSURE, MESH_MD_VALUE_SCALAR},
			{"temperature", MD_TEMPERATURE, MESH_MD_VALUE_SCALAR}};
		std::vector<MdVertex> vertices(kVertices);
		std::vector<MeshFace> faces(kFaces);
		for (int32_t f = 0; f < kFaces; ++f)
			faces[f] = SheetFace(f);
		for (int frame = 0; frame < kFrames; ++frame)
		{
			for (int32_t i = 0; i < kVertices; ++i)
			{
				MdVertex& v = vertices[i];
				FillSheet(frame, i, v.position, v.velocity, v.texture);
				v.normal[1] = 1.0f;
				v.age = 0.04f * frame;
				v.density = 1000.0f;
				v.pressure = 0.5f * v.position[1];
				v.temperature = 293.0f;
			}
			if (!MdWrite(dir.Path(frame).c_str(), "surface", 1, channels, 8, vertices.data(), kVertices, faces.data(),
					kFaces))
				std::abort();
		}
		file_bytes = BenchFileBytes(dir.Path(0));
	}
};

// Chunked frames of the same sheet: points, triangles, texture, velocity and two weight maps.
struct ChunkFrames
{
	BenchFrameDir dir{"surface", "chunk", kFrames};
	int64_t file_bytes = 0;

	ChunkFrames()
	{
		for (int frame = 0; frame < kFrames; ++frame)
		{
			MeshBinFile* file = MeshBinCreate((dir.Path(frame) + ".scratch").c_str());
			if (!file || !MeshBinAllocate(file, kVertices, kFaces, 3, true, true))
				std::abort();
			for (int32_t i = 0; i < kVertices; ++i)
			{
				MeshVertex& v = file->vertices[i];
				FillSheet(frame, i, v.position, v.velocity, v.texture);
				v.weights[0] = 0.5f * v.position[0];
				v.weights[1] = 0.5f * v.position[2];
			}
			for (int32_t f = 0; f < kFaces; ++f)
				file->faces[f] = SheetFace(f);
			if (!MeshChunkWrite(file, dir.Path(frame).c_str()))
				std::abort();
			MeshBinFree(file);
			std::remove((dir.Path(frame) + ".scratch").c_str());
		}
		file_bytes = BenchFileBytes(dir.Path(0));
	}
};

// The timeline moving on through a one-frame cache: every iteration asks for the next frame, which
// flushes the last one and reads the new file into its recycled arrays. Beside every read the same run
// times a memcpy of one frame file's bytes, and reports the ratio of the medians.
void ReadThroughFrameCache(benchmark::State& state, const BenchFrameDir& dir, int64_t file_bytes, int32_t format)
{
	MemcpyProbe probe(file_bytes);
	BenchOneFrameCache frames(dir.Path(0), format);
	std::vector<double> reads, copies;
	int frame = 0;
	for (auto _ : state)
	{
		copies.push_back(probe.Seconds());
		auto t0 = std::chrono::steady_clock::now();
		MeshHandle* h = SlotMeshHandle(frames.Get(frame));
		auto t1 = std::chrono::steady_clock::now();
		if (!h || MeshHandleVertexCount(h) != kVertices || MeshHandleFaceCount(h) != kFaces)
			state.SkipWithError("read failed");
		const double seconds = std::chrono::duration<double>(t1 - t0).count();
		reads.push_back(seconds);
		state.SetIterationTime(seconds);
		frame = (frame + 1) % kFrames;
	}
	state.counters["read_ms"] = Median(reads) * 1e3;
	state.counters["memcpy_ms"] = Median(copies) * 1e3;
	state.counters["ratio"] = Median(reads) / Median(copies);
	state.SetBytesProcessed(state.iterations() * file_bytes);
}

// Written once for the read and the rebuild.
MdFrames& SharedMdFrames()
{
	static MdFrames frames;
	return frames;
}

void BM_MdFrameCacheRead(benchmark::State& state)
{
	MdFrames& frames = SharedMdFrames();
	ReadThroughFrameCache(state, frames.dir, frames.file_bytes, CACHE_MESH_MD);
}

void BM_ChunkFrameCacheRead(benchmark::State& state)
{
	static ChunkFrames frames;
	ReadThroughFrameCache(state, frames.dir, frames.file_bytes, CACHE_MESH_CHUNK);
}

BENCHMARK(BM_MdFrameCacheRead)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkFrameCacheRead)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

#if defined(TW_DEFAULT_PLUGIN_DIR)
// The whole rebuild of an .md frame: points, a length map of each vector channel and a map of each
// scalar (velocity, normal and the four scalars), the UVW tag and the polygons.
void BM_MdImporterRebuild(benchmark::State& state)
{
	MdFrames& frames = SharedMdFrames();
	BenchMeshImporterRebuild(state, frames.dir.Path(0), kFrames, frames.file_bytes, kVertices, {});
}

BENCHMARK(BM_MdImporterRebuild)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
#endif

} // namespace
