// mesh_build_test.cpp - polygon objects built from mesh .bin frames, their maps on the generator, motion.
#include "TW_Mesh_Importer.h"
#include "cache_types.h"
#include "headless.h"
#include "mesh_bin.h"
#include "mesh_build.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace
{

struct MeshSpec
{
	int32_t vertices = 4;
	int32_t faces = 2;
	int32_t weights = 3;
	bool texture = true;
	bool velocity = true;
};

// Vertex i at (i, 2i, 3i) m, velocity (i, 0, 1) m/s, texture (0.25, 0.75, 0) for vertex 0 and
// (0.1 i, 0.2, 0.3) otherwise, weights 0.1 i, 0.2, ...; faces (f, f + 1, f + 2) mod V.
MeshHandle* ReadMesh(const TempDir& dir, const MeshSpec& spec, const std::function<void(MeshBinFile*)>& edit = {})
{
	static int serial = 0;
	const std::string path = dir / ("frame_" + std::to_string(serial++) + ".bin");
	MeshBinFile* file = MeshBinCreate(path.c_str());
	if (!file || !MeshBinAllocate(file, spec.vertices, spec.faces, spec.weights, spec.texture, spec.velocity))
	{
		MeshBinFree(file);
		return nullptr;
	}
	for (int32_t i = 0; i < spec.vertices; ++i)
	{
		MeshVertex& v = file->vertices[i];
		v.position[0] = float(i);
		v.position[1] = 2.0f * i;
		v.position[2] = 3.0f * i;
		v.velocity[0] = float(i);
		v.velocity[2] = 1.0f;
		v.texture[0] = i == 0 ? 0.25f : 0.1f * i;
		v.texture[1] = i == 0 ? 0.75f : 0.2f;
		v.texture[2] = i == 0 ? 0.0f : 0.3f;
		for (int32_t k = 0; spec.texture && k + 1 < spec.weights; ++k)
			v.weights[k] = k == 0 ? 0.1f * i : 0.2f;
	}
	for (int32_t f = 0; f < spec.faces; ++f)
		for (int c = 0; c < 3; ++c)
			file->faces[f].index[c] = static_cast<uint32_t>((f + c) % spec.vertices);
	if (edit)
		edit(file);
	const int written = MeshBinWrite(file);
	MeshBinFree(file);
	if (!written)
		return nullptr;
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_BIN);
	if (h && !MeshHandleRead(h, 100.0f))
	{
		MeshHandleFree(h);
		return nullptr;
	}
	MeshHandleCloseFile(h);
	return h;
}

const Float32* MapValues(const BaseObject* op, const char* name)
{
	const VertexMapTag* tag = static_cast<const VertexMapTag*>(FindTag(op, Tvertexmap, name));
	return tag ? tag->GetDataAddressR() : nullptr;
}

class MeshBuildTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		generator_ = BaseObject::Alloc(Onull);
		generator_->SetName("Splash");
	}

	void TearDown() override
	{
		BaseObject::Free(generator_);
		for (PolygonObject* op : built_)
		{
			BaseObject* o = op;
			BaseObject::Free(o);
		}
		for (MeshHandle* h : handles_)
			MeshHandleFree(h);
	}

	PolygonObject* Build(const MeshSpec& spec, const std::function<void(MeshBinFile*)>& edit = {})
	{
		MeshHandle* h = ReadMesh(dir_, spec, edit);
		EXPECT_TRUE(h);
		handles_.push_back(h);
		PolygonObject* op = BuildPolygonObject(h, generator_);
		if (op)
			built_.push_back(op);
		return op;
	}

	BaseContainer* Settings() { return generator_->GetDataInstance(); }

	TempDir dir_;
	BaseObject* generator_ = nullptr;
	std::vector<PolygonObject*> built_;
	std::vector<MeshHandle*> handles_;
};

