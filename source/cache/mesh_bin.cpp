// mesh_bin.cpp - reading and writing mesh .bin frames, and the mesh handle layer.
#include "mesh_bin.h"

#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_chunk.h"
#include "mesh_io.h"
#include "mesh_md.h"

#include <cmath>
#include <cstring>
#include <utility>

static MeshBinFile* NewBinFile(const char* path, const char* mode)
{
	MeshBinFile* file = static_cast<MeshBinFile*>(CacheCalloc(1, sizeof(MeshBinFile)));
	if (!file)
		return nullptr;
	if (!MeshOpenStream(path, mode, &file->path, &file->stream))
	{
		CacheFree(file);
		return nullptr;
	}
	file->weight_count = 1;
	return file;
}

void MeshBinFree(MeshBinFile* file)
{
	if (!file)
		return;
	if (file->stream)
		std::fclose(file->stream);
	CacheFree(file->path);
	CacheFree(file->vertices);
	CacheFree(file->faces);
	CacheFree(file->weight_values);
	CacheFree(file);
}

bool MeshIsBinFile(const char* path)
{
	if (!path || !path[0])
		return false;
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	unsigned char word[4];
	bool is_mesh = std::fread(word, 1, 4, f) == 4 && LoadU32(word) == MESH_BIN_MAGIC;
	std::fclose(f);
	return is_mesh;
}

// --- reading

int MeshKeptFaces(int32_t n, float percent, int32_t* kept_count, uint32_t** kept_list)
{
	*kept_list = nullptr;
	*kept_count = 0;
	if (n < 0)
		n = 0;
	// Written this way round so that a percentage that is not a number keeps every face.
	if (!(percent < 100.0f))
	{
		*kept_count = n;
		return 1;
	}
	// A negative share keeps nothing rather than sizing a negative list.
	if (!(percent > 0.0f))
		return 1;
	// Face i falls in slot floor(i * percent / 100). Single-precision products lose the fraction above
	// 2^24 faces and the slots stop rising with i, so the share is taken apart into an exact
	// fraction m / 2^s and the slots are counted in integers: of n < 2^31 faces and m < 2^24 the
	// products stay below 2^55.
	int exponent = 0;
	const float mantissa = std::frexp(percent, &exponent);
	const uint64_t m = static_cast<uint64_t>(std::ldexp(mantissa, 24));
	const int s = 24 - exponent;
	// percent = m / 2^s; below 100 that makes s at least 17, and above 56 every product falls short of
	// one slot (and 100 * 2^s would no longer fit in 64 bits).
	if (s > 56)
		return 1;
	const uint64_t slot_size = 100ull << s;
	const int32_t kept = static_cast<int32_t>(static_cast<uint64_t>(n) * m / slot_size);
	*kept_count = kept;
	if (kept == 0)
		return 1;
	uint32_t* list = CacheAllocArray<uint32_t>(kept);
	if (!list)
	{
		*kept_count = 0;
		return 0;
	}
	// The last face of each slot is kept, counted from the end of the file, so the list is filled from
	// its end and rises. m < slot_size, so the slot grows by at most one from one face to the next and
	// every entry is written.
	uint64_t remainder = 0;
	int32_t slot = 0;
	for (int32_t i = 0; i < n; ++i)
	{
		if (slot < kept)
			list[kept - 1 - slot] = static_cast<uint32_t>(n - 1 - i);
		remainder += m;
		if (remainder >= slot_size)
		{
			remainder -= slot_size;
			++slot;
		}
	}
	*kept_list = list;
	return 1;
}

void MeshBinForget(MeshBinFile* file)
{
	file->vertex_count = 0;
	file->face_count = 0;
	file->weight_count = 1;
	file->kept_face_count = 0;
	file->kept_index_count = 0;
}

// Three little-endian floats; on a little-endian host the bytes are the floats, and one copy of the
// group costs fewer stores than a store per value.
static inline void Load3(float* dst, const unsigned char* src)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	std::memcpy(dst, src, 12);
#else
	dst[0] = LoadF32(src);
	dst[1] = LoadF32(src + 4);
	dst[2] = LoadF32(src + 8);
