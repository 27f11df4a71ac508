// export_frames.cpp - frame file names of an export, and the account of frames that failed.
#include "export_frames.h"

#include "console.h"

#include <cstdio>

#include <sys/stat.h>

namespace
{

// Converts a host text to its 8-bit form; false when it needs more than TW_EXPORT_NAME_MAX bytes.
bool ToBuffer(const String& text, char (&out)[TW_EXPORT_NAME_MAX + 1])
{
	return text.GetCString(out, TW_EXPORT_NAME_MAX + 1);
}

} // namespace

Bool ExportFileNames::Init(const Filename& folder, const String& name, Int32 padding)
{
	if (!ToBuffer(folder.GetString(), _folder) || !ToBuffer(name, _name))
	{
		ShowMessage("The folder or the name of the sequence is too long. Only folders and names of at most %d "
					"characters are accepted.",
			TW_EXPORT_NAME_MAX);
		return false;
	}
	_padding = padding < 0 ? 0 : padding > TW_EXPORT_PADDING_MAX ? TW_EXPORT_PADDING_MAX : padding;
	return true;
}

void ExportFileNames::PathOf(Int32 frame, char (&out)[600]) const
{
	// 255 + 1 + 255 + 11 digits and sign + ".bin" always fit.
	std::snprintf(out, sizeof out, "%s/%s%0*d.bin", _folder, _name, static_cast<int>(_padding), static_cast<int>(frame));
}

void EvaluateAt(BaseDocument* doc, const BaseTime& t)
{
	doc->SetTime(t);
	doc->ExecutePasses(nullptr, true, true, true, 0);
}

void RemovePartialFile(const char* path)
{
	// A partial file would be read as a damaged frame, or worse as a whole one with fewer particles.
	struct stat st;
	if (lstat(path, &st) == 0 && S_ISREG(st.st_mode))
		std::remove(path);
}

void ExportFailures::Failed(Int32 frame, const char* path, const char* reason)
{
	_frames.push_back(frame);
	PrintConsole("[ERROR] Frame %d not written to '%s': %s", static_cast<int>(frame), path, reason);
}

String ExportFailures::Status(Int32 frames_tried) const
{
	if (_frames.empty())
		return String("Ready");
	char text[TW_TEXT_SIZE];
	int n = std::snprintf(text, sizeof text, "[ERROR] %d of %d frames not written:", Count(), static_cast<int>(frames_tried));
	const size_t shown = _frames.size() < 10 ? _frames.size() : 10;
	for (size_t i = 0; i < shown && n > 0 && n < static_cast<int>(sizeof text); ++i)
		n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%s %d", i ? "," : "", static_cast<int>(_frames[i]));
	if (_frames.size() > shown && n > 0 && n < static_cast<int>(sizeof text))
		std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ", ...");
	return String(text);
}
