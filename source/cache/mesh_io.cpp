// mesh_io.cpp - block reads and writes, and the face loop shared by the mesh readers and writers.
#include "mesh_io.h"

#include "cache_types.h"

#include <cerrno>
#include <unistd.h>

static_assert(sizeof(MeshFace) == 12, "faces are read straight into the face array");

int MeshReadAt(FILE* f, int64_t offset, unsigned char* dst, int64_t n_bytes)
{
	if (n_bytes <= 0)
		return 1;
	// Positioned reads leave the stream's offset alone, so that two threads may read one file at once.
	const int fd = fileno(f);
	while (n_bytes > 0)
	{
		const ssize_t got = pread(fd, dst, static_cast<size_t>(n_bytes), static_cast<off_t>(offset));
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0)
			return 0;
		dst += got;
		offset += got;
		n_bytes -= got;
	}
	return 1;
}

int MeshOpenStream(const char* path, const char* mode, char** path_buffer, FILE** stream)
{
	*path_buffer = nullptr;
	*stream = nullptr;
	if (!path || !path[0] || std::strlen(path) >= static_cast<size_t>(TW_RECORD_PATH_SIZE))
		return 0;
	char* copy = static_cast<char*>(CacheAlloc(TW_RECORD_PATH_SIZE));
	if (!copy)
		return 0;
	CacheCopyName(copy, TW_RECORD_PATH_SIZE, path, TW_RECORD_PATH_SIZE);
	FILE* f = std::fopen(path, mode);
	if (!f)
	{
		CacheFree(copy);
		return 0;
	}
	setvbuf(f, nullptr, _IONBF, 0);
	*path_buffer = copy;
	*stream = f;
	return 1;
}

int MeshReadFaces(FILE* f, int64_t faces_at, int64_t face_count, int64_t vertex_count, const uint32_t* kept,
	int32_t kept_count, MeshFace* faces, unsigned char* scratch, int64_t* stored_out)
{
	*stored_out = 0;
	const int64_t face_batch = kMeshBlockBytes / 12;
	const bool keep_all = kept_count > 0 && !kept;
	const uint32_t v_limit = static_cast<uint32_t>(vertex_count);
	int64_t stored = 0;
	int64_t cursor = 0;
	for (int64_t first = 0; first < face_count; first += face_batch)
	{
		const int64_t n = first + face_batch <= face_count ? face_batch : face_count - first;
		// Keeping every face, the file's bytes land in the face array itself and are turned round in
		// place: each face is loaded whole before it is stored, and face i is stored at i.
		unsigned char* block = keep_all ? reinterpret_cast<unsigned char*>(faces + first) : scratch;
		if (!MeshReadAt(f, faces_at + 12 * first, block, 12 * n))
			return 0;
		const unsigned char* p = block;
		if (keep_all)
		{
			MeshFace* out = faces + first;
			uint32_t bad = 0;
			for (int64_t i = 0; i < n; ++i, p += 12, ++out)
			{
				const uint32_t c = LoadU32(p);
				const uint32_t b = LoadU32(p + 4);
				const uint32_t a = LoadU32(p + 8);
				bad |= (a >= v_limit) | (b >= v_limit) | (c >= v_limit);
				out->index[0] = a;
				out->index[1] = b;
				out->index[2] = c;
			}
			if (bad)
				return 0;
			stored += n;
			continue;
		}
		for (int64_t i = 0; i < n; ++i, p += 12)
		{
			const uint32_t c = LoadU32(p);
			const uint32_t b = LoadU32(p + 4);
			const uint32_t a = LoadU32(p + 8);
			if (a >= v_limit || b >= v_limit || c >= v_limit)
				return 0;
			if (cursor < kept_count && kept[cursor] == static_cast<uint32_t>(first + i))
			{
				MeshFace* out = faces + stored++;
				out->index[0] = a;
				out->index[1] = b;
				out->index[2] = c;
				++cursor;
			}
		}
	}
	*stored_out = stored;
	return 1;
}

int MeshWriterStart(MeshWriter* w, FILE* stream)
{
	w->stream = stream;
	w->buffer = CacheAllocArray<unsigned char>(kMeshBlockBytes);
	w->used = 0;
	w->ok = w->buffer != nullptr;
	return w->ok;
}

int MeshWriterOpen(MeshWriter* w, const char* path)
{
	*w = MeshWriter{};
	char* path_buffer = nullptr;
	if (!MeshOpenStream(path, "wb", &path_buffer, &w->stream))
		return 0;
	CacheFree(path_buffer);
	if (!MeshWriterStart(w, w->stream))
	{
		MeshWriterFinish(w);
		return 0;
	}
	return 1;
}

void MeshWriterFlush(MeshWriter* w)
{
	if (w->ok && w->used > 0 &&
		std::fwrite(w->buffer, 1, static_cast<size_t>(w->used), w->stream) != static_cast<size_t>(w->used))
		w->ok = 0;
	w->used = 0;
}

void MeshWriterPut(MeshWriter* w, const void* bytes, int64_t n_bytes)
{
	const unsigned char* p = static_cast<const unsigned char*>(bytes);
	while (n_bytes > 0)
	{
		const int64_t n = n_bytes < kMeshBlockBytes ? n_bytes : kMeshBlockBytes;
		std::memcpy(MeshWriterRoom(w, n), p, static_cast<size_t>(n));
		p += n;
		n_bytes -= n;
	}
}

int MeshWriterFinish(MeshWriter* w)
{
	MeshWriterFlush(w);
	CacheFree(w->buffer);
	w->buffer = nullptr;
	int ok = w->ok;
	if (w->stream)
	{
		if (std::fflush(w->stream) != 0 || std::ferror(w->stream))
			ok = 0;
		if (std::fclose(w->stream) != 0)
			ok = 0;
	}
	w->stream = nullptr;
	return ok;
}
