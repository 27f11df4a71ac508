// sd_reader.cpp - the SD scene reader and object reader: frames located by computed 64-bit offsets.
#include "sd_file.h"

#include "cache_internal.h"

#include <cstring>

// Frames wholly inside a file of file_size bytes whose first frame starts at first and whose
// frames take frame_bytes each (at least 4), at most frame_count.
static int64_t FramesInFile(int64_t file_size, int64_t first, int64_t frame_bytes, int64_t frame_count)
{
	if (file_size < first || frame_bytes <= 0)
		return 0;
	const int64_t fit = (file_size - first) / frame_bytes;
	return fit < frame_count ? fit : frame_count;
}

static int64_t FrameCount(const SdFile* file)
{
	const int64_t n = static_cast<int64_t>(file->last_frame) - file->first_frame + 1;
	return n > 0 ? n : 0;
}

// base + i x stride + extra, or -1 when i < 0 or the result overflows.
static int64_t OffsetOf(int64_t base, int64_t i, int64_t stride, int64_t extra)
{
	int64_t at;
	if (i < 0 || base < 0 || stride < 0 || __builtin_mul_overflow(i, stride, &at) ||
		__builtin_add_overflow(at, base, &at) || __builtin_add_overflow(at, extra, &at))
		return -1;
	return at;
}

static int64_t* NewOffsets(int64_t count)
{
	int64_t* offsets = CacheAllocArray<int64_t>(count);
	for (int64_t i = 0; offsets && i < count; ++i)
		offsets[i] = -1;
	return offsets;
}

// True when the bytes [offset, offset + n) lie inside the file as last opened.
static bool InFile(const SdFile* file, int64_t offset, int64_t n)
{
	return offset >= 0 && n >= 0 && file->file_size >= 0 && offset <= file->file_size - n;
}

// Skips a geometry block (its size as the file's version stores it) after checking that it lies inside the file.
static int SkipGeometry(SdFile* file, int64_t geometry_size)
{
	const int64_t at = ftello(file->stream);
	if (at < 0 || !InFile(file, at, geometry_size))
		return 0;
	return fseeko(file->stream, static_cast<off_t>(geometry_size), SEEK_CUR) == 0;
}

// --- scene reader

void SdSceneFree(SdSceneReader* reader)
{
	if (!reader)
		return;
	const int32_t n = reader->file ? reader->file->object_count : 0;
	for (int32_t k = 0; k < n; ++k)
	{
		if (reader->descriptors)
			SdDescriptorFreeBuffers(&reader->descriptors[k]);
		if (reader->frames)
			SdObjectFrameFreeBuffers(&reader->frames[k]);
		if (reader->vertices)
			CacheFree(reader->vertices[k]);
	}
	CacheFree(reader->descriptors);
	CacheFree(reader->frames);
	CacheFree(reader->vertices);
	CacheFree(reader->offsets);
	SdClose(reader->file);
	CacheFree(reader);
}

SdSceneReader* SdSceneOpen(const char* path)
{
	SdFile* file = SdOpen(path, false);
	if (!file)
		return nullptr;
	SdSceneReader* reader = static_cast<SdSceneReader*>(CacheCalloc(1, sizeof(SdSceneReader)));
	if (!reader)
	{
		SdClose(file);
		return nullptr;
	}
	reader->file = file;
	if (!SdReadHeader(file))
	{
		// The tables are not sized yet: free them as for a file without objects.
		file->object_count = 0;
		SdSceneFree(reader);
		return nullptr;
	}
	// N was checked against the file's size by the header read.
	const int32_t n = file->object_count;
	reader->descriptors = static_cast<SdObjectDescriptor*>(CacheCalloc(static_cast<size_t>(n), sizeof(SdObjectDescriptor)));
	reader->frames = static_cast<SdObjectFrame*>(CacheCalloc(static_cast<size_t>(n), sizeof(SdObjectFrame)));
	reader->vertices = static_cast<float**>(CacheCalloc(static_cast<size_t>(n), sizeof(float*)));
	if (!reader->descriptors || !reader->frames || !reader->vertices)
	{
		SdSceneFree(reader);
		return nullptr;
	}
	for (int32_t k = 0; k < n; ++k)
		if (!SdReadObjectDescriptor(file, &reader->descriptors[k]) ||
			!SkipGeometry(file, reader->descriptors[k].geometry_size))
		{
			SdSceneFree(reader);
			return nullptr;
		}
	const bool camera = file->has_camera != 0;
	reader->first_frame_offset = SdFirstFrameOffset(reader->descriptors, n, camera, file->version);
	reader->frame_bytes = SdFrameBytes(reader->descriptors, n, camera, file->version);
	reader->frame_count = FrameCount(file);
	if (reader->first_frame_offset < 0 || reader->frame_bytes < 0)
	{
		SdSceneFree(reader);
		return nullptr;
	}
	// One entry per frame that is in the file now: a damaged frame range cannot size the table.
	reader->offset_count =
		FramesInFile(file->file_size, reader->first_frame_offset, reader->frame_bytes, reader->frame_count);
	reader->offsets = NewOffsets(reader->offset_count);
	if (!reader->offsets)
	{
		SdSceneFree(reader);
		return nullptr;
	}
	return reader;
}

