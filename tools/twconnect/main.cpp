// main.cpp - twconnect: inspect cache files, play them through the module in the headless host, export.
#include "cli.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#define TW_CLI_VERSION "v6.0.2.0004"

namespace
{

// A subcommand is one entry here; its file declares its options and does its work.
struct Command
{
	const char* name;
	const char* summary;
	CommandRun (*define)(CLI::App& app);
};

const Command kCommands[] = {
	{"info", "describe cache files: header, counts, ranges", InfoCommand},
	{"sample", "write a procedural sample", SampleCommand},
	{"plugins", "load the module in the headless host and list what it registers", PluginsCommand},
	{"play", "play a sequence through its importer in the headless host", PlayCommand},
	{"import-sd", "import an SD scene through its dialog and play it", ImportSdCommand},
	{"export", "export particles or a mesh sequence through the exporters' dialogs", ExportCommand},
	{"view", "draw a sequence or SD scene in the headless viewport into PNG pictures", ViewCommand},
	{"render", "render a sequence or SD scene with the headless renderer into PNG pictures", RenderCommand},
	{"preview", "render a material's own preview into a PNG", PreviewCommand},
	{"node", "record what a Particle Node in an XPresso tag gives per particle while a sequence plays", NodeCommand},
	{"check", "check every frame of a sequence: missing, unreadable, inconsistent, count jumps", CheckCommand},
	{"convert", "write the frames of a particle or mesh sequence as PLY, CSV or OBJ files", ConvertCommand},
};

// The name of the deepest subcommand on the command line, for the hint after a bad argument.
std::string CommandPath(CLI::App& app)
{
	std::string path = "twconnect";
	for (CLI::App* sub = &app; !sub->get_subcommands().empty();)
	{
		sub = sub->get_subcommands().front();
		path += " " + sub->get_name();
	}
	return path;
}

} // namespace

int main(int argc, char** argv)
{
	CLI::App app("Inspect Tidewell cache files and run them through the module in the headless host.", "twconnect");
	app.set_version_flag("--version", "twconnect " TW_CLI_VERSION);
	app.require_subcommand(1);
	app.footer("Run 'twconnect COMMAND --help' for a command's options. Exit status is 0 on success,\n"
			   "1 when the work failed and 2 after a bad argument.");
	// An option given twice takes its last value, as the hand-written parsers did.
	app.option_defaults()->always_capture_default()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
	std::vector<std::pair<CLI::App*, CommandRun>> runs;
	for (const Command& c : kCommands)
	{
		CLI::App* sub = app.add_subcommand(c.name, c.summary);
		runs.emplace_back(sub, c.define(*sub));
	}

	std::vector<std::string> args(argv + 1, argv + argc);
	// "twconnect help [COMMAND]" is "twconnect [COMMAND] --help"
	if (!args.empty() && args[0] == "help")
	{
		args.erase(args.begin());
		args.push_back("--help");
	}
	std::reverse(args.begin(), args.end());
	try
	{
		app.parse(args);
	}
	catch (const CLI::CallForHelp&)
	{
		std::cout << app.help();
		return 0;
	}
	catch (const CLI::CallForVersion& e)
	{
		std::cout << e.what() << "\n";
		return 0;
	}
	catch (const CLI::ParseError& e)
	{
		CliError("%s", e.what());
		std::string path = CommandPath(app);
		return CliBadArgument("run '%s --help' for %s", path.c_str(),
			path == "twconnect" ? "the commands" : "its options");
	}
	for (auto& [sub, run] : runs)
		if (sub->parsed())
			return run();
	return CliBadArgument("no command given");
}
