// mesh_bin_fuzz.cpp - mesh .bin reader on arbitrary bytes: reads or fails, never faults or leaks.
#include "cache_types.h"
#include "mesh_bin.h"

#include "fuzz_input.h"
#include "mesh_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("mesh_bin_fuzz", data, size);
	if (path.empty())
		return 0;
	FuzzMeshRead(path, CACHE_MESH_BIN, FuzzPercent(data, size), [](MeshHandle* h) {
		const MeshBinFile* m = MeshHandleBinFile(h);
		CheckFaces(m->faces, m->kept_face_count, m->kept_index_count, m->vertex_count);
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
		{
			sum += m->vertices[i].position[0] + m->vertices[i].velocity[2];
			if (m->vertices[i].weights)
				sum += m->vertices[i].weights[m->weight_count - 1];
		}
		UseSum(sum);
	});
	return 0;
}
