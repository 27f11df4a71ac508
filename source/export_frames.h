// export_frames.h - what the exporters share: the file of each frame, and an honest account of the frames written.
#pragma once

#include "c4d.h"

#include <vector>

// Longest folder or sequence name an exporter accepts, in bytes of its 8-bit form.
constexpr Int32 TW_EXPORT_NAME_MAX = 255;
// Digits of the frame number: at most as many as an Int32 has.
constexpr Int32 TW_EXPORT_PADDING_MAX = 10;

// Where the frames of one export go: folder, sequence name and padding, checked once before the run.
class ExportFileNames
{
public:
	// Takes folder and name as the user typed them. False, with a message box, when either does not
	// fit TW_EXPORT_NAME_MAX bytes: a long name is refused, never cut to another path.
	Bool Init(const Filename& folder, const String& name, Int32 padding);

	// folder/name<frame zero-padded to the padding>.bin; a number longer than the padding is written
	// whole. The buffer is large enough for any folder, name and frame that Init accepts.
	void PathOf(Int32 frame, char (&out)[600]) const;

	const char* Name() const { return _name; }

private:
	char _folder[TW_EXPORT_NAME_MAX + 1] = {};
	char _name[TW_EXPORT_NAME_MAX + 1] = {};
	Int32 _padding = 0;
};

// Sets the document to time t and lets the host evaluate it as for playback (animation,
// expressions, caches): what an exporter does before reading a frame, and when it restores the time.
void EvaluateAt(BaseDocument* doc, const BaseTime& t);

// Removes what a failed write left of a file this run created: only a regular file, so that a
// folder or a device the user's path happens to name is never touched. Call it only for a file the
// run opened itself; a file that could not be opened is left as it was.
void RemovePartialFile(const char* path);

// The frames of one run that did not reach their files. Every failure prints one console line,
// "[ERROR] Frame 12 not written to '/out/x00012.bin': <reason>", so that nothing is ever taken for
// written that was not.
class ExportFailures
{
public:
	void Failed(Int32 frame, const char* path, const char* reason);
	Int32 Count() const { return static_cast<Int32>(_frames.size()); }
	const std::vector<Int32>& Frames() const { return _frames; }
	// The last status line of the run: "Ready" when every frame was written, else
	// "[ERROR] 2 of 5 frames not written: 10, 15" (the first ten frames, then "...").
	String Status(Int32 frames_tried) const;

private:
	std::vector<Int32> _frames;
};
