// cli.h - the subcommands of twconnect and what they share; main.cpp holds the table of commands.
#pragma once

#include "cli_output.h"

// CLI11 costs seconds of compiling wherever it is included: only the files that declare options do.
#include <CLI/CLI.hpp>

#include <functional>
#include <string>

// What runs a subcommand once its options are parsed; returns the exit status.
using CommandRun = std::function<int()>;

// Each subcommand declares its options (and its usage text) on its own app and returns what runs it.
CommandRun InfoCommand(CLI::App& app);
CommandRun SampleCommand(CLI::App& app);
CommandRun PluginsCommand(CLI::App& app);
CommandRun PlayCommand(CLI::App& app);
CommandRun ImportSdCommand(CLI::App& app);
CommandRun ExportCommand(CLI::App& app);
CommandRun ViewCommand(CLI::App& app);
CommandRun RenderCommand(CLI::App& app);
CommandRun PreviewCommand(CLI::App& app);
CommandRun NodeCommand(CLI::App& app);
CommandRun CheckCommand(CLI::App& app);
CommandRun ConvertCommand(CLI::App& app);

// Makes dir and its missing parents, as mkdir -p does. False, with errno set, when it cannot be made
// or something that is no folder stands in its place.
bool MakeFolder(const std::string& dir);

// Whole decimal numbers within [low, high] ("010" is ten, not eight); anything else is refused.
CLI::Validator Integer(long long low, long long high);
// Finite numbers within [low, high].
CLI::Validator Decimal(double low, double high);
// Any text but the empty one.
CLI::Validator NonEmpty();
// A sequence name for files in one folder: 1 to 200 characters without '/'.
CLI::Validator SequenceName();
// A mesh format for --mesh-type: auto, bin, chunked or md.
CLI::Validator MeshTypeName();
// The format code (CacheFormat) of a --mesh-type name, or -1 for auto.
int MeshTypeCode(const std::string& name);
