// particle_importer_pxy_test.cpp - .pxy sequences through the particle importer in the headless host.
#include "cache_internal.h"
#include "host_test.h"
#include "test_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>

namespace
{

struct PxyP
{
	int64_t id;
	float x, vx;
};

// A version-3.0 frame: position (x, 0, 0), velocity (vx, 0, 0).
void WritePxy(const std::string& path, const std::vector<PxyP>& particles)
{
	std::vector<unsigned char> b(8 + 32 * particles.size(), 0);
	StoreF32(&b[0], 3.0f); // version
	StoreU32(&b[4], static_cast<uint32_t>(particles.size())); // particle count
	for (size_t i = 0; i < particles.size(); ++i)
	{
		unsigned char* r = &b[8 + 32 * i];
		StoreU32(r, static_cast<uint32_t>(particles[i].id));
		StoreU32(r + 4, static_cast<uint32_t>(static_cast<uint64_t>(particles[i].id) >> 32));
		StoreF32(r + 8, particles[i].x);
		StoreF32(r + 20, particles[i].vx);
	}
	FILE* f = std::fopen(path.c_str(), "wb");
	ASSERT_NE(f, nullptr);
	ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), f), b.size());
	std::fclose(f);
}

class PxyImporter : public HostTest
{
protected:
	BaseObject* AddImporter(const std::string& path)
	{
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path)));
		return op;
	}
	void EvaluateAt(Float frame)
	{
		doc->SetTime(BaseTime(frame * 1000.0, 25000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	TP_MasterSystem* Master() { return GetThinkingParticlesMaster(doc); }
	std::vector<Int32> Particles(BaseObject* op)
	{
		std::vector<Int32> ids;
		for (TP_PGroup* g : Master()->GetParticleGroups())
			if (g->GetName() == op->GetName())
				for (Int32 id = Master()->GetFirstParticle(g); id >= 0; id = Master()->GetNextParticle(g, id))
					ids.push_back(id);
		return ids;
	}
	Int32 Channel(const char* name) { return Master()->GetDataChannelNumber(String(name)); }
	TempDir dir;
};

TEST_F(PxyImporter, EverySwitchOffStillWritesZerosAndTheRecordId)
{
	WritePxy(dir / "z_00000.pxy", {{7, 1.5f, 2.0f}, {(int64_t(1) << 33) + 9, 2.5f, 3.0f}});
	BaseObject* op = AddImporter(dir / "z_00000.pxy");
	for (Int32 id = TW_PI_LOAD_VELOCITY; id <= TW_PI_LOAD_ID; ++id)
		op->GetDataInstance()->SetBool(id, false);
	EvaluateAt(0);
	TP_MasterSystem* m = Master();
	const std::vector<Int32> pids = Particles(op);
	ASSERT_EQ(pids.size(), 2u);
	EXPECT_DOUBLE_EQ(m->Position(pids[0]).x, 150.0);
	EXPECT_EQ(m->Velocity(pids[0]), Vector()); // its switch is off
	for (const char* name : {"force", "vorticity", "normal", "texture"})
	{
		Vector v(1, 1, 1);
		EXPECT_TRUE(m->GetData(pids[0], Channel(name), &v, DTYPE_VECTOR_VALUE)) << name;
		EXPECT_EQ(v, Vector()) << name;
	}
	for (const char* name : {"neighbors", "infobit"})
	{
		Int32 v = 1;
		EXPECT_TRUE(m->GetData(pids[0], Channel(name), &v, DTYPE_LONG_VALUE)) << name;
		EXPECT_EQ(v, 0) << name;
	}
	for (const char* name : {"isolation", "viscosity", "density", "pressure", "temperature"})
	{
		Float v = 1;
		EXPECT_TRUE(m->GetData(pids[0], Channel(name), &v, DTYPE_REAL_VALUE)) << name;
		EXPECT_EQ(v, 0.0) << name;
	}
	EXPECT_EQ(m->Age(pids[0]).Get(), 0.0);
	EXPECT_EQ(m->Mass(pids[0]), 0.0);
	// the record ID, its low 32 bits
	Int32 id = 0;
	EXPECT_TRUE(m->GetData(pids[0], Channel("id"), &id, DTYPE_LONG_VALUE));
	EXPECT_EQ(id, 7);
	EXPECT_TRUE(m->GetData(pids[1], Channel("id"), &id, DTYPE_LONG_VALUE));
	EXPECT_EQ(id, 9);

	op->GetDataInstance()->SetBool(TW_PI_LOAD_VELOCITY, true);
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(dir / "z_00000.pxy")));
	EvaluateAt(0);
	EXPECT_EQ(m->Velocity(Particles(op).at(1)), Vector(3, 0, 0));
}

TEST_F(PxyImporter, IdModeKeepsHostParticlesAcrossFrames)
{
	WritePxy(dir / "i_00000.pxy", {{1, 0, 0}, {2, 1, 0}, {(int64_t(1) << 40) + 3, 2, 0}});
	WritePxy(dir / "i_00001.pxy", {{(int64_t(1) << 40) + 3, 20, 0}, {1, 10, 0}});
	BaseObject* op = AddImporter(dir / "i_00000.pxy");
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	TP_MasterSystem* m = Master();
	EvaluateAt(0);
	const std::vector<Int32> first = Particles(op);
	ASSERT_EQ(first.size(), 3u);
	std::map<double, Int32> host_at; // by x in centimetres
	for (Int32 pid : first)
		host_at[m->Position(pid).x] = pid;

	EvaluateAt(1);
	ASSERT_EQ(Particles(op).size(), 2u);
	// the 64-bit ID that shares its low bits with no other keeps its particle, as does ID 1
	EXPECT_TRUE(m->Alive(host_at[200.0]));
	EXPECT_DOUBLE_EQ(m->Position(host_at[200.0]).x, 2000.0);
	EXPECT_TRUE(m->Alive(host_at[0.0]));
	EXPECT_DOUBLE_EQ(m->Position(host_at[0.0]).x, 1000.0);
	EXPECT_FALSE(m->Alive(host_at[100.0]));
}

} // namespace
