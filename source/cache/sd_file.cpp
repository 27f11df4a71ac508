// sd_file.cpp - the SD open-file record and its record transfers. The frame readers are
// in sd_reader.cpp.
#include "sd_file.h"

#include "cache_internal.h"
#include "cache_types.h"

#include <cstring>

#include <sys/stat.h>

// --- version gates: the reader tests the float version against these constants.

static bool AtLeast(const SdFile* file, float version)
{
	return file->version >= version;
}

static bool ZyxOrder(const SdFile* file)
{
	return file->axis_setup == 1 || file->axis_setup == 6;
}

// --- record sizes by version

int64_t SdHeaderBytes(float version)
{
	// header and frame size from 5.0, camera flag from 2.0
	return SD_HEADER_BYTES - (version >= 5.0f ? 0 : 8) - (version >= 2.0f ? 0 : 1);
}

int64_t SdFaceBytes(float version)
{
	// texture coordinates, 9 x f32, from 3.0
	return version >= 3.0f ? SD_FACE_BYTES : SD_FACE_BYTES - 36;
}

int64_t SdCameraDescriptorBytes(float version)
{
	// up vector from 6.0
	return version >= 6.0f ? SD_CAMERA_DESCRIPTOR_BYTES : SD_CAMERA_DESCRIPTOR_BYTES - 12;
}

int64_t SdCameraFrameBytes(float version)
{
	// roll from 6.0
	return version >= 6.0f ? SD_CAMERA_FRAME_BYTES : SD_CAMERA_FRAME_BYTES - 4;
}

static int64_t FaceBytes(const SdFile* file)
{
	return SdFaceBytes(file->version);
}

// --- stream helpers

// Size of an open file. fstat rather than CacheFileSize: seeking a read stream to its end makes the
// C library read the file's last block, a system call and a copy each time a frame is read.
static int64_t StreamSize(FILE* f)
{
	struct stat st;
	if (fstat(fileno(f), &st) != 0)
		return -1;
	return static_cast<int64_t>(st.st_size);
}

static int ReadRaw(SdFile* file, void* dst, int64_t n)
{
	if (n <= 0)
		return 1;
	return std::fread(dst, 1, static_cast<size_t>(n), file->stream) == static_cast<size_t>(n);
}

static int WriteRaw(SdFile* file, const void* src, int64_t n)
{
	if (n <= 0)
		return 1;
	return std::fwrite(src, 1, static_cast<size_t>(n), file->stream) == static_cast<size_t>(n);
}

// Bytes left between the stream's position and the end of the file; very large for a file being
// written, -1 when the size or position is not known.
static int64_t Remaining(SdFile* file)
{
	if (file->for_writing)
		return INT64_MAX;
	if (file->file_size < 0)
		return -1;
	const int64_t at = ftello(file->stream);
	if (at < 0 || at > file->file_size)
		return -1;
	return file->file_size - at;
}

// A vector field of the object frame record: three stored components in file order, to x, y, z.
static void LoadVector(const SdFile* file, float* v, const unsigned char* p)
{
	const float a = LoadF32(p), b = LoadF32(p + 4), c = LoadF32(p + 8);
	if (ZyxOrder(file))
	{
		v[0] = c;
		v[1] = b;
		v[2] = a;
	}
	else
	{
		v[0] = a;
		v[1] = b;
		v[2] = c;
	}
}

static void LoadDoubleVector(const SdFile* file, double* v, const unsigned char* p)
{
	const double a = LoadF64(p), b = LoadF64(p + 8), c = LoadF64(p + 16);
	if (ZyxOrder(file))
	{
		v[0] = c;
		v[1] = b;
		v[2] = a;
	}
	else
	{
		v[0] = a;
		v[1] = b;
		v[2] = c;
	}
}

static void LoadFloats(float* dst, const unsigned char* p, int n)
{
	for (int k = 0; k < n; ++k)
		dst[k] = LoadF32(p + 4 * k);
}

static void StoreFloats(unsigned char* p, const float* src, int n)
{
	for (int k = 0; k < n; ++k)
		StoreF32(p + 4 * k, src[k]);
}

// Replaces *buffer with length + 1 fresh bytes (or keeps it when the length is unchanged).
static int ResizeName(char** buffer, int32_t old_length, int32_t new_length)
{
	if (*buffer && old_length == new_length)
		return 1;
	CacheFree(*buffer);
	*buffer = static_cast<char*>(CacheAlloc(static_cast<size_t>(new_length) + 1));
	return *buffer != nullptr;
}

