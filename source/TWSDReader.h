// TWSDReader.h - SD scene replayed as the timeline moves.
#pragma once

#include "c4d.h"
#include "sd_file.h"

#include <vector>

// Blending starts above this share of a frame (seconds past the frame's start).
constexpr Float SD_SUBFRAME_EPSILON = 0.00001;

// A document frame to the SD frame it shows: -1 when it shows none. frame is 64-bit so that callers
// may ask for frame + 1 of any frame.
Int32 SdMapFrame(Int32 start, Int32 end, Int32 offset, Bool reverse, Bool hold, Int64 frame);

// The document's current time as the SD objects count it: the whole frame, the time in seconds and
// what lies beyond the frame's start, in seconds.
struct SdTime
{
	Int32 frame = 0;
	Float seconds = 0.0;
	Int32 fps = 1;
	Float fraction = 0.0;
};
SdTime SdDocumentTime(const BaseDocument* doc);

// TW_SD_FILE of node made into a path to open (out: 256 bytes): environment references expanded,
// resolved against the active document's folder, fetched from a render server when missing. Empty
// when there is no name; false (and empty) when the name or its resolution does not fit.
Bool SdResolveFile(const BaseList2D* node, char* out);

// TW_SD_START and TW_SD_END from the opened file's range when the user chose the file (chosen), or
// when the range was not set from this same file before: a loaded or copied object keeps the range
// its user set, while choosing the file again picks up frames it has gained since.
void SdSetRange(BaseList2D* node, const char* path, Int32 first, Int32 last, Bool chosen);

// The file parameter of node got back its last accepted value (taken), after the user chose a file
// whose path does not fit: the user is told, and nothing else changes.
void SdRefuseFile(BaseList2D* node, const Filename& taken);

class TWSDReader : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWSDReader(); }
	~TWSDReader() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override;
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;

	// chosen: the user has just chosen the file (its range is read again, an unusable path is refused).
	void SdReaderOpen(BaseObject* op, Bool chosen = false);
	void SdReaderEvaluate(BaseObject* op, BaseDocument* doc);

	// What the SD Anim objects beneath read: the scene with the current (possibly blended) frame, and
	// a counter that changes whenever that data does.
	const SdSceneReader* Scene() const { return _scene; }
	UInt32 Generation() const { return _generation; }
	// Grows with every opening of the file: the objects beneath pick their object again.
	UInt32 Openings() const { return _openings; }
	// The SD Reader data of op, or null when op is not an SD Reader.
	static TWSDReader* Of(const BaseObject* op);

private:
	void Blend(BaseObject* op, Int32 next, Float fraction, Int32 fps);
	// The frame as read, kept so that every blend starts from it and an unblended time gets it back.
	void KeepFrame();
	void RestoreFrame();
	void FreeScenes();

	BaseObject* _node = nullptr;
	SdSceneReader* _scene = nullptr;
	SdSceneReader* _next_scene = nullptr;
	Int32 _last_frame = -1;
	Float _last_time = -1.0;
	Int64 _next_requested = INT64_MIN; // SD frame last asked of _next_scene
	std::vector<float> _base_transforms; // 12 per object
	std::vector<std::vector<float>> _base_vertices; // per type-1 object
	Bool _blended = false;
	UInt32 _generation = 0;
	UInt32 _openings = 0;
	Filename _taken_file; // TW_SD_FILE as last opened, for a refused choice to fall back to
};
