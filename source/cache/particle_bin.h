// particle_bin.h - particle .bin frames: one frame of a particle simulation per file.
//
// All numbers little-endian, floats IEEE single precision, no padding.
//
// Header (356 bytes):
//   offset size type      field
//        0    4 uint32    magic 0x00FABADA
//        4  250 char[250] fluid name, zero-terminated within the field
//      254    2 int16     version; 9 and above are read, 12 and above carry 64-bit ids
//      256    4 float     scale
//      260    4 int32     fluid type
//      264    4 float     simulation time (seconds)
//      268    4 int32     frame
//      272    4 int32     fps
//      276    4 int32     particle count
//      280    4 float     radius
//      284   12 float[3]  range 1 (min, max, average)
//      296   12 float[3]  speed range (min, max, average)
//      308   12 float[3]  range 3 (min, max, average)
//      320   12 float[3]  emitter position   (from version 7)
//      332   12 float[3]  emitter rotation   (from version 7)
//      344   12 float[3]  emitter scale      (from version 7)
//
// Particle record, particle-count times after the header (110 bytes, 114 from version 12):
//        0   12 float[3]  position
//       12   12 float[3]  velocity
//       24   12 float[3]  force
//       36   12 float[3]  vorticity          (from version 9)
//       48   12 float[3]  normal
//       60    4 int32     neighbors
//       64   12 float[3]  texture U, V, W
//       76    2 int16     info bits
//       78    4 float     age
//       82    4 float     isolation
//       86    4 float     viscosity
//       90    4 float     density
//       94    4 float     pressure
//       98    4 float     mass
//      102    4 float     temperature
//      106  4/8 int32/64  id (8 bytes from version 12)
//
// Trailer, written only (the reader stops after the last record): from version 6 an int32
// extra-channel count (always 0 here) and one zero byte; from version 12 one more zero byte.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint32_t PARTICLE_BIN_MAGIC = 0x00FABADAu;
constexpr int PARTICLE_BIN_HEADER_BYTES = 356;
constexpr int PARTICLE_BIN_NAME_BYTES = 250;
constexpr int PARTICLE_BIN_MIN_VERSION = 9;

// Channel-value codes of GetBinChannelValue (0 = none).
enum ParticleChannelCode : int32_t
{
	CHANNEL_NONE = 0,
	CHANNEL_VELOCITY = 1,
	CHANNEL_NORMAL = 2,
	CHANNEL_FORCE = 3,
	CHANNEL_TEXTURE_U = 4,
	CHANNEL_TEXTURE_V = 5,
	CHANNEL_NEIGHBORS = 6,
	CHANNEL_AGE = 7,
	CHANNEL_ISOLATION = 8,
	CHANNEL_VISCOSITY = 9,
	CHANNEL_DENSITY = 10,
	CHANNEL_PRESSURE = 11,
	CHANNEL_MASS = 12,
	CHANNEL_TEMPERATURE = 13,
	CHANNEL_VORTICITY = 14,
};

struct BinParticleHeader
{
	uint32_t magic;
	// One byte more than the field so that a name filling all 250 bytes still reads back whole.
	char fluid_name[PARTICLE_BIN_NAME_BYTES + 1];
	int16_t version;
	float scale;
	int32_t fluid_type;
	float simulation_time_seconds;
	int32_t frame;
	int32_t fps;
	int32_t particle_count;
	float radius;
	float range1[3];
	float speed_range[3];
	float range3[3];
	float emitter_position[3];
	float emitter_rotation[3];
	float emitter_scale[3];
};

struct BinParticleFrame
{
	char path[512];
	FILE* file;
	int writing;
	BinParticleHeader header;

	// Channel arrays, all inside one block (storage) so that a frame cache can hand the block
	// of a flushed frame to the next one instead of faulting in fresh memory.
	int64_t* id;
	float* position; // 3 per particle
	float* velocity;
	float* force;
	float* vorticity;
	float* normal;
	float* texture;
	int32_t* neighbors;
	float* age;
	float* isolation;
	float* viscosity;
	float* density;
	float* pressure;
	float* mass;
	float* temperature;
	int16_t* info_bits;

	int32_t kept_count; // particles held by the arrays
	int32_t extra_channel_count; // the writer is never given extra channels
	const char* failure; // why the last read failed (a CACHE_FAIL_ text), or nullptr

	void* storage;
	int64_t storage_bytes;
};

// Bytes of one record in a file of this version.
int ParticleBinRecordBytes(int version);
// Bytes the channel arrays of count particles take.
int64_t ParticleBinChannelBytes(int64_t count);

// True when the file opens and starts with the particle magic.
int IsParticleBin(const char* path);

// Opens path for reading ("rb") or creates it for writing ("wb"). nullptr when the file cannot be
// opened, the path does not fit 511 characters or an allocation fails.
BinParticleFrame* OpenParticleBin(const char* path, int for_writing);

// Reads the header and the particles selected by percentage (100 = all). 0 for a wrong magic, a
// version below 9, a negative count, a count the file cannot hold, a short read or a failed
// allocation; the frame is then left to its owner with no particles (its header holds what was
// decoded once all 356 header bytes were read) and the reason in failure.
int ReadParticleBin(BinParticleFrame* frame, float percentage);

// Writes header, header.particle_count records and the trailer. 0 when the frame is not open for
// writing, its arrays hold fewer particles than the header counts, or a write did not complete.
int WriteParticleBin(BinParticleFrame* frame);

// The same file in pieces, for a writer that fills the channel arrays while the file is being
// written: the header as it stands, then the records [first, first + count) in order, each piece
// following the one before (header.version and particle_count unchanged meanwhile), then
// FinishParticleBin, which writes the trailer, the header again (so that statistics known only at
// the end reach it) and flushes. 0 on the conditions of WriteParticleBin or a range beyond the count.
int WriteParticleBinHeader(BinParticleFrame* frame);
int WriteParticleBinRecords(BinParticleFrame* frame, int64_t first, int64_t count);
int FinishParticleBin(BinParticleFrame* frame);

// Sets the fluid name, cut to 249 characters.
void SetParticleBinName(BinParticleFrame* frame, const char* name);

// (Re)sizes the channel arrays for count particles, zero-filled. 0 on a failed allocation (the
// frame then has no arrays).
int AllocateChannels(BinParticleFrame* frame, int32_t count);
// The same without zero-filling, for a writer that sets every value of every array itself.
int AllocateChannelsUnfilled(BinParticleFrame* frame, int32_t count);
void FreeChannels(BinParticleFrame* frame);

// Hands a spare storage block to the frame (reused by the next allocation when large enough,
// freed otherwise); TakeChannelStorage detaches the frame's block for reuse elsewhere.
void GiveChannelStorage(BinParticleFrame* frame, void* storage, int64_t storage_bytes);
void* TakeChannelStorage(BinParticleFrame* frame, int64_t* storage_bytes);

void CloseParticleBinFile(BinParticleFrame* frame);
void FreeParticleBin(BinParticleFrame* frame);

// Value of channel code for particle i: squared length for vector channels, the component for
// texture U and V, the value for scalars. 0 for an empty frame, i out of range or an unknown code.
float GetBinChannelValue(const BinParticleFrame* frame, int32_t i, int32_t code);