TEST_F(MeshBuildTest, PointsPolygonsUvwAndMapsFromABinFrame)
{
	Settings()->SetVector(TW_MI_POINT_OFFSET, Vector(100, 0, 0));
	PolygonObject* op = Build(MeshSpec());
	ASSERT_TRUE(op);
	EXPECT_EQ(op->GetName(), String("Splash"));
	ASSERT_EQ(op->GetPointCount(), 4);
	ASSERT_EQ(op->GetPolygonCount(), 2);
	// (1, 2, 3) m at scale 1 is (100, 200, 300); the offset is subtracted
	EXPECT_EQ(op->GetPointR()[1], Vector(0, 200, 300));
	EXPECT_EQ(op->GetPointR()[3], Vector(200, 600, 900));
	const CPolygon& p = op->GetPolygonR()[1];
	EXPECT_EQ(p.a, 1);
	EXPECT_EQ(p.b, 2);
	EXPECT_EQ(p.c, 3);
	EXPECT_EQ(p.d, 3);

	UVWTag* uvw = static_cast<UVWTag*>(FindTag(op, Tuvw, TW_MESH_UV));
	ASSERT_TRUE(uvw);
	ASSERT_EQ(uvw->GetDataCount(), 2);
	UVWStruct corners;
	UVWTag::Get(uvw->GetDataAddressR(), 0, corners);
	// stored as U, 1 - V, W: (0.25, 0.75, 0) is V = 0.25
	EXPECT_EQ(corners.a, Vector(0.25, 0.25, 0.0));
	EXPECT_NEAR(corners.b.y, 0.8, 1e-6);
	EXPECT_EQ(corners.d, corners.c);
	EXPECT_TRUE(FindTag(generator_, Tuvw, TW_MESH_UV));

	// speed components without the magnitude map by default
	EXPECT_FALSE(FindTag(op, Tvertexmap, TW_MESH_SPEED));
	ASSERT_TRUE(MapValues(op, "TW_Mesh_SpeedX"));
	EXPECT_EQ(MapValues(op, "TW_Mesh_SpeedX")[3], 3.0f);
	EXPECT_EQ(MapValues(op, "TW_Mesh_SpeedZ")[3], 1.0f);
	// three weights, the last derived
	for (const char* name : {"TW_Mesh_Weight_1", "TW_Mesh_Weight_2", "TW_Mesh_Weight_3"})
	{
		ASSERT_TRUE(MapValues(op, name)) << name;
		BaseTag* placeholder = FindTag(generator_, Tvertexmap, name);
		ASSERT_TRUE(placeholder) << name;
		EXPECT_TRUE(placeholder->GetDataInstance()->GetBool(TW_VERTEXMAP_MARKER));
		EXPECT_EQ(static_cast<VertexMapTag*>(placeholder)->GetDataCount(), 4);
	}
	EXPECT_FLOAT_EQ(MapValues(op, "TW_Mesh_Weight_1")[2], 0.2f);
	EXPECT_FLOAT_EQ(MapValues(op, "TW_Mesh_Weight_3")[2], 0.6f);

	BaseTag* phong = op->GetTag(Tphong);
	ASSERT_TRUE(phong);
	EXPECT_TRUE(phong->GetDataInstance()->GetBool(PHONGTAG_PHONG_ANGLELIMIT));
	EXPECT_DOUBLE_EQ(phong->GetDataInstance()->GetFloat(PHONGTAG_PHONG_ANGLE), 1.3962634015954636);

	Settings()->SetBool(TW_MI_SPEED_MAGNITUDE, true);
	Settings()->SetFloat(TW_MI_SCALE, 0.5);
	PolygonObject* again = Build(MeshSpec());
	ASSERT_TRUE(again);
	EXPECT_EQ(again->GetPointR()[3], Vector(50, 300, 450));
	ASSERT_TRUE(MapValues(again, TW_MESH_SPEED));
	EXPECT_FLOAT_EQ(MapValues(again, TW_MESH_SPEED)[3], std::sqrt(10.0f));
}

