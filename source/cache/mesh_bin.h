// mesh_bin.h - the mesh .bin frame file, its reader and writer, and the handle through which mesh frames are loaded.
#pragma once

#include <cstdint>
#include <cstdio>

// One mesh frame per file; little-endian, no padding. V vertices, F triangles, W weights per vertex.
//
//   offset                  size            field
//   0                       4               magic 0xDADADADA
//   4                       4               version (4; not checked)
//   8                       4               header marker 0xCCCCCCCC (not checked)
//   12                      4               V
//   16                      12 V            positions, x y z f32 per vertex, metres
//   P = 16 + 12 V           4               F
//   P + 4                   12 F            faces, three u32 vertex indices in reverse corner order:
//                                           index[2], index[1], index[0]
//   T = P + 4 + 12 F        4               texture marker; 0xCCCCCC00 = a texture block follows
//   T + 4                   4               W                                   (texture block only)
//   T + 8                   4 V (W + 2)     per vertex: W - 1 weights f32, then texture[0], texture[2],
//                                           texture[1] f32 (U, W, 1 - V)          (texture block only;
//                                           with W = 0 just the three texture values)
//   M                       4               velocity marker; 0xCCCCCC11 = a velocity block follows
//   M + 4                   12 V            velocities, vx vy vz f32, metres per second (velocity block only)
//   E                       4               end marker 0xDEDEDEDE (value not checked)
//
// The W-th weight is not stored: it is 1 minus the sum of the others. Without a texture block W reads
// as 1 and the vertices carry no weights. The reader checks every count against the file's size before
// it allocates, refuses a file that ends before its end marker, and refuses a face whose vertex index
// is not below V.

constexpr uint32_t MESH_BIN_MAGIC = 0xDADADADAu;
constexpr uint32_t MESH_BIN_VERSION = 4;
constexpr uint32_t MESH_BIN_HEADER_MARKER = 0xCCCCCCCCu;
constexpr uint32_t MESH_BIN_TEXTURE_MARKER = 0xCCCCCC00u;
constexpr uint32_t MESH_BIN_VELOCITY_MARKER = 0xCCCCCC11u;
constexpr uint32_t MESH_BIN_END_MARKER = 0xDEDEDEDEu;

struct MeshVertex
{
	float position[3];
	// W floats inside the record's weight_values block, or null without a texture block (or with W = 0).
	// Never freed one by one.
	float* weights;
	// U, 1 - V, W of the host's texture coordinate.
	float texture[3];
	float velocity[3];
};

struct MeshFace
{
	// The host polygon's corners a, b, c.
	uint32_t index[3];
};

// The in-memory record of an open mesh .bin (type 2) or chunked mesh (type 3) file.
struct MeshBinFile
{
	char* path; // owned, TW_RECORD_PATH_SIZE bytes
	FILE* stream; // null once closed
	uint32_t magic;
	uint32_t version;
	uint32_t header_marker;
	uint32_t texture_marker;
	uint32_t velocity_marker;
	int32_t vertex_count;
	int32_t face_count; // as stored in the file, before thinning
	int32_t weight_count; // 1 without a texture block
	MeshVertex* vertices;
	MeshFace* faces; // kept_face_count entries
	int32_t kept_index_count;
	int32_t kept_face_count;
	const char* failure; // why the last read failed (a CACHE_FAIL_ text), or nullptr

	// Storage behind the arrays above. Capacities may exceed the counts when the arrays came from a
	// recycled frame (MeshHandleReuse); a read only reallocates what is too small.
	float* weight_values;
	int64_t vertex_capacity;
	int64_t face_capacity;
	int64_t weight_capacity;
};

// Handle of one loaded mesh frame of format code 2, 3 or 4 (CacheFormat). Owns its file record.
struct MeshHandle
{
	int32_t type;
	// MeshBinFile for types 2 and 3; the .md record for type 4.
	void* file;
};

// An entry of the frame cache's velocity scale list: entries with channel 0 and kind 2 multiply
// every velocity by factor.
struct MeshVelocityScaleEntry
{
	int32_t channel;
	int32_t kind;
	int32_t index;
	float factor;
};

// True when the file opens and its first four bytes are the mesh magic.
bool MeshIsBinFile(const char* path);

// --- the handle layer used by the frame cache

// Opens the file of a mesh frame for reading; nothing is read yet. Null for an unknown type, a path that
// does not fit the record, a file that cannot be opened or a failed allocation.
MeshHandle* MeshHandleOpen(const char* path, int32_t type);
// Hands the arrays of a frame that is no longer needed to a handle that is open but not yet read, so
// that the read fills memory that is already mapped instead of faulting in fresh pages. Takes `spare`
// in every case: it is freed (its arrays kept by `handle` when both are types 2 or 3, or both type 4).
void MeshHandleReuse(MeshHandle* handle, MeshHandle* spare);
// Reads the frame, keeping `percent` of its faces. 1 = read, 0 = failed (the handle stays the caller's
// to free).
int MeshHandleRead(MeshHandle* handle, float percent);
// Closes the file and keeps the data. 0 once closed, 1 when there was nothing this layer closes.
int MeshHandleCloseFile(MeshHandle* handle);
// Frees the handle, its record and its arrays. Null is ignored.
void MeshHandleFree(MeshHandle* handle);

// Accessors; 0 / null for a null handle or an unknown type.
int32_t MeshHandleType(const MeshHandle* handle);
const char* MeshHandlePath(const MeshHandle* handle);
int32_t MeshHandleVertexCount(const MeshHandle* handle);
// The kept faces.
int32_t MeshHandleFaceCount(const MeshHandle* handle);
// Velocity of vertex i (3 floats), or null when i is out of range.
float* MeshHandleVelocity(MeshHandle* handle, int32_t i);
// The record of a type 2 or 3 handle, else null.
MeshBinFile* MeshHandleBinFile(MeshHandle* handle);

// Applies the velocity scale entries to a type 2 or 3 frame that has been read.
void MeshScaleVelocities(MeshHandle* handle, const MeshVelocityScaleEntry* entries, int32_t entry_count);

// --- the format

// Reads a whole frame from the record's open stream. 1 = read; 0 = not a mesh .bin, damaged, or out of
// memory (the record then holds no vertices or faces; the caller frees it).
int MeshBinRead(MeshBinFile* file, float percent);

// Face thinning shared by the mesh readers: of n faces keep *kept_count. Returns 1 with *kept_list null
// when every face is kept (percent >= 100 or not a number), 1 with an ascending list of the kept face
// indices (allocated through the cache allocator; free with CacheFree) otherwise, 0 when the list
// could not be allocated.
int MeshKeptFaces(int32_t n, float percent, int32_t* kept_count, uint32_t** kept_list);

// Creates a record for writing: opens the file with "wb" and sets the magic, version and header
// marker. Null when the file cannot be created or memory runs out.
MeshBinFile* MeshBinCreate(const char* path);
// Sizes a record for writing: V zeroed vertices, F zeroed faces, and with `texture` a weight block of
// W floats per vertex; sets the counts and markers. 1, or 0 for bad counts or a failed allocation.
int MeshBinAllocate(MeshBinFile* file, int32_t vertex_count, int32_t face_count, int32_t weight_count,
	bool texture, bool velocity);
// Writes a filled record (face_count faces) and closes the file. 1 when every byte reached
// the file; 0 for a record that cannot be written as it stands or any failed write.
int MeshBinWrite(MeshBinFile* file);
// Frees a record (closing its stream if still open). Null is ignored.
void MeshBinFree(MeshBinFile* file);
