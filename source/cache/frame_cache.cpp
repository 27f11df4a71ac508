// frame_cache.cpp - loaded frames of a sequence.
#include "frame_cache.h"

#include "cache_internal.h"
#include "mesh_bin.h"

// --- spare storage

static void KeepSpare(FrameCache* cache, void* storage, int64_t bytes)
{
	if (!storage)
		return;
	if (cache->spare_storage && cache->spare_count < cache->count)
	{
		cache->spare_storage[cache->spare_count] = storage;
		cache->spare_bytes[cache->spare_count] = bytes;
		++cache->spare_count;
		return;
	}
	CacheFree(storage);
}

// The largest spare block, or nullptr.
static void* TakeSpare(FrameCache* cache, int64_t* bytes)
{
	*bytes = 0;
	if (cache->spare_count < 1)
		return nullptr;
	int32_t best = 0;
	for (int32_t k = 1; k < cache->spare_count; ++k)
		if (cache->spare_bytes[k] > cache->spare_bytes[best])
			best = k;
	void* storage = cache->spare_storage[best];
	*bytes = cache->spare_bytes[best];
	--cache->spare_count;
	cache->spare_storage[best] = cache->spare_storage[cache->spare_count];
	cache->spare_bytes[best] = cache->spare_bytes[cache->spare_count];
	return storage;
}

static void FreeSpares(FrameCache* cache)
{
	for (int32_t k = 0; k < cache->spare_count; ++k)
		CacheFree(cache->spare_storage[k]);
	cache->spare_count = 0;
	CacheFree(cache->spare_storage);
	CacheFree(cache->spare_bytes);
	cache->spare_storage = nullptr;
	cache->spare_bytes = nullptr;
}

// --- mesh frames. A flushed mesh handle is kept whole (one per slot at most) and hands its arrays
// to the next frame read, so that a moving timeline reads into memory that is already mapped.

static void KeepSpareMesh(FrameCache* cache, MeshHandle* handle)
{
	if (!handle)
		return;
	if (cache->spare_meshes && cache->spare_mesh_count < cache->count)
	{
		cache->spare_meshes[cache->spare_mesh_count++] = handle;
		return;
	}
	MeshHandleFree(handle);
}

static MeshHandle* TakeSpareMesh(FrameCache* cache)
{
	if (cache->spare_mesh_count < 1)
		return nullptr;
	return static_cast<MeshHandle*>(cache->spare_meshes[--cache->spare_mesh_count]);
}

static void FreeSpareMeshes(FrameCache* cache)
{
	for (int32_t k = 0; k < cache->spare_mesh_count; ++k)
		MeshHandleFree(static_cast<MeshHandle*>(cache->spare_meshes[k]));
	cache->spare_mesh_count = 0;
	CacheFree(cache->spare_meshes);
	cache->spare_meshes = nullptr;
}

static void* LoadMeshFrame(FrameCache* cache, const char* path, int32_t format, const FrameCacheSettings* settings)
{
	MeshHandle* handle = MeshHandleOpen(path, format);
	if (!handle)
		return nullptr;
	MeshHandleReuse(handle, TakeSpareMesh(cache));
	int ok = MeshHandleRead(handle, settings->load_percentage);
	if (ok && format == CACHE_MESH_BIN && settings->velocity_scale_count > 0)
		MeshScaleVelocities(handle, static_cast<const MeshVelocityScaleEntry*>(settings->velocity_scale_entries),
			settings->velocity_scale_count);
	MeshHandleCloseFile(handle);
	if (!ok)
	{
		// What the failed read allocated still serves the next frame.
		KeepSpareMesh(cache, handle);
		return nullptr;
	}
	return handle;
}

// --- slots

static void* LoadParticles(FrameCache* cache, const char* path, int32_t format, float percentage)
{
	ParticleFrame* frame = OpenParticleFrame(path, format);
	if (!frame)
		return nullptr;
	int64_t bytes;
	void* spare = TakeSpare(cache, &bytes);
	if (spare)
		GiveParticleStorage(frame, spare, bytes);
	int ok = ReadParticleFrame(frame, percentage);
	CloseParticleFile(frame);
	if (!ok)
	{
		spare = TakeParticleStorage(frame, &bytes);
		KeepSpare(cache, spare, bytes);
		FreeParticleFrame(frame);
		return nullptr;
	}
	return frame;
}

