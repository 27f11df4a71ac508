// cache_internal.h - byte decoders and the allocation hook shared by the cache readers and writers.
// Included only by source/cache/ and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// --- allocation: every record and array of the library goes through these, so that tests can make
// the n-th allocation fail and check that a reader fails cleanly and leaks nothing.

void* CacheAlloc(size_t size_bytes);
void* CacheCalloc(size_t count, size_t size_bytes);
void CacheFree(void* p);

template <typename T>
T* CacheAllocArray(int64_t count)
{
	if (count < 0 || (count > 0 && static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T)))
		return nullptr;
	return static_cast<T*>(CacheAlloc(static_cast<size_t>(count) * sizeof(T)));
}

// Test hook: the allocation after `successes` further successful ones fails; -1 switches it off.
// Also counts live allocations so tests can check that nothing leaked.
void CacheSetAllocFailAfter(int64_t successes);
int64_t CacheLiveAllocations();

// --- little-endian decoders over byte buffers.

inline uint16_t LoadU16(const unsigned char* p)
{
	return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadU32(const unsigned char* p)
{
	return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
		   (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t LoadU64(const unsigned char* p)
{
	return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}

inline int16_t LoadI16(const unsigned char* p) { return static_cast<int16_t>(LoadU16(p)); }
inline int32_t LoadI32(const unsigned char* p) { return static_cast<int32_t>(LoadU32(p)); }
inline int64_t LoadI64(const unsigned char* p) { return static_cast<int64_t>(LoadU64(p)); }

inline float LoadF32(const unsigned char* p)
{
	uint32_t u = LoadU32(p);
	float f;
	std::memcpy(&f, &u, 4);
	return f;
}

inline double LoadF64(const unsigned char* p)
{
	uint64_t u = LoadU64(p);
	double d;
	std::memcpy(&d, &u, 8);
	return d;
}

inline void StoreU16(unsigned char* p, uint16_t v)
{
	p[0] = static_cast<unsigned char>(v);
	p[1] = static_cast<unsigned char>(v >> 8);
}

inline void StoreU32(unsigned char* p, uint32_t v)
{
	for (int i = 0; i < 4; ++i)
		p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void StoreU64(unsigned char* p, uint64_t v)
{
	StoreU32(p, static_cast<uint32_t>(v));
	StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void StoreI32(unsigned char* p, int32_t v) { StoreU32(p, static_cast<uint32_t>(v)); }
inline void StoreI64(unsigned char* p, int64_t v) { StoreU64(p, static_cast<uint64_t>(v)); }

inline void StoreF32(unsigned char* p, float f)
{
	uint32_t u;
	std::memcpy(&u, &f, 4);
	StoreU32(p, u);
}

inline void StoreF64(unsigned char* p, double d)
{
	uint64_t u;
	std::memcpy(&u, &d, 8);
	StoreU64(p, u);
}

// --- files

// Size of an open file in bytes, or -1; leaves the position at the start.
inline bool HostIsLittleEndian()
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	return true;
#else
	return false;
#endif
}

// The share-of-particles selection of every particle format: with step = 100 / percentage and
// half_window = 0.5 / step, an id is kept when id / step lies within half_window above a whole
// number or below the next one. The same ids are kept in every frame; a negative id leaves a
// negative rest and is always kept, as files written with this rule expect.
inline bool KeepId(int32_t id, float step, float half_window)
{
	const float q = static_cast<float>(id) / step;
	// Floats of 2^23 and more are whole numbers; below that the int conversion truncates exactly
	// and, unlike trunc(), vectorises.
	float d = (q < 8388608.0f && q > -8388608.0f) ? q - static_cast<float>(static_cast<int32_t>(q)) : 0.0f;
	const float e = 1.0f - d;
	d = d > 0.5f ? e : d;
	return half_window > d;
}

int64_t CacheFileSize(FILE* f);

// A zeroed record (one with `char path[]` and `FILE* file`) holding a copy of path and its file
// open in mode; nullptr for an empty or too long path, no memory, or a file that does not open.
template <typename Record>
Record* CacheOpenRecord(const char* path, const char* mode)
{
	if (!path || !path[0] || std::strlen(path) >= sizeof(Record::path))
		return nullptr;
	Record* record = static_cast<Record*>(CacheCalloc(1, sizeof(Record)));
	if (!record)
		return nullptr;
	std::strcpy(record->path, path);
	record->file = std::fopen(path, mode);
	if (!record->file)
	{
		CacheFree(record);
		return nullptr;
	}
	return record;
}

// Closes a record's file, once.
inline void CacheCloseFile(FILE** file)
{
	if (*file)
	{
		std::fclose(*file);
		*file = nullptr;
	}
}

// Copies at most dst_size - 1 bytes of src (stopping at a terminator or src_len) and terminates.
void CacheCopyName(char* dst, size_t dst_size, const char* src, size_t src_len);
