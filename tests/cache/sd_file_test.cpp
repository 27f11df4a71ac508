// sd_file_test.cpp - SD scene files: byte layout, version gates, axis setups, the two frame readers,
// round trips, damaged and hostile files, memory.
#include "cache_internal.h"
#include "sd_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

// The files a test process made, removed when it exits.
struct TempFiles
{
	std::vector<std::string> paths;
	~TempFiles()
	{
		for (const std::string& p : paths)
			std::remove(p.c_str());
	}
};

std::string TempPath(const std::string& name)
{
	static TempFiles files;
	// ctest runs the cases as parallel processes: each needs its own files.
	const std::string path = ::testing::TempDir() + "sd_file_test_" + std::to_string(getpid()) + "_" + name;
	if (std::find(files.paths.begin(), files.paths.end(), path) == files.paths.end())
		files.paths.push_back(path);
	return path;
}

std::vector<unsigned char> Slurp(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::vector<unsigned char>& bytes)
{
	std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

struct TestObject
{
	std::string name;
	uint8_t type;
	int32_t vertices;
	int32_t triangles;
	std::string texture;
};

struct Scene
{
	std::vector<TestObject> objects;
	bool camera = false;
	int32_t first = 0;
	int32_t last = 2;
	float version = SD_VERSION;
	int32_t axis_setup = SD_AXIS_SETUP;
	std::string title = "scene.c4d";
};

// Distinct values for every field, so that a swapped or shifted field shows up.
float RestValue(int k, int i, int c)
{
	return static_cast<float>(k) + 0.5f + static_cast<float>(i) * 0.25f - static_cast<float>(c) * 1.125f;
}
float UvwValue(int k, int j, int c)
{
	return static_cast<float>(k) + static_cast<float>(j) * 0.0625f + static_cast<float>(c) * 0.00390625f;
}
float TransformValue(int f, int k, int c)
{
	return static_cast<float>(f) * 10.0f + static_cast<float>(k) + static_cast<float>(c) * 0.0625f;
}
float VectorValue(int f, int k, int v, int c)
{
	return static_cast<float>(f) + static_cast<float>(k) * 0.5f + static_cast<float>(v) * 0.125f +
		static_cast<float>(c) * 0.03125f;
}
double DoubleValue(int f, int k, int v, int c)
{
	return f * 2.0 + k * 0.25 + v + c * 0.5;
}
float FrameVertexValue(int f, int k, int i, int c)
{
	return static_cast<float>(i) + static_cast<float>(f) * 0.5f - static_cast<float>(k) * 3.0f + static_cast<float>(c) * 0.125f;
}
float CameraValue(int f, int m)
{
	return static_cast<float>(f) + static_cast<float>(m) * 0.5f;
}

void FillDescriptor(SdObjectDescriptor* d, const TestObject& o, int k)
{
	d->type = o.type;
	d->host_vector[0] = static_cast<float>(k) + 0.1f;
	d->host_vector[1] = static_cast<float>(k) + 0.2f;
	d->host_vector[2] = static_cast<float>(k) + 0.3f;
	SdDescriptorSetName(d, o.name.c_str());
	SdDescriptorSetTexture(d, o.texture.c_str());
	d->vertex_count = o.vertices;
	d->triangle_count = o.triangles;
	SdDescriptorSetSizes(d);
}

// Writes the scene in the order the writer takes (as the SD Exporter drives it).
bool WriteScene(const std::string& path, const Scene& s)
{
	SdFile* file = SdOpen(path.c_str(), true);
	if (!file)
		return false;
	const int32_t n = static_cast<int32_t>(s.objects.size());
	std::vector<SdObjectDescriptor> descriptors(s.objects.size());
	for (int32_t k = 0; k < n; ++k)
	{
		descriptors[k] = SdObjectDescriptor{};
		FillDescriptor(&descriptors[k], s.objects[k], k);
	}
	SdSetTitle(file, s.title.c_str());
	file->version = s.version;
	file->header_size = static_cast<int32_t>(SdFirstFrameOffset(descriptors.data(), n, s.camera));
	file->frame_size = static_cast<int32_t>(SdFrameBytes(descriptors.data(), n, s.camera));
	file->has_camera = s.camera ? 1 : 0;
	file->axis_setup = s.axis_setup;
	file->object_count = n;
	file->first_frame = s.first;
	file->last_frame = s.last;
	bool ok = SdWriteHeader(file);
	for (int32_t k = 0; k < n; ++k)
	{
		FillDescriptor(&file->descriptor, s.objects[k], k);
		ok = ok && SdWriteObjectDescriptor(file);
		for (int32_t i = 0; i < s.objects[k].vertices; ++i)
		{
			for (int c = 0; c < 3; ++c)
				file->vertex[c] = RestValue(k, i, c);
			ok = ok && SdWriteVertex(file);
		}
		for (int32_t j = 0; j < s.objects[k].triangles; ++j)
		{
			SdFace& f = file->face;
			for (int c = 0; c < 3; ++c)
				f.corners[c] = (j + c) % s.objects[k].vertices;
			for (int c = 0; c < 9; ++c)
				f.uvw[c] = UvwValue(k, j, c);
			f.edge_values[0] = f.edge_values[1] = f.edge_values[2] = 1;
			f.face_value = 1;
			ok = ok && SdWriteFace(file);
		}
	}
	// Below version 2.0 the header cannot say there is a camera, and the writer leaves it out.
	const bool camera = file->has_camera != 0;
	if (camera)
	{
		file->camera = SdCameraDescriptor{0.75f, 0.0001f, 10000.0f, {0.0f, 1.0f, 0.0f}};
		ok = ok && SdWriteCameraDescriptor(file);
	}
	for (int32_t f = s.first; f <= s.last; ++f)
	{
		file->frame_number = f;
		ok = ok && SdWriteFrameNumber(file);
		for (int32_t k = 0; k < n; ++k)
		{
			FillDescriptor(&file->descriptor, s.objects[k], k);
			SdObjectFrame& r = file->object_frame;
			for (int c = 0; c < 12; ++c)
				r.transform[c] = TransformValue(f, k, c);
			for (int v = 0; v < 4; ++v)
				for (int c = 0; c < 3; ++c)
					r.vectors[v][c] = VectorValue(f, k, v, c);
			for (int v = 0; v < 3; ++v)
				for (int c = 0; c < 3; ++c)
					r.double_vectors[v][c] = DoubleValue(f, k, v, c);
			ok = ok && SdWriteObjectFrame(file);
			if (s.objects[k].type == SD_OBJECT_DEFORMING)
				for (int32_t i = 0; i < s.objects[k].vertices; ++i)
				{
					for (int c = 0; c < 3; ++c)
						file->vertex[c] = FrameVertexValue(f, k, i, c);
					ok = ok && SdWriteVertex(file);
				}
		}
		if (camera)
		{
			SdCameraFrame& c = file->camera_frame;
			for (int m = 0; m < 16; ++m)
				c.matrix[m] = CameraValue(f, m);
			for (int m = 0; m < 3; ++m)
			{
				c.position[m] = CameraValue(f, 20 + m);
				c.target[m] = CameraValue(f, 30 + m);
				c.up[m] = CameraValue(f, 40 + m);
			}
			c.roll = -static_cast<float>(f);
			ok = ok && SdWriteCameraFrame(file);
		}
	}
	for (SdObjectDescriptor& d : descriptors)
		SdDescriptorFreeBuffers(&d);
	return SdClose(file) == 1 && ok;
}

void ExpectObjectFrame(const SdObjectFrame& r, int f, int k, const std::string& name)
{
	EXPECT_EQ(r.name_length, static_cast<int32_t>(name.size()));
	ASSERT_NE(r.name, nullptr);
	EXPECT_EQ(std::string(r.name), name);
	for (int c = 0; c < 12; ++c)
		EXPECT_EQ(r.transform[c], TransformValue(f, k, c)) << "transform " << c;
	for (int v = 0; v < 4; ++v)
		for (int c = 0; c < 3; ++c)
			EXPECT_EQ(r.vectors[v][c], VectorValue(f, k, v, c)) << "vector " << v << "." << c;
	for (int v = 0; v < 3; ++v)
		for (int c = 0; c < 3; ++c)
			EXPECT_EQ(r.double_vectors[v][c], DoubleValue(f, k, v, c));
}

void ExpectCameraFrame(const SdCameraFrame& c, int f)
{
	for (int m = 0; m < 16; ++m)
		EXPECT_EQ(c.matrix[m], CameraValue(f, m));
	for (int m = 0; m < 3; ++m)
	{
		EXPECT_EQ(c.position[m], CameraValue(f, 20 + m));
		EXPECT_EQ(c.target[m], CameraValue(f, 30 + m));
		EXPECT_EQ(c.up[m], CameraValue(f, 40 + m));
	}
	EXPECT_EQ(c.roll, -static_cast<float>(f));
}

Scene MixedScene()
{
	Scene s;
	s.objects = {{"Box", SD_OBJECT_RIGID, 8, 12, "/textures/box.png"}, {"Flag", SD_OBJECT_DEFORMING, 5, 3, ""},
		{"Ground plane", SD_OBJECT_RIGID, 4, 2, "ground.tif"}};
	s.camera = true;
	s.first = 5;
	s.last = 9;
	return s;
}

// --- byte layout

TEST(SdLayout, CameraOnlyFileStartsItsFirstFrameAt107AndFramesTake108Bytes)
{
	const std::string path = TempPath("camera_only.sd");
	Scene s;
	s.camera = true;
	s.first = 0;
	s.last = 2;
	ASSERT_TRUE(WriteScene(path, s));
	const std::vector<unsigned char> b = Slurp(path);
	ASSERT_EQ(b.size(), 107u + 3 * 108);
	EXPECT_EQ(LoadI32(&b[34]), 107); // header size field
	EXPECT_EQ(LoadI32(&b[38]), 108); // frame size field
	for (int f = 0; f < 3; ++f)
		EXPECT_EQ(LoadI32(&b[107 + 108 * f]), f);

	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	SdCloseStream(r->file);
	EXPECT_EQ(r->first_frame_offset, 107);
	EXPECT_EQ(r->frame_bytes, 108);
	EXPECT_EQ(SdSceneFrameOffset(r, 0), 107);
	EXPECT_EQ(SdSceneFrameOffset(r, 1), 215);
	EXPECT_EQ(SdSceneFrameOffset(r, 2), 323);
	ASSERT_EQ(SdSceneReadFrame(r, 1), 1);
	EXPECT_EQ(r->valid, 1);
	EXPECT_EQ(r->file->frame_number, 1);
	EXPECT_EQ(r->file->stream, nullptr);
	ExpectCameraFrame(r->file->camera_frame, 1);
	SdSceneFree(r);
}

TEST(SdLayout, BoxFrameRecordIs175BytesRigidAnd271With8VerticesDeforming)
{
	for (uint8_t type : {SD_OBJECT_RIGID, SD_OBJECT_DEFORMING})
	{
		const std::string path = TempPath("box.sd");
		Scene s;
		s.objects = {{"Box", type, 8, 12, ""}};
		s.first = 0;
		s.last = 3;
		ASSERT_TRUE(WriteScene(path, s));
		const int64_t record = type == SD_OBJECT_RIGID ? 175 : 271;
		const int64_t first = 83 + 32 + 8 * 12 + 12 * 64;
		EXPECT_EQ(static_cast<int64_t>(Slurp(path).size()), first + 4 * (4 + record));

		SdSceneReader* r = SdSceneOpen(path.c_str());
		ASSERT_NE(r, nullptr);
		SdCloseStream(r->file);
		const SdObjectDescriptor& d = r->descriptors[0];
		EXPECT_EQ(d.descriptor_size, 32);
		EXPECT_EQ(d.geometry_size, 8 * 12 + 12 * 64);
		EXPECT_EQ(d.frame_record_size, record);
		EXPECT_EQ(SdSceneFrameOffset(r, 3), first + 3 * (4 + record));
		ASSERT_EQ(SdSceneReadFrame(r, 3), 1);
		ExpectObjectFrame(r->frames[0], 3, 0, "Box");
		if (type == SD_OBJECT_DEFORMING)
		{
			ASSERT_NE(r->vertices[0], nullptr);
			for (int i = 0; i < 8; ++i)
				for (int c = 0; c < 3; ++c)
					EXPECT_EQ(r->vertices[0][3 * i + c], FrameVertexValue(3, 0, i, c));
		}
		else
		{
			EXPECT_EQ(r->vertices[0], nullptr);
		}
		SdSceneFree(r);
	}
}

TEST(SdLayout, HeaderFieldsSitAtTheirOffsetsAndTheTitleIsCut)
{
	const std::string path = TempPath("header.sd");
	Scene s = MixedScene();
	s.title = "a document name much longer than twenty-nine characters";
	ASSERT_TRUE(WriteScene(path, s));
	const std::vector<unsigned char> b = Slurp(path);
	ASSERT_GT(b.size(), 83u);
	EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[0])), s.title.substr(0, 29));
	EXPECT_EQ(b[29], 0);
	EXPECT_EQ(LoadF32(&b[30]), 6.0f);
	EXPECT_EQ(b[42], 1); // camera flag
	EXPECT_EQ(LoadI32(&b[43]), 6); // axis setup
	for (int k = 0; k < 6; ++k)
		EXPECT_EQ(LoadI32(&b[47 + 4 * k]), 0);
	EXPECT_EQ(LoadI32(&b[71]), 3);
	EXPECT_EQ(LoadI32(&b[75]), 5);
	EXPECT_EQ(LoadI32(&b[79]), 9);
	// The first descriptor follows at 83: type, host vector, name length 3, "Box".
	EXPECT_EQ(b[83], 0);
	EXPECT_EQ(LoadF32(&b[84]), 0.1f);
	EXPECT_EQ(LoadI32(&b[96]), 3);
	EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[100]), 3), "Box");
	EXPECT_EQ(LoadI32(&b[103]), 17); // texture length
	EXPECT_EQ(LoadI32(&b[124]), 8); // V
	EXPECT_EQ(LoadI32(&b[128]), 12); // T
	// Header fields 3 and 4 hold exactly the computed layout.
	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(LoadI32(&b[34]), r->first_frame_offset);
	EXPECT_EQ(LoadI32(&b[38]), r->frame_bytes);
	EXPECT_EQ(static_cast<int64_t>(b.size()), r->first_frame_offset + 5 * r->frame_bytes);
	SdSceneFree(r);
}