#endif
}

// One variant per combination of blocks, so that the loop over a million vertices carries no tests.
template <bool kTexture, bool kVelocity>
static void DecodeVertices(MeshBinFile* file, int64_t first, int64_t n, const unsigned char* pos,
	const unsigned char* tex, int64_t texture_record, int64_t weight_count, const unsigned char* vel)
{
	MeshVertex* out = file->vertices + first;
	float* w = file->weight_values ? file->weight_values + first * weight_count : nullptr;
	for (int64_t i = 0; i < n; ++i, ++out, pos += 12)
	{
		Load3(out->position, pos);
		out->weights = nullptr;
		if (kTexture)
		{
			const unsigned char* t = tex + texture_record * i;
			if (weight_count > 0)
			{
				float sum = 0.0f;
				for (int64_t k = 0; k + 1 < weight_count; ++k, t += 4)
				{
					w[k] = LoadF32(t);
					sum += w[k];
				}
				w[weight_count - 1] = static_cast<float>(1.0 - static_cast<double>(sum));
				out->weights = w;
				w += weight_count;
			}
			out->texture[0] = LoadF32(t);
			out->texture[2] = LoadF32(t + 4);
			out->texture[1] = LoadF32(t + 8);
		}
		else
		{
			out->texture[0] = out->texture[1] = out->texture[2] = 0.0f;
		}
		if (kVelocity)
		{
			Load3(out->velocity, vel + 12 * i);
		}
		else
		{
			out->velocity[0] = out->velocity[1] = out->velocity[2] = 0.0f;
		}
	}
}

static int Fail(MeshBinFile* file, const char* why)
{
	file->failure = why;
	return 0;
}