int64_t SdSceneFrameOffset(const SdSceneReader* reader, int64_t i)
{
	if (!reader)
		return -1;
	return OffsetOf(reader->first_frame_offset, i, reader->frame_bytes, 0);
}

static int ReadSceneFrame(SdSceneReader* reader, int64_t i)
{
	SdFile* file = reader->file;
	int64_t offset;
	if (i < reader->offset_count)
	{
		if (reader->offsets[i] < 0)
			reader->offsets[i] = SdSceneFrameOffset(reader, i);
		offset = reader->offsets[i];
	}
	else
		offset = SdSceneFrameOffset(reader, i);
	if (!InFile(file, offset, reader->frame_bytes))
		return 0;
	const int32_t n = file->object_count;
	for (int32_t k = 0; k < n; ++k)
	{
		const SdObjectDescriptor* d = &reader->descriptors[k];
		if (d->type == SD_OBJECT_DEFORMING && !reader->vertices[k])
		{
			// V was checked against the file's size when the descriptor was read.
			reader->vertices[k] = CacheAllocArray<float>(3 * static_cast<int64_t>(d->vertex_count));
			if (!reader->vertices[k])
				return 0;
		}
	}
	if (fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) != 0 || !SdReadFrameNumber(file))
		return 0;
	const bool named = file->version >= 5.0f;
	for (int32_t k = 0; k < n; ++k)
	{
		const SdObjectDescriptor* d = &reader->descriptors[k];
		SdObjectFrame* frame = &reader->frames[k];
		if (!SdReadObjectFrame(file, frame) || (named && frame->name_length != d->name_length))
			return 0;
		if (d->type == SD_OBJECT_DEFORMING && !SdReadVertices(file, reader->vertices[k], d->vertex_count))
			return 0;
	}
	if (file->has_camera && !SdReadCameraFrame(file))
		return 0;
	return 1;
}

int SdSceneReadFrame(SdSceneReader* reader, int32_t frame_number)
{
	if (!reader || !reader->file)
		return 0;
	reader->valid = 0;
	SdFile* file = reader->file;
	if (!SdReopen(file))
		return 0;
	const int64_t i = static_cast<int64_t>(frame_number) - file->first_frame;
	int result = 1;
	if (i >= 0 && i < reader->frame_count)
	{
		result = ReadSceneFrame(reader, i);
		reader->valid = result;
	}
	SdCloseStream(file);
	return result;
}

// --- object reader

void SdObjectReaderInit(SdObjectReader* reader)
{
	if (!reader)
		return;
	std::memset(reader, 0, sizeof(*reader));
	reader->selected_index = -1;
}

static void FreeObjectTables(SdObjectReader* reader)
{
	CacheFree(reader->infos);
	CacheFree(reader->offsets);
	CacheFree(reader->vertices);
	reader->infos = nullptr;
	reader->offsets = nullptr;
	reader->vertices = nullptr;
	reader->selected = nullptr;
	reader->selected_index = -1;
	reader->object_count = 0;
	reader->frame_count = 0;
	reader->offset_count = 0;
	reader->first_frame_offset = 0;
	reader->frame_bytes = 0;
	reader->record_offset = 0;
}