// Reads a string of `length` bytes (already checked to fit) into a fresh zero-terminated buffer.
static int ReadString(SdFile* file, char** buffer, int32_t* length_field, int32_t length)
{
	if (!ResizeName(buffer, *length_field, length))
	{
		*length_field = 0;
		return 0;
	}
	*length_field = length;
	(*buffer)[length] = '\0';
	if (!ReadRaw(file, *buffer, length))
	{
		(*buffer)[0] = '\0';
		*length_field = 0;
		return 0;
	}
	return 1;
}

// --- open-file records

SdFile* SdOpen(const char* path, bool for_writing)
{
	if (!path || !path[0] || std::strlen(path) >= static_cast<size_t>(TW_RECORD_PATH_SIZE))
		return nullptr;
	SdFile* file = static_cast<SdFile*>(CacheCalloc(1, sizeof(SdFile)));
	if (!file)
		return nullptr;
	file->path = static_cast<char*>(CacheAlloc(TW_RECORD_PATH_SIZE));
	if (!file->path)
	{
		CacheFree(file);
		return nullptr;
	}
	CacheCopyName(file->path, TW_RECORD_PATH_SIZE, path, TW_RECORD_PATH_SIZE);
	file->frame_number = -1;
	file->for_writing = for_writing ? 1 : 0;
	file->file_size = -1;
	file->stream = std::fopen(path, for_writing ? "wb" : "rb");
	if (!file->stream)
	{
		CacheFree(file->path);
		CacheFree(file);
		return nullptr;
	}
	if (!for_writing)
	{
		// Reads are checked against the size: without one the file is not read at all.
		file->file_size = StreamSize(file->stream);
		if (file->file_size < 0)
		{
			std::fclose(file->stream);
			CacheFree(file->path);
			CacheFree(file);
			return nullptr;
		}
	}
	return file;
}

int SdCloseStream(SdFile* file)
{
	if (file && file->stream)
	{
		std::fclose(file->stream);
		file->stream = nullptr;
	}
	return 0;
}

int SdReopen(SdFile* file)
{
	if (!file || !file->path)
		return 0;
	SdCloseStream(file);
	file->for_writing = 0;
	file->file_size = -1;
	file->stream = std::fopen(file->path, "rb");
	if (!file->stream)
		return 0;
	file->file_size = StreamSize(file->stream);
	if (file->file_size < 0)
	{
		SdCloseStream(file);
		return 0;
	}
	return 1;
}

void SdDescriptorFreeBuffers(SdObjectDescriptor* descriptor)
{
	if (!descriptor)
		return;
	CacheFree(descriptor->name);
	CacheFree(descriptor->texture);
	descriptor->name = nullptr;
	descriptor->texture = nullptr;
}

void SdObjectFrameFreeBuffers(SdObjectFrame* frame)
{
	if (!frame)
		return;
	CacheFree(frame->name);
	frame->name = nullptr;
}

int SdClose(SdFile* file)
{
	if (!file)
		return 1;
	int ok = 1;
	if (file->stream)
	{
		if (file->for_writing && (std::fflush(file->stream) != 0 || std::ferror(file->stream)))
			ok = 0;
		if (std::fclose(file->stream) != 0 && file->for_writing)
			ok = 0;
		file->stream = nullptr;
	}
	CacheFree(file->path);
	SdDescriptorFreeBuffers(&file->descriptor);
	SdObjectFrameFreeBuffers(&file->object_frame);
	CacheFree(file);
	return ok;
}

int32_t SdFindObject(SdFile* file, const char* name)
{
	if (!file || !file->stream || !name || !name[0])
		return -1;
	if (fseeko(file->stream, 0, SEEK_SET) != 0 || !SdReadHeader(file))
		return -1;
	const size_t length = std::strlen(name);
	for (int32_t k = 0; k < file->object_count; ++k)
	{
		SdObjectDescriptor* d = &file->descriptor;
		if (!SdReadObjectDescriptor(file, d))
			return -1;
		if (d->name_length > 0 && static_cast<size_t>(d->name_length) == length &&
			std::memcmp(d->name, name, length) == 0)
			return k;
		if (fseeko(file->stream, static_cast<off_t>(d->geometry_size), SEEK_CUR) != 0)
			return -1;
	}
	return -1;
}

// --- header