int MeshBinRead(MeshBinFile* file, float percent)
{
	if (!file || !file->stream)
		return 0;
	MeshBinForget(file);
	// every block is checked against the file's size: until the arrays are sized, a failure is a file
	// that ends too soon
	file->failure = CACHE_FAIL_TRUNCATED;
	FILE* f = file->stream;
	const int64_t size = CacheFileSize(f);
	unsigned char head[16];
	if (size < 16 || !MeshReadAt(f, 0, head, 16))
		return 0;
	if (LoadU32(head) != MESH_BIN_MAGIC)
		return Fail(file, CACHE_FAIL_MAGIC);

	// Locate every block and check it against the file's size before anything is allocated.
	const uint32_t v_stored = LoadU32(head + 12);
	if (v_stored > static_cast<uint32_t>(INT32_MAX))
		return Fail(file, CACHE_FAIL_COUNT);
	const int64_t vertex_count = v_stored;
	const int64_t face_count_at = 16 + 12 * vertex_count;
	unsigned char word[4];
	if (face_count_at + 4 > size || !MeshReadAt(f, face_count_at, word, 4))
		return 0;
	const uint32_t f_stored = LoadU32(word);
	// kept_index_count holds three indices per face
	if (f_stored > static_cast<uint32_t>(INT32_MAX / 3))
		return Fail(file, CACHE_FAIL_COUNT);
	const int64_t face_count = f_stored;
	const int64_t faces_at = face_count_at + 4;
	const int64_t texture_marker_at = faces_at + 12 * face_count;
	if (texture_marker_at + 4 > size || !MeshReadAt(f, texture_marker_at, word, 4))
		return 0;
	const uint32_t texture_marker = LoadU32(word);
	const bool texture = texture_marker == MESH_BIN_TEXTURE_MARKER;
	int64_t weight_count = 1;
	int64_t texture_at = 0;
	int64_t texture_record = 0;
	int64_t velocity_marker_at = texture_marker_at + 4;
	if (texture)
	{
		if (texture_marker_at + 8 > size || !MeshReadAt(f, texture_marker_at + 4, word, 4))
			return 0;
		const uint32_t w_stored = LoadU32(word);
		if (w_stored > static_cast<uint32_t>(INT32_MAX))
			return Fail(file, CACHE_FAIL_COUNT);
		weight_count = w_stored;
		texture_at = texture_marker_at + 8;
		texture_record = 4 * ((weight_count > 0 ? weight_count - 1 : 0) + 3);
		if (vertex_count > 0 && texture_record > (size - texture_at) / vertex_count)
			return 0;
		velocity_marker_at = texture_at + texture_record * vertex_count;
	}
	if (velocity_marker_at + 4 > size || !MeshReadAt(f, velocity_marker_at, word, 4))
		return 0;
	const uint32_t velocity_marker = LoadU32(word);
	const bool velocity = velocity_marker == MESH_BIN_VELOCITY_MARKER;
	const int64_t velocity_at = velocity_marker_at + 4;
	const int64_t end_at = velocity ? velocity_at + 12 * vertex_count : velocity_at;
	// The end marker's value is not checked, but a file that stops before it has been cut short.
	if (end_at + 4 > size)
		return 0;

	int32_t kept_count = 0;
	uint32_t* kept = nullptr;
	if (!MeshKeptFaces(static_cast<int32_t>(face_count), percent, &kept_count, &kept))
		return Fail(file, CACHE_FAIL_MEMORY);
	const int64_t weight_total = texture && weight_count > 0 ? vertex_count * weight_count : 0;
	const int64_t vertex_bytes = 12 + texture_record + (velocity ? 12 : 0);
	const int64_t vertex_batch = MeshBatch(vertex_bytes, vertex_count);
	const int64_t scratch_bytes = MeshScratchBytes(vertex_bytes, vertex_count, face_count);
	unsigned char* scratch = nullptr;
	if (!MeshReserve(&file->vertices, &file->vertex_capacity, vertex_count) ||
		!MeshReserve(&file->faces, &file->face_capacity, kept_count) ||
		!MeshReserve(&file->weight_values, &file->weight_capacity, weight_total) ||
		!(scratch = CacheAllocArray<unsigned char>(scratch_bytes)))
	{
		CacheFree(kept);
		return Fail(file, CACHE_FAIL_MEMORY);
	}

	int ok = 1;
	// Vertices in batches: the batch's positions, texture records and velocities are read from their
	// three blocks side by side, so that each vertex record is written once.
	for (int64_t first = 0; ok && first < vertex_count; first += vertex_batch)
	{
		const int64_t n = first + vertex_batch <= vertex_count ? vertex_batch : vertex_count - first;
		unsigned char* pos = scratch;
		unsigned char* tex = texture ? pos + 12 * n : nullptr;
		unsigned char* vel = velocity ? pos + (12 + texture_record) * n : nullptr;
		ok = MeshReadAt(f, 16 + 12 * first, pos, 12 * n) &&
			(!tex || MeshReadAt(f, texture_at + texture_record * first, tex, texture_record * n)) &&
			(!vel || MeshReadAt(f, velocity_at + 12 * first, vel, 12 * n));
		if (ok)
		{
			const int64_t w = texture ? weight_count : 0;
			if (tex && vel)
				DecodeVertices<true, true>(file, first, n, pos, tex, texture_record, w, vel);
			else if (tex)
				DecodeVertices<true, false>(file, first, n, pos, tex, texture_record, w, vel);
			else if (vel)
				DecodeVertices<false, true>(file, first, n, pos, tex, texture_record, w, vel);
			else
				DecodeVertices<false, false>(file, first, n, pos, tex, texture_record, w, vel);
		}
	}

	int64_t stored = 0;
	// the blocks lie inside the file: faces that do not read name a vertex that does not exist
	if (ok)
		file->failure = CACHE_FAIL_INDEX;
	ok = ok && MeshReadFaces(f, faces_at, face_count, vertex_count, kept, kept_count, file->faces, scratch, &stored);
	CacheFree(kept);
	CacheFree(scratch);
	if (!ok)
		return 0;

	file->magic = LoadU32(head);
	file->version = LoadU32(head + 4);
	file->header_marker = LoadU32(head + 8);
	file->texture_marker = texture_marker;
	file->velocity_marker = velocity_marker;
	file->vertex_count = static_cast<int32_t>(vertex_count);
	file->face_count = static_cast<int32_t>(face_count);
	file->weight_count = static_cast<int32_t>(weight_count);
	file->kept_face_count = static_cast<int32_t>(stored);
	file->kept_index_count = static_cast<int32_t>(3 * stored);
	file->failure = nullptr;
	return 1;
}

