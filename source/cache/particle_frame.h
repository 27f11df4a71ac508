// particle_frame.h - one loaded particle frame, whatever its file format.
//
// Each operation looks at the one format record that is set. The .pxy and .tpc readers join
// through the marked branches of particle_frame.cpp; until then those formats open as nothing.
#pragma once

#include "particle_bin.h"
#include "particle_tpc.h"

#include <cstdint>

struct ParticleFrame
{
	int32_t format; // CACHE_PARTICLE_BIN, CACHE_PARTICLE_PXY or CACHE_PARTICLE_TPC
	BinParticleFrame* bin;
	void* pxy; // the .pxy reader's record, once it exists
	TpcParticleFrame* tpc;
};

// nullptr for an empty path, a code that is not a particle format with a reader, or a file that
// cannot be opened.
ParticleFrame* OpenParticleFrame(const char* path, int32_t format);
int ReadParticleFrame(ParticleFrame* frame, float percentage);
void CloseParticleFile(ParticleFrame* frame);
void FreeParticleFrame(ParticleFrame* frame);

// Accessors: an empty frame or an index out of range gives count 0, path "", id -1 and zero vectors.
int32_t GetParticleCount(const ParticleFrame* frame);
const char* GetParticlePath(const ParticleFrame* frame);
int64_t GetParticleId(const ParticleFrame* frame, int32_t i);
void GetParticlePosition(const ParticleFrame* frame, int32_t i, float out[3]);
void GetParticleVelocity(const ParticleFrame* frame, int32_t i, float out[3]);
float GetChannelValue(const ParticleFrame* frame, int32_t i, int32_t code);

// Storage recycling for the frame cache: hand a spare block to a frame before reading, take the
// block of a frame before freeing it. Formats without recycling free what they are given.
void GiveParticleStorage(ParticleFrame* frame, void* storage, int64_t storage_bytes);
void* TakeParticleStorage(ParticleFrame* frame, int64_t* storage_bytes);
