// particle_bin.cpp - reading and writing particle .bin frames.
#include "particle_bin.h"

#include "cache_internal.h"
#include "cache_types.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Bytes per particle of the channel arrays: id 8, six float vectors 72, neighbors 4, seven
// scalars 28, info bits 2.
static const int64_t CHANNEL_BYTES_PER_PARTICLE = 114;
// The block also holds the buffer records are read into and written from.
static const int64_t SCRATCH_MAX_BYTES = 1 << 19;
static const int64_t SCRATCH_MIN_BYTES = 4096;

int ParticleBinRecordBytes(int version)
{
	int bytes = 98; // everything but vorticity, with a 4-byte id
	if (version >= 9)
		bytes += 12;
	if (version >= 12)
		bytes += 4;
	return bytes;
}

int64_t ParticleBinChannelBytes(int64_t count)
{
	return count < 0 ? 0 : count * CHANNEL_BYTES_PER_PARTICLE;
}

static int64_t ScratchBytes(int64_t count)
{
	int64_t bytes = count * CHANNEL_BYTES_PER_PARTICLE;
	if (bytes < SCRATCH_MIN_BYTES)
		bytes = SCRATCH_MIN_BYTES;
	if (bytes > SCRATCH_MAX_BYTES)
		bytes = SCRATCH_MAX_BYTES;
	return bytes;
}

static int64_t StorageBytes(int64_t count)
{
	int64_t channels = (ParticleBinChannelBytes(count) + 63) & ~int64_t(63);
	return channels + ScratchBytes(count);
}

static unsigned char* Scratch(BinParticleFrame* frame, int64_t capacity)
{
	int64_t channels = (ParticleBinChannelBytes(capacity) + 63) & ~int64_t(63);
	return static_cast<unsigned char*>(frame->storage) + channels;
}

static void ClearArrays(BinParticleFrame* frame)
{
	frame->id = nullptr;
	frame->position = frame->velocity = frame->force = frame->vorticity = frame->normal = frame->texture = nullptr;
	frame->neighbors = nullptr;
	frame->age = frame->isolation = frame->viscosity = frame->density = nullptr;
	frame->pressure = frame->mass = frame->temperature = nullptr;
	frame->info_bits = nullptr;
	frame->kept_count = 0;
}

// Lays the arrays for capacity particles over the storage block, reusing it when large enough.
static int PrepareChannels(BinParticleFrame* frame, int64_t capacity)
{
	ClearArrays(frame);
	if (capacity < 0 || capacity > INT32_MAX)
		return 0;
	int64_t need = StorageBytes(capacity);
	if (!frame->storage || frame->storage_bytes < need)
	{
		CacheFree(frame->storage);
		frame->storage = nullptr;
		frame->storage_bytes = 0;
		if (static_cast<uint64_t>(need) > SIZE_MAX)
			return 0;
		frame->storage = CacheAlloc(static_cast<size_t>(need));
		if (!frame->storage)
			return 0;
		frame->storage_bytes = need;
	}
	unsigned char* p = static_cast<unsigned char*>(frame->storage);
	const int64_t n = capacity;
	frame->id = reinterpret_cast<int64_t*>(p);
	p += 8 * n;
	float** vectors[] = {&frame->position, &frame->velocity, &frame->force, &frame->vorticity, &frame->normal, &frame->texture};
	for (float** v : vectors)
	{
		*v = reinterpret_cast<float*>(p);
		p += 12 * n;
	}
	frame->neighbors = reinterpret_cast<int32_t*>(p);
	p += 4 * n;
	float** scalars[] = {&frame->age, &frame->isolation, &frame->viscosity, &frame->density, &frame->pressure, &frame->mass, &frame->temperature};
	for (float** s : scalars)
	{
		*s = reinterpret_cast<float*>(p);
		p += 4 * n;
	}
	frame->info_bits = reinterpret_cast<int16_t*>(p);
	return 1;
}

static int Allocate(BinParticleFrame* frame, int32_t count, bool zero)
{
	if (!frame)
		return 0;
	if (!PrepareChannels(frame, count))
	{
		FreeChannels(frame);
		return 0;
	}
	if (zero)
		std::memset(frame->storage, 0, static_cast<size_t>(ParticleBinChannelBytes(count)));
	frame->kept_count = count;
	return 1;
}

int AllocateChannels(BinParticleFrame* frame, int32_t count)
{
	return Allocate(frame, count, true);
}