// --- the handle layer

static bool IsBinType(int32_t type)
{
	return type == CACHE_MESH_BIN || type == CACHE_MESH_CHUNK;
}

MeshHandle* MeshHandleOpen(const char* path, int32_t type)
{
	void* file = nullptr;
	if (IsBinType(type))
		file = NewBinFile(path, "rb");
	else if (type == CACHE_MESH_MD)
		file = MdOpen(path);
	if (!file)
		return nullptr;
	MeshHandle* handle = static_cast<MeshHandle*>(CacheAlloc(sizeof(MeshHandle)));
	if (!handle)
	{
		if (type == CACHE_MESH_MD)
			MdFree(static_cast<MdMeshFile*>(file));
		else
			MeshBinFree(static_cast<MeshBinFile*>(file));
		return nullptr;
	}
	handle->type = type;
	handle->file = file;
	return handle;
}

// Gives `to` the larger of the two arrays; the other goes with `from`.
template <typename T>
static void TakeLarger(T** to, int64_t* to_capacity, T** from, int64_t* from_capacity)
{
	if (*to_capacity < *from_capacity)
	{
		std::swap(*to, *from);
		std::swap(*to_capacity, *from_capacity);
	}
}

void MeshHandleReuse(MeshHandle* handle, MeshHandle* spare)
{
	if (!spare || spare == handle)
		return;
	if (handle && IsBinType(handle->type) && IsBinType(spare->type))
	{
		MeshBinFile* to = static_cast<MeshBinFile*>(handle->file);
		MeshBinFile* from = static_cast<MeshBinFile*>(spare->file);
		TakeLarger(&to->vertices, &to->vertex_capacity, &from->vertices, &from->vertex_capacity);
		TakeLarger(&to->faces, &to->face_capacity, &from->faces, &from->face_capacity);
		TakeLarger(&to->weight_values, &to->weight_capacity, &from->weight_values, &from->weight_capacity);
		// The arrays now belong to a record that has not been read: nothing may look into them.
		MeshBinForget(to);
	}
	else if (handle && handle->type == CACHE_MESH_MD && spare->type == CACHE_MESH_MD)
	{
		MdMeshFile* to = static_cast<MdMeshFile*>(handle->file);
		MdMeshFile* from = static_cast<MdMeshFile*>(spare->file);
		TakeLarger(&to->vertices, &to->vertex_capacity, &from->vertices, &from->vertex_capacity);
		TakeLarger(&to->faces, &to->face_capacity, &from->faces, &from->face_capacity);
		to->vertex_count = to->face_count = to->kept_face_count = to->kept_index_count = 0;
	}
	MeshHandleFree(spare);
}

int MeshHandleRead(MeshHandle* handle, float percent)
{
	if (!handle)
		return 0;
	switch (handle->type)
	{
	case CACHE_MESH_BIN: return MeshBinRead(static_cast<MeshBinFile*>(handle->file), percent);
	case CACHE_MESH_CHUNK: return MeshChunkRead(static_cast<MeshBinFile*>(handle->file));
	case CACHE_MESH_MD: return MdRead(static_cast<MdMeshFile*>(handle->file), percent);
	default: return 0;
	}
}

