// info_sd.cpp - the SD scene part of `twconnect info`.
#include "info_sd.h"

#include "cli_output.h"
#include "sd_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

// The text form stays short; --json keeps every digit (cli_common.cpp).
static std::string Number(double v)
{
	if (!std::isfinite(v))
		return std::isnan(v) ? "nan" : (v < 0 ? "-inf" : "inf");
	char text[32];
	std::snprintf(text, sizeof(text), "%.6g", v);
	return text;
}

static std::string Int(int64_t v)
{
	return std::to_string(v);
}

static bool HasSdExtension(const char* path)
{
	const size_t n = std::strlen(path);
	return n >= 3 && path[n - 3] == '.' && std::tolower(static_cast<unsigned char>(path[n - 2])) == 's' &&
		std::tolower(static_cast<unsigned char>(path[n - 1])) == 'd';
}

static bool WholeVersion(float v)
{
	return v >= 1.0f && v <= 6.0f && v == std::floor(v);
}

bool InfoSdDetect(const char* path)
{
	if (!path)
		return false;
	if (HasSdExtension(path))
		return true;
	SdSceneReader* r = SdSceneOpen(path);
	const bool sd = r && WholeVersion(r->file->version);
	SdSceneFree(r);
	return sd;
}

// Why a file that does not open as a scene cannot be read: walks it with the record transfers.
static std::string Failure(const char* path)
{
	SdFile* file = SdOpen(path, false);
	if (!file)
		return errno == ENOENT ? "no such file" : std::strerror(errno);
	std::string why;
	const int64_t size = file->file_size;
	if (!SdReadHeader(file))
	{
		// 74 bytes before version 2.0, 75 with the camera flag, 83 with the size fields (5.0).
		const int64_t need = size < 34 ? 83 : 74 + (file->version >= 2.0f ? 1 : 0) + (file->version >= 5.0f ? 8 : 0);
		if (size < need)
			why = "truncated header (" + Int(size) + " of " + Int(need) + " bytes)";
		else if (file->object_count < 0)
			why = "negative object count " + Int(file->object_count);
		else
			why = "the header counts " + Int(file->object_count) + " objects, more than a file of " + Int(size) +
				" bytes can describe";
	}
	else
	{
		for (int32_t k = 0; k < file->object_count && why.empty(); ++k)
		{
			if (!SdReadObjectDescriptor(file, &file->descriptor))
				why = "object " + Int(k) + "'s descriptor or geometry runs past the end of the file, or is damaged";
			else if (fseeko(file->stream, static_cast<off_t>(file->descriptor.geometry_size), SEEK_CUR) != 0 ||
				ftello(file->stream) > size)
				why = "the geometry of object " + Int(k) + " runs past the end of the file";
		}
		if (why.empty())
			why = "read failed (out of memory?)";
	}
	SdClose(file);
	return why;
}

static const char* Kind(uint8_t type)
{
	return type == SD_OBJECT_RIGID ? "rigid" : (type == SD_OBJECT_DEFORMING ? "deforming" : "unknown");
}

