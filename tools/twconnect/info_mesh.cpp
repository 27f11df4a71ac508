// info_mesh.cpp - the mesh .bin part of `twconnect info`.
#include "info_mesh.h"

#include "cache_types.h"
#include "cli.h"
#include "mesh_bin.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

static std::string Number(double v)
{
	char text[32];
	std::snprintf(text, sizeof(text), "%.6g", v);
	return text;
}

static std::string Triple(const float* v, bool json)
{
	if (json)
		return "[" + Number(v[0]) + ", " + Number(v[1]) + ", " + Number(v[2]) + "]";
	return "(" + Number(v[0]) + ", " + Number(v[1]) + ", " + Number(v[2]) + ")";
}

bool InfoMeshBin(const char* path, bool json, std::string& out, std::string& error)
{
	FILE* probe = std::fopen(path, "rb");
	if (!probe)
	{
		error = errno == ENOENT ? "no such file" : std::strerror(errno);
		return false;
	}
	std::fclose(probe);
	if (!MeshIsBinFile(path))
	{
		error = "not a mesh .bin file";
		return false;
	}
	MeshHandle* handle = MeshHandleOpen(path, CACHE_MESH_BIN);
	if (!handle || !MeshHandleRead(handle, 100.0f))
	{
		MeshHandleFree(handle);
		error = "damaged or truncated mesh .bin file";
		return false;
	}
	MeshHandleCloseFile(handle);
	const MeshBinFile* m = MeshHandleBinFile(handle);
	const bool texture = m->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = m->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	float lo[3] = {0.0f, 0.0f, 0.0f};
	float hi[3] = {0.0f, 0.0f, 0.0f};
	for (int32_t i = 0; i < m->vertex_count; ++i)
		for (int c = 0; c < 3; ++c)
		{
			const float p = m->vertices[i].position[c];
			if (i == 0 || p < lo[c])
				lo[c] = p;
			if (i == 0 || p > hi[c])
				hi[c] = p;
		}
	std::string blocks = "positions, faces";
	if (texture)
		blocks += ", texture and weights";
	if (velocity)
		blocks += ", velocities";

	if (json)
	{
		out = "{\"format\": \"mesh-bin\", \"file\": " + JsonString(path) + ", \"version\": " + Number(m->version) +
			", \"vertices\": " + Number(m->vertex_count) + ", \"faces\": " + Number(m->face_count) +
			", \"weights\": " + Number(texture ? m->weight_count : 0) + ", \"texture\": " +
			(texture ? "true" : "false") + ", \"velocity\": " + (velocity ? "true" : "false");
		if (m->vertex_count > 0)
			out += ", \"bounds\": {\"min\": " + Triple(lo, true) + ", \"max\": " + Triple(hi, true) + "}";
		else
			out += ", \"bounds\": null";
		out += "}\n";
	}
	else
	{
		out = std::string(path) + ": mesh .bin, version " + Number(m->version) + "\n";
		out += "  vertices  " + Number(m->vertex_count) + "\n";
		out += "  faces     " + Number(m->face_count) + "\n";
		out += "  weights   " + (texture ? Number(m->weight_count) : std::string("none")) + "\n";
		out += "  blocks    " + blocks + "\n";
		if (m->vertex_count > 0)
			out += "  bounds    " + Triple(lo, false) + " .. " + Triple(hi, false) + " m\n";
		else
			out += "  bounds    none (no vertices)\n";
	}
	MeshHandleFree(handle);
	return true;
}
