// host_scene_test.cpp - the headless host's tracks, materials, commands and modal dialogs.
#include "host_test.h"
#include "test_support.h"

#include "c4d_symbols.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

class HostScene : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		doc->SetFps(30);
	}
	void Key(BaseObject* op, Int32 param, Int32 component, Int32 frame, Float value)
	{
		headless::KeyComponent(op, param, component, frame, value, doc->GetFps());
	}
	void EvaluateAt(Float frame)
	{
		doc->SetTime(BaseTime(frame, doc->GetFps()));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}

};

bool Near(const Vector& a, const Vector& b, Float eps = 1e-9)
{
	return (a - b).GetLength() < eps;
}

TEST_F(HostScene, KeysLandInTimeOrderAndTheAnimationPassMovesTheObject)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	doc->InsertObject(op, nullptr, nullptr);
	Key(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X, 10, 100.0);
	Key(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X, 0, 0.0);
	Key(op, ID_BASEOBJECT_REL_POSITION, VECTOR_Y, 0, 5.0);
	Key(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_X, 0, 0.5);

	CTrack* px = op->FindCTrack(DescID(DescLevel(ID_BASEOBJECT_REL_POSITION), DescLevel(VECTOR_X)));
	ASSERT_NE(px, nullptr);
	CCurve* curve = px->GetCurve();
	ASSERT_EQ(curve->GetKeyCount(), 2);
	EXPECT_EQ(curve->GetKey(0)->GetTime(), BaseTime(0, 30));
	// a second key at the same time is the first one again
	EXPECT_EQ(curve->AddKey(BaseTime(10, 30)), curve->GetKey(1));
	EXPECT_EQ(curve->GetKeyCount(), 2);
	// tracks are kept in ID order: position x, position y, rotation x
	EXPECT_EQ(op->GetFirstCTrack(), px);
	EXPECT_EQ(px->GetNext()->GetDescriptionID().sub, VECTOR_Y);
	EXPECT_EQ(px->GetNext()->GetNext()->GetDescriptionID().id, ID_BASEOBJECT_REL_ROTATION);

	EvaluateAt(5);
	EXPECT_TRUE(Near(op->GetMl().off, Vector(50, 5, 0)));
	EXPECT_TRUE(Near(op->GetMl().v3, HPBToMatrix(Vector(0.5, 0, 0)).v3));
	EvaluateAt(20); // after the last key the value holds
	EXPECT_TRUE(Near(op->GetMl().off, Vector(100, 5, 0)));

	Int32 idx = -2;
	EXPECT_EQ(curve->FindKey(BaseTime(5, 30), &idx), nullptr);
	EXPECT_EQ(idx, -1);
	ASSERT_NE(curve->FindKey(BaseTime(10, 30), &idx), nullptr);
	EXPECT_TRUE(curve->DelKey(idx));
	EXPECT_FALSE(curve->DelKey(idx));
	EXPECT_EQ(curve->GetKeyCount(), 1);
}

TEST_F(HostScene, ACopyKeepsItsChildrenInOrder)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	BaseObject* last = nullptr;
	for (const char* name : {"a", "b", "c"})
	{
		BaseObject* child = BaseObject::Alloc(Onull);
		child->SetName(String(name));
		if (last)
			child->InsertAfter(last);
		else
			child->InsertUnder(op);
		last = child;
	}
	BaseObject* copy = op->GetClone();
	std::string names;
	for (BaseObject* c = copy->GetDown(); c; c = c->GetNext())
		names += c->GetName().Get();
	EXPECT_EQ(names, "abc");
	BaseObject::Free(copy);
	BaseObject::Free(op);
}

TEST_F(HostScene, TracksTravelWithCopiesAndSavedDocuments)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	op->SetName("Box");
	doc->InsertObject(op, nullptr, nullptr);
	Key(op, ID_BASEOBJECT_REL_SCALE, VECTOR_Z, 3, 2.0);
	Key(op, ID_BASEOBJECT_REL_SCALE, VECTOR_Z, 6, 4.0);

	BaseObject* copy = op->GetClone();
	const DescID sz{DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_Z)};
	ASSERT_NE(copy->FindCTrack(sz), nullptr);
	EXPECT_EQ(copy->FindCTrack(sz)->GetCurve()->GetKeyCount(), 2);
	BaseObject::Free(copy);

	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	CTrack* t = loaded->GetFirstObject()->FindCTrack(sz);
	ASSERT_NE(t, nullptr);
	EXPECT_DOUBLE_EQ(t->GetCurve()->GetValue(BaseTime(6, 30)), 4.0);
	BaseDocument::Free(loaded);
}

