// particle_pxy.h - particle .pxy frames: per particle only an id, a position and a velocity.
//
// All numbers little-endian, no padding; there is no magic number.
//
// Header (8 bytes):
//   offset size type   field
//        0    4 float  version; 2.0 and above carry particles, 3.0 and above 64-bit ids
//        4    4 int32  particle count
//
// Particle record, particle-count times after the header (28 bytes, 32 from version 3.0):
//        0  4/8 int32/64 id (8 bytes from version 3.0)
//      4/8   12 float[3] position
//    16/20   12 float[3] velocity
//
// The module only reads this format. A file shorter than the records its count promises fails the
// read (the frame shows nothing) rather than reading as zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int PARTICLE_PXY_HEADER_BYTES = 8;

// One kept particle in memory; a 32-bit id is widened with its sign. From version 3.0 this is also
// the file's record layout.
struct PxyParticleRecord
{
	int64_t id;
	float position[3];
	float velocity[3];
};
static_assert(sizeof(PxyParticleRecord) == 32 && offsetof(PxyParticleRecord, position) == 8 &&
		offsetof(PxyParticleRecord, velocity) == 20,
	"a .pxy record is 32 bytes without padding");

struct PxyParticleFrame
{
	char path[512];
	FILE* file;
	float version;
	int32_t particle_count; // as the header says
	int32_t kept_count; // records held
	const char* failure; // why the last read failed (a CACHE_FAIL_ text), or nullptr

	// Arrays kept across reads: a record read again (or handed the arrays of a flushed frame)
	// reuses them when they are large enough.
	PxyParticleRecord* records;
	int64_t record_capacity;
	unsigned char* scratch; // file bytes are read into this and decoded from it
	int64_t scratch_bytes;
};

// Bytes of one record in a file of this version; 0 for a version that carries no particles.
int PxyRecordBytes(float version);

// Opens path for reading. nullptr when the file cannot be opened, the path does not fit 511
// characters or an allocation fails.
PxyParticleFrame* OpenPxy(const char* path);

// Reads the header and the particles selected by percentage (100 = all). A version below 2.0 (or
// not a number) is an empty frame. 0 for a file shorter than its header or its records, a negative
// count, or a failed allocation; the frame then holds no particles.
int ReadPxy(PxyParticleFrame* frame, float percentage);

// Moves the arrays of spare (a flushed frame) into frame when they are larger than frame's own,
// then frees spare. Either may be nullptr.
void PxyReuse(PxyParticleFrame* frame, PxyParticleFrame* spare);

void ClosePxyFile(PxyParticleFrame* frame);
void FreePxy(PxyParticleFrame* frame);

// Channel code 1 (velocity) gives the squared speed; every other code 0, as does an empty frame or
// i out of range.
float GetPxyChannelValue(const PxyParticleFrame* frame, int32_t i, int32_t code);
