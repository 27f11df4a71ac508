// mesh_md_fuzz.cpp - .md mesh reader on arbitrary bytes: reads or fails, never faults or leaks, and what
// it reads holds together.
#include "cache_types.h"
#include "mesh_md.h"

#include "fuzz_input.h"
#include "mesh_fuzz_checks.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("mesh_md_fuzz", data, size);
	if (path.empty())
		return 0;
	FuzzMeshRead(path, CACHE_MESH_MD, FuzzPercent(data, size), [](MeshHandle* h) {
		const MdMeshFile* m = MeshHandleMdFile(h);
		if (m->kept_face_count > m->face_count)
			std::abort();
		CheckFaces(m->faces, m->kept_face_count, m->kept_index_count, m->vertex_count);
		for (int32_t c = 0; c < m->channel_count; ++c)
			if (!m->channels[c].name || std::strlen(m->channels[c].name) > m->channels[c].name_length ||
				!MdFindChannel(m, m->channels[c].id))
				std::abort();
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
			sum += m->vertices[i].position[0] + m->vertices[i].identity + MeshHandleVelocity(h, i)[2];
		UseSum(sum);
	});
	return 0;
}
