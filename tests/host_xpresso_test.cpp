// host_xpresso_test.cpp - XPresso graphs in the headless host: nodes, ports, connections, the calculation
// cycle with iteration, copies of the tag, and the recording node.
#include "host_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

constexpr Int32 kIterate = 1999201, kDouble = 1999202, kNamed = 1999203;
constexpr Int32 kCount = 1, kFailInit = 2, kFailCode = 3; // op container entries

std::vector<std::string> events; // "free <title>" and "end <title>" in the order they came

// Outputs 0, 1, ..., count-1 on port 10 (integer), one pass per value, each passed on.
struct Iterate : public GvOperatorData
{
	static NodeData* Alloc() { return new Iterate(); }
	Int32 count = 0;
	Int32 current = 0;
	Bool iCreateOperator(GvNode* bn) override { return bn->AddPort(GV_PORT_OUTPUT, 10) != nullptr; }
	Bool iGetPortDescription(GvNode* bn, GvPortIO io, Int32 id, GvPortDescription* pd) override
	{
		(void)bn;
		if (io != GV_PORT_OUTPUT || id != 10)
			return false;
		pd->name = "Value";
		pd->data_id = DTYPE_LONG;
		return true;
	}
	Bool InitCalculation(GvNode* bn, GvCalc* calc, GvRun* run) override
	{
		(void)calc;
		(void)run;
		count = bn->GetOpContainerInstance()->GetInt32(kCount);
		return true;
	}
	void FreeCalculation(GvNode* bn, GvCalc* calc) override
	{
		(void)calc;
		events.push_back("end " + bn->GetName().Get());
	}
	Bool AddToCalculationTable(GvNode* bn, GvRun* run) override { return run->AddNodeToCalculationTable(bn); }
	Bool Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc) override
	{
		if (port)
			return true;
		for (current = 0; current < count; ++current)
		{
			run->IncrementID();
			bn->GetOutPort(0)->SetInteger(current, run);
			bn->SetRecalculate(run);
			calc->master->Recalculate(bn, run, calc);
		}
		return true;
	}
};

// Port 20 (float) in, port 21 (float) out = twice the input; optionally fails its calculation start.
struct Double : public GvOperatorData
{
	static NodeData* Alloc() { return new Double(); }
	static int calculations;
	Bool iCreateOperator(GvNode* bn) override
	{
		return bn->AddPort(GV_PORT_INPUT, 20) && bn->AddPort(GV_PORT_OUTPUT, 21);
	}
	Bool iGetPortDescription(GvNode* bn, GvPortIO io, Int32 id, GvPortDescription* pd) override
	{
		(void)bn;
		(void)io;
		if (id == 20 || id == 21 || id == 22)
		{
			pd->name = id == 20 ? "In" : id == 21 ? "Out" : "Text";
			pd->data_id = id == 22 ? DTYPE_STRING : DTYPE_REAL;
			return true;
		}
		return false;
	}
	Bool InitCalculation(GvNode* bn, GvCalc* calc, GvRun* run) override
	{
		(void)calc;
		(void)run;
		const BaseContainer* bc = bn->GetOpContainerInstance();
		if (!bc->GetBool(kFailInit))
			return true;
		bn->SetError(bc->GetInt32(kFailCode));
		return false;
	}
	void FreeCalculation(GvNode* bn, GvCalc* calc) override
	{
		(void)calc;
		events.push_back("end " + bn->GetName().Get());
	}
	Bool Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc) override
	{
		(void)calc;
		if (!port || port->GetMainID() == 22)
			return true; // the text output keeps what it was given
		++calculations;
		Float f = 0.0;
		bn->GetInPort(0)->GetFloat(&f, run);
		return port->SetFloat(2.0 * f, run);
	}
	String GetTitle(GvNode* bn) override
	{
		(void)bn;
		return "Double";
	}
	void Free(GeListNode* node) override { events.push_back("free " + static_cast<GvNode*>(node)->GetName().Get()); }
};
int Double::calculations = 0;

// Gives no title of its own.
struct Named : public GvOperatorData
{
	static NodeData* Alloc() { return new Named(); }
};

