// host_rules_test.cpp - where the headless host follows the host's documented behaviour: its numbers,
// when deformers run, and what the attribute manager does to a value a user enters.
#include "host_test.h"

#include "TW_Mesh_Importer.h"
#include "c4d_main.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace
{

TEST(HostValues, AreTheHostsDocumentedNumbers)
{
	const std::pair<Int64, Int64> values[] = {
		{DIRTYFLAGS_MATRIX, 2}, {DIRTYFLAGS_DATA, 4}, {DIRTYFLAGS_CACHE, 16}, {MSG_POINTS_CHANGED, 1}, {MSG_UPDATE, 5},
		{MSG_FILTER, 14}, {MSG_DESCRIPTION_CHECKUPDATE, 17}, {MSG_DESCRIPTION_COMMAND, 18},
		{MSG_DESCRIPTION_POSTSETPARAMETER, 19}, {MSG_MENUPREPARE, 22}, {MSG_DESCRIPTION_USERINTERACTION_END, 31},
		{C4DPL_MESSAGE, 6}, {DESC_PARENTGROUP, 13}, {DESC_CYCLE, 14}, {DTYPE_SEPARATOR, 11}, {DTYPE_STATICTEXT, 12},
		{CUSTOMDATATYPE_GRADIENT, 1000481}, {DA_GRADIENT, 1000481}, {ASSETDATA_FLAG_NET, 4},
		{ASSETDATA_FLAG_WITHCACHES, 16}, {COPYFLAGS_NO_BITS, 16}, {PLUGINFLAG_HIDE, 1 << 29},
		{PLUGINFLAG_HIDEPLUGINMENU, 1 << 28}, {PHONGTAG_PHONG_ANGLELIMIT, 1001}, {PHONGTAG_PHONG_ANGLE, 1002},
		{PHONGTAG_PHONG_USEEDGES, 1003}, {ID_TP_DATA_TYPE_PARTICLE, 1001395}, {ID_TP_VALUE_TYPE_PARTICLE, 1001394},
		{BASEDRAW_DRAWPORTTYPE, 1888}, {INSTANCEOBJECT_LINK, 1001}, {INSTANCEOBJECT_RENDERINSTANCE_MODE, 1002},
		{DRAWPASS_OBJECT, 0}, {PARTICLEFLAGS_VISIBLE, 1}, {PARTICLEFLAGS_ALIVE, 2}, {Tparticle, 5630}, {Oparticle, 5109},
		{Oinstance, 5126}};
	for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
		EXPECT_EQ(values[i].first, values[i].second) << "entry " << i;
}

// Fault: a float value outside the integer's range (or not a number) read as an integer was a plain
// cast, undefined behaviour; it is held to the range, and not a number reads as 0.
TEST(HostValues, FloatsReadAsIntegersStayInRange)
{
	const Float nan = std::numeric_limits<Float>::quiet_NaN();
	const std::pair<Float, Int64> as32[] = {{2.9, 2}, {-2.9, -2}, {1e20, std::numeric_limits<Int32>::max()},
		{-1e20, std::numeric_limits<Int32>::min()}, {nan, 0}};
	for (const auto& c : as32)
		EXPECT_EQ(GeData(c.first).GetInt32(), c.second) << c.first;
	EXPECT_EQ(GeData(1e30).GetInt64(), std::numeric_limits<Int64>::max());
	EXPECT_EQ(GeData(-1e30).GetInt64(), std::numeric_limits<Int64>::min());
	EXPECT_EQ(GeData(nan).GetInt64(), 0);
}

// --- deformers

// Counts what the host asks; moves its parent's copy to x = 10 + the number of deformations.
struct ProbeDeformer : public ObjectData
{
	static int checks, modifies;
	static bool mark_dirty;
	static BaseThread* thread_seen;
	static NodeData* Alloc() { return new ProbeDeformer(); }
	void CheckDirty(BaseObject* op, BaseDocument* doc) override
	{
		(void)doc;
		++checks;
		if (mark_dirty)
			op->SetDirty(DIRTYFLAGS_DATA);
	}
	Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg, Float lod,
		Int32 flags, BaseThread* thread) override
	{
		(void)mod; (void)doc; (void)op_mg; (void)mod_mg; (void)lod; (void)flags;
		++modifies;
		thread_seen = thread;
		op->SetMl(Matrix(Vector(10.0 + modifies, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
		return true;
	}
};
int ProbeDeformer::checks = 0;
int ProbeDeformer::modifies = 0;
bool ProbeDeformer::mark_dirty = false;
BaseThread* ProbeDeformer::thread_seen = nullptr;

// A generator that builds a new cache only when told to.
struct ProbeGenerator : public ObjectData
{
	static bool rebuild;
	static NodeData* Alloc() { return new ProbeGenerator(); }
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override
	{
		if (!rebuild && !op->CheckCache(hh))
			return op->GetCache(hh);
		rebuild = false;
		return BaseObject::Alloc(Onull);
	}
};
bool ProbeGenerator::rebuild = false;

constexpr Int32 PROBE_DEFORMER = 1999101, PROBE_GENERATOR = 1999102;

class Deformers : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		ASSERT_TRUE(RegisterObjectPlugin(PROBE_DEFORMER, "Deformer", OBJECT_MODIFIER, ProbeDeformer::Alloc, String(), nullptr, 0));
		ASSERT_TRUE(RegisterObjectPlugin(PROBE_GENERATOR, "Generator", OBJECT_GENERATOR, ProbeGenerator::Alloc, String(), nullptr, 0));
		ProbeDeformer::checks = ProbeDeformer::modifies = 0;
		ProbeDeformer::mark_dirty = false;
		ProbeGenerator::rebuild = false;
		outer = BaseObject::Alloc(Onull);
		doc->InsertObject(outer, nullptr, nullptr);
		parent = BaseObject::Alloc(PROBE_GENERATOR);
		doc->InsertObject(parent, outer, nullptr);
		mod = BaseObject::Alloc(PROBE_DEFORMER);
		doc->InsertObject(mod, parent, nullptr);
	}
	void Evaluate() { doc->ExecutePasses(nullptr, true, true, true, 0); }

	BaseObject* outer = nullptr;
	BaseObject* parent = nullptr;
	BaseObject* mod = nullptr;
};

TEST_F(Deformers, RunOnlyWhenTheyOrWhatTheyDeformChangedAndOtherwiseKeepTheirResult)
{
	Evaluate();
	ASSERT_EQ(ProbeDeformer::modifies, 1);
	const BaseObject* first = parent->GetDeformCache();
	ASSERT_NE(first, nullptr);

	// Nothing changed: asked, but the last result stays, stale or not.
	doc->SetTime(BaseTime(3, 25));
	Evaluate();
	EXPECT_EQ(ProbeDeformer::checks, 2);
	EXPECT_EQ(ProbeDeformer::modifies, 1);
	EXPECT_EQ(parent->GetDeformCache(), first);
	EXPECT_EQ(parent->GetDeformCache()->GetMl().off, Vector(11, 0, 0));

	const Matrix moved(Vector(0, 5, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
	const std::pair<const char*, std::function<void()>> changes[] = {
		{"the deformer marks itself dirty", [] { ProbeDeformer::mark_dirty = true; }},
		{"a parameter of the deformer", [&] { mod->SetParameter(1000, GeData(Int32(1))); }},
		{"the deformer moves", [&] { mod->SetMl(moved); }},
		{"a parameter of the parent", [&] { parent->SetParameter(1000, GeData(Int32(2))); }},
		{"the parent moves", [&] { parent->SetMl(moved); }},
		{"the parent's parent moves", [&] { outer->SetMl(Matrix(Vector(7, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1))); }},
		{"the parent's cache is rebuilt", [] { ProbeGenerator::rebuild = true; }},
	};
	for (const auto& change : changes)
	{
		const int before = ProbeDeformer::modifies;
		change.second();
		Evaluate();
		ProbeDeformer::mark_dirty = false;
		EXPECT_EQ(ProbeDeformer::modifies, before + 1) << change.first;
		ASSERT_NE(parent->GetDeformCache(), nullptr) << change.first;
		EXPECT_EQ(parent->GetDeformCache()->GetMl().off, Vector(10.0 + before + 1, 0, 0)) << change.first;
		Evaluate();
		EXPECT_EQ(ProbeDeformer::modifies, before + 1) << change.first << ", then nothing";
	}
	EXPECT_EQ(ProbeDeformer::thread_seen, nullptr);

	// Without a deformer there is no deformed copy.
	BaseObject::Free(mod);
	Evaluate();
	EXPECT_EQ(parent->GetDeformCache(), nullptr);
}

// --- what a user enters in the attribute manager

// A node whose description has one element of each kind the tests need.
struct ProbeDescribed : public ObjectData
{
	static NodeData* Alloc() { return new ProbeDescribed(); }
	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override
	{
		(void)node;
		auto add = [&](Int32 id, Int32 dtype, bool limited, Float min, Float max) {
			BaseContainer bc = GetCustomDataTypeDefault(dtype);
			if (limited)
			{
				bc.SetFloat(DESC_MIN, min);
				bc.SetFloat(DESC_MAX, max);
			}
			description->SetParameter(DescID(id, dtype), bc, DescID(0));
		};
		add(PERCENT, DTYPE_LONG, true, 0.0, 100.0);
		add(COUNT, DTYPE_LONG, false, 0.0, 0.0);
		add(FACTOR, DTYPE_REAL, true, -1.0, 1.0);
		add(SCALE, DTYPE_REAL, false, 0.0, 0.0);
		add(SWITCH, DTYPE_BOOL, false, 0.0, 0.0);
		add(PATH, DTYPE_FILENAME, false, 0.0, 0.0);
		flags |= DESCFLAGS_DESC_LOADED;
		return true;
	}
	enum
	{
		PERCENT = 1000,
		COUNT,
		FACTOR,
		SCALE,
		SWITCH,
		PATH,
		UNDESCRIBED = 2000,
	};
};

constexpr Int32 PROBE_DESCRIBED = 1999103;

class UserParameters : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		ASSERT_TRUE(RegisterObjectPlugin(PROBE_DESCRIBED, "Described", 0, ProbeDescribed::Alloc, String(), nullptr, 0));
		op = BaseObject::Alloc(PROBE_DESCRIBED);
		doc->InsertObject(op, nullptr, nullptr);
	}
	BaseObject* op = nullptr;
};

TEST_F(UserParameters, AreConvertedToTheDescriptionsTypeAndHeldToItsLimits)
{
	const Float nan = std::numeric_limits<Float>::quiet_NaN(), inf = std::numeric_limits<Float>::infinity();
	struct Case
	{
		Int32 id;
		GeData in;
		GeData stored;
	};
	const Case cases[] = {
		{ProbeDescribed::PERCENT, GeData(42.4), GeData(Int32(42))},
		{ProbeDescribed::PERCENT, GeData(42.5), GeData(Int32(43))},
		{ProbeDescribed::PERCENT, GeData(150.0), GeData(Int32(100))},
		{ProbeDescribed::PERCENT, GeData(Int32(-3)), GeData(Int32(0))},
		{ProbeDescribed::COUNT, GeData(-2.5), GeData(Int32(-3))},
		{ProbeDescribed::COUNT, GeData(inf), GeData(std::numeric_limits<Int32>::max())},
		{ProbeDescribed::COUNT, GeData(Int64(1) << 40), GeData(std::numeric_limits<Int32>::max())},
		{ProbeDescribed::FACTOR, GeData(2.5), GeData(1.0)},
		{ProbeDescribed::FACTOR, GeData(Int32(-7)), GeData(-1.0)},
		{ProbeDescribed::FACTOR, GeData(0.25), GeData(0.25)},
		{ProbeDescribed::SCALE, GeData(Int32(3)), GeData(3.0)},
		{ProbeDescribed::SWITCH, GeData(Int32(5)), GeData(true)},
		{ProbeDescribed::SWITCH, GeData(0.5), GeData(true)},
		{ProbeDescribed::SWITCH, GeData(0.0), GeData(false)},
		{ProbeDescribed::PATH, GeData("a/b.bin"), GeData(Filename("a/b.bin"))},
		{ProbeDescribed::UNDESCRIBED, GeData(1.5), GeData(1.5)},
	};
	for (const Case& c : cases)
	{
		EXPECT_TRUE(headless::UserSetParameter(op, c.id, c.in)) << c.id;
		EXPECT_TRUE(op->GetParameter(c.id) == c.stored) << c.id << " stored " << op->GetParameter(c.id).GetFloat();
	}

	// What an attribute manager cannot produce is refused and leaves the value alone.
	const Case refused[] = {
		{ProbeDescribed::PERCENT, GeData("12"), GeData(Int32(0))},
		{ProbeDescribed::PERCENT, GeData(nan), GeData(Int32(0))},
		{ProbeDescribed::FACTOR, GeData(nan), GeData(0.25)},
		{ProbeDescribed::SWITCH, GeData(Vector(1.0)), GeData(false)},
		{ProbeDescribed::PATH, GeData(Int32(1)), GeData(Filename("a/b.bin"))},
	};
	for (const Case& c : refused)
	{
		EXPECT_FALSE(headless::UserSetParameter(op, c.id, c.in)) << c.id;
		EXPECT_TRUE(op->GetParameter(c.id) == c.stored) << c.id;
	}
}

TEST_F(UserParameters, LimitsOfAResourceDescriptionHoldToo)
{
	BaseObject* importer = BaseObject::Alloc(ID_TW_MESH_IMPORTER);
	ASSERT_NE(importer, nullptr);
	doc->InsertObject(importer, nullptr, nullptr);
	EXPECT_TRUE(headless::UserSetParameter(importer, TW_MI_FACE_PERCENT, GeData(250.0)));
	EXPECT_TRUE(importer->GetParameter(TW_MI_FACE_PERCENT) == GeData(Int32(100)));
	EXPECT_TRUE(headless::UserSetParameter(importer, TW_MI_CACHE_WINDOW, GeData(Int32(-4))));
	EXPECT_TRUE(importer->GetParameter(TW_MI_CACHE_WINDOW) == GeData(Int32(0)));
	EXPECT_TRUE(headless::UserSetParameter(importer, TW_MI_HOLD, GeData(Int32(7))));
	EXPECT_TRUE(importer->GetParameter(TW_MI_HOLD) == GeData(true));
}

} // namespace
