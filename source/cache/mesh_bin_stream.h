// mesh_bin_stream.h - a mesh .bin frame written piece by piece in file order, while a second thread puts
// the pieces already filled into the file.
#pragma once

#include <cstdint>

// The counts of the frame being written, as MeshBinAllocate takes them.
struct MeshBinShape
{
	int32_t vertex_count;
	int32_t face_count;
	int32_t weight_count; // at least 1 with a texture block
	bool texture;
	bool velocity;
};

// Buffers and, while a file is open, the thread that writes them. Kept from file to file, so that each
// frame fills memory that is already mapped.
//
// The caller asks for room for the records of the frame in file order: V positions (x y z f32), F faces
// (corners index[2], index[1], index[0] as u32), with a texture block V texture records (W - 1 weights,
// then texture[0], texture[2], texture[1] as f32), with a velocity block V velocities (vx vy vz f32).
// The stream writes the header, the counts and the markers between them itself. The bytes are those
// MeshBinWrite writes for the same record.
struct MeshBinStream;

// Null when memory runs out. buffer_bytes is rounded up to hold at least a few records.
MeshBinStream* MeshBinStreamNew(int64_t buffer_bytes, int32_t buffer_count);
// Frees the stream, first ending a file still open as a failed one. Null is ignored.
void MeshBinStreamFree(MeshBinStream* stream);

// Creates the file at path for a frame of this shape, or opens the file there to be overwritten, and
// starts the writer thread; without
// `threaded`, or when no thread can start, every full buffer is written by the caller instead. 1, or
// 0 for bad counts, a stream already open, a path that does not fit the record or a file that cannot
// be created (errno then says why; nothing is left open).
int MeshBinStreamOpen(MeshBinStream* stream, const char* path, const MeshBinShape& shape, bool threaded);

// How many records of the section now due fit in one piece: at least 1 while records are due, 0 once
// every record has been given.
int64_t MeshBinStreamFit(MeshBinStream* stream);
// Room for the next `count` records of the section now due, to be filled before the next call. Null,
// and the file fails, when count is not between 1 and MeshBinStreamFit.
unsigned char* MeshBinStreamRecords(MeshBinStream* stream, int64_t count);

// Writes what is left, waits for the writer, cuts off what remains of an older, longer file and closes
// the file. 1 when every record was given and
// every byte reached the file; 0 otherwise (what is left of the file is the caller's to remove).
int MeshBinStreamFinish(MeshBinStream* stream);