int MeshHandleCloseFile(MeshHandle* handle)
{
	FILE** stream = nullptr;
	if (handle && IsBinType(handle->type))
		stream = &static_cast<MeshBinFile*>(handle->file)->stream;
	else if (handle && handle->type == CACHE_MESH_MD)
		stream = &static_cast<MdMeshFile*>(handle->file)->stream;
	if (!stream)
		return 1;
	CacheCloseFile(stream);
	return 0;
}

void MeshHandleFree(MeshHandle* handle)
{
	if (!handle)
		return;
	if (IsBinType(handle->type))
		MeshBinFree(static_cast<MeshBinFile*>(handle->file));
	else if (handle->type == CACHE_MESH_MD)
		MdFree(static_cast<MdMeshFile*>(handle->file));
	CacheFree(handle);
}

MeshBinFile* MeshHandleBinFile(MeshHandle* handle)
{
	return handle && IsBinType(handle->type) ? static_cast<MeshBinFile*>(handle->file) : nullptr;
}

static const MeshBinFile* BinFileOf(const MeshHandle* handle)
{
	return handle && IsBinType(handle->type) ? static_cast<const MeshBinFile*>(handle->file) : nullptr;
}

int32_t MeshHandleType(const MeshHandle* handle)
{
	return handle && IsMeshFormat(handle->type) ? handle->type : 0;
}

const char* MeshHandlePath(const MeshHandle* handle)
{
	if (const MeshBinFile* file = BinFileOf(handle))
		return file->path;
	if (const MdMeshFile* md = MeshHandleMdFile(handle))
		return md->path;
	return nullptr;
}

int32_t MeshHandleVertexCount(const MeshHandle* handle)
{
	if (const MeshBinFile* file = BinFileOf(handle))
		return file->vertex_count;
	if (const MdMeshFile* md = MeshHandleMdFile(handle))
		return md->vertex_count;
	return 0;
}

int32_t MeshHandleFaceCount(const MeshHandle* handle)
{
	if (const MeshBinFile* file = BinFileOf(handle))
		return file->kept_face_count;
	if (const MdMeshFile* md = MeshHandleMdFile(handle))
		return md->kept_face_count;
	return 0;
}

float* MeshHandleVelocity(MeshHandle* handle, int32_t i)
{
	if (i < 0 || i >= MeshHandleVertexCount(handle))
		return nullptr;
	if (MeshBinFile* file = MeshHandleBinFile(handle))
		return file->vertices[i].velocity;
	return MeshHandleMdFile(handle)->vertices[i].velocity;
}

void MeshScaleVelocities(MeshHandle* handle, const MeshVelocityScaleEntry* entries, int32_t entry_count)
{
	MeshBinFile* file = MeshHandleBinFile(handle);
	if (!file || !entries)
		return;
	for (int32_t e = 0; e < entry_count; ++e)
	{
		if (entries[e].channel != 0 || entries[e].kind != 2)
			continue;
		const float factor = entries[e].factor;
		for (int32_t i = 0; i < file->vertex_count; ++i)
		{
			float* v = file->vertices[i].velocity;
			v[0] *= factor;
			v[1] *= factor;
			v[2] *= factor;
		}
	}
}

// --- writing

MeshBinFile* MeshBinCreate(const char* path)
{
	MeshBinFile* file = NewBinFile(path, "wb");
	if (!file)
		return nullptr;
	file->magic = MESH_BIN_MAGIC;
	file->version = MESH_BIN_VERSION;
	file->header_marker = MESH_BIN_HEADER_MARKER;
	return file;
}

