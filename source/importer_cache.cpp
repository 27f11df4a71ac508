// importer_cache.cpp - the loaded frames an importer object shares with its copies.
#include "importer_cache.h"

#include <new>
#include <set>

namespace
{

// Every record made in this session. A record outlives its last user (a copy made before may still
// name it and attach later), so they are freed together when the module ends; a pointer that is
// not among them is never followed.
std::set<ImporterCache*>& Records()
{
	static std::set<ImporterCache*> records;
	return records;
}

} // namespace

ImporterCache* AttachImporterCache(BaseList2D* op, Int32 pointer_id, const FrameCacheSettings* settings)
{
	BaseContainer* bc = op->GetDataInstance();
	ImporterCache* cache = static_cast<ImporterCache*>(bc->GetVoid(pointer_id));
	if (!cache || !Records().count(cache))
	{
		cache = new (std::nothrow) ImporterCache();
		if (!cache)
			return nullptr;
		Records().insert(cache);
		cache->render.current = -1;
		cache->viewport.current = -1;
		bc->SetVoid(pointer_id, cache);
	}
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
	}
}

void FreeImporterCaches()
{
	for (ImporterCache* cache : Records())
		delete cache;
	Records().clear();
}
