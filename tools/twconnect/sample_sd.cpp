// sample_sd.cpp - a small animated SD scene: a turning cube, a waving flag and an orbiting camera.
#include "sample_sd.h"

#include "cli.h"
#include "sd_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

const float kFramesPerSecond = 25.0f;
const float kPi = 3.14159265f;

// The flag: kColumns x kRows vertices, 1.6 m by 0.8 m, hanging from its pole at x = 0.5 m.
const int kColumns = 9;
const int kRows = 5;
const float kFlagWidth = 1.6f;
const float kFlagHeight = 0.8f;
const float kFlagPosition[3] = {0.5f, 1.0f, 0.0f};

struct Vec3
{
	float x, y, z;
};

Vec3 Sub(Vec3 a, Vec3 b)
{
	return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 Cross(Vec3 a, Vec3 b)
{
	return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 Normalize(Vec3 a)
{
	const float n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
	return n > 0.0f ? Vec3{a.x / n, a.y / n, a.z / n} : Vec3{0.0f, 0.0f, 1.0f};
}

// Unit cube around the origin: corner i has x = bit 0, y = bit 1, z = bit 2 (0 = -0.5, 1 = +0.5).
void CubeCorner(int i, float* p)
{
	p[0] = (i & 1) ? 0.5f : -0.5f;
	p[1] = (i & 2) ? 0.5f : -0.5f;
	p[2] = (i & 4) ? 0.5f : -0.5f;
}

// The six sides as quads of corner indices, each wound the same way seen from outside.
const int kCubeQuads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};

void FlagRest(int i, float* p)
{
	const float u = static_cast<float>(i % kColumns) / (kColumns - 1);
	const float v = static_cast<float>(i / kColumns) / (kRows - 1);
	p[0] = u * kFlagWidth;
	p[1] = v * kFlagHeight;
	p[2] = 0.0f;
}

void Describe(SdObjectDescriptor* d, int k, const char* flag_texture)
{
	d->type = k == 0 ? SD_OBJECT_RIGID : SD_OBJECT_DEFORMING;
	d->host_vector[0] = d->host_vector[1] = d->host_vector[2] = 0.0f;
	SdDescriptorSetName(d, k == 0 ? "Box" : "Flag");
	SdDescriptorSetTexture(d, k == 0 ? "" : flag_texture);
	d->vertex_count = k == 0 ? 8 : kColumns * kRows;
	d->triangle_count = k == 0 ? 12 : 2 * (kColumns - 1) * (kRows - 1);
	SdDescriptorSetSizes(d);
}

// Sets one face: corners a, b, c with their texture coordinates (u, 1 - v, 0).
void SetFace(SdFace* f, const int corners[3], const float uv[3][2])
{
	for (int c = 0; c < 3; ++c)
	{
		f->corners[c] = corners[c];
		f->uvw[3 * c + 0] = uv[c][0];
		f->uvw[3 * c + 1] = 1.0f - uv[c][1];
		f->uvw[3 * c + 2] = 0.0f;
		f->edge_values[c] = 1;
	}
	f->face_value = 1;
}

bool WriteGeometry(SdFile* file, int k)
{
	bool ok = true;
	if (k == 0)
	{
		for (int i = 0; ok && i < 8; ++i)
		{
			CubeCorner(i, file->vertex);
			ok = SdWriteVertex(file);
		}
		const float quad_uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
		for (const auto& q : kCubeQuads)
		{
			// A quad (a, b, c, d) as the triangles (a, b, c) and (a, c, d), as the exporter splits it.
			const int first[3] = {q[0], q[1], q[2]};
			const int second[3] = {q[0], q[2], q[3]};
			const float first_uv[3][2] = {{quad_uv[0][0], quad_uv[0][1]}, {quad_uv[1][0], quad_uv[1][1]},
				{quad_uv[2][0], quad_uv[2][1]}};
			const float second_uv[3][2] = {{quad_uv[0][0], quad_uv[0][1]}, {quad_uv[2][0], quad_uv[2][1]},
				{quad_uv[3][0], quad_uv[3][1]}};
			SetFace(&file->face, first, first_uv);
			ok = ok && SdWriteFace(file);
			SetFace(&file->face, second, second_uv);
			ok = ok && SdWriteFace(file);
		}
		return ok;
	}
	for (int i = 0; ok && i < kColumns * kRows; ++i)
	{
		FlagRest(i, file->vertex);
		ok = SdWriteVertex(file);
	}
	for (int row = 0; row + 1 < kRows; ++row)
		for (int column = 0; column + 1 < kColumns; ++column)
		{
			const int a = row * kColumns + column;
			const int b = a + 1;
			const int c = a + kColumns + 1;
			const int d = a + kColumns;
			float uv[4][2];
			const int quad[4] = {a, b, c, d};
			for (int n = 0; n < 4; ++n)
			{
				uv[n][0] = static_cast<float>(quad[n] % kColumns) / (kColumns - 1);
				uv[n][1] = static_cast<float>(quad[n] / kColumns) / (kRows - 1);
			}
			const int first[3] = {a, b, c};
			const int second[3] = {a, c, d};
			const float first_uv[3][2] = {{uv[0][0], uv[0][1]}, {uv[1][0], uv[1][1]}, {uv[2][0], uv[2][1]}};
			const float second_uv[3][2] = {{uv[0][0], uv[0][1]}, {uv[2][0], uv[2][1]}, {uv[3][0], uv[3][1]}};
			SetFace(&file->face, first, first_uv);
			ok = ok && SdWriteFace(file);
			SetFace(&file->face, second, second_uv);
			ok = ok && SdWriteFace(file);
		}
	return ok;
}

// The camera at time t: orbiting the scene at 6 m, 2 m up, looking at (0, 0.75, 0).
void CameraAxes(float t, Vec3* x, Vec3* y, Vec3* z, Vec3* p)
{
	const float angle = 0.25f * t;
	*p = {6.0f * std::sin(angle), 2.0f, -6.0f * std::cos(angle)};
	*z = Normalize(Sub(Vec3{0.0f, 0.75f, 0.0f}, *p));
	*x = Normalize(Cross(Vec3{0.0f, 1.0f, 0.0f}, *z));
	*y = Cross(*z, *x);
}

bool WriteFrame(SdFile* file, int frame, const char* flag_texture)
{
	const float t = static_cast<float>(frame) / kFramesPerSecond;
	file->frame_number = frame;
	bool ok = SdWriteFrameNumber(file);

	// Box: turns about its Y axis at 45 degrees a second and bounces on the ground.
	Describe(&file->descriptor, 0, flag_texture);
	SdObjectFrame& r = file->object_frame;
	std::memset(&r.vectors, 0, sizeof(r.vectors));
	std::memset(&r.double_vectors, 0, sizeof(r.double_vectors));
	const float heading = 0.25f * kPi * t;
	const float c = std::cos(heading), s = std::sin(heading);
	const float height = 0.5f + 0.5f * std::fabs(std::sin(kPi * t));
	const float box[12] = {c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c, -1.5f, height, 0.0f};
	std::memcpy(r.transform, box, sizeof(box));
	r.vectors[SD_VECTOR_POSITION][0] = box[9];
	r.vectors[SD_VECTOR_POSITION][1] = box[10];
	r.vectors[SD_VECTOR_POSITION][2] = box[11];
	r.vectors[SD_VECTOR_ROTATION][0] = heading;
	r.vectors[SD_VECTOR_SCALE][0] = r.vectors[SD_VECTOR_SCALE][1] = r.vectors[SD_VECTOR_SCALE][2] = 1.0f;
	ok = ok && SdWriteObjectFrame(file);

	// Flag: unmoved transform, every vertex (global positions) rippling away from the pole.
	Describe(&file->descriptor, 1, flag_texture);
	const float flag[12] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, kFlagPosition[0], kFlagPosition[1],
		kFlagPosition[2]};
	std::memcpy(r.transform, flag, sizeof(flag));
	std::memset(&r.vectors, 0, sizeof(r.vectors));
	std::memcpy(r.vectors[SD_VECTOR_POSITION], kFlagPosition, sizeof(kFlagPosition));
	r.vectors[SD_VECTOR_SCALE][0] = r.vectors[SD_VECTOR_SCALE][1] = r.vectors[SD_VECTOR_SCALE][2] = 1.0f;
	ok = ok && SdWriteObjectFrame(file);
	for (int i = 0; ok && i < kColumns * kRows; ++i)
	{
		float p[3];
		FlagRest(i, p);
		const float u = p[0] / kFlagWidth;
		file->vertex[0] = kFlagPosition[0] + p[0];
		file->vertex[1] = kFlagPosition[1] + p[1] - 0.05f * u * u;
		file->vertex[2] = kFlagPosition[2] + 0.12f * u * std::sin(5.0f * u - 4.0f * t);
		ok = SdWriteVertex(file);
	}

	// Camera: the matrix rows (-X, px), (Y, py), (-Z, pz), (0, 0, 0, 1).
	Vec3 x, y, z, pos;
	CameraAxes(t, &x, &y, &z, &pos);
	SdCameraFrame& cam = file->camera_frame;
	const float matrix[16] = {-x.x, -x.y, -x.z, pos.x, y.x, y.y, y.z, pos.y, -z.x, -z.y, -z.z, pos.z, 0, 0, 0, 1};
	std::memcpy(cam.matrix, matrix, sizeof(matrix));
	cam.position[0] = pos.x;
	cam.position[1] = pos.y;
	cam.position[2] = pos.z;
	cam.target[0] = pos.x + z.x;
	cam.target[1] = pos.y + z.y;
	cam.target[2] = pos.z + z.z;
	cam.up[0] = y.x;
	cam.up[1] = y.y;
	cam.up[2] = y.z;
	cam.roll = 0.0f;
	return ok && SdWriteCameraFrame(file);
}

} // namespace

