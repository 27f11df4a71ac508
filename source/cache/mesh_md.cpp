// mesh_md.cpp - reading and writing .md mesh frames.
#include "mesh_md.h"

#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_io.h"

#include <cstddef>
#include <cstring>
#include <thread>

const char* const MD_SLOT_NAMES[MD_SLOT_COUNT] = {"position", "velocity", "force", "normal", "neighbors", "texture",
	"age", "isolation", "viscosity", "density", "pressure", "mass", "temperature", "vorticity", "curvature",
	"identity"};

// A vertex is decoded as an array of floats: the slot table's fields by float index.
constexpr int kVertexFloats = 28;
static_assert(sizeof(MdVertex) == kVertexFloats * sizeof(float), "MdVertex is a plain array of floats");

#define MD_FLOAT(field) static_cast<int>(offsetof(MdVertex, field) / sizeof(float))

const int MD_SLOT_FLOAT[MD_SLOT_COUNT] = {MD_FLOAT(position), MD_FLOAT(velocity), MD_FLOAT(force),
	MD_FLOAT(normal), MD_FLOAT(neighbors), MD_FLOAT(texture), MD_FLOAT(age), MD_FLOAT(isolation),
	MD_FLOAT(viscosity), MD_FLOAT(density), MD_FLOAT(pressure), MD_FLOAT(mass), MD_FLOAT(temperature),
	MD_FLOAT(vorticity), MD_FLOAT(curvature), MD_FLOAT(identity)};

// Where each value of a channel goes: dst[j] is the float of MdVertex that value j lands in, -1 for a
// value that is read and dropped. Returns the number of values per vertex, or -1 for a channel whose
// size is unknown (a slot outside the table with a value type other than 4 and 6: what follows would
// be read misaligned).
static int ChannelValues(uint32_t slot, uint32_t value_type, int dst[3])
{
	const bool vector = value_type == MESH_MD_VALUE_VECTOR;
	dst[0] = dst[1] = dst[2] = -1;
	if (slot >= MD_SLOT_COUNT)
	{
		if (value_type == MESH_MD_VALUE_SCALAR)
			return 1;
		return vector ? 3 : -1;
	}
	const int base = MD_SLOT_FLOAT[slot];
	switch (slot)
	{
	case MD_POSITION:
	case MD_VELOCITY:
	case MD_FORCE:
	case MD_NORMAL:
	case MD_VORTICITY:
		dst[0] = base;
		dst[1] = base + 1;
		dst[2] = base + 2;
		return vector || slot == MD_VORTICITY ? 3 : 1;
	case MD_NEIGHBORS:
		// One float holds the count: a vector keeps its first value, so the other two cannot spill into
		// the texture that follows it.
		dst[0] = base;
		return vector ? 3 : 1;
	case MD_TEXTURE:
		dst[0] = base;
		dst[1] = base + 2;
		dst[2] = base + 1;
		return vector ? 3 : 1;
	default:
		dst[0] = base;
		return 1;
	}
}

// The slot of a table name (exact bytes, case-sensitive), or -1.
static int SlotOfName(const char* name, uint32_t length)
{
	for (int slot = 0; slot < static_cast<int>(MD_SLOT_COUNT); ++slot)
		if (std::strlen(MD_SLOT_NAMES[slot]) == length && std::memcmp(MD_SLOT_NAMES[slot], name, length) == 0)
			return slot;
	return -1;
}

// --- records

MdMeshFile* MdOpen(const char* path)
{
	MdMeshFile* file = static_cast<MdMeshFile*>(CacheCalloc(1, sizeof(MdMeshFile)));
	if (!file)
		return nullptr;
	if (!MeshOpenStream(path, "rb", &file->path, &file->stream))
	{
		CacheFree(file);
		return nullptr;
	}
	return file;
}

// Drops what a read learnt: the name, the channels and every count. The vertex and face arrays stay
// for the next read.
static void ForgetFrame(MdMeshFile* file)
{
	CacheFree(file->name);
	file->name = nullptr;
	file->name_length = 0;
	for (int32_t c = 0; file->channels && c < file->channel_count; ++c)
	{
		CacheFree(file->channels[c].name);
		CacheFree(file->channels[c].info);
	}
	CacheFree(file->channels);
	file->channels = nullptr;
	file->channel_count = 0;
	file->vertex_count = 0;
	file->face_count = 0;
	file->kept_face_count = 0;
	file->kept_index_count = 0;
}

void MdFree(MdMeshFile* file)
{
	if (!file)
		return;
	CacheCloseFile(&file->stream);
	ForgetFrame(file);
	CacheFree(file->path);
	CacheFree(file->vertices);
	CacheFree(file->faces);
	CacheFree(file);
}

