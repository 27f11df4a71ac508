// scene_setup.h - what twconnect view and render share: the importer that fits a file, put into a new
// document as a user would, the display channels by name, and the pictures' folders.
#pragma once

#include "cli.h"
#include "headless.h"
#include "view_path.h"

#include <functional>
#include <string>

enum class SceneKind
{
	PARTICLES,
	MESH,
	SD,
};

// By the file's name and first bytes: an .sd scene, a mesh .bin or .md sequence, else particles.
SceneKind SceneKindOf(const std::string& file);

// The display channel code of a name ("velocity", "Texture-U"; letters and digits count, any case), or
// -1 for none.
int ChannelCode(const std::string& name);
// The channel names, comma separated, for messages and help.
std::string ChannelNames();

// The message boxes the module showed since *shown, on stderr; true when there were any.
bool ReportBoxes(size_t* shown);

// An importer on the sequence of file; its first and last frames, or false after saying why not.
// configure sets a particle importer up before the file is given (as a user sets the display first);
// command names the subcommand in messages.
bool AddImporter(const char* command, BaseDocument* doc, const std::string& file, SceneKind kind,
	const std::function<void(BaseObject*)>& configure, BaseObject** importer, long long* first, long long* last);

// The SD Importer's dialog as a user fills it; the document's range is then the scene's.
bool ImportScene(const char* command, BaseDocument* doc, const std::string& file, long long* first, long long* last);

// The argument checks every picture command makes once it knows the file's kind: the picture path
// (into *path), and no option of particle_only given for another kind. 0, or the usage error's status.
int CheckPictureArguments(const char* command, const std::string& out, SceneKind kind,
	const std::vector<CLI::Option*>& particle_only, PicturePath* path);

// FILE readable, the host started from plugins and a new active document: run does the command's work
// in it, and its status is the command's.
int RunInNewDocument(const char* command, const std::string& file, const std::string& plugins,
	const std::function<int(BaseDocument*)>& run);

// The picture's folder, made when missing as the exporters make theirs.
bool MakePictureFolder(const char* command, const std::string& file);

// --frame N, or --start N and --end N: one picture, or one per frame of a range.
struct FrameOptions
{
	long long frame = 0, start = 0, end = 0;
	CLI::Option* frame_given = nullptr;
	CLI::Option* start_given = nullptr;
	CLI::Option* end_given = nullptr;

	// what: "draw", "render", "play"; every_frame: without an option the whole sequence (else its first frame).
	void Add(CLI::App& app, const char* what, bool every_frame = false);
	// Narrows the sequence's [*first, *last] to what was asked (when nothing was: the first frame alone,
	// or all of them for every_frame); *ranged tells whether it is a range. False for an empty range.
	bool Choose(long long* first, long long* last, bool* ranged) const;
	bool every_frame = false;
};