TEST(SdLayout, EmptyTextureStoresLengthZeroAndNoBytes)
{
	const std::string path = TempPath("notexture.sd");
	Scene s;
	s.objects = {{"Flag", SD_OBJECT_RIGID, 1, 0, ""}};
	s.first = s.last = 0;
	ASSERT_TRUE(WriteScene(path, s));
	const std::vector<unsigned char> b = Slurp(path);
	// descriptor: type, host vector, 4, "Flag", texture length 0, V 1, T 0
	ASSERT_EQ(b.size(), 83u + 29 + 4 + 12 + 4 + 172 + 4);
	EXPECT_EQ(LoadI32(&b[83 + 17 + 4]), 0);
	EXPECT_EQ(LoadI32(&b[83 + 17 + 4 + 4]), 1);

	SdFile* file = SdOpen(path.c_str(), false);
	ASSERT_NE(file, nullptr);
	ASSERT_EQ(SdReadHeader(file), 1);
	ASSERT_EQ(SdReadObjectDescriptor(file, &file->descriptor), 1);
	EXPECT_EQ(file->descriptor.texture_length, 0);
	ASSERT_NE(file->descriptor.texture, nullptr);
	EXPECT_STREQ(file->descriptor.texture, "");
	EXPECT_EQ(file->descriptor.descriptor_size, 33);
	SdClose(file);
}