class Xpresso : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		const Int32 c = ID_GV_OPCLASS_TYPE_GENERAL, g = ID_GV_OPGROUP_TYPE_XPRESSO;
		ASSERT_TRUE(GvRegisterOperatorPlugin(kIterate, "Iterate", 0, Iterate::Alloc, String(), 0, c, g, 0, nullptr));
		ASSERT_TRUE(GvRegisterOperatorPlugin(kDouble, "Double", 0, Double::Alloc, String(), 0, c, g, 0, nullptr));
		ASSERT_TRUE(GvRegisterOperatorPlugin(kNamed, "#$12#Named op", 0, Named::Alloc, String(), 0, c, g, 0, nullptr));
		events.clear();
		Double::calculations = 0;
		holder = BaseObject::Alloc(Onull);
		doc->InsertObject(holder, nullptr, nullptr);
		tag = static_cast<XPressoTag*>(holder->MakeTag(Texpresso));
		ASSERT_NE(tag, nullptr);
		master = tag->GetNodeMaster();
	}

	GvNode* Node(Int32 id, const char* name, GvNodeMaster* m = nullptr)
	{
		GvNode* n = (m ? m : master)->CreateNode(nullptr, id);
		if (n)
			n->SetName(name);
		return n;
	}

	// iterate(count) -> double -> recorder, plus the iterator's value straight to the recorder.
	GvNode* Chain(Int32 count)
	{
		iterate = Node(kIterate, "iterate");
		twice = Node(kDouble, "double");
		recorder = headless::AddRecordingNode(master);
		iterate->GetOpContainerInstance()->SetInt32(kCount, count);
		EXPECT_TRUE(iterate->GetOutPort(0)->Connect(twice->GetInPort(0)));
		EXPECT_NE(headless::RecordPort(recorder, iterate->GetOutPort(0)), nullptr);
		EXPECT_NE(headless::RecordPort(recorder, twice->GetOutPort(0)), nullptr);
		return recorder;
	}

	BaseObject* holder = nullptr;
	XPressoTag* tag = nullptr;
	GvNodeMaster* master = nullptr;
	GvNode *iterate = nullptr, *twice = nullptr, *recorder = nullptr;
};

TEST_F(Xpresso, IteratingNodePassesEachValueThroughToTheRecorderInOrder)
{
	Chain(4);
	EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_NONE);
	const headless::RecordedValues* rec = headless::Recording(recorder);
	ASSERT_NE(rec, nullptr);
	ASSERT_EQ(rec->columns.size(), 2u);
	EXPECT_EQ(rec->columns[0].name, "Value");
	EXPECT_EQ(rec->columns[0].type, DTYPE_LONG);
	EXPECT_EQ(rec->columns[0].integers, (std::vector<Int32>{0, 1, 2, 3}));
	EXPECT_EQ(rec->columns[1].name, "Out");
	// the integer output reaches the float input converted
	EXPECT_EQ(rec->columns[1].floats, (std::vector<Float>{0.0, 2.0, 4.0, 6.0}));
	EXPECT_EQ(rec->calculations, 4);
	EXPECT_EQ(Double::calculations, 4); // once per pass, though the recorder reads it once per pass too

	headless::ClearRecording(recorder);
	headless::SetRecordingKeeps(recorder, false);
	EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_NONE);
	EXPECT_EQ(rec->calculations, 4);
	EXPECT_EQ(rec->columns[0].Size(), 0u);
}

TEST_F(Xpresso, IteratorOverNothingLeavesEverythingDownstreamUncalculated)
{
	Chain(0);
	EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_NONE);
	EXPECT_EQ(headless::Recording(recorder)->calculations, 0);
	EXPECT_EQ(Double::calculations, 0);
}

