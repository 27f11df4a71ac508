// mesh_chunk_fuzz.cpp - chunked mesh reader on arbitrary bytes: reads or fails, never faults or leaks,
// and what it reads holds together.
#include "cache_types.h"
#include "mesh_chunk.h"

#include "fuzz_input.h"
#include "mesh_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("mesh_chunk_fuzz", data, size);
	if (path.empty())
		return 0;
	FuzzMeshRead(path, CACHE_MESH_CHUNK, 100.0f, [](MeshHandle* h) {
		const MeshBinFile* m = MeshHandleBinFile(h);
		if (m->kept_face_count != m->face_count || m->weight_count < 1)
			std::abort();
		CheckFaces(m->faces, m->kept_face_count, m->kept_index_count, m->vertex_count);
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
		{
			const MeshVertex& v = m->vertices[i];
			// every vertex of a chunked file carries its W weights
			if (!v.weights)
				std::abort();
			sum += v.position[0] + v.texture[1] + v.velocity[2] + v.weights[m->weight_count - 1];
		}
		UseSum(sum);
	});
	return 0;
}
