// view.cpp - twconnect view: a sequence or SD scene in a new document, drawn by the headless viewport
// into a PNG per frame.
#include "cli.h"
#include "host_session.h"
#include "info_mesh.h"
#include "view_path.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"
#include "c4d_symbols.h"
#include "frame_sequence.h"
#include "mesh_bin.h"
#include "plugin_ids.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

enum class Kind
{
	PARTICLES,
	MESH,
	SD,
};

struct ViewOptions
{
	std::string file, out, plugins, display = "points", channel = "velocity";
	long long frame = 0, start = 0, end = 0, width = 960, height = 540, axis = 0;
	double size = 0.02;
	std::vector<double> range;
	bool json = false;
	CLI::Option* frame_given = nullptr;
	CLI::Option* start_given = nullptr;
	CLI::Option* end_given = nullptr;
	// the particle-only options, refused for a mesh or a scene
	std::vector<CLI::Option*> particle_only;
};

// The display channels by their codes; "none" (0) colours nothing by channel.
const char* const kChannels[] = {"none", "velocity", "normal", "force", "texture U", "texture V", "neighbors", "age",
	"isolation", "viscosity", "density", "pressure", "mass", "temperature", "vorticity"};

// Letters and digits only, lower case: "Texture-U", "texture_u" and "texture U" are one name.
std::string Folded(const std::string& name)
{
	std::string out;
	for (unsigned char c : name)
		if (std::isalnum(c))
			out += static_cast<char>(std::tolower(c));
	return out;
}

int ChannelCode(const std::string& name)
{
	const std::string folded = Folded(name);
	for (int code = 0; code < static_cast<int>(sizeof kChannels / sizeof *kChannels); ++code)
		if (!folded.empty() && folded == Folded(kChannels[code]))
			return code;
	return -1;
}

std::string ChannelNames()
{
	std::string names;
	for (const char* c : kChannels)
		names += (names.empty() ? "" : ", ") + std::string(c);
	return names;
}

Int32 DisplayMode(const std::string& name)
{
	return name == "circles" ? 2 : name == "box" ? 3 : 1;
}

Kind KindOf(const std::string& file)
{
	if (HasExtension(file.c_str(), ".sd"))
		return Kind::SD;
	if (MeshIsBinFile(file.c_str()) || HasExtension(file.c_str(), ".md"))
		return Kind::MESH;
	return Kind::PARTICLES;
}

// The message boxes the module showed since the last call, on stderr; true when there were any.
bool ReportBoxes(size_t* shown)
{
	const auto& boxes = headless::MessageBoxes();
	const bool any = *shown < boxes.size();
	for (; *shown < boxes.size(); ++*shown)
		CliError("the importer says: %s", boxes[*shown].text.c_str());
	return any;
}

// As a user would: the display first, the file last.
void ConfigureParticles(BaseObject* op, const ViewOptions& o)
{
	headless::UserSetParameter(op, TW_PI_DISPLAY_MODE, GeData(DisplayMode(o.display)));
	headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(static_cast<Int32>(ChannelCode(o.channel))));
	headless::UserSetParameter(op, TW_PI_DISPLAY_SIZE, GeData(static_cast<Float>(o.size)));
	headless::UserSetParameter(op, TW_PI_DISPLAY_AXIS, GeData(static_cast<Int32>(o.axis)));
	if (o.range.size() == 2)
	{
		headless::UserSetParameter(op, TW_PI_AUTO_RANGE, GeData(false));
		headless::UserSetParameter(op, TW_PI_RANGE_MIN, GeData(static_cast<Float>(o.range[0])));
		headless::UserSetParameter(op, TW_PI_RANGE_MAX, GeData(static_cast<Float>(o.range[1])));
	}
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(o.file)));
}

