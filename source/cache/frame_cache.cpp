// frame_cache.cpp - loaded frames of a sequence.
#include "frame_cache.h"

#include "cache_internal.h"
#include "mesh_bin.h"

#include <cstring>

// --- frame records, whatever their format. One dispatch serves loading, recycling and freeing: a new
// particle format needs only its branch of ParticleFrameReuse, a new mesh format its branch of
// MeshHandleReuse; a format without one simply reads into fresh arrays.

struct FrameFormatOps
{
	void* (*open)(const char* path, int32_t format);
	// Moves the arrays of a flushed record of the same format into a record not yet read; frees spare.
	void (*reuse)(void* frame, void* spare);
	int (*read)(void* frame, int32_t format, const FrameCacheSettings* settings);
	void (*close)(void* frame);
	void (*free)(void* frame);
	int64_t (*array_bytes)(const void* frame);
};

static void* OpenParticles(const char* path, int32_t format)
{
	return OpenParticleFrame(path, format);
}

static void ReuseParticles(void* frame, void* spare)
{
	ParticleFrameReuse(static_cast<ParticleFrame*>(frame), static_cast<ParticleFrame*>(spare));
}

static int ReadParticles(void* frame, int32_t format, const FrameCacheSettings* settings)
{
	(void)format;
	return ReadParticleFrame(static_cast<ParticleFrame*>(frame), settings->load_percentage);
}

static void CloseParticles(void* frame)
{
	CloseParticleFile(static_cast<ParticleFrame*>(frame));
}

static void FreeParticles(void* frame)
{
	FreeParticleFrame(static_cast<ParticleFrame*>(frame));
}

static int64_t ParticleArrayBytes(const void* frame)
{
	return ParticleFrameArrayBytes(static_cast<const ParticleFrame*>(frame));
}

static void* OpenMesh(const char* path, int32_t format)
{
	return MeshHandleOpen(path, format);
}

static void ReuseMesh(void* frame, void* spare)
{
	MeshHandleReuse(static_cast<MeshHandle*>(frame), static_cast<MeshHandle*>(spare));
}

static int ReadMesh(void* frame, int32_t format, const FrameCacheSettings* settings)
{
	MeshHandle* handle = static_cast<MeshHandle*>(frame);
	int ok = MeshHandleRead(handle, settings->load_percentage);
	if (ok && format == CACHE_MESH_BIN && settings->velocity_scale_count > 0)
		MeshScaleVelocities(handle, static_cast<const MeshVelocityScaleEntry*>(settings->velocity_scale_entries),
			settings->velocity_scale_count);
	return ok;
}

static void CloseMesh(void* frame)
{
	MeshHandleCloseFile(static_cast<MeshHandle*>(frame));
}

static void FreeMesh(void* frame)
{
	MeshHandleFree(static_cast<MeshHandle*>(frame));
}

static int64_t MeshArrayBytes(const void* frame)
{
	(void)frame; // one mesh record is as good as another: the read reallocates what is too small
	return 0;
}

static const FrameFormatOps PARTICLE_OPS = {OpenParticles, ReuseParticles, ReadParticles, CloseParticles, FreeParticles,
	ParticleArrayBytes};
static const FrameFormatOps MESH_OPS = {OpenMesh, ReuseMesh, ReadMesh, CloseMesh, FreeMesh, MeshArrayBytes};

// nullptr for a code without a reader.
static const FrameFormatOps* OpsFor(int32_t format)
{
	if (IsParticleFormat(format))
		return &PARTICLE_OPS;
	if (IsMeshFormat(format))
		return &MESH_OPS;
	return nullptr;
}

// --- spare records: flushed frames of any format, kept whole (one per slot at most) so that the
// next load of the same format reads into arrays that are already mapped.

static void FreeRecord(int32_t format, void* frame)
{
	const FrameFormatOps* ops = OpsFor(format);
	if (ops && frame)
		ops->free(frame);
}

static void KeepSpare(FrameCache* cache, int32_t format, void* frame)
{
	if (!frame)
		return;
	if (cache->spares && cache->spare_count < cache->count)
	{
		cache->spares[cache->spare_count].format = format;
		cache->spares[cache->spare_count].frame = frame;
		++cache->spare_count;
		return;
	}
	FreeRecord(format, frame);
}

// The spare of this format holding the most array bytes, or nullptr.
static void* TakeSpare(FrameCache* cache, int32_t format)
{
	const FrameFormatOps* ops = OpsFor(format);
	int32_t best = -1;
	int64_t best_bytes = -1;
	for (int32_t k = 0; ops && k < cache->spare_count; ++k)
	{
		if (cache->spares[k].format != format)
			continue;
		const int64_t bytes = ops->array_bytes(cache->spares[k].frame);
		if (bytes > best_bytes)
		{
			best = k;
			best_bytes = bytes;
		}
	}
	if (best < 0)
		return nullptr;
	void* frame = cache->spares[best].frame;
	cache->spares[best] = cache->spares[--cache->spare_count];
	return frame;
}