// --- vector component order and the camera conversion

// Patches the axis setup field of a written file.
void SetAxisSetup(const std::string& path, int32_t axis)
{
	std::vector<unsigned char> b = Slurp(path);
	StoreI32(&b[43], axis);
	Spit(path, b);
}

TEST(SdAxisSetup, Setup6ReadsStoredZyxAndSetup0ReadsStoredXyz)
{
	const std::string path = TempPath("axis.sd");
	SdFile* w = SdOpen(path.c_str(), true);
	ASSERT_NE(w, nullptr);
	w->version = SD_VERSION;
	w->axis_setup = 6;
	w->object_count = 1;
	ASSERT_EQ(SdWriteHeader(w), 1);
	SdDescriptorSetName(&w->descriptor, "Box");
	SdDescriptorSetSizes(&w->descriptor);
	ASSERT_EQ(SdWriteObjectDescriptor(w), 1);
	w->frame_number = 0;
	ASSERT_EQ(SdWriteFrameNumber(w), 1);
	// In memory x, y, z = 1, 2, 3: the writer stores 3, 2, 1.
	w->object_frame.vectors[SD_VECTOR_POSITION][0] = 1.0f;
	w->object_frame.vectors[SD_VECTOR_POSITION][1] = 2.0f;
	w->object_frame.vectors[SD_VECTOR_POSITION][2] = 3.0f;
	w->object_frame.double_vectors[0][0] = 10.0;
	w->object_frame.double_vectors[0][2] = 30.0;
	for (int c = 0; c < 12; ++c)
		w->object_frame.transform[c] = static_cast<float>(c);
	ASSERT_EQ(SdWriteObjectFrame(w), 1);
	ASSERT_EQ(SdClose(w), 1);

	const std::vector<unsigned char> b = Slurp(path);
	const size_t vectors_at = 83 + 32 + 4 + 4 + 3 + 48;
	ASSERT_EQ(b.size(), 83u + 32 + 4 + 175);
	EXPECT_EQ(LoadF32(&b[vectors_at]), 3.0f);
	EXPECT_EQ(LoadF32(&b[vectors_at + 4]), 2.0f);
	EXPECT_EQ(LoadF32(&b[vectors_at + 8]), 1.0f);

	struct Case
	{
		int32_t axis;
		float x, y, z;
		double dx, dz;
	};
	for (const Case& c : {Case{6, 1, 2, 3, 10, 30}, Case{1, 1, 2, 3, 10, 30}, Case{0, 3, 2, 1, 30, 10},
			 Case{3, 3, 2, 1, 30, 10}})
	{
		SetAxisSetup(path, c.axis);
		SdSceneReader* r = SdSceneOpen(path.c_str());
		ASSERT_NE(r, nullptr);
		SdCloseStream(r->file);
		ASSERT_EQ(SdSceneReadFrame(r, 0), 1);
		const SdObjectFrame& f = r->frames[0];
		EXPECT_EQ(f.vectors[SD_VECTOR_POSITION][0], c.x) << "axis setup " << c.axis;
		EXPECT_EQ(f.vectors[SD_VECTOR_POSITION][1], c.y);
		EXPECT_EQ(f.vectors[SD_VECTOR_POSITION][2], c.z);
		EXPECT_EQ(f.double_vectors[0][0], c.dx);
		EXPECT_EQ(f.double_vectors[0][2], c.dz);
		for (int k = 0; k < 12; ++k)
			EXPECT_EQ(f.transform[k], static_cast<float>(k)) << "the transform is not reordered";
		SdSceneFree(r);
	}
}

