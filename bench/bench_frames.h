// bench_frames.h - what the benchmarks share: particle frame files, the memcpy they are measured against, the module.
#pragma once

#include <benchmark/benchmark.h>

#include "frame_cache.h"
#include "frame_sequence.h"

#include <cstdint>
#include <string>
#include <vector>

// A temporary folder for `frames` frame files NAME_FFFFF.EXT; the files and the folder go with it.
class BenchFrameDir
{
public:
	BenchFrameDir(const char* name, const char* ext, int frames);
	~BenchFrameDir();
	BenchFrameDir(const BenchFrameDir&) = delete;
	BenchFrameDir& operator=(const BenchFrameDir&) = delete;
	std::string Path(int frame) const;

private:
	std::string _dir, _name, _ext;
	int _frames;
};

// Writes a version-12 frame of `count` particles with plausible positions, velocities, ages and
// densities; id_stride_frame > 0 moves every such particle's ID by the frame number, so that
// consecutive frames do not hold quite the same IDs. Aborts when the file cannot be written.
void WriteBenchParticleFrame(const std::string& path, int frame, int count, const char* name, int id_stride_frame);

// Memcpys of `bytes` between two buffers that are already touched, one at a time, so that a
// benchmark can interleave them with what it measures and both see the same machine.
class MemcpyProbe
{
public:
	explicit MemcpyProbe(int64_t bytes);
	double Seconds(); // one memcpy

private:
	std::vector<char> _a, _b;
};

// The median of eleven memcpys of `bytes` between two buffers that are already touched.
double MedianMemcpySeconds(int64_t bytes);

// The median of the measured times (0 for none).
double Median(std::vector<double> v);

// The size of a file, or aborts.
int64_t BenchFileBytes(const std::string& path);

// The sequence of first_path in a one-frame cache, all of every frame loaded, as an importer with its
// default settings holds it; released with the object.
struct BenchOneFrameCache
{
	BenchOneFrameCache(const std::string& first_path, int32_t format);
	~BenchOneFrameCache();
	BenchOneFrameCache(const BenchOneFrameCache&) = delete;
	BenchOneFrameCache& operator=(const BenchOneFrameCache&) = delete;
	// The slot served for sequence frame `frame` (first + frame of the sequence).
	const FrameSlot* Get(int frame);

	FrameSequence sequence;
	FrameCacheSettings settings = {};
	FrameCache cache = {};
};

// The module in the headless host, loaded once for every benchmark that runs it (a second load of
// the same module would be refused); false when it does not load.
bool LoadBenchModule();

// The whole rebuild of a Mesh Importer as the host sees it: an importer in a document on the sequence
// of first_path (frames 0 .. frames - 1), the Bool parameters `switched_on` set by the user, each
// iteration evaluating the document at the next frame (which reads the new file into the one-frame
// table, builds the polygon object and has the host free the object before). Beside every rebuild a
// memcpy of file_bytes is timed; the counters give both medians and their ratio. An object without
// `points` points or without its UVW tag fails the benchmark.
void BenchMeshImporterRebuild(benchmark::State& state, const std::string& first_path, int frames, int64_t file_bytes,
	int32_t points, const std::vector<int32_t>& switched_on);
