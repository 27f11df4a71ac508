// particle_tpc.cpp - reading particle .tpc frames.
#include "particle_tpc.h"

#include "cache_internal.h"
#include "cache_types.h"

#include <cmath>
#include <cstring>

#include <zlib.h>

#if defined(TW_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

int32_t TpcElementBytes(int32_t type)
{
	static const int32_t bytes[] = {0, 12, 24, 8, 8, 2, 1, 4, 1, 4, 8, 16};
	return type >= 1 && type <= 11 ? bytes[type] : 0;
}

int32_t TpcComponents(int32_t type)
{
	static const int32_t components[] = {0, 3, 3, 2, 1, 1, 1, 1, 1, 1, 1, 4};
	return type >= 1 && type <= 11 ? components[type] : 0;
}

// --- element conversions

void ReadVector(int32_t type, const unsigned char* e, float out[3])
{
	switch (type)
	{
	case 1:
	case 11:
		out[0] = LoadF32(e);
		out[1] = LoadF32(e + 4);
		out[2] = LoadF32(e + 8);
		break;
	case 2:
		out[0] = static_cast<float>(LoadF64(e));
		out[1] = static_cast<float>(LoadF64(e + 8));
		out[2] = static_cast<float>(LoadF64(e + 16));
		break;
	case 3:
		out[0] = LoadF32(e);
		out[1] = LoadF32(e + 4);
		out[2] = 0.0f;
		break;
	default:
		break;
	}
}

// Truncation toward zero without the undefined behaviour of converting a value out of range (or
// not a number): those give the nearest representable end, and 0 for not a number.
static int32_t TruncateToInt32(double v)
{
	if (!(v == v))
		return 0;
	if (v >= 2147483647.0)
		return INT32_MAX;
	if (v <= -2147483648.0)
		return INT32_MIN;
	return static_cast<int32_t>(v);
}

int32_t ReadInteger(int32_t type, const unsigned char* e)
{
	switch (type)
	{
	case 4:
	case 7:
		return LoadI32(e); // the low 32 bits of a 64-bit value come first
	case 5:
		return LoadU16(e);
	case 6:
		return e[0];
	case 8:
		return static_cast<int8_t>(e[0]);
	case 9:
		return TruncateToInt32(LoadF32(e));
	case 10:
		return TruncateToInt32(LoadF64(e));
	default:
		return 0;
	}
}

float ReadScalar(int32_t type, const unsigned char* e)
{
	switch (type)
	{
	case 1:
	case 11:
	{
		const float x = LoadF32(e), y = LoadF32(e + 4), z = LoadF32(e + 8);
		return x * x + y * y + z * z;
	}
	case 2:
	{
		const double x = LoadF64(e), y = LoadF64(e + 8), z = LoadF64(e + 16);
		return static_cast<float>(x * x + y * y + z * z);
	}
	case 3:
	{
		const float x = LoadF32(e), y = LoadF32(e + 4);
		return x * x + y * y;
	}
	case 4:
		return static_cast<float>(LoadU64(e));
	case 5:
		return LoadU16(e);
	case 6:
		return e[0];
	case 7:
		return static_cast<float>(LoadI32(e));
	case 8:
		return static_cast<int8_t>(e[0]);
	case 9:
		return LoadF32(e);
	case 10:
		return static_cast<float>(LoadF64(e));
	default:
		return 0.0f;
	}
}

// --- inflating one block

