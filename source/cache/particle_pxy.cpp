// particle_pxy.cpp - reading particle .pxy frames.
#include "particle_pxy.h"

#include "cache_internal.h"
#include "cache_types.h"

#include <cmath>
#include <cstddef>
#include <cstring>

// Records are read in pieces of at most this many bytes when they must be decoded.
static const int64_t SCRATCH_MAX_BYTES = 1 << 19;
static const int64_t SCRATCH_MIN_BYTES = 4096;

int PxyRecordBytes(float version)
{
	if (!(version >= 2.0f))
		return 0;
	return version >= 3.0f ? 32 : 28;
}

PxyParticleFrame* OpenPxy(const char* path)
{
	return CacheOpenRecord<PxyParticleFrame>(path, "rb");
}

static void FreeArrays(PxyParticleFrame* frame)
{
	CacheFree(frame->records);
	CacheFree(frame->scratch);
	frame->records = nullptr;
	frame->record_capacity = 0;
	frame->scratch = nullptr;
	frame->scratch_bytes = 0;
	frame->kept_count = 0;
}

// Arrays for count records and a scratch of scratch_bytes, reusing what the frame holds when large
// enough. 0 on a failed allocation (the frame then holds no arrays).
static int PrepareArrays(PxyParticleFrame* frame, int64_t count, int64_t scratch_bytes)
{
	if (frame->record_capacity < count)
	{
		CacheFree(frame->records);
		frame->record_capacity = 0;
		frame->records = CacheAllocArray<PxyParticleRecord>(count);
		if (!frame->records)
		{
			FreeArrays(frame);
			return 0;
		}
		frame->record_capacity = count;
	}
	if (frame->scratch_bytes < scratch_bytes)
	{
		CacheFree(frame->scratch);
		frame->scratch_bytes = 0;
		frame->scratch = CacheAllocArray<unsigned char>(scratch_bytes);
		if (!frame->scratch)
		{
			FreeArrays(frame);
			return 0;
		}
		frame->scratch_bytes = scratch_bytes;
	}
	return 1;
}

static inline void DecodeRecord(PxyParticleRecord* out, const unsigned char* r, bool wide_id, bool native)
{
	const int id_bytes = wide_id ? 8 : 4;
	out->id = wide_id ? LoadI64(r) : static_cast<int64_t>(LoadI32(r));
	// position and velocity follow each other in the record as in the file
	if (native)
	{
		std::memcpy(reinterpret_cast<unsigned char*>(out) + offsetof(PxyParticleRecord, position), r + id_bytes, 24);
		return;
	}
	for (int k = 0; k < 3; ++k)
	{
		out->position[k] = LoadF32(r + id_bytes + 4 * k);
		out->velocity[k] = LoadF32(r + id_bytes + 12 + 4 * k);
	}
}

static int Fail(PxyParticleFrame* frame, const char* why)
{
	frame->kept_count = 0;
	frame->failure = why;
	return 0;
}

