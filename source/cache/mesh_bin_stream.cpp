// mesh_bin_stream.cpp - a mesh .bin frame written piece by piece while a second thread writes the pieces.
#include "mesh_bin_stream.h"

#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_bin.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The file is a run of parts, each a few fixed bytes (header, count or marker) and then its records.
struct StreamPart
{
	unsigned char head[16];
	int32_t head_bytes;
	int64_t record_bytes;
	int64_t count;
};

constexpr int kPartCount = 5; // positions, faces, texture, velocities, end marker
constexpr int32_t kMaxBuffers = 16;

} // namespace

struct MeshBinStream
{
	unsigned char* buffers[kMaxBuffers];
	int32_t buffer_count;
	int64_t buffer_bytes;
	bool buffers_ok; // every buffer allocated

	// The file being written; null when none is open.
	FILE* file;
	bool threaded;
	std::thread writer;
	bool broken; // a caller's mistake: the file must not count as written

	StreamPart parts[kPartCount];
	int part;
	bool head_done;
	int64_t left; // records of the part still due

	int32_t current; // the buffer being filled
	int64_t used;

	// Shared with the writer thread, under `lock`.
	std::mutex lock;
	std::condition_variable changed;
	int32_t free_list[kMaxBuffers];
	int32_t free_count;
	int32_t full[kMaxBuffers]; // FIFO of full buffers
	int64_t full_bytes[kMaxBuffers];
	int32_t full_first;
	int32_t full_count;
	bool closing;
	// Written by whichever thread writes, read by the caller once the writer is joined.
	bool write_failed;
	int64_t written_bytes;
};

static void WriteBuffer(MeshBinStream* s, const unsigned char* bytes, int64_t n_bytes)
{
	if (s->write_failed || n_bytes <= 0)
		return;
	if (std::fwrite(bytes, 1, static_cast<size_t>(n_bytes), s->file) != static_cast<size_t>(n_bytes))
		s->write_failed = true;
	s->written_bytes += n_bytes;
}

static void WriterLoop(MeshBinStream* s)
{
	std::unique_lock<std::mutex> guard(s->lock);
	for (;;)
	{
		s->changed.wait(guard, [s] { return s->full_count > 0 || s->closing; });
		if (s->full_count == 0)
			return;
		const int32_t index = s->full[s->full_first];
		const int64_t n_bytes = s->full_bytes[s->full_first];
		s->full_first = (s->full_first + 1) % kMaxBuffers;
		--s->full_count;
		guard.unlock();
		// Only this thread touches the file and write_failed until it is joined.
		WriteBuffer(s, s->buffers[index], n_bytes);
		guard.lock();
		s->free_list[s->free_count++] = index;
		s->changed.notify_all();
	}
}

// Passes the buffer being filled to the writer and takes an empty one.
static void Handoff(MeshBinStream* s)
{
	if (s->used == 0)
		return;
	if (!s->threaded)
	{
		WriteBuffer(s, s->buffers[s->current], s->used);
		s->used = 0;
		return;
	}
	std::unique_lock<std::mutex> guard(s->lock);
	const int32_t slot = (s->full_first + s->full_count) % kMaxBuffers;
	s->full[slot] = s->current;
	s->full_bytes[slot] = s->used;
	++s->full_count;
	s->changed.notify_all();
	s->changed.wait(guard, [s] { return s->free_count > 0; });
	s->current = s->free_list[--s->free_count];
	s->used = 0;
}

static unsigned char* Room(MeshBinStream* s, int64_t n_bytes)
{
	if (s->used + n_bytes > s->buffer_bytes)
		Handoff(s);
	unsigned char* p = s->buffers[s->current] + s->used;
	s->used += n_bytes;
	return p;
}