int TpcInflateZlib(const unsigned char* compressed, int64_t compressed_bytes, unsigned char* out, int64_t out_bytes)
{
	if (compressed_bytes < 0 || out_bytes < 0)
		return 0;
	z_stream z;
	std::memset(&z, 0, sizeof z);
	z.zalloc = [](voidpf, uInt items, uInt size) -> voidpf { return CacheCalloc(items, size); };
	z.zfree = [](voidpf, voidpf p) { CacheFree(p); };
	if (inflateInit2(&z, 15) != Z_OK)
		return 0;
	// zlib counts in 32 bits: feed both sides in pieces of at most 1 MiB.
	const int64_t piece = 1 << 20;
	int64_t in_left = compressed_bytes, out_left = out_bytes;
	z.next_in = const_cast<Bytef*>(compressed);
	z.next_out = out;
	int verdict = -1; // undecided
	while (verdict < 0)
	{
		if (z.avail_in == 0 && in_left > 0)
		{
			z.avail_in = static_cast<uInt>(in_left < piece ? in_left : piece);
			in_left -= z.avail_in;
		}
		if (z.avail_out == 0 && out_left > 0)
		{
			z.avail_out = static_cast<uInt>(out_left < piece ? out_left : piece);
			out_left -= z.avail_out;
		}
		const int r = inflate(&z, Z_NO_FLUSH);
		const bool out_full = z.avail_out == 0 && out_left == 0;
		const bool in_done = z.avail_in == 0 && in_left == 0;
		if (r == Z_STREAM_END)
			// a stream that ends short, or with compressed bytes left over, is not this block
			verdict = out_full && in_done ? 1 : 0;
		else if (r != Z_OK && r != Z_BUF_ERROR)
			verdict = 0;
		else if (out_full)
			// Every value is here. With input left zlib stopped for want of output (the stream runs
			// long); with none left only the end of the stream is cut. Otherwise read on: the rest
			// may end the stream, with or without bytes to spare.
			verdict = z.avail_in > 0 || in_done ? 1 : -1;
		else if (in_done)
			verdict = 0; // the compressed bytes ran out before the output was full
		else if (r == Z_BUF_ERROR && z.avail_in > 0 && z.avail_out > 0)
			verdict = 0; // no progress with room on both sides
	}
	inflateEnd(&z);
	return verdict;
}

int TpcInflate(const unsigned char* compressed, int64_t compressed_bytes, unsigned char* out, int64_t out_bytes)
{
#if defined(TW_HAVE_LIBDEFLATE)
	if (compressed_bytes >= 0 && out_bytes >= 0)
	{
		// Only a whole stream that fills the output exactly with every byte consumed is judged here
		// (libdeflate has checked the data and its checksum); everything else - errors, short or
		// long streams, trailing bytes, a cut checksum - is judged by zlib, whose verdict is the rule.
		libdeflate_decompressor* d = libdeflate_alloc_decompressor();
		if (d)
		{
			size_t in_used = 0, out_made = 0;
			const libdeflate_result r = libdeflate_zlib_decompress_ex(d, compressed, static_cast<size_t>(compressed_bytes),
																	  out, static_cast<size_t>(out_bytes), &in_used, &out_made);
			libdeflate_free_decompressor(d);
			if (r == LIBDEFLATE_SUCCESS && in_used == static_cast<size_t>(compressed_bytes) &&
				out_made == static_cast<size_t>(out_bytes))
				return 1;
		}
	}
#endif
	return TpcInflateZlib(compressed, compressed_bytes, out, out_bytes);
}

// --- the frame

TpcParticleFrame* OpenTpc(const char* path)
{
	return CacheOpenRecord<TpcParticleFrame>(path, "rb");
}

void CloseTpcFile(TpcParticleFrame* frame)
{
	if (frame)
		CacheCloseFile(&frame->file);
}

static void FreeChannelList(TpcChannel* channels, int32_t count)
{
	for (int32_t c = 0; channels && c < count; ++c)
		CacheFree(channels[c].data);
	CacheFree(channels);
}

void FreeTpc(TpcParticleFrame* frame)
{
	if (!frame)
		return;
	CloseTpcFile(frame);
	FreeChannelList(frame->channels, frame->channel_capacity);
	CacheFree(frame->input);
	CacheFree(frame->full);
	CacheFree(frame->keep);
	CacheFree(frame);
}

