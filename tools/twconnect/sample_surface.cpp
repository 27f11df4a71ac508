// sample_surface.cpp - a travelling ripple over a square grid, sampled per vertex.
#include "sample_surface.h"

#include <cmath>

SurfacePoint SampleSurfacePoint(int32_t k, int frame)
{
	const float k_wave = 9.0f;
	const float omega = 4.0f;
	const int i = k % kSampleSurfaceSide;
	const int j = k / kSampleSurfaceSide;
	const float x = static_cast<float>(i) / (kSampleSurfaceSide - 1);
	const float z = static_cast<float>(j) / (kSampleSurfaceSide - 1);
	const float t = static_cast<float>(frame) / kSampleSurfaceFps;
	const float dx = x - 0.5f, dz = z - 0.5f;
	const float r = std::sqrt(dx * dx + dz * dz);
	const float amplitude = 0.05f / (1.0f + 4.0f * r);
	const float phase = k_wave * r - omega * t;

	SurfacePoint p = {};
	p.position[0] = dx;
	p.position[1] = amplitude * std::sin(phase);
	p.position[2] = dz;
	p.velocity[1] = -omega * amplitude * std::cos(phase);
	// the slope along the radius gives the normal; the centre is flat
	const float slope = -0.2f / ((1.0f + 4.0f * r) * (1.0f + 4.0f * r)) * std::sin(phase) +
		amplitude * k_wave * std::cos(phase);
	const float gx = r > 0.0f ? slope * dx / r : 0.0f;
	const float gz = r > 0.0f ? slope * dz / r : 0.0f;
	const float length = std::sqrt(gx * gx + 1.0f + gz * gz);
	p.normal[0] = -gx / length;
	p.normal[1] = 1.0f / length;
	p.normal[2] = -gz / length;
	p.u = x;
	p.v = z;
	p.radius = r;
	return p;
}

MeshFace SampleSurfaceFace(int32_t f)
{
	const int32_t cell = f / 2;
	const int32_t i = cell % (kSampleSurfaceSide - 1);
	const int32_t j = cell / (kSampleSurfaceSide - 1);
	const uint32_t a = static_cast<uint32_t>(j * kSampleSurfaceSide + i);
	const uint32_t b = a + 1;
	const uint32_t c = a + kSampleSurfaceSide;
	const uint32_t d = c + 1;
	return f % 2 == 0 ? MeshFace{{a, c, b}} : MeshFace{{b, c, d}};
}
