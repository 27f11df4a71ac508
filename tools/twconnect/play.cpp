// play.cpp - twconnect play: a sequence through its importer in a new document of the headless host.
#include "cli.h"
#include "host_session.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"
#include "frame_sequence.h"
#include "mesh_bin.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{

void PlayUsage(FILE* out)
{
	std::fprintf(out,
		"usage: twconnect play FILE [OPTIONS]\n"
		"\n"
		"Puts an importer on the sequence of FILE in a new document, steps the document time over\n"
		"the frames and evaluates it; prints per frame the frame, the loaded file and what the\n"
		"importer made of it: particles, or for a mesh sequence (mesh .bin, .md) the points,\n"
		"polygons and tags of the polygon object it built.\n"
		"\n"
		"options:\n"
		"    --start N        first frame to play (default: the sequence's first)\n"
		"    --end N          last frame to play (default: the sequence's last)\n"
		"    --fps N          document frame rate (default 25)\n"
		"    --mode M         cache mode: 0 single frame, 1 read-ahead window, 2 whole range\n"
		"    --radius R       read-ahead window radius (default 5)\n"
		"    --percent P      share of the particles (or faces) loaded, 0 to 100 (default 100)\n"
		"    --offset N       frame offset\n"
		"    --reverse        play the sequence backwards\n"
		"    --hold-ends      after the last frame keep showing the end frame (particles)\n"
		"    --ids            match particles between frames by their ID (particles)\n"
		"    --scale S        position scale (default 1)\n"
		"    --json           one JSON object per frame, then a summary object\n"
		"    --plugins DIR    plug-in folder of the module\n");
}

struct PlayOptions
{
	std::string file, plugins;
	long long start = 0, end = 0, fps = 25, mode = 0, radius = 5, offset = 0;
	bool has_start = false, has_end = false;
	double percent = 100.0, scale = 1.0;
	bool reverse = false, hold_ends = false, ids = false, json = false;
};

// 0 when the options are good, 2 after a bad one (reported), -1 after --help.
int ParseOptions(const std::vector<std::string>& args, PlayOptions* o)
{
	for (size_t i = 0; i < args.size(); ++i)
	{
		const std::string& a = args[i];
		bool ok = true;
		auto value = [&]() -> const std::string& {
			static const std::string none;
			if (i + 1 >= args.size())
			{
				ok = false;
				return none;
			}
			return args[++i];
		};
		if (a == "--help")
		{
			PlayUsage(stdout);
			return -1;
		}
		else if (a == "--json")
			o->json = true;
		else if (a == "--reverse")
			o->reverse = true;
		else if (a == "--hold-ends")
			o->hold_ends = true;
		else if (a == "--ids")
			o->ids = true;
		else if (a == "--start")
			ok = ParseInt(value(), -9999999, 9999999, &o->start) && (o->has_start = true);
		else if (a == "--end")
			ok = ParseInt(value(), -9999999, 9999999, &o->end) && (o->has_end = true);
		else if (a == "--fps")
			ok = ParseInt(value(), 1, 1000, &o->fps);
		else if (a == "--mode")
			ok = ParseInt(value(), 0, 2, &o->mode);
		else if (a == "--radius")
			ok = ParseInt(value(), 0, 1000, &o->radius);
		else if (a == "--offset")
			ok = ParseInt(value(), -9999999, 9999999, &o->offset);
		else if (a == "--percent")
			ok = ParseFloat(value(), 0.0, 100.0, &o->percent);
		else if (a == "--scale")
			ok = ParseFloat(value(), -1e9, 1e9, &o->scale);
		else if (a == "--plugins")
			o->plugins = value();
		else if (!a.empty() && a[0] == '-')
		{
			CliError("play: unknown option '%s'", a.c_str());
			return 2;
		}
		else if (o->file.empty())
			o->file = a;
		else
		{
			CliError("play: only one FILE may be given");
			return 2;
		}
		if (!ok)
		{
			CliError("play: bad or missing value for '%s'", a.c_str());
			return 2;
		}
	}
	if (o->file.empty())
	{
		CliError("play: no FILE given");
		PlayUsage(stderr);
		return 2;
	}
	return 0;
}

