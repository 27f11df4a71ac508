// Shared codes of the cache library: which reader a sequence's files go through.
#pragma once

#include <cstdint>

enum CacheFormat : int32_t
{
	CACHE_PARTICLE_BIN = 0,
	CACHE_PARTICLE_PXY = 1,
	CACHE_MESH_BIN = 2,
	CACHE_MESH_CHUNK = 3,
	CACHE_MESH_MD = 4,
	CACHE_NONE = 5,
	CACHE_PARTICLE_TPC = 6,
};

// Paths and names inside the module live in fixed buffers of this size (at most 255 characters).
constexpr int TW_PATH_SIZE = 256;
// File records keep their own copy of the path in a buffer of this size.
constexpr int TW_RECORD_PATH_SIZE = 512;

inline bool IsParticleFormat(int32_t code)
{
	return code == CACHE_PARTICLE_BIN || code == CACHE_PARTICLE_PXY || code == CACHE_PARTICLE_TPC;
}

inline bool IsMeshFormat(int32_t code)
{
	return code == CACHE_MESH_BIN || code == CACHE_MESH_CHUNK || code == CACHE_MESH_MD;
}

// Why a read failed, as readers leave it in their record's `failure` (nullptr after a good read).
// Fixed texts, one object each: a caller may print them, or compare a record's pointer with one.
inline constexpr char CACHE_FAIL_MAGIC[] = "bad magic";
inline constexpr char CACHE_FAIL_VERSION[] = "version too old";
inline constexpr char CACHE_FAIL_COUNT[] = "a count the file cannot hold";
inline constexpr char CACHE_FAIL_TRUNCATED[] = "truncated";
inline constexpr char CACHE_FAIL_INFLATE[] = "a block that does not inflate";
inline constexpr char CACHE_FAIL_VALUE_TYPE[] = "unknown value type";
inline constexpr char CACHE_FAIL_INDEX[] = "a corner index beyond the vertices";
inline constexpr char CACHE_FAIL_DAMAGED[] = "damaged";
inline constexpr char CACHE_FAIL_MEMORY[] = "out of memory";
