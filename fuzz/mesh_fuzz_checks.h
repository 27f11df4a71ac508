// mesh_fuzz_checks.h - what the mesh fuzz targets share: one read of the input through the mesh handle
// layer, and the checks of what a successful read gave.
#pragma once

#include "cache_internal.h"
#include "mesh_bin.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Opens and reads the file as a mesh frame of `type`, hands a handle that read to `check`, and aborts
// when the read leaves an allocation behind.
template <typename Check>
void FuzzMeshRead(const std::string& path, int32_t type, float percent, Check check)
{
	const int64_t live = CacheLiveAllocations();
	MeshHandle* h = MeshHandleOpen(path.c_str(), type);
	if (h && MeshHandleRead(h, percent))
		check(h);
	MeshHandleCloseFile(h);
	MeshHandleFree(h);
	if (CacheLiveAllocations() != live)
		std::abort();
}

// Aborts unless the counts agree and every corner is below the vertex count.
inline void CheckFaces(const MeshFace* faces, int32_t kept_face_count, int32_t kept_index_count, int32_t vertex_count)
{
	if (kept_face_count < 0 || kept_index_count != 3 * kept_face_count)
		std::abort();
	for (int32_t i = 0; i < kept_face_count; ++i)
		for (uint32_t index : faces[i].index)
			if (index >= static_cast<uint32_t>(vertex_count))
				std::abort();
}

// Uses a sum of values read, so that the reads are not optimised away (out of bounds they fault under
// the address sanitizer).
inline void UseSum(float sum)
{
	if (sum == 12345.0f)
		std::fputc(0, stderr);
}

// The share of faces to keep, from the input's last byte, so that thinning is explored too.
inline float FuzzPercent(const uint8_t* data, size_t size)
{
	return size ? static_cast<float>(data[size - 1] % 128) : 100.0f;
}
