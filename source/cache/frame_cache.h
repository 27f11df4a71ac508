// frame_cache.h - the loaded frames of one importer: frame mapping, slots and their loading.
//
// A slot holds the frame of one sequence frame: a ParticleFrame* for the particle codes, the mesh
// handle for the mesh codes. Flushed frame records of every format are kept whole, at most one per
// slot, until ReleaseCache: the next load of the same format reads into their arrays instead of
// memory fresh from the system.
//
// A table remembers the settings its slots were laid out and loaded for (FrameCacheLayout);
// GetFrame lays it out anew whenever it is asked with settings that would fill the slots
// differently, however the table and its owner came to be.
//
// A sequence without frame number (token $F0, or no token) names one file for every frame: it is
// laid out as one slot, loaded once, whatever its range reads.
#pragma once

#include "cache_types.h"
#include "frame_sequence.h"
#include "particle_frame.h"

#include <cstdint>

struct MeshHandle;

enum FrameCacheMode : int32_t
{
	FRAME_CACHE_ONE = 0, // one frame at a time
	FRAME_CACHE_WINDOW = 1, // read-ahead window of 2r + 1 frames
	FRAME_CACHE_ALL = 2, // the whole sequence, loaded at InitCache
};

struct FrameCacheSettings
{
	FrameSequence* sequence; // nothing loads without it
	int32_t mode;
	int32_t window_radius;
	int32_t offset; // subtracted from the host frame
	float load_percentage; // 100 = all particles
	bool reverse;
	bool hold; // keep serving the frame served last
	bool hold_ends; // beyond the last frame serve the end frame instead of nothing
	// Velocity scale entries handed to the mesh reader after a read of a mesh .bin; the mesh
	// layer defines the entry type.
	const void* velocity_scale_entries;
	int32_t velocity_scale_count;
};

struct FrameSlot
{
	int32_t format; // the sequence's format code when the slot was loaded
	void* frame; // ParticleFrame* or mesh handle; nullptr = empty
};

// What decides the number of slots and what they hold. Values that do not matter in a mode are
// kept at 0 (the radius outside mode 1, the range outside mode 2, the velocity scale entries
// outside mesh .bin), so that changing them does not reload anything.
struct FrameCacheLayout
{
	bool laid_out; // false: never laid out, or released
	bool has_sequence;
	bool named; // the sequence has a name (without one every slot stays empty)
	int32_t format;
	int32_t mode;
	int32_t window_radius;
	int32_t first, last;
	float load_percentage;
	char pattern[SEQUENCE_PATH_SIZE];
	void* velocity_scale_entries; // owned copy
	int32_t velocity_scale_count;
};

struct FrameCache
{
	FrameSlot* slots;
	int32_t count;
	int32_t low; // sequence frame of slot 0
	int32_t high; // sequence frame of the last loaded slot
	int32_t current; // sequence frame served last
	int32_t generation; // changes with every load and flush

	FrameSlot* spares; // flushed records of any format, arrays kept; room for one per slot
	int32_t spare_count;

	FrameCacheLayout layout;
};

// Starts from a zeroed or released cache. Mode 2 loads the whole sequence here.
void InitCache(FrameCache* cache, const FrameCacheSettings* settings);
void FlushCache(FrameCache* cache, const FrameCacheSettings* settings);
void ReleaseCache(FrameCache* cache, const FrameCacheSettings* settings);
void ResetCache(FrameCache* cache, const FrameCacheSettings* settings);

// The sequence frame to show for a host frame, or -1 for none.
int32_t MapFrame(const FrameCache* cache, const FrameCacheSettings* settings, int32_t host_frame);
// The slot to show for a host frame, or nullptr when it is empty. Valid until the next flush,
// which a caller notices by the generation. A table laid out for other settings is laid out anew
// first (its arrays are kept for the new slots; mode 2 loads the whole sequence there).
const FrameSlot* GetFrame(FrameCache* cache, const FrameCacheSettings* settings, int32_t host_frame);
// The particle frame of a slot, or nullptr for an empty or mesh slot.
ParticleFrame* SlotParticleFrame(const FrameSlot* slot);
// The mesh handle of a slot, or nullptr for an empty or particle slot.
MeshHandle* SlotMeshHandle(const FrameSlot* slot);

// Whether the settings would lay the table out and fill its slots as it is now.
bool CacheLaidOutFor(const FrameCache* cache, const FrameCacheSettings* settings);
// Whether every frame of the sequence names the same file (token $F0 or none).
bool SequenceIsSingleFile(const FrameSequence* sequence);

void LoadOne(FrameCache* cache, const FrameCacheSettings* settings, int32_t frame);
void LoadRange(FrameCache* cache, const FrameCacheSettings* settings, int32_t first, int32_t last);
