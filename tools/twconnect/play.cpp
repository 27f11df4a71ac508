// play.cpp - twconnect play: a sequence through its importer in a new document of the headless host.
#include "cli.h"
#include "host_session.h"
#include "info_mesh.h"
#include "play_dump.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"
#include "frame_sequence.h"
#include "mesh_bin.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

struct PlayOptions
{
	std::string file, plugins, mesh_type = "auto";
	long long start = 0, end = 0, fps = 25, mode = 0, radius = 5, offset = 0;
	double percent = 100.0, scale = 1.0;
	bool reverse = false, hold_ends = false, ids = false, json = false, dump = false;
	CLI::Option* start_given = nullptr;
	CLI::Option* end_given = nullptr;
};

// One frame as the importer left it: the JSON keys after frame and file, the tail of the text line and
// what the rate counts.
struct FrameReport
{
	Json json;
	std::string text;
	long long count = 0;
	// a "dump" too large to build as JSON values first, written as the line's last key
	const PolygonObject* mesh_dump = nullptr;
};

// What play needs to know of one importer: how to set it up and what to report of a frame.
struct Importer
{
	const char* noun;  // "particle" or "mesh", for "not taken as a ... sequence"
	const char* count; // the rate's unit: "particles" or "points"
	Int32 type, name_id, first_id, last_id;
	void (*configure)(BaseObject* op, const PlayOptions& o);
	std::string (*used_file)(const BaseContainer* bc);
	FrameReport (*report)(BaseDocument* doc, BaseObject* op, bool dump);
};

// As a user would: options first, the file last, each change followed by the host's messages.
void ConfigureParticles(BaseObject* op, const PlayOptions& o)
{
	headless::UserSetParameter(op, TW_PI_CACHE_MODE, GeData(static_cast<Int32>(o.mode)));
	headless::UserSetParameter(op, TW_PI_CACHE_RADIUS, GeData(static_cast<Int32>(o.radius)));
	headless::UserSetParameter(op, TW_PI_LOAD_PERCENT, GeData(static_cast<Float>(o.percent)));
	headless::UserSetParameter(op, TW_PI_FRAME_OFFSET, GeData(static_cast<Int32>(o.offset)));
	headless::UserSetParameter(op, TW_PI_REVERSE, GeData(o.reverse));
	headless::UserSetParameter(op, TW_PI_HOLD_ENDS, GeData(o.hold_ends));
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(o.ids));
	headless::UserSetParameter(op, TW_PI_SCALE, GeData(static_cast<Float>(o.scale)));
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(o.file)));
}

void ConfigureMesh(BaseObject* op, const PlayOptions& o)
{
	headless::UserSetParameter(op, TW_MI_CACHE_MODE, GeData(static_cast<Int32>(o.mode)));
	headless::UserSetParameter(op, TW_MI_CACHE_WINDOW, GeData(static_cast<Int32>(o.radius)));
	headless::UserSetParameter(op, TW_MI_FACE_PERCENT, GeData(static_cast<Float>(o.percent)));
	headless::UserSetParameter(op, TW_MI_FRAME_OFFSET, GeData(static_cast<Int32>(o.offset)));
	headless::UserSetParameter(op, TW_MI_REVERSE, GeData(o.reverse));
	headless::UserSetParameter(op, TW_MI_SCALE, GeData(static_cast<Float>(o.scale)));
	headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(o.file)));
	// The importer picks the type from the file it is given; a user may store another one afterwards.
	const int type = MeshTypeCode(o.mesh_type);
	if (type >= 0)
		headless::UserSetParameter(op, TW_MI_TYPE, GeData(static_cast<Int32>(type)));
}

// The importer's group: the one named as the importer.
const TP_PGroup* ImporterGroup(const TP_MasterSystem* master, const BaseObject* op)
{
	if (master)
		for (TP_PGroup* g : master->GetParticleGroups())
			if (g->GetName() == op->GetName())
				return g;
	return nullptr;
}

FrameReport ReportParticles(BaseDocument* doc, BaseObject* op, bool dump)
{
	const TP_MasterSystem* master = GetThinkingParticlesMaster(doc);
	const TP_PGroup* group = ImporterGroup(master, op);
	FrameReport r;
	r.count = group ? group->NumParticles() : 0;
	r.json = {{"particles", r.count}};
	if (dump)
		r.json["dump"] = DumpParticles(master, group);
	char text[64];
	std::snprintf(text, sizeof text, "%10lld particles", r.count);
	r.text = text;
	return r;
}

