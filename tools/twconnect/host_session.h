// host_session.h - the headless host with the module loaded, as the subcommands that run it need it.
#pragma once

#include "headless.h"

#include <CLI/CLI.hpp>

#include <string>

// --plugins DIR, the option of every subcommand that loads the module.
void AddPluginsOption(CLI::App& app, std::string& folder);

// The plug-in folder: --plugins DIR, else $TWCONNECT_PLUGINS, else the build's own folder.
std::string PluginFolder(const std::string& option);

// Loads the module; on failure prints the reason and returns false.
bool StartHost(headless::Module& module, const std::string& folder);

// A new document, made the active one, at fps. With an empty time range (0 to 0) it takes exactly the
// range that the files imported into it bring.
BaseDocument* NewActiveDocument(Int32 fps, bool empty_range);
// Makes no document active and frees doc.
void FreeActiveDocument(BaseDocument* doc);