TEST_F(MeshBuildTest, GeneratorKeepsOnlyThePlaceholdersOfTheCurrentFrame)
{
	ASSERT_TRUE(Build(MeshSpec()));
	generator_->InsertTag(VertexMapTag::Alloc(4)); // the user's own map goes too
	BaseTag* weight_1 = FindTag(generator_, Tvertexmap, "TW_Mesh_Weight_1");

	MeshSpec two_weights;
	two_weights.weights = 2;
	PolygonObject* op = Build(two_weights);
	ASSERT_TRUE(op);
	EXPECT_EQ(FindTag(generator_, Tvertexmap, "TW_Mesh_Weight_1"), weight_1); // kept, not remade
	EXPECT_TRUE(FindTag(generator_, Tvertexmap, "TW_Mesh_Weight_2"));
	EXPECT_FALSE(FindTag(generator_, Tvertexmap, "TW_Mesh_Weight_3"));
	EXPECT_FALSE(FindTag(generator_, Tvertexmap, ""));

	// no texture block: no weights, and the generator's UVW placeholder goes; speed maps off
	MeshSpec bare;
	bare.texture = false;
	Settings()->SetBool(TW_MI_SPEED_MAPS, false);
	op = Build(bare);
	ASSERT_TRUE(op);
	EXPECT_FALSE(FindTag(generator_, Tuvw, TW_MESH_UV));
	EXPECT_FALSE(op->GetTag(Tuvw));
	EXPECT_FALSE(generator_->GetTag(Tvertexmap));
	EXPECT_FALSE(op->GetTag(Tvertexmap));
	EXPECT_TRUE(op->GetTag(Tphong));

	// a single weight makes no map at all
	MeshSpec one_weight;
	one_weight.weights = 1;
	op = Build(one_weight);
	ASSERT_TRUE(op);
	EXPECT_FALSE(FindTag(op, Tvertexmap, "TW_Mesh_Weight_1"));
	EXPECT_TRUE(FindTag(op, Tuvw, TW_MESH_UV));

	EXPECT_EQ(BuildPolygonObject(nullptr, generator_), nullptr);
}

TEST_F(MeshBuildTest, NanPositionsTakeTheNextValidVertex)
{
	const float nan = std::numeric_limits<float>::quiet_NaN();
	MeshSpec spec;
	spec.vertices = 7;
	PolygonObject* op = Build(spec, [nan](MeshBinFile* file) {
		for (int i : {1, 2, 5, 6})
			file->vertices[i].position[0] = nan;
	});
	ASSERT_TRUE(op);
	const Vector* p = op->GetPointR();
	EXPECT_EQ(p[1], Vector(300, 600, 900));
	EXPECT_EQ(p[2], Vector(300, 600, 900));
	EXPECT_EQ(p[4], Vector(400, 800, 1200));
	// a run up to the last vertex keeps its own values
	EXPECT_TRUE(std::isnan(p[5].x));
	EXPECT_EQ(p[6].y, 1200.0);
}

TEST_F(MeshBuildTest, ExtrapolationMovesAlongTheVelocities)
{
	PolygonObject* op = Build(MeshSpec());
	ASSERT_TRUE(op);
	const Vector before = op->GetPointR()[1];
	ExtrapolatePoints(handles_.back(), op, *Settings(), 0.02);
	// velocity (1, 0, 1) m/s for 0.02 s is 2 units
	EXPECT_NEAR(op->GetPointR()[1].x - before.x, 2.0, 1e-9);
	EXPECT_NEAR(op->GetPointR()[1].z - before.z, 2.0, 1e-9);
	Settings()->SetFloat(TW_MI_MOTION_FACTOR, 2.0);
	ExtrapolatePoints(handles_.back(), op, *Settings(), -0.01);
	EXPECT_NEAR(op->GetPointR()[1].x, before.x, 1e-9);

	// an object with more points than the frame moves only the frame's ones
	ASSERT_TRUE(op->ResizeObject(6, 2));
	EXPECT_EQ(op->GetPointR()[1], before);
	ExtrapolatePoints(handles_.back(), op, *Settings(), 0.01);
	EXPECT_EQ(op->GetPointR()[5], Vector());

	MeshSpec still;
	still.velocity = false;
	PolygonObject* resting = Build(still);
	ASSERT_TRUE(resting);
	const Vector rest = resting->GetPointR()[2];
	ExtrapolatePoints(handles_.back(), resting, *Settings(), 0.5);
	EXPECT_EQ(resting->GetPointR()[2], rest);
}

TEST_F(MeshBuildTest, TagsThatCannotBeMadeAreSkippedAndHostileWeightCountsBounded)
{
	headless::RefuseTagAllocation(Tvertexmap);
	PolygonObject* op = Build(MeshSpec());
	headless::RefuseTagAllocation(0);
	ASSERT_TRUE(op);
	EXPECT_FALSE(op->GetTag(Tvertexmap));
	EXPECT_TRUE(op->GetTag(Tuvw));
	EXPECT_EQ(op->GetPointR()[1], Vector(100, 200, 300));

	headless::RefuseTagAllocation(Tuvw);
	op = Build(MeshSpec());
	headless::RefuseTagAllocation(0);
	ASSERT_TRUE(op);
	EXPECT_FALSE(op->GetTag(Tuvw));
	EXPECT_TRUE(FindTag(op, Tvertexmap, "TW_Mesh_Weight_3"));
	EXPECT_EQ(op->GetPolygonR()[0].c, 2);

	// one vertex asking for 5000 weights: a small file, but not 5000 maps on each object
	MeshSpec many;
	many.vertices = 1;
	many.faces = 0;
	many.weights = 5000;
	op = Build(many);
	ASSERT_TRUE(op);
	EXPECT_TRUE(FindTag(op, Tvertexmap, "TW_Mesh_Weight_256"));
	EXPECT_FALSE(FindTag(op, Tvertexmap, "TW_Mesh_Weight_257"));
	EXPECT_FALSE(FindTag(generator_, Tvertexmap, "TW_Mesh_Weight_257"));
}

