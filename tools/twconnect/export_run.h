// export_run.h - an exporter's dialog worked as a user does, and an honest account of the files it wrote.
#pragma once

#include "cli_output.h"
#include "headless.h"

#include <functional>
#include <string>
#include <vector>

// One exporter as the run drives it: its command, its dialog and the gadgets the run watches.
struct ExporterDialog
{
	const char* noun; // "particles" or "mesh", after "export" in messages
	Int32 command;
	Int32 dialog;
	Int32 status;	   // the status line: "Export frame %d" while it runs, then "Ready" or "[ERROR] ..."
	Int32 export_button;
};

// The files one export is to write: folder/name<frame, zero-padded>.bin for start, start + step, ... up to end.
struct ExportFrames
{
	std::string folder, name;
	long long start = 0, end = 0, step = 1, padding = 5;

	std::vector<long long> List() const;
	std::string PathOf(long long frame) const;
};

// Fills the dialog with the user's values; false, with what it did not take in *refused, when a value
// did not land as given (Export is not pressed then).
using DialogFill = std::function<bool(headless::DialogDriver& dialog, std::string* refused)>;

// Reads a written frame back with the cache library; false with the reason when it does not read as one
// of the exporter's files of that frame. keys receives what the frame's report adds after frame and file.
using FrameReadBack = std::function<bool(const std::string& path, long long frame, Json* keys, std::string* why)>;

// A setting the dialog must show exactly as entered: a number gadget that may hold it to its own bounds.
bool SetExactInt(headless::DialogDriver& d, Int32 id, long long value, const char* option, std::string* refused);
bool SetExactText(headless::DialogDriver& d, Int32 id, const std::string& text, const char* option, std::string* refused);
bool SetExactCheck(headless::DialogDriver& d, Int32 id, bool on, const char* option, std::string* refused);

// What an exporter's status line told while it ran: the frames it began ("Export frame %d") and its last
// line; with progress set, a bar on the terminal follows it.
struct ExportStatusWatch
{
	std::vector<long long> announced; // frames in the order the exporter began them
	std::string last;
	bool progress = false;
	long long total = 0;

	void Heard(const std::string& text);
};

// Opens the exporter in the active document, fills its dialog and presses Export; a progress bar on a
// terminal follows the status line. Then lists every frame the exporter announced, did not report as
// failed and that reads back (its path, or with json one object per frame); a failed frame, a message
// box or a frame that is missing makes the exit status non-zero.
int RunExport(const ExporterDialog& kind, const ExportFrames& frames, bool json, const DialogFill& fill,
	const FrameReadBack& read);

// The folder as the exporter gets it: without trailing slashes, which would double in its file names
// (the root stays "/").
std::string ExportFolder(const std::string& out);