// An importer on the sequence of o.file; its first and last frames, or false after saying why not.
bool AddImporter(BaseDocument* doc, const ViewOptions& o, Kind kind, BaseObject** importer, long long* first,
	long long* last)
{
	const bool particles = kind == Kind::PARTICLES;
	const char* noun = particles ? "particle" : "mesh";
	// the importer's type, and the parameters of its sequence name and frame range
	const Int32 ids[2][4] = {{TW_Mesh_Importer, TW_MI_SEQUENCE_NAME, TW_MI_FIRST_FRAME, TW_MI_LAST_FRAME},
		{TW_Particle_Importer, TW_PI_NAME, TW_PI_FIRST_FRAME, TW_PI_LAST_FRAME}};
	const Int32* id = ids[particles ? 1 : 0];
	BaseObject* op = BaseObject::Alloc(id[0]);
	if (!op)
	{
		CliError("view: the module has no %s importer", noun);
		return false;
	}
	doc->InsertObject(op, nullptr, nullptr);
	if (particles)
		ConfigureParticles(op, o);
	else
		headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(o.file)));
	size_t shown = 0;
	const BaseContainer* bc = op->GetDataInstance();
	if (ReportBoxes(&shown) || bc->GetString(id[1]).Get().empty())
	{
		if (particles && InfoMeshChunkDetect(o.file.c_str()))
			CliError("view: '%s' is a chunked mesh file; play it with 'twconnect play --mesh-type chunked'",
				o.file.c_str());
		else
			CliError("view: '%s' was not taken as a %s sequence", o.file.c_str(), noun);
		return false;
	}
	*importer = op;
	*first = bc->GetInt32(id[2]);
	*last = bc->GetInt32(id[3]);
	return true;
}

// The SD Importer's dialog as a user fills it; the document's range is then the scene's.
bool ImportScene(BaseDocument* doc, const ViewOptions& o, long long* first, long long* last)
{
	doc->SetMinTime(BaseTime(0.0));
	doc->SetMaxTime(BaseTime(0.0));
	bool opened = false, pressed = false;
	std::string preview;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (d.ResourceId() != DLG_TW_SD_IMPORTER)
			return;
		opened = true;
		d.SetFilename(TW_SDIMP_SCENE_FILE, o.file);
		// a file the dialog cannot read would import nothing, and an empty picture is no answer
		preview = d.GetText(TW_SDIMP_INFO_NAMES);
		if (preview != "Invalid SD file format")
			pressed = d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	headless::SetModalDialogScript(nullptr);
	size_t shown = 0;
	if (ReportBoxes(&shown) || !pressed)
	{
		if (!opened)
			CliError("view: the module's SD Importer dialog did not open");
		else if (!pressed)
			CliError("view: the SD Importer's dialog says: %s", preview.c_str());
		CliError("view: '%s' was not imported as an SD scene", o.file.c_str());
		return false;
	}
	// the refresh the import asked for, in which the animation objects open their files
	doc->ExecutePasses(nullptr, true, true, true, 0);
	const Int32 fps = doc->GetFps();
	*first = doc->GetMinTime().GetFrame(fps);
	*last = doc->GetMaxTime().GetFrame(fps);
	return true;
}

// The picture's folder, made when missing as the exporters make theirs.
bool MakePictureFolder(const std::string& file)
{
	const size_t slash = file.rfind('/');
	if (slash == std::string::npos || slash == 0)
		return true;
	const std::string dir = file.substr(0, slash);
	if (MakeFolder(dir))
		return true;
	CliError("view: cannot make the folder '%s': %s", dir.c_str(), std::strerror(errno));
	return false;
}

int DrawFrames(const ViewOptions& o, BaseDocument* doc, Kind kind, const PicturePath& path)
{
	BaseObject* op = nullptr;
	long long first = 0, last = 0;
	if (kind == Kind::SD ? !ImportScene(doc, o, &first, &last) : !AddImporter(doc, o, kind, &op, &first, &last))
		return kExitFailed;
	const bool ranged = o.start_given->count() || o.end_given->count();
	if (o.frame_given->count())
		first = last = o.frame;
	else if (ranged)
	{
		first = o.start_given->count() ? o.start : first;
		last = o.end_given->count() ? o.end : last;
	}
	else
		last = first;
	if (first > last)
		return CliBadArgument("view: the range %lld to %lld is empty", first, last);

	// A bar only where it does not tangle with the frame lines: stderr on a terminal, stdout not.
	const bool progress = ranged && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
	headless::View view(static_cast<Int32>(o.width), static_cast<Int32>(o.height));
	size_t shown = headless::MessageBoxes().size();
	long long written = 0;
	const auto t0 = std::chrono::steady_clock::now();
	for (long long f = first; f <= last; ++f)
	{
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(doc->GetFps())));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		view.DrawDocument(doc);
		ReportBoxes(&shown);
		const std::string file = path.For(f, ranged);
		std::string error;
		if (!MakePictureFolder(file))
			return kExitFailed;
		if (!view.WritePng(file, &error))
			return CliError("view: cannot write '%s': %s", file.c_str(), error.c_str());
		++written;
		const bool has_range = kind == Kind::PARTICLES;
		const BaseContainer* bc = op ? op->GetDataInstance() : nullptr;
		const Float lo = has_range ? bc->GetFloat(TW_PI_FOUND_MIN) : 0.0, hi = has_range ? bc->GetFloat(TW_PI_FOUND_MAX) : 0.0;
		if (o.json)
		{
			Json line = {{"frame", f}, {"file", file}};
			if (has_range)
				line["range"] = Json::array({JsonNumber(lo), JsonNumber(hi)});
			PrintJson(line);
		}
		else if (has_range)
			std::printf("%8lld  %s  range %g to %g\n", f, file.c_str(), lo, hi);
		else
			std::printf("%8lld  %s\n", f, file.c_str());
		if (progress)
			CliProgress(f - first + 1, last - first + 1);
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	if (o.json)
		PrintJson({{"summary", true}, {"frames", written}, {"seconds", seconds}});
	else
		std::printf("%lld pictures of %lld x %lld in %.3f s\n", written, o.width, o.height, seconds);
	std::fflush(stdout);
	return 0;
}

