// particle_frame.cpp - format dispatch of loaded particle frames.
#include "particle_frame.h"

#include "cache_internal.h"
#include "cache_types.h"

ParticleFrame* OpenParticleFrame(const char* path, int32_t format)
{
	if (!path || !path[0])
		return nullptr;
	BinParticleFrame* bin = nullptr;
	TpcParticleFrame* tpc = nullptr;
	switch (format)
	{
	case CACHE_PARTICLE_BIN:
		bin = OpenParticleBin(path, 0);
		if (!bin)
			return nullptr;
		break;
	case CACHE_PARTICLE_TPC:
		tpc = OpenTpc(path);
		if (!tpc)
			return nullptr;
		break;
	case CACHE_PARTICLE_PXY: // .pxy reader not yet part of the library
	default:
		return nullptr;
	}
	ParticleFrame* frame = static_cast<ParticleFrame*>(CacheCalloc(1, sizeof(ParticleFrame)));
	if (!frame)
	{
		FreeParticleBin(bin);
		FreeTpc(tpc);
		return nullptr;
	}
	frame->format = format;
	frame->bin = bin;
	frame->tpc = tpc;
	return frame;
}

int ReadParticleFrame(ParticleFrame* frame, float percentage)
{
	if (!frame)
		return 0;
	if (frame->bin)
		return ReadParticleBin(frame->bin, percentage);
	if (frame->tpc)
		return ReadTpc(frame->tpc, percentage);
	return 0;
}

void CloseParticleFile(ParticleFrame* frame)
{
	if (frame && frame->bin)
		CloseParticleBinFile(frame->bin);
	if (frame && frame->tpc)
		CloseTpcFile(frame->tpc);
}

void FreeParticleFrame(ParticleFrame* frame)
{
	if (!frame)
		return;
	FreeParticleBin(frame->bin);
	FreeTpc(frame->tpc);
	CacheFree(frame);
}

int32_t GetParticleCount(const ParticleFrame* frame)
{
	if (frame && frame->bin)
		return frame->bin->kept_count;
	if (frame && frame->tpc)
		return frame->tpc->kept_count;
	return 0;
}

const char* GetParticlePath(const ParticleFrame* frame)
{
	if (frame && frame->bin)
		return frame->bin->path;
	if (frame && frame->tpc)
		return frame->tpc->path;
	return "";
}

static bool InRange(const ParticleFrame* frame, int32_t i)
{
	return i >= 0 && i < GetParticleCount(frame);
}

int64_t GetParticleId(const ParticleFrame* frame, int32_t i)
{
	if (!InRange(frame, i))
		return -1;
	if (frame->bin)
		return frame->bin->id[i];
	if (frame->tpc)
		return GetTpcId(frame->tpc, i);
	return -1;
}

static void Copy3(float out[3], const float* v)
{
	out[0] = v ? v[0] : 0.0f;
	out[1] = v ? v[1] : 0.0f;
	out[2] = v ? v[2] : 0.0f;
}

void GetParticlePosition(const ParticleFrame* frame, int32_t i, float out[3])
{
	if (frame && frame->tpc)
		return GetTpcPosition(frame->tpc, i, out);
	Copy3(out, InRange(frame, i) && frame->bin ? frame->bin->position + 3 * i : nullptr);
}

void GetParticleVelocity(const ParticleFrame* frame, int32_t i, float out[3])
{
	if (frame && frame->tpc)
		return GetTpcVelocity(frame->tpc, i, out);
	Copy3(out, InRange(frame, i) && frame->bin ? frame->bin->velocity + 3 * i : nullptr);
}

float GetChannelValue(const ParticleFrame* frame, int32_t i, int32_t code)
{
	if (frame && frame->bin)
		return GetBinChannelValue(frame->bin, i, code);
	if (frame && frame->tpc)
		return GetTpcChannelValue(frame->tpc, i, code);
	return 0.0f;
}

void GiveParticleStorage(ParticleFrame* frame, void* storage, int64_t storage_bytes)
{
	if (frame && frame->bin)
		GiveChannelStorage(frame->bin, storage, storage_bytes);
	else
		CacheFree(storage);
}

void* TakeParticleStorage(ParticleFrame* frame, int64_t* storage_bytes)
{
	if (frame && frame->bin)
		return TakeChannelStorage(frame->bin, storage_bytes);
	if (storage_bytes)
		*storage_bytes = 0;
	return nullptr;
}