TEST(SdAxisSetup, Setup3ConvertsTheCameraMatrixOnReading)
{
	const std::string path = TempPath("axis3.sd");
	Scene s;
	s.camera = true;
	s.first = s.last = 4;
	ASSERT_TRUE(WriteScene(path, s));
	for (int32_t axis : {6, 3})
	{
		SetAxisSetup(path, axis);
		SdSceneReader* r = SdSceneOpen(path.c_str());
		ASSERT_NE(r, nullptr);
		ASSERT_EQ(SdSceneReadFrame(r, 4), 1);
		const SdCameraFrame& c = r->file->camera_frame;
		for (int m = 0; m < 16; ++m)
		{
			float expected = CameraValue(4, m);
			if (axis == 3 && m < 3)
				expected = -CameraValue(4, 8 + m); // row 0 = -(old row 2)
			else if (axis == 3 && m >= 8 && m < 11)
				expected = CameraValue(4, m - 8); // row 2 = old row 0
			EXPECT_EQ(c.matrix[m], expected) << "axis " << axis << " entry " << m;
		}
		for (int m = 0; m < 3; ++m)
		{
			EXPECT_EQ(c.position[m], CameraValue(4, 20 + m));
			EXPECT_EQ(c.target[m], CameraValue(4, 30 + m));
			EXPECT_EQ(c.up[m], CameraValue(4, 40 + m));
		}
		SdSceneFree(r);
	}
}

// --- finding objects by name

TEST(SdFindObject, FirstOfTwoNamesWhileTheObjectReaderPicksTheLast)
{
	const std::string path = TempPath("names.sd");
	Scene s;
	s.objects = {{"Cube", SD_OBJECT_RIGID, 3, 1, ""}, {"Dup", SD_OBJECT_DEFORMING, 4, 2, "a.png"},
		{"", SD_OBJECT_RIGID, 2, 0, ""}, {"Dup", SD_OBJECT_DEFORMING, 6, 1, ""}, {"Tail", SD_OBJECT_RIGID, 1, 0, ""}};
	s.camera = true;
	s.first = 10;
	s.last = 13;
	ASSERT_TRUE(WriteScene(path, s));

	SdFile* file = SdOpen(path.c_str(), false);
	ASSERT_NE(file, nullptr);
	EXPECT_EQ(SdFindObject(file, "Dup"), 1);
	EXPECT_EQ(SdFindObject(file, "Cube"), 0);
	EXPECT_EQ(SdFindObject(file, "Tail"), 4);
	EXPECT_EQ(SdFindObject(file, "dup"), -1) << "case-sensitive";
	EXPECT_EQ(SdFindObject(file, "Du"), -1);
	EXPECT_EQ(SdFindObject(file, ""), -1) << "empty names never match";
	EXPECT_EQ(SdFindObject(file, "Missing"), -1);
	SdClose(file);

	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	EXPECT_EQ(reader.selected_index, -1);
	EXPECT_EQ(reader.file, nullptr);
	reader.file = SdOpen(path.c_str(), false);
	ASSERT_NE(reader.file, nullptr);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Dup"), 1);
	SdCloseStream(reader.file);
	EXPECT_EQ(reader.selected_index, 3);
	ASSERT_EQ(reader.selected, &reader.infos[3]);
	EXPECT_EQ(reader.selected->vertex_count, 6);
	EXPECT_EQ(reader.selected->frame_record_size, 172 + 3 + 72);
	EXPECT_EQ(reader.infos[1].type, SD_OBJECT_DEFORMING);
	EXPECT_EQ(reader.infos[1].descriptor_size, 29 + 3 + 5);
	EXPECT_EQ(reader.infos[2].frame_record_size, 172);
	ASSERT_NE(reader.vertices, nullptr);

	// The picked record's offset: its frame's start + 4 + the records before it.
	SdSceneReader* scene = SdSceneOpen(path.c_str());
	ASSERT_NE(scene, nullptr);
	const int64_t before = 4 + (172 + 4) + (172 + 3 + 48) + 172;
	for (int64_t i = 0; i < 4; ++i)
	{
		EXPECT_EQ(SdObjectReaderFrameOffset(&reader, i), SdSceneFrameOffset(scene, i) + before);
		EXPECT_EQ(reader.offsets[i], SdSceneFrameOffset(scene, i) + before);
	}
	SdSceneFree(scene);

	ASSERT_EQ(SdObjectReaderReadFrame(&reader, 12, nullptr, nullptr), 1);
	ExpectObjectFrame(reader.file->object_frame, 12, 3, "Dup");
	for (int i = 0; i < 6; ++i)
		for (int c = 0; c < 3; ++c)
			EXPECT_EQ(reader.vertices[3 * i + c], FrameVertexValue(12, 3, i, c));
	EXPECT_EQ(reader.file->stream, nullptr);

	// Into a record and array of the caller's (the SD Anim object's next frame).
	SdObjectFrame next = {};
	float* next_vertices = nullptr;
	ASSERT_EQ(SdObjectReaderReadFrame(&reader, 13, &next, &next_vertices), 1);
	ExpectObjectFrame(next, 13, 3, "Dup");
	ASSERT_NE(next_vertices, nullptr);
	EXPECT_EQ(next_vertices[17], FrameVertexValue(13, 3, 5, 2));
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 9, &next, &next_vertices), 0);
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 14, &next, &next_vertices), 0);
	SdObjectFrameFreeBuffers(&next);
	CacheFree(next_vertices);

	SdObjectReaderClose(&reader);
	EXPECT_EQ(reader.file, nullptr);
	EXPECT_EQ(reader.infos, nullptr);
	EXPECT_EQ(reader.selected_index, -1);

	// A name no object has: the tables are there, nothing is picked, no frame has data.
	reader.file = SdOpen(path.c_str(), false);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Missing"), 1);
	EXPECT_EQ(reader.selected, nullptr);
	EXPECT_EQ(reader.vertices, nullptr);
	EXPECT_EQ(SdObjectReaderFrameOffset(&reader, 0), -1);
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 10, nullptr, nullptr), 0);
	SdObjectReaderClose(&reader);
	// Closing twice, or a reader that never had a file, is harmless.
	SdObjectReaderClose(&reader);
}

TEST(SdFindObject, FileWithoutObjects)
{
	const std::string path = TempPath("empty.sd");
	Scene s;
	ASSERT_TRUE(WriteScene(path, s));
	SdFile* file = SdOpen(path.c_str(), false);
	ASSERT_NE(file, nullptr);
	EXPECT_EQ(SdFindObject(file, "Box"), -1);
	SdClose(file);
}

// --- round trips