int AllocateChannelsUnfilled(BinParticleFrame* frame, int32_t count)
{
	return Allocate(frame, count, false);
}

void FreeChannels(BinParticleFrame* frame)
{
	if (!frame)
		return;
	CacheFree(frame->storage);
	frame->storage = nullptr;
	frame->storage_bytes = 0;
	ClearArrays(frame);
}

void GiveChannelStorage(BinParticleFrame* frame, void* storage, int64_t storage_bytes)
{
	if (!frame)
	{
		CacheFree(storage);
		return;
	}
	if (!storage)
		return;
	if (frame->storage && frame->storage_bytes >= storage_bytes)
	{
		CacheFree(storage);
		return;
	}
	FreeChannels(frame);
	frame->storage = storage;
	frame->storage_bytes = storage_bytes;
}

void* TakeChannelStorage(BinParticleFrame* frame, int64_t* storage_bytes)
{
	if (storage_bytes)
		*storage_bytes = 0;
	if (!frame || !frame->storage)
		return nullptr;
	void* storage = frame->storage;
	if (storage_bytes)
		*storage_bytes = frame->storage_bytes;
	frame->storage = nullptr;
	frame->storage_bytes = 0;
	ClearArrays(frame);
	return storage;
}

int IsParticleBin(const char* path)
{
	if (!path || !path[0])
		return 0;
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return 0;
	unsigned char magic[4];
	bool ok = std::fread(magic, 1, 4, f) == 4 && LoadU32(magic) == PARTICLE_BIN_MAGIC;
	std::fclose(f);
	return ok ? 1 : 0;
}

BinParticleFrame* OpenParticleBin(const char* path, int for_writing)
{
	BinParticleFrame* frame = CacheOpenRecord<BinParticleFrame>(path, for_writing ? "wb" : "rb");
	if (frame)
		frame->writing = for_writing ? 1 : 0;
	return frame;
}

static void LoadVec3(float* v, const unsigned char* p)
{
	v[0] = LoadF32(p);
	v[1] = LoadF32(p + 4);
	v[2] = LoadF32(p + 8);
}

static void DecodeHeader(BinParticleHeader* h, const unsigned char* b)
{
	h->magic = LoadU32(b);
	std::memcpy(h->fluid_name, b + 4, PARTICLE_BIN_NAME_BYTES);
	h->fluid_name[PARTICLE_BIN_NAME_BYTES] = '\0';
	h->version = LoadI16(b + 254);
	h->scale = LoadF32(b + 256);
	h->fluid_type = LoadI32(b + 260);
	h->simulation_time_seconds = LoadF32(b + 264);
	h->frame = LoadI32(b + 268);
	h->fps = LoadI32(b + 272);
	h->particle_count = LoadI32(b + 276);
	h->radius = LoadF32(b + 280);
	LoadVec3(h->range1, b + 284);
	LoadVec3(h->speed_range, b + 296);
	LoadVec3(h->range3, b + 308);
	LoadVec3(h->emitter_position, b + 320);
	LoadVec3(h->emitter_rotation, b + 332);
	LoadVec3(h->emitter_scale, b + 344);
}

// Bit k of the result is set when record k of the four at `records` is kept.
static inline int KeepMask4(const unsigned char* records, int64_t record_bytes, float step, float half_window)
{
	const unsigned char* r = records + 106;
	int32_t id0 = LoadI32(r), id1 = LoadI32(r + record_bytes), id2 = LoadI32(r + 2 * record_bytes),
			id3 = LoadI32(r + 3 * record_bytes);
#if defined(__SSE2__)
	// The same single-precision steps as KeepId. q is clamped into the int range first; a clamped
	// q is a whole number, as every float of 2^23 and more is.
	if (step >= 1.0f)
	{
		const __m128 vstep = _mm_set1_ps(step), vhalf = _mm_set1_ps(half_window);
		const __m128 one = _mm_set1_ps(1.0f), point5 = _mm_set1_ps(0.5f);
		const __m128 low = _mm_set1_ps(-2147483648.0f), high = _mm_set1_ps(2147483520.0f);
		__m128i vid = _mm_set_epi32(id3, id2, id1, id0);
		__m128 q = _mm_div_ps(_mm_cvtepi32_ps(vid), vstep);
		q = _mm_min_ps(_mm_max_ps(q, low), high);
		__m128 d = _mm_sub_ps(q, _mm_cvtepi32_ps(_mm_cvttps_epi32(q)));
		__m128 far = _mm_cmpgt_ps(d, point5);
		d = _mm_or_ps(_mm_and_ps(far, _mm_sub_ps(one, d)), _mm_andnot_ps(far, d));
		return _mm_movemask_ps(_mm_cmpgt_ps(vhalf, d));
	}
#endif
	return KeepId(id0, step, half_window) | (KeepId(id1, step, half_window) << 1) |
		   (KeepId(id2, step, half_window) << 2) | (KeepId(id3, step, half_window) << 3);
}