int ReadPxy(PxyParticleFrame* frame, float percentage)
{
	if (!frame || !frame->file)
		return 0;
	frame->kept_count = 0;
	frame->failure = CACHE_FAIL_TRUNCATED;
	FILE* f = frame->file;
	const int64_t file_bytes = CacheFileSize(f);
	unsigned char hb[PARTICLE_PXY_HEADER_BYTES];
	if (file_bytes < PARTICLE_PXY_HEADER_BYTES || std::fread(hb, 1, sizeof(hb), f) != sizeof(hb))
		return 0;
	frame->version = LoadF32(hb);
	frame->particle_count = LoadI32(hb + 4);
	// version: an old file (or one whose version is not a number) carries no particles
	const int64_t record_bytes = PxyRecordBytes(frame->version);
	if (record_bytes == 0)
	{
		frame->failure = nullptr;
		return 1;
	}
	// particle count against what the file holds, before anything is allocated
	const int64_t count = frame->particle_count;
	if (count < 0 || count > (file_bytes - PARTICLE_PXY_HEADER_BYTES) / record_bytes)
	{
		frame->failure = CACHE_FAIL_COUNT;
		return 0;
	}
	// what fails from here is a failed allocation or a file cut while it is read
	frame->failure = nullptr;

	const bool all = percentage == 100.0f;
	// no particles, or a share that keeps none (0, negative or not a number)
	if (count == 0 || (!all && !(percentage > 0.0f)))
		return 1;
	const float step = 100.0f / percentage;
	const float half_window = 0.5f / step;
	const bool wide_id = record_bytes == 32;
	const bool native = HostIsLittleEndian();

	// A whole file of 64-bit records on a little-endian host is already the memory layout.
	if (all && wide_id && native)
	{
		if (!PrepareArrays(frame, count, 0))
			return Fail(frame, CACHE_FAIL_MEMORY);
		if (std::fread(frame->records, static_cast<size_t>(record_bytes), static_cast<size_t>(count), f) !=
			static_cast<size_t>(count))
			return Fail(frame, CACHE_FAIL_TRUNCATED);
		frame->kept_count = static_cast<int32_t>(count);
		return 1;
	}

	// Arrays sized for every record: pages of the part that stays unused are never touched.
	int64_t scratch_bytes = count * record_bytes;
	if (scratch_bytes > SCRATCH_MAX_BYTES)
		scratch_bytes = SCRATCH_MAX_BYTES;
	if (scratch_bytes < SCRATCH_MIN_BYTES)
		scratch_bytes = SCRATCH_MIN_BYTES;
	if (!PrepareArrays(frame, count, scratch_bytes))
		return Fail(frame, CACHE_FAIL_MEMORY);
	const int64_t per_chunk = scratch_bytes / record_bytes;
	int64_t kept = 0;
	for (int64_t done = 0; done < count;)
	{
		const int64_t n = count - done < per_chunk ? count - done : per_chunk;
		if (std::fread(frame->scratch, static_cast<size_t>(record_bytes), static_cast<size_t>(n), f) !=
			static_cast<size_t>(n))
			return Fail(frame, CACHE_FAIL_TRUNCATED);
		const unsigned char* r = frame->scratch;
		for (int64_t j = 0; j < n; ++j, r += record_bytes)
			if (all || KeepId(LoadI32(r), step, half_window))
				DecodeRecord(frame->records + kept++, r, wide_id, native);
		done += n;
	}
	frame->kept_count = static_cast<int32_t>(kept);
	return 1;
}

void PxyReuse(PxyParticleFrame* frame, PxyParticleFrame* spare)
{
	if (!spare || spare == frame)
		return;
	if (frame)
	{
		if (spare->record_capacity > frame->record_capacity)
		{
			CacheFree(frame->records);
			frame->records = spare->records;
			frame->record_capacity = spare->record_capacity;
			spare->records = nullptr;
			spare->record_capacity = 0;
		}
		if (spare->scratch_bytes > frame->scratch_bytes)
		{
			CacheFree(frame->scratch);
			frame->scratch = spare->scratch;
			frame->scratch_bytes = spare->scratch_bytes;
			spare->scratch = nullptr;
			spare->scratch_bytes = 0;
		}
		frame->kept_count = 0;
	}
	FreePxy(spare);
}

void ClosePxyFile(PxyParticleFrame* frame)
{
	if (frame)
		CacheCloseFile(&frame->file);
}

void FreePxy(PxyParticleFrame* frame)
{
	if (!frame)
		return;
	ClosePxyFile(frame);
	FreeArrays(frame);
	CacheFree(frame);
}

float GetPxyChannelValue(const PxyParticleFrame* frame, int32_t i, int32_t code)
{
	// 1: velocity
	if (!frame || i < 0 || i >= frame->kept_count || code != 1)
		return 0.0f;
	const float* v = frame->records[i].velocity;
	return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}
