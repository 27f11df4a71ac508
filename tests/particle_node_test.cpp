// particle_node_test.cpp - the particle node in an importer's XPresso tag: ports, group choice, values per particle.
#include "host_test.h"
#include "importer_files.h"

#include "TW_Particle_Importer.h"
#include "TW_Particle_Node.h"
#include "c4d_graphview.h"
#include "c4d_particles.h"
#include "particle_bin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const Int32 NODE = 1026267;
const Int32 FIRST_PORT = 8001, LAST_PORT = 8017;

// Particle i of the hand-built frame: every channel distinct per particle and per channel.
void Fill(BinParticleFrame* f, int i)
{
	const float k = static_cast<float>(i + 1);
	for (int c = 0; c < 3; ++c)
	{
		f->position[3 * i + c] = k + 0.1f * c;
		f->velocity[3 * i + c] = 2 * k + 0.1f * c;
		f->force[3 * i + c] = 3 * k + 0.1f * c;
		f->vorticity[3 * i + c] = 4 * k + 0.1f * c;
		f->normal[3 * i + c] = 5 * k + 0.1f * c;
		f->texture[3 * i + c] = 6 * k + 0.1f * c;
	}
	f->neighbors[i] = 10 + i;
	f->info_bits[i] = static_cast<int16_t>(-3 - i);
	f->age[i] = 0.5f * k;
	f->isolation[i] = 7 * k;
	f->viscosity[i] = 8 * k;
	f->density[i] = 1000 + k;
	f->pressure[i] = 9 * k;
	f->mass[i] = 0.25f * k;
	f->temperature[i] = 300 + k;
	f->id[i] = 100 + i;
}

