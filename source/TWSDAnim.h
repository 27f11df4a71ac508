// TWSDAnim.h - SD animation of one imported object.
#pragma once

#include "c4d.h"
#include "sd_file.h"

#include <vector>

class TWSDAnim : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWSDAnim(); }
	TWSDAnim();
	~TWSDAnim() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override;
	Bool GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc) override;
	void CheckDirty(BaseObject* op, BaseDocument* doc) override;
	Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg,
		Float lod, Int32 flags, BaseThread* thread) override;

	// chosen: the user has just chosen the object's own file (its range is read again, an unusable path
	// is refused).
	void SdAnimOpen(BaseObject* mod, Bool chosen = false);
	void SdAnimCheckDirty(BaseObject* mod, BaseDocument* doc);
	Bool SdAnimModify(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& mg);
	void SdAnimBake(BaseObject* mod);
	void SdAnimUnbake(BaseObject* mod);

private:
	// The SD Reader above the parent (the parent's parent), or null.
	static BaseObject* ReaderAbove(const BaseObject* mod);
	static void Rename(BaseObject* mod);
	// The node whose parameters rule: the SD Reader above, or the object itself.
	const BaseObject* Settings(const BaseObject* mod) const;
	// Type of the picked object; -1 when nothing is picked.
	Int32 PickedType() const;
	Bool Applies(const BaseObject* mod) const;
	// Loads SD frame sd of the picked object: 1 when read, 0 when there is no data for it, -1 when the
	// file could not be opened (the user is told).
	Int32 LoadFrame(const BaseObject* mod, Int32 sd, SdObjectFrame* frame, float** vertices);
	void Place(Int32 type, const float* t, const float* vertices, Int32 vertex_count, Float scale, BaseObject* op,
		const Matrix& mg);
	void CopyReaderSettings(BaseObject* mod);
	// The object that baking writes keys to: the importer's target, else the parent.
	BaseObject* BakeTarget(const BaseObject* mod) const;

	SdObjectReader _object_reader;
	BaseObject* _reader = nullptr;
	BaseObject* _parent = nullptr;
	BaseObject* _target = nullptr;
	Int32 _last_frame = -1;
	Float _last_time = -1.0;
	Int32 _frame_valid = 1;
	Bool _opened = false;
	Bool _bake_pending = false;
	Bool _baked = false;
	SdObjectFrame _next_frame;
	std::vector<float> _next_vertices; // 3 floats per vertex of the picked object
	Int64 _next_requested = INT64_MIN; // SD frame held in _next_frame / _next_vertices
	Bool _next_valid = false;
	char _open_path[256]; // the resolved file of the last opening, empty for none
	Filename _taken_file; // own TW_SD_FILE as last opened, for a refused choice to fall back to
	UInt32 _placed_generation = 0; // of the SD Reader's data last placed
	UInt32 _reader_openings = 0; // of the SD Reader's file when the object was picked
	UInt32 _reader_dirty = 0;	  // the SD Reader's parameter changes, as last seen
	Bool _applied = false;		  // whether the object applied, as last seen
	std::vector<float> _blended; // scratch for blended vertices
};