TEST_F(HostScene, RotationsSurviveTheTripThroughAngles)
{
	const Vector cases[] = {{0, 0, 0}, {0.3, -0.2, 1.1}, {-2.5, 1.2, -0.4}, {3.0, 0.0, 3.0}, {1.0, 1.5707963267948966, 0.0}};
	for (const Vector& hpb : cases)
	{
		const Matrix m = HPBToMatrix(hpb);
		const Matrix back = HPBToMatrix(MatrixToHPB(m));
		EXPECT_TRUE(Near(back.v1, m.v1, 1e-6) && Near(back.v2, m.v2, 1e-6) && Near(back.v3, m.v3, 1e-6))
			<< hpb.x << " " << hpb.y << " " << hpb.z;
	}
	// position, rotation and scale of an object set one at a time keep the others
	BaseObject* op = BaseObject::Alloc(Onull);
	op->SetRelPos(Vector(1, 2, 3));
	op->SetRelRot(Vector(0.3, -0.2, 1.1));
	op->SetRelScale(Vector(2, 3, -1));
	EXPECT_TRUE(Near(op->GetRelPos(), Vector(1, 2, 3)));
	EXPECT_TRUE(Near(op->GetRelRot(), Vector(0.3, -0.2, 1.1), 1e-9));
	EXPECT_TRUE(Near(op->GetRelScale(), Vector(2, 3, -1), 1e-9));
	BaseObject::Free(op);
}

TEST_F(HostScene, CommandsCreateObjectsAndMaterialsListInOrder)
{
	CallCommand(ID_TW_PARTICLE_IMPORTER);
	BaseObject* op = doc->GetFirstObject();
	ASSERT_NE(op, nullptr);
	EXPECT_EQ(op->GetType(), ID_TW_PARTICLE_IMPORTER);
	EXPECT_NE(op->GetNodeData(), nullptr);
	CallCommand(4242); // nothing is registered under it
	EXPECT_EQ(doc->GetFirstObject()->GetNext(), nullptr);

	BaseMaterial* a = BaseMaterial::Alloc(Mmaterial);
	BaseMaterial* b = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(a);
	doc->InsertMaterial(b); // first
	EXPECT_EQ(doc->GetFirstMaterial(), b);
	EXPECT_EQ(b->GetNext(), a);
	BaseChannel* color = static_cast<Material*>(a)->GetChannel(CHANNEL_COLOR);
	BaseContainer bc = color->GetData();
	bc.SetString(BASECHANNEL_TEXTURE, "wood.png");
	color->SetData(bc);
	EXPECT_EQ(static_cast<Material*>(a)->GetChannel(CHANNEL_COLOR)->GetData().GetString(BASECHANNEL_TEXTURE), "wood.png");
	BaseMaterial::Free(b);
	EXPECT_EQ(doc->GetFirstMaterial(), a);
	EXPECT_EQ(a->GetPred(), nullptr);

	EventAdd();
	DrawViews();
	EXPECT_EQ(headless::EventAddCount(), 1);
	EXPECT_EQ(headless::DrawViewsCount(), 1);
}

