// remote_frame_sequence.cpp - resolving and fetching the files of a frame sequence.
#include "remote_frame_sequence.h"

#include "console.h"
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

bool ExpandAndResolvePath(const char* file_name, BaseDocument* doc, char* out)
{
	char path[SEQUENCE_PATH_SIZE];
	out[0] = '\0';
	if (!ExpandPath(file_name, path))
		return false;
	if (path[0] == '\0')
		return true;
	ResolveRelativePath(path, doc, out);
	return out[0] != '\0';
}

bool HostPathToBuffer(const Filename& file_name, char* out)
{
	const std::string& name = file_name.Get();
	out[0] = '\0';
	if (name.size() >= static_cast<size_t>(SEQUENCE_PATH_SIZE))
		return false;
	std::memcpy(out, name.c_str(), name.size() + 1);
	return true;
}

bool ResolveHostPath(const Filename& file_name, BaseDocument* doc, char* out)
{
	char name[SEQUENCE_PATH_SIZE];
	out[0] = '\0';
	return HostPathToBuffer(file_name, name) && ExpandAndResolvePath(name, doc, out);
}

void ShowPathTooLong()
{
	ShowMessage("The selected file's path is too long. Only paths of at most %d characters are accepted.",
		SEQUENCE_PATH_SIZE - 1);
}

void StoredFileToPattern(BaseContainer* bc, Int32 file_id)
{
	char path[SEQUENCE_PATH_SIZE];
	if (!HostPathToBuffer(bc->GetFilename(file_id), path))
		return;
	FrameSequence stored;
	stored.SetName(path, true, true);
	bc->SetFilename(file_id, Filename(stored.pattern));
}
