// sample_md.cpp - the rippling surface written as an .md sequence with named channels.
#include "sample_md.h"

#include "mesh_md.h"
#include "sample_mesh.h"
#include "sample_surface.h"

#include <cmath>
#include <vector>

namespace
{

const MdWriteChannel kChannels[] = {
	{"position", MD_POSITION, MESH_MD_VALUE_VECTOR},
	{"velocity", MD_VELOCITY, MESH_MD_VALUE_VECTOR},
	{"normal", MD_NORMAL, MESH_MD_VALUE_VECTOR},
	{"texture", MD_TEXTURE, MESH_MD_VALUE_VECTOR},
	{"age", MD_AGE, MESH_MD_VALUE_SCALAR},
	{"density", MD_DENSITY, MESH_MD_VALUE_SCALAR},
	{"pressure", MD_PRESSURE, MESH_MD_VALUE_SCALAR},
	{"vorticity", MD_VORTICITY, MESH_MD_VALUE_VECTOR},
};

// Phase speed of the ripple (angular frequency over wave number), metres per second.
const float kWaveSpeed = 4.0f / 9.0f;

void FillVertex(MdVertex& m, const SurfacePoint& p, float time_seconds)
{
	for (int c = 0; c < 3; ++c)
	{
		m.position[c] = p.position[c];
		m.velocity[c] = p.velocity[c];
		m.normal[c] = p.normal[c];
	}
	// (U, V, W) in memory order; the file holds U, W, V
	m.texture[0] = p.u;
	m.texture[1] = p.v;
	m.texture[2] = 0.0f;
	// how long the ripple has been running at this distance from its centre
	m.age = std::fmax(0.0f, time_seconds - p.radius / kWaveSpeed);
	const float height = p.position[1];
	m.density = 998.0f + 40.0f * std::fabs(p.velocity[1]);
	m.pressure = 101325.0f - 998.0f * 9.81f * height;
	// a swirl about the horizontal axis along the slope, growing with the vertical speed
	m.vorticity[0] = 10.0f * p.velocity[1] * p.normal[2];
	m.vorticity[1] = 0.0f;
	m.vorticity[2] = -10.0f * p.velocity[1] * p.normal[0];
}

} // namespace

bool WriteSampleMd(const char* dir, int start, int end, std::string& error)
{
	if (start < 0 || end < start || end > 99999)
	{
		error = "frames must run from 0 to 99999, first not after last";
		return false;
	}
	std::vector<MdVertex> vertices(static_cast<size_t>(SampleSurfaceVertexCount()));
	std::vector<MeshFace> faces(static_cast<size_t>(SampleSurfaceFaceCount()));
	for (int32_t f = 0; f < SampleSurfaceFaceCount(); ++f)
		faces[static_cast<size_t>(f)] = SampleSurfaceFace(f);
	for (int frame = start; frame <= end; ++frame)
	{
		const float time_seconds = static_cast<float>(frame) / kSampleSurfaceFps;
		for (int32_t k = 0; k < SampleSurfaceVertexCount(); ++k)
		{
			vertices[static_cast<size_t>(k)] = MdVertex{};
			FillVertex(vertices[static_cast<size_t>(k)], SampleSurfacePoint(k, frame), time_seconds);
		}
		const std::string path = SampleMeshPath(dir, frame, ".md");
		if (!MdWrite(path.c_str(), "surface", 1, kChannels, static_cast<int32_t>(sizeof kChannels / sizeof kChannels[0]),
				vertices.data(), SampleSurfaceVertexCount(), faces.data(), SampleSurfaceFaceCount()))
		{
			error = "cannot write '" + path + "'";
			return false;
		}
	}
	return true;
}
