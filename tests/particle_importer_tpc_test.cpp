// particle_importer_tpc_test.cpp - .tpc frames through the particle importer: channels by name,
// custom channels, conversions and matching by ID.
#include "host_test.h"
#include "test_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "cache/tpc_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

namespace
{

class TpcImporter : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		headless::ClearMessageBoxes();
		op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
	}
	std::string Write(const std::string& file, int32_t count, const std::vector<TpcTestChannel>& channels)
	{
		const std::vector<unsigned char> bytes = TpcBytes(count, channels);
		std::ofstream(dir / file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
		return dir / file;
	}
	void Choose(const std::string& path) { headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path))); }
	void EvaluateAt(Float frame)
	{
		doc->SetTime(BaseTime(frame * 1000.0, 25000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	TP_MasterSystem* Master() { return GetThinkingParticlesMaster(doc); }
	std::vector<Int32> Particles()
	{
		std::vector<Int32> ids;
		TP_PGroup* g = nullptr;
		for (TP_PGroup* c : Master()->GetParticleGroups())
			if (c->GetName() == op->GetName())
				g = c;
		for (Int32 id = Master()->GetFirstParticle(g); id >= 0; id = Master()->GetNextParticle(g, id))
			ids.push_back(id);
		return ids;
	}
	Int32 Channel(const char* name) { return Master()->GetDataChannelNumber(String(name)); }

	BaseObject* op = nullptr;
	TempDir dir;
};

TEST_F(TpcImporter, ChannelsByNameConversionsAndCustomChannelsAddedOnce)
{
	const std::vector<TpcTestChannel> channels = {
		{"position", 2, Doubles({1, 2, 3})},
		{"mass", 1, Floats({1, 2, 2})}, // a vector's scalar is its squared length
		{"pressure", 5, {0x34, 0x12}}, // 16-bit integers land as floats
		{"neighbors", 9, Floats({6.9f})},
		{"force", 3, Floats({1, 2})},
		{"age", 10, Doubles({0.5})},
		{"heat", 9, Floats({21.5f})},
		{"wet", 8, {0xff}},
		{"spin", 11, Floats({1, 0, 1, 9})},
		{"cells", 6, {7}},
	};
	Write("c_00001.tpc", 1, channels);
	Choose(Write("c_00000.tpc", 1, channels));
	EvaluateAt(0);
	TP_MasterSystem* m = Master();
	ASSERT_EQ(Particles().size(), 1u);
	const Int32 pid = Particles()[0];
	EXPECT_EQ(m->Position(pid), Vector(100, 200, 300));
	EXPECT_DOUBLE_EQ(m->Mass(pid), 9.0);
	EXPECT_DOUBLE_EQ(m->Age(pid).Get(), 0.5);
	Float pressure = 0, heat = 0;
	ASSERT_TRUE(m->GetData(pid, Channel("pressure"), &pressure, DTYPE_REAL_VALUE));
	EXPECT_EQ(pressure, 0x1234);
	Int32 neighbors = 0, cells = 0;
	ASSERT_TRUE(m->GetData(pid, Channel("neighbors"), &neighbors, DTYPE_LONG_VALUE));
	EXPECT_EQ(neighbors, 6);
	Vector force, spin;
	ASSERT_TRUE(m->GetData(pid, Channel("force"), &force, DTYPE_VECTOR_VALUE));
	EXPECT_EQ(force, Vector(1, 2, 0));

	// custom channels, by value type
	const std::map<std::string, Int32> types = {{"heat", DTYPE_REAL}, {"wet", DTYPE_BOOL}, {"spin", DTYPE_VECTOR}, {"cells", DTYPE_LONG}};
	for (const auto& [name, type] : types)
	{
		ASSERT_GE(Channel(name.c_str()), 0) << name;
		EXPECT_EQ(m->GetDataChannelType(Channel(name.c_str())), type) << name;
	}
	ASSERT_TRUE(m->GetData(pid, Channel("heat"), &heat, DTYPE_REAL_VALUE));
	EXPECT_FLOAT_EQ(heat, 21.5f);
	Bool wet = false;
	ASSERT_TRUE(m->GetData(pid, Channel("wet"), &wet, DTYPE_BOOL_VALUE));
	EXPECT_TRUE(wet);
	ASSERT_TRUE(m->GetData(pid, Channel("spin"), &spin, DTYPE_VECTOR_VALUE));
	EXPECT_EQ(spin, Vector(1, 0, 1));
	ASSERT_TRUE(m->GetData(pid, Channel("cells"), &cells, DTYPE_LONG_VALUE));
	EXPECT_EQ(cells, 7);

	// the next load finds them (reported as "heat(Real)" and so on) instead of adding them again
	const Int32 channel_count = m->NumDataChannels();
	EXPECT_EQ(channel_count, 12 + 4);
	EvaluateAt(1);
	EvaluateAt(0);
	EXPECT_EQ(m->NumDataChannels(), channel_count);

	// switched off, a known channel is not written
	op->GetDataInstance()->SetBool(TW_PI_LOAD_MASS, false);
	op->GetDataInstance()->SetBool(TW_PI_LOAD_PRESSURE, false);
	EvaluateAt(1);
	const Int32 again = Particles().at(0);
	EXPECT_FALSE(m->GetData(again, Channel("pressure"), &pressure, DTYPE_REAL_VALUE));
	EXPECT_NE(m->Mass(again), 9.0);
}

TEST_F(TpcImporter, IdModeKeepsHostParticlesAcrossFrames)
{
	auto frame = [](std::vector<int64_t> ids, float x) {
		std::vector<float> p;
		for (size_t i = 0; i < ids.size(); ++i)
			p.insert(p.end(), {x + static_cast<float>(ids[i]), 0, 0});
		return std::vector<TpcTestChannel>{{"position", 1, Floats(p)}, {"id", 7, {}}};
	};
	auto with_ids = [&](std::vector<int64_t> ids, float x) {
		std::vector<TpcTestChannel> c = frame(ids, x);
		for (int64_t id : ids)
			for (int k = 0; k < 4; ++k)
				c[1].values.push_back(static_cast<unsigned char>(id >> (8 * k)));
		return c;
	};
	Write("i_00001.tpc", 2, with_ids({3, 1}, 10));
	Write("i_00002.tpc", 2, {{"position", 1, Floats({0, 0, 0, 1, 0, 0})}}); // no ids
	Choose(Write("i_00000.tpc", 3, with_ids({1, 2, 3}, 0)));
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	EvaluateAt(0);
	TP_MasterSystem* m = Master();
	std::map<Int32, Int32> host_of;
	for (Int32 pid : Particles())
	{
		Int32 id = 0;
		ASSERT_TRUE(m->GetData(pid, Channel("id"), &id, DTYPE_LONG_VALUE));
		host_of[id] = pid;
	}
	ASSERT_EQ(host_of.size(), 3u);
	EvaluateAt(1);
	ASSERT_EQ(Particles().size(), 2u);
	EXPECT_TRUE(m->Alive(host_of[1]) && m->Alive(host_of[3]));
	EXPECT_FALSE(m->Alive(host_of[2]));
	EXPECT_DOUBLE_EQ(m->Position(host_of[3]).x, 1300.0);
	// without an "id" channel there are no usable IDs: loaded as without matching
	EvaluateAt(2);
	EXPECT_EQ(Particles().size(), 2u);
	EXPECT_TRUE(headless::MessageBoxes().empty());
}

} // namespace