class ParticleNode : public HostTest
{
protected:
	BaseObject* AddImporter(const std::string& name, int count)
	{
		const std::string path = dir / (name + "_00000.bin");
		EXPECT_TRUE(WriteBinFrame(path, 0, count, Fill));
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path)));
		return op;
	}
	// An XPresso tag on op holding a particle node with every output port, each fed to a recorder.
	GvNode* AddNode(BaseObject* op)
	{
		tag = XPressoTag::Alloc();
		op->InsertTag(tag);
		GvNodeMaster* gm = tag->GetNodeMaster();
		GvNode* node = gm->CreateNode(nullptr, NODE);
		EXPECT_NE(node, nullptr);
		for (Int32 id = FIRST_PORT + 2; id <= LAST_PORT; ++id)
			EXPECT_NE(node->AddPort(GV_PORT_OUTPUT, id), nullptr) << id;
		recorder = headless::AddRecordingNode(gm);
		for (Int32 id = FIRST_PORT; id <= LAST_PORT; ++id)
			EXPECT_NE(headless::RecordPort(recorder, node->GetOutPortFirstMainID(id)), nullptr) << id;
		return node;
	}
	void EvaluateAt(int frame)
	{
		doc->SetTime(BaseTime(frame, 25.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	TP_MasterSystem* Master() { return GetThinkingParticlesMaster(doc); }
	// What the recorder received from output port id, one value per pass.
	const headless::RecordedColumn& Column(Int32 id) const
	{
		return headless::Recording(recorder)->columns.at(static_cast<size_t>(id - FIRST_PORT));
	}
	size_t Passes() const { return Column(FIRST_PORT).Size(); }

	TempDir dir;
	XPressoTag* tag = nullptr;
	GvNode* recorder = nullptr;
};

TEST_F(ParticleNode, EveryPortReadsWhatTheImporterWrote)
{
	BaseObject* op = AddImporter("drop", 3);
	GvNode* node = AddNode(op);
	EvaluateAt(0);
	EXPECT_EQ(node->GetError(), GV_CALC_ERR_NONE);
	ASSERT_EQ(Passes(), 3u);
	const Int32 id_channel = Master()->GetDataChannelNumber(String("id"));
	std::vector<bool> seen(3);
	for (size_t pass = 0; pass < 3; ++pass)
	{
		const int i = Column(8017).integers[pass] - 100;
		ASSERT_TRUE(i >= 0 && i < 3);
		seen[static_cast<size_t>(i)] = true;
		const float k = static_cast<float>(i + 1);
		// the particle port names the host particle the values were read from
		const Int32 pid = Column(8001).integers[pass];
		Int32 id = -1;
		Master()->GetData(pid, id_channel, &id, DTYPE_LONG_VALUE);
		EXPECT_EQ(id, 100 + i);
		EXPECT_EQ(Master()->Position(pid).y, Column(8002).vectors[pass].y);

		// vectors: Fill's m-th vector (m k, m k + 0.1, m k + 0.2); positions in centimetres
		const struct { Int32 port; float m, scale; } vectors[] = {
			{8002, 1, 100}, {8003, 2, 1}, {8004, 3, 1}, {8005, 4, 1}, {8006, 5, 1}, {8008, 6, 1}};
		for (const auto& v : vectors)
		{
			const Vector got = Column(v.port).vectors[pass];
			EXPECT_NEAR(got.x, (v.m * k) * v.scale, 1e-3) << v.port;
			EXPECT_NEAR(got.y, (v.m * k + 0.1f) * v.scale, 1e-3) << v.port;
			EXPECT_NEAR(got.z, (v.m * k + 0.2f) * v.scale, 1e-3) << v.port;
		}
		const struct { Int32 port; Float value; } floats[] = {{8010, 0.5f * k}, {8011, 7 * k}, {8012, 8 * k},
			{8013, 1000 + k}, {8014, 9 * k}, {8015, 0.25f * k}, {8016, 300 + k}};
		for (const auto& f : floats)
			EXPECT_NEAR(Column(f.port).floats[pass], f.value, 1e-4) << f.port;
		EXPECT_EQ(Column(8007).integers[pass], 10 + i);
		EXPECT_EQ(Column(8009).integers[pass], -3 - i);
	}
	EXPECT_EQ(seen, std::vector<bool>(3, true));
}

// The graph runs after the load of each frame, so it sees that frame's particles, not the last one's.
TEST_F(ParticleNode, ImporterRunsItsGraphAfterEveryLoad)
{
	ASSERT_TRUE(WriteBinFrame(dir / "drop_00001.bin", 1, 2, [](BinParticleFrame* f, int i) {
		Fill(f, i);
		f->position[3 * i] = 50.0f;
	}));
	BaseObject* op = AddImporter("drop", 3);
	AddNode(op);
	EvaluateAt(0);
	ASSERT_EQ(Passes(), 3u);
	EvaluateAt(1);
	ASSERT_EQ(Passes(), 5u);
	EXPECT_DOUBLE_EQ(Column(8002).vectors[3].x, 5000.0);
	EXPECT_DOUBLE_EQ(Column(8002).vectors[4].x, 5000.0);
}

// Which group a node reads: its "TP Group", else the group named after the object carrying its tag.
TEST_F(ParticleNode, GroupIsTheNamedOneOrTheTagObjects)
{
	struct Case
	{
		const char* group;
		size_t rows;
		Int32 error;
	} cases[] = {
		{"", 3, GV_CALC_ERR_NONE}, // the importer's own group
		{"TW_other", 5, GV_CALC_ERR_NONE},
		{"TW_drop", 3, GV_CALC_ERR_NONE},
		{"TW_nothing", 0, GV_CALC_ERR_INIT_FAILED},
		{"tw_drop", 0, GV_CALC_ERR_INIT_FAILED}, // names match exactly
	};
	BaseObject* op = AddImporter("drop", 3);
	AddImporter("other", 5);
	GvNode* node = AddNode(op);
	EvaluateAt(0);
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.group);
		const size_t before = Passes();
		node->GetOpContainerInstance()->SetString(TW_PN_GROUP, String(c.group));
		EXPECT_EQ(tag->GetNodeMaster()->Execute(nullptr), c.error);
		EXPECT_EQ(node->GetError(), c.error);
		EXPECT_EQ(Passes() - before, c.rows);
	}
}

