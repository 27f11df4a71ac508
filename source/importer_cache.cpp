// importer_cache.cpp - the loaded frames an importer object shares with its copies.
#include "importer_cache.h"

#include <cmath>
#include <new>

namespace
{

// Every record made in this session for a container pointer. A record outlives its last user (a
// copy made before may still name it and attach later), so they are freed together when the module
// ends; a pointer that is not among them is never followed. A plain pointer, not a container object:
// the host may unload the module during process exit, after the runtime destroyed such objects.
ImporterCache* g_records = nullptr;

bool Listed(const ImporterCache* cache)
{
	for (const ImporterCache* r = g_records; r; r = r->next_record)
		if (r == cache)
			return true;
	return false;
}

void Delete(ImporterCache* cache)
{
	ReleaseCache(&cache->viewport, nullptr);
	ReleaseCache(&cache->render, nullptr);
	delete cache;
}

// A cleared record: both tables without a current frame.
ImporterCache* NewRecord()
{
	ImporterCache* cache = new (std::nothrow) ImporterCache();
	if (cache)
	{
		cache->render.current = -1;
		cache->viewport.current = -1;
	}
	return cache;
}

// One more user; the first resets both tables from its settings, the render table single-frame.
ImporterCache* Join(ImporterCache* cache, const FrameCacheSettings* settings)
{
	if (cache->refs > 0)
	{
		++cache->refs;
		return cache;
	}
	ResetCache(&cache->viewport, settings);
	FrameCacheSettings single = *settings;
	single.mode = FRAME_CACHE_ONE;
	ResetCache(&cache->render, &single);
	cache->refs = 1;
	return cache;
}

} // namespace

ImporterCache* AttachImporterCache(BaseList2D* op, Int32 pointer_id, const FrameCacheSettings* settings)
{
	BaseContainer* bc = op->GetDataInstance();
	ImporterCache* cache = static_cast<ImporterCache*>(bc->GetVoid(pointer_id));
	if (!cache || !Listed(cache))
	{
		cache = NewRecord();
		if (!cache)
			return nullptr;
		cache->next_record = g_records;
		cache->listed = true;
		g_records = cache;
		bc->SetVoid(pointer_id, cache);
	}
	return Join(cache, settings);
}

void DetachImporterCache(ImporterCache* cache, const FrameCacheSettings* settings)
{
	if (!cache || cache->refs <= 0)
		return;
	if (--cache->refs == 0)
	{
		ReleaseCache(&cache->viewport, settings);
		FrameCacheSettings single = *settings;
		single.mode = FRAME_CACHE_ONE;
		ReleaseCache(&cache->render, &single);
		if (cache->orphaned)
			Delete(cache);
	}
}

void FreeImporterCaches()
{
	ImporterCache* cache = g_records;
	g_records = nullptr;
	while (cache)
	{
		ImporterCache* next = cache->next_record;
		cache->next_record = nullptr;
		cache->listed = false;
		if (cache->refs > 0)
			cache->orphaned = true;
		else
			Delete(cache);
		cache = next;
	}
}

ImporterCache* AttachImporterCacheRecord(ImporterCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		cache = NewRecord();
	return cache ? Join(cache, settings) : nullptr;
}

Bool FreeImporterCacheRecord(ImporterCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return false;
	// Records of this kind are in no list, so the module's end never leaves them to their last user.
	DetachImporterCache(cache, settings);
	if (cache->refs > 0)
		return false;
	Delete(cache);
	return true;
}

void TrackRenderFrame(Int32 render_engine, Float f, Int32 fi, Int32* frame, Int32* count)
{
	const Int32 p = *frame, n = *count;
	auto near = [](Float d) { return std::fabs(static_cast<float>(d)) < 0.0001f; };
	// This engine evaluates every frame three times, then half a frame on.
	if (render_engine == 1023342)
	{
		if (p == -1)
		{
			*count = 1;
			*frame = f == 0.0 ? 0 : fi + 1;
		}
		else if (near(f - (p + 0.5)) && n == 3)
		{
			*frame = p + 1;
			*count = 1;
		}
		else
			*count = n + 1;
	}
	else if (near(f - fi))
		*frame = fi;
	else if (near(f - fi - 0.5))
		*frame = fi + 1;
}
