// export.cpp - twconnect export: particles or a mesh sequence written by the module's exporters.
#include "export_cli.h"
#include "host_session.h"

#include <cerrno>
#include <cstring>

namespace
{

// A file name prefix in one folder. Its length is the exporter's to judge: it refuses what its buffers
// cannot hold with a message of its own.
CLI::Validator FilePrefix()
{
	return CLI::Validator(
		[](std::string& name) {
			return !name.empty() && name.find('/') == std::string::npos ? std::string()
																		: std::string("a name without '/'");
		},
		"NAME");
}

} // namespace

void AddExportOptions(CLI::App& app, ExportOptions& o, const std::string& fps_help)
{
	app.add_option("--out", o.out, "folder the files go to (made when missing)")
		->required()
		->check(NonEmpty().description(""))
		->type_name("DIR");
	app.add_option("--name", o.name, "sequence name: files are DIR/NAME<frame>.bin")->required()->check(FilePrefix());
	o.start_given = app.add_option("--start", o.start, "first frame")->transform(Integer(-9999999, 9999999));
	o.end_given = app.add_option("--end", o.end, "last frame")->transform(Integer(-9999999, 9999999));
	o.start_given->default_str("");
	o.end_given->default_str("");
	app.add_option("--step", o.step, "frame step")->transform(Integer(1, 9999999));
	app.add_option("--padding", o.padding, "digits of the frame number in file names")->transform(Integer(1, 10));
	o.fps_given = app.add_option("--fps", o.fps, fps_help)->transform(Integer(1, 1000));
	o.fps_given->default_str("");
	app.add_flag("--json", o.json, "one JSON object per written frame instead of its path");
	AddPluginsOption(app, o.plugins);
}

bool PlanExport(const ExportOptions& o, long long first, long long last, const char* noun, ExportFrames* frames,
	int* status)
{
	frames->folder = ExportFolder(o.out);
	frames->name = o.name;
	frames->start = o.start_given->count() ? o.start : first;
	frames->end = o.end_given->count() ? o.end : last;
	frames->step = o.step;
	frames->padding = o.padding;
	if (frames->end < frames->start)
	{
		*status = CliBadArgument("export %s: the last frame %lld is before the first %lld", noun, frames->end,
			frames->start);
		return false;
	}
	if (!MakeFolder(o.out))
	{
		*status = CliError("export %s: cannot create folder '%s': %s", noun, o.out.c_str(), std::strerror(errno));
		return false;
	}
	return true;
}

void PrepareDocument(BaseDocument* doc, const ExportFrames& frames)
{
	const Float fps = static_cast<Float>(doc->GetFps());
	const BaseTime first(static_cast<Float>(frames.start), fps), last(static_cast<Float>(frames.end), fps);
	doc->SetMinTime(first);
	doc->SetMaxTime(last);
	doc->SetLoopMinTime(first);
	doc->SetLoopMaxTime(last);
	doc->SetTime(first);
	doc->ExecutePasses(nullptr, true, true, true, 0);
}

bool ReportImporterBoxes(size_t from, const char* expected)
{
	const auto& boxes = headless::MessageBoxes();
	bool reported = false;
	for (size_t k = from; k < boxes.size(); ++k)
	{
		const std::string& text = boxes[k].text;
		if (expected && text.compare(0, std::strlen(expected), expected) == 0)
			continue;
		CliError("the importer says: %s", text.c_str());
		reported = true;
	}
	return reported;
}

CommandRun ExportCommand(CLI::App& app)
{
	app.footer("Builds a new document in the headless host, opens the module's exporter there as a user would,\n"
			   "fills its dialog from the options and presses Export. Prints each file written, one per line,\n"
			   "after reading it back (sd: a summary of the one file); a frame the exporter could not write is\n"
			   "named on stderr and the exit status is 1.");
	app.require_subcommand(1);
	struct Kind
	{
		const char* name;
		const char* summary;
		CommandRun (*define)(CLI::App&);
	};
	const Kind kinds[] = {
		{"particles", "a particle sequence (played through the Particle Importer) or a host emitter",
			ExportParticlesCommand},
		{"mesh", "the mesh a Mesh Importer builds from a mesh sequence", ExportMeshCommand},
		{"sd", "the objects and camera of an SD scene, imported and written again as one SD file", ExportSdCommand},
	};
	auto runs = std::make_shared<std::vector<std::pair<CLI::App*, CommandRun>>>();
	for (const Kind& k : kinds)
	{
		CLI::App* sub = app.add_subcommand(k.name, k.summary);
		runs->emplace_back(sub, k.define(*sub));
	}
	return [runs] {
		for (auto& [sub, run] : *runs)
			if (sub->parsed())
				return run();
		return kExitBadArgument;
	};
}