TEST(SdRoundTrip, EveryFieldThroughTheTransfersAndTheSceneReader)
{
	const std::string path = TempPath("mixed.sd");
	const Scene s = MixedScene();
	ASSERT_TRUE(WriteScene(path, s));

	// Sequentially, with the record transfers (as the SD Importer reads).
	SdFile* file = SdOpen(path.c_str(), false);
	ASSERT_NE(file, nullptr);
	EXPECT_EQ(file->frame_number, -1);
	ASSERT_EQ(SdReadHeader(file), 1);
	EXPECT_STREQ(file->title, "scene.c4d");
	EXPECT_EQ(file->version, 6.0f);
	EXPECT_EQ(file->has_camera, 1);
	EXPECT_EQ(file->axis_setup, 6);
	EXPECT_EQ(file->object_count, 3);
	EXPECT_EQ(file->first_frame, 5);
	EXPECT_EQ(file->last_frame, 9);
	for (int k = 0; k < 3; ++k)
	{
		const TestObject& o = s.objects[k];
		ASSERT_EQ(SdReadObjectDescriptor(file, &file->descriptor), 1);
		const SdObjectDescriptor& d = file->descriptor;
		EXPECT_EQ(d.type, o.type);
		EXPECT_EQ(d.host_vector[2], k + 0.3f);
		EXPECT_EQ(std::string(d.name), o.name);
		EXPECT_EQ(std::string(d.texture), o.texture);
		EXPECT_EQ(d.vertex_count, o.vertices);
		EXPECT_EQ(d.triangle_count, o.triangles);
		for (int i = 0; i < o.vertices; ++i)
		{
			ASSERT_EQ(SdReadVertex(file), 1);
			for (int c = 0; c < 3; ++c)
				EXPECT_EQ(file->vertex[c], RestValue(k, i, c));
		}
		for (int j = 0; j < o.triangles; ++j)
		{
			ASSERT_EQ(SdReadFace(file), 1);
			for (int c = 0; c < 3; ++c)
				EXPECT_EQ(file->face.corners[c], (j + c) % o.vertices);
			for (int c = 0; c < 9; ++c)
				EXPECT_EQ(file->face.uvw[c], UvwValue(k, j, c));
			EXPECT_EQ(file->face.edge_values[1], 1);
			EXPECT_EQ(file->face.face_value, 1);
		}
	}
	ASSERT_EQ(SdReadCameraDescriptor(file), 1);
	EXPECT_EQ(file->camera.fov, 0.75f);
	EXPECT_EQ(file->camera.near_clip, 0.0001f);
	EXPECT_EQ(file->camera.far_clip, 10000.0f);
	EXPECT_EQ(file->camera.up[1], 1.0f);
	for (int f = 5; f <= 9; ++f)
	{
		ASSERT_EQ(SdReadFrameNumber(file), 1);
		EXPECT_EQ(file->frame_number, f);
		for (int k = 0; k < 3; ++k)
		{
			ASSERT_EQ(SdReadObjectFrame(file, &file->object_frame), 1);
			ExpectObjectFrame(file->object_frame, f, k, s.objects[k].name);
			std::vector<float> v(3 * static_cast<size_t>(s.objects[k].vertices));
			if (s.objects[k].type == SD_OBJECT_DEFORMING)
			{
				ASSERT_EQ(SdReadVertices(file, v.data(), s.objects[k].vertices), 1);
				EXPECT_EQ(v[4], FrameVertexValue(f, k, 1, 1));
			}
		}
		ASSERT_EQ(SdReadCameraFrame(file), 1);
		ExpectCameraFrame(file->camera_frame, f);
	}
	EXPECT_EQ(SdReadFrameNumber(file), 0) << "nothing after the last frame";
	SdClose(file);

	// By computed offsets, frames in any order.
	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	SdCloseStream(r->file);
	EXPECT_EQ(r->frame_count, 5);
	EXPECT_EQ(r->offset_count, 5);
	for (int i = 0; i < 5; ++i)
		EXPECT_EQ(r->offsets[i], -1);
	for (int f : {9, 5, 7, 6, 8, 9})
	{
		ASSERT_EQ(SdSceneReadFrame(r, f), 1);
		EXPECT_EQ(r->valid, 1);
		EXPECT_EQ(r->file->frame_number, f);
		EXPECT_EQ(r->offsets[f - 5], SdSceneFrameOffset(r, f - 5));
		for (int k = 0; k < 3; ++k)
		{
			EXPECT_EQ(std::string(r->descriptors[k].name), s.objects[k].name);
			ExpectObjectFrame(r->frames[k], f, k, s.objects[k].name);
		}
		for (int i = 0; i < 5; ++i)
			for (int c = 0; c < 3; ++c)
				EXPECT_EQ(r->vertices[1][3 * i + c], FrameVertexValue(f, 1, i, c));
		EXPECT_EQ(r->vertices[0], nullptr);
		EXPECT_EQ(r->vertices[2], nullptr);
		ExpectCameraFrame(r->file->camera_frame, f);
	}
	SdSceneFree(r);
}

TEST(SdRoundTrip, FramesOutsideTheFileReadNothing)
{
	const std::string path = TempPath("range.sd");
	const Scene s = MixedScene();
	ASSERT_TRUE(WriteScene(path, s));
	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	SdCloseStream(r->file);
	ASSERT_EQ(SdSceneReadFrame(r, 7), 1);
	ASSERT_EQ(r->valid, 1);
	for (int32_t f : {4, 10, INT32_MIN, INT32_MAX, -1})
	{
		EXPECT_EQ(SdSceneReadFrame(r, f), 1) << f;
		EXPECT_EQ(r->valid, 0) << f;
		EXPECT_EQ(r->file->frame_number, 7) << "nothing read for " << f;
		ExpectObjectFrame(r->frames[0], 7, 0, "Box");
		EXPECT_EQ(r->file->stream, nullptr);
	}
	// A file that has gone away: the frame fails.
	std::remove(path.c_str());
	EXPECT_EQ(SdSceneReadFrame(r, 7), 0);
	EXPECT_EQ(r->valid, 0);
	SdSceneFree(r);
	EXPECT_EQ(SdSceneOpen(path.c_str()), nullptr);
	EXPECT_EQ(SdOpen(path.c_str(), false), nullptr);
	EXPECT_EQ(SdOpen("", false), nullptr);
	EXPECT_EQ(SdOpen(std::string(600, 'x').c_str(), true), nullptr);
}

