// mesh_bin_fuzz.cpp - mesh .bin reader on arbitrary bytes: reads or fails, never faults or leaks.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_bin.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static std::string FuzzPath()
{
	return "/tmp/mesh_bin_fuzz_" + std::to_string(getpid()) + ".bin";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const std::string path = FuzzPath();
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return 0;
	std::fwrite(data, 1, size, f);
	std::fclose(f);

	const int64_t live = CacheLiveAllocations();
	// The last byte picks the share of faces, so thinning is explored too.
	const float percent = size ? static_cast<float>(data[size - 1] % 128) : 100.0f;
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_BIN);
	if (h && MeshHandleRead(h, percent))
	{
		const MeshBinFile* m = MeshHandleBinFile(h);
		for (int32_t i = 0; i < m->kept_face_count; ++i)
			for (uint32_t index : m->faces[i].index)
				if (index >= static_cast<uint32_t>(m->vertex_count))
					std::abort();
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
		{
			sum += m->vertices[i].position[0] + m->vertices[i].velocity[2];
			if (m->vertices[i].weights)
				sum += m->vertices[i].weights[m->weight_count - 1];
		}
		if (sum == 12345.0f)
			std::fputc(0, stderr);
	}
	MeshHandleCloseFile(h);
	MeshHandleFree(h);
	if (CacheLiveAllocations() != live)
		std::abort();
	return 0;
}
