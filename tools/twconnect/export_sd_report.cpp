// export_sd_report.cpp - the SD file twconnect export sd wrote, read back and checked against what was asked.
#include "cli.h"
#include "export_sd.h"

#include "sd_file.h"

#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace
{

struct SceneCloser
{
	void operator()(SdSceneReader* r) const { SdSceneFree(r); }
};
using Scene = std::unique_ptr<SdSceneReader, SceneCloser>;

std::string Text(const char* text)
{
	return text ? text : "";
}

// What of the request the file does not hold, or "".
std::string Differences(const SdSceneReader* scene, const SdExportRequest& r)
{
	const SdFile* f = scene->file;
	if (f->object_count != static_cast<int32_t>(r.objects.size()))
		return std::to_string(f->object_count) + " objects instead of " + std::to_string(r.objects.size());
	for (size_t k = 0; k < r.objects.size(); ++k)
	{
		const SdObjectDescriptor& d = scene->descriptors[k];
		if (Text(d.name) != r.objects[k])
			return "object " + std::to_string(k) + " is '" + Text(d.name) + "' instead of '" + r.objects[k] + "'";
		if ((d.type == SD_OBJECT_DEFORMING) != r.vertex[k])
			return "'" + r.objects[k] + "' is not in " + (r.vertex[k] ? "vertex" : "matrix") + " mode";
	}
	if ((f->has_camera != 0) != !r.camera.empty())
		return r.camera.empty() ? "a camera that was not asked for" : "no camera";
	const long long last = r.start + r.FileFrames() - 1;
	if (f->first_frame != r.start || f->last_frame != last)
		return "frames " + std::to_string(f->first_frame) + " to " + std::to_string(f->last_frame) + " instead of " +
			std::to_string(r.start) + " to " + std::to_string(last);
	return std::string();
}

Json FrameLine(const SdSceneReader* scene)
{
	const SdFile* f = scene->file;
	Json objects = Json::array();
	for (int32_t k = 0; k < f->object_count; ++k)
		objects.push_back({{"name", Text(scene->frames[k].name)}, {"position", JsonVector(scene->frames[k].transform + 9)}});
	Json line = {{"frame", f->frame_number}, {"objects", objects}};
	if (f->has_camera)
	{
		const SdCameraFrame& c = f->camera_frame;
		line["camera"] = {{"position", JsonVector(c.position)}, {"target", JsonVector(c.target)},
			{"up", JsonVector(c.up)}, {"roll", JsonNumber(c.roll)}};
	}
	return line;
}

long long FileBytes(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

const char* Mode(const SdObjectDescriptor& d)
{
	return d.type == SD_OBJECT_DEFORMING ? "vertex" : "matrix";
}

void PrintSummary(const SdSceneReader* scene, const SdExportRequest& r, bool json)
{
	const SdFile* f = scene->file;
	const long long bytes = FileBytes(r.path);
	if (json)
	{
		Json objects = Json::array();
		for (int32_t k = 0; k < f->object_count; ++k)
		{
			const SdObjectDescriptor& d = scene->descriptors[k];
			objects.push_back({{"name", Text(d.name)}, {"mode", Mode(d)}, {"points", d.vertex_count},
				{"triangles", d.triangle_count}, {"texture", Text(d.texture)}});
		}
		PrintJson({{"file", r.path}, {"first_frame", f->first_frame}, {"last_frame", f->last_frame},
			{"document_frames", {{"start", r.start}, {"end", r.end}, {"step", r.step}}}, {"scale", r.scale},
			{"objects", objects}, {"camera", r.camera.empty() ? Json(nullptr) : Json(r.camera)}, {"bytes", bytes}});
		return;
	}
	std::printf("wrote %s: %d object%s%s, file frames %d to %d (document frames %lld to %lld, step %lld), %lld bytes\n",
		r.path.c_str(), f->object_count, f->object_count == 1 ? "" : "s",
		r.camera.empty() ? "" : (" and the camera '" + r.camera + "'").c_str(), f->first_frame, f->last_frame, r.start,
		r.end, r.step, bytes);
	for (int32_t k = 0; k < f->object_count; ++k)
	{
		const SdObjectDescriptor& d = scene->descriptors[k];
		std::printf("  %-24s %s %8d points %8d triangles\n", Text(d.name).c_str(), Mode(d), d.vertex_count,
			d.triangle_count);
	}
}

} // namespace

int ReportSdExport(const SdExportRequest& r, bool json)
{
	Scene scene(SdSceneOpen(r.path.c_str()));
	if (!scene)
		return CliError("export sd: '%s' does not read back as an SD file", r.path.c_str());
	SdCloseStream(scene->file);
	const std::string differences = Differences(scene.get(), r);
	if (!differences.empty())
		return CliError("export sd: '%s' holds %s", r.path.c_str(), differences.c_str());
	const SdFile* f = scene->file;
	for (int32_t frame = f->first_frame; frame <= f->last_frame; ++frame)
	{
		if (SdSceneReadFrame(scene.get(), frame) != 1 || !scene->valid || f->frame_number != frame)
			return CliError("export sd: frame %d of '%s' does not read back", frame, r.path.c_str());
		if (json)
			PrintJson(FrameLine(scene.get()));
	}
	PrintSummary(scene.get(), r, json);
	std::fflush(stdout);
	return 0;
}
