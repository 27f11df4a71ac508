// particle_frame.h - one loaded particle frame, whatever its file format.
//
// Each operation looks at the one format record that is set.
#pragma once

#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_tpc.h"

#include <cstdint>

struct ParticleFrame
{
	int32_t format; // CACHE_PARTICLE_BIN, CACHE_PARTICLE_PXY or CACHE_PARTICLE_TPC
	BinParticleFrame* bin;
	PxyParticleFrame* pxy;
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

// Recycling for the frame cache: moves the arrays of spare (a flushed frame of the same format)
// into frame, which has not been read yet, so that its read fills memory already mapped; then
// frees spare. Arrays too small for the next read are reallocated by it; a format that cannot
// reuse simply frees spare. Either may be nullptr.
void ParticleFrameReuse(ParticleFrame* frame, ParticleFrame* spare);
// Bytes of arrays a frame holds for reuse.
int64_t ParticleFrameArrayBytes(const ParticleFrame* frame);