TEST_F(Xpresso, FailedCalculationStartDropsWhatIsDownstreamAndStillFreesTheOthers)
{
	struct Case
	{
		Int32 code, expected;
	};
	for (Case c : {Case{0, GV_CALC_ERR_INIT_FAILED}, Case{GV_CALC_ERR_NO_MEMORY, GV_CALC_ERR_NO_MEMORY}})
	{
		SCOPED_TRACE(c.code);
		for (GvNode* n = master->GetRoot()->GetDown(); n;)
		{
			GvNode* next = n->GetNext();
			master->FreeNode(n);
			n = next;
		}
		Chain(3);
		GvNode* other = Node(kIterate, "other");
		twice->GetOpContainerInstance()->SetBool(kFailInit, true);
		twice->GetOpContainerInstance()->SetInt32(kFailCode, c.code);
		events.clear();
		Double::calculations = 0;
		EXPECT_EQ(master->Execute(nullptr), c.expected);
		EXPECT_EQ(twice->GetError(), c.expected);
		EXPECT_EQ(Double::calculations, 0);
		EXPECT_EQ(headless::Recording(recorder)->calculations, 0); // the recorder hangs below it
		EXPECT_EQ(events, (std::vector<std::string>{"end iterate", "end other"}));
		EXPECT_EQ(other->GetError(), GV_CALC_ERR_NONE);

		// the error is the last calculation's: it clears once the node succeeds
		twice->GetOpContainerInstance()->SetBool(kFailInit, false);
		EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_NONE);
		EXPECT_EQ(twice->GetError(), GV_CALC_ERR_NONE);
		EXPECT_EQ(headless::Recording(recorder)->calculations, 3);
	}
}

TEST_F(Xpresso, CycleOfConnectionsDropsOutInsteadOfLooping)
{
	Chain(2);
	GvNode* back = Node(kDouble, "back");
	ASSERT_TRUE(twice->GetOutPort(0)->Connect(back->GetInPort(0)));
	// twice's input now comes from back: twice -> back -> twice
	ASSERT_TRUE(back->GetOutPort(0)->Connect(twice->GetInPort(0)));
	EXPECT_EQ(iterate->GetOutPort(0)->IsConnected(), true); // still feeds the recorder
	EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_INVALID);
	EXPECT_EQ(twice->GetError(), GV_CALC_ERR_INVALID);
	EXPECT_EQ(back->GetError(), GV_CALC_ERR_INVALID);
	EXPECT_EQ(iterate->GetError(), GV_CALC_ERR_NONE);
	EXPECT_EQ(headless::Recording(recorder)->calculations, 0); // downstream of the cycle
	EXPECT_EQ(Double::calculations, 0);
}

TEST_F(Xpresso, CopiedTagCarriesItsOwnGraph)
{
	Chain(2);
	twice->GetOpContainerInstance()->SetInt32(kCount, 77);
	BaseObject* copy_holder = holder->GetClone();
	ASSERT_NE(copy_holder, nullptr);
	doc->InsertObject(copy_holder, nullptr, nullptr);
	auto* copy = static_cast<XPressoTag*>(copy_holder->GetTag(Texpresso));
	ASSERT_NE(copy, nullptr);
	ASSERT_NE(copy->GetNodeMaster(), master);
	EXPECT_EQ(copy->GetNodeMaster()->GetOwner(), copy);

	// free the original graph: the copy must not lean on it
	BaseObject::Free(holder);
	GvNodeMaster* cm = copy->GetNodeMaster();
	GvNode* c_iterate = cm->GetRoot()->GetDown();
	ASSERT_NE(c_iterate, nullptr);
	GvNode* c_double = c_iterate->GetNext();
	GvNode* c_recorder = c_double->GetNext();
	ASSERT_NE(c_recorder, nullptr);
	EXPECT_EQ(c_double->GetTitle(), String("Double"));
	EXPECT_EQ(c_double->GetName(), String("double"));
	EXPECT_EQ(c_double->GetOpContainerInstance()->GetInt32(kCount), 77);
	EXPECT_EQ(c_double->GetInPort(0)->GetSource(), c_iterate->GetOutPort(0));
	EXPECT_EQ(c_recorder->GetInPortCount(), 2);
	EXPECT_EQ(c_iterate->GetDocument(), doc);

	EXPECT_EQ(cm->Execute(nullptr), GV_CALC_ERR_NONE);
	EXPECT_EQ(headless::Recording(c_recorder)->columns[1].floats, (std::vector<Float>{0.0, 2.0}));
}