static void EmptySlot(FrameCache* cache, FrameSlot* slot)
{
	if (!slot->frame)
		return;
	if (IsParticleFormat(slot->format))
	{
		ParticleFrame* frame = static_cast<ParticleFrame*>(slot->frame);
		int64_t bytes;
		void* storage = TakeParticleStorage(frame, &bytes);
		KeepSpare(cache, storage, bytes);
		FreeParticleFrame(frame);
	}
	else if (IsMeshFormat(slot->format))
	{
		KeepSpareMesh(cache, static_cast<MeshHandle*>(slot->frame));
	}
	slot->frame = nullptr;
}

static void LoadSlot(FrameCache* cache, const FrameCacheSettings* settings, int32_t index, int32_t frame)
{
	if (index < 0 || index >= cache->count)
		return;
	FrameSlot* slot = &cache->slots[index];
	EmptySlot(cache, slot);
	FrameSequence* sequence = settings->sequence;
	slot->format = sequence->format;
	if (sequence->name[0] == '\0')
		return;
	char path[SEQUENCE_PATH_SIZE];
	sequence->GetFileName(frame, 0, path);
	if (path[0] == '\0')
		return;
	if (IsParticleFormat(sequence->format))
		slot->frame = LoadParticles(cache, path, sequence->format, settings->load_percentage);
	else if (IsMeshFormat(sequence->format))
		slot->frame = LoadMeshFrame(cache, path, sequence->format, settings);
}

void LoadOne(FrameCache* cache, const FrameCacheSettings* settings, int32_t frame)
{
	if (!cache || !settings || !settings->sequence)
		return;
	LoadSlot(cache, settings, 0, frame);
	cache->low = cache->high = frame;
	++cache->generation;
}

void LoadRange(FrameCache* cache, const FrameCacheSettings* settings, int32_t first, int32_t last)
{
	if (!cache || !settings || !settings->sequence)
		return;
	for (int64_t f = first; f <= last && f - first < cache->count; ++f)
		LoadSlot(cache, settings, static_cast<int32_t>(f - first), static_cast<int32_t>(f));
	cache->low = first;
	cache->high = last;
	++cache->generation;
}

static int32_t SlotCount(const FrameCacheSettings* settings)
{
	const FrameSequence* sequence = settings->sequence;
	if (!sequence || !(IsParticleFormat(sequence->format) || IsMeshFormat(sequence->format)))
		return 0;
	int64_t count = 0;
	switch (settings->mode)
	{
	case FRAME_CACHE_ONE: count = 1; break;
	case FRAME_CACHE_WINDOW: count = settings->window_radius < 0 ? 0 : 2 * int64_t(settings->window_radius) + 1; break;
	case FRAME_CACHE_ALL: count = int64_t(sequence->last) - sequence->first + 1; break;
	default: count = 0; break;
	}
	return count < 1 || count > INT32_MAX ? 0 : static_cast<int32_t>(count);
}

