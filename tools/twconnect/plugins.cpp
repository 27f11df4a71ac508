// plugins.cpp - twconnect plugins: what the module registers with the host.
#include "cli.h"
#include "host_session.h"

#include <cstdio>

int CmdPlugins(const std::vector<std::string>& args)
{
	bool json = false;
	std::string folder;
	for (size_t i = 0; i < args.size(); ++i)
	{
		if (args[i] == "--json")
			json = true;
		else if (args[i] == "--plugins" && i + 1 < args.size())
			folder = args[++i];
		else if (args[i] == "--help")
		{
			std::printf("usage: twconnect plugins [--json] [--plugins DIR]\n\n"
						"Loads the module in the headless host and lists its plug-ins in registration order.\n");
			return 0;
		}
		else
			{
			CliError("plugins: unknown argument '%s'", args[i].c_str());
			return 2;
		}
	}
	headless::Module module;
	bool started = StartHost(module, PluginFolder(folder));
	const auto& regs = headless::Registrations();
	if (json)
	{
		// The console lines go to stderr so that stdout stays one JSON value.
		for (const std::string& line : headless::ConsoleLines())
			std::fprintf(stderr, "%s\n", line.c_str());
		std::printf("[");
		for (size_t i = 0; i < regs.size(); ++i)
			std::printf("%s{\"id\": %d, \"kind\": \"%s\", \"name\": %s}", i ? ", " : "", regs[i].id, headless::KindName(regs[i].kind),
				JsonString(regs[i].display_name).c_str());
		std::printf("]\n");
	}
	else
	{
		for (const std::string& line : headless::ConsoleLines())
			std::printf("%s\n", line.c_str());
		for (const auto& r : regs)
			std::printf("%-9d %-9s %s\n", r.id, headless::KindName(r.kind), r.display_name.c_str());
	}
	return started ? 0 : 1;
}