static inline void Copy3(float* dst, const unsigned char* src, bool native)
{
	if (native)
		std::memcpy(dst, src, 12);
	else
		LoadVec3(dst, src);
}

static inline void Copy1(float* dst, const unsigned char* src, bool native)
{
	if (native)
		std::memcpy(dst, src, 4);
	else
		*dst = LoadF32(src);
}

// One record of version 9 or later into array position k.
static inline void DecodeRecord(BinParticleFrame* f, int64_t k, const unsigned char* r, bool wide_id, bool native)
{
	Copy3(f->position + 3 * k, r + 0, native);
	Copy3(f->velocity + 3 * k, r + 12, native);
	Copy3(f->force + 3 * k, r + 24, native);
	Copy3(f->vorticity + 3 * k, r + 36, native);
	Copy3(f->normal + 3 * k, r + 48, native);
	f->neighbors[k] = LoadI32(r + 60);
	Copy3(f->texture + 3 * k, r + 64, native);
	f->info_bits[k] = LoadI16(r + 76);
	Copy1(f->age + k, r + 78, native);
	Copy1(f->isolation + k, r + 82, native);
	Copy1(f->viscosity + k, r + 86, native);
	Copy1(f->density + k, r + 90, native);
	Copy1(f->pressure + k, r + 94, native);
	Copy1(f->mass + k, r + 98, native);
	Copy1(f->temperature + k, r + 102, native);
	f->id[k] = wide_id ? LoadI64(r + 106) : static_cast<int64_t>(LoadI32(r + 106));
}

static int Fail(BinParticleFrame* frame, const char* why)
{
	frame->failure = why;
	return 0;
}

int ReadParticleBin(BinParticleFrame* frame, float percentage)
{
	if (!frame || !frame->file || frame->writing)
		return 0;
	ClearArrays(frame);
	frame->failure = CACHE_FAIL_TRUNCATED;
	FILE* f = frame->file;
	int64_t file_bytes = CacheFileSize(f);
	if (file_bytes < 4)
		return 0;

	unsigned char hb[PARTICLE_BIN_HEADER_BYTES];
	size_t got = std::fread(hb, 1, sizeof(hb), f);
	// magic
	if (got < 4)
		return 0;
	if (LoadU32(hb) != PARTICLE_BIN_MAGIC)
		return Fail(frame, CACHE_FAIL_MAGIC);
	if (got < sizeof(hb))
		return 0;
	BinParticleHeader h;
	DecodeHeader(&h, hb);
	// kept even when the read fails, so that a caller can say why
	frame->header = h;
	// version
	if (h.version < PARTICLE_BIN_MIN_VERSION)
		return Fail(frame, CACHE_FAIL_VERSION);
	// particle count against what the file holds, before anything is allocated
	const int64_t record_bytes = ParticleBinRecordBytes(h.version);
	const int64_t count = h.particle_count;
	if (count < 0 || count > (file_bytes - PARTICLE_BIN_HEADER_BYTES) / record_bytes)
		return Fail(frame, CACHE_FAIL_COUNT);
	frame->failure = nullptr;

	const bool all = percentage == 100.0f;
	const float step = 100.0f / percentage;
	const float half_window = 0.5f / step;
	// no particles, or a share that keeps none (0, negative or not a number)
	if (count == 0 || (!all && !(percentage > 0.0f)))
		return 1;

	// Arrays sized for every record: pages of the part that stays unused are never touched.
	if (!PrepareChannels(frame, count))
		return Fail(frame, CACHE_FAIL_MEMORY);
	unsigned char* scratch = Scratch(frame, count);
	const int64_t per_chunk = ScratchBytes(count) / record_bytes;
	const bool wide_id = h.version >= 12;
	const bool native = HostIsLittleEndian();
	int64_t kept = 0;
	for (int64_t done = 0; done < count;)
	{
		int64_t n = count - done < per_chunk ? count - done : per_chunk;
		if (std::fread(scratch, static_cast<size_t>(record_bytes), static_cast<size_t>(n), f) != static_cast<size_t>(n))
		{
			ClearArrays(frame);
			return Fail(frame, CACHE_FAIL_TRUNCATED);
		}
		const unsigned char* r = scratch;
		if (all)
		{
			for (int64_t j = 0; j < n; ++j, r += record_bytes)
				DecodeRecord(frame, kept++, r, wide_id, native);
		}
		else
		{
			// Four ids are tested together; only kept records are decoded.
			int64_t j = 0;
			for (; j + 4 <= n; j += 4, r += 4 * record_bytes)
			{
				int mask = KeepMask4(r, record_bytes, step, half_window);
				for (int k = 0; mask; ++k, mask >>= 1)
					if (mask & 1)
						DecodeRecord(frame, kept++, r + k * record_bytes, wide_id, native);
			}
			for (; j < n; ++j, r += record_bytes)
				if (KeepId(LoadI32(r + 106), step, half_window))
					DecodeRecord(frame, kept++, r, wide_id, native);
		}
		done += n;
	}
	frame->kept_count = static_cast<int32_t>(kept);
	return 1;
}

