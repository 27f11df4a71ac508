// host_values_test.cpp - parameter values and containers: every kind survives a container, a copy and
// an assignment; IDs stay in order; values taken from the same container stay whole; objects stay small.
#include "host_test.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

Gradient TwoKnots()
{
	Gradient g;
	g.InsertKnot(Vector(0, 0, 1), 0.0);
	g.InsertKnot(Vector(1, 0, 0), 1.0, 0.5, 0.25, GRADIENT_INTERPOLATION_LINEAR);
	return g;
}

BaseContainer Nested()
{
	BaseContainer inner(7);
	inner.SetString(1, "inner text that is longer than any small-string buffer");
	inner.SetVector(2, Vector(1, 2, 3));
	return inner;
}

struct Kind
{
	const char* name;
	GeData value;
	std::function<bool(const GeData&)> reads_back;
};

std::vector<Kind> Kinds()
{
	static int anchor = 0;
	return {
		{"int32", GeData(Int32(-42)), [](const GeData& d) { return d.GetInt32() == -42 && d.GetType() == DA_LONG; }},
		{"bool", GeData(true), [](const GeData& d) { return d.GetBool() && d.GetType() == DA_LONG; }},
		{"int64", GeData(Int64(1) << 40), [](const GeData& d) { return d.GetInt64() == (Int64(1) << 40); }},
		{"float", GeData(2.5), [](const GeData& d) { return d.GetFloat() == 2.5 && d.GetInt32() == 2; }},
		{"vector", GeData(Vector(1, -2, 3)), [](const GeData& d) { return d.GetVector() == Vector(1, -2, 3); }},
		{"string", GeData(String("a string long enough to live on the heap, not inline")),
			[](const GeData& d) { return d.GetString().Get() == "a string long enough to live on the heap, not inline"; }},
		{"filename", GeData(Filename("/tmp/x.bin")),
			[](const GeData& d) { return d.GetFilename().Get() == "/tmp/x.bin" && d.GetString().Get().empty(); }},
		{"time", GeData(BaseTime(7, 25)), [](const GeData& d) { return d.GetTime() == BaseTime(7, 25); }},
		{"void", GeData(&anchor, DA_VOID), [](const GeData& d) { return d.GetVoid() == &anchor; }},
		{"gradient", GeData(TwoKnots()),
			[](const GeData& d) { return d.GetGradient() && *d.GetGradient() == TwoKnots(); }},
		{"container", GeData(Nested()), [](const GeData& d) { return d.GetContainer() && *d.GetContainer() == Nested(); }},
		{"nil", GeData(), [](const GeData& d) { return d.GetType() == DA_NIL && d.GetInt32() == 0; }},
	};
}

TEST(HostValues, EveryKindSurvivesAContainerACopyAndAnAssignment)
{
	for (const Kind& k : Kinds())
	{
		BaseContainer bc;
		bc.SetData(5, k.value);
		EXPECT_TRUE(k.reads_back(bc.GetData(5))) << k.name;
		const BaseContainer copy = bc;
		bc.SetData(5, GeData(Int32(1))); // the copy keeps its own value
		EXPECT_TRUE(k.reads_back(copy.GetData(5))) << k.name;
		GeData assigned(String("replaced"));
		assigned = copy.GetData(5);
		EXPECT_TRUE(k.reads_back(assigned)) << k.name;
		GeData moved(std::move(assigned));
		EXPECT_TRUE(k.reads_back(moved)) << k.name;
		EXPECT_EQ(moved, k.value) << k.name;
		for (const Kind& other : Kinds())
		{
			if (std::string(other.name) != k.name && !(k.value.GetType() == DA_LONG && other.value.GetType() == DA_LONG))
			{
				EXPECT_NE(moved, other.value) << k.name << " vs " << other.name;
			}
		}
	}
}

TEST(HostValues, ContainerIdsStayAscendingWhateverTheOrderOfSetting)
{
	BaseContainer bc;
	for (Int32 id : {99999, 1001, -3, 1123412345, 1002, 0, 1001})
		bc.SetInt32(id, id);
	EXPECT_EQ(bc.GetIds(), (std::vector<Int32>{-3, 0, 1001, 1002, 99999, 1123412345}));
	EXPECT_EQ(bc.GetCount(), 6);
	EXPECT_TRUE(bc.RemoveData(1002));
	EXPECT_FALSE(bc.RemoveData(1002));
	EXPECT_EQ(bc.GetInt32(1002, -7), -7);
	EXPECT_EQ(bc.GetInt32(99999), 99999);
	EXPECT_EQ(bc.GetDataPointer(5), nullptr);

	BaseContainer other;
	for (Int32 id : {1123412345, 99999, 1001, 0, -3})
		other.SetInt32(id, id);
	EXPECT_EQ(bc, other); // the order of setting does not matter
	other.SetInt32(0, 1);
	EXPECT_FALSE(bc == other);
}

// A value read from a container and set back into it under a new ID must be copied before the
// container makes room for it, or it is read from moved memory.
TEST(HostValues, AValueOfTheSameContainerSetUnderANewIdStaysWhole)
{
	BaseContainer bc;
	bc.SetString(1, "a string long enough to live on the heap, not inline");
	bc.SetContainer(2, Nested());
	for (Int32 id = 10; id < 200; ++id) // many insertions, so the storage grows and moves
		bc.SetData(id, bc.GetData(id % 2 ? 1 : 2));
	EXPECT_EQ(bc.GetString(199).Get(), "a string long enough to live on the heap, not inline");
	EXPECT_EQ(bc.GetContainer(198), Nested());

	// an entry replaced by a value held inside itself
	BaseContainer* inner = bc.GetContainerInstance(2);
	ASSERT_NE(inner, nullptr);
	bc.SetData(2, inner->GetData(2));
	EXPECT_EQ(bc.GetVector(2), Vector(1, 2, 3));
}

TEST(HostValues, ANestedContainerInstanceIsTheStoredOne)
{
	BaseContainer bc;
	bc.SetContainer(3, Nested());
	BaseContainer* inner = bc.GetContainerInstance(3);
	ASSERT_NE(inner, nullptr);
	for (Int32 id = 4; id < 50; ++id)
		bc.SetInt32(id, id); // the outer container grows; the nested one stays where it is
	inner->SetInt32(9, 9);
	EXPECT_EQ(bc.GetContainer(3).GetInt32(9), 9);
	EXPECT_EQ(bc.GetContainerInstance(4), nullptr);
}

TEST(HostValues, ALinkToAFreedNodeReadsAsNullInEveryCopy)
{
	BaseObject* op = BaseObject::Alloc(Onull);
	BaseContainer bc;
	bc.SetLink(1001, op);
	const BaseContainer copy = bc;
	EXPECT_EQ(copy.GetLink(1001), op);
	BaseObject::Free(op);
	EXPECT_EQ(bc.GetLink(1001), nullptr);
	EXPECT_EQ(copy.GetLink(1001), nullptr);
	// a new node at the freed address is not the linked one
	BaseObject* again = BaseObject::Alloc(Onull);
	EXPECT_EQ(copy.GetLink(1001), nullptr);
	BaseObject::Free(again);
}

// A render of particles makes one instance object per particle: the values and the object stay small.
TEST(HostValues, ValuesContainersAndObjectsStaySmall)
{
	EXPECT_LE(sizeof(GeData), 32u);
	EXPECT_LE(sizeof(BaseContainer), 32u);
	EXPECT_LE(sizeof(BaseObject), 320u);
}

} // namespace
