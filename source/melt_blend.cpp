// melt_blend.cpp - the materials and weight maps the melt material blends, and a fluid's weight at a sample.
#include "melt_blend.h"

#include <cmath>
#include <cstdio>

const char* const MELT_WEIGHT_NAME = "TW_Mesh_Weight_%d";
const char* const MELT_WEIGHT_NAME_PLAIN = "weight_%d";

namespace
{

const VertexMapTag* WeightMap(const BaseObject* op, const char* format, Int32 fluid)
{
	char name[64];
	std::snprintf(name, sizeof(name), format, fluid);
	return static_cast<const VertexMapTag*>(FindTag(op, Tvertexmap, String(name)));
}

Float MapValue(const VertexMapTag* map, Int32 point)
{
	// a map shorter than the object's points, or a corner of a damaged polygon, gives nothing
	if (point < 0 || point >= map->GetDataCount() || !map->GetDataAddressR())
		return 0.0;
	return map->GetDataAddressR()[point];
}

} // namespace

void MeltCollect(const RayObject* ro, const BaseMaterial* self, MeltSlots* slots)
{
	*slots = MeltSlots();
	if (!ro)
		return;
	for (Int32 i = ro->texcnt - 1; i >= 0 && slots->material_count < MELT_SLOT_COUNT; --i)
	{
		const TexData* tex = ro->texadr ? ro->texadr[i] : nullptr;
		if (!tex || !tex->mp || tex->mp == self)
			continue;
		slots->materials[slots->material_count++] = tex->mp;
	}
	for (Int32 k = 1; k <= MELT_SLOT_COUNT; ++k)
	{
		const VertexMapTag* map = WeightMap(ro->link, MELT_WEIGHT_NAME, k);
		if (!map)
			map = WeightMap(ro->link, MELT_WEIGHT_NAME_PLAIN, k);
		slots->weights[k - 1] = map;
		if (map)
			++slots->weight_count;
	}
}

Float32 MeltWeight(const VertexMapTag* map, const CPolygon& poly, const RayPolyWeight& bary, Float32 exponent)
{
	if (!map)
		return 0.0f;
	const Float s = bary.wa * MapValue(map, poly.a) + bary.wb * MapValue(map, poly.b) + bary.wc * MapValue(map, poly.c) +
		bary.wd * MapValue(map, poly.d);
	return std::pow(static_cast<Float32>(s), exponent);
}
