// mesh_chunk.h - chunked mesh frame files (big-endian chunks of points, polygons and vertex maps), read
// into the record of a mesh .bin.
#pragma once

#include "mesh_bin.h"

// After a 12-byte header, chunks until the end of the file: a 4-byte ID, a big-endian u32 size, the
// body. Numbers inside are big-endian.
//   "PNTS"  size / 12 points, x y z f32
//   "POLS"  polygon type "FACE", then per polygon a u16 corner count and the corners as point indices
//           in the variable-length form: a u16, or when the first byte is 0xFF four bytes whose last
//           three are the index
//   "VMAP"  map type, u16 dimension D, NUL-terminated name padded to even length, then entries: a
//           point index (variable-length form) and D f32 values. Read: "TXUV" named "TW UV Mapping..."
//           (texture), "MORF" named "Speed..." (velocity / 25), "WGHT" (one weight per map)
//   others  skipped by their size (odd sizes are not padded)
//
// Every chunk size is checked against the file; a file shorter than its header or ending inside a chunk
// fails. Map entries run to the end of their chunk: an entry for a point that does not exist is
// skipped, one cut by the chunk's end fails. Polygons keep the low 10 bits of their corner count (the
// top 6 are flags); more than three corners make a fan of triangles (v0, vk, vk+1), fewer than three no
// face; a corner not below the point count fails. One layer only: a second "PNTS" or "POLS" fails.
// Each "WGHT" map adds one weight to every vertex (0 where the map has no entry), the last weight being
// 1 minus the sum of the others; more than 255 weight maps fail.

// Reads a chunked file from the record's open stream into the record (as a mesh .bin of the same
// content reads). 1 = read; 0 = damaged or truncated, a polygon type other than "FACE", or out of
// memory (the record then holds no vertices or faces; the caller frees it).
int MeshChunkRead(MeshBinFile* file);

// Writes a filled record (its kept faces) as a chunked file: points, triangles, and the texture (U and
// 1 - V, two values), velocity and weight maps its markers and weight count say it has. 0 for a record
// that would not read back (a corner not below V, more than 2^24 points, a vertex without weights) or a
// failed write; 1 when every byte reached the file.
int MeshChunkWrite(const MeshBinFile* file, const char* path);