int SdReadHeader(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	unsigned char b[SD_HEADER_BYTES];
	if (!ReadRaw(file, b, 34))
		return 0;
	std::memcpy(file->title, b, SD_TITLE_BYTES);
	file->title[SD_TITLE_BYTES] = '\0';
	file->version = LoadF32(b + 30);
	file->header_size = 0;
	file->frame_size = 0;
	if (AtLeast(file, 5.0f))
	{
		if (!ReadRaw(file, b, 8))
			return 0;
		file->header_size = LoadI32(b);
		file->frame_size = LoadI32(b + 4);
	}
	file->has_camera = 0;
	if (AtLeast(file, 2.0f))
	{
		if (!ReadRaw(file, b, 1))
			return 0;
		file->has_camera = b[0];
	}
	if (!ReadRaw(file, b, 40))
		return 0;
	file->axis_setup = LoadI32(b);
	for (int k = 0; k < 6; ++k)
		file->reserved[k] = LoadI32(b + 4 + 4 * k);
	file->object_count = LoadI32(b + 28);
	file->first_frame = LoadI32(b + 32);
	file->last_frame = LoadI32(b + 36);
	// Room for N descriptors of at least their fixed size, before anyone sizes a table by N.
	const int64_t least_descriptor = SD_DESCRIPTOR_FIXED_BYTES - (AtLeast(file, 3.0f) ? 0 : 4);
	const int64_t left = Remaining(file);
	if (file->object_count < 0 || left < 0 || static_cast<int64_t>(file->object_count) > left / least_descriptor)
		return 0;
	return 1;
}

void SdSetTitle(SdFile* file, const char* text)
{
	if (!file)
		return;
	std::memset(file->title, 0, sizeof(file->title));
	CacheCopyName(file->title, SD_TITLE_BYTES, text, SD_TITLE_BYTES - 1);
}

int SdWriteHeader(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	if (!AtLeast(file, 2.0f))
		file->has_camera = 0;
	file->title[SD_TITLE_BYTES - 1] = '\0';
	unsigned char b[SD_HEADER_BYTES];
	unsigned char* p = b;
	std::memcpy(p, file->title, SD_TITLE_BYTES);
	p += SD_TITLE_BYTES;
	StoreF32(p, file->version);
	p += 4;
	if (AtLeast(file, 5.0f))
	{
		StoreI32(p, file->header_size);
		StoreI32(p + 4, file->frame_size);
		p += 8;
	}
	if (AtLeast(file, 2.0f))
		*p++ = file->has_camera;
	StoreI32(p, file->axis_setup);
	p += 4;
	for (int k = 0; k < 6; ++k, p += 4)
		StoreI32(p, file->reserved[k]);
	StoreI32(p, file->object_count);
	StoreI32(p + 4, file->first_frame);
	StoreI32(p + 8, file->last_frame);
	p += 12;
	return WriteRaw(file, b, p - b);
}

// --- object descriptor

void SdDescriptorSetSizes(SdObjectDescriptor* d, float version)
{
	if (!d)
		return;
	const int64_t name_length = d->name_length;
	const int64_t texture = version >= 3.0f ? 4 + static_cast<int64_t>(d->texture_length) : 0;
	d->descriptor_size = SD_DESCRIPTOR_FIXED_BYTES - 4 + name_length + texture;
	d->geometry_size = SD_VERTEX_BYTES * static_cast<int64_t>(d->vertex_count) +
		SdFaceBytes(version) * static_cast<int64_t>(d->triangle_count);
	// transform and four vectors; the double vectors from 4.0, the name from 5.0
	const int64_t body = 96 + (version >= 4.0f ? 72 : 0);
	const int64_t name = version >= 5.0f ? 4 + name_length : 0;
	d->frame_record_size = name + body +
		(d->type == SD_OBJECT_DEFORMING ? SD_VERTEX_BYTES * static_cast<int64_t>(d->vertex_count) : 0);
}