bool WriteSampleSd(const char* path, int start, int end, const char* flag_texture, std::string& error)
{
	if (end < start || static_cast<long>(end) - start >= 100000)
	{
		error = "need start <= end and at most 100000 frames";
		return false;
	}
	if (!flag_texture)
		flag_texture = "";
	if (std::strlen(flag_texture) > 255)
	{
		error = "the texture path is longer than 255 characters";
		return false;
	}
	SdFile* file = SdOpen(path, true);
	if (!file)
	{
		error = std::string("cannot create '") + path + "': " + std::strerror(errno);
		return false;
	}
	SdObjectDescriptor descriptors[2] = {};
	Describe(&descriptors[0], 0, flag_texture);
	Describe(&descriptors[1], 1, flag_texture);
	SdSetTitle(file, "twconnect sample");
	file->version = SD_VERSION;
	file->header_size = static_cast<int32_t>(SdFirstFrameOffset(descriptors, 2, true));
	file->frame_size = static_cast<int32_t>(SdFrameBytes(descriptors, 2, true));
	SdDescriptorFreeBuffers(&descriptors[0]);
	SdDescriptorFreeBuffers(&descriptors[1]);
	file->has_camera = 1;
	file->axis_setup = SD_AXIS_SETUP;
	file->object_count = 2;
	file->first_frame = start;
	file->last_frame = end;

	bool ok = SdWriteHeader(file);
	for (int k = 0; ok && k < 2; ++k)
	{
		Describe(&file->descriptor, k, flag_texture);
		ok = SdWriteObjectDescriptor(file) && WriteGeometry(file, k);
	}
	// The lens: a 36 mm aperture at 36 mm focal length on a 16:9 picture, as the exporter computes it.
	Vec3 x, y, z, pos;
	CameraAxes(static_cast<float>(start) / kFramesPerSecond, &x, &y, &z, &pos);
	file->camera.fov = 2.0f * std::atan((36.0f / (1280.0f / 720.0f)) / (2.0f * 36.0f));
	file->camera.near_clip = 0.0001f;
	file->camera.far_clip = 10000.0f;
	file->camera.up[0] = y.x;
	file->camera.up[1] = y.y;
	file->camera.up[2] = y.z;
	ok = ok && SdWriteCameraDescriptor(file);
	for (int frame = start; ok && frame <= end; ++frame)
		ok = WriteFrame(file, frame, flag_texture);
	if (SdClose(file) != 1)
		ok = false;
	if (!ok)
		error = std::string("cannot write '") + path + "': write failed";
	return ok;
}

namespace
{

struct SdOptions
{
	std::string file, texture;
	long long start = 0, end = 24;
};

int SampleSd(const SdOptions& o)
{
	if (o.end < o.start)
		return CliBadArgument("sample sd: --end %lld is before --start %lld", o.end, o.start);
	std::string error;
	if (!WriteSampleSd(o.file.c_str(), static_cast<int>(o.start), static_cast<int>(o.end), o.texture.c_str(), error))
		return CliError("sample sd: %s", error.c_str());
	std::printf("wrote frames %lld .. %lld of an SD scene (Box, Flag and a camera) to %s\n", o.start, o.end,
		o.file.c_str());
	return 0;
}

} // namespace

CommandRun SampleSdCommand(CLI::App& app)
{
	auto o = std::make_shared<SdOptions>();
	app.add_option("FILE", o->file, "the SD file to write")->required()->check(NonEmpty());
	app.add_option("--start", o->start, "first frame")->transform(Integer(-9999999, 9999999));
	app.add_option("--end", o->end, "last frame")->transform(Integer(-9999999, 9999999));
	app.add_option("--texture", o->texture, "texture path stored for the flag (default none)");
	return [o] { return SampleSd(*o); };
}
