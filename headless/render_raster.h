// render_raster.h - the headless renderer's visible-surface pass: every render object's triangles into a
// z-buffer that keeps, per pixel centre, the nearest depth with its render object and polygon.
#pragma once

#include "render_scene.h"

#include <functional>

namespace headless
{

// What the rasteriser keeps per pixel.
struct ZBuffer
{
	Int32 w = 0, h = 0;
	std::vector<float> depth;
	std::vector<Int32> object;
	std::vector<Int32> polygon;
	std::vector<UChar> half; // which triangle of a quad: 0 (a, b, c), 1 (a, c, d)

	// Everything far, nothing seen.
	void Init(Int32 width, Int32 height);
};

// Rasterises every render object of the scene in order through its lens, on up to threads threads;
// the result is the same for any count. progress (called on this thread) hears the share done now and
// then; false from it stops the pass (the answer is false then). triangles counts the triangles that
// reached a pixel centre's bounds.
bool Rasterise(const VolumeData::Render& scene, ZBuffer& zb, Int32 threads, Int64* triangles,
	const std::function<bool(Float)>& progress);

} // namespace headless
