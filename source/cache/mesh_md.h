// mesh_md.h - the .md mesh frame file: vertices carrying named channels, and its reader and writer.
#pragma once

#include "mesh_bin.h"

#include <cstdint>
#include <cstdio>

// One mesh frame per file; little-endian, no padding.
//
//   field                   size            meaning
//   magic                   4               0xDABAFADA
//   version                 2               not checked
//   name                    4 + L           u32 length L, then L bytes (no terminator)
//   Nc, V, F                3 x 4           channel count, vertex count, face count
//   descriptors             Nc entries      only when V or F is not 0; each: u32 id, u32 length and the
//                                           channel name, u32 length and a second string, u32 value type
//                                           (4 = one 4-byte value, 6 = three)
//   vertex data             V records       per vertex, per channel in descriptor order, its values
//   faces                   12 F            three u32 vertex indices in reverse corner order, as in a
//                                           mesh .bin
//
// A channel's slot is the position of its name in the slot table (exact, case-sensitive); a name not in
// the table keeps the id stored before it. The slot decides where the values land in MdVertex and how
// many are read; a slot outside the table reads nothing into the vertex (its values are skipped: one
// for type 4, three for type 6).
//
// The reader checks every count and length against what the file can still hold before it allocates;
// vertices whose records carry no values may not outnumber the file's bytes. It fails a file that ends
// before its last face, a channel with an empty name, a slot outside the table with a value type other
// than 4 and 6 (its size is unknown), and a face corner not below V. "neighbors" of type 6 keeps its
// first value. Bytes after the faces are ignored.

constexpr uint32_t MESH_MD_MAGIC = 0xDABAFADAu;
constexpr uint32_t MESH_MD_VALUE_SCALAR = 4;
constexpr uint32_t MESH_MD_VALUE_VECTOR = 6;

enum MdSlot : uint32_t
{
	MD_POSITION = 0,
	MD_VELOCITY = 1,
	MD_FORCE = 2,
	MD_NORMAL = 3,
	MD_NEIGHBORS = 4,
	MD_TEXTURE = 5,
	MD_AGE = 6,
	MD_ISOLATION = 7,
	MD_VISCOSITY = 8,
	MD_DENSITY = 9,
	MD_PRESSURE = 10,
	MD_MASS = 11,
	MD_TEMPERATURE = 12,
	MD_VORTICITY = 13,
	MD_CURVATURE = 14,
	MD_IDENTITY = 15,
	MD_SLOT_COUNT = 16,
};

// The table's names, by slot.
extern const char* const MD_SLOT_NAMES[MD_SLOT_COUNT];

// The sixteen slots, all zero until read. Every value is stored as f32 (the neighbour count and the
// identity too).
struct MdVertex
{
	float position[3];
	float velocity[3];
	float force[3];
	float normal[3];
	float neighbors;
	float texture[3]; // in file order of a vector texture channel: first, third, second value
	float age;
	float isolation;
	float viscosity;
	float density;
	float pressure;
	float mass;
	float temperature;
	float vorticity[3];
	float curvature;
	float identity;
};

// Where each slot's values sit in MdVertex, in floats from its start.
extern const int MD_SLOT_FLOAT[MD_SLOT_COUNT];

struct MdChannel
{
	uint32_t id; // the slot after the name lookup
	uint32_t name_length;
	char* name; // owned, NUL-terminated; never empty in a record that was read
	uint32_t info_length;
	char* info; // owned copy of the second string, or null
	uint32_t value_type;
};

// The in-memory record of an open .md (type 4) file.
struct MdMeshFile
{
	char* path; // owned, TW_RECORD_PATH_SIZE bytes
	FILE* stream; // null once closed
	uint32_t magic;
	uint16_t version;
	uint32_t name_length;
	char* name; // owned, or null for an empty name
	int32_t channel_count;
	int32_t vertex_count;
	int32_t face_count; // as stored in the file, before thinning
	MdChannel* channels;
	MdVertex* vertices;
	MeshFace* faces; // kept_face_count entries
	int32_t kept_index_count;
	int32_t kept_face_count;
	const char* failure; // why the last read failed (a CACHE_FAIL_ text), or nullptr

	// Capacities of the arrays above, which may exceed the counts when they came from a recycled frame
	// (MeshHandleReuse); a read only reallocates what is too small.
	int64_t vertex_capacity;
	int64_t face_capacity;
};

// --- reading (through MeshHandleOpen / MeshHandleRead / MeshHandleFree with CACHE_MESH_MD)

// A record for the file, opened for reading; nothing is read yet. Null when the path does not fit
// the record, the file cannot be opened or memory runs out.
MdMeshFile* MdOpen(const char* path);
// Reads the whole frame from the record's open stream, keeping `percent` of its faces (the mesh .bin's
// face thinning). 1 = read; 0 = not an .md file, damaged or truncated, or out of memory (the record
// then holds no channels, vertices or faces; the caller frees it).
int MdRead(MdMeshFile* file, float percent);
// Frees the record with its strings and arrays, closing the stream if still open. Null is ignored.
void MdFree(MdMeshFile* file);

// The first channel whose slot is `slot`, or null (also for a null file).
const MdChannel* MdFindChannel(const MdMeshFile* file, uint32_t slot);

// The record of a type 4 handle, else null.
MdMeshFile* MeshHandleMdFile(MeshHandle* handle);
const MdMeshFile* MeshHandleMdFile(const MeshHandle* handle);

// --- writing (sample sequences, tests and benchmarks; no importer writes .md)

// One channel of a file to write: its name, the slot whose MdVertex values it carries, and its value
// type (MESH_MD_VALUE_SCALAR or MESH_MD_VALUE_VECTOR).
struct MdWriteChannel
{
	const char* name;
	uint32_t slot;
	uint32_t value_type;
};

// Writes an .md file: the channels' descriptors, then for each of the V vertices each channel's values
// taken from its slot (as MdRead would read them back), then the F faces (corners a, b, c, stored in
// reverse). 1 when every byte reached the file; 0 for bad arguments, a failed allocation or a failed
// write (the file is then incomplete).
int MdWrite(const char* path, const char* name, uint16_t version, const MdWriteChannel* channels, int32_t channel_count,
	const MdVertex* vertices, int32_t vertex_count, const MeshFace* faces, int32_t face_count);