const MdChannel* MdFindChannel(const MdMeshFile* file, uint32_t slot)
{
	for (int32_t c = 0; file && file->channels && c < file->channel_count; ++c)
		if (file->channels[c].id == slot)
			return &file->channels[c];
	return nullptr;
}

MdMeshFile* MeshHandleMdFile(MeshHandle* handle)
{
	return handle && handle->type == CACHE_MESH_MD ? static_cast<MdMeshFile*>(handle->file) : nullptr;
}

const MdMeshFile* MeshHandleMdFile(const MeshHandle* handle)
{
	return handle && handle->type == CACHE_MESH_MD ? static_cast<const MdMeshFile*>(handle->file) : nullptr;
}

// --- reading

// The fields before the vertex data are small and many; they are taken from one window of the file so
// that a descriptor costs no read of its own.
struct HeadReader
{
	FILE* f;
	int64_t size; // of the file
	int64_t at; // file offset of the next byte
	int64_t window_at; // file offset of window[0]
	int64_t window_len;
	unsigned char window[4096];
};

// n bytes (at most the window's size) at the cursor, which moves past them; null when the file ends
// first.
static const unsigned char* Take(HeadReader* r, int64_t n)
{
	if (n > r->size - r->at)
		return nullptr;
	if (r->at + n > r->window_at + r->window_len)
	{
		int64_t len = r->size - r->at;
		if (len > static_cast<int64_t>(sizeof(r->window)))
			len = sizeof(r->window);
		if (!MeshReadAt(r->f, r->at, r->window, len))
			return nullptr;
		r->window_at = r->at;
		r->window_len = len;
	}
	const unsigned char* p = r->window + (r->at - r->window_at);
	r->at += n;
	return p;
}

static int TakeU32(HeadReader* r, uint32_t* value)
{
	const unsigned char* p = Take(r, 4);
	if (!p)
		return 0;
	*value = LoadU32(p);
	return 1;
}

// A string of `length` bytes from the file as a new NUL-terminated buffer; null when the file ends
// first or memory runs out.
static char* TakeString(HeadReader* r, uint32_t length)
{
	if (length > r->size - r->at)
		return nullptr;
	char* s = static_cast<char*>(CacheAlloc(static_cast<size_t>(length) + 1));
	if (!s)
		return nullptr;
	for (int64_t done = 0; done < length;)
	{
		int64_t piece = length - done;
		if (piece > static_cast<int64_t>(sizeof(r->window)))
			piece = sizeof(r->window);
		const unsigned char* p = Take(r, piece);
		if (!p)
		{
			CacheFree(s);
			return nullptr;
		}
		std::memcpy(s + done, p, static_cast<size_t>(piece));
		done += piece;
	}
	s[length] = '\0';
	return s;
}

// Values of a vertex record that land in the vertex: `count` floats from float `src` of the record on,
// into float `dst` of MdVertex on. Values that follow each other in both become one run.
struct MdRun
{
	uint32_t src;
	uint32_t dst;
	uint32_t count;
};

static void AddValue(MdRun* runs, int64_t* run_count, uint32_t src, uint32_t dst)
{
	MdRun* last = *run_count > 0 ? &runs[*run_count - 1] : nullptr;
	if (last && last->src + last->count == src && last->dst + last->count == dst)
		++last->count;
	else
		runs[(*run_count)++] = MdRun{src, dst, 1};
}

// Reads the descriptors into file->channels (already sized) and the runs of values to decode;
// *values = floats per vertex record. 0 for a damaged descriptor or no memory.
static int ReadChannels(MdMeshFile* file, HeadReader* r, MdRun* runs, int64_t* run_count, int64_t* values)
{
	*run_count = 0;
	*values = 0;
	for (int32_t c = 0; c < file->channel_count; ++c)
	{
		MdChannel* channel = &file->channels[c];
		uint32_t id = 0;
		if (!TakeU32(r, &id) || !TakeU32(r, &channel->name_length))
			return 0;
		// A nameless channel matches no slot and its stored id says nothing reliable about its size.
		if (channel->name_length == 0 || !(channel->name = TakeString(r, channel->name_length)))
			return 0;
		if (!TakeU32(r, &channel->info_length))
			return 0;
		if (channel->info_length > 0 && !(channel->info = TakeString(r, channel->info_length)))
			return 0;
		if (!TakeU32(r, &channel->value_type))
			return 0;
		const int slot = SlotOfName(channel->name, channel->name_length);
		channel->id = slot >= 0 ? static_cast<uint32_t>(slot) : id;
		int dst[3];
		const int n = ChannelValues(channel->id, channel->value_type, dst);
		if (n < 0)
			return 0;
		for (int j = 0; j < n; ++j)
			if (dst[j] >= 0)
				AddValue(runs, run_count, static_cast<uint32_t>(*values + j), static_cast<uint32_t>(dst[j]));
		*values += n;
	}
	return 1;
}