int SdReadObjectDescriptor(SdFile* file, SdObjectDescriptor* d)
{
	if (!file || !file->stream || !d)
		return 0;
	SdDescriptorFreeBuffers(d);
	d->name_length = 0;
	d->texture_length = 0;
	d->vertex_count = 0;
	d->triangle_count = 0;
	SdDescriptorSetSizes(d, file->version);
	const bool has_texture = AtLeast(file, 3.0f);
	const int64_t tail = (has_texture ? 4 : 0) + 8; // texture length, V, T
	unsigned char b[17];
	if (!ReadRaw(file, b, 17))
		return 0;
	d->type = b[0];
	LoadFloats(d->host_vector, b + 1, 3);
	const int32_t name_length = LoadI32(b + 13);
	if (name_length < 0 || name_length > Remaining(file) - tail)
		return 0;
	if (!ReadString(file, &d->name, &d->name_length, name_length))
		return 0;
	if (has_texture)
	{
		if (!ReadRaw(file, b, 4))
			return 0;
		const int32_t texture_length = LoadI32(b);
		if (texture_length < 0 || texture_length > Remaining(file) - 8)
			return 0;
		if (!ReadString(file, &d->texture, &d->texture_length, texture_length))
			return 0;
	}
	if (!ReadRaw(file, b, 8))
		return 0;
	const int32_t v = LoadI32(b);
	const int32_t t = LoadI32(b + 4);
	// The geometry block as this version stores it must be in the file.
	const int64_t left = Remaining(file);
	if (v < 0 || t < 0 || left < 0 || SD_VERTEX_BYTES * static_cast<int64_t>(v) > left ||
		FaceBytes(file) * static_cast<int64_t>(t) > left - SD_VERTEX_BYTES * static_cast<int64_t>(v))
		return 0;
	d->vertex_count = v;
	d->triangle_count = t;
	SdDescriptorSetSizes(d, file->version);
	return 1;
}

static int SetString(char** buffer, int32_t* length_field, const char* text)
{
	const size_t n = text ? std::strlen(text) : 0;
	if (n > static_cast<size_t>(INT32_MAX - 1))
		return 0;
	char* copy = static_cast<char*>(CacheAlloc(n + 1));
	if (!copy)
		return 0;
	if (n)
		std::memcpy(copy, text, n);
	copy[n] = '\0';
	CacheFree(*buffer);
	*buffer = copy;
	*length_field = static_cast<int32_t>(n);
	return 1;
}

int SdDescriptorSetName(SdObjectDescriptor* d, const char* text)
{
	return d && SetString(&d->name, &d->name_length, text);
}

int SdDescriptorSetTexture(SdObjectDescriptor* d, const char* text)
{
	return d && SetString(&d->texture, &d->texture_length, text);
}

int SdWriteObjectDescriptor(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const SdObjectDescriptor* d = &file->descriptor;
	const bool has_texture = AtLeast(file, 3.0f);
	if (d->name_length < 0 || (d->name_length > 0 && !d->name) ||
		(has_texture && (d->texture_length < 0 || (d->texture_length > 0 && !d->texture))))
		return 0;
	unsigned char b[17];
	b[0] = d->type;
	StoreFloats(b + 1, d->host_vector, 3);
	StoreI32(b + 13, d->name_length);
	if (!WriteRaw(file, b, 17) || !WriteRaw(file, d->name, d->name_length))
		return 0;
	if (has_texture)
	{
		StoreI32(b, d->texture_length);
		if (!WriteRaw(file, b, 4) || !WriteRaw(file, d->texture, d->texture_length))
			return 0;
	}
	StoreI32(b, d->vertex_count);
	StoreI32(b + 4, d->triangle_count);
	return WriteRaw(file, b, 8);
}

// --- vertices and faces

int SdReadVertex(SdFile* file)
{
	return SdReadVertices(file, file ? file->vertex : nullptr, 1);
}

int SdWriteVertex(SdFile* file)
{
	return SdWriteVertices(file, file ? file->vertex : nullptr, 1);
}

int SdReadVertices(SdFile* file, float* xyz, int64_t count)
{
	if (!file || !file->stream || count < 0 || (count > 0 && !xyz))
		return 0;
	if (count > INT64_MAX / SD_VERTEX_BYTES)
		return 0;
	const int64_t bytes = SD_VERTEX_BYTES * count;
	if (bytes > Remaining(file))
		return 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	// The file's bytes are the floats: straight into the caller's array.
	return ReadRaw(file, xyz, bytes);
#else
	unsigned char b[SD_VERTEX_BYTES * 256];
	for (int64_t done = 0; done < count;)
	{
		const int64_t n = count - done < 256 ? count - done : 256;
		if (!ReadRaw(file, b, SD_VERTEX_BYTES * n))
			return 0;
		LoadFloats(xyz + 3 * done, b, static_cast<int>(3 * n));
		done += n;
	}
	return 1;
#endif
}

