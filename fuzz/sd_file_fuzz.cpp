// sd_file_fuzz.cpp - SD scene and object readers on arbitrary bytes: read or fail, never fault or leak.
#include "cache_internal.h"
#include "sd_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

// The input file of this process, removed when the fuzzer exits.
struct FuzzFile
{
	std::string path = "/tmp/sd_file_fuzz_" + std::to_string(getpid()) + ".sd";
	~FuzzFile() { unlink(path.c_str()); }
};

// Touches what a reader says it holds, so that the sanitizers see a lie about a count.
static float Touch(const SdSceneReader* r)
{
	float sum = 0.0f;
	for (int32_t k = 0; k < r->file->object_count; ++k)
	{
		const SdObjectDescriptor& d = r->descriptors[k];
		if (d.name && std::strlen(d.name) > static_cast<size_t>(d.name_length))
			std::abort();
		const SdObjectFrame& f = r->frames[k];
		if (f.name && std::strlen(f.name) > static_cast<size_t>(f.name_length))
			std::abort();
		sum += f.transform[11];
		if (r->valid && d.type == SD_OBJECT_DEFORMING && d.vertex_count > 0)
			sum += r->vertices[k][0] + r->vertices[k][3 * static_cast<int64_t>(d.vertex_count) - 1];
	}
	return sum;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const FuzzFile input;
	const std::string& path = input.path;
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return 0;
	std::fwrite(data, 1, size, f);
	std::fclose(f);

	const int64_t live = CacheLiveAllocations();
	float sum = 0.0f;
	std::string name;
	SdSceneReader* scene = SdSceneOpen(path.c_str());
	if (scene)
	{
		SdCloseStream(scene->file);
		// In 64 bits: the frame range is the file's and may touch either end of the int32 range.
		const int64_t first = scene->file->first_frame;
		const int64_t last = scene->file->last_frame;
		const int64_t frames[] = {first, last, first + 1, first + (last - first) / 2, first - 1, last + 1, first};
		for (int64_t frame : frames)
		{
			SdSceneReadFrame(scene, static_cast<int32_t>(frame));
			sum += Touch(scene);
		}
		sum += static_cast<float>(SdSceneFrameOffset(scene, scene->frame_count));
		if (scene->file->object_count > 0 && scene->descriptors[0].name)
			name = scene->descriptors[0].name;
	}
	SdSceneFree(scene);

	// The object reader, picking the first object's name (or a fixed one), and SdFindObject.
	if (name.empty())
		name = "Box";
	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	reader.file = SdOpen(path.c_str(), false);
	if (reader.file && SdObjectReaderOpen(&reader, name.c_str()))
	{
		SdCloseStream(reader.file);
		const int64_t first = reader.file->first_frame;
		const int64_t last = reader.file->last_frame;
		for (int64_t frame : {first, last, first - 1, last + 1})
			if (SdObjectReaderReadFrame(&reader, static_cast<int32_t>(frame), nullptr, nullptr) == 1)
			{
				sum += reader.file->object_frame.transform[0];
				const SdObjectInfo* info = reader.selected;
				if (info->type == SD_OBJECT_DEFORMING && info->vertex_count > 0)
					sum += reader.vertices[3 * static_cast<int64_t>(info->vertex_count) - 1];
			}
	}
	SdObjectReaderClose(&reader);

	SdFile* file = SdOpen(path.c_str(), false);
	if (file && SdFindObject(file, name.c_str()) >= 0)
	{
		// The geometry block follows the found descriptor: read what the descriptor claims.
		for (int32_t i = 0; i < file->descriptor.vertex_count && SdReadVertex(file); ++i)
			sum += file->vertex[0];
		for (int32_t j = 0; j < file->descriptor.triangle_count && SdReadFace(file); ++j)
			sum += file->face.uvw[0];
	}
	SdClose(file);

	if (sum == 12345.0f)
		std::fputc(0, stderr);
	if (CacheLiveAllocations() != live)
		std::abort();
	return 0;
}
