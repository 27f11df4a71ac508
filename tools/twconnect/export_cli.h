// export_cli.h - what `export particles` and `export mesh` share: their common options and the document they export.
#pragma once

#include "cli.h"
#include "export_run.h"

#include <string>

struct ExportOptions
{
	std::string out, name, plugins;
	long long start = 0, end = 0, step = 1, padding = 5, fps = 0;
	bool json = false;
	CLI::Option* start_given = nullptr;
	CLI::Option* end_given = nullptr;
	CLI::Option* fps_given = nullptr;
};

// --out, --name, --start, --end, --step, --padding, --fps, --json and --plugins.
void AddExportOptions(CLI::App& app, ExportOptions& o, const std::string& fps_help);

// The files to write: start and end as given, else first and last. False after an error line (the exit
// status in *status) when the range is empty or --out cannot be made a folder.
bool PlanExport(const ExportOptions& o, long long first, long long last, const char* noun, ExportFrames* frames,
	int* status);

// Sets the document's range to the frames and evaluates it at the first, as a user's scene stands when
// the exporter opens: sources that appear on evaluation (an importer's group) are listed then.
void PrepareDocument(BaseDocument* doc, const ExportFrames& frames);

// The message boxes shown since `from`, on stderr, but those that start with `expected`; true when
// there were others.
bool ReportImporterBoxes(size_t from, const char* expected = nullptr);

CommandRun ExportParticlesCommand(CLI::App& app);
CommandRun ExportMeshCommand(CLI::App& app);
CommandRun ExportSdCommand(CLI::App& app);
