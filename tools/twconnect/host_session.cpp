// host_session.cpp - starting the headless host for the subcommands that run the module.
#include "host_session.h"

#include "cli.h"

#include <cstdlib>
#include <unistd.h>

void AddPluginsOption(CLI::App& app, std::string& folder)
{
	app.add_option("--plugins", folder, "plug-in folder of the module (default: $TWCONNECT_PLUGINS, else the one installed beside twconnect, else the build's)")
		->type_name("DIR");
}

std::string PluginFolder(const std::string& option)
{
	if (!option.empty())
		return option;
	if (const char* env = std::getenv("TWCONNECT_PLUGINS"))
		if (env[0])
			return env;
#if defined(TW_INSTALLED_PLUGIN_DIR)
	// An installed twconnect takes the module folder installed beside it, wherever the prefix went.
	char exe[4096];
	const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
	if (n > 0)
	{
		std::string dir(exe, static_cast<size_t>(n));
		dir = dir.substr(0, dir.rfind('/') + 1) + TW_INSTALLED_PLUGIN_DIR;
		if (access((dir + "/tidewell_connect.xdl64").c_str(), R_OK) == 0)
			return dir;
	}
#endif
	return TW_DEFAULT_PLUGIN_DIR;
}

bool StartHost(headless::Module& module, const std::string& folder)
{
	std::string error;
	if (!module.Load(folder, &error))
	{
		CliError("cannot start the module from '%s': %s", folder.c_str(), error.c_str());
		return false;
	}
	return true;
}

BaseDocument* NewActiveDocument(Int32 fps, bool empty_range)
{
	BaseDocument* doc = BaseDocument::Alloc();
	headless::SetActiveDocument(doc);
	doc->SetFps(fps);
	if (empty_range)
	{
		doc->SetMinTime(BaseTime(0.0));
		doc->SetMaxTime(BaseTime(0.0));
		doc->SetLoopMinTime(BaseTime(0.0));
		doc->SetLoopMaxTime(BaseTime(0.0));
	}
	return doc;
}

void FreeActiveDocument(BaseDocument* doc)
{
	headless::SetActiveDocument(nullptr);
	BaseDocument::Free(doc);
}
