// melt_blend.h - what the melt material blends on one render object: up to ten materials, each with the
// weight map of its fluid, and the weight of a fluid at a shading sample.
#pragma once

#include "c4d.h"

constexpr Int32 MELT_SLOT_COUNT = 10;

// The weight maps a mesh of several fluids carries, one per fluid, numbered from 1.
extern const char* const MELT_WEIGHT_NAME;		  // "TW_Mesh_Weight_%d"
extern const char* const MELT_WEIGHT_NAME_PLAIN; // "weight_%d"

// Slot k pairs material k with the weight map of fluid k + 1; either may be missing.
struct MeltSlots
{
	BaseMaterial* materials[MELT_SLOT_COUNT] = {};
	const VertexMapTag* weights[MELT_SLOT_COUNT] = {};
	Int32 material_count = 0;
	Int32 weight_count = 0;
};

// Fills slots for a render object: its materials from the last texture to the first, skipping self
// and textures without a material, at most ten; then the weight map of each fluid found by name on the
// scene object behind it ("TW_Mesh_Weight_%d", else "weight_%d").
void MeltCollect(const RayObject* ro, const BaseMaterial* self, MeltSlots* slots);

// The weight of a map at a point of a polygon: the corners' values blended by the point's barycentric
// weights (in double precision), raised to exponent in single precision. A corner whose point the map
// does not reach counts as 0; no map gives 0.
Float32 MeltWeight(const VertexMapTag* map, const CPolygon& poly, const RayPolyWeight& bary, Float32 exponent);
