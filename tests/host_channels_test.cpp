// host_channels_test.cpp - a group written by the Particle Importer, read back the way an exporter reads it.
#include "host_test.h"
#include "test_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "particle_bin.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// Three particles with a distinct value in every channel: particle i holds base + i.
void WriteRichFrame(const std::string& path)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	ASSERT_NE(f, nullptr);
	ASSERT_TRUE(AllocateChannels(f, 3));
	f->header.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f, "rich");
	f->header.version = 12;
	f->header.fps = 25;
	f->header.particle_count = 3;
	for (int i = 0; i < 3; ++i)
	{
		for (int k = 0; k < 3; ++k)
		{
			f->position[3 * i + k] = 1.0f + i;
			f->velocity[3 * i + k] = 2.0f + i;
			f->force[3 * i + k] = 3.0f + i;
			f->vorticity[3 * i + k] = 4.0f + i;
			f->normal[3 * i + k] = 5.0f + i;
			f->texture[3 * i + k] = 6.0f + i;
		}
		f->neighbors[i] = 7 + i;
		f->info_bits[i] = static_cast<int16_t>(8 + i);
		f->age[i] = 0.5f + i;
		f->isolation[i] = 10.0f + i;
		f->viscosity[i] = 11.0f + i;
		f->density[i] = 12.0f + i;
		f->pressure[i] = 13.0f + i;
		f->mass[i] = 14.0f + i;
		f->temperature[i] = 15.0f + i;
		f->id[i] = 101 + i;
	}
	ASSERT_TRUE(WriteParticleBin(f));
	FreeParticleBin(f);
}

// The exporter's lookup: the host has none by name, so the reported names are walked.
Int32 Find(const TP_MasterSystem* m, const std::string& reported)
{
	for (Int32 c = 0; c < m->NumDataChannels(); ++c)
		if (m->GetDataChannelName(c).Get() == reported)
			return c;
	return -1;
}

class ImportedChannels : public HostTest
{
protected:
	BaseObject* Import(const std::string& path)
	{
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		for (Int32 id = TW_PI_LOAD_VELOCITY; id <= TW_PI_LOAD_ID; ++id)
			op->GetDataInstance()->SetBool(id, true);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path)));
		doc->SetTime(BaseTime(0.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		return op;
	}
	TempDir dir;
};

TEST_F(ImportedChannels, EveryChannelIsFoundByItsReportedNameWithTheImportedValues)
{
	WriteRichFrame(dir / "rich_00000.bin");
	BaseObject* op = Import(dir / "rich_00000.bin");
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	ASSERT_NE(m, nullptr);
	TP_PGroup* group = nullptr;
	for (TP_PGroup* g : m->GetParticleGroups())
		if (g->GetName() == op->GetName())
			group = g;
	ASSERT_NE(group, nullptr);

	const struct
	{
		const char* name;
		Float base;
	} vectors[] = {{"force(Vector)", 3}, {"vorticity(Vector)", 4}, {"normal(Vector)", 5}, {"texture(Vector)", 6}},
	  reals[] = {{"isolation(Float)", 10}, {"viscosity(Float)", 11}, {"density(Float)", 12}, {"pressure(Float)", 13},
		  {"temperature(Float)", 15}},
	  ints[] = {{"neighbors(Integer)", 7}, {"infobit(Integer)", 8}, {"id(Integer)", 101}};
	for (const auto& c : vectors)
		ASSERT_GE(Find(m, c.name), 0) << c.name;
	for (const auto& c : reals)
		ASSERT_GE(Find(m, c.name), 0) << c.name;
	for (const auto& c : ints)
		ASSERT_GE(Find(m, c.name), 0) << c.name;
	EXPECT_EQ(m->NumDataChannels(), 12); // nothing under a second name

	Int32 i = 0;
	for (Int32 pid = m->GetFirstParticle(group); pid >= 0; pid = m->GetNextParticle(group, pid), ++i)
	{
		for (const auto& c : vectors)
		{
			Vector v;
			ASSERT_TRUE(m->GetData(pid, Find(m, c.name), &v, DTYPE_VECTOR_VALUE)) << c.name;
			EXPECT_EQ(v, Vector(c.base + i, c.base + i, c.base + i)) << c.name;
		}
		for (const auto& c : reals)
		{
			Float v = 0;
			ASSERT_TRUE(m->GetData(pid, Find(m, c.name), &v, DTYPE_REAL_VALUE)) << c.name;
			EXPECT_FLOAT_EQ(v, c.base + i) << c.name;
		}
		for (const auto& c : ints)
		{
			Int32 v = 0;
			ASSERT_TRUE(m->GetData(pid, Find(m, c.name), &v, DTYPE_LONG_VALUE)) << c.name;
			EXPECT_EQ(v, static_cast<Int32>(c.base) + i) << c.name;
		}
		// the group system's own values: liveness, age in seconds, mass, velocity unscaled
		EXPECT_TRUE(m->Alive(pid));
		EXPECT_FLOAT_EQ(m->Age(pid).Get(), 0.5 + i);
		EXPECT_FLOAT_EQ(m->Mass(pid), 14.0 + i);
		EXPECT_FLOAT_EQ(m->Velocity(pid).x, 2.0 + i);
	}
	EXPECT_EQ(i, 3);

	// a second importer finds the channels under their reported names and adds none
	Import(dir / "rich_00000.bin");
	EXPECT_EQ(m->NumDataChannels(), 12);
}

} // namespace