// Moves on to the part whose records are due, writing the fixed bytes of the parts it passes; false
// once the whole file has been given.
static bool Advance(MeshBinStream* s)
{
	while (s->part < kPartCount)
	{
		const StreamPart& p = s->parts[s->part];
		if (!s->head_done)
		{
			std::memcpy(Room(s, p.head_bytes), p.head, static_cast<size_t>(p.head_bytes));
			s->head_done = true;
			s->left = p.count;
		}
		if (s->left > 0)
			return true;
		++s->part;
		s->head_done = false;
	}
	return false;
}

static void FreeBuffers(MeshBinStream* s)
{
	for (int32_t i = 0; i < s->buffer_count; ++i)
	{
		CacheFree(s->buffers[i]);
		s->buffers[i] = nullptr;
	}
}

static int AllocateBuffers(MeshBinStream* s, int64_t buffer_bytes)
{
	FreeBuffers(s);
	s->buffer_bytes = buffer_bytes;
	s->buffers_ok = false;
	for (int32_t i = 0; i < s->buffer_count; ++i)
		if (!(s->buffers[i] = CacheAllocArray<unsigned char>(buffer_bytes)))
			return 0;
	s->buffers_ok = true;
	return 1;
}

MeshBinStream* MeshBinStreamNew(int64_t buffer_bytes, int32_t buffer_count)
{
	if (buffer_count < 1 || buffer_count > kMaxBuffers)
		return nullptr;
	// the fixed bytes of a part always fit
	if (buffer_bytes < 64)
		buffer_bytes = 64;
	void* memory = CacheAlloc(sizeof(MeshBinStream));
	if (!memory)
		return nullptr;
	MeshBinStream* s = new (memory) MeshBinStream();
	s->buffer_count = buffer_count;
	if (!AllocateBuffers(s, buffer_bytes))
	{
		MeshBinStreamFree(s);
		return nullptr;
	}
	return s;
}

void MeshBinStreamFree(MeshBinStream* s)
{
	if (!s)
		return;
	if (s->file)
	{
		s->broken = true;
		MeshBinStreamFinish(s);
	}
	FreeBuffers(s);
	s->~MeshBinStream();
	CacheFree(s);
}

// Creates the file, or opens the one already there without cutting it to nothing: overwriting the old
// file's pages costs far less than having the system free them all and then take fresh ones.
// MeshBinStreamFinish cuts the file to what was written.
static FILE* OpenInPlace(const char* path)
{
	if (!path || !path[0] || std::strlen(path) >= static_cast<size_t>(TW_RECORD_PATH_SIZE))
		return nullptr;
	const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
	if (fd < 0)
		return nullptr;
	FILE* f = fdopen(fd, "wb");
	if (!f)
	{
		close(fd);
		return nullptr;
	}
	// every write is a whole buffer of ours
	setvbuf(f, nullptr, _IONBF, 0);
	return f;
}

static void SetPart(StreamPart& p, const uint32_t* words, int32_t word_count, int64_t record_bytes, int64_t count)
{
	for (int32_t i = 0; i < word_count; ++i)
		StoreU32(p.head + 4 * i, words[i]);
	p.head_bytes = 4 * word_count;
	p.record_bytes = record_bytes;
	p.count = count;
}

