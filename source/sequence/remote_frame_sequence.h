// remote_frame_sequence.h - frame sequences whose relative names resolve against a document and
// whose missing files a network-render client may fetch from its server.
#pragma once

#include "frame_sequence.h"

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
void ExpandAndResolvePath(const char* file_name, BaseDocument* doc, char* out);
