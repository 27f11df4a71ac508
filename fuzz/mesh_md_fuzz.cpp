// mesh_md_fuzz.cpp - .md mesh reader on arbitrary bytes: reads or fails, never faults or leaks, and what
// it reads holds together.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_md.h"

#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("mesh_md_fuzz", data, size);
	if (path.empty())
		return 0;
	const int64_t live = CacheLiveAllocations();
	// The last byte picks the share of faces, so thinning is explored too.
	const float percent = size ? static_cast<float>(data[size - 1] % 128) : 100.0f;
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_MD);
	if (h && MeshHandleRead(h, percent))
	{
		const MdMeshFile* m = MeshHandleMdFile(h);
		if (m->kept_face_count > m->face_count || m->kept_index_count != 3 * m->kept_face_count)
			std::abort();
		for (int32_t i = 0; i < m->kept_face_count; ++i)
			for (uint32_t index : m->faces[i].index)
				if (index >= static_cast<uint32_t>(m->vertex_count))
					std::abort();
		for (int32_t c = 0; c < m->channel_count; ++c)
			if (!m->channels[c].name || std::strlen(m->channels[c].name) > m->channels[c].name_length ||
				MdFindChannel(m, m->channels[c].id) == nullptr)
				std::abort();
		float sum = 0.0f;
		for (int32_t i = 0; i < m->vertex_count; ++i)
			sum += m->vertices[i].position[0] + m->vertices[i].identity + MeshHandleVelocity(h, i)[2];
		if (sum == 12345.0f)
			std::fputc(0, stderr);
	}
	MeshHandleCloseFile(h);
	MeshHandleFree(h);
	if (CacheLiveAllocations() != live)
		std::abort();
	return 0;
}