int MeshBinStreamOpen(MeshBinStream* s, const char* path, const MeshBinShape& shape, bool threaded)
{
	if (!s || s->file || shape.vertex_count < 0 || shape.face_count < 0 || shape.face_count > INT32_MAX / 3 ||
		shape.weight_count < 0 || (shape.texture && shape.weight_count < 1))
		return 0;
	const int64_t v = shape.vertex_count;
	const int64_t texture_bytes = shape.texture ? 4 * (static_cast<int64_t>(shape.weight_count) + 2) : 0;
	// A texture record of very many weights still has to fit one buffer.
	const int64_t buffer_bytes = texture_bytes > s->buffer_bytes ? texture_bytes : s->buffer_bytes;
	if ((buffer_bytes != s->buffer_bytes || !s->buffers_ok) && !AllocateBuffers(s, buffer_bytes))
		return 0;

	const uint32_t header[] = {MESH_BIN_MAGIC, MESH_BIN_VERSION, MESH_BIN_HEADER_MARKER, static_cast<uint32_t>(v)};
	SetPart(s->parts[0], header, 4, 12, v);
	const uint32_t faces[] = {static_cast<uint32_t>(shape.face_count)};
	SetPart(s->parts[1], faces, 1, 12, shape.face_count);
	const uint32_t texture[] = {MESH_BIN_TEXTURE_MARKER, static_cast<uint32_t>(shape.weight_count)};
	const uint32_t no_texture[] = {0};
	if (shape.texture)
		SetPart(s->parts[2], texture, 2, texture_bytes, v);
	else
		SetPart(s->parts[2], no_texture, 1, 0, 0);
	const uint32_t velocity[] = {shape.velocity ? MESH_BIN_VELOCITY_MARKER : 0u};
	SetPart(s->parts[3], velocity, 1, 12, shape.velocity ? v : 0);
	const uint32_t end[] = {MESH_BIN_END_MARKER};
	SetPart(s->parts[4], end, 1, 0, 0);

	if (!(s->file = OpenInPlace(path)))
		return 0;
	s->part = 0;
	s->head_done = false;
	s->left = 0;
	s->broken = false;
	s->write_failed = false;
	s->written_bytes = 0;
	s->closing = false;
	s->current = 0;
	s->used = 0;
	s->full_first = 0;
	s->full_count = 0;
	s->free_count = 0;
	for (int32_t i = s->buffer_count - 1; i >= 1; --i)
		s->free_list[s->free_count++] = i;
	s->threaded = false;
	// One buffer leaves nothing to fill while the writer writes.
	if (threaded && s->buffer_count > 1)
	{
		try
		{
			s->writer = std::thread(WriterLoop, s);
			s->threaded = true;
		}
		catch (const std::system_error&)
		{
			// written by the caller's thread instead
		}
	}
	return 1;
}

int64_t MeshBinStreamFit(MeshBinStream* s)
{
	if (!s || !s->file || s->broken || !Advance(s))
		return 0;
	const int64_t record_bytes = s->parts[s->part].record_bytes;
	int64_t fit = (s->buffer_bytes - s->used) / record_bytes;
	if (fit == 0)
		fit = s->buffer_bytes / record_bytes;
	return fit < s->left ? fit : s->left;
}

unsigned char* MeshBinStreamRecords(MeshBinStream* s, int64_t count)
{
	if (!s || !s->file || s->broken)
		return nullptr;
	if (count < 1 || count > MeshBinStreamFit(s))
	{
		s->broken = true;
		return nullptr;
	}
	s->left -= count;
	return Room(s, count * s->parts[s->part].record_bytes);
}

int MeshBinStreamFinish(MeshBinStream* s)
{
	if (!s || !s->file)
		return 0;
	// Every record must have been given; the parts after the last records only add fixed bytes.
	const bool complete = !s->broken && !Advance(s);
	if (s->threaded)
	{
		Handoff(s);
		{
			std::lock_guard<std::mutex> guard(s->lock);
			s->closing = true;
		}
		s->changed.notify_all();
		s->writer.join();
	}
	else
	{
		Handoff(s);
	}
	// A write error may only show when the stream is flushed and closed.
	bool ok = complete && !s->write_failed;
	if (std::fflush(s->file) != 0 || std::ferror(s->file))
		ok = false;
	// What is left of a longer file that was there before; a device or a pipe has no length to cut.
	struct stat st;
	const int fd = fileno(s->file);
	if (fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && st.st_size > s->written_bytes && ftruncate(fd, s->written_bytes) != 0))
		ok = false;
	if (std::fclose(s->file) != 0)
		ok = false;
	s->file = nullptr;
	s->threaded = false;
	return ok ? 1 : 0;
}
