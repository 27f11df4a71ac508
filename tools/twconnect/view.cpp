// view.cpp - twconnect view: a sequence or SD scene in a new document, drawn by the headless viewport
// into a PNG per frame.
#include "cli.h"
#include "host_session.h"
#include "scene_setup.h"
#include "view_path.h"

#include "TW_Particle_Importer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct ViewOptions
{
	std::string file, out, plugins, display = "points", channel = "velocity";
	long long width = 960, height = 540, axis = 0;
	double size = 0.02;
	std::vector<double> range;
	bool json = false;
	FrameOptions frames;
	// the particle-only options, refused for a mesh or a scene
	std::vector<CLI::Option*> particle_only;
};

Int32 DisplayMode(const std::string& name)
{
	return name == "circles" ? 2 : name == "box" ? 3 : 1;
}

// As a user would: the display first (the file is given last).
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
}

int DrawFrames(const ViewOptions& o, BaseDocument* doc, SceneKind kind, const PicturePath& path)
{
	BaseObject* op = nullptr;
	long long first = 0, last = 0;
	const auto configure = [&o](BaseObject* importer) { ConfigureParticles(importer, o); };
	if (kind == SceneKind::SD ? !ImportScene("view", doc, o.file, &first, &last)
							  : !AddImporter("view", doc, o.file, kind, configure, &op, &first, &last))
		return kExitFailed;
	bool ranged = false;
	if (!o.frames.Choose(&first, &last, &ranged))
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
		if (!MakePictureFolder("view", file))
			return kExitFailed;
		if (!view.WritePng(file, &error))
			return CliError("view: cannot write '%s': %s", file.c_str(), error.c_str());
		++written;
		const bool has_range = kind == SceneKind::PARTICLES;
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
	const SceneKind kind = SceneKindOf(o.file);
	if (const int refused = CheckPictureArguments("view", o.out, kind, o.particle_only, &path))
		return refused;
	return RunInNewDocument("view", o.file, o.plugins, [&](BaseDocument* doc) { return DrawFrames(o, doc, kind, path); });
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
	o->frames.Add(app, "show");
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
