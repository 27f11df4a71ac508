// remote_frame_sequence.cpp - resolving and fetching the files of a frame sequence.
#include "remote_frame_sequence.h"

#include "remote_file.h"

#include <cstring>

RemoteFrameSequence::RemoteFrameSequence()
	: FrameSequence()
	, document(nullptr)
	, downloads_allowed(true)
{
}

int32_t RemoteFrameSequence::ScanRange()
{
	downloads_allowed = false;
	int32_t result = FrameSequence::ScanRange();
	downloads_allowed = true;
	return result;
}

void RemoteFrameSequence::GetFileName(int32_t frame, int32_t offset, char* out)
{
	char path[SEQUENCE_PATH_SIZE];
	char resolved[SEQUENCE_PATH_SIZE];
	FormatAndExpand(frame, offset, path);
	// a resolution that does not fit gives no file rather than a cut path
	if (path[0] == '\0')
	{
		out[0] = '\0';
		return;
	}
	ResolveRelativePath(path, document, resolved);
	if (resolved[0] == '\0')
	{
		out[0] = '\0';
		return;
	}
	// a failed fetch leaves the path as it was: the reader then shows nothing for the frame
	FetchFile(resolved, out, downloads_allowed);
}

void ExpandAndResolvePath(const char* file_name, BaseDocument* doc, char* out)
{
	char path[SEQUENCE_PATH_SIZE];
	ExpandPath(file_name, path);
	if (path[0] == '\0')
	{
		out[0] = '\0';
		return;
	}
	ResolveRelativePath(path, doc, out);
}
