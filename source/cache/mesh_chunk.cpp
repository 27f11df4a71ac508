// mesh_chunk.cpp - reading and writing chunked mesh frames.
#include "mesh_chunk.h"

#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_io.h"

#include <cstdio>
#include <cstring>

// Velocities are stored in the speed map divided by this.
static const float kSpeedScale = 25.0f;
// Every weight map adds a weight to every vertex, whatever its size in the file; past this many maps a
// small file could ask for memory out of all proportion to it.
static const int64_t kMaxWeightMaps = 255;
// Indices of the long variable-length form carry 24 bits.
static const int64_t kMaxPoints = int64_t{1} << 24;
// The corner count of a polygon is its low 10 bits; the top 6 are flags.
static const uint16_t kCornerMask = 0x03FF;

static const char kUvMapName[] = "TW UV Mapping";
static const char kSpeedMapName[] = "Speed";

static inline uint16_t BeU16(const unsigned char* p)
{
	return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

static inline uint32_t BeU32(const unsigned char* p)
{
	return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
		   (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

static inline float BeF32(const unsigned char* p)
{
	const uint32_t u = BeU32(p);
	float f;
	std::memcpy(&f, &u, 4);
	return f;
}

static inline bool IsId(const unsigned char* p, const char* id)
{
	return std::memcmp(p, id, 4) == 0;
}

// --- reading

// The file read forward through one block buffer.
struct ChunkStream
{
	FILE* f;
	int64_t size; // of the file
	int64_t at; // file offset of the next byte
	unsigned char* buffer;
	int64_t capacity;
	int64_t buffer_at; // file offset of buffer[0]
	int64_t buffer_len;
};

static int Refill(ChunkStream* s)
{
	int64_t len = s->size - s->at;
	if (len > s->capacity)
		len = s->capacity;
	if (!MeshReadAt(s->f, s->at, s->buffer, len))
		return 0;
	s->buffer_at = s->at;
	s->buffer_len = len;
	return 1;
}

// Bytes buffered from the cursor on.
static inline int64_t Buffered(const ChunkStream* s)
{
	const int64_t n = s->buffer_at + s->buffer_len - s->at;
	return n > 0 ? n : 0;
}

// Makes n bytes (at most the buffer's capacity) at the cursor available, without moving it; null when
// `end` comes first.
static inline const unsigned char* Peek(ChunkStream* s, int64_t n, int64_t end)
{
	if (n > end - s->at)
		return nullptr;
	if (Buffered(s) < n && !Refill(s))
		return nullptr;
	return s->buffer + (s->at - s->buffer_at);
}

static inline const unsigned char* Take(ChunkStream* s, int64_t n, int64_t end)
{
	const unsigned char* p = Peek(s, n, end);
	if (p)
		s->at += n;
	return p;
}

// The buffered bytes from the cursor on, up to `end`: at least `need` of them, or all up to `end` when
// that is nearer. Entries of variable size are parsed from such a span, so that each field costs no
// check of the buffer. *at_end tells whether the span reaches `end`.
static const unsigned char* Span(ChunkStream* s, int64_t need, int64_t end, const unsigned char** limit, bool* at_end)
{
	const int64_t left = end - s->at;
	if (need > left)
		need = left;
	if (Buffered(s) < need && !Refill(s))
		return nullptr;
	int64_t n = Buffered(s);
	if (n > left)
		n = left;
	const unsigned char* p = s->buffer + (s->at - s->buffer_at);
	*limit = p + n;
	*at_end = n == left;
	return p;
}

// A point index in the variable-length form at *p, before limit: a big-endian u16, or when the first
// byte is 0xFF the three bytes after it. 0 when limit cuts it.
static inline int ParseIndex(const unsigned char** p, const unsigned char* limit, uint32_t* index)
{
	const unsigned char* q = *p;
	if (limit - q < 2)
		return 0;
	if (q[0] != 0xFF)
	{
		*index = BeU16(q);
		*p = q + 2;
		return 1;
	}
	if (limit - q < 4)
		return 0;
	*index = (static_cast<uint32_t>(q[1]) << 16) | BeU16(q + 2);
	*p = q + 4;
	return 1;
}

// Parses entries of at most max_entry_bytes from the cursor to `end` with parse (const unsigned char**
// p, limit) -> 1 or 0. An entry the chunk's end cuts fails.
template <typename Parse>
static int ParseEntries(ChunkStream* s, int64_t end, int64_t max_entry_bytes, Parse parse)
{
	while (s->at < end)
	{
		const unsigned char* limit = nullptr;
		bool at_end = false;
		const unsigned char* start = Span(s, max_entry_bytes, end, &limit, &at_end);
		if (!start)
			return 0;
		const unsigned char* p = start;
		// Short of the chunk's end, stop where a whole entry might no longer fit and refill.
		while (p < limit && (at_end || limit - p >= max_entry_bytes))
			if (!parse(&p, limit))
				return 0;
		s->at += p - start;
	}
	return 1;
}

// What the chunks have given so far.
struct ChunkRead
{
	bool points;
	bool polygons;
	int64_t weight_maps;
	uint32_t max_corner; // of the triangles stored
};

// Widens the weight rows of the V vertices from `from` floats to from + 1, the new last one 0, or with
// `finish` 1 minus the sum of the others, and then points every vertex at its row.
static int WidenWeights(MeshBinFile* file, int64_t from, bool finish)
{
	const int64_t v = file->vertex_count;
	const int64_t to = from + 1;
	const float* rows = file->weight_values;
	float* wider = file->weight_values;
	if (v * to > file->weight_capacity)
	{
		if (!(wider = CacheAllocArray<float>(v * to)))
			return 0;
	}
	// From the last row down: in place, a row only moves up, over rows already moved.
	for (int64_t i = v - 1; i >= 0; --i)
	{
		float sum = 0.0f;
		for (int64_t k = from - 1; k >= 0; --k)
		{
			const float w = rows[i * from + k];
			wider[i * to + k] = w;
			sum += w;
		}
		wider[i * to + from] = finish ? static_cast<float>(1.0 - static_cast<double>(sum)) : 0.0f;
		if (finish)
			file->vertices[i].weights = wider + i * to;
	}
	if (wider != file->weight_values)
	{
		CacheFree(file->weight_values);
		file->weight_values = wider;
		file->weight_capacity = v * to;
	}
	return 1;
}

static int ReadPoints(MeshBinFile* file, ChunkStream* s, int64_t end, ChunkRead* read)
{
	if (read->points)
		return 0; // one layer only: a second point list would not match the polygons
	read->points = true;
	const int64_t v = (end - s->at) / 12;
	if (v > INT32_MAX || !MeshReserve(&file->vertices, &file->vertex_capacity, v))
		return 0;
	// Weight maps that came first have a zero for every point.
	if (read->weight_maps > 0)
	{
		if (!MeshReserve(&file->weight_values, &file->weight_capacity, v * read->weight_maps))
			return 0;
		for (int64_t k = 0; k < v * read->weight_maps; ++k)
			file->weight_values[k] = 0.0f;
	}
	MeshVertex* out = file->vertices;
	for (int64_t i = 0; i < v;)
	{
		const unsigned char* p = Peek(s, 12, end);
		if (!p)
			return 0;
		int64_t n = Buffered(s) / 12;
		if (n > v - i)
			n = v - i;
		for (int64_t k = 0; k < n; ++k, p += 12, ++out)
		{
			out->position[0] = BeF32(p);
			out->position[1] = BeF32(p + 4);
			out->position[2] = BeF32(p + 8);
			out->weights = nullptr;
			out->texture[0] = out->texture[1] = out->texture[2] = 0.0f;
			out->velocity[0] = out->velocity[1] = out->velocity[2] = 0.0f;
		}
		s->at += 12 * n;
		i += n;
	}
	file->vertex_count = static_cast<int32_t>(v);
	return 1;
}

// Room for one more face, keeping those stored.
static int RoomForFace(MeshBinFile* file, int64_t stored)
{
	if (stored < file->face_capacity)
		return 1;
	if (stored >= INT32_MAX / 3)
		return 0;
	int64_t capacity = 2 * file->face_capacity;
	if (capacity < 1024)
		capacity = 1024;
	if (capacity > INT32_MAX / 3)
		capacity = INT32_MAX / 3;
	MeshFace* faces = CacheAllocArray<MeshFace>(capacity);
	if (!faces)
		return 0;
	if (stored > 0)
		std::memcpy(faces, file->faces, static_cast<size_t>(stored) * sizeof(MeshFace));
	CacheFree(file->faces);
	file->faces = faces;
	file->face_capacity = capacity;
	return 1;
}

// Polygons of more than three corners become a fan of triangles (v0, vk, vk+1); fewer than three
// corners make no face.
static int ReadPolygons(MeshBinFile* file, ChunkStream* s, int64_t end, ChunkRead* read)
{
	if (read->polygons)
		return 0; // one layer only
	read->polygons = true;
	const unsigned char* type = Take(s, 4, end);
	if (!type || !IsId(type, "FACE"))
		return 0;
	// Triangles of short indices take 8 bytes each; other polygons grow the array as they come.
	if (!MeshReserve(&file->faces, &file->face_capacity, (end - s->at) / 8))
		return 0;
	int64_t stored = 0;
	uint32_t max_corner = 0;
	const int64_t max_polygon_bytes = 2 + 4 * int64_t{kCornerMask};
	const int ok = ParseEntries(s, end, max_polygon_bytes, [&](const unsigned char** p, const unsigned char* limit) {
		if (limit - *p < 2)
			return 0;
		const int corners = BeU16(*p) & kCornerMask;
		*p += 2;
		uint32_t first = 0, previous = 0, index = 0;
		for (int c = 0; c < corners; ++c)
		{
			if (!ParseIndex(p, limit, &index))
				return 0;
			if (corners < 3)
				continue;
			max_corner = index > max_corner ? index : max_corner;
			if (c == 0)
				first = index;
			else if (c >= 2)
			{
				if (!RoomForFace(file, stored))
					return 0;
				file->faces[stored++] = MeshFace{{first, previous, index}};
			}
			previous = index;
		}
		return 1;
	});
	if (!ok)
		return 0;
	file->face_count = file->kept_face_count = static_cast<int32_t>(stored);
	file->kept_index_count = static_cast<int32_t>(3 * stored);
	read->max_corner = max_corner;
	return 1;
}

enum MapKind
{
	MAP_UV,
	MAP_SPEED,
	MAP_WEIGHT,
	MAP_OTHER,
};

static bool NameStarts(const char* name, int64_t length, const char* prefix)
{
	const int64_t n = static_cast<int64_t>(std::strlen(prefix));
	return length >= n && std::memcmp(name, prefix, static_cast<size_t>(n)) == 0;
}

// Entries run to the end of the chunk, however many there are; an entry the end cuts fails the read,
// an entry for a point that does not exist is skipped.
static int ReadMap(MeshBinFile* file, ChunkStream* s, int64_t end, ChunkRead* read)
{
	const unsigned char* p = Take(s, 6, end);
	if (!p)
		return 0;
	unsigned char type[4];
	std::memcpy(type, p, 4);
	const int64_t dimension = BeU16(p + 4);
	// The name's first bytes are enough to tell the maps apart.
	char name[16] = {};
	int64_t length = 0;
	for (;;)
	{
		if (!(p = Take(s, 1, end)))
			return 0;
		if (*p == 0)
			break;
		if (length < static_cast<int64_t>(sizeof(name)))
			name[length] = static_cast<char>(*p);
		++length;
	}
	// the name and its terminator are padded to an even length
	if ((length + 1) % 2 && !Take(s, 1, end))
		return 0;

	MapKind kind = MAP_OTHER;
	if (IsId(type, "TXUV") && NameStarts(name, length, kUvMapName))
		kind = MAP_UV;
	else if (IsId(type, "MORF") && NameStarts(name, length, kSpeedMapName))
		kind = MAP_SPEED;
	else if (IsId(type, "WGHT"))
		kind = MAP_WEIGHT;
	switch (kind)
	{
	case MAP_UV: file->texture_marker = MESH_BIN_TEXTURE_MARKER; break;
	case MAP_SPEED: file->velocity_marker = MESH_BIN_VELOCITY_MARKER; break;
	case MAP_WEIGHT:
		if (read->weight_maps >= kMaxWeightMaps || !WidenWeights(file, read->weight_maps, false))
			return 0;
		++read->weight_maps;
		break;
	case MAP_OTHER: s->at = end; return 1;
	}

	const int64_t v = file->vertex_count;
	const int64_t stride = read->weight_maps;
	const int64_t used = dimension < 3 ? dimension : 3;
	const int64_t value_bytes = 4 * dimension;
	return ParseEntries(s, end, 4 + value_bytes, [&](const unsigned char** p, const unsigned char* limit) {
		uint32_t index = 0;
		if (!ParseIndex(p, limit, &index) || limit - *p < value_bytes)
			return 0;
		const unsigned char* values = *p;
		*p += value_bytes;
		if (index >= v)
			return 1;
		MeshVertex* vertex = file->vertices + index;
		switch (kind)
		{
		case MAP_UV:
			for (int64_t c = 0; c < used; ++c)
				vertex->texture[c] = BeF32(values + 4 * c);
			if (dimension < 2)
				vertex->texture[2] = 0.0f;
			break;
		case MAP_SPEED:
			for (int64_t c = 0; c < used; ++c)
				vertex->velocity[c] = BeF32(values + 4 * c) * kSpeedScale;
			break;
		case MAP_WEIGHT:
			// Of several values the last one stays.
			if (dimension > 0)
				file->weight_values[index * stride + stride - 1] = BeF32(values + value_bytes - 4);
			break;
		case MAP_OTHER: break;
		}
		return 1;
	});
}

static int ReadChunks(MeshBinFile* file, ChunkStream* s)
{
	ChunkRead read = {};
	while (s->at < s->size)
	{
		const unsigned char* header = Take(s, 8, s->size);
		if (!header)
			return 0;
		unsigned char id[4];
		std::memcpy(id, header, 4);
		const uint32_t size = BeU32(header + 4);
		if (size > s->size - s->at)
			return 0;
		const int64_t end = s->at + size;
		int ok = 1;
		if (IsId(id, "PNTS"))
			ok = ReadPoints(file, s, end, &read);
		else if (IsId(id, "POLS"))
			ok = ReadPolygons(file, s, end, &read);
		else if (IsId(id, "VMAP"))
			ok = ReadMap(file, s, end, &read);
		if (!ok)
			return 0;
		s->at = end;
	}
	if (file->kept_face_count > 0 && read.max_corner >= static_cast<uint32_t>(file->vertex_count))
		return 0;
	// Every vertex gets W = maps + 1 weights, the last one 1 minus the sum of the others.
	if (!WidenWeights(file, read.weight_maps, true))
		return 0;
	file->weight_count = static_cast<int32_t>(read.weight_maps + 1);
	return 1;
}

int MeshChunkRead(MeshBinFile* file)
{
	if (!file || !file->stream)
		return 0;
	MeshBinForget(file);
	file->failure = CACHE_FAIL_TRUNCATED;
	file->magic = MESH_BIN_MAGIC;
	file->version = MESH_BIN_VERSION;
	file->header_marker = MESH_BIN_HEADER_MARKER;
	file->texture_marker = 0;
	file->velocity_marker = 0;
	ChunkStream s = {};
	s.f = file->stream;
	s.size = CacheFileSize(file->stream);
	// the file header, not read
	s.at = 12;
	if (s.size < s.at)
		return 0;
	s.capacity = s.size - s.at < kMeshBlockBytes ? s.size - s.at : kMeshBlockBytes;
	s.buffer = CacheAllocArray<unsigned char>(s.capacity > 0 ? s.capacity : 1);
	const bool buffered = s.buffer != nullptr;
	const int ok = buffered && ReadChunks(file, &s);
	CacheFree(s.buffer);
	// the chunk walk does not say which of its checks failed
	file->failure = ok ? nullptr : buffered ? CACHE_FAIL_DAMAGED : CACHE_FAIL_MEMORY;
	if (!ok)
	{
		MeshBinForget(file);
		file->texture_marker = file->velocity_marker = 0;
	}
	return ok;
}

// --- writing

static void PutBeU16(MeshWriter* w, uint16_t v)
{
	unsigned char* p = MeshWriterRoom(w, 2);
	p[0] = static_cast<unsigned char>(v >> 8);
	p[1] = static_cast<unsigned char>(v);
}

static void PutBeU32(MeshWriter* w, uint32_t v)
{
	unsigned char* p = MeshWriterRoom(w, 4);
	for (int i = 0; i < 4; ++i)
		p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

static void PutBeF32(MeshWriter* w, float f)
{
	uint32_t u;
	std::memcpy(&u, &f, 4);
	PutBeU32(w, u);
}

static int64_t IndexBytes(uint32_t index)
{
	return index < 0xFF00 ? 2 : 4;
}

static void PutIndex(MeshWriter* w, uint32_t index)
{
	if (index < 0xFF00)
	{
		PutBeU16(w, static_cast<uint16_t>(index));
		return;
	}
	PutBeU32(w, 0xFF000000u | index);
}

// The bytes of a map name with its terminator and pad.
static int64_t NameBytes(const char* name)
{
	const int64_t n = static_cast<int64_t>(std::strlen(name)) + 1;
	return n + n % 2;
}

static void PutMapHeader(MeshWriter* w, const char* type, uint16_t dimension, const char* name, int64_t entry_bytes)
{
	MeshWriterPut(w, "VMAP", 4);
	PutBeU32(w, static_cast<uint32_t>(6 + NameBytes(name) + entry_bytes));
	MeshWriterPut(w, type, 4);
	PutBeU16(w, dimension);
	const int64_t n = NameBytes(name);
	unsigned char* p = MeshWriterRoom(w, n);
	std::memset(p, 0, static_cast<size_t>(n));
	std::memcpy(p, name, std::strlen(name));
}

int MeshChunkWrite(const MeshBinFile* file, const char* path)
{
	if (!file)
		return 0;
	const int64_t v = file->vertex_count;
	const int64_t f = file->kept_face_count;
	const bool texture = file->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = file->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	const int64_t maps = file->weight_count > 1 ? file->weight_count - 1 : 0;
	// Refuse what could not be written whole or would not read back, before the file is touched.
	if (v < 0 || v > kMaxPoints || f < 0 || (v > 0 && !file->vertices) || (f > 0 && !file->faces) ||
		maps > kMaxWeightMaps)
		return 0;
	int64_t index_bytes = 0; // of all points once
	for (int64_t i = 0; i < v; ++i)
		index_bytes += IndexBytes(static_cast<uint32_t>(i));
	int64_t polygon_bytes = 4;
	for (int64_t i = 0; i < f; ++i)
	{
		polygon_bytes += 2;
		for (uint32_t corner : file->faces[i].index)
		{
			if (corner >= static_cast<uint64_t>(v))
				return 0;
			polygon_bytes += IndexBytes(corner);
		}
	}
	for (int64_t i = 0; maps > 0 && i < v; ++i)
		if (!file->vertices[i].weights)
			return 0;
	char weight_name[32];
	const int64_t uv_bytes = index_bytes + 8 * v;
	const int64_t speed_bytes = index_bytes + 12 * v;
	const int64_t weight_bytes = index_bytes + 4 * v;
	int64_t total = 4 + (8 + 12 * v) + (8 + polygon_bytes);
	if (texture)
		total += 8 + 6 + NameBytes(kUvMapName) + uv_bytes;
	if (velocity)
		total += 8 + 6 + NameBytes(kSpeedMapName) + speed_bytes;
	total += maps * (8 + 6 + NameBytes("Weight 000") + weight_bytes);
	if (total > UINT32_MAX || polygon_bytes > UINT32_MAX)
		return 0;

	MeshWriter w;
	if (!MeshWriterOpen(&w, path))
		return 0;
	MeshWriterPut(&w, "FORM", 4);
	PutBeU32(&w, static_cast<uint32_t>(total));
	MeshWriterPut(&w, "MESH", 4);

	MeshWriterPut(&w, "PNTS", 4);
	PutBeU32(&w, static_cast<uint32_t>(12 * v));
	for (int64_t i = 0; i < v; ++i)
		for (float x : file->vertices[i].position)
			PutBeF32(&w, x);

	MeshWriterPut(&w, "POLS", 4);
	PutBeU32(&w, static_cast<uint32_t>(polygon_bytes));
	MeshWriterPut(&w, "FACE", 4);
	for (int64_t i = 0; i < f; ++i)
	{
		PutBeU16(&w, 3);
		for (uint32_t corner : file->faces[i].index)
			PutIndex(&w, corner);
	}

	if (texture)
	{
		PutMapHeader(&w, "TXUV", 2, kUvMapName, uv_bytes);
		for (int64_t i = 0; i < v; ++i)
		{
			PutIndex(&w, static_cast<uint32_t>(i));
			PutBeF32(&w, file->vertices[i].texture[0]);
			PutBeF32(&w, file->vertices[i].texture[1]);
		}
	}
	if (velocity)
	{
		PutMapHeader(&w, "MORF", 3, kSpeedMapName, speed_bytes);
		for (int64_t i = 0; i < v; ++i)
		{
			PutIndex(&w, static_cast<uint32_t>(i));
			for (float x : file->vertices[i].velocity)
				PutBeF32(&w, x / kSpeedScale);
		}
	}
	for (int64_t k = 0; k < maps; ++k)
	{
		std::snprintf(weight_name, sizeof(weight_name), "Weight %03d", static_cast<int>(k + 1));
		PutMapHeader(&w, "WGHT", 1, weight_name, weight_bytes);
		for (int64_t i = 0; i < v; ++i)
		{
			PutIndex(&w, static_cast<uint32_t>(i));
			PutBeF32(&w, file->vertices[i].weights[k]);
		}
	}
	return MeshWriterFinish(&w);
}
