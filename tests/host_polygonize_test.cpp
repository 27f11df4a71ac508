// host_polygonize_test.cpp - the polygonised copy of a document, instance objects and links to freed objects.
#include "host_test.h"
#include "importer_files.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"

#include <gtest/gtest.h>

namespace
{

// A deformer that pushes every point of what it deforms by 5 along y.
class LiftModifier : public ObjectData
{
public:
	static NodeData* Alloc() { return new LiftModifier(); }
	Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg, Float lod,
		Int32 flags, BaseThread* thread) override
	{
		(void)mod; (void)doc; (void)op_mg; (void)mod_mg; (void)lod; (void)flags; (void)thread;
		PolygonObject* poly = dynamic_cast<PolygonObject*>(op);
		if (!poly)
			return false;
		for (Int32 i = 0; i < poly->GetPointCount(); ++i)
			poly->GetPointW()[i].y += 5.0;
		// and moves it 7 along x, as a deformer that drives an object's motion does
		Matrix ml = poly->GetMl();
		ml.off.x += 7.0;
		poly->SetMl(ml);
		return true;
	}
};
constexpr Int32 kLift = 1999002;

class Polygonized : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		ASSERT_TRUE(RegisterObjectPlugin(kLift, "Lift", OBJECT_MODIFIER, LiftModifier::Alloc, String(), nullptr, 0));
	}
	BaseObject* Add(Int32 type, const char* name, BaseObject* parent = nullptr)
	{
		BaseObject* op = BaseObject::Alloc(type);
		op->SetName(String(name));
		BaseObject* last = parent ? parent->GetDown() : doc->GetFirstObject();
		while (last && last->GetNext())
			last = last->GetNext();
		doc->InsertObject(op, last ? nullptr : parent, last);
		return op;
	}
	static Matrix At(Float x, Float y, Float z) { return Matrix(Vector(x, y, z), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)); }
	TempDir dir;
};

TEST_F(Polygonized, GeneratorsDeformersAndInstancesBecomeWhatTheyShow)
{
	ASSERT_TRUE(WriteMeshFrameFile(dir / "wave00000.bin", 0));
	BaseObject* group = Add(Onull, "Group");
	BaseObject* wave = Add(TW_Mesh_Importer, "Wave", group);
	ASSERT_NE(wave, nullptr);
	wave->SetMl(At(0, 0, 50));
	headless::UserSetParameter(wave, TW_MI_FILE, GeData(Filename(dir / "wave00000.bin")));
	PolygonObject* box = PolygonObject::Alloc(1, 4);
	box->SetName(String("Box"));
	doc->InsertObject(box, nullptr, group);
	Add(kLift, "Lift", box);
	BaseObject* inst = Add(Oinstance, "Copy");
	inst->SetMl(At(100, 0, 0));
	inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, wave);
	BaseObject* loop = Add(Oinstance, "Loop", inst); // refers to its own parent
	loop->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, inst);
	doc->SetTime(BaseTime(0.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);

	BaseDocument* flat = doc->Polygonize();
	ASSERT_NE(flat, nullptr);
	EXPECT_EQ(flat->GetFps(), doc->GetFps());
	// hierarchy and names kept: Group { Wave }, Box, Copy { Loop }; the deformer left out
	BaseObject* g = flat->GetFirstObject();
	ASSERT_NE(g, nullptr);
	EXPECT_EQ(g->GetName().Get(), "Group");
	PolygonObject* w = dynamic_cast<PolygonObject*>(g->GetDown());
	ASSERT_NE(w, nullptr);
	EXPECT_EQ(w->GetName(), wave->GetName()); // the importer names itself after its file
	EXPECT_EQ(w->GetType(), Opolygon);
	EXPECT_EQ(w->GetPointCount(), 4);
	EXPECT_EQ(w->GetMl().off, Vector(0, 0, 50));
	EXPECT_EQ(flat->SearchObject(wave->GetName()), w);

	PolygonObject* b = dynamic_cast<PolygonObject*>(flat->SearchObject(String("Box")));
	ASSERT_NE(b, nullptr);
	EXPECT_EQ(b->GetDown(), nullptr);
	EXPECT_EQ(b->GetPointR()[0].y, 5.0); // deformed once
	// fault: the copy stood where the object stands, not where its deformer put it
	EXPECT_EQ(b->GetMl().off, Vector(7, 0, 0));
	EXPECT_EQ(box->GetMl().off, Vector(0, 0, 0));
	EXPECT_EQ(box->GetPointR()[0].y, 0.0);
	EXPECT_EQ(flat->SearchObject(String("Lift")), nullptr);

	PolygonObject* c = dynamic_cast<PolygonObject*>(flat->SearchObject(String("Copy")));
	ASSERT_NE(c, nullptr) << "an instance becomes a copy of what it refers to";
	EXPECT_EQ(c->GetPointCount(), 4);
	EXPECT_EQ(c->GetPointR()[3], w->GetPointR()[3]);
	EXPECT_EQ(c->GetMl().off, Vector(100, 0, 0));
	BaseObject* l = flat->SearchObject(String("Loop"));
	ASSERT_NE(l, nullptr);
	EXPECT_EQ(l->GetUp(), c);
	EXPECT_EQ(l->GetType(), Onull); // a cycle ends in an empty object
	BaseDocument::Free(flat);
}

// A link to a freed object read back the dead object's memory.
TEST_F(Polygonized, ALinkToAFreedObjectReadsAsNone)
{
	BaseObject* target = Add(Onull, "Target");
	BaseObject* inst = Add(Oinstance, "Copy");
	inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, target);
	EXPECT_EQ(inst->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK), target);
	const BaseContainer held = *inst->GetDataInstance();
	BaseObject::Free(target);
	EXPECT_EQ(inst->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK), nullptr);
	EXPECT_EQ(held.GetLink(INSTANCEOBJECT_LINK), nullptr);
	// a new object that happens to get the freed one's address is not the linked one either
	BaseObject* other = Add(Onull, "Other");
	EXPECT_EQ(inst->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK), nullptr);
	(void)other;
	BaseDocument* flat = doc->Polygonize();
	BaseObject* c = flat->SearchObject(String("Copy"));
	ASSERT_NE(c, nullptr);
	EXPECT_EQ(c->GetType(), Onull);
	BaseDocument::Free(flat);
}

// Fault: a saved and loaded document lost the links of its instance objects.
TEST_F(Polygonized, InstancesKeepTheirLinksThroughASavedDocument)
{
	BaseObject* inst = Add(Oinstance, "Copy");
	BaseObject* group = Add(Onull, "Group");
	Add(Onull, "First", group);
	BaseObject* target = Add(Opolygon, "Target", group); // after its instance, one level down
	inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, target);
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	BaseObject* copy = loaded->SearchObject(String("Copy"));
	ASSERT_NE(copy, nullptr);
	BaseList2D* link = copy->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK);
	EXPECT_EQ(link, loaded->SearchObject(String("Target")));
	EXPECT_NE(link, target);
	BaseDocument* flat = loaded->Polygonize();
	EXPECT_EQ(flat->SearchObject(String("Copy"))->GetType(), Opolygon);
	BaseDocument::Free(flat);
	BaseDocument::Free(loaded);
}

} // namespace