static void StoreVec3(unsigned char* p, const float* v)
{
	StoreF32(p, v[0]);
	StoreF32(p + 4, v[1]);
	StoreF32(p + 8, v[2]);
}

static void EncodeHeader(unsigned char* b, const BinParticleHeader* h)
{
	std::memset(b, 0, PARTICLE_BIN_HEADER_BYTES);
	StoreU32(b, h->magic);
	CacheCopyName(reinterpret_cast<char*>(b + 4), PARTICLE_BIN_NAME_BYTES, h->fluid_name, PARTICLE_BIN_NAME_BYTES);
	StoreU16(b + 254, static_cast<uint16_t>(h->version));
	StoreF32(b + 256, h->scale);
	StoreI32(b + 260, h->fluid_type);
	StoreF32(b + 264, h->simulation_time_seconds);
	StoreI32(b + 268, h->frame);
	StoreI32(b + 272, h->fps);
	StoreI32(b + 276, h->particle_count);
	StoreF32(b + 280, h->radius);
	StoreVec3(b + 284, h->range1);
	StoreVec3(b + 296, h->speed_range);
	StoreVec3(b + 308, h->range3);
	StoreVec3(b + 320, h->emitter_position);
	StoreVec3(b + 332, h->emitter_rotation);
	StoreVec3(b + 344, h->emitter_scale);
}

static void EncodeRecord(unsigned char* r, const BinParticleFrame* f, int64_t k, int version)
{
	StoreVec3(r, f->position + 3 * k);
	StoreVec3(r + 12, f->velocity + 3 * k);
	StoreVec3(r + 24, f->force + 3 * k);
	unsigned char* p = r + 36;
	if (version >= 9)
	{
		StoreVec3(p, f->vorticity + 3 * k);
		p += 12;
	}
	StoreVec3(p, f->normal + 3 * k);
	StoreI32(p + 12, f->neighbors[k]);
	StoreVec3(p + 16, f->texture + 3 * k);
	StoreU16(p + 28, static_cast<uint16_t>(f->info_bits[k]));
	StoreF32(p + 30, f->age[k]);
	StoreF32(p + 34, f->isolation[k]);
	StoreF32(p + 38, f->viscosity[k]);
	StoreF32(p + 42, f->density[k]);
	StoreF32(p + 46, f->pressure[k]);
	StoreF32(p + 50, f->mass[k]);
	StoreF32(p + 54, f->temperature[k]);
	if (version >= 12)
		StoreI64(p + 58, f->id[k]);
	else
		StoreI32(p + 58, static_cast<int32_t>(f->id[k]));
}

// The frame can be written: open for writing, a count its arrays hold.
static bool Writable(const BinParticleFrame* frame)
{
	if (!frame || !frame->file || !frame->writing)
		return false;
	const int64_t count = frame->header.particle_count;
	return count >= 0 && count <= frame->kept_count && (count == 0 || frame->storage);
}

static size_t HeaderBytes(const BinParticleHeader* h)
{
	return h->version >= 7 ? PARTICLE_BIN_HEADER_BYTES : 320;
}

int WriteParticleBinHeader(BinParticleFrame* frame)
{
	if (!Writable(frame))
		return 0;
	unsigned char hb[PARTICLE_BIN_HEADER_BYTES];
	EncodeHeader(hb, &frame->header);
	const size_t header_bytes = HeaderBytes(&frame->header);
	return std::fwrite(hb, 1, header_bytes, frame->file) == header_bytes ? 1 : 0;
}

