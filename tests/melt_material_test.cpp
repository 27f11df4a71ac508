// melt_material_test.cpp - the melt material in a render: fluids blended by their weights, the exponent,
// the console lines once per render, and the material's own preview.
#include "host_test.h"
#include "picture_support.h"

#include "TW_MeltMaterial.h"
#include "c4d_polygon.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{

const Vector kRed(1.0, 0.0, 0.0), kBlue(0.0, 0.0, 1.0), kGreen(0.0, 1.0, 0.0);

int Byte(Float c)
{
	return static_cast<int>(std::lround(std::min(1.0, std::max(0.0, c)) * 255.0));
}

class MeltMaterialTest : public HostTest
{
protected:
	PolygonObject* mesh = nullptr;
	BaseMaterial* melt = nullptr;
	BaseBitmap* bmp = nullptr;

	void SetUp() override
	{
		HostTest::SetUp();
		// a triangle facing a camera straight in front of it: lit fully by the default light
		BaseObject* camera = BaseObject::Alloc(Ocamera);
		camera->SetRelPos(Vector(0.0, 0.0, -400.0));
		doc->InsertObject(camera, nullptr, nullptr);
		mesh = PolygonObject::Alloc(3, 1);
		mesh->SetName(String("Fluids"));
		mesh->GetPointW()[0] = Vector(-100.0, -100.0, 0.0);
		mesh->GetPointW()[1] = Vector(0.0, 100.0, 0.0);
		mesh->GetPointW()[2] = Vector(100.0, -100.0, 0.0);
		mesh->GetPolygonW()[0] = CPolygon(0, 1, 2);
		doc->InsertObject(mesh, nullptr, nullptr);
		melt = BaseMaterial::Alloc(ID_TW_MELT_MATERIAL);
		ASSERT_NE(melt, nullptr);
		doc->InsertMaterial(melt);
		BaseContainer* rd = doc->GetActiveRenderData()->GetDataInstance();
		rd->SetFloat(RDATA_XRES, 200.0);
		rd->SetFloat(RDATA_YRES, 200.0);
		bmp = BaseBitmap::Alloc();
	}
	void TearDown() override
	{
		BaseBitmap::Free(bmp);
		HostTest::TearDown();
	}

	BaseMaterial* Plain(const Vector& colour)
	{
		BaseMaterial* m = BaseMaterial::Alloc(Mmaterial);
		m->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, colour);
		doc->InsertMaterial(m);
		return m;
	}
	void Apply(BaseMaterial* m)
	{
		static_cast<TextureTag*>(mesh->MakeTag(Ttexture))->SetMaterial(m);
	}
	void Map(const char* name, Float32 a, Float32 b, Float32 c)
	{
		VertexMapTag* map = VertexMapTag::Alloc(3);
		map->SetName(String(name));
		Float32* v = map->GetDataAddressW();
		v[0] = a;
		v[1] = b;
		v[2] = c;
		mesh->InsertTag(map);
	}
	void Render()
	{
		ASSERT_EQ(RenderDocument(doc, doc->GetActiveRenderData()->GetData(), nullptr, nullptr, bmp, RENDERFLAGS_NONE, nullptr),
			RENDERRESULT_OK);
	}
	// The rendered colour where a point of the triangle lands.
	Rgb At(const Vector& p)
	{
		Float x = 0.0, y = 0.0;
		EXPECT_TRUE(headless::LastRender().Project(p, &x, &y));
		UChar c[4] = {};
		bmp->GetPixel(static_cast<Int32>(x), static_cast<Int32>(y), c);
		return {c[0], c[1], c[2]};
	}
	static Rgb Expect(const Vector& c) { return {Byte(c.x), Byte(c.y), Byte(c.z)}; }
	static bool Near(const Rgb& a, const Rgb& b, int tolerance)
	{
		return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
	}
	const Vector centre = Vector(0.0, -100.0 / 3.0, 0.0);
};

// Slot 0 is the material of the last texture below the melt material and pairs with fluid 1.
struct BlendCase
{
	const char* what;
	Float sharpness;
	Float32 fluid1, fluid2; // constant weights
	Vector expected;		// red on fluid 2, blue on fluid 1
};

class MeltBlend : public MeltMaterialTest, public testing::WithParamInterface<BlendCase>
{
};