void InitCache(FrameCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return;
	cache->slots = nullptr;
	cache->count = 0;
	cache->spare_storage = nullptr;
	cache->spare_bytes = nullptr;
	cache->spare_count = 0;
	cache->spare_meshes = nullptr;
	cache->spare_mesh_count = 0;
	cache->current = -1;
	// No frame is held yet: -1 rather than 0, so that a window asked for frame 0 first loads it.
	cache->low = cache->high = -1;
	cache->generation = 0;
	if (!settings || !settings->sequence)
		return;
	int32_t count = SlotCount(settings);
	if (count < 1)
		return;
	cache->slots = static_cast<FrameSlot*>(CacheCalloc(static_cast<size_t>(count), sizeof(FrameSlot)));
	cache->spare_storage = static_cast<void**>(CacheCalloc(static_cast<size_t>(count), sizeof(void*)));
	cache->spare_bytes = static_cast<int64_t*>(CacheCalloc(static_cast<size_t>(count), sizeof(int64_t)));
	cache->spare_meshes = static_cast<void**>(CacheCalloc(static_cast<size_t>(count), sizeof(void*)));
	if (!cache->slots || !cache->spare_storage || !cache->spare_bytes || !cache->spare_meshes)
	{
		CacheFree(cache->slots);
		cache->slots = nullptr;
		FreeSpares(cache);
		FreeSpareMeshes(cache);
		return;
	}
	cache->count = count;
	for (int32_t k = 0; k < count; ++k)
		cache->slots[k].format = settings->sequence->format;
	if (settings->mode == FRAME_CACHE_ALL)
		LoadRange(cache, settings, settings->sequence->first, settings->sequence->last);
}

void FlushCache(FrameCache* cache, const FrameCacheSettings* settings)
{
	(void)settings; // each slot remembers the format it was loaded with
	if (!cache)
		return;
	for (int32_t k = 0; k < cache->count; ++k)
		EmptySlot(cache, &cache->slots[k]);
	++cache->generation;
	cache->low = cache->high = cache->current = -1;
}

void ReleaseCache(FrameCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return;
	FlushCache(cache, settings);
	FreeSpares(cache);
	FreeSpareMeshes(cache);
	CacheFree(cache->slots);
	cache->slots = nullptr;
	cache->count = 0;
}

void ResetCache(FrameCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return;
	ReleaseCache(cache, settings);
	InitCache(cache, settings);
}

int32_t MapFrame(const FrameCache* cache, const FrameCacheSettings* settings, int32_t host_frame)
{
	(void)cache;
	if (!settings || !settings->sequence)
		return -1;
	const int64_t first = settings->sequence->first, last = settings->sequence->last;
	const int64_t f = int64_t(host_frame) - settings->offset;
	if (f < first)
		return -1;
	if (f <= last)
		return static_cast<int32_t>(settings->reverse ? last - f + first : f);
	if (settings->hold_ends)
		return static_cast<int32_t>(settings->reverse ? first : last);
	return -1;
}

static const FrameSlot* Serve(const FrameCache* cache, int64_t index)
{
	if (index < 0 || index >= cache->count || !cache->slots[index].frame)
		return nullptr;
	return &cache->slots[index];
}

const FrameSlot* GetFrame(FrameCache* cache, const FrameCacheSettings* settings, int32_t host_frame)
{
	if (!cache || !settings)
		return nullptr;
	const int32_t f = settings->hold ? cache->current : MapFrame(cache, settings, host_frame);
	const FrameSlot* served = nullptr;
	if (cache->count >= 1 && f >= 0)
	{
		switch (settings->mode)
		{
		case FRAME_CACHE_ONE:
			if (f != cache->current)
			{
				FlushCache(cache, settings);
				LoadOne(cache, settings, f);
			}
			served = Serve(cache, 0);
			break;
		case FRAME_CACHE_WINDOW:
			if (f < cache->low || f > cache->high)
			{
				FlushCache(cache, settings);
				LoadRange(cache, settings, f, static_cast<int32_t>(int64_t(f) + 2 * int64_t(settings->window_radius)));
			}
			served = Serve(cache, int64_t(f) - cache->low);
			break;
		case FRAME_CACHE_ALL:
			if (f >= cache->low && f <= cache->high)
				served = Serve(cache, int64_t(f) - cache->low);
			break;
		default: break;
		}
	}
	cache->current = f;
	return served;
}

ParticleFrame* SlotParticleFrame(const FrameSlot* slot)
{
	if (!slot || !slot->frame || !IsParticleFormat(slot->format))
		return nullptr;
	return static_cast<ParticleFrame*>(slot->frame);
}

MeshHandle* SlotMeshHandle(const FrameSlot* slot)
{
	if (!slot || !slot->frame || !IsMeshFormat(slot->format))
		return nullptr;
	return static_cast<MeshHandle*>(slot->frame);
}
