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
//   others  skipped by their size

// Reads a chunked file from the record's open stream into the record (as a mesh .bin of the same
// content reads). 1 = read; 0 = damaged or truncated, a polygon type other than "FACE", or out of
// memory (the record then holds no vertices or faces; the caller frees it).
int MeshChunkRead(MeshBinFile* file);

// Writes a filled record as a chunked file: points, triangles, and the texture, velocity and weight
// maps its markers and weight count say it has. 1 when every byte reached the file, else 0.
int MeshChunkWrite(const MeshBinFile* file, const char* path);