int SdObjectReaderOpen(SdObjectReader* reader, const char* name)
{
	if (!reader)
		return 0;
	FreeObjectTables(reader);
	SdFile* file = reader->file;
	if (!file || !file->stream || fseeko(file->stream, 0, SEEK_SET) != 0 || !SdReadHeader(file))
		return 0;
	const int32_t n = file->object_count;
	reader->infos = static_cast<SdObjectInfo*>(CacheCalloc(static_cast<size_t>(n), sizeof(SdObjectInfo)));
	if (!reader->infos)
		return 0;
	const size_t name_bytes = name ? std::strlen(name) : 0;
	const bool camera = file->has_camera != 0;
	int64_t first = SdHeaderBytes(file->version) + (camera ? SdCameraDescriptorBytes(file->version) : 0);
	int64_t records = 0;
	int64_t before_selected = 0;
	for (int32_t k = 0; k < n; ++k)
	{
		SdObjectDescriptor* d = &file->descriptor;
		if (!SdReadObjectDescriptor(file, d) || !SkipGeometry(file, d->geometry_size))
		{
			FreeObjectTables(reader);
			return 0;
		}
		reader->infos[k] = SdObjectInfo{d->type, d->vertex_count, d->triangle_count, d->descriptor_size,
			d->geometry_size, d->frame_record_size};
		if (name_bytes > 0 && static_cast<size_t>(d->name_length) == name_bytes &&
			std::memcmp(d->name, name, name_bytes) == 0)
		{
			// The last object of that name wins.
			CacheFree(reader->vertices);
			reader->vertices = CacheAllocArray<float>(3 * static_cast<int64_t>(d->vertex_count));
			if (!reader->vertices)
			{
				FreeObjectTables(reader);
				return 0;
			}
			reader->selected_index = k;
			before_selected = records;
		}
		// Each block was checked to lie inside the file in turn, so these sums stay far below the
		// 64-bit range.
		first += d->descriptor_size + d->geometry_size;
		records += d->frame_record_size;
	}
	reader->object_count = n;
	reader->selected = reader->selected_index >= 0 ? &reader->infos[reader->selected_index] : nullptr;
	reader->first_frame_offset = first;
	reader->frame_bytes = SD_FRAME_NUMBER_BYTES + records + (camera ? SdCameraFrameBytes(file->version) : 0);
	reader->record_offset = SD_FRAME_NUMBER_BYTES + before_selected;
	reader->frame_count = FrameCount(file);
	reader->offset_count = FramesInFile(file->file_size, first, reader->frame_bytes, reader->frame_count);
	reader->offsets = NewOffsets(reader->offset_count);
	if (!reader->offsets)
	{
		FreeObjectTables(reader);
		return 0;
	}
	return 1;
}

int64_t SdObjectReaderFrameOffset(SdObjectReader* reader, int64_t i)
{
	if (!reader || reader->selected_index < 0 || i < 0)
		return -1;
	const int64_t offset = OffsetOf(reader->first_frame_offset, i, reader->frame_bytes, reader->record_offset);
	if (i < reader->offset_count && reader->offsets)
		reader->offsets[i] = offset;
	return offset;
}

static int ReadObjectFrame(SdObjectReader* reader, int64_t i, SdObjectFrame* frame, float** vertices)
{
	SdFile* file = reader->file;
	const SdObjectInfo* info = reader->selected;
	int64_t offset;
	if (i < reader->offset_count)
	{
		if (reader->offsets[i] < 0)
			SdObjectReaderFrameOffset(reader, i);
		offset = reader->offsets[i];
	}
	else
		offset = SdObjectReaderFrameOffset(reader, i);
	if (!InFile(file, offset, info->frame_record_size))
		return 0;
	const bool deforming = info->type == SD_OBJECT_DEFORMING;
	if (deforming && !*vertices)
	{
		*vertices = CacheAllocArray<float>(3 * static_cast<int64_t>(info->vertex_count));
		if (!*vertices)
			return 0;
	}
	if (fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) != 0 || !SdReadObjectFrame(file, frame))
		return 0;
	// The record's name must be as long as its descriptor's, which the offsets assume.
	const int64_t name_length = info->frame_record_size - SD_OBJECT_FRAME_FIXED_BYTES -
		(deforming ? SD_VERTEX_BYTES * static_cast<int64_t>(info->vertex_count) : 0);
	if (file->version >= 5.0f && frame->name_length != name_length)
		return 0;
	return !deforming || SdReadVertices(file, *vertices, info->vertex_count);
}

int SdObjectReaderReadFrame(SdObjectReader* reader, int32_t frame_number, SdObjectFrame* frame, float** vertices)
{
	if (!reader || !reader->file)
		return 0;
	SdFile* file = reader->file;
	if (!SdReopen(file))
		return -1;
	if (!frame)
		frame = &file->object_frame;
	if (!vertices)
		vertices = &reader->vertices;
	const int64_t i = static_cast<int64_t>(frame_number) - file->first_frame;
	int result = 0;
	if (reader->selected && i >= 0 && i < reader->frame_count)
		result = ReadObjectFrame(reader, i, frame, vertices);
	SdCloseStream(file);
	return result;
}

void SdObjectReaderClose(SdObjectReader* reader)
{
	if (!reader)
		return;
	FreeObjectTables(reader);
	SdClose(reader->file);
	SdObjectReaderInit(reader);
}