bool InfoSd(const char* path, bool json, std::string& out, std::string& error)
{
	SdSceneReader* r = SdSceneOpen(path);
	if (!r)
	{
		error = Failure(path);
		return false;
	}
	SdFile* file = r->file;
	// SdSceneOpen leaves the stream after the last geometry block: the camera descriptor is next.
	const bool camera = file->has_camera != 0;
	const bool camera_read = camera && SdReadCameraDescriptor(file);
	SdCloseStream(file);
	const int64_t size = file->file_size;
	const int64_t frames_in_file = r->offset_count;
	const int64_t expected_size = r->first_frame_offset + r->frame_count * r->frame_bytes;
	const std::string title(file->title, strnlen(file->title, sizeof(file->title)));
	const bool zyx = file->axis_setup == 1 || file->axis_setup == 6;

	if (json)
	{
		Json camera_descriptor = nullptr;
		if (camera_read)
			camera_descriptor = {{"fov", JsonNumber(file->camera.fov)}, {"near_clip", JsonNumber(file->camera.near_clip)},
				{"far_clip", JsonNumber(file->camera.far_clip)}};
		Json objects = Json::array();
		for (int32_t k = 0; k < file->object_count; ++k)
		{
			const SdObjectDescriptor& d = r->descriptors[k];
			objects.push_back({
				{"index", k},
				{"type", d.type},
				{"kind", Kind(d.type)},
				{"name", d.name ? d.name : ""},
				{"texture", d.texture ? d.texture : ""},
				{"vertices", d.vertex_count},
				{"triangles", d.triangle_count},
				{"frame_record_bytes", d.frame_record_size},
			});
		}
		out = JsonText({
				  {"format", "sd"},
				  {"file", path},
				  {"title", title},
				  {"version", JsonNumber(file->version)},
				  {"first_frame", file->first_frame},
				  {"last_frame", file->last_frame},
				  {"frame_count", r->frame_count},
				  {"frames_in_file", frames_in_file},
				  {"camera", camera},
				  {"axis_setup", file->axis_setup},
				  {"object_count", file->object_count},
				  {"camera_descriptor", camera_descriptor},
				  {"objects", objects},
				  {"header_size", file->header_size},
				  {"frame_size", file->frame_size},
				  {"first_frame_offset", r->first_frame_offset},
				  {"frame_bytes", r->frame_bytes},
				  {"file_bytes", size},
			  }) +
			"\n";
	}
	else
	{
		out = std::string(path) + ": SD scene, version " + Number(file->version) + "\n";
		if (!title.empty())
			out += "  title       " + title + "\n";
		out += "  frames      " + Int(file->first_frame) + " .. " + Int(file->last_frame) + " (" + Int(r->frame_count) +
			" frames";
		if (frames_in_file == r->frame_count)
			out += ", all in the file)\n";
		else
			out += ", " + Int(frames_in_file) + " whole in the file)\n";
		out += "  camera      ";
		if (!camera)
			out += "no\n";
		else if (camera_read)
			out += "yes, field of view " + Number(file->camera.fov) + " rad, clipping " + Number(file->camera.near_clip) +
				" .. " + Number(file->camera.far_clip) + " m\n";
		else
			out += "yes, descriptor missing\n";
		out += "  axis setup  " + Int(file->axis_setup) + (zyx ? " (vectors stored z, y, x)\n" : " (vectors stored x, y, z)\n");
		out += "  objects     " + Int(file->object_count) + "\n";
		for (int32_t k = 0; k < file->object_count; ++k)
		{
			const SdObjectDescriptor& d = r->descriptors[k];
			char line[96];
			std::snprintf(line, sizeof(line), "    %3d  %-9s  ", k, Kind(d.type));
			out += line + std::string(d.name && d.name[0] ? d.name : "(no name)") + ": " + Int(d.vertex_count) +
				" vertices, " + Int(d.triangle_count) + " triangles, texture " +
				(d.texture && d.texture[0] ? d.texture : "none") + "\n";
		}
		out += "  layout      first frame at byte " + Int(r->first_frame_offset) + ", " + Int(r->frame_bytes) +
			" bytes a frame; the file has " + Int(size) + " bytes";
		if (size == expected_size)
			out += ", exactly its frames\n";
		else if (size > expected_size)
			out += ", " + Int(size - expected_size) + " after its last frame\n";
		else
			out += ", " + Int(expected_size - size) + " short of its last frame\n";
		if (file->version >= 5.0f && (file->header_size != r->first_frame_offset || file->frame_size != r->frame_bytes))
			out += "  note        the header says " + Int(file->header_size) + " and " + Int(file->frame_size) +
				" (not used by readers)\n";
	}
	SdSceneFree(r);
	return true;
}

int InfoSdPrint(const char* path, bool json)
{
	std::string out, error;
	if (!InfoSd(path, json, out, error))
		return CliError("cannot read '%s': %s", path, error.empty() ? "not a readable SD file" : error.c_str());
	std::fputs(out.c_str(), stdout);
	return 0;
}