// A graph on an unnamed object with no "TP Group" looks for no group: an unnamed group is no one's.
TEST_F(ParticleNode, NoNameFindsNoGroupNotAnUnnamedOne)
{
	BaseObject* op = AddImporter("drop", 3);
	GvNode* node = AddNode(op);
	EvaluateAt(0);
	TP_PGroup* unnamed = Master()->AllocParticleGroup();
	Master()->InsertParticleGroup(nullptr, unnamed, TP_INSERT_UNDERLAST);
	Master()->SetGroup(Master()->AllocParticle(), unnamed);
	ASSERT_TRUE(unnamed->GetName().IsEmpty());
	op->SetName(String());
	const size_t before = Passes();
	EXPECT_EQ(tag->GetNodeMaster()->Execute(nullptr), GV_CALC_ERR_INIT_FAILED);
	EXPECT_EQ(node->GetError(), GV_CALC_ERR_INIT_FAILED);
	EXPECT_EQ(Passes(), before);
}

// A particle the importer did not write (one another node made, say) gives zero for what it does not
// hold, never the value of the particle before it.
TEST_F(ParticleNode, DataAParticleDoesNotHoldGoesOutAsZero)
{
	BaseObject* op = AddImporter("drop", 3);
	GvNode* node = AddNode(op);
	EvaluateAt(0);
	TP_MasterSystem* m = Master();
	TP_PGroup* hand = m->AllocParticleGroup();
	hand->SetName(String("hand"));
	m->InsertParticleGroup(nullptr, hand, TP_INSERT_UNDERLAST);
	const Int32 density = m->GetDataChannelNumber(String("density"));
	ASSERT_GE(density, 0);
	const Int32 held = m->AllocParticle(), bare = m->AllocParticle();
	m->SetGroup(held, hand);
	m->SetGroup(bare, hand);
	const Float value = 42.0;
	ASSERT_TRUE(m->SetData(held, density, &value, DTYPE_REAL_VALUE));

	node->GetOpContainerInstance()->SetString(TW_PN_GROUP, String("hand"));
	const size_t before = Passes();
	ASSERT_EQ(tag->GetNodeMaster()->Execute(nullptr), GV_CALC_ERR_NONE);
	ASSERT_EQ(Passes() - before, 2u);
	for (size_t pass = before; pass < Passes(); ++pass)
	{
		const Int32 pid = Column(8001).integers[pass];
		ASSERT_TRUE(pid == held || pid == bare);
		SCOPED_TRACE(pid == held ? "the particle with a density" : "the bare particle");
		EXPECT_EQ(Column(8013).floats[pass], pid == held ? 42.0 : 0.0);
		EXPECT_EQ(Column(8007).integers[pass], 0); // neighbors
		EXPECT_EQ(Column(8004).vectors[pass].x, 0.0); // force
		EXPECT_EQ(Column(8017).integers[pass], 0); // id
	}
}

TEST_F(ParticleNode, GroupWithoutParticlesCalculatesNothingAndLeavesTheOutputs)
{
	BaseObject* op = AddImporter("drop", 3);
	GvNode* node = AddNode(op);
	EvaluateAt(0);
	ASSERT_EQ(Passes(), 3u);
	const Vector last = Column(8002).vectors.back();

	TP_PGroup* empty = Master()->AllocParticleGroup();
	empty->SetName(String("empty"));
	Master()->InsertParticleGroup(nullptr, empty, TP_INSERT_UNDERLAST);
	node->GetOpContainerInstance()->SetString(TW_PN_GROUP, String("empty"));
	EXPECT_EQ(tag->GetNodeMaster()->Execute(nullptr), GV_CALC_ERR_NONE);
	EXPECT_EQ(Passes(), 3u);
	Vector position;
	ASSERT_TRUE(node->GetOutPortFirstMainID(8002)->GetVector(&position, nullptr));
	EXPECT_EQ(position.x, last.x);
	EXPECT_EQ(position.z, last.z);
}

TEST_F(ParticleNode, TitleNamesTheObjectCarryingTheGraph)
{
	BaseObject* op = AddImporter("drop", 1);
	GvNode* node = AddNode(op);
	EXPECT_EQ(node->GetTitle().Get(), "TW Node (TW_drop)");
	EXPECT_EQ(node->GetText().Get(), "Tidewell Particle Node Text");
	EXPECT_EQ(node->GetDetailedText().Get(), "Tidewell Particle Node Detailed Text");

	XPressoTag* loose = XPressoTag::Alloc();
	GvNode* alone = loose->GetNodeMaster()->CreateNode(nullptr, NODE);
	ASSERT_NE(alone, nullptr);
	EXPECT_EQ(alone->GetTitle().Get(), "TW Node");
	BaseTag* t = loose;
	BaseTag::Free(t);
}

