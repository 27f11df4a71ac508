// particle_frame.cpp - format dispatch of loaded particle frames.
#include "particle_frame.h"

#include "cache_internal.h"
#include "cache_types.h"

ParticleFrame* OpenParticleFrame(const char* path, int32_t format)
{
	if (!path || !path[0])
		return nullptr;
	BinParticleFrame* bin = nullptr;
	PxyParticleFrame* pxy = nullptr;
	TpcParticleFrame* tpc = nullptr;
	switch (format)
	{
	case CACHE_PARTICLE_BIN:
		bin = OpenParticleBin(path, 0);
		if (!bin)
			return nullptr;
		break;
	case CACHE_PARTICLE_PXY:
		pxy = OpenPxy(path);
		if (!pxy)
			return nullptr;
		break;
	case CACHE_PARTICLE_TPC:
		tpc = OpenTpc(path);
		if (!tpc)
			return nullptr;
		break;
	default:
		return nullptr;
	}
	ParticleFrame* frame = static_cast<ParticleFrame*>(CacheCalloc(1, sizeof(ParticleFrame)));
	if (!frame)
	{
		FreeParticleBin(bin);
		FreePxy(pxy);
		FreeTpc(tpc);
		return nullptr;
	}
	frame->format = format;
	frame->bin = bin;
	frame->pxy = pxy;
	frame->tpc = tpc;
	return frame;
}

int ReadParticleFrame(ParticleFrame* frame, float percentage)
{
	if (!frame)
		return 0;
	if (frame->bin)
		return ReadParticleBin(frame->bin, percentage);
	if (frame->pxy)
		return ReadPxy(frame->pxy, percentage);
	if (frame->tpc)
		return ReadTpc(frame->tpc, percentage);
	return 0;
}

void CloseParticleFile(ParticleFrame* frame)
{
	if (frame && frame->bin)
		CloseParticleBinFile(frame->bin);
	if (frame && frame->pxy)
		ClosePxyFile(frame->pxy);
	if (frame && frame->tpc)
		CloseTpcFile(frame->tpc);
}

void FreeParticleFrame(ParticleFrame* frame)
{
	if (!frame)
		return;
	FreeParticleBin(frame->bin);
	FreePxy(frame->pxy);
	FreeTpc(frame->tpc);
	CacheFree(frame);
}

int32_t GetParticleCount(const ParticleFrame* frame)
{
	if (frame && frame->bin)
		return frame->bin->kept_count;
	if (frame && frame->pxy)
		return frame->pxy->kept_count;
	if (frame && frame->tpc)
		return frame->tpc->kept_count;
	return 0;
}

const char* GetParticlePath(const ParticleFrame* frame)
{
	if (frame && frame->bin)
		return frame->bin->path;
	if (frame && frame->pxy)
		return frame->pxy->path;
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
	if (frame->pxy)
		return frame->pxy->records[i].id;
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
	const float* v = nullptr;
	if (InRange(frame, i))
		v = frame->bin ? frame->bin->position + 3 * i : frame->pxy ? frame->pxy->records[i].position : nullptr;
	Copy3(out, v);
}

void GetParticleVelocity(const ParticleFrame* frame, int32_t i, float out[3])
{
	if (frame && frame->tpc)
		return GetTpcVelocity(frame->tpc, i, out);
	const float* v = nullptr;
	if (InRange(frame, i))
		v = frame->bin ? frame->bin->velocity + 3 * i : frame->pxy ? frame->pxy->records[i].velocity : nullptr;
	Copy3(out, v);
}

float GetChannelValue(const ParticleFrame* frame, int32_t i, int32_t code)
{
	if (frame && frame->bin)
		return GetBinChannelValue(frame->bin, i, code);
	if (frame && frame->pxy)
		return GetPxyChannelValue(frame->pxy, i, code);
	if (frame && frame->tpc)
		return GetTpcChannelValue(frame->tpc, i, code);
	return 0.0f;
}

void ParticleFrameReuse(ParticleFrame* frame, ParticleFrame* spare)
{
	if (!spare || spare == frame)
		return;
	if (frame && frame->format == spare->format)
	{
		switch (frame->format)
		{
		case CACHE_PARTICLE_BIN:
			if (frame->bin && spare->bin)
			{
				int64_t bytes;
				void* storage = TakeChannelStorage(spare->bin, &bytes);
				GiveChannelStorage(frame->bin, storage, bytes);
			}
			break;
		case CACHE_PARTICLE_PXY:
			PxyReuse(frame->pxy, spare->pxy);
			spare->pxy = nullptr;
			break;
		case CACHE_PARTICLE_TPC:
			TpcReuse(frame->tpc, spare->tpc);
			break;
		default: break; // no recycling: the spare's arrays are freed with it
		}
	}
	FreeParticleFrame(spare);
}

int64_t ParticleFrameArrayBytes(const ParticleFrame* frame)
{
	if (frame && frame->bin)
		return frame->bin->storage_bytes;
	if (frame && frame->pxy)
		return frame->pxy->record_capacity * int64_t(sizeof(PxyParticleRecord)) + frame->pxy->scratch_bytes;
	if (frame && frame->tpc)
		return TpcArrayBytes(frame->tpc);
	return 0;
}