void Progress(long long done, long long total)
{
	const int width = 40;
	const int filled = total > 0 ? static_cast<int>(width * done / total) : width;
	std::fprintf(stderr, "\r[%.*s%*s] %lld/%lld", filled, "########################################", width - filled, "", done, total);
	if (done == total)
		std::fputc('\n', stderr);
	std::fflush(stderr);
}

// The message boxes the module showed, on stderr; true when there were any.
bool ReportBoxes(size_t* shown)
{
	const auto& boxes = headless::MessageBoxes();
	for (; *shown < boxes.size(); ++*shown)
		std::fprintf(stderr, "twconnect: the importer says: %s\n", boxes[*shown].text.c_str());
	return !boxes.empty();
}

Int32 GroupParticles(BaseDocument* doc, BaseObject* op)
{
	TP_MasterSystem* master = GetThinkingParticlesMaster(doc);
	if (!master)
		return 0;
	for (TP_PGroup* g : master->GetParticleGroups())
		if (g->GetName() == op->GetName())
			return g->NumParticles();
	return 0;
}

bool IsMeshSequence(const std::string& file)
{
	return MeshIsBinFile(file.c_str()) || HasExtension(file.c_str(), ".md");
}

// The mesh importer on the sequence; the built object is the generator's cache.
int PlayMesh(const PlayOptions& o, BaseDocument* doc)
{
	BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
	if (!op)
		return CliError("play: the module has no mesh importer");
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_MI_CACHE_MODE, GeData(static_cast<Int32>(o.mode)));
	headless::UserSetParameter(op, TW_MI_CACHE_WINDOW, GeData(static_cast<Int32>(o.radius)));
	headless::UserSetParameter(op, TW_MI_FACE_PERCENT, GeData(static_cast<Float>(o.percent)));
	headless::UserSetParameter(op, TW_MI_FRAME_OFFSET, GeData(static_cast<Int32>(o.offset)));
	headless::UserSetParameter(op, TW_MI_REVERSE, GeData(o.reverse));
	headless::UserSetParameter(op, TW_MI_SCALE, GeData(static_cast<Float>(o.scale)));
	headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(o.file)));
	size_t shown = 0;
	const BaseContainer* bc = op->GetDataInstance();
	if (ReportBoxes(&shown) || bc->GetString(TW_MI_SEQUENCE_NAME).Get().empty())
		return CliError("play: '%s' was not taken as a mesh sequence", o.file.c_str());
	const long long first = o.has_start ? o.start : bc->GetInt32(TW_MI_FIRST_FRAME) + o.offset;
	const long long last = o.has_end ? o.end : bc->GetInt32(TW_MI_LAST_FRAME) + o.offset;
	const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
	if (!o.json)
		std::printf("%s: frames %lld to %lld at %lld fps\n", op->GetName().Get().c_str(), first, last, o.fps);

	long long frames = 0, points = 0;
	const auto t0 = std::chrono::steady_clock::now();
	for (long long f = first; f <= last; ++f)
	{
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(o.fps)));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		const std::string file = bc->GetFilename(TW_MI_USED_FILE).Get();
		const PolygonObject* built = dynamic_cast<const PolygonObject*>(op->GetCache());
		const Int32 point_count = built ? built->GetPointCount() : 0;
		const Int32 polygon_count = built ? built->GetPolygonCount() : 0;
		std::string tags;
		for (const BaseTag* t = built ? built->GetFirstTag() : nullptr; t; t = t->GetNext())
		{
			if (!tags.empty())
				tags += ", ";
			tags += o.json ? JsonString(t->GetName().Get()) : t->GetName().Get();
		}
		++frames;
		points += point_count;
		if (o.json)
			std::printf("{\"frame\": %lld, \"file\": %s, \"points\": %d, \"polygons\": %d, \"tags\": [%s]}\n", f,
				JsonString(file).c_str(), point_count, polygon_count, tags.c_str());
		else
			std::printf("%8lld  %-40s %10d points %10d polygons  %s\n", f, file.empty() ? "-" : file.c_str(), point_count,
				polygon_count, tags.c_str());
		if (progress)
			Progress(f - first + 1, last - first + 1);
		ReportBoxes(&shown);
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	const double rate = seconds > 0 ? points / seconds : 0.0;
	if (o.json)
		std::printf("{\"summary\": true, \"frames\": %lld, \"seconds\": %.6f, \"points_per_second\": %.0f}\n", frames,
			seconds, rate);
	else
		std::printf("%lld frames in %.3f s, %.0f points per second\n", frames, seconds, rate);
	std::fflush(stdout);
	return 0;
}

} // namespace

