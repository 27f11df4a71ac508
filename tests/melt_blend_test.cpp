// melt_blend_test.cpp - the materials and weight maps the melt material takes from a render object, and a
// fluid's weight at a sample.
#include "headless.h"
#include "melt_blend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{

// A scene object with named weight maps of the given values, and the materials of a render object.
struct Scene
{
	BaseObject* op = BaseObject::Alloc(Opolygon);
	std::vector<BaseMaterial*> materials;
	std::vector<TexData> tex;
	std::vector<TexData*> texptr;
	RayObject ro;

	~Scene()
	{
		BaseObject::Free(op);
		for (BaseMaterial*& m : materials)
			BaseMaterial::Free(m);
	}

	VertexMapTag* AddMap(const char* name, const std::vector<Float32>& values)
	{
		VertexMapTag* map = VertexMapTag::Alloc(static_cast<Int32>(values.size()));
		map->SetName(String(name));
		std::copy(values.begin(), values.end(), map->GetDataAddressW());
		op->InsertTag(map);
		return map;
	}

	// Materials in texture-tag order (the last one shows); null entries stand for textures without one.
	void SetTextures(const std::vector<BaseMaterial*>& list)
	{
		tex.clear();
		for (BaseMaterial* m : list)
			tex.push_back({m, nullptr});
		texptr.clear();
		for (TexData& t : tex)
			texptr.push_back(&t);
		ro.link = op;
		ro.texadr = texptr.data();
		ro.texcnt = static_cast<Int32>(texptr.size());
	}

	BaseMaterial* NewMaterial()
	{
		materials.push_back(BaseMaterial::Alloc(Mmaterial));
		return materials.back();
	}
};

TEST(MeltCollect, TakesMaterialsFromTheLastTextureToTheFirstSkippingItselfAndEmptyTextures)
{
	Scene s;
	BaseMaterial* a = s.NewMaterial();
	BaseMaterial* b = s.NewMaterial();
	BaseMaterial* melt = s.NewMaterial(); // stands for the melt material itself
	s.SetTextures({a, nullptr, b, melt});
	MeltSlots slots;
	MeltCollect(&s.ro, melt, &slots);
	EXPECT_EQ(slots.material_count, 2);
	EXPECT_EQ(slots.materials[0], b);
	EXPECT_EQ(slots.materials[1], a);
	EXPECT_EQ(slots.materials[2], nullptr);
}

TEST(MeltCollect, TakesAtMostTenMaterials)
{
	Scene s;
	std::vector<BaseMaterial*> list;
	for (int i = 0; i < 12; ++i)
		list.push_back(s.NewMaterial());
	s.SetTextures(list);
	MeltSlots slots;
	MeltCollect(&s.ro, nullptr, &slots);
	EXPECT_EQ(slots.material_count, MELT_SLOT_COUNT);
	EXPECT_EQ(slots.materials[0], list[11]);
	EXPECT_EQ(slots.materials[9], list[2]);
}

TEST(MeltCollect, FindsEachFluidsMapByItsNameAndFallsBackToThePlainName)
{
	Scene s;
	VertexMapTag* w1 = s.AddMap("TW_Mesh_Weight_1", {1.0f});
	VertexMapTag* plain1 = s.AddMap("weight_1", {0.5f});
	VertexMapTag* plain2 = s.AddMap("weight_2", {0.5f});
	VertexMapTag* w10 = s.AddMap("TW_Mesh_Weight_10", {0.5f});
	s.AddMap("TW_Mesh_Weight_11", {0.5f}); // beyond ten fluids
	s.SetTextures({});
	MeltSlots slots;
	MeltCollect(&s.ro, nullptr, &slots);
	EXPECT_EQ(slots.weights[0], w1);
	EXPECT_NE(slots.weights[0], plain1);
	EXPECT_EQ(slots.weights[1], plain2);
	EXPECT_EQ(slots.weights[2], nullptr);
	EXPECT_EQ(slots.weights[9], w10);
	EXPECT_EQ(slots.weight_count, 3);
	EXPECT_EQ(slots.material_count, 0);
}

struct WeightCase
{
	const char* what;
	std::vector<Float32> map;
	CPolygon poly;
	RayPolyWeight bary;
	Float32 exponent;
	Float32 expected;
};

class MeltWeightCases : public testing::TestWithParam<WeightCase>
{
};

TEST_P(MeltWeightCases, BlendsTheCornersThenRaisesToTheExponent)
{
	const WeightCase& c = GetParam();
	Scene s;
	const VertexMapTag* map = s.AddMap("TW_Mesh_Weight_1", c.map);
	EXPECT_NEAR(MeltWeight(map, c.poly, c.bary, c.exponent), c.expected, 1e-6) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Melt, MeltWeightCases,
	testing::Values(WeightCase{"at a vertex, exponent 1", {0.25f, 0.0f, 0.0f}, {0, 1, 2}, {1.0, 0.0, 0.0, 0.0}, 1.0f, 0.25f},
		WeightCase{"between corners", {0.0f, 1.0f, 0.5f, 0.0f}, {0, 1, 2, 3}, {0.25, 0.25, 0.5, 0.0}, 1.0f, 0.5f},
		WeightCase{"exponent 0 gives full weight even where the weight is 0", {0.0f, 0.0f, 0.0f}, {0, 1, 2}, {0.2, 0.3, 0.5, 0.0},
			0.0f, 1.0f},
		WeightCase{"exponent 0.5: a weight of 0.25 counts 0.5", {0.25f, 0.25f, 0.25f}, {0, 1, 2}, {0.2, 0.3, 0.5, 0.0}, 0.5f, 0.5f},
		WeightCase{"a map shorter than the points counts 0 for the missing ones", {1.0f, 1.0f}, {0, 1, 5}, {0.25, 0.25, 0.5, 0.0},
			1.0f, 0.5f},
		WeightCase{"a corner index outside the map never reads past it", {1.0f}, {-3, 0, 2147483647, 7}, {0.25, 0.25, 0.25, 0.25},
			1.0f, 0.25f}));

TEST(MeltWeight, WithoutAMapIsZero)
{
	EXPECT_EQ(MeltWeight(nullptr, CPolygon(0, 1, 2), RayPolyWeight{1.0, 0.0, 0.0, 0.0}, 0.0f), 0.0f);
}

} // namespace
