// TWSDImporter.h - the SD scene import command: a camera and a scene of objects from SD files.
#pragma once

#include "c4d.h"

struct SdFile;

class TWSDImporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
};

// What the dialog collected.
struct SdImportSettings
{
	char camera_path[256];
	char scene_path[256];
	bool create_objects;
	bool uvw;
	bool bake_keys;
};

// The preview of a scene file: the object count ("%d", empty for a file that is not a version-6
// SD file) and the first names joined by ", " with "..." after the fourth, or "Invalid SD file format".
void SdPreviewScene(const char* path, String* count_text, String* names_text);
// One animated camera with position and rotation keys on every stored frame of the file.
void SdImportCamera(BaseDocument* doc, const char* path);
// An SD Reader with one polygon object per SD object the document lacks, each matched or new object
// with an SD Anim object beneath it.
void SdImportScene(BaseDocument* doc, const SdImportSettings& settings);
// Widens the document's range (and its preview range) to cover first .. last frame; never narrows it.
void SdExtendTimeRange(BaseDocument* doc, int32_t first_frame, int32_t last_frame);