// count little-endian floats from s to d.
static inline void CopyFloats(float* d, const unsigned char* s, uint32_t count)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	// Copies of a fixed size compile to a move or two; one of a size known only at run time (or a loop
	// of copies, which the compiler turns into one) would be a call per run. Runs are short: a channel
	// holds at most three values, and few channels are neighbours in both the record and the vertex.
	switch (count)
	{
	case 1: std::memcpy(d, s, 4); return;
	case 2: std::memcpy(d, s, 8); return;
	case 3: std::memcpy(d, s, 12); return;
	case 4: std::memcpy(d, s, 16); return;
	case 5: std::memcpy(d, s, 16); std::memcpy(d + 4, s + 16, 4); return;
	case 6: std::memcpy(d, s, 16); std::memcpy(d + 4, s + 16, 8); return;
	default: std::memcpy(d, s, 4 * static_cast<size_t>(count)); return;
	}
#else
	for (uint32_t k = 0; k < count; ++k)
		d[k] = LoadF32(s + 4 * k);
#endif
}

// Stores a vertex in groups of four floats: one copy of the whole would become a string move, slow to
// start, and so would a loop of copies.
static inline void StoreVertex(MdVertex* out, const float* v)
{
	static_assert(kVertexFloats == 28, "seven groups of four floats");
	float* o = reinterpret_cast<float*>(out);
	std::memcpy(o, v, 16);
	std::memcpy(o + 4, v + 4, 16);
	std::memcpy(o + 8, v + 8, 16);
	std::memcpy(o + 12, v + 12, 16);
	std::memcpy(o + 16, v + 16, 16);
	std::memcpy(o + 20, v + 20, 16);
	std::memcpy(o + 24, v + 24, 16);
}

// Decodes n vertex records of `stride` bytes. Values no channel supplies stay zero: they are zero in
// the template, which every vertex is stored from whole, so a recycled array needs no clearing.
static void DecodeVertices(MdVertex* out, const unsigned char* records, int64_t n, int64_t stride, const MdRun* runs,
	int64_t run_count)
{
	float vertex[kVertexFloats] = {};
	for (int64_t i = 0; i < n; ++i, records += stride)
	{
		for (int64_t r = 0; r < run_count; ++r)
			CopyFloats(vertex + runs[r].dst, records + 4 * runs[r].src, runs[r].count);
		StoreVertex(out + i, vertex);
	}
}

// Where a frame's vertex records are and how they decode.
struct VertexBlocks
{
	FILE* f;
	int64_t at; // file offset of vertex 0
	int64_t stride; // bytes of a vertex record
	int64_t batch; // vertices read at a time
	const MdRun* runs;
	int64_t run_count;
	MdVertex* out;
};

// Reads and decodes vertices [first, end) through scratch (room for a batch); 1, or 0 when the file ends
// first.
static int ReadVertexBlocks(const VertexBlocks& b, int64_t first, int64_t end, unsigned char* scratch)
{
	for (; first < end; first += b.batch)
	{
		const int64_t n = first + b.batch <= end ? b.batch : end - first;
		if (!MeshReadAt(b.f, b.at + b.stride * first, scratch, b.stride * n))
			return 0;
		DecodeVertices(b.out + first, scratch, n, b.stride, b.runs, b.run_count);
	}
	return 1;
}

// Frames of at least this many bytes of vertices and faces are read by two threads; below it a thread
// costs more than it saves.
static const int64_t kTwoThreadBytes = 8 * 1024 * 1024;