int SdWriteVertices(SdFile* file, const float* xyz, int64_t count)
{
	if (!file || !file->stream || count < 0 || (count > 0 && !xyz))
		return 0;
	if (count > INT64_MAX / SD_VERTEX_BYTES)
		return 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
	return WriteRaw(file, xyz, SD_VERTEX_BYTES * count);
#else
	unsigned char b[SD_VERTEX_BYTES * 256];
	for (int64_t done = 0; done < count;)
	{
		const int64_t n = count - done < 256 ? count - done : 256;
		StoreFloats(b, xyz + 3 * done, static_cast<int>(3 * n));
		if (!WriteRaw(file, b, SD_VERTEX_BYTES * n))
			return 0;
		done += n;
	}
	return 1;
#endif
}

int SdReadFace(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const bool has_uvw = AtLeast(file, 3.0f);
	unsigned char b[SD_FACE_BYTES];
	if (!ReadRaw(file, b, FaceBytes(file)))
		return 0;
	SdFace* f = &file->face;
	const unsigned char* p = b;
	for (int k = 0; k < 3; ++k, p += 4)
		f->corners[k] = LoadI32(p);
	if (has_uvw)
	{
		LoadFloats(f->uvw, p, 9);
		p += 36;
	}
	else
		std::memset(f->uvw, 0, sizeof(f->uvw));
	for (int k = 0; k < 3; ++k, p += 4)
		f->edge_values[k] = LoadI32(p);
	f->face_value = LoadI32(p);
	return 1;
}

int SdWriteFace(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const SdFace* f = &file->face;
	unsigned char b[SD_FACE_BYTES];
	unsigned char* p = b;
	for (int k = 0; k < 3; ++k, p += 4)
		StoreI32(p, f->corners[k]);
	if (AtLeast(file, 3.0f))
	{
		StoreFloats(p, f->uvw, 9);
		p += 36;
	}
	for (int k = 0; k < 3; ++k, p += 4)
		StoreI32(p, f->edge_values[k]);
	StoreI32(p, f->face_value);
	p += 4;
	return WriteRaw(file, b, p - b);
}

// --- camera descriptor, frame number

int SdReadCameraDescriptor(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const bool has_up = AtLeast(file, 6.0f);
	unsigned char b[SD_CAMERA_DESCRIPTOR_BYTES];
	if (!ReadRaw(file, b, has_up ? 24 : 12))
		return 0;
	SdCameraDescriptor* c = &file->camera;
	c->fov = LoadF32(b);
	c->near_clip = LoadF32(b + 4);
	c->far_clip = LoadF32(b + 8);
	if (has_up)
		LoadFloats(c->up, b + 12, 3);
	else
		c->up[0] = c->up[1] = c->up[2] = 0.0f;
	return 1;
}

int SdWriteCameraDescriptor(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const SdCameraDescriptor* c = &file->camera;
	unsigned char b[SD_CAMERA_DESCRIPTOR_BYTES];
	StoreF32(b, c->fov);
	StoreF32(b + 4, c->near_clip);
	StoreF32(b + 8, c->far_clip);
	StoreFloats(b + 12, c->up, 3);
	return WriteRaw(file, b, AtLeast(file, 6.0f) ? 24 : 12);
}

int SdReadFrameNumber(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	unsigned char b[4];
	if (!ReadRaw(file, b, 4))
		return 0;
	file->frame_number = LoadI32(b);
	return 1;
}

int SdWriteFrameNumber(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	unsigned char b[4];
	StoreI32(b, file->frame_number);
	return WriteRaw(file, b, 4);
}

// --- object frame record

// Bytes of the record after its name: transform, four vectors, the double vectors (v>=4).
static int64_t ObjectFrameBody(const SdFile* file)
{
	return 48 + 48 + (AtLeast(file, 4.0f) ? 72 : 0);
}

