// info_mesh_md.cpp - the .md part of `twconnect info`: header, counts and the channels in file order.
#include "info_mesh.h"

#include "cache_types.h"
#include "cli_output.h"
#include "frame_sequence.h"
#include "info_ranges.h"
#include "mesh_md.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

// The first four bytes as a little-endian number; false for a file shorter than that.
bool ReadMagic(const char* path, uint32_t* magic)
{
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	unsigned char b[4];
	const bool whole = std::fread(b, 1, 4, f) == 4;
	std::fclose(f);
	*magic = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
	return whole;
}

// Where a slot's values land in the vertex and how many there are; null for a slot outside the
// table, whose values the reader skips.
const float* SlotValues(const MdVertex& v, uint32_t slot, int* components)
{
	*components = 1;
	switch (slot)
	{
		case MD_POSITION: *components = 3; return v.position;
		case MD_VELOCITY: *components = 3; return v.velocity;
		case MD_FORCE: *components = 3; return v.force;
		case MD_NORMAL: *components = 3; return v.normal;
		case MD_NEIGHBORS: return &v.neighbors;
		case MD_TEXTURE: *components = 3; return v.texture;
		case MD_AGE: return &v.age;
		case MD_ISOLATION: return &v.isolation;
		case MD_VISCOSITY: return &v.viscosity;
		case MD_DENSITY: return &v.density;
		case MD_PRESSURE: return &v.pressure;
		case MD_MASS: return &v.mass;
		case MD_TEMPERATURE: return &v.temperature;
		case MD_VORTICITY: *components = 3; return v.vorticity;
		case MD_CURVATURE: return &v.curvature;
		case MD_IDENTITY: return &v.identity;
	}
	return nullptr;
}

// What the file holds for one channel: its values' range over every vertex, in file order (the
// texture's second and third file values sit swapped in the vertex).
struct ChannelReport
{
	const MdChannel* channel;
	bool read; // false for a slot outside the table
	ChannelRange range;
};

std::vector<ChannelReport> Channels(const MdMeshFile* m)
{
	std::vector<ChannelReport> reports;
	for (int32_t c = 0; c < m->channel_count; ++c)
	{
		const MdChannel& ch = m->channels[c];
		ChannelReport r = {&ch, false, {ch.name ? ch.name : "", 1, {0, 0, 0}, {0, 0, 0}}};
		int components = 1;
		r.read = m->vertex_count > 0 && SlotValues(m->vertices[0], ch.id, &components) != nullptr;
		// a scalar in a vector slot fills only its first component
		if (ch.value_type != MESH_MD_VALUE_VECTOR && ch.id != MD_VORTICITY)
			components = 1;
		r.range.components = components;
		for (int32_t i = 0; r.read && i < m->vertex_count; ++i)
		{
			const float* v = SlotValues(m->vertices[i], ch.id, &components);
			for (int k = 0; k < r.range.components; ++k)
			{
				const int at = ch.id == MD_TEXTURE && k > 0 ? 3 - k : k;
				WidenRange(r.range, k, v[at], i == 0);
			}
		}
		reports.push_back(r);
	}
	return reports;
}

Json RangeEnd(const ChannelRange& r, const double* end)
{
	if (r.components == 1)
		return JsonNumber(end[0]);
	return Json::array({JsonNumber(end[0]), JsonNumber(end[1]), JsonNumber(end[2])});
}

std::string RangeText(const ChannelRange& r, const double* end)
{
	std::string text = InfoNumber(end[0]);
	for (int k = 1; k < r.components; ++k)
		text += " " + InfoNumber(end[k]);
	return text;
}

const char* ValueTypeName(uint32_t type)
{
	return type == MESH_MD_VALUE_SCALAR ? "scalar" : type == MESH_MD_VALUE_VECTOR ? "vector" : "other";
}

std::string Failure(const char* path)
{
	uint32_t magic = 0;
	if (!ReadMagic(path, &magic))
		return "truncated header (shorter than its 4-byte magic)";
	if (magic != MESH_MD_MAGIC)
	{
		char text[64];
		std::snprintf(text, sizeof text, "not an .md file (magic 0x%08X)", magic);
		return text;
	}
	return "damaged or truncated .md file";
}

} // namespace

bool InfoMeshMdDetect(const char* path)
{
	uint32_t magic = 0;
	return (ReadMagic(path, &magic) && magic == MESH_MD_MAGIC) || HasExtension(path, ".md");
}

bool InfoMeshMd(const char* path, bool json, std::string& out, std::string& error)
{
	FILE* probe = std::fopen(path, "rb");
	if (!probe)
	{
		error = errno == ENOENT ? "no such file" : std::strerror(errno);
		return false;
	}
	std::fclose(probe);
	MeshHandle* handle = MeshHandleOpen(path, CACHE_MESH_MD);
	if (!handle || !MeshHandleRead(handle, 100.0f))
	{
		MeshHandleFree(handle);
		error = Failure(path);
		return false;
	}
	MeshHandleCloseFile(handle);
	const MdMeshFile* m = MeshHandleMdFile(handle);
	const std::string name = m->name ? m->name : "";
	const std::vector<ChannelReport> channels = Channels(m);

	if (json)
	{
		Json list = Json::array();
		for (const ChannelReport& r : channels)
			list.push_back({
				{"name", r.range.name},
				{"slot", r.channel->id},
				{"value_type", r.channel->value_type},
				{"min", r.read ? RangeEnd(r.range, r.range.min) : Json()},
				{"max", r.read ? RangeEnd(r.range, r.range.max) : Json()},
			});
		out = JsonText({
				  {"format", "mesh-md"},
				  {"file", path},
				  {"version", m->version},
				  {"name", name},
				  {"vertex_count", m->vertex_count},
				  {"face_count", m->face_count},
				  {"channels", list},
			  }) +
			"\n";
	}
	else
	{
		out = std::string(path) + ": mesh .md, version " + std::to_string(m->version) + "\n";
		out += "  name      " + (name.empty() ? std::string("(none)") : name) + "\n";
		out += "  vertices  " + std::to_string(m->vertex_count) + "\n";
		out += "  faces     " + std::to_string(m->face_count) + "\n";
		out += "  channels  " + std::to_string(m->channel_count) + (channels.empty() ? "" : ", minimum .. maximum") +
			"\n";
		for (const ChannelReport& r : channels)
		{
			char line[512];
			std::snprintf(line, sizeof line, "    %-14s slot %-3u %-7s ", r.range.name, r.channel->id,
				ValueTypeName(r.channel->value_type));
			out += line;
			if (r.read)
				out += RangeText(r.range, r.range.min) + " .. " + RangeText(r.range, r.range.max) + "\n";
			else
				out += m->vertex_count > 0 ? "(not a slot of the table: values skipped)\n" : "-\n";
		}
	}
	MeshHandleFree(handle);
	return true;
}
