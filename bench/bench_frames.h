// bench_frames.h - what the particle benchmarks share: their frame files and the memcpy they are measured against.
#pragma once

#include <cstdint>
#include <string>

// Writes a version-12 frame of `count` particles with plausible positions, velocities, ages and
// densities; id_stride_frame > 0 moves every such particle's ID by the frame number, so that
// consecutive frames do not hold quite the same IDs. Aborts when the file cannot be written.
void WriteBenchParticleFrame(const std::string& path, int frame, int count, const char* name, int id_stride_frame);

// The median of eleven memcpys of `bytes` between two buffers that are already touched.
double MedianMemcpySeconds(int64_t bytes);

// The size of a file, or aborts.
int64_t BenchFileBytes(const std::string& path);