// A deformer that moves its parent's copy to x = 10 and records what the host asked it.
class ProbeModifier : public ObjectData
{
public:
	static int checks;
	static bool copy_dirty;
	static NodeData* Alloc() { return new ProbeModifier(); }
	void CheckDirty(BaseObject* op, BaseDocument* doc) override
	{
		(void)doc;
		++checks;
		op->SetDirty(DIRTYFLAGS_MATRIX | DIRTYFLAGS_DATA);
	}
	Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg, Float lod,
		Int32 flags, BaseThread* thread) override
	{
		(void)mod; (void)doc; (void)op_mg; (void)mod_mg; (void)lod; (void)flags; (void)thread;
		copy_dirty = op->IsDirty(DIRTYFLAGS_MATRIX | DIRTYFLAGS_DATA);
		op->SetMl(Matrix(Vector(10, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
		op->Message(MSG_UPDATE);
		return true;
	}
};
int ProbeModifier::checks = 0;
bool ProbeModifier::copy_dirty = false;

TEST_F(HostScene, DeformersAreAskedThenDeformAFreshCopyOfTheKeyedParent)
{
	const Int32 id = 1999001;
	ASSERT_TRUE(RegisterObjectPlugin(id, "Probe", OBJECT_MODIFIER, ProbeModifier::Alloc, String(), nullptr, 0));
	BaseObject* parent = BaseObject::Alloc(Onull);
	doc->InsertObject(parent, nullptr, nullptr);
	BaseObject* mod = BaseObject::Alloc(id);
	ASSERT_NE(mod, nullptr);
	doc->InsertObject(mod, parent, nullptr);
	Key(parent, ID_BASEOBJECT_REL_POSITION, VECTOR_Y, 0, 0.0);
	Key(parent, ID_BASEOBJECT_REL_POSITION, VECTOR_Y, 10, 20.0);

	EvaluateAt(5);
	EXPECT_EQ(ProbeModifier::checks, 1);
	EXPECT_TRUE(ProbeModifier::copy_dirty);
	ASSERT_NE(parent->GetDeformCache(), nullptr);
	EXPECT_EQ(parent->GetDeformCache()->GetMl().off, Vector(10, 0, 0));
	EXPECT_EQ(parent->GetMl().off, Vector(0, 10, 0)); // the object itself keeps its animated matrix
	EvaluateAt(5);
	EXPECT_EQ(ProbeModifier::checks, 2);
	EXPECT_TRUE(ProbeModifier::copy_dirty);
}

// A dialog on the importer's resource that records what reaches it.
class ProbeDialog : public GeModalDialog
{
public:
	std::vector<std::pair<Int32, std::string>> commands;
	bool keep_open = false;

	Bool CreateLayout() override { return LoadDialogResource(DLG_TW_SD_IMPORTER, nullptr, 0); }
	Bool InitValues() override
	{
		SetBool(TW_SDIMP_UVW, true);
		Enable(TW_SDIMP_BAKE_KEYS, false);
		return true;
	}
	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		commands.emplace_back(id, msg.GetData(BFM_ACTION_VALUE).GetFilename().Get());
		if (id == TW_SDIMP_SCENE_FILE)
			SetString(TW_SDIMP_INFO_COUNT, "seen");
		if (id == TW_SDIMP_OK)
			Close(true);
		return true;
	}
	Bool AskClose() override { return keep_open; }
};

TEST_F(HostScene, ModalDialogsRunTheScriptOnTheirResourceGadgets)
{
	ProbeDialog unscripted;
	EXPECT_FALSE(unscripted.Open()); // nobody there: cancelled at once
	ASSERT_EQ(headless::OpenedDialogs().size(), 1u);
	EXPECT_EQ(headless::OpenedDialogs()[0], DLG_TW_SD_IMPORTER);

	headless::SetModalDialogScript([](headless::DialogDriver& d) {
		EXPECT_EQ(d.Title(), "Tidewell SD Importer");
		std::vector<headless::Gadget> gadgets = d.Gadgets();
		ASSERT_EQ(gadgets.size(), 9u);
		EXPECT_EQ(gadgets[0].id, TW_SDIMP_CAMERA_FILE);
		EXPECT_EQ(gadgets[0].kind, "FILENAME");
		EXPECT_EQ(gadgets[4].name, "Create missing objects");
		EXPECT_TRUE(d.GetCheck(TW_SDIMP_UVW));
		EXPECT_TRUE(d.SetFilename(TW_SDIMP_SCENE_FILE, "/tmp/a.sd"));
		EXPECT_EQ(d.GetText(TW_SDIMP_INFO_COUNT), "seen");
		EXPECT_FALSE(d.SetCheck(TW_SDIMP_BAKE_KEYS, true)); // disabled
		EXPECT_FALSE(d.Press(4242));
		EXPECT_TRUE(d.Press(TW_SDIMP_OK));
		EXPECT_FALSE(d.IsOpen());
		EXPECT_FALSE(d.Press(TW_SDIMP_CANCEL)); // closed: nothing reaches it any more
	});
	ProbeDialog dlg;
	EXPECT_TRUE(dlg.Open());
	ASSERT_EQ(dlg.commands.size(), 2u);
	EXPECT_EQ(dlg.commands[0].first, TW_SDIMP_SCENE_FILE);
	EXPECT_EQ(dlg.commands[0].second, "/tmp/a.sd");
	EXPECT_EQ(dlg.commands[1].first, TW_SDIMP_OK);

	// the window's close box asks the dialog; a script that leaves it open cancels it
	headless::SetModalDialogScript([](headless::DialogDriver& d) { EXPECT_FALSE(d.CloseWindow()); });
	ProbeDialog stubborn;
	stubborn.keep_open = true;
	EXPECT_FALSE(stubborn.Open());
	EXPECT_FALSE(stubborn.GetResult());
}

} // namespace
