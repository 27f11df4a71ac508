// remote_frame_sequence.h - frame sequences whose relative names resolve against a document and
// whose missing files a network-render client may fetch from its server.
#pragma once

#include "frame_sequence.h"

#include "ge_types.h"

class BaseContainer;
class BaseDocument;

class RemoteFrameSequence : public FrameSequence
{
public:
	RemoteFrameSequence();

	// Probes without downloading; downloads are allowed again afterwards.
	int32_t ScanRange() override;
	// Formats, expands, resolves against the document and fetches the file when allowed. out is
	// empty when any step's result would not fit 255 characters.
	void GetFileName(int32_t frame, int32_t offset, char* out) override;

	BaseDocument* document; // may be nullptr
	bool downloads_allowed;
};

// ExpandPath, then resolved against the folder of doc (the active document) or the render job.
// False, with out empty, when the name or a step's result would not fit 255 characters.
bool ExpandAndResolvePath(const char* file_name, BaseDocument* doc, char* out);

// A host file name converted to the module's 8-bit path buffer (256 bytes). False, with out empty,
// when it has more than 255 characters: a cut path could name another file, and an empty one would
// read as no file chosen.
bool HostPathToBuffer(const Filename& file_name, char* out);

// A host file name (a file parameter) as a path to open (out: 256 bytes): HostPathToBuffer, then
// expanded and resolved as ExpandAndResolvePath. False, with out empty, when any step does not fit.
bool ResolveHostPath(const Filename& file_name, BaseDocument* doc, char* out);

// Tells the user that the file they chose cannot be taken because its path is too long.
void ShowPathTooLong();

// Documents stored before disk level 1 hold the chosen file itself in the file parameter; it becomes
// its sequence's pattern. A name too long for the module stays as stored: rewritten it would be empty.
void StoredFileToPattern(BaseContainer* bc, Int32 file_id);