TEST_F(Xpresso, PortValuesKeepTheirType)
{
	GvNode* a = Node(kDouble, "a");
	GvNode* b = Node(kDouble, "b");
	GvRun run;
	GvPort* out = a->GetOutPort(0);
	EXPECT_FALSE(out->SetVector(Vector(1, 2, 3), &run));
	EXPECT_FALSE(out->SetInteger(3, &run));
	EXPECT_FALSE(out->SetString("x", &run));
	Int32 i = 4;
	EXPECT_FALSE(out->SetData(&i, DTYPE_LONG, &run));
	EXPECT_TRUE(out->SetFloat(1.5, &run));
	Float f = 0.0;
	EXPECT_TRUE(out->GetFloat(&f, &run));
	EXPECT_EQ(f, 1.5);

	// undescribed IDs give no port, unknown operators no node
	EXPECT_EQ(a->AddPort(GV_PORT_INPUT, 99), nullptr);
	EXPECT_EQ(master->CreateNode(nullptr, 1999299), nullptr);
	EXPECT_EQ(master->CreateNode(nullptr, Onull), nullptr);

	// connections: output to input only, not to itself, one source per input
	GvPort* in_b = b->GetInPort(0);
	EXPECT_FALSE(in_b->Connect(out));
	EXPECT_FALSE(out->Connect(a->GetInPort(0)));
	EXPECT_TRUE(out->Connect(in_b));
	EXPECT_TRUE(b->GetOutPort(0)->Connect(a->GetInPort(0)));
	EXPECT_EQ(in_b->GetSource(), out);
	GvNode* c = Node(kDouble, "c");
	EXPECT_TRUE(c->GetOutPort(0)->Connect(in_b));
	EXPECT_EQ(in_b->GetSource(), c->GetOutPort(0));
	EXPECT_FALSE(out->IsConnected());
	EXPECT_TRUE(b->RemovePort(in_b));
	EXPECT_FALSE(c->GetOutPort(0)->IsConnected());
}

TEST_F(Xpresso, MismatchedConnectionLeavesTheInputAsItWas)
{
	Chain(2);
	// a string output into the recorder's float column's source: recorded values stay the last good ones
	GvNode* text = Node(kDouble, "text");
	GvPort* s = text->AddPort(GV_PORT_OUTPUT, 22);
	ASSERT_NE(s, nullptr);
	GvRun run;
	ASSERT_TRUE(s->SetString("abc", &run));
	twice->GetInPort(0)->SetFloat(5.0, nullptr);
	ASSERT_TRUE(s->Connect(twice->GetInPort(0)));
	EXPECT_EQ(master->Execute(nullptr), GV_CALC_ERR_NONE);
	EXPECT_EQ(headless::Recording(recorder)->columns[1].floats, (std::vector<Float>{10.0, 10.0}));
}

TEST_F(Xpresso, NodeSeesTheDocumentOfItsTagsObjectAtTheTimeOfAsking)
{
	BaseObject* loose = BaseObject::Alloc(Onull);
	BaseTag* t = loose->MakeTag(Texpresso);
	GvNode* n = static_cast<XPressoTag*>(t)->GetNodeMaster()->CreateNode(nullptr, kDouble);
	ASSERT_NE(n, nullptr);
	EXPECT_EQ(n->GetDocument(), nullptr);
	doc->InsertObject(loose, nullptr, nullptr); // the tag went on before the object joined the document
	EXPECT_EQ(n->GetDocument(), doc);
	loose->Remove();
	EXPECT_EQ(n->GetDocument(), nullptr);
	BaseObject::Free(loose);
}

TEST_F(Xpresso, TitleAndOperatorContainer)
{
	GvNode* n = Node(kNamed, "n");
	EXPECT_EQ(n->GetTitle(), String("Named op")); // the registration's name without its menu prefix
	EXPECT_EQ(Node(kDouble, "d")->GetTitle(), String("Double"));
	BaseContainer* op = n->GetOpContainerInstance();
	op->SetString(1001, "group");
	EXPECT_EQ(n->GetDataInstance()->GetContainer(GV_OPERATOR_CONTAINER).GetString(1001), String("group"));
	EXPECT_EQ(n->GetOpContainerInstance(), op);
}

TEST_F(Xpresso, UnloadingTheModuleFreesTheOperatorDataOfNodesStillAlive)
{
	XPressoTag* loose = XPressoTag::Alloc();
	GvNode* n = loose->GetNodeMaster()->CreateNode(nullptr, kDouble);
	n->SetName("loose");
	module.Unload();
	EXPECT_EQ(events, (std::vector<std::string>{"free loose"}));
	EXPECT_EQ(n->GetOperatorData(), nullptr);
	BaseTag* t = loose;
	BaseTag::Free(t);
	EXPECT_EQ(events.size(), 1u);
}

} // namespace