int MeshBinAllocate(MeshBinFile* file, int32_t vertex_count, int32_t face_count, int32_t weight_count,
	bool texture, bool velocity)
{
	if (!file || vertex_count < 0 || face_count < 0 || face_count > INT32_MAX / 3 || weight_count < 0 ||
		(texture && weight_count < 1))
		return 0;
	const int64_t weight_total = texture ? static_cast<int64_t>(vertex_count) * weight_count : 0;
	if (!MeshReserve(&file->vertices, &file->vertex_capacity, vertex_count) ||
		!MeshReserve(&file->faces, &file->face_capacity, face_count) ||
		!MeshReserve(&file->weight_values, &file->weight_capacity, weight_total))
		return 0;
	if (vertex_count)
		std::memset(file->vertices, 0, static_cast<size_t>(vertex_count) * sizeof(MeshVertex));
	if (face_count)
		std::memset(file->faces, 0, static_cast<size_t>(face_count) * sizeof(MeshFace));
	if (weight_total)
		std::memset(file->weight_values, 0, static_cast<size_t>(weight_total) * sizeof(float));
	for (int32_t i = 0; texture && i < vertex_count; ++i)
		file->vertices[i].weights = file->weight_values + static_cast<int64_t>(i) * weight_count;
	file->vertex_count = vertex_count;
	file->face_count = face_count;
	file->kept_face_count = face_count;
	file->kept_index_count = 3 * face_count;
	file->weight_count = texture ? weight_count : 1;
	file->texture_marker = texture ? MESH_BIN_TEXTURE_MARKER : 0;
	file->velocity_marker = velocity ? MESH_BIN_VELOCITY_MARKER : 0;
	return 1;
}

static void PutU32(MeshWriter* w, uint32_t value)
{
	StoreU32(MeshWriterRoom(w, 4), value);
}

static void PutF32x3(MeshWriter* w, float a, float b, float c)
{
	unsigned char* p = MeshWriterRoom(w, 12);
	StoreF32(p, a);
	StoreF32(p + 4, b);
	StoreF32(p + 8, c);
}

int MeshBinWrite(MeshBinFile* file)
{
	if (!file || !file->stream)
		return 0;
	const int32_t vertex_count = file->vertex_count;
	const int32_t face_count = file->face_count;
	const bool texture = file->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = file->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	const int32_t weight_count = file->weight_count;
	// Refuse a record that would be written only in part, before any byte of it reaches the file.
	if (vertex_count < 0 || face_count < 0 || (vertex_count > 0 && !file->vertices) ||
		(face_count > 0 && !file->faces) || (texture && weight_count < 0))
		return 0;
	if (texture && weight_count >= 2)
		for (int32_t i = 0; i < vertex_count; ++i)
			if (!file->vertices[i].weights)
				return 0;
	MeshWriter w;
	if (!MeshWriterStart(&w, file->stream))
		return 0;

	PutU32(&w, file->magic);
	PutU32(&w, file->version);
	PutU32(&w, file->header_marker);
	PutU32(&w, static_cast<uint32_t>(vertex_count));
	for (int32_t i = 0; i < vertex_count; ++i)
	{
		const float* p = file->vertices[i].position;
		PutF32x3(&w, p[0], p[1], p[2]);
	}
	PutU32(&w, static_cast<uint32_t>(face_count));
	for (int32_t i = 0; i < face_count; ++i)
	{
		const uint32_t* index = file->faces[i].index;
		unsigned char* p = MeshWriterRoom(&w, 12);
		StoreU32(p, index[2]);
		StoreU32(p + 4, index[1]);
		StoreU32(p + 8, index[0]);
	}
	PutU32(&w, file->texture_marker);
	if (texture)
	{
		PutU32(&w, static_cast<uint32_t>(weight_count));
		for (int32_t i = 0; i < vertex_count; ++i)
		{
			const MeshVertex* v = file->vertices + i;
			for (int32_t k = 0; k + 1 < weight_count; ++k)
				StoreF32(MeshWriterRoom(&w, 4), v->weights[k]);
			PutF32x3(&w, v->texture[0], v->texture[2], v->texture[1]);
		}
	}
	PutU32(&w, file->velocity_marker);
	if (velocity)
		for (int32_t i = 0; i < vertex_count; ++i)
		{
			const float* v = file->vertices[i].velocity;
			PutF32x3(&w, v[0], v[1], v[2]);
		}
	PutU32(&w, MESH_BIN_END_MARKER);
	file->stream = nullptr;
	return MeshWriterFinish(&w);
}