int MdRead(MdMeshFile* file, float percent)
{
	if (!file || !file->stream)
		return 0;
	ForgetFrame(file);
	file->failure = CACHE_FAIL_MEMORY;
	HeadReader* r = static_cast<HeadReader*>(CacheAlloc(sizeof(HeadReader)));
	if (!r)
		return 0;
	r->f = file->stream;
	r->size = CacheFileSize(file->stream);
	r->at = r->window_at = r->window_len = 0;

	int ok = 0;
	MdRun* runs = nullptr;
	uint32_t* kept = nullptr;
	unsigned char* scratch = nullptr;
	unsigned char* second_scratch = nullptr;
	// the head is read through a window checked against the file's size: until the arrays are
	// sized, a failure is a file that ends too soon unless said otherwise
	const char* why = CACHE_FAIL_TRUNCATED;
	do
	{
		const unsigned char* head = Take(r, 6);
		if (!head)
			break;
		if (LoadU32(head) != MESH_MD_MAGIC)
		{
			why = CACHE_FAIL_MAGIC;
			break;
		}
		file->magic = LoadU32(head);
		file->version = LoadU16(head + 4);
		if (!TakeU32(r, &file->name_length))
			break;
		if (file->name_length > 0 && !(file->name = TakeString(r, file->name_length)))
			break;
		const unsigned char* counts = Take(r, 12);
		if (!counts)
			break;
		const uint32_t nc = LoadU32(counts);
		const uint32_t v = LoadU32(counts + 4);
		const uint32_t f = LoadU32(counts + 8);
		if (v == 0 && f == 0)
		{
			ok = 1;
			break;
		}
		// kept_index_count holds three indices per face.
		why = CACHE_FAIL_COUNT;
		if (v > static_cast<uint32_t>(INT32_MAX) || f > static_cast<uint32_t>(INT32_MAX / 3))
			break;
		// A descriptor takes at least four u32 and one byte of name.
		if (nc > (r->size - r->at) / 17)
			break;
		why = CACHE_FAIL_MEMORY;
		file->channels = static_cast<MdChannel*>(CacheCalloc(nc ? nc : 1, sizeof(MdChannel)));
		runs = CacheAllocArray<MdRun>(3 * static_cast<int64_t>(nc) + 1);
		if (!file->channels || !runs)
			break;
		file->channel_count = static_cast<int32_t>(nc);
		int64_t run_count = 0;
		int64_t values = 0;
		why = CACHE_FAIL_DAMAGED;
		if (!ReadChannels(file, r, runs, &run_count, &values))
			break;
		why = CACHE_FAIL_COUNT;

		const int64_t vertex_count = v;
		const int64_t face_count = f;
		const int64_t stride = 4 * values;
		const int64_t vertices_at = r->at;
		const int64_t room = r->size - vertices_at;
		// Vertices without values take no room in the file; their count is held to the file's size so
		// that a few bytes cannot ask for gigabytes of zeroed vertices.
		if (stride > 0 ? vertex_count > room / stride : vertex_count > r->size)
			break;
		const int64_t faces_at = vertices_at + stride * vertex_count;
		if (face_count > (r->size - faces_at) / 12)
			break;

		int32_t kept_count = 0;
		why = CACHE_FAIL_MEMORY;
		if (!MeshKeptFaces(static_cast<int32_t>(face_count), percent, &kept_count, &kept))
			break;
		const int64_t vertex_batch = MeshBatch(stride, vertex_count);
		const int64_t scratch_bytes = MeshScratchBytes(stride, vertex_count, face_count);
		if (!MeshReserve(&file->vertices, &file->vertex_capacity, vertex_count) ||
			!MeshReserve(&file->faces, &file->face_capacity, kept_count) ||
			!(scratch = CacheAllocArray<unsigned char>(scratch_bytes)))
			break;

		const VertexBlocks blocks = {r->f, vertices_at, stride, vertex_batch, runs, run_count, file->vertices};
		int64_t stored = 0;
		// the blocks lie inside the file: faces that do not read name a vertex that does not exist
		why = CACHE_FAIL_INDEX;
		// A large frame is read by two threads: one takes the faces and the first vertices, this one the
		// rest. Without a second scratch buffer or thread it is read here alone.
		const int64_t face_bytes = 12 * face_count;
		if (stride > 0 && stride * vertex_count + face_bytes >= kTwoThreadBytes &&
			(second_scratch = CacheAllocArray<unsigned char>(scratch_bytes)))
		{
			// Faces cost about a third of what vertex records of the same size cost to decode.
			int64_t split = (stride * vertex_count - face_bytes / 3) / (2 * stride);
			split = split < 0 ? 0 : split > vertex_count ? vertex_count : split;
			int faces_read = 0, first_read = 0;
			unsigned char* worker_scratch = second_scratch;
			auto first_part = [&]() {
				faces_read = MeshReadFaces(blocks.f, faces_at, face_count, vertex_count, kept, kept_count, file->faces,
					worker_scratch, &stored);
				first_read = faces_read && ReadVertexBlocks(blocks, 0, split, worker_scratch);
			};
			std::thread worker;
			try
			{
				worker = std::thread(first_part);
			}
			catch (...)
			{
				first_part();
			}
			const int rest_read = ReadVertexBlocks(blocks, split, vertex_count, scratch);
			if (worker.joinable())
				worker.join();
			if (!faces_read || !first_read || !rest_read)
				break;
		}
		else if (!ReadVertexBlocks(blocks, 0, vertex_count, scratch) ||
			!MeshReadFaces(r->f, faces_at, face_count, vertex_count, kept, kept_count, file->faces, scratch, &stored))
			break;
		file->vertex_count = static_cast<int32_t>(vertex_count);
		file->face_count = static_cast<int32_t>(face_count);
		file->kept_face_count = static_cast<int32_t>(stored);
		file->kept_index_count = static_cast<int32_t>(3 * stored);
		ok = 1;
	} while (false);

	CacheFree(scratch);
	CacheFree(second_scratch);
	CacheFree(kept);
	CacheFree(runs);
	CacheFree(r);
	file->failure = ok ? nullptr : why;
	if (!ok)
		ForgetFrame(file);
	return ok;
}

