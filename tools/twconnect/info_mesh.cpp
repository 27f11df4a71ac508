// info_mesh.cpp - the mesh .bin and chunked mesh parts of `twconnect info`.
#include "info_mesh.h"

#include "cache_types.h"
#include "cli_output.h"
#include "mesh_bin.h"
#include "mesh_chunk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

std::string Number(double v)
{
	char text[32];
	std::snprintf(text, sizeof(text), "%.6g", v);
	return text;
}

std::string Triple(const float* v)
{
	return "(" + Number(v[0]) + ", " + Number(v[1]) + ", " + Number(v[2]) + ")";
}

// The frame read whole through the handle layer, or null with the reason in `error`.
MeshHandle* ReadMesh(const char* path, int32_t type, const char* damaged, std::string& error)
{
	FILE* probe = std::fopen(path, "rb");
	if (!probe)
	{
		error = errno == ENOENT ? "no such file" : std::strerror(errno);
		return nullptr;
	}
	std::fclose(probe);
	MeshHandle* handle = MeshHandleOpen(path, type);
	if (!handle || !MeshHandleRead(handle, 100.0f))
	{
		MeshHandleFree(handle);
		error = damaged;
		return nullptr;
	}
	MeshHandleCloseFile(handle);
	return handle;
}

struct Bounds
{
	float lo[3] = {0.0f, 0.0f, 0.0f};
	float hi[3] = {0.0f, 0.0f, 0.0f};
};

Bounds PositionBounds(const MeshBinFile* m)
{
	Bounds b;
	for (int32_t i = 0; i < m->vertex_count; ++i)
		for (int c = 0; c < 3; ++c)
		{
			const float p = m->vertices[i].position[c];
			if (i == 0 || p < b.lo[c])
				b.lo[c] = p;
			if (i == 0 || p > b.hi[c])
				b.hi[c] = p;
		}
	return b;
}

Json BoundsJson(const Bounds& b, int32_t vertex_count)
{
	if (vertex_count < 1)
		return nullptr;
	return {{"min", JsonVector(b.lo)}, {"max", JsonVector(b.hi)}};
}

std::string BoundsLine(const Bounds& b, int32_t vertex_count)
{
	if (vertex_count < 1)
		return "  bounds    none (no vertices)\n";
	return "  bounds    " + Triple(b.lo) + " .. " + Triple(b.hi) + " m\n";
}

} // namespace

bool InfoMeshBin(const char* path, bool json, std::string& out, std::string& error)
{
	if (FILE* probe = std::fopen(path, "rb"))
	{
		std::fclose(probe);
		if (!MeshIsBinFile(path))
		{
			error = "not a mesh .bin file";
			return false;
		}
	}
	MeshHandle* handle = ReadMesh(path, CACHE_MESH_BIN, "damaged or truncated mesh .bin file", error);
	if (!handle)
		return false;
	const MeshBinFile* m = MeshHandleBinFile(handle);
	const bool texture = m->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = m->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	const Bounds bounds = PositionBounds(m);
	std::string blocks = "positions, faces";
	if (texture)
		blocks += ", texture and weights";
	if (velocity)
		blocks += ", velocities";

	if (json)
	{
		out = JsonText({
				  {"format", "mesh-bin"},
				  {"file", path},
				  {"version", m->version},
				  {"vertices", m->vertex_count},
				  {"faces", m->face_count},
				  {"weights", texture ? m->weight_count : 0},
				  {"texture", texture},
				  {"velocity", velocity},
				  {"bounds", BoundsJson(bounds, m->vertex_count)},
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
		out += BoundsLine(bounds, m->vertex_count);
	}
	MeshHandleFree(handle);
	return true;
}

bool InfoMeshChunkDetect(const char* path)
{
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	char id[4];
	const bool form = std::fread(id, 1, 4, f) == 4 && std::memcmp(id, "FORM", 4) == 0;
	std::fclose(f);
	return form;
}

bool InfoMeshChunk(const char* path, bool json, std::string& out, std::string& error)
{
	MeshHandle* handle = ReadMesh(path, CACHE_MESH_CHUNK, "damaged or truncated chunked mesh file", error);
	if (!handle)
		return false;
	const MeshBinFile* m = MeshHandleBinFile(handle);
	const bool texture = m->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = m->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	// every weight map adds one weight to the one a vertex starts with; a lone weight makes no map
	const int32_t weights = m->weight_count > 1 ? m->weight_count : 0;
	const Bounds bounds = PositionBounds(m);

	if (json)
	{
		out = JsonText({
				  {"format", "mesh-chunked"},
				  {"file", path},
				  {"points", m->vertex_count},
				  {"faces", m->kept_face_count},
				  {"maps", {{"texture", texture}, {"velocity", velocity}, {"weights", weights}}},
				  {"bounds", BoundsJson(bounds, m->vertex_count)},
			  }) +
			"\n";
	}
	else
	{
		std::string maps;
		if (texture)
			maps += "texture";
		if (velocity)
			maps += std::string(maps.empty() ? "" : ", ") + "velocity";
		if (weights)
			maps += std::string(maps.empty() ? "" : ", ") + std::to_string(weights) + " weights";
		out = std::string(path) + ": chunked mesh\n";
		out += "  points    " + std::to_string(m->vertex_count) + "\n";
		out += "  faces     " + std::to_string(m->kept_face_count) + "\n";
		out += "  maps      " + (maps.empty() ? std::string("none") : maps) + "\n";
		out += BoundsLine(bounds, m->vertex_count);
	}
	MeshHandleFree(handle);
	return true;
}