static void FreeSpares(FrameCache* cache)
{
	for (int32_t k = 0; k < cache->spare_count; ++k)
		FreeRecord(cache->spares[k].format, cache->spares[k].frame);
	cache->spare_count = 0;
	CacheFree(cache->spares);
	cache->spares = nullptr;
}

// --- slots

static void* LoadRecord(FrameCache* cache, const char* path, int32_t format, const FrameCacheSettings* settings)
{
	const FrameFormatOps* ops = OpsFor(format);
	if (!ops)
		return nullptr;
	void* frame = ops->open(path, format);
	if (!frame)
		return nullptr;
	ops->reuse(frame, TakeSpare(cache, format));
	const int ok = ops->read(frame, format, settings);
	ops->close(frame);
	if (!ok)
	{
		// What the failed read allocated still serves the next frame.
		KeepSpare(cache, format, frame);
		return nullptr;
	}
	return frame;
}

static void EmptySlot(FrameCache* cache, FrameSlot* slot)
{
	KeepSpare(cache, slot->format, slot->frame);
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
	slot->frame = LoadRecord(cache, path, sequence->format, settings);
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

// --- layout

bool SequenceIsSingleFile(const FrameSequence* sequence)
{
	if (!sequence)
		return false;
	const int token = sequence->FindToken();
	return token < 0 || sequence->pattern[token + 2] == '0';
}

// The layout the settings ask for. The velocity scale entries are the settings' own, not a copy.
static void DescribeLayout(const FrameCacheSettings* settings, FrameCacheLayout* out)
{
	std::memset(out, 0, sizeof(*out));
	out->laid_out = true;
	const FrameSequence* sequence = settings ? settings->sequence : nullptr;
	if (!sequence)
		return;
	out->has_sequence = true;
	out->named = sequence->name[0] != '\0';
	out->format = sequence->format;
	out->mode = settings->mode;
	if (settings->mode == FRAME_CACHE_WINDOW)
		out->window_radius = settings->window_radius;
	if (settings->mode == FRAME_CACHE_ALL && !SequenceIsSingleFile(sequence))
	{
		out->first = sequence->first;
		out->last = sequence->last;
	}
	out->load_percentage = settings->load_percentage;
	std::memcpy(out->pattern, sequence->pattern, sizeof(out->pattern));
	out->pattern[sizeof(out->pattern) - 1] = '\0';
	if (sequence->format == CACHE_MESH_BIN && settings->velocity_scale_entries && settings->velocity_scale_count > 0)
	{
		out->velocity_scale_entries = const_cast<void*>(settings->velocity_scale_entries);
		out->velocity_scale_count = settings->velocity_scale_count;
	}
}

static bool SameLayout(const FrameCacheLayout* a, const FrameCacheLayout* b)
{
	if (a->laid_out != b->laid_out || a->has_sequence != b->has_sequence || a->named != b->named ||
		a->format != b->format || a->mode != b->mode || a->window_radius != b->window_radius || a->first != b->first ||
		a->last != b->last || a->velocity_scale_count != b->velocity_scale_count)
		return false;
	// bitwise, so that a NaN percentage does not lay the table out at every frame
	if (std::memcmp(&a->load_percentage, &b->load_percentage, sizeof(float)) != 0)
		return false;
	if (std::strcmp(a->pattern, b->pattern) != 0)
		return false;
	return a->velocity_scale_count == 0 ||
		std::memcmp(a->velocity_scale_entries, b->velocity_scale_entries,
			static_cast<size_t>(a->velocity_scale_count) * sizeof(MeshVelocityScaleEntry)) == 0;
}

static void ForgetLayout(FrameCache* cache)
{
	CacheFree(cache->layout.velocity_scale_entries);
	std::memset(&cache->layout, 0, sizeof(cache->layout));
}

// Remembers the layout with a copy of its entries. Without memory for the copy the table stays
// "not laid out", so that the next GetFrame tries again.
static void KeepLayout(FrameCache* cache, const FrameCacheLayout* wanted)
{
	ForgetLayout(cache);
	void* entries = nullptr;
	if (wanted->velocity_scale_count > 0)
	{
		const size_t bytes = static_cast<size_t>(wanted->velocity_scale_count) * sizeof(MeshVelocityScaleEntry);
		entries = CacheAlloc(bytes);
		if (!entries)
			return;
		std::memcpy(entries, wanted->velocity_scale_entries, bytes);
	}
	cache->layout = *wanted;
	cache->layout.velocity_scale_entries = entries;
}

bool CacheLaidOutFor(const FrameCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return false;
	FrameCacheLayout wanted;
	DescribeLayout(settings, &wanted);
	return SameLayout(&cache->layout, &wanted);
}

static int32_t SlotCount(const FrameCacheSettings* settings)
{
	const FrameSequence* sequence = settings->sequence;
	if (!sequence || !(IsParticleFormat(sequence->format) || IsMeshFormat(sequence->format)))
		return 0;
	if (settings->mode < FRAME_CACHE_ONE || settings->mode > FRAME_CACHE_ALL)
		return 0;
	// One file however the range reads: ten million slots of the same file would never finish loading.
	if (SequenceIsSingleFile(sequence))
		return 1;
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

// The slot and spare arrays of the layout the settings ask for, and that layout; loads nothing.
// The table has no slot arrays on entry.
static void LayOut(FrameCache* cache, const FrameCacheSettings* settings)
{
	FrameCacheLayout wanted;
	DescribeLayout(settings, &wanted);
	KeepLayout(cache, &wanted);
	if (!settings || !settings->sequence)
		return;
	int32_t count = SlotCount(settings);
	if (count < 1)
		return;
	cache->slots = static_cast<FrameSlot*>(CacheCalloc(static_cast<size_t>(count), sizeof(FrameSlot)));
	cache->spares = static_cast<FrameSlot*>(CacheCalloc(static_cast<size_t>(count), sizeof(FrameSlot)));
	if (!cache->slots || !cache->spares)
	{
		CacheFree(cache->slots);
		cache->slots = nullptr;
		FreeSpares(cache);
		return;
	}
	cache->count = count;
	for (int32_t k = 0; k < count; ++k)
		cache->slots[k].format = settings->sequence->format;
}

// The frame a single file is held as: every frame of it is the same.
static const int32_t SINGLE_FILE_FRAME = 0;

static void LoadWholeSequence(FrameCache* cache, const FrameCacheSettings* settings)
{
	if (SequenceIsSingleFile(settings->sequence))
		LoadRange(cache, settings, SINGLE_FILE_FRAME, SINGLE_FILE_FRAME);
	else
		LoadRange(cache, settings, settings->sequence->first, settings->sequence->last);
}

void InitCache(FrameCache* cache, const FrameCacheSettings* settings)
{
	if (!cache)
		return;
	cache->slots = nullptr;
	cache->count = 0;
	cache->spares = nullptr;
	cache->spare_count = 0;
	std::memset(&cache->layout, 0, sizeof(cache->layout));
	cache->current = -1;
	// No frame is held yet: -1 rather than 0, so that a window asked for frame 0 first loads it.
	cache->low = cache->high = -1;
	cache->generation = 0;
	LayOut(cache, settings);
	if (cache->count > 0 && settings->mode == FRAME_CACHE_ALL)
		LoadWholeSequence(cache, settings);
}

// Lays a table out for new settings. The arrays of its frames are kept for the new slots (as many
// as there is room for), so that a new layout takes no more fresh memory than it needs.
static void Relayout(FrameCache* cache, const FrameCacheSettings* settings)
{
	FlushCache(cache, settings);
	FrameSlot* spares = cache->spares;
	const int32_t spare_count = cache->spare_count;
	cache->spares = nullptr;
	cache->spare_count = 0;
	CacheFree(cache->slots);
	cache->slots = nullptr;
	cache->count = 0;
	LayOut(cache, settings);
	// Records of another format could never be reused by this table.
	const int32_t format = settings && settings->sequence ? settings->sequence->format : CACHE_NONE;
	for (int32_t k = 0; k < spare_count; ++k)
	{
		if (spares[k].format == format)
			KeepSpare(cache, spares[k].format, spares[k].frame);
		else
			FreeRecord(spares[k].format, spares[k].frame);
	}
	CacheFree(spares);
	if (cache->count > 0 && settings->mode == FRAME_CACHE_ALL)
		LoadWholeSequence(cache, settings);
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
	CacheFree(cache->slots);
	cache->slots = nullptr;
	cache->count = 0;
	ForgetLayout(cache);
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
	if (!CacheLaidOutFor(cache, settings))
		Relayout(cache, settings);
	const int32_t f = settings->hold ? cache->current : MapFrame(cache, settings, host_frame);
	// The sequence frame that would hold f: a single file holds every frame as one.
	const bool single = SequenceIsSingleFile(settings->sequence);
	const int32_t held = single && f >= 0 ? SINGLE_FILE_FRAME : f;
	const FrameSlot* served = nullptr;
	if (cache->count >= 1 && f >= 0)
	{
		switch (settings->mode)
		{
		case FRAME_CACHE_ONE:
			// a single file is loaded once; any other frame is loaded when it differs from the last served
			if (single ? held != cache->low : f != cache->current)
			{
				FlushCache(cache, settings);
				LoadOne(cache, settings, held);
			}
			served = Serve(cache, 0);
			break;
		case FRAME_CACHE_WINDOW:
			if (held < cache->low || held > cache->high)
			{
				FlushCache(cache, settings);
				const int64_t span = single ? 0 : 2 * int64_t(settings->window_radius);
				LoadRange(cache, settings, held, static_cast<int32_t>(int64_t(held) + span));
			}
			served = Serve(cache, int64_t(held) - cache->low);
			break;
		case FRAME_CACHE_ALL:
			if (held >= cache->low && held <= cache->high)
				served = Serve(cache, int64_t(held) - cache->low);
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
