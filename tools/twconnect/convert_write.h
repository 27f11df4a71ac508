// convert_write.h - a loaded cache frame as a table of vertex properties and triangles, and its PLY,
// CSV and OBJ writers, for `twconnect convert`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// PLY's scalar types.
enum class PlyType
{
	Char,
	Uchar,
	Short,
	Ushort,
	Int,
	Uint,
	Float,
	Double,
};

const char* PlyTypeName(PlyType type);
int PlyTypeBytes(PlyType type);

// One vertex property: the value of row i lies at data + i x stride, in the host's (little-endian)
// layout. A 64-bit integer source is written as `type` Int (its low half, when every value fits) or Double.
struct PlyColumn
{
	std::string name;
	PlyType type;
	const unsigned char* data;
	int64_t stride;
	bool from_int64 = false;
};

// A frame ready to be written: its properties, and for meshes its triangles in the file's corner order.
// Points into the reader's record, which stays alive with it.
struct ConvertTable
{
	std::vector<PlyColumn> columns;
	int64_t rows = 0;
	bool mesh = false; // PLY then has a face element, also with no faces
	std::vector<uint32_t> triangles; // 3 per face, 0-based
	// The columns OBJ takes: position (3) and texture u, v (2), -1 when missing.
	int position = -1;
	int texture = -1;
	std::shared_ptr<void> owner; // the record the columns point into
};

// Appends the columns of a channel of `components` values: position gives x y z, velocity vx vy vz,
// normal nx ny nz, texture u v w, any other NAME gives NAME_x NAME_y NAME_z NAME_w, a scalar its name.
// Names keep [A-Za-z0-9_] (anything else becomes '_') and never repeat (a later one gets _2, _3 ...).
void AddChannel(ConvertTable& table, const std::string& name, int components, PlyType type,
	const unsigned char* data, int64_t stride, bool from_int64 = false);

// Reads frame file `path` of a particle or mesh format (CacheFormat) with the library's reader into a
// table. False with the reader's reason when it does not read.
bool LoadConvertTable(int32_t format, const std::string& path, ConvertTable& table, std::string& error);

// Writers into an open stream; false when a write fails. WritePly takes a new, empty file's stream and
// writes through its descriptor, on several threads for a large frame, leaving the stream at the end.
bool WritePly(const ConvertTable& table, FILE* out);
bool WriteCsv(const ConvertTable& table, FILE* out);
bool WriteObj(const ConvertTable& table, FILE* out);

// Writes through `write` into a new file beside `path` and renames it to `path` once complete, so
// that no half-written file ever stands under the final name. False with the reason (nothing left
// behind) when the file cannot be made, a write fails or the rename does.
bool WriteWhole(const std::string& path, bool (*writer)(const ConvertTable&, FILE*), const ConvertTable& table,
	std::string& error);