TEST(SdRoundTrip, ObjectReaderOnAMissingFileSaysSo)
{
	const std::string path = TempPath("vanish.sd");
	ASSERT_TRUE(WriteScene(path, MixedScene()));
	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	reader.file = SdOpen(path.c_str(), false);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Flag"), 1);
	EXPECT_EQ(reader.selected_index, 1);
	std::remove(path.c_str());
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 5, nullptr, nullptr), -1);
	SdObjectReaderClose(&reader);
}

// The version gates: each older version leaves out its fields, in writing and in reading.
TEST(SdVersions, OlderVersionsLeaveOutTheirFields)
{
	struct Case
	{
		float version;
		size_t header, descriptor, face, camera, record, camera_frame;
	};
	const Case cases[] = {
		{6.0f, 83, 29 + 3, 64, 24, 175, 104},
		{5.0f, 83, 29 + 3, 64, 12, 175, 100},
		{4.0f, 75, 29 + 3, 64, 12, 168, 100},
		{3.0f, 75, 29 + 3, 64, 12, 96, 100},
		{2.0f, 75, 25 + 3, 28, 12, 96, 100},
		{1.0f, 74, 25 + 3, 28, 0, 96, 0},
	};
	for (const Case& c : cases)
	{
		const std::string path = TempPath("v.sd");
		Scene s;
		s.objects = {{"Box", SD_OBJECT_RIGID, 2, 1, ""}};
		s.camera = true;
		s.first = s.last = 0;
		s.version = c.version;
		ASSERT_TRUE(WriteScene(path, s));
		const size_t size = c.header + c.descriptor + 2 * 12 + c.face + c.camera + 4 + c.record + c.camera_frame;
		EXPECT_EQ(Slurp(path).size(), size) << "version " << c.version;

		SdFile* file = SdOpen(path.c_str(), false);
		ASSERT_NE(file, nullptr);
		ASSERT_EQ(SdReadHeader(file), 1);
		EXPECT_EQ(file->has_camera, c.version >= 2.0f ? 1 : 0);
		EXPECT_EQ(file->header_size, c.version >= 5.0f ? 83 + 32 + 24 + 64 + 24 : 0);
		ASSERT_EQ(SdReadObjectDescriptor(file, &file->descriptor), 1);
		EXPECT_STREQ(file->descriptor.name, "Box");
		EXPECT_EQ(file->descriptor.texture == nullptr, c.version < 3.0f);
		ASSERT_EQ(SdReadVertex(file), 1);
		ASSERT_EQ(SdReadVertex(file), 1);
		EXPECT_EQ(file->vertex[2], RestValue(0, 1, 2));
		ASSERT_EQ(SdReadFace(file), 1);
		EXPECT_EQ(file->face.corners[2], 0);
		EXPECT_EQ(file->face.uvw[8], c.version >= 3.0f ? UvwValue(0, 0, 8) : 0.0f);
		EXPECT_EQ(file->face.face_value, 1);
		if (file->has_camera)
		{
			ASSERT_EQ(SdReadCameraDescriptor(file), 1);
			EXPECT_EQ(file->camera.far_clip, 10000.0f);
			EXPECT_EQ(file->camera.up[1], c.version >= 6.0f ? 1.0f : 0.0f);
		}
		ASSERT_EQ(SdReadFrameNumber(file), 1);
		ASSERT_EQ(SdReadObjectFrame(file, &file->object_frame), 1);
		const SdObjectFrame& r = file->object_frame;
		EXPECT_EQ(r.name_length, c.version >= 5.0f ? 3 : 0);
		EXPECT_EQ(r.transform[11], TransformValue(0, 0, 11));
		EXPECT_EQ(r.vectors[3][0], VectorValue(0, 0, 3, 0));
		EXPECT_EQ(r.double_vectors[2][1], c.version >= 4.0f ? DoubleValue(0, 0, 2, 1) : 0.0);
		if (file->has_camera)
		{
			ASSERT_EQ(SdReadCameraFrame(file), 1);
			EXPECT_EQ(file->camera_frame.up[2], CameraValue(0, 42));
			EXPECT_EQ(file->camera_frame.roll, 0.0f);
		}
		EXPECT_EQ(SdReadFrameNumber(file), 0) << "version " << c.version << " read to the end exactly";
		SdClose(file);

		// Both frame readers locate the frame with this version's sizes.
		SdSceneReader* scene = SdSceneOpen(path.c_str());
		ASSERT_NE(scene, nullptr) << "version " << c.version;
		EXPECT_EQ(scene->descriptors[0].geometry_size, static_cast<int64_t>(2 * 12 + c.face));
		EXPECT_EQ(SdSceneReadFrame(scene, 0), 1);
		EXPECT_EQ(scene->valid, 1) << "version " << c.version;
		EXPECT_EQ(scene->frames[0].transform[11], TransformValue(0, 0, 11));
		SdSceneFree(scene);
		SdObjectReader object;
		SdObjectReaderInit(&object);
		object.file = SdOpen(path.c_str(), false);
		ASSERT_EQ(SdObjectReaderOpen(&object, "Box"), 1);
		EXPECT_EQ(SdObjectReaderReadFrame(&object, 0, nullptr, nullptr), 1) << "version " << c.version;
		EXPECT_EQ(object.file->object_frame.transform[11], TransformValue(0, 0, 11));
		SdObjectReaderClose(&object);
	}
}

TEST(SdWrite, FailedWritesAreReportedByClose)
{
	SdFile* file = SdOpen("/dev/full", true);
	if (!file)
		GTEST_SKIP() << "no /dev/full";
	file->version = SD_VERSION;
	SdWriteHeader(file);
	for (int i = 0; i < 10000; ++i)
		SdWriteVertex(file);
	EXPECT_EQ(SdClose(file), 0);
}

// --- 64-bit offsets