TEST_P(MeltBlend, AddsEachFluidsMaterialScaledByItsWeightWithoutNormalising)
{
	const BlendCase& c = GetParam();
	Apply(Plain(kRed));
	Apply(Plain(kBlue));
	Apply(melt);
	Map("TW_Mesh_Weight_1", c.fluid1, c.fluid1, c.fluid1);
	Map("TW_Mesh_Weight_2", c.fluid2, c.fluid2, c.fluid2);
	melt->GetDataInstance()->SetFloat(TW_MELT_SHARPNESS, c.sharpness);
	Render();
	EXPECT_TRUE(Near(At(centre), Expect(c.expected), 1)) << c.what << ": " << At(centre) << " against " << Expect(c.expected);
}

INSTANTIATE_TEST_SUITE_P(Melt, MeltBlend,
	testing::Values(BlendCase{"sharpness 0 blends linearly", 0.0, 0.25f, 0.75f, kBlue * 0.25 + kRed * 0.75},
		BlendCase{"sharpness 1: every material with a map counts fully, even at weight 0", 1.0, 0.0f, 0.0f, kBlue + kRed},
		BlendCase{"sharpness 0.5: a weight of 0.25 counts 0.5", 0.5, 0.25f, 0.0f, kBlue * 0.5},
		BlendCase{"weights summing above 1 are not normalised", 0.0, 0.75f, 0.75f, kBlue * 0.75 + kRed * 0.75}));

TEST_F(MeltMaterialTest, InterpolatesTheWeightsAcrossThePolygonSoAVertexShowsItsOwnFluid)
{
	Apply(Plain(kRed));
	Apply(Plain(kBlue));
	Apply(melt);
	Map("TW_Mesh_Weight_1", 1.0f, 0.0f, 0.0f); // blue at the lower left corner only
	Map("TW_Mesh_Weight_2", 0.0f, 1.0f, 1.0f);
	Render();
	const Vector a = mesh->GetPointR()[0], b = mesh->GetPointR()[1], c = mesh->GetPointR()[2];
	// a pixel's centre lies up to a pixel (2 units) from the point: the weights move 1 per 200 units
	EXPECT_TRUE(Near(At(a * 0.96 + b * 0.02 + c * 0.02), Expect(kBlue * 0.96 + kRed * 0.04), 4)) << At(a * 0.96 + b * 0.02 + c * 0.02);
	EXPECT_TRUE(Near(At(a * 0.02 + b * 0.96 + c * 0.02), Expect(kBlue * 0.02 + kRed * 0.98), 4));
	EXPECT_TRUE(Near(At(a * 0.5 + b * 0.25 + c * 0.25), Expect(kBlue * 0.5 + kRed * 0.5), 4));
}

TEST_F(MeltMaterialTest, BlendsOnlyTheMaterialsThatHaveAWeightMapAndFallsBackToPlainMapNames)
{
	Apply(Plain(kGreen)); // the third material taken: no map for fluid 3
	Apply(Plain(kRed));
	Apply(Plain(kBlue));
	Apply(melt);
	Map("weight_1", 0.5f, 0.5f, 0.5f);
	Map("TW_Mesh_Weight_2", 0.5f, 0.5f, 0.5f);
	Map("weight_2", 0.0f, 0.0f, 0.0f); // the named map of fluid 2 wins
	Render();
	EXPECT_TRUE(Near(At(centre), Expect(kBlue * 0.5 + kRed * 0.5), 1)) << At(centre);
}

TEST_F(MeltMaterialTest, ReportsAnObjectWithoutMaterialsOrWeightMapsOncePerRender)
{
	Apply(melt);
	const std::string no_materials = "[ERROR] TW MeltMaterial | Fluids has no materials. Please add a material to each particle sequence!";
	const std::string no_maps = "[ERROR] TW MeltMaterial | Fluids has no weight map. Please enable Weights channel!";
	auto count = [](const std::string& line) {
		const auto& lines = headless::ConsoleLines();
		return std::count(lines.begin(), lines.end(), line);
	};
	headless::ClearConsole();
	Render();
	EXPECT_EQ(count(no_materials), 1);
	EXPECT_EQ(count(no_maps), 1);
	EXPECT_FALSE(melt->GetDataInstance()->GetBool(TW_MELT_REPORT));
	// a preparation outside a render's notification reports nothing
	InitRenderStruct irs;
	irs.doc = doc;
	melt->InitRender(irs);
	melt->FreeRender();
	EXPECT_EQ(count(no_materials), 1);

	Apply(Plain(kRed));
	headless::ClearConsole();
	Render();
	EXPECT_EQ(count(no_materials), 0);
	EXPECT_EQ(count(no_maps), 1);
}