TEST(PolygonObject, ArraysResizeCloneAndComeBackZeroed)
{
	PolygonObject* op = PolygonObject::Alloc(3, 1);
	ASSERT_TRUE(op);
	op->GetPointW()[2] = Vector(1, 2, 3);
	op->GetPolygonW()[0] = CPolygon(0, 1, 2);
	ASSERT_TRUE(op->ResizeObject(5, 2));
	EXPECT_EQ(op->GetPointR()[2], Vector(1, 2, 3));
	EXPECT_EQ(op->GetPointR()[4], Vector());
	EXPECT_EQ(op->GetPolygonR()[0].d, 2);
	// a failed resize leaves both arrays as they were
	const Vector* points = op->GetPointR();
	EXPECT_FALSE(op->ResizeObject(-1, 2));
	EXPECT_FALSE(op->ResizeObject(7, -1));
	EXPECT_EQ(op->GetPointCount(), 5);
	EXPECT_EQ(op->GetPointR(), points);
	EXPECT_EQ(op->GetPolygonCount(), 2);

	// tags: visible ones without per-element data are what a generator hands on
	VertexMapTag* map = VertexMapTag::Alloc(5);
	map->GetDataAddressW()[4] = 0.5f;
	op->InsertTag(map);
	op->MakeTag(Tphong);
	op->MakeTag(Ttexture);
	op->MakeTag(Tuvw);
	BaseObject* copy = op->GetClone(COPYFLAGS_NO_HIERARCHY);
	ASSERT_TRUE(copy);
	PolygonObject* poly = static_cast<PolygonObject*>(copy);
	EXPECT_EQ(poly->GetPointR()[2], Vector(1, 2, 3));
	ASSERT_TRUE(copy->GetTag(Tvertexmap));
	EXPECT_EQ(static_cast<VertexMapTag*>(copy->GetTag(Tvertexmap))->GetDataAddressR()[4], 0.5f);
	EXPECT_NE(static_cast<VertexMapTag*>(copy->GetTag(Tvertexmap))->GetDataAddressR(), map->GetDataAddressR());

	BaseObject* target = BaseObject::Alloc(Opolygon);
	ASSERT_TRUE(target);
	target->MakeTag(Tphong);
	ASSERT_TRUE(op->CopyTagsTo(target, true, false, false, nullptr));
	EXPECT_FALSE(target->GetTag(Tvertexmap));
	EXPECT_FALSE(target->GetTag(Tuvw));
	EXPECT_TRUE(target->GetTag(Tphong, 1));
	EXPECT_TRUE(target->GetTag(Ttexture));
	EXPECT_EQ(target->GetTag(Ttexture)->GetPred(), target->GetTag(Tphong, 1)); // appended in order
	BaseObject::Free(target);
	BaseObject::Free(copy);
	BaseObject* o = op;
	BaseObject::Free(o);

	// large arrays are recycled by the host; a recycled one still starts at zero
	const Int32 count = 1 << 20;
	VertexMapTag* big = VertexMapTag::Alloc(count);
	ASSERT_TRUE(big);
	for (Int32 i = 0; i < count; ++i)
		big->GetDataAddressW()[i] = 1.0f;
	BaseTag* t = big;
	BaseTag::Free(t);
	VertexMapTag* again = VertexMapTag::Alloc(count - 7);
	ASSERT_TRUE(again);
	for (Int32 i = 0; i < count - 7; i += 4093)
		ASSERT_EQ(again->GetDataAddressR()[i], 0.0f) << i;
	t = again;
	BaseTag::Free(t);
	EXPECT_EQ(UVWTag::Alloc(-1), nullptr);
}

} // namespace