// --- writing

static void PutU32(MeshWriter* w, uint32_t value)
{
	StoreU32(MeshWriterRoom(w, 4), value);
}

static void PutString(MeshWriter* w, const char* s)
{
	const uint32_t length = s ? static_cast<uint32_t>(std::strlen(s)) : 0;
	PutU32(w, length);
	MeshWriterPut(w, s, length);
}

int MdWrite(const char* path, const char* name, uint16_t version, const MdWriteChannel* channels, int32_t channel_count,
	const MdVertex* vertices, int32_t vertex_count, const MeshFace* faces, int32_t face_count)
{
	if (channel_count < 0 || vertex_count < 0 || face_count < 0 || face_count > INT32_MAX / 3 ||
		(channel_count > 0 && !channels) || (vertex_count > 0 && !vertices) || (face_count > 0 && !faces))
		return 0;
	// Refuse what would not read back as given, before the file is touched.
	int64_t values = 0;
	for (int32_t c = 0; c < channel_count; ++c)
	{
		const MdWriteChannel& channel = channels[c];
		if (!channel.name || !channel.name[0] ||
			(channel.value_type != MESH_MD_VALUE_SCALAR && channel.value_type != MESH_MD_VALUE_VECTOR))
			return 0;
		const int slot = SlotOfName(channel.name, static_cast<uint32_t>(std::strlen(channel.name)));
		if (slot >= 0 && static_cast<uint32_t>(slot) != channel.slot)
			return 0;
		int dst[3];
		values += ChannelValues(channel.slot, channel.value_type, dst);
	}
	// a vertex record is put in one piece
	if (4 * values > kMeshBlockBytes)
		return 0;
	for (int32_t i = 0; i < face_count; ++i)
		for (uint32_t corner : faces[i].index)
			if (corner >= static_cast<uint32_t>(vertex_count))
				return 0;

	MeshWriter w;
	if (!MeshWriterOpen(&w, path))
		return 0;

	// An empty mesh is read without its descriptors, so it is written without them.
	const bool empty = vertex_count == 0 && face_count == 0;
	PutU32(&w, MESH_MD_MAGIC);
	StoreU16(MeshWriterRoom(&w, 2), version);
	PutString(&w, name);
	PutU32(&w, empty ? 0 : static_cast<uint32_t>(channel_count));
	PutU32(&w, static_cast<uint32_t>(vertex_count));
	PutU32(&w, static_cast<uint32_t>(face_count));
	for (int32_t c = 0; !empty && c < channel_count; ++c)
	{
		PutU32(&w, channels[c].slot);
		PutString(&w, channels[c].name);
		PutString(&w, nullptr);
		PutU32(&w, channels[c].value_type);
	}
	for (int32_t i = 0; i < vertex_count; ++i)
	{
		const float* vertex = reinterpret_cast<const float*>(vertices + i);
		unsigned char* p = MeshWriterRoom(&w, 4 * values);
		for (int32_t c = 0; c < channel_count; ++c)
		{
			int dst[3];
			const int n = ChannelValues(channels[c].slot, channels[c].value_type, dst);
			for (int j = 0; j < n; ++j, p += 4)
				StoreF32(p, dst[j] >= 0 ? vertex[dst[j]] : 0.0f);
		}
	}
	for (int32_t i = 0; i < face_count; ++i)
	{
		unsigned char* p = MeshWriterRoom(&w, 12);
		StoreU32(p, faces[i].index[2]);
		StoreU32(p + 4, faces[i].index[1]);
		StoreU32(p + 8, faces[i].index[0]);
	}
	return MeshWriterFinish(&w);
}
