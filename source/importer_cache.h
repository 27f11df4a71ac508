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
	ImporterCache* next_record; // the module's list of records named by containers
	Bool listed;
	Bool orphaned; // the module ended while it was in use: its last user deletes it
};

// Attaches the object whose container holds (or is given) the record under pointer_id; the first
// user resets both tables from the settings, the render table in single-frame mode.
ImporterCache* AttachImporterCache(BaseList2D* op, Int32 pointer_id, const FrameCacheSettings* settings);
// The last user releases both tables; the record itself stays, since copies saved before may still
// name it (after the module's end the last user deletes it).
void DetachImporterCache(ImporterCache* cache, const FrameCacheSettings* settings);
// At the end of the module: frees every record without users; a record still in use (the host may
// free its documents after the module's end) is deleted by its last user.
void FreeImporterCaches();

// For an object that keeps the record in a field of its own rather than in its container: attaches
// to cache, or to a new record when cache is null. Null when a new record cannot be allocated.
ImporterCache* AttachImporterCacheRecord(ImporterCache* cache, const FrameCacheSettings* settings);
// Detaches; the last user releases both tables and deletes the record. True when it was deleted.
Bool FreeImporterCacheRecord(ImporterCache* cache, const FrameCacheSettings* settings);

// The render frame tracker: the frame and evaluation count kept while a render runs, from their
// previous values, the render engine of the document, the time in frames (f) and its whole frame (fi).
void TrackRenderFrame(Int32 render_engine, Float f, Int32 fi, Int32* frame, Int32* count);