TEST(SdOffsets, FramesBeyondTwoGibibytesAreAddressed)
{
	// One deforming object of 10,000 vertices: 120,181 bytes a frame, so frame 20,000 starts past 2 GiB.
	const std::string path = TempPath("big.sd");
	Scene s;
	s.objects = {{"Sheet", SD_OBJECT_DEFORMING, 10000, 0, ""}};
	s.first = 0;
	s.last = 1;
	ASSERT_TRUE(WriteScene(path, s));
	const int64_t first = 83 + 29 + 5 + 120000;
	const int64_t frame = 4 + 172 + 5 + 120000;
	const int64_t last = 20000;
	const int64_t at = first + last * frame;
	ASSERT_GT(at, int64_t(1) << 31);

	// Make it a file of 20,001 frames whose last frame is a copy of frame 1, leaving a hole between.
	std::vector<unsigned char> b = Slurp(path);
	ASSERT_EQ(static_cast<int64_t>(b.size()), first + 2 * frame);
	StoreI32(&b[79], static_cast<int32_t>(last));
	std::vector<unsigned char> tail(b.begin() + first + frame, b.end());
	StoreI32(&tail[0], static_cast<int32_t>(last));
	b.resize(static_cast<size_t>(first + frame));
	Spit(path, b);
	FILE* f = std::fopen(path.c_str(), "r+b");
	ASSERT_NE(f, nullptr);
	const bool placed = ftruncate(fileno(f), at + frame) == 0 && fseeko(f, at, SEEK_SET) == 0 &&
		std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
	std::fclose(f);
	if (!placed)
	{
		std::remove(path.c_str());
		GTEST_SKIP() << "cannot make a sparse file of " << at + frame << " bytes here";
	}

	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	SdCloseStream(r->file);
	EXPECT_EQ(r->frame_count, last + 1);
	EXPECT_EQ(SdSceneFrameOffset(r, last), at);
	ASSERT_EQ(SdSceneReadFrame(r, static_cast<int32_t>(last)), 1);
	EXPECT_EQ(r->valid, 1);
	EXPECT_EQ(r->file->frame_number, last);
	ExpectObjectFrame(r->frames[0], 1, 0, "Sheet");
	EXPECT_EQ(r->vertices[0][3 * 9999 + 2], FrameVertexValue(1, 0, 9999, 2));
	SdSceneFree(r);

	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	reader.file = SdOpen(path.c_str(), false);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Sheet"), 1);
	EXPECT_EQ(SdObjectReaderFrameOffset(&reader, last), at + 4);
	ASSERT_EQ(SdObjectReaderReadFrame(&reader, static_cast<int32_t>(last), nullptr, nullptr), 1);
	EXPECT_EQ(reader.vertices[3 * 9999 + 2], FrameVertexValue(1, 0, 9999, 2));
	SdObjectReaderClose(&reader);
	std::remove(path.c_str());
}

// --- damaged and hostile files

TEST(SdDamage, EveryPrefixOpensOrFailsAndReadsOnlyWholeFrames)
{
	const std::string path = TempPath("whole.sd");
	const std::string cut = TempPath("cut.sd");
	const Scene s = MixedScene();
	ASSERT_TRUE(WriteScene(path, s));
	const std::vector<unsigned char> whole = Slurp(path);
	SdSceneReader* full = SdSceneOpen(path.c_str());
	ASSERT_NE(full, nullptr);
	const int64_t first = full->first_frame_offset;
	const int64_t frame = full->frame_bytes;
	const int64_t geometry_end = first - 24; // the camera descriptor is not needed to open
	SdSceneFree(full);

	const int64_t baseline = CacheLiveAllocations();
	for (size_t n = 0; n <= whole.size(); ++n)
	{
		Spit(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + n));
		const int64_t size = static_cast<int64_t>(n);
		SdSceneReader* r = SdSceneOpen(cut.c_str());
		EXPECT_EQ(r != nullptr, size >= geometry_end) << n << " bytes";
		SdObjectReader reader;
		SdObjectReaderInit(&reader);
		reader.file = SdOpen(cut.c_str(), false);
		ASSERT_NE(reader.file, nullptr);
		EXPECT_EQ(SdObjectReaderOpen(&reader, "Flag"), size >= geometry_end ? 1 : 0) << n << " bytes";
		SdFile* file = SdOpen(cut.c_str(), false);
		// Reading a descriptor checks that its geometry block is in the file.
		EXPECT_EQ(SdFindObject(file, "Ground plane"), size >= geometry_end ? 2 : -1) << n;
		SdClose(file);
		for (int32_t f = 5; r && f <= 9; ++f)
		{
			const bool whole_frame = first + (f - 5 + 1) * frame <= size;
			EXPECT_EQ(SdSceneReadFrame(r, f), whole_frame ? 1 : 0) << n << " bytes, frame " << f;
			EXPECT_EQ(r->valid, whole_frame ? 1 : 0);
			if (whole_frame)
			{
				ExpectObjectFrame(r->frames[2], f, 2, "Ground plane");
			}
			const int64_t record_end = first + (f - 5) * frame + 4 + (172 + 3) + (172 + 4 + 60);
			EXPECT_EQ(SdObjectReaderReadFrame(&reader, f, nullptr, nullptr), record_end <= size ? 1 : 0) << n << " bytes";
		}
		SdObjectReaderClose(&reader);
		SdSceneFree(r);
	}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

// A hand-built version-6 file: header, then whatever the case appends.
std::vector<unsigned char> Header(int32_t n, int32_t first, int32_t last, uint8_t camera = 0)
{
	std::vector<unsigned char> b(83, 0);
	StoreF32(&b[30], 6.0f);
	b[42] = camera;
	StoreI32(&b[43], 6);
	StoreI32(&b[71], n);
	StoreI32(&b[75], first);
	StoreI32(&b[79], last);
	return b;
}

void PutI32(std::vector<unsigned char>& b, int32_t v)
{
	b.resize(b.size() + 4);
	StoreI32(&b[b.size() - 4], v);
}

// Descriptor with the given lengths; the name and texture bytes follow only when they are short.
void PutDescriptor(std::vector<unsigned char>& b, uint8_t type, int32_t name_length, int32_t texture_length, int32_t v,
	int32_t t)
{
	b.push_back(type);
	b.resize(b.size() + 12);
	PutI32(b, name_length);
	if (name_length > 0 && name_length < 64)
		b.resize(b.size() + static_cast<size_t>(name_length), 'n');
	PutI32(b, texture_length);
	if (texture_length > 0 && texture_length < 64)
		b.resize(b.size() + static_cast<size_t>(texture_length), 't');
	PutI32(b, v);
	PutI32(b, t);
}