TEST_F(ParticleNode, PortsListMenuAndDescriptions)
{
	struct Port
	{
		Int32 id;
		const char* name;
		Int32 type;
	};
	const Port outputs[] = {{8001, "Particle", 1001395}, {8002, "Position", 23}, {8003, "Velocity", 23}, {8004, "Force", 23},
		{8005, "Vorticity", 23}, {8006, "Normal", 23}, {8007, "Number of Neighbors", 15}, {8008, "Texture", 23},
		{8009, "Info bit", 15}, {8010, "Age", 19}, {8011, "Isolation time", 19}, {8012, "Viscosity", 19},
		{8013, "Density", 19}, {8014, "Pressure", 19}, {8015, "Mass", 19}, {8016, "Temperature", 19}, {8017, "Id", 15}};

	XPressoTag* t = XPressoTag::Alloc();
	BaseObject* op = BaseObject::Alloc(Onull);
	doc->InsertObject(op, nullptr, nullptr);
	op->InsertTag(t);
	GvNode* node = t->GetNodeMaster()->CreateNode(nullptr, NODE);
	ASSERT_NE(node, nullptr);
	// a new node shows the particle and its position
	ASSERT_EQ(node->GetOutPortCount(), 2);
	EXPECT_EQ(node->GetOutPort(0)->GetMainID(), 8001);
	EXPECT_EQ(node->GetOutPort(1)->GetMainID(), 8002);
	EXPECT_EQ(node->GetInPortCount(), 0);

	GvOperatorData* data = node->GetOperatorData();
	GvPortList list;
	ASSERT_TRUE(data->iGetPortList(node, GV_PORT_OUTPUT, list));
	ASSERT_EQ(list.size(), std::size(outputs));
	BaseContainer names, ids;
	ASSERT_EQ(data->FillPortsMenu(node, names, ids, 0, GV_PORT_OUTPUT, 500), static_cast<Int32>(std::size(outputs)));
	for (size_t i = 0; i < std::size(outputs); ++i)
	{
		const Port& p = outputs[i];
		SCOPED_TRACE(p.name);
		EXPECT_EQ(list[i].id, p.id);
		EXPECT_EQ(ids.GetInt32(500 + static_cast<Int32>(i)), p.id);
		EXPECT_EQ(names.GetString(500 + static_cast<Int32>(i)).Get(), p.name);
		GvPort* port = node->GetOutPortFirstMainID(p.id);
		if (!port)
			port = node->AddPort(GV_PORT_OUTPUT, p.id);
		ASSERT_NE(port, nullptr);
		EXPECT_EQ(port->GetName(node).Get(), p.name);
		EXPECT_EQ(port->GetValueType(), p.type);
	}

	list.clear();
	ASSERT_TRUE(data->iGetPortList(node, GV_PORT_INPUT, list));
	ASSERT_EQ(list.size(), 1u);
	EXPECT_EQ(list[0].id, 8000);
	GvPort* in = node->AddPort(GV_PORT_INPUT, 8000);
	ASSERT_NE(in, nullptr);
	EXPECT_EQ(in->GetName(node).Get(), "TP Group");
	EXPECT_EQ(in->GetValueType(), DTYPE_STRING);

	// other IDs, and table IDs on the wrong side, keep the host's default
	GvPortDescription pd;
	EXPECT_FALSE(data->iGetPortDescription(node, GV_PORT_OUTPUT, 8018, &pd));
	EXPECT_FALSE(data->iGetPortDescription(node, GV_PORT_OUTPUT, 8000, &pd));
	EXPECT_FALSE(data->iGetPortDescription(node, GV_PORT_INPUT, 8002, &pd));

	// the attribute manager shows the group's name as a text field
	bool shown = false;
	for (const DescElement& e : headless::GetDescription(node))
		shown = shown || (e.id == TW_PN_GROUP && e.dtype == DTYPE_STRING && e.name.Get() == "TP Group");
	EXPECT_TRUE(shown);
}

} // namespace