FrameReport ReportMesh(BaseDocument*, BaseObject* op, bool dump)
{
	const PolygonObject* built = dynamic_cast<const PolygonObject*>(op->GetCache());
	const Int32 points = built ? built->GetPointCount() : 0;
	const Int32 polygons = built ? built->GetPolygonCount() : 0;
	Json tags = Json::array();
	std::string tag_text;
	for (const BaseTag* t = built ? built->GetFirstTag() : nullptr; t; t = t->GetNext())
	{
		tags.push_back(t->GetName().Get());
		tag_text += (tag_text.empty() ? "" : ", ") + t->GetName().Get();
	}
	FrameReport r;
	r.count = points;
	r.json = {{"points", points}, {"polygons", polygons}, {"tags", tags}};
	if (dump)
		r.mesh_dump = built;
	char text[64];
	std::snprintf(text, sizeof text, "%10d points %10d polygons  ", points, polygons);
	r.text = text + tag_text;
	return r;
}

const Importer kParticleImporter = {"particle", "particles", TW_Particle_Importer, TW_PI_NAME, TW_PI_FIRST_FRAME,
	TW_PI_LAST_FRAME, ConfigureParticles,
	[](const BaseContainer* bc) { return bc->GetString(TW_PI_CURRENT_FILE).Get(); }, ReportParticles};
const Importer kMeshImporter = {"mesh", "points", TW_Mesh_Importer, TW_MI_SEQUENCE_NAME, TW_MI_FIRST_FRAME,
	TW_MI_LAST_FRAME, ConfigureMesh, [](const BaseContainer* bc) { return bc->GetFilename(TW_MI_USED_FILE).Get(); },
	ReportMesh};

// The message boxes the module showed since the last call, on stderr, but for one that starts with
// `expected`; true when there were others.
bool ReportBoxes(size_t* shown, const char* expected = nullptr)
{
	const auto& boxes = headless::MessageBoxes();
	bool reported = false;
	for (; *shown < boxes.size(); ++*shown)
	{
		const std::string& text = boxes[*shown].text;
		if (expected && text.compare(0, std::strlen(expected), expected) == 0)
			continue;
		CliError("the importer says: %s", text.c_str());
		reported = true;
	}
	return reported;
}

int Play(const PlayOptions& o, BaseDocument* doc, const Importer& kind)
{
	BaseObject* op = BaseObject::Alloc(kind.type);
	if (!op)
		return CliError("play: the module has no %s importer", kind.noun);
	doc->InsertObject(op, nullptr, nullptr);
	kind.configure(op, o);
	size_t shown = 0;
	const BaseContainer* bc = op->GetDataInstance();
	// A file the importer does not recognise by its magic is still taken, after a message box, and then
	// read as the type stored in the importer: with --mesh-type that box is part of the plan.
	const bool typed = MeshTypeCode(o.mesh_type) >= 0;
	if (ReportBoxes(&shown, typed ? "Invalid mesh file: " : nullptr) || bc->GetString(kind.name_id).Get().empty())
	{
		if (!typed && InfoMeshChunkDetect(o.file.c_str()))
			return CliError("play: '%s' was not taken as a %s sequence; for a chunked mesh file give --mesh-type "
							"chunked", o.file.c_str(), kind.noun);
		return CliError("play: '%s' was not taken as a %s sequence", o.file.c_str(), kind.noun);
	}
	const long long first = o.start_given->count() ? o.start : bc->GetInt32(kind.first_id) + o.offset;
	const long long last = o.end_given->count() ? o.end : bc->GetInt32(kind.last_id) + o.offset;
	// A bar only where it does not tangle with the frame lines: stderr on a terminal, stdout not.
	const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
	if (!o.json)
		std::printf("%s: frames %lld to %lld at %lld fps\n", op->GetName().Get().c_str(), first, last, o.fps);

	long long frames = 0, counted = 0;
	const auto t0 = std::chrono::steady_clock::now();
	for (long long f = first; f <= last; ++f)
	{
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(o.fps)));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		const std::string file = kind.used_file(bc);
		FrameReport r = kind.report(doc, op, o.dump);
		++frames;
		counted += r.count;
		if (o.json)
		{
			Json line = {{"frame", f}, {"file", file}};
			line.update(r.json);
			if (o.dump && kind.type == TW_Mesh_Importer)
			{
				// the line without its closing brace, then the dump
				std::string text = JsonText(line);
				text.back() = ',';
				std::fputs(text.c_str(), stdout);
				std::fputs("\"dump\":", stdout);
				WriteMeshDump(stdout, r.mesh_dump);
				std::fputs("}\n", stdout);
			}
			else
				PrintJson(line);
		}
		else
			std::printf("%8lld  %-40s %s\n", f, file.empty() ? "-" : file.c_str(), r.text.c_str());
		if (progress)
			CliProgress(f - first + 1, last - first + 1);
		ReportBoxes(&shown);
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	const double rate = seconds > 0 ? counted / seconds : 0.0;
	if (o.json)
		PrintJson({{"summary", true}, {"frames", frames}, {"seconds", seconds},
			{std::string(kind.count) + "_per_second", std::llround(rate)}});
	else
		std::printf("%lld frames in %.3f s, %.0f %s per second\n", frames, seconds, rate, kind.count);
	std::fflush(stdout);
	return 0;
}