int CmdPlay(const std::vector<std::string>& args)
{
	PlayOptions o;
	int parsed = ParseOptions(args, &o);
	if (parsed != 0)
		return parsed < 0 ? 0 : parsed;

	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return 1;
	BaseDocument* doc = BaseDocument::Alloc();
	headless::SetActiveDocument(doc);
	doc->SetFps(static_cast<Int32>(o.fps));
	if (IsMeshSequence(o.file))
	{
		const int status = PlayMesh(o, doc);
		BaseDocument::Free(doc);
		return status;
	}
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	if (!op)
	{
		BaseDocument::Free(doc);
		return CliError("play: the module has no particle importer");
	}
	doc->InsertObject(op, nullptr, nullptr);

	// As a user would: options first, the file last, each change followed by the host's messages.
	headless::UserSetParameter(op, TW_PI_CACHE_MODE, GeData(static_cast<Int32>(o.mode)));
	headless::UserSetParameter(op, TW_PI_CACHE_RADIUS, GeData(static_cast<Int32>(o.radius)));
	headless::UserSetParameter(op, TW_PI_LOAD_PERCENT, GeData(static_cast<Float>(o.percent)));
	headless::UserSetParameter(op, TW_PI_FRAME_OFFSET, GeData(static_cast<Int32>(o.offset)));
	headless::UserSetParameter(op, TW_PI_REVERSE, GeData(o.reverse));
	headless::UserSetParameter(op, TW_PI_HOLD_ENDS, GeData(o.hold_ends));
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(o.ids));
	headless::UserSetParameter(op, TW_PI_SCALE, GeData(static_cast<Float>(o.scale)));
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(o.file)));
	size_t shown = 0;
	const BaseContainer* bc = op->GetDataInstance();
	if (ReportBoxes(&shown) || bc->GetString(TW_PI_NAME).Get().empty())
	{
		BaseDocument::Free(doc);
		return CliError("play: '%s' was not taken as a particle sequence", o.file.c_str());
	}
	const long long first = o.has_start ? o.start : bc->GetInt32(TW_PI_FIRST_FRAME) + o.offset;
	const long long last = o.has_end ? o.end : bc->GetInt32(TW_PI_LAST_FRAME) + o.offset;
	// A bar only where it does not tangle with the frame lines: stderr on a terminal, stdout not.
	const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
	if (!o.json)
		std::printf("%s: frames %lld to %lld at %lld fps\n", op->GetName().Get().c_str(), first, last, o.fps);

	long long frames = 0, particles = 0;
	const auto t0 = std::chrono::steady_clock::now();
	for (long long f = first; f <= last; ++f)
	{
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(o.fps)));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		const std::string file = bc->GetString(TW_PI_CURRENT_FILE).Get();
		const Int32 count = GroupParticles(doc, op);
		++frames;
		particles += count;
		if (o.json)
			std::printf("{\"frame\": %lld, \"file\": %s, \"particles\": %d}\n", f, JsonString(file).c_str(), count);
		else
			std::printf("%8lld  %-40s %10d particles\n", f, file.empty() ? "-" : file.c_str(), count);
		if (progress)
			Progress(f - first + 1, last - first + 1);
		ReportBoxes(&shown);
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	const double rate = seconds > 0 ? particles / seconds : 0.0;
	if (o.json)
		std::printf("{\"summary\": true, \"frames\": %lld, \"seconds\": %.6f, \"particles_per_second\": %.0f}\n", frames,
			seconds, rate);
	else
		std::printf("%lld frames in %.3f s, %.0f particles per second\n", frames, seconds, rate);
	std::fflush(stdout);
	BaseDocument::Free(doc);
	return 0;
}
