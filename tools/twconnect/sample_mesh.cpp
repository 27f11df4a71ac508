// sample_mesh.cpp - the rippling surface written as a mesh .bin or a chunked mesh sequence.
#include "sample_mesh.h"

#include "mesh_bin.h"
#include "mesh_chunk.h"
#include "sample_surface.h"

#include <cstdio>

std::string SampleMeshPath(const char* dir, int frame, const char* extension)
{
	char name[64];
	std::snprintf(name, sizeof(name), "%s%05d%s", kSampleMeshBaseName, frame, extension);
	std::string path = dir ? dir : ".";
	if (!path.empty() && path.back() != '/')
		path += '/';
	return path + name;
}

static void FillFrame(MeshBinFile* file, int frame, int weight_count)
{
	for (int32_t k = 0; k < SampleSurfaceVertexCount(); ++k)
	{
		const SurfacePoint p = SampleSurfacePoint(k, frame);
		MeshVertex& v = file->vertices[k];
		for (int c = 0; c < 3; ++c)
		{
			v.position[c] = p.position[c];
			v.velocity[c] = p.velocity[c];
		}
		v.texture[0] = p.u; // U
		v.texture[1] = 1.0f - p.v; // 1 - V
		v.texture[2] = 0.0f; // W
		// The stored weights leave the last one, derived on reading, at least 0. With two fluids the
		// first runs the whole way from 0 to 1 across the surface, so a render shows both and their mix.
		v.weights[0] = weight_count == 2 ? p.u : 0.5f * p.u;
		if (weight_count == 3)
			v.weights[1] = 0.5f * p.v;
	}
	for (int32_t f = 0; f < SampleSurfaceFaceCount(); ++f)
		file->faces[f] = SampleSurfaceFace(f);
}

static bool WriteFrame(const std::string& path, int frame, int weight_count, SampleMeshLayout layout)
{
	MeshBinFile* file = MeshBinCreate(path.c_str());
	if (!file || !MeshBinAllocate(file, SampleSurfaceVertexCount(), SampleSurfaceFaceCount(), weight_count, true, true))
	{
		MeshBinFree(file);
		return false;
	}
	FillFrame(file, frame, weight_count);
	if (layout == SampleMeshLayout::Chunked && file->stream)
	{
		// the chunked writer opens the path itself: the record's own stream must not write after it
		std::fclose(file->stream);
		file->stream = nullptr;
	}
	const bool ok = layout == SampleMeshLayout::Chunked ? MeshChunkWrite(file, path.c_str()) == 1
														: MeshBinWrite(file) == 1;
	MeshBinFree(file);
	return ok;
}

bool WriteSampleMesh(const char* dir, int start, int end, int weight_count, std::string& error,
	SampleMeshLayout layout)
{
	if (start < 0 || end < start || end > 99999)
	{
		error = "frames must run from 0 to 99999, first not after last";
		return false;
	}
	if (weight_count != 2 && weight_count != 3)
	{
		error = "the sample carries 2 or 3 weights";
		return false;
	}
	for (int frame = start; frame <= end; ++frame)
	{
		const std::string path = SampleMeshPath(dir, frame);
		if (!WriteFrame(path, frame, weight_count, layout))
		{
			error = "cannot write '" + path + "'";
			return false;
		}
	}
	return true;
}
