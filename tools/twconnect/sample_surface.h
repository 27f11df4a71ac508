// sample_surface.h - the rippling surface behind the mesh samples (.bin, chunked and .md frames).
#pragma once

#include "mesh_bin.h"

#include <cstdint>

// A grid of kSampleSurfaceSide x kSampleSurfaceSide vertices, one metre across, in the XZ plane.
constexpr int kSampleSurfaceSide = 41;
constexpr float kSampleSurfaceFps = 25.0f;

constexpr int32_t SampleSurfaceVertexCount()
{
	return kSampleSurfaceSide * kSampleSurfaceSide;
}

constexpr int32_t SampleSurfaceFaceCount()
{
	return 2 * (kSampleSurfaceSide - 1) * (kSampleSurfaceSide - 1);
}

// One vertex of the surface at a frame. Metres and metres per second.
struct SurfacePoint
{
	float position[3];
	float velocity[3];
	float normal[3];
	// texture coordinates across the grid, 0 .. 1, V growing with z
	float u, v;
	// distance from the centre the ripple spreads from
	float radius;
};

// Vertex k (row-major, x fastest) of the surface at the frame (kSampleSurfaceFps per second).
SurfacePoint SampleSurfacePoint(int32_t k, int frame);

// Triangle f of the grid (two per cell, row by row), as the host polygon's corners a, b, c.
MeshFace SampleSurfaceFace(int32_t f);
