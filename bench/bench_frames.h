// bench_frames.h - what the benchmarks share: particle frame files, the memcpy they are measured against, the module.
#pragma once

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

// The size of a file, or aborts.
int64_t BenchFileBytes(const std::string& path);

// The module in the headless host, loaded once for every benchmark that runs it (a second load of
// the same module would be refused); false when it does not load.
bool LoadBenchModule();
