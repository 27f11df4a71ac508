// mesh_io.h - block reads and writes, array recycling and the face loop shared by the mesh readers and
// writers. Included only by source/cache/mesh_*.cpp.
#pragma once

#include "cache_internal.h"
#include "mesh_bin.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// Reads and writes go through buffers of about this size. System calls are dear (under a hypervisor
// far more than the cache misses of a buffer this size), so few large reads beat many small ones.
constexpr int64_t kMeshBlockBytes = 4 * 1024 * 1024;

// Zeroes the counts of a record (W = 1): what its arrays hold is then nobody's to look at.
void MeshBinForget(MeshBinFile* file);

// How many records of record_bytes to read at a time out of count: about a block's worth, at least
// one, at most count.
inline int64_t MeshBatch(int64_t record_bytes, int64_t count)
{
	int64_t batch = record_bytes > 0 ? kMeshBlockBytes / record_bytes : count;
	if (batch < 1)
		batch = 1;
	return batch < count ? batch : count;
}

// Bytes of a scratch buffer that holds a batch of vertex records or a batch of faces.
inline int64_t MeshScratchBytes(int64_t vertex_bytes, int64_t vertex_count, int64_t face_count)
{
	const int64_t vertices = vertex_bytes * MeshBatch(vertex_bytes, vertex_count);
	const int64_t faces = 12 * MeshBatch(12, face_count);
	return vertices > faces ? vertices : faces;
}

// n_bytes from offset into dst; 1, or 0 when the file does not hold them all. Does not move the
// stream's offset: threads may read one file at once.
int MeshReadAt(FILE* f, int64_t offset, unsigned char* dst, int64_t n_bytes);

// Makes *array hold at least count entries, keeping what it has when it is big enough; the contents
// are not kept.
template <typename T>
int MeshReserve(T** array, int64_t* capacity, int64_t count)
{
	if (count <= *capacity)
		return 1;
	CacheFree(*array);
	*array = nullptr;
	*capacity = 0;
	T* p = CacheAllocArray<T>(count);
	if (!p)
		return 0;
	*array = p;
	*capacity = count;
	return 1;
}

// A copy of path in a new TW_RECORD_PATH_SIZE buffer and the file opened unbuffered in mode (every
// read and write moves whole blocks of our own, a stream buffer would only add a copy). 1, or 0 for an
// empty or too long path, no memory or a file that does not open (nothing is then left allocated).
int MeshOpenStream(const char* path, const char* mode, char** path_buffer, FILE** stream);

// Faces stored as three u32 corners in reverse order at faces_at, read into faces: every face when
// kept is null, else the faces whose indices the ascending list kept names. Every face, kept or not,
// must have its corners below vertex_count, so that whether a file reads does not depend on the
// percentage. scratch holds the faces of one block: 12 min(face_count, kMeshBlockBytes / 12) bytes.
// 1 with *stored set, or 0.
int MeshReadFaces(FILE* f, int64_t faces_at, int64_t face_count, int64_t vertex_count, const uint32_t* kept,
	int32_t kept_count, MeshFace* faces, unsigned char* scratch, int64_t* stored);

// Bytes written in blocks of kMeshBlockBytes.
struct MeshWriter
{
	FILE* stream;
	unsigned char* buffer;
	int64_t used;
	int ok;
};

// 1, or 0 when the buffer cannot be allocated.
int MeshWriterStart(MeshWriter* w, FILE* stream);
// Creates the file at path and starts writing it; 0 (nothing left open or allocated) when either fails.
int MeshWriterOpen(MeshWriter* w, const char* path);
void MeshWriterFlush(MeshWriter* w);

// Room for n_bytes (at most kMeshBlockBytes) at the end of the buffer.
inline unsigned char* MeshWriterRoom(MeshWriter* w, int64_t n_bytes)
{
	if (w->used + n_bytes > kMeshBlockBytes)
		MeshWriterFlush(w);
	unsigned char* p = w->buffer + w->used;
	w->used += n_bytes;
	return p;
}

// Writes n_bytes of any length.
void MeshWriterPut(MeshWriter* w, const void* bytes, int64_t n_bytes);

// Flushes, frees the buffer and closes the stream; 1 when every byte reached the file (a write error
// may only show when the last bytes leave the stream).
int MeshWriterFinish(MeshWriter* w);