int WriteParticleBinRecords(BinParticleFrame* frame, int64_t first, int64_t count)
{
	if (!Writable(frame) || first < 0 || count < 0 || count > frame->header.particle_count - first)
		return 0;
	const int version = frame->header.version;
	const int64_t record_bytes = ParticleBinRecordBytes(version);
	unsigned char* scratch = Scratch(frame, frame->kept_count);
	const int64_t per_chunk = ScratchBytes(frame->kept_count) / record_bytes;
	const int64_t end = first + count;
	for (int64_t done = first; done < end;)
	{
		int64_t n = end - done < per_chunk ? end - done : per_chunk;
		for (int64_t j = 0; j < n; ++j)
			EncodeRecord(scratch + j * record_bytes, frame, done + j, version);
		size_t bytes = static_cast<size_t>(n * record_bytes);
		if (std::fwrite(scratch, 1, bytes, frame->file) != bytes)
			return 0;
		done += n;
	}
	return 1;
}

static int WriteTrailer(BinParticleFrame* frame)
{
	if (frame->header.version < 6)
		return 1;
	unsigned char trailer[6] = {0, 0, 0, 0, 0, 0}; // extra-channel count 0, then the end byte(s)
	size_t trailer_bytes = frame->header.version >= 12 ? 6 : 5;
	return std::fwrite(trailer, 1, trailer_bytes, frame->file) == trailer_bytes ? 1 : 0;
}

static int Flush(FILE* f)
{
	return std::fflush(f) == 0 && !std::ferror(f) ? 1 : 0;
}

int FinishParticleBin(BinParticleFrame* frame)
{
	if (!Writable(frame) || !WriteTrailer(frame))
		return 0;
	unsigned char hb[PARTICLE_BIN_HEADER_BYTES];
	EncodeHeader(hb, &frame->header);
	const size_t header_bytes = HeaderBytes(&frame->header);
	FILE* f = frame->file;
	if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(hb, 1, header_bytes, f) != header_bytes)
		return 0;
	return Flush(f);
}

int WriteParticleBin(BinParticleFrame* frame)
{
	if (!WriteParticleBinHeader(frame) || !WriteParticleBinRecords(frame, 0, frame->header.particle_count) ||
		!WriteTrailer(frame))
		return 0;
	return Flush(frame->file);
}

void SetParticleBinName(BinParticleFrame* frame, const char* name)
{
	if (frame)
		CacheCopyName(frame->header.fluid_name, PARTICLE_BIN_NAME_BYTES, name, SIZE_MAX);
}

void CloseParticleBinFile(BinParticleFrame* frame)
{
	if (frame)
		CacheCloseFile(&frame->file);
}

void FreeParticleBin(BinParticleFrame* frame)
{
	if (!frame)
		return;
	CloseParticleBinFile(frame);
	FreeChannels(frame);
	CacheFree(frame);
}

static float SquaredLength(const float* v)
{
	return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

float GetBinChannelValue(const BinParticleFrame* frame, int32_t i, int32_t code)
{
	if (!frame || i < 0 || i >= frame->kept_count)
		return 0.0f;
	switch (code)
	{
	case CHANNEL_VELOCITY: return SquaredLength(frame->velocity + 3 * i);
	case CHANNEL_NORMAL: return SquaredLength(frame->normal + 3 * i);
	case CHANNEL_FORCE: return SquaredLength(frame->force + 3 * i);
	case CHANNEL_TEXTURE_U: return frame->texture[3 * i];
	case CHANNEL_TEXTURE_V: return frame->texture[3 * i + 1];
	case CHANNEL_NEIGHBORS: return static_cast<float>(frame->neighbors[i]);
	case CHANNEL_AGE: return frame->age[i];
	case CHANNEL_ISOLATION: return frame->isolation[i];
	case CHANNEL_VISCOSITY: return frame->viscosity[i];
	case CHANNEL_DENSITY: return frame->density[i];
	case CHANNEL_PRESSURE: return frame->pressure[i];
	case CHANNEL_MASS: return frame->mass[i];
	case CHANNEL_TEMPERATURE: return frame->temperature[i];
	case CHANNEL_VORTICITY: return SquaredLength(frame->vorticity + 3 * i);
	default: return 0.0f;
	}
}