TEST(SdDamage, CountsAndLengthsFromTheFileAreCheckedBeforeAllocating)
{
	struct Case
	{
		const char* what;
		std::vector<unsigned char> bytes;
		bool opens;
	};
	std::vector<Case> cases;
	auto one = [](int32_t name, int32_t texture, int32_t v, int32_t t, size_t pad) {
		std::vector<unsigned char> b = Header(1, 0, 0);
		PutDescriptor(b, 1, name, texture, v, t);
		b.resize(b.size() + pad);
		return b;
	};
	std::vector<unsigned char> sane = one(3, 2, 2, 1, 24 + 64);
	PutI32(sane, 0); // frame number
	PutI32(sane, 3); // the record's name length, as its descriptor's
	sane.resize(sane.size() + 3 + 168 + 24);
	cases.push_back({"sane", sane, true});
	cases.push_back({"N huge", Header(0x7FFFFFFF, 0, 0), false});
	cases.push_back({"N negative", Header(-1, 0, 0), false});
	std::vector<unsigned char> n_two = Header(2, 0, 0);
	PutDescriptor(n_two, 0, 1, 0, 0, 0);
	cases.push_back({"N beyond the descriptors present", n_two, false});
	cases.push_back({"name length huge", one(0x7FFFFFF0, 0, 0, 0, 1000), false});
	cases.push_back({"name length negative", one(-5, 0, 0, 0, 1000), false});
	cases.push_back({"texture length huge", one(3, 0x7FFFFFF0, 0, 0, 1000), false});
	cases.push_back({"texture length negative", one(3, INT32_MIN, 0, 0, 1000), false});
	cases.push_back({"V huge", one(3, 0, 0x7FFFFFFF, 0, 1000), false});
	cases.push_back({"V negative", one(3, 0, -1, 0, 1000), false});
	cases.push_back({"T huge", one(3, 0, 1, 0x7FFFFFFF, 1000), false});
	cases.push_back({"T negative", one(3, 0, 1, -2, 1000), false});
	cases.push_back({"geometry one byte short", one(3, 0, 2, 1, 24 + 63), false});
	cases.push_back({"geometry exactly there", one(3, 0, 2, 1, 24 + 64), true});
	std::vector<unsigned char> no_frames = Header(0, 5, 4);
	cases.push_back({"last before first", no_frames, true});
	std::vector<unsigned char> wide = Header(0, INT32_MIN, INT32_MAX, 1);
	wide.resize(wide.size() + 24 + 3 * 108);
	cases.push_back({"frame range of 2^32 frames", wide, true});

	const std::string path = TempPath("hand.sd");
	const int64_t baseline = CacheLiveAllocations();
	for (const Case& c : cases)
	{
		Spit(path, c.bytes);
		SdSceneReader* r = SdSceneOpen(path.c_str());
		EXPECT_EQ(r != nullptr, c.opens) << c.what;
		if (r)
		{
			// The offset table never has more entries than frames in the file.
			const int64_t in_file = (static_cast<int64_t>(c.bytes.size()) - r->first_frame_offset) / r->frame_bytes;
			EXPECT_LE(r->offset_count, in_file > 0 ? in_file : 0) << c.what;
			for (int32_t f : {INT32_MIN, -1, 0, 1, 2, 3, 4, 5, INT32_MAX})
			{
				SdSceneReadFrame(r, f);
				const int64_t i = static_cast<int64_t>(f) - r->file->first_frame;
				const bool readable = i >= 0 && i < r->frame_count && i < in_file;
				EXPECT_EQ(r->valid, readable ? 1 : 0) << c.what << ", frame " << f;
			}
		}
		SdSceneFree(r);

		SdObjectReader reader;
		SdObjectReaderInit(&reader);
		reader.file = SdOpen(path.c_str(), false);
		EXPECT_EQ(SdObjectReaderOpen(&reader, "nnn"), c.opens ? 1 : 0) << c.what;
		for (int32_t f : {INT32_MIN, 0, 1, INT32_MAX})
			SdObjectReaderReadFrame(&reader, f, nullptr, nullptr);
		SdObjectReaderClose(&reader);

		SdFile* file = SdOpen(path.c_str(), false);
		SdFindObject(file, "nnn");
		SdClose(file);
	}
	EXPECT_EQ(CacheLiveAllocations(), baseline);
}

TEST(SdDamage, FrameRecordWhoseNameDisagreesWithItsDescriptorFailsTheFrame)
{
	const std::string path = TempPath("rename.sd");
	Scene s;
	s.objects = {{"Box", SD_OBJECT_DEFORMING, 2, 0, ""}, {"Tail", SD_OBJECT_RIGID, 1, 0, ""}};
	s.first = 0;
	s.last = 1;
	ASSERT_TRUE(WriteScene(path, s));
	std::vector<unsigned char> b = Slurp(path);
	SdSceneReader* r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	const int64_t record = SdSceneFrameOffset(r, 1) + 4;
	SdSceneFree(r);
	StoreI32(&b[static_cast<size_t>(record)], 2); // "Bo", and everything after it shifted by one byte
	Spit(path, b);

	r = SdSceneOpen(path.c_str());
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(SdSceneReadFrame(r, 0), 1);
	EXPECT_EQ(r->valid, 1);
	EXPECT_EQ(SdSceneReadFrame(r, 1), 0);
	EXPECT_EQ(r->valid, 0);
	SdSceneFree(r);

	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	reader.file = SdOpen(path.c_str(), false);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Box"), 1);
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 0, nullptr, nullptr), 1);
	EXPECT_EQ(SdObjectReaderReadFrame(&reader, 1, nullptr, nullptr), 0);
	SdObjectReaderClose(&reader);
}

// --- memory

TEST(SdMemory, AllocationFailureAfterNLeaksNothing)
{
	const std::string path = TempPath("alloc.sd");
	const std::string out = TempPath("alloc_out.sd");
	const Scene s = MixedScene();
	ASSERT_TRUE(WriteScene(path, s));
	const int64_t baseline = CacheLiveAllocations();
	bool all_done = false;
	for (int64_t n = 0; !all_done; ++n)
	{
		ASSERT_LT(n, 200);
		CacheSetAllocFailAfter(n);
		SdSceneReader* r = SdSceneOpen(path.c_str());
		bool scene_ok = r && SdSceneReadFrame(r, 5) == 1 && SdSceneReadFrame(r, 9) == 1;
		SdSceneFree(r);

		CacheSetAllocFailAfter(n);
		SdObjectReader reader;
		SdObjectReaderInit(&reader);
		reader.file = SdOpen(path.c_str(), false);
		bool object_ok = reader.file && SdObjectReaderOpen(&reader, "Flag") == 1 &&
			SdObjectReaderReadFrame(&reader, 6, nullptr, nullptr) == 1;
		SdObjectReaderClose(&reader);

		CacheSetAllocFailAfter(n);
		SdFile* file = SdOpen(path.c_str(), false);
		bool find_ok = file && SdFindObject(file, "Ground plane") == 2;
		SdClose(file);

		CacheSetAllocFailAfter(n);
		bool write_ok = WriteScene(out, s);
		CacheSetAllocFailAfter(-1);
		EXPECT_EQ(CacheLiveAllocations(), baseline) << "failing after " << n;
		all_done = scene_ok && object_ok && find_ok && write_ok;
	}
}

} // namespace
