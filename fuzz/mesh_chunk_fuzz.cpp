// mesh_chunk_fuzz.cpp - chunked mesh reader on arbitrary bytes: reads or fails, never faults or leaks,
// and what it reads holds together.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_chunk.h"

#include "fuzz_input.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("mesh_chunk_fuzz", data, size);
	if (path.empty())
		return 0;
	const int64_t live = CacheLiveAllocations();
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_CHUNK);
	if (h && MeshHandleRead(h, 100.0f))
	{
		const MeshBinFile* m = MeshHandleBinFile(h);
		if (m->kept_face_count != m->face_count || m->kept_index_count != 3 * m->kept_face_count ||
			m->weight_count < 1)
			std::abort();
		for (int32_t i = 0; i < m->kept_face_count; ++i)
			for (uint32_t index : m->faces[i].index)
				if (index >= static_cast<uint32_t>(m->vertex_count))
					std::abort();
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
		{
			const MeshVertex& v = m->vertices[i];
			if (!v.weights)
				std::abort();
			sum += v.position[0] + v.texture[1] + v.velocity[2] + v.weights[m->weight_count - 1];
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
