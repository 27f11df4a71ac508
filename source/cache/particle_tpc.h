// particle_tpc.h - particle .tpc frames: one frame of particles as named, zlib-compressed channels.
//
// All numbers little-endian, no padding.
//
// Header (40 bytes):
//   offset size type     field
//        0    4 uint32   magic 0x70FABADA
//        4    4 int32    version; 3 and above are read
//        8    4 int32    particle count
//       12    4 int32    channel count
//       16   12 float[3] vector A (kept, not used)
//       28   12 float[3] vector B (kept, not used)
//
// Then channel-count descriptors:
//   int32 name length L (with the terminating zero), char[L] name, int32 value type,
//   uint64 reserved, uint64 compressed size, 3 summary values of the value type (3 x E bytes),
//   2 component summary values (2 x E / N bytes).
//
// Then the data blocks in descriptor order, each exactly compressed-size bytes: a zlib stream that
// inflates to particle count x E bytes, the values of particle 0, 1, 2, ...
//
// Value types (element bytes E, components N):
//   1 3 floats (12, 3)   2 3 doubles (24, 3)   3 2 floats (8, 2)    4 int64 (8, 1)
//   5 uint16 (2, 1)      6 uint8 (1, 1)        7 int32 (4, 1)       8 int8 (1, 1)
//   9 float (4, 1)       10 double (8, 1)      11 4 floats (16, 4)
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint32_t PARTICLE_TPC_MAGIC = 0x70FABADAu;
constexpr int PARTICLE_TPC_MIN_VERSION = 3;
constexpr int PARTICLE_TPC_HEADER_BYTES = 40;
// Names longer than this are cut; the descriptor is still read whole.
constexpr int PARTICLE_TPC_NAME_BYTES = 256;
// Deflate produces at most about 1,032 bytes per compressed byte.
constexpr int64_t PARTICLE_TPC_MAX_INFLATE_RATIO = 1032;

struct TpcChannel
{
	char name[PARTICLE_TPC_NAME_BYTES]; // always terminated
	int32_t type;
	uint64_t reserved;
	uint64_t compressed_bytes;
	unsigned char summary[3 * 24]; // 3 x E bytes are used
	unsigned char component_summary[2 * 8]; // 2 x E / N bytes are used
	unsigned char* data; // kept count x E bytes after a read
	int64_t data_bytes;
	int64_t data_capacity; // bytes allocated at data (reused by the next read when large enough)
	int32_t element_bytes; // E
};

struct TpcParticleFrame
{
	char path[512];
	FILE* file;
	uint32_t magic;
	int32_t version;
	int32_t particle_count;
	int32_t channel_count;
	float vector_a[3];
	float vector_b[3];
	int32_t kept_count;
	int32_t inflated_blocks; // by the last read
	const char* failure; // why the last read failed (a CACHE_FAIL_ text), or nullptr

	TpcChannel* channels; // channel_count records after a read
	int32_t channel_capacity;

	// Scratch reused across reads: one compressed block, and the full block of a selection.
	unsigned char* input;
	int64_t input_capacity;
	unsigned char* full;
	int64_t full_capacity;
	int32_t* keep; // indices of the kept particles
	int64_t keep_capacity;

	// The channels the accessors read, found once per read (nullptr when missing).
	const TpcChannel* position;
	const TpcChannel* velocity;
	const TpcChannel* id;
};

// Bytes of one element of a value type (E) and its number of components (N); 0 for unknown types.
int32_t TpcElementBytes(int32_t type);
int32_t TpcComponents(int32_t type);

// Opens path for binary reading and copies the path; nothing is read yet. nullptr when the path is
// empty or does not fit, the file cannot be opened or an allocation fails.
TpcParticleFrame* OpenTpc(const char* path);

// Reads header, descriptors and the channels of the particles selected by percentage (100 = all;
// any other share selects through the "id" channel and keeps nothing without one). 0 for a wrong
// magic, a version below 3, counts or sizes the file cannot hold, an unknown value type, a bad
// data block or a failed allocation; the frame then holds no particles. Channel buffers of an
// earlier read are reused when large enough.
int ReadTpc(TpcParticleFrame* frame, float percentage);

void CloseTpcFile(TpcParticleFrame* frame);
void FreeTpc(TpcParticleFrame* frame);

// Moves the channel buffers and scratch of spare (a flushed frame) into frame, which has not been
// read yet, so that its read reuses them; spare keeps nothing to reuse. Either may be nullptr.
void TpcReuse(TpcParticleFrame* frame, TpcParticleFrame* spare);
// Bytes of buffers a frame holds for reuse.
int64_t TpcArrayBytes(const TpcParticleFrame* frame);

// First channel of exactly this name, in descriptor order, or nullptr.
const TpcChannel* FindChannel(const TpcParticleFrame* frame, const char* name);

// Element conversions (element points at E bytes of the value type).
// Vector types 1, 2, 3 and 11 fill out (z = 0 for type 3); other types leave out unchanged.
void ReadVector(int32_t type, const unsigned char* element, float out[3]);
// 4 and 7: low 32 bits; 5, 6, 8: the value; 9, 10: truncated toward zero; others 0.
int32_t ReadInteger(int32_t type, const unsigned char* element);
// Vector types: squared length; integers and floats: the value (type 4 unsigned); others 0.
float ReadScalar(int32_t type, const unsigned char* element);

// Channel name of particle i as one number: the length for vectors, the value for the rest; 0 when
// the channel is missing or i is not below the kept count.
float GetTpcChannelScalar(const TpcParticleFrame* frame, const char* name, int32_t i);
// Channel-value code (1..14, as for .bin frames) of particle i; vectors give their length.
float GetTpcChannelValue(const TpcParticleFrame* frame, int32_t i, int32_t code);

// Accessors: missing channels give zero vectors and id -1.
void GetTpcPosition(const TpcParticleFrame* frame, int32_t i, float out[3]);
void GetTpcVelocity(const TpcParticleFrame* frame, int32_t i, float out[3]);
int64_t GetTpcId(const TpcParticleFrame* frame, int32_t i);

// Block verdicts, exposed so that tests and the fuzz target can hold the fast path to zlib's.
// Inflates compressed into out (exactly out_bytes): good when out is full, or when the stream ends
// on the last compressed byte with out full; bad on an error, a stream that ends with bytes left,
// or compressed bytes that run out before out is full.
int TpcInflateZlib(const unsigned char* compressed, int64_t compressed_bytes, unsigned char* out, int64_t out_bytes);
// The same verdict, through the fastest inflater available.
int TpcInflate(const unsigned char* compressed, int64_t compressed_bytes, unsigned char* out, int64_t out_bytes);