int SdReadObjectFrame(SdFile* file, SdObjectFrame* frame)
{
	if (!file || !file->stream || !frame)
		return 0;
	const int64_t body = ObjectFrameBody(file);
	unsigned char b[48 + 48 + 72];
	if (AtLeast(file, 5.0f))
	{
		if (!ReadRaw(file, b, 4))
			return 0;
		const int32_t name_length = LoadI32(b);
		if (name_length < 0 || name_length > Remaining(file) - body)
			return 0;
		if (!ReadString(file, &frame->name, &frame->name_length, name_length))
			return 0;
	}
	else
	{
		SdObjectFrameFreeBuffers(frame);
		frame->name_length = 0;
	}
	if (!ReadRaw(file, b, body))
		return 0;
	LoadFloats(frame->transform, b, 12);
	for (int k = 0; k < 4; ++k)
		LoadVector(file, frame->vectors[k], b + 48 + 12 * k);
	if (body > 96)
		for (int k = 0; k < 3; ++k)
			LoadDoubleVector(file, frame->double_vectors[k], b + 96 + 24 * k);
	else
		std::memset(frame->double_vectors, 0, sizeof(frame->double_vectors));
	return 1;
}

int SdWriteObjectFrame(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const SdObjectDescriptor* d = &file->descriptor;
	const SdObjectFrame* frame = &file->object_frame;
	const bool named = AtLeast(file, 5.0f);
	if (named && (d->name_length < 0 || (d->name_length > 0 && !d->name)))
		return 0;
	unsigned char b[48 + 48 + 72];
	if (named)
	{
		StoreI32(b, d->name_length);
		if (!WriteRaw(file, b, 4) || !WriteRaw(file, d->name, d->name_length))
			return 0;
	}
	StoreFloats(b, frame->transform, 12);
	// Always z, y, x.
	for (int k = 0; k < 4; ++k)
		for (int c = 0; c < 3; ++c)
			StoreF32(b + 48 + 12 * k + 4 * c, frame->vectors[k][2 - c]);
	const int64_t body = ObjectFrameBody(file);
	if (body > 96)
		for (int k = 0; k < 3; ++k)
			for (int c = 0; c < 3; ++c)
				StoreF64(b + 96 + 24 * k + 8 * c, frame->double_vectors[k][2 - c]);
	return WriteRaw(file, b, body);
}

// --- camera frame record

int SdReadCameraFrame(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const bool has_roll = AtLeast(file, 6.0f);
	unsigned char b[SD_CAMERA_FRAME_BYTES];
	if (!ReadRaw(file, b, has_roll ? 104 : 100))
		return 0;
	SdCameraFrame* c = &file->camera_frame;
	LoadFloats(c->matrix, b, 16);
	LoadFloats(c->position, b + 64, 3);
	LoadFloats(c->target, b + 76, 3);
	LoadFloats(c->up, b + 88, 3);
	c->roll = has_roll ? LoadF32(b + 100) : 0.0f;
	if (file->axis_setup == 3)
		for (int k = 0; k < 3; ++k)
		{
			const float row0 = c->matrix[k];
			c->matrix[k] = -c->matrix[8 + k];
			c->matrix[8 + k] = row0;
		}
	return 1;
}

int SdWriteCameraFrame(SdFile* file)
{
	if (!file || !file->stream)
		return 0;
	const SdCameraFrame* c = &file->camera_frame;
	unsigned char b[SD_CAMERA_FRAME_BYTES];
	StoreFloats(b, c->matrix, 16);
	StoreFloats(b + 64, c->position, 3);
	StoreFloats(b + 76, c->target, 3);
	StoreFloats(b + 88, c->up, 3);
	StoreF32(b + 100, c->roll);
	return WriteRaw(file, b, AtLeast(file, 6.0f) ? 104 : 100);
}

// --- layout sums

static bool AddChecked(int64_t* sum, int64_t value)
{
	return !__builtin_add_overflow(*sum, value, sum);
}

int64_t SdFirstFrameOffset(const SdObjectDescriptor* descriptors, int32_t n, bool has_camera, float version)
{
	if (n < 0 || (n > 0 && !descriptors))
		return -1;
	int64_t sum = SdHeaderBytes(version) + (has_camera ? SdCameraDescriptorBytes(version) : 0);
	for (int32_t k = 0; k < n; ++k)
		if (!AddChecked(&sum, descriptors[k].descriptor_size) || !AddChecked(&sum, descriptors[k].geometry_size))
			return -1;
	return sum;
}

int64_t SdFrameBytes(const SdObjectDescriptor* descriptors, int32_t n, bool has_camera, float version)
{
	if (n < 0 || (n > 0 && !descriptors))
		return -1;
	int64_t sum = SD_FRAME_NUMBER_BYTES + (has_camera ? SdCameraFrameBytes(version) : 0);
	for (int32_t k = 0; k < n; ++k)
		if (!AddChecked(&sum, descriptors[k].frame_record_size))
			return -1;
	return sum;
}
