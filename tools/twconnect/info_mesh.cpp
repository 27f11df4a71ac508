// info_mesh.cpp - the mesh .bin part of `twconnect info`.
#include "info_mesh.h"

#include "cache_types.h"
#include "cli_output.h"
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

static std::string Triple(const float* v)
{
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
		Json bounds = nullptr;
		if (m->vertex_count > 0)
			bounds = {{"min", JsonVector(lo)}, {"max", JsonVector(hi)}};
		out = JsonText({
				  {"format", "mesh-bin"},
				  {"file", path},
				  {"version", m->version},
				  {"vertices", m->vertex_count},
				  {"faces", m->face_count},
				  {"weights", texture ? m->weight_count : 0},
				  {"texture", texture},
				  {"velocity", velocity},
				  {"bounds", bounds},
			  }) +
			"\n";
	}
	else
	{
		// counts in full: "%.6g" would print a million vertices as 1e+06
		out = std::string(path) + ": mesh .bin, version " + std::to_string(m->version) + "\n";
		out += "  vertices  " + std::to_string(m->vertex_count) + "\n";
		out += "  faces     " + std::to_string(m->face_count) + "\n";
		out += "  weights   " + (texture ? std::to_string(m->weight_count) : std::string("none")) + "\n";
		out += "  blocks    " + blocks + "\n";
		if (m->vertex_count > 0)
			out += "  bounds    " + Triple(lo) + " .. " + Triple(hi) + " m\n";
		else
			out += "  bounds    none (no vertices)\n";
	}
	MeshHandleFree(handle);
	return true;
}