bool IsMeshSequence(const PlayOptions& o)
{
	return MeshTypeCode(o.mesh_type) >= 0 || MeshIsBinFile(o.file.c_str()) || HasExtension(o.file.c_str(), ".md");
}

int RunPlay(const PlayOptions& o)
{
	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return kExitFailed;
	BaseDocument* doc = NewActiveDocument(static_cast<Int32>(o.fps), false);
	const int status = Play(o, doc, IsMeshSequence(o) ? kMeshImporter : kParticleImporter);
	FreeActiveDocument(doc);
	return status;
}

} // namespace

CommandRun PlayCommand(CLI::App& app)
{
	auto o = std::make_shared<PlayOptions>();
	app.footer("Puts an importer on the sequence of FILE in a new document, steps the document time over the\n"
			   "frames and evaluates it; prints per frame the frame, the loaded file and what the importer made\n"
			   "of it: particles, or for a mesh sequence (mesh .bin, .md, chunked with --mesh-type chunked) the\n"
			   "points, polygons and tags of the polygon object it built.");
	app.add_option("FILE", o->file, "a file of the sequence")->required();
	o->start_given = app.add_option("--start", o->start, "first frame to play (default: the sequence's first)")
						 ->transform(Integer(-9999999, 9999999));
	o->end_given = app.add_option("--end", o->end, "last frame to play (default: the sequence's last)")
					   ->transform(Integer(-9999999, 9999999));
	o->start_given->default_str("");
	o->end_given->default_str("");
	app.add_option("--fps", o->fps, "document frame rate")->transform(Integer(1, 1000));
	app.add_option("--mode", o->mode, "cache mode: 0 single frame, 1 read-ahead window, 2 whole range")
		->transform(Integer(0, 2));
	app.add_option("--radius", o->radius, "read-ahead window radius")->transform(Integer(0, 1000));
	app.add_option("--percent", o->percent, "share of the particles (or faces) loaded")->check(Decimal(0.0, 100.0));
	app.add_option("--offset", o->offset, "frame offset")->transform(Integer(-9999999, 9999999));
	app.add_flag("--reverse", o->reverse, "play the sequence backwards");
	app.add_flag("--hold-ends", o->hold_ends, "after the last frame keep showing the end frame (particles)");
	app.add_flag("--ids", o->ids, "match particles between frames by their ID (particles)");
	app.add_option("--scale", o->scale, "position scale")->check(Decimal(-1e9, 1e9));
	app.add_option("--mesh-type", o->mesh_type,
		   "play FILE through the Mesh Importer and store this type in it once the file is taken, as a user "
		   "may (chunked files are played only so); auto leaves the type the importer chose")
		->check(MeshTypeName());
	app.add_flag("--json", o->json, "one JSON object per frame, then a summary object");
	app.add_flag("--dump", o->dump,
		"add to each frame's JSON object a \"dump\" of what the host holds: the particles, or the points, "
		"polygons and tags (implies --json)");
	AddPluginsOption(app, o->plugins);
	return [o] {
		o->json = o->json || o->dump;
		return RunPlay(*o);
	};
}