void TpcReuse(TpcParticleFrame* frame, TpcParticleFrame* spare)
{
	if (!frame || !spare || frame == spare || frame->channels || frame->input || frame->full || frame->keep)
		return;
	frame->channels = spare->channels;
	frame->channel_capacity = spare->channel_capacity;
	// the spare's list is the next read's old list: no channel of it counts as read
	frame->channel_count = spare->channel_capacity;
	frame->input = spare->input;
	frame->input_capacity = spare->input_capacity;
	frame->full = spare->full;
	frame->full_capacity = spare->full_capacity;
	frame->keep = spare->keep;
	frame->keep_capacity = spare->keep_capacity;
	spare->channels = nullptr;
	spare->channel_count = spare->channel_capacity = 0;
	spare->input = spare->full = nullptr;
	spare->keep = nullptr;
	spare->input_capacity = spare->full_capacity = spare->keep_capacity = 0;
	spare->kept_count = 0;
	spare->position = spare->velocity = spare->id = nullptr;
}

int64_t TpcArrayBytes(const TpcParticleFrame* frame)
{
	if (!frame)
		return 0;
	int64_t bytes = frame->input_capacity + frame->full_capacity + frame->keep_capacity;
	for (int32_t c = 0; frame->channels && c < frame->channel_capacity; ++c)
		bytes += frame->channels[c].data_capacity;
	return bytes;
}

// Grows a scratch buffer to at least bytes, dropping its contents.
template <typename T>
static bool Reserve(T** buffer, int64_t* capacity, int64_t bytes)
{
	if (bytes <= 0 || (*capacity >= bytes && *buffer))
		return true;
	CacheFree(*buffer);
	*capacity = 0;
	*buffer = static_cast<uint64_t>(bytes) <= SIZE_MAX ? static_cast<T*>(CacheAlloc(static_cast<size_t>(bytes))) : nullptr;
	if (!*buffer)
		return false;
	*capacity = bytes;
	return true;
}

