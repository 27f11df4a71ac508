// importer_cache.h - the loaded frames an importer object shares with its copies.
//
// Copies of an importer carry the same pointer in their containers (the host copies the container),
// so one record serves them all; the reference count says when the last one is gone.
#pragma once

#include "frame_cache.h"

#include "c4d.h"

struct ImporterCache
{
	Int32 refs;
	FrameCache render; // single-frame table used while a render runs
	FrameCache viewport;
};

// Attaches the object whose container holds (or is given) the record under pointer_id; the first
// user resets both tables from the settings, the render table in single-frame mode.
ImporterCache* AttachImporterCache(BaseList2D* op, Int32 pointer_id, const FrameCacheSettings* settings);
// The last user releases both tables; the record itself stays, since copies saved before may still
// name it.
void DetachImporterCache(ImporterCache* cache, const FrameCacheSettings* settings);
// At the end of the module: frees every record (their users are gone by then).
void FreeImporterCaches();
