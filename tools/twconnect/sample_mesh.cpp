// sample_mesh.cpp - a rippling surface written as a mesh .bin sequence.
#include "sample_mesh.h"

#include "mesh_bin.h"

#include <cmath>
#include <cstdio>

// Grid of kSide x kSide vertices, one metre across.
static const int kSide = 41;
static const float kFramesPerSecond = 25.0f;

std::string SampleMeshPath(const char* dir, int frame)
{
	char name[64];
	std::snprintf(name, sizeof(name), "%s%05d.bin", kSampleMeshBaseName, frame);
	std::string path = dir ? dir : ".";
	if (!path.empty() && path.back() != '/')
		path += '/';
	return path + name;
}

// Height of the surface and its rate of change at (x, z) and time t: a travelling ripple.
static void Ripple(float x, float z, float t, float* height, float* rate)
{
	const float k = 9.0f;
	const float omega = 4.0f;
	const float r = std::sqrt((x - 0.5f) * (x - 0.5f) + (z - 0.5f) * (z - 0.5f));
	const float amplitude = 0.05f / (1.0f + 4.0f * r);
	*height = amplitude * std::sin(k * r - omega * t);
	*rate = -omega * amplitude * std::cos(k * r - omega * t);
}

static bool WriteFrame(const std::string& path, int frame, int weight_count)
{
	MeshBinFile* file = MeshBinCreate(path.c_str());
	const int32_t faces = 2 * (kSide - 1) * (kSide - 1);
	if (!file || !MeshBinAllocate(file, kSide * kSide, faces, weight_count, true, true))
	{
		MeshBinFree(file);
		return false;
	}
	const float t = static_cast<float>(frame) / kFramesPerSecond;
	for (int j = 0; j < kSide; ++j)
		for (int i = 0; i < kSide; ++i)
		{
			MeshVertex& v = file->vertices[j * kSide + i];
			const float u = static_cast<float>(i) / (kSide - 1);
			const float w = static_cast<float>(j) / (kSide - 1);
			float height, rate;
			Ripple(u, w, t, &height, &rate);
			v.position[0] = u - 0.5f;
			v.position[1] = height;
			v.position[2] = w - 0.5f;
			v.velocity[1] = rate;
			v.texture[0] = u; // U
			v.texture[1] = 1.0f - w; // 1 - V
			v.texture[2] = 0.0f; // W
			// The stored weights leave the last one, derived on reading, at least 0.
			v.weights[0] = 0.5f * u;
			if (weight_count == 3)
				v.weights[1] = 0.5f * w;
		}
	int32_t f = 0;
	for (int j = 0; j + 1 < kSide; ++j)
		for (int i = 0; i + 1 < kSide; ++i)
		{
			const uint32_t a = static_cast<uint32_t>(j * kSide + i);
			const uint32_t b = a + 1;
			const uint32_t c = a + kSide;
			const uint32_t d = c + 1;
			file->faces[f++] = MeshFace{{a, c, b}};
			file->faces[f++] = MeshFace{{b, c, d}};
		}
	const bool ok = MeshBinWrite(file) == 1;
	MeshBinFree(file);
	return ok;
}

bool WriteSampleMesh(const char* dir, int start, int end, int weight_count, std::string& error)
{
	if (start < 0 || end < start || end > 99999)
	{
		error = "frames must run from 0 to 99999, first not after last";
		return false;
	}
	if (weight_count != 2 && weight_count != 3)
	{
		error = "the sample carries 2 or 3 weights";
		return false;
	}
	for (int frame = start; frame <= end; ++frame)
	{
		const std::string path = SampleMeshPath(dir, frame);
		if (!WriteFrame(path, frame, weight_count))
		{
			error = "cannot write '" + path + "'";
			return false;
		}
	}
	return true;
}