static bool ReadExact(FILE* f, void* out, int64_t bytes)
{
	return bytes == 0 || std::fread(out, 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
}

// Reads the descriptors into channels (count records, zeroed by the caller). At every step what
// is left of the file bounds what may be read, so nothing hostile reaches an allocation. nullptr, or
// why they do not read.
static const char* ReadDescriptors(FILE* f, int64_t file_bytes, TpcChannel* channels, int32_t count, int64_t* data_start)
{
	int64_t pos = PARTICLE_TPC_HEADER_BYTES;
	unsigned char b[24];
	for (int32_t c = 0; c < count; ++c)
	{
		TpcChannel* ch = &channels[c];
		if (file_bytes - pos < 4 || !ReadExact(f, b, 4))
			return CACHE_FAIL_TRUNCATED;
		pos += 4;
		const int64_t name_bytes = LoadI32(b);
		if (name_bytes < 0 || name_bytes > file_bytes - pos)
			return CACHE_FAIL_TRUNCATED;
		char name[PARTICLE_TPC_NAME_BYTES];
		const int64_t kept = name_bytes < PARTICLE_TPC_NAME_BYTES ? name_bytes : PARTICLE_TPC_NAME_BYTES;
		if (!ReadExact(f, name, kept) || (name_bytes > kept && std::fseek(f, static_cast<long>(name_bytes - kept), SEEK_CUR) != 0))
			return CACHE_FAIL_TRUNCATED;
		CacheCopyName(ch->name, sizeof ch->name, name, static_cast<size_t>(kept));
		pos += name_bytes;
		if (file_bytes - pos < 20 || !ReadExact(f, b, 20))
			return CACHE_FAIL_TRUNCATED;
		pos += 20;
		ch->type = LoadI32(b);
		ch->reserved = LoadU64(b + 4);
		ch->compressed_bytes = LoadU64(b + 12);
		ch->element_bytes = TpcElementBytes(ch->type);
		if (ch->element_bytes == 0)
			return CACHE_FAIL_VALUE_TYPE;
		const int64_t summary = 3 * ch->element_bytes, component = 2 * ch->element_bytes / TpcComponents(ch->type);
		if (file_bytes - pos < summary + component || !ReadExact(f, ch->summary, summary) ||
			!ReadExact(f, ch->component_summary, component))
			return CACHE_FAIL_TRUNCATED;
		pos += summary + component;
	}
	*data_start = pos;
	return nullptr;
}

static int Fail(TpcParticleFrame* frame, const char* why)
{
	frame->failure = why;
	return 0;
}

static void ResetFrame(TpcParticleFrame* frame)
{
	frame->kept_count = 0;
	frame->position = frame->velocity = frame->id = nullptr;
	for (int32_t c = 0; frame->channels && c < frame->channel_count; ++c)
		frame->channels[c].data_bytes = 0;
}

// Reads one block of channel ch (at offset) and inflates it into out (count x E bytes).
static bool InflateBlock(TpcParticleFrame* frame, const TpcChannel* ch, int64_t offset, unsigned char* out, int64_t out_bytes)
{
	const int64_t in_bytes = static_cast<int64_t>(ch->compressed_bytes);
	if (std::fseek(frame->file, static_cast<long>(offset), SEEK_SET) != 0 ||
		!ReadExact(frame->file, frame->input, in_bytes))
	{
		frame->failure = CACHE_FAIL_TRUNCATED;
		return false;
	}
	++frame->inflated_blocks;
	if (TpcInflate(frame->input, in_bytes, out, out_bytes) == 1)
		return true;
	frame->failure = CACHE_FAIL_INFLATE;
	return false;
}

// Gives every channel a data buffer of kept x E bytes, taking the buffers of the last read where
// they are large enough (the smallest that fits) and freeing the ones left over.
static bool AssignBuffers(TpcChannel* channels, int32_t count, TpcChannel* old, int32_t old_count, int64_t kept)
{
	bool ok = true;
	for (int32_t c = 0; c < count; ++c)
	{
		TpcChannel* ch = &channels[c];
		const int64_t need = kept * ch->element_bytes;
		TpcChannel* best = nullptr;
		for (int32_t o = 0; o < old_count; ++o)
			if (old[o].data && old[o].data_capacity >= need && (!best || old[o].data_capacity < best->data_capacity))
				best = &old[o];
		if (best)
		{
			ch->data = best->data;
			ch->data_capacity = best->data_capacity;
			best->data = nullptr;
		}
		else if (ok && need > 0)
		{
			ch->data = static_cast<unsigned char*>(CacheAlloc(static_cast<size_t>(need)));
			ch->data_capacity = ch->data ? need : 0;
			ok = ch->data != nullptr;
		}
	}
	return ok;
}

// Copies the kept particles' elements of a full block into the channel's data, in order.
static void Compact(TpcChannel* ch, const unsigned char* full, const int32_t* keep, int64_t kept)
{
	const int64_t e = ch->element_bytes;
	for (int64_t k = 0; k < kept; ++k)
		std::memcpy(ch->data + k * e, full + keep[k] * e, static_cast<size_t>(e));
}

int ReadTpc(TpcParticleFrame* frame, float percentage)
{
	if (!frame)
		return 0;
	ResetFrame(frame);
	frame->inflated_blocks = 0;
	frame->failure = CACHE_FAIL_TRUNCATED;
	if (!frame->file)
		return 0;
	FILE* f = frame->file;
	const int64_t file_bytes = CacheFileSize(f);
	unsigned char h[PARTICLE_TPC_HEADER_BYTES];
	if (file_bytes < PARTICLE_TPC_HEADER_BYTES || !ReadExact(f, h, PARTICLE_TPC_HEADER_BYTES))
		return 0;
	frame->magic = LoadU32(h);
	frame->version = LoadI32(h + 4);
	frame->particle_count = LoadI32(h + 8);
	frame->channel_count = 0;
	const int32_t channel_count = LoadI32(h + 12);
	for (int k = 0; k < 3; ++k)
	{
		frame->vector_a[k] = LoadF32(h + 16 + 4 * k);
		frame->vector_b[k] = LoadF32(h + 28 + 4 * k);
	}
	if (frame->magic != PARTICLE_TPC_MAGIC)
		return Fail(frame, CACHE_FAIL_MAGIC);
	if (frame->version < PARTICLE_TPC_MIN_VERSION)
		return Fail(frame, CACHE_FAIL_VERSION);
	const int64_t count = frame->particle_count;
	// The smallest descriptor takes 29 bytes (an empty name, one-byte values). Particles need a
	// channel: only blocks bound the count a header may promise.
	if (count < 0 || channel_count < 0 || channel_count > (file_bytes - PARTICLE_TPC_HEADER_BYTES) / 29 ||
		(count > 0 && channel_count == 0))
		return Fail(frame, CACHE_FAIL_COUNT);

	TpcChannel* channels =
		channel_count > 0 ? static_cast<TpcChannel*>(CacheCalloc(static_cast<size_t>(channel_count), sizeof(TpcChannel))) : nullptr;
	int64_t data_start = 0;
	const char* why = channel_count > 0 && !channels ? CACHE_FAIL_MEMORY
													 : ReadDescriptors(f, file_bytes, channels, channel_count, &data_start);
	if (why)
	{
		CacheFree(channels);
		return Fail(frame, why);
	}
	// Blocks must lie inside the file and be able to hold what they promise, before any buffer for
	// them is allocated.
	int64_t end = data_start, largest_block = 0, largest_full = 0;
	bool sound = true;
	for (int32_t c = 0; c < channel_count && sound; ++c)
	{
		const TpcChannel* ch = &channels[c];
		const uint64_t in = ch->compressed_bytes;
		const int64_t out = count * ch->element_bytes;
		sound = in <= static_cast<uint64_t>(file_bytes - end) && out <= static_cast<int64_t>(in) * PARTICLE_TPC_MAX_INFLATE_RATIO;
		end += static_cast<int64_t>(in);
		largest_block = static_cast<int64_t>(in) > largest_block ? static_cast<int64_t>(in) : largest_block;
		largest_full = out > largest_full ? out : largest_full;
	}
	if (!sound)
	{
		CacheFree(channels);
		return Fail(frame, CACHE_FAIL_COUNT);
	}
	// a failure from here is a failed allocation unless a block says otherwise
	frame->failure = CACHE_FAIL_MEMORY;

	// The new list replaces the old one; the old buffers wait to be reused.
	TpcChannel* old = frame->channels;
	const int32_t old_count = frame->channel_capacity;
	frame->channels = channels;
	frame->channel_count = frame->channel_capacity = channel_count;

	const bool all = percentage == 100.0f;
	const TpcChannel* id = FindChannel(frame, "id");
	int64_t kept = all ? count : 0;
	int ok = 1;
	int64_t id_offset = data_start;
	if (!all && id && percentage > 0.0f && count > 0)
	{
		for (const TpcChannel* ch = channels; ch != id; ++ch)
			id_offset += static_cast<int64_t>(ch->compressed_bytes);
		const int64_t id_bytes = count * id->element_bytes;
		ok = Reserve(&frame->input, &frame->input_capacity, largest_block) &&
			 Reserve(&frame->full, &frame->full_capacity, largest_full) &&
			 Reserve(&frame->keep, &frame->keep_capacity, count * 4) &&
			 InflateBlock(frame, id, id_offset, frame->full, id_bytes);
		if (ok)
		{
			const float step = 100.0f / percentage, half_window = 0.5f / step;
			const int32_t e = id->element_bytes;
			for (int64_t i = 0; i < count; ++i)
				if (KeepId(ReadInteger(id->type, frame->full + i * e), step, half_window))
					frame->keep[kept++] = static_cast<int32_t>(i);
		}
	}
	if (ok)
		ok = AssignBuffers(channels, channel_count, old, old_count, kept);
	// the "id" block is inflated once: its kept elements are taken now, before the other blocks
	// reuse the full buffer
	if (ok && !all && kept > 0)
		Compact(const_cast<TpcChannel*>(id), frame->full, frame->keep, kept);
	FreeChannelList(old, old_count);
	if (!ok || kept == 0)
	{
		ResetFrame(frame);
		if (ok)
			frame->failure = nullptr;
		return ok;
	}
	if (all && !Reserve(&frame->input, &frame->input_capacity, largest_block))
		return 0;

	int64_t offset = data_start;
	for (int32_t c = 0; c < channel_count && ok; ++c)
	{
		TpcChannel* ch = &channels[c];
		const int64_t e = ch->element_bytes;
		if (all)
			ok = InflateBlock(frame, ch, offset, ch->data, count * e);
		else if (ch != id) // the "id" block was taken above: no block is inflated twice
		{
			ok = InflateBlock(frame, ch, offset, frame->full, count * e);
			if (ok)
				Compact(ch, frame->full, frame->keep, kept);
		}
		ch->data_bytes = kept * e;
		offset += static_cast<int64_t>(ch->compressed_bytes);
	}
	if (!ok)
	{
		ResetFrame(frame);
		return 0;
	}
	frame->kept_count = static_cast<int32_t>(kept);
	frame->failure = nullptr;
	frame->position = FindChannel(frame, "position");
	frame->velocity = FindChannel(frame, "velocity");
	frame->id = id;
	return 1;
}

// --- accessors

const TpcChannel* FindChannel(const TpcParticleFrame* frame, const char* name)
{
	if (!frame || !name)
		return nullptr;
	for (int32_t c = 0; c < frame->channel_count; ++c)
		if (std::strcmp(frame->channels[c].name, name) == 0)
			return &frame->channels[c];
	return nullptr;
}

static const unsigned char* Element(const TpcParticleFrame* frame, const TpcChannel* ch, int32_t i)
{
	if (!frame || !ch || i < 0 || i >= frame->kept_count || !ch->data)
		return nullptr;
	return ch->data + static_cast<int64_t>(i) * ch->element_bytes;
}

void GetTpcPosition(const TpcParticleFrame* frame, int32_t i, float out[3])
{
	out[0] = out[1] = out[2] = 0.0f;
	if (const unsigned char* e = Element(frame, frame ? frame->position : nullptr, i))
		ReadVector(frame->position->type, e, out);
}

void GetTpcVelocity(const TpcParticleFrame* frame, int32_t i, float out[3])
{
	out[0] = out[1] = out[2] = 0.0f;
	if (const unsigned char* e = Element(frame, frame ? frame->velocity : nullptr, i))
		ReadVector(frame->velocity->type, e, out);
}

int64_t GetTpcId(const TpcParticleFrame* frame, int32_t i)
{
	const unsigned char* e = Element(frame, frame ? frame->id : nullptr, i);
	return e ? ReadInteger(frame->id->type, e) : -1;
}

float GetTpcChannelScalar(const TpcParticleFrame* frame, const char* name, int32_t i)
{
	const TpcChannel* ch = FindChannel(frame, name);
	const unsigned char* e = Element(frame, ch, i);
	if (!e)
		return 0.0f;
	switch (ch->type)
	{
	case 1:
	case 2:
	case 3:
	case 11:
		return std::sqrt(ReadScalar(ch->type, e));
	default:
		return ReadScalar(ch->type, e);
	}
}

float GetTpcChannelValue(const TpcParticleFrame* frame, int32_t i, int32_t code)
{
	static const char* const names[] = {nullptr, "velocity", "normal", "force", "texture", "texture", "neighbors", "age",
										"isolation", "viscosity", "density", "pressure", "mass", "temperature", "vorticity"};
	if (!frame || code < 1 || code > 14 || i < 0 || i >= frame->kept_count)
		return 0.0f;
	if (code == 4 || code == 5)
	{
		float v[3] = {0.0f, 0.0f, 0.0f};
		const TpcChannel* ch = FindChannel(frame, "texture");
		if (const unsigned char* e = Element(frame, ch, i))
			ReadVector(ch->type, e, v);
		return v[code - 4];
	}
	return GetTpcChannelScalar(frame, names[code], i);
}
