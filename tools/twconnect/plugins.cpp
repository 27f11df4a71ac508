// plugins.cpp - twconnect plugins: what the module registers with the host.
#include "cli.h"
#include "host_session.h"

#include <cstdio>

namespace
{

struct PluginsOptions
{
	bool json = false;
	std::string folder;
};

int RunPlugins(const PluginsOptions& o)
{
	headless::Module module;
	const bool started = StartHost(module, PluginFolder(o.folder));
	const auto& regs = headless::Registrations();
	// With --json the console lines go to stderr so that stdout stays one JSON value.
	for (const std::string& line : headless::ConsoleLines())
		std::fprintf(o.json ? stderr : stdout, "%s\n", line.c_str());
	if (o.json)
	{
		Json list = Json::array();
		for (const auto& r : regs)
			list.push_back({{"id", r.id}, {"kind", headless::KindName(r.kind)}, {"name", r.display_name}});
		PrintJson(list);
	}
	else
		for (const auto& r : regs)
			std::printf("%-9d %-9s %s\n", r.id, headless::KindName(r.kind), r.display_name.c_str());
	return started ? 0 : kExitFailed;
}

} // namespace

CommandRun PluginsCommand(CLI::App& app)
{
	auto o = std::make_shared<PluginsOptions>();
	app.footer("Loads the module in the headless host and lists its plug-ins in registration order.");
	app.add_flag("--json", o->json, "one JSON array of id, kind and name");
	AddPluginsOption(app, o->folder);
	return [o] { return RunPlugins(*o); };
}