int RunView(const ViewOptions& o)
{
	if (ChannelCode(o.channel) < 0)
		return CliBadArgument("view: '%s' is no display channel; the channels are %s", o.channel.c_str(),
			ChannelNames().c_str());
	PicturePath path;
	std::string error;
	if (!path.Parse(o.out, &error))
		return CliBadArgument("view: --out %s", error.c_str());
	const Kind kind = KindOf(o.file);
	if (kind != Kind::PARTICLES)
		for (const CLI::Option* opt : o.particle_only)
			if (opt->count())
				return CliBadArgument("view: %s applies to particle sequences only", opt->get_name().c_str());
	FILE* f = std::fopen(o.file.c_str(), "rb");
	if (!f)
		return CliError("view: cannot open '%s': %s", o.file.c_str(), std::strerror(errno));
	std::fclose(f);

	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return kExitFailed;
	BaseDocument* doc = NewActiveDocument(25, false);
	const int status = DrawFrames(o, doc, kind, path);
	FreeActiveDocument(doc);
	return status;
}

} // namespace

CommandRun ViewCommand(CLI::App& app)
{
	auto o = std::make_shared<ViewOptions>();
	app.footer("Puts the importer that fits FILE into a new document (a particle .bin, .tpc or .pxy sequence the\n"
			   "Particle Importer, a mesh .bin or .md sequence the Mesh Importer, an .sd scene the SD Importer's\n"
			   "dialog), evaluates it at the frame and writes what the viewport shows as a PNG, through the\n"
			   "scene's camera or else a camera that frames everything. Particles are drawn by the importer,\n"
			   "coloured by a channel through its gradient. With --start or --end one picture per frame: --out\n"
			   "holds a frame number such as %04d, or _NNNN is added before its extension.");
	app.add_option("FILE", o->file, "a file of the sequence, or an SD scene")->required()->check(NonEmpty());
	app.add_option("--out", o->out, "the PNG to write")->required()->check(NonEmpty());
	o->frame_given = app.add_option("--frame", o->frame, "the frame to show (default: the first)")
						 ->transform(Integer(-9999999, 9999999));
	o->start_given = app.add_option("--start", o->start, "first frame of a picture sequence (default: the first)")
						 ->transform(Integer(-9999999, 9999999));
	o->end_given = app.add_option("--end", o->end, "last frame of a picture sequence (default: the last)")
					   ->transform(Integer(-9999999, 9999999));
	for (CLI::Option* opt : {o->frame_given, o->start_given, o->end_given})
		opt->default_str("");
	o->frame_given->excludes(o->start_given)->excludes(o->end_given);
	app.add_option("--width", o->width, "picture width in pixels")->transform(Integer(1, 8192));
	app.add_option("--height", o->height, "picture height in pixels")->transform(Integer(1, 8192));
	o->particle_only = {
		app.add_option("--display", o->display, "how particles are drawn")
			->check(CLI::IsMember({"points", "circles", "box"})),
		app.add_option("--channel", o->channel, "the channel that colours the particles: " + ChannelNames()),
		app.add_option("--size", o->size, "circle size (as the importer's display size)")->check(Decimal(0.0, 1e6)),
		app.add_option("--axis", o->axis, "circle orientation: 0 facing the camera, 1 XY, 2 YZ, 3 XZ")
			->transform(Integer(0, 3)),
		app.add_option("--range", o->range, "a fixed colour range instead of the frame's own")
			->expected(2)
			->type_name("MIN MAX")
			->check(Decimal(-1e30, 1e30)),
	};
	app.add_flag("--json", o->json, "one JSON object per picture (frame, file, range for particles), then a summary");
	AddPluginsOption(app, o->plugins);
	return [o] { return RunView(*o); };
}