TEST_F(MeltMaterialTest, WithoutMaterialsTheSampleKeepsWhatTheHostGaveIt)
{
	Apply(melt);
	Map("TW_Mesh_Weight_1", 1.0f, 1.0f, 1.0f);
	Render();
	EXPECT_EQ(At(centre), (Rgb{0, 0, 0}));
	EXPECT_EQ(headless::LastRender().SeenAt(100, 120), mesh);
}

TEST_F(MeltMaterialTest, PreviewBuildsItsOwnSceneWithTheMaterialOnTheCube)
{
	MatPreviewObjectInfo info;
	ASSERT_TRUE(melt->Message(MATPREVIEW_GET_OBJECT_INFO, &info));
	EXPECT_TRUE(info.bHandlePreview && info.bNeedsOwnScene && info.bNoStandardScene);
	EXPECT_EQ(info.lFlags, 0x20);

	BaseDocument* preview = BaseDocument::Alloc();
	BaseObject* camera = BaseObject::Alloc(Ocamera);
	preview->InsertObject(camera, nullptr, nullptr);
	MatPreviewModifyCacheScene scene;
	scene.pDoc = preview;
	melt->Message(MATPREVIEW_MODIFY_CACHE_SCENE, &scene);
	BaseObject* cube = preview->SearchObject(String("cube"));
	BaseObject* light = preview->SearchObject(String("Light"));
	ASSERT_NE(cube, nullptr);
	ASSERT_NE(light, nullptr);
	EXPECT_EQ(cube->GetType(), Ocube);
	EXPECT_EQ(cube->GetDataInstance()->GetVector(PRIM_CUBE_LEN), Vector(200.0, 200.0, 200.0));
	EXPECT_EQ(light->GetType(), Olight);
	EXPECT_EQ(light->GetRelPos(), Vector(-400.0, 400.0, -400.0));
	EXPECT_EQ(light->GetDataInstance()->GetVector(LIGHT_COLOR), Vector(0.0, 0.0, 1.0));
	EXPECT_EQ(camera->GetRelPos(), Vector(0.0, 0.0, -400.0));

	MatPreviewPrepareScene prep;
	prep.pDoc = preview;
	EXPECT_TRUE(melt->Message(MATPREVIEW_PREPARE_SCENE, &prep));
	EXPECT_TRUE(prep.bScenePrepared);
	TextureTag* tag = static_cast<TextureTag*>(cube->GetTag(Ttexture));
	ASSERT_NE(tag, nullptr);
	ASSERT_NE(tag->GetMaterial(), nullptr);
	EXPECT_NE(tag->GetMaterial(), melt);
	EXPECT_EQ(tag->GetMaterial()->GetType(), ID_TW_MELT_MATERIAL);

	ASSERT_EQ(bmp->Init(64, 48), IMAGERESULT_OK);
	MatPreviewGenerateImage gen;
	gen.pDoc = preview;
	gen.pDest = bmp;
	gen.bSkip = true;
	gen.lResult = -1;
	melt->Message(MATPREVIEW_GENERATE_IMAGE, &gen);
	EXPECT_EQ(gen.lResult, -1);
	gen.bSkip = false;
	melt->Message(MATPREVIEW_GENERATE_IMAGE, &gen);
	EXPECT_EQ(gen.lResult, RENDERRESULT_OK);
	EXPECT_EQ(preview->GetActiveRenderData()->GetDataInstance()->GetFloat(RDATA_XRES), 64.0);
	EXPECT_NE(headless::LastRender().SeenAt(32, 24), nullptr); // the cube fills the middle
	BaseDocument::Free(preview);

	// the host's driver of the whole exchange
	BaseBitmap* shown = BaseBitmap::Alloc();
	ASSERT_EQ(shown->Init(32, 32), IMAGERESULT_OK);
	EXPECT_EQ(headless::RenderMaterialPreview(melt, shown), RENDERRESULT_OK);
	EXPECT_EQ(shown->GetBw(), 32);
	BaseBitmap::Free(shown);
}

} // namespace
