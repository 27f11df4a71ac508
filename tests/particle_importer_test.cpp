// particle_importer_test.cpp - the particle importer in the headless host: files, frames, IDs, renders.
#include "host_test.h"
#include "importer_files.h"
#include "test_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "mesh_bin.h"
#include "particle_bin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

namespace
{

struct P
{
	int64_t id;
	float x, vx;
};

// A v12 frame; position (x, 0, 0), velocity (vx, 0, 0), the rest small distinct values.
void WriteFrame(const std::string& path, const std::vector<P>& particles, int frame = 0)
{
	ASSERT_TRUE(WriteBinFrame(path, frame, static_cast<int>(particles.size()), [&](BinParticleFrame* f, int i) {
		f->id[i] = particles[static_cast<size_t>(i)].id;
		f->position[3 * i] = particles[static_cast<size_t>(i)].x;
		f->velocity[3 * i] = particles[static_cast<size_t>(i)].vx;
		f->density[i] = 1000.0f + i;
		f->neighbors[i] = 7;
		f->info_bits[i] = -2;
		f->force[3 * i + 1] = -9.8f;
		f->age[i] = 1.5f;
		f->mass[i] = 0.25f;
	}));
}

class ParticleImporter : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		headless::ClearMessageBoxes();
	}

	BaseObject* AddImporter()
	{
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		return op;
	}
	// Frames first..last of name_NNNNN.bin, frame k holding `count` particles of ids 1..count at x = k.
	std::string WriteSequence(const std::string& name, int first, int last, int count = 3)
	{
		for (int k = first; k <= last; ++k)
		{
			std::vector<P> ps;
			for (int i = 0; i < count; ++i)
				ps.push_back({i + 1, static_cast<float>(k), 1.0f});
			char file[64];
			std::snprintf(file, sizeof file, "%s_%05d.bin", name.c_str(), k);
			WriteFrame(dir / file, ps, k);
		}
		char file[64];
		std::snprintf(file, sizeof file, "%s_%05d.bin", name.c_str(), first);
		return dir / file;
	}
	void Choose(BaseObject* op, const std::string& path) { headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path))); }
	void EvaluateAt(Float frame)
	{
		doc->SetTime(BaseTime(frame * 1000.0, 25000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	TP_MasterSystem* Master() { return GetThinkingParticlesMaster(doc); }
	TP_PGroup* GroupOf(BaseObject* op)
	{
		for (TP_PGroup* g : Master()->GetParticleGroups())
			if (g->GetName() == op->GetName())
				return g;
		return nullptr;
	}
	std::vector<Int32> Particles(BaseObject* op)
	{
		std::vector<Int32> ids;
		TP_PGroup* g = GroupOf(op);
		for (Int32 id = Master()->GetFirstParticle(g); id >= 0; id = Master()->GetNextParticle(g, id))
			ids.push_back(id);
		return ids;
	}
	// Particles alive in the master, whichever group holds them.
	Int32 Living()
	{
		Int32 count = 0;
		for (Int32 id = 0; id < Master()->NumParticles(); ++id)
			count += Master()->Alive(id) ? 1 : 0;
		return count;
	}
	// The host particle holding each file ID (from the importer's id channel).
	std::map<Int32, Int32> HostOfIds(BaseObject* op)
	{
		std::map<Int32, Int32> host_of;
		TP_MasterSystem* m = Master();
		for (Int32 pid : Particles(op))
		{
			Int32 id = 0;
			m->GetData(pid, m->GetDataChannelNumber(String("id")), &id, DTYPE_LONG_VALUE);
			host_of[id] = pid;
		}
		return host_of;
	}
	std::string LastBox() const
	{
		return headless::MessageBoxes().empty() ? std::string() : headless::MessageBoxes().back().text;
	}

	TempDir dir;
};

TEST_F(ParticleImporter, FileCheckAcceptsParticleFilesAndExplainsRefusals)
{
	BaseObject* op = AddImporter();
	std::string good = WriteSequence("splash", 0, 2);

	// a mesh .bin: refused with the mesh message, nothing of the object changes
	MeshBinFile* mesh = MeshBinCreate((dir / "surface_00000.bin").c_str());
	ASSERT_NE(mesh, nullptr);
	ASSERT_TRUE(MeshBinAllocate(mesh, 0, 0, 1, false, false));
	ASSERT_TRUE(MeshBinWrite(mesh));
	MeshBinFree(mesh);
	Choose(op, dir / "surface_00000.bin");
	EXPECT_EQ(LastBox(), "The selected .bin file belongs to a mesh sequence. Please select a particle .bin sequence!");
	EXPECT_EQ(headless::MessageBoxes().back().flags, GEMB_ICONEXCLAMATION);
	EXPECT_EQ(op->GetDataInstance()->GetString(TW_PI_NAME).Get(), "");

	WriteFile(dir / "junk_00000.bin", "not a frame at all");
	Choose(op, dir / "junk_00000.bin");
	EXPECT_EQ(LastBox(), "Invalid particle file: " + (dir / "junk_00000.bin"));
	Choose(op, dir / "splash_00000.abc");
	EXPECT_EQ(LastBox(), "Only .bin, .pxy or .tpc extension is accepted as particle file.");
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_PI_LAST_FRAME), 0);

	// capitals are accepted; the pattern, range, names and format are stored
	std::rename(good.c_str(), (dir / "splash_00000.BIN").c_str());
	headless::ClearMessageBoxes();
	Choose(op, dir / "splash_00000.BIN");
	EXPECT_TRUE(headless::MessageBoxes().empty()) << LastBox();
	const BaseContainer* bc = op->GetDataInstance();
	EXPECT_EQ(bc->GetFilename(TW_PI_FILE).Get(), dir / "splash_$F5.BIN");
	EXPECT_EQ(bc->GetString(TW_PI_NAME).Get(), "splash");
	EXPECT_EQ(op->GetName().Get(), "TW_splash");
	EXPECT_EQ(bc->GetInt32(TW_PI_FIRST_FRAME), 0);
	EXPECT_EQ(bc->GetInt32(TW_PI_FORMAT), 0);

	// later changes of other parameters do not check the stored pattern as if it were a file
	headless::UserSetParameter(op, TW_PI_REVERSE, GeData(true));
	EXPECT_TRUE(headless::MessageBoxes().empty()) << LastBox();
	EXPECT_EQ(op->GetName().Get(), "TW_splash");
}

// Fault: a chosen path of 256 characters or more read as no file, and the particles stopped loading.
TEST_F(ParticleImporter, PathTooLongIsRefusedAndTheSequenceStays)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("splash", 0, 2));
	const BaseContainer* bc = op->GetDataInstance();
	const std::string pattern = bc->GetFilename(TW_PI_FILE).Get();
	EvaluateAt(1);
	ASSERT_EQ(Particles(op).size(), 3u);
	Choose(op, dir / std::string(300, 's') + "_00000.bin");
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_EQ(LastBox(), "The selected file's path is too long. Only paths of at most 255 characters are accepted.");
	EXPECT_EQ(bc->GetFilename(TW_PI_FILE).Get(), pattern);
	EXPECT_EQ(bc->GetInt32(TW_PI_LAST_FRAME), 2);
	EvaluateAt(2);
	EXPECT_EQ(Particles(op).size(), 3u);
}

TEST_F(ParticleImporter, NamingDropsTrailingUnderscoresAndKeepsAnExistingPrefix)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("TW_wave__", 3, 5));
	EXPECT_EQ(op->GetDataInstance()->GetString(TW_PI_NAME).Get(), "TW_wave");
	EXPECT_EQ(op->GetName().Get(), "TW_wave");
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_PI_FIRST_FRAME), 3);
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_PI_LAST_FRAME), 5);
	EvaluateAt(4);
	EXPECT_NE(GroupOf(op), nullptr);
	EXPECT_EQ(Particles(op).size(), 3u);
}

TEST_F(ParticleImporter, TimeRoundsToFramesAndMovesParticlesBetweenThem)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("flow", 0, 5, 2));
	auto x_of_first = [&]() { return Master()->Position(Particles(op).at(0)).x; };

	EvaluateAt(2.0);
	EXPECT_NE(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("flow_00002.bin"), std::string::npos);
	EXPECT_DOUBLE_EQ(x_of_first(), 200.0); // positions times 100
	// 2.4 frames: frame 2, moved forward by 0.4 frame at velocity 1 (times 100)
	EvaluateAt(2.4);
	EXPECT_NE(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("flow_00002.bin"), std::string::npos);
	EXPECT_NEAR(x_of_first(), 200.0 + 100.0 * 0.4 / 25.0, 1e-6);
	// 2.6 frames: frame 3, moved back by 0.4 frame
	EvaluateAt(2.6);
	EXPECT_NE(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("flow_00003.bin"), std::string::npos);
	EXPECT_NEAR(x_of_first(), 300.0 - 100.0 * 0.4 / 25.0, 1e-6);
	// exactly half way serves the lower frame, unless the render tracker left the next one
	EvaluateAt(2.5);
	EXPECT_NE(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("flow_00002.bin"), std::string::npos);
	op->GetDataInstance()->SetInt32(TW_PI_RENDER_FRAME, 3);
	EvaluateAt(2.5);
	EXPECT_NE(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("flow_00003.bin"), std::string::npos);
	op->GetDataInstance()->SetInt32(TW_PI_RENDER_FRAME, -1);

	// the scale and the object's matrix place the particles
	op->GetDataInstance()->SetFloat(TW_PI_SCALE, 2.0);
	op->SetMl(Matrix(Vector(10, 20, 30), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
	EvaluateAt(1.0);
	EXPECT_EQ(Master()->Position(Particles(op).at(0)), Vector(10 + 200.0, 20, 30));

	// beyond the range nothing is shown, and the current file is empty
	EvaluateAt(9.0);
	EXPECT_TRUE(Particles(op).empty());
	EXPECT_EQ(op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get(), "");
}

TEST_F(ParticleImporter, ChannelsLandInTheHostChannelsOfTheirNames)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("chan", 0, 0, 1));
	EvaluateAt(0);
	TP_MasterSystem* m = Master();
	ASSERT_EQ(m->NumDataChannels(), 12);
	EXPECT_EQ(m->GetDataInstance()->GetInt32(TP_MASTER_PARTICLE_LIMIT), 100000000);
	const Int32 pid = Particles(op).at(0);
	Float density = 0;
	EXPECT_TRUE(m->GetData(pid, m->GetDataChannelNumber(String("density")), &density, DTYPE_REAL_VALUE));
	EXPECT_FLOAT_EQ(density, 1000.0);
	Int32 bits = 0, id = 0;
	EXPECT_TRUE(m->GetData(pid, m->GetDataChannelNumber(String("infobit")), &bits, DTYPE_LONG_VALUE));
	EXPECT_EQ(bits, -2);
	EXPECT_TRUE(m->GetData(pid, m->GetDataChannelNumber(String("id")), &id, DTYPE_LONG_VALUE));
	EXPECT_EQ(id, 1);
	Vector force;
	EXPECT_TRUE(m->GetData(pid, m->GetDataChannelNumber(String("force")), &force, DTYPE_VECTOR_VALUE));
	EXPECT_FLOAT_EQ(force.y, -9.8f);
	EXPECT_DOUBLE_EQ(m->Age(pid).Get(), 1.5);
	EXPECT_DOUBLE_EQ(m->Mass(pid), 0.25);
	EXPECT_DOUBLE_EQ(m->Life(pid).Get(), 50.0);
	EXPECT_EQ(m->Velocity(pid), Vector(1, 0, 0));

	// switched off, a channel is not written
	op->GetDataInstance()->SetBool(TW_PI_LOAD_DENSITY, false);
	op->GetDataInstance()->SetBool(TW_PI_LOAD_VELOCITY, false);
	Choose(op, dir / "chan_00000.bin");
	EvaluateAt(0.0);
	const Int32 again = Particles(op).at(0);
	EXPECT_FALSE(m->GetData(again, m->GetDataChannelNumber(String("density")), &density, DTYPE_REAL_VALUE));
	EXPECT_EQ(m->Velocity(again), Vector());
}

TEST_F(ParticleImporter, EmptyFramesAndSharedGroups)
{
	BaseObject* a = AddImporter();
	BaseObject* b = AddImporter();
	std::string path = WriteSequence("same", 0, 1, 4);
	WriteFrame(dir / "same_00001.bin", {}, 1);
	Choose(a, path);
	Choose(b, path);
	EvaluateAt(0);
	ASSERT_EQ(a->GetName(), b->GetName());
	EXPECT_EQ(GroupOf(a), GroupOf(b));
	EXPECT_EQ(Master()->GetParticleGroups().size(), 1u);
	// each load kills the group's particles first: the second importer's frame is what remains
	EXPECT_EQ(Particles(a).size(), 4u);
	EvaluateAt(1);
	EXPECT_TRUE(Particles(a).empty());

	// freeing the importers frees their particles and the group
	EvaluateAt(0);
	BaseObject::Free(a);
	BaseObject::Free(b);
	EXPECT_TRUE(Master()->GetParticleGroups().empty());
	EXPECT_EQ(Living(), 0);
}

TEST_F(ParticleImporter, IdModeMatchesParticlesAcrossFrames)
{
	BaseObject* op = AddImporter();
	WriteFrame(dir / "ids_00000.bin", {{1, 0, 0}, {2, 1, 0}, {3, 2, 0}}, 0);
	WriteFrame(dir / "ids_00001.bin", {{3, 20, 0}, {1, 10, 0}}, 1);
	WriteFrame(dir / "ids_00002.bin", {{0, 5, 0}, {0, 6, 0}}, 2);
	WriteFrame(dir / "ids_00003.bin", {{2000000000, 1, 0}, {1, 2, 0}}, 3);
	WriteFrame(dir / "ids_00004.bin", {{1, 3, 0}, {2000000000, 4, 0}}, 4);
	Choose(op, dir / "ids_00000.bin");
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	TP_MasterSystem* m = Master();

	EvaluateAt(0);
	std::map<Int32, Int32> host_of = HostOfIds(op);
	ASSERT_EQ(host_of.size(), 3u);

	// particle 2 is missing from frame 1: it dies; 1 and 3 keep their host particles
	EvaluateAt(1);
	std::vector<Int32> now = Particles(op);
	ASSERT_EQ(now.size(), 2u);
	EXPECT_TRUE(m->Alive(host_of[1]) && m->Alive(host_of[3]));
	EXPECT_FALSE(m->Alive(host_of[2]));
	EXPECT_DOUBLE_EQ(m->Position(host_of[3]).x, 2000.0);
	EXPECT_DOUBLE_EQ(m->Position(host_of[1]).x, 1000.0);

	// a frame whose largest ID is 0 loads as without IDs
	EvaluateAt(2);
	EXPECT_EQ(Particles(op).size(), 2u);
	// a hostile ID is matched like any other and allocates nothing in proportion to it
	EvaluateAt(3);
	EXPECT_EQ(Particles(op).size(), 2u);
	EXPECT_LT(m->NumParticles(), 100);
	const Int32 hostile = HostOfIds(op).at(2000000000), one = HostOfIds(op).at(1);
	EvaluateAt(4);
	EXPECT_EQ(HostOfIds(op), (std::map<Int32, Int32>{{1, one}, {2000000000, hostile}}));
	EXPECT_DOUBLE_EQ(m->Position(hostile).x, 400.0);
}

// Matching by ID switched itself off once the largest ID passed four times the particle count, so
// an emitter whose IDs keep growing lost every host particle at every frame.
TEST_F(ParticleImporter, IdModeKeepsHostParticlesOfIdsFarBeyondTheCount)
{
	BaseObject* op = AddImporter();
	WriteFrame(dir / "grow_00000.bin", {{5000000, 0, 0}, {5000001, 1, 0}, {7, 2, 0}}, 0);
	WriteFrame(dir / "grow_00001.bin", {{5000001, 11, 0}, {7, 12, 0}, {9000000, 13, 0}}, 1);
	WriteFrame(dir / "grow_00002.bin", {{9000000, 23, 0}, {5000000, 20, 0}, {7, 22, 0}}, 2);
	Choose(op, dir / "grow_00000.bin");
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	TP_MasterSystem* m = Master();

	EvaluateAt(0);
	const std::map<Int32, Int32> first = HostOfIds(op);
	ASSERT_EQ(first.size(), 3u);
	EvaluateAt(1);
	std::map<Int32, Int32> now = HostOfIds(op);
	ASSERT_EQ(now.size(), 3u);
	EXPECT_EQ(now.at(5000001), first.at(5000001));
	EXPECT_EQ(now.at(7), first.at(7));
	EXPECT_EQ(now.count(5000000), 0u); // missing from frame 1: freed
	EXPECT_EQ(Living(), 3);
	EXPECT_DOUBLE_EQ(m->Position(now.at(9000000)).x, 1300.0);

	// an ID that comes back after a frame away gets a living particle with this frame's values
	const Int32 grown = now.at(9000000);
	EvaluateAt(2);
	now = HostOfIds(op);
	ASSERT_EQ(now.size(), 3u);
	EXPECT_EQ(now.at(9000000), grown);
	EXPECT_EQ(now.at(7), first.at(7));
	EXPECT_TRUE(m->Alive(now.at(5000000)));
	EXPECT_DOUBLE_EQ(m->Position(now.at(5000000)).x, 2000.0);
	EXPECT_EQ(Living(), 3);
}

// The engine kills a particle whose age passed its life; writing the next frame into that dead
// particle would leave the ID invisible.
TEST_F(ParticleImporter, IdModeReplacesAHostParticleThatDiedOfAge)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("aged", 0, 2, 2)); // ages 1.5 s
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	op->GetDataInstance()->SetTime(TW_PI_LIFE, BaseTime(1.0));
	TP_MasterSystem* m = Master();
	EvaluateAt(0);
	EvaluateAt(1); // the pass kills it; the load finds it dead
	const Int32 after = HostOfIds(op).at(1);
	EXPECT_TRUE(m->Alive(after));
	EXPECT_DOUBLE_EQ(m->Position(after).x, 100.0);
	EXPECT_EQ(Particles(op).size(), 2u);
}

TEST_F(ParticleImporter, CopiesShareOneCache)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("copy", 0, 3));
	EvaluateAt(1);
	void* cache = op->GetDataInstance()->GetVoid(TW_PI_CACHE_POINTER);
	ASSERT_NE(cache, nullptr);
	BaseObject* copy = op->GetClone();
	doc->InsertObject(copy, nullptr, nullptr);
	EXPECT_EQ(copy->GetDataInstance()->GetVoid(TW_PI_CACHE_POINTER), cache);
	EvaluateAt(2);
	BaseObject::Free(op);
	// the copy still plays from the shared cache
	EvaluateAt(3);
	EXPECT_NE(copy->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get().find("copy_00003.bin"), std::string::npos);
	EXPECT_EQ(Particles(copy).size(), 3u);
}

TEST_F(ParticleImporter, RenderTrackerOfBothEngineKinds)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("render", 0, 5));
	const BaseContainer* bc = op->GetDataInstance();
	auto at = [](Float frame) { return BaseTime(frame * 1000.0, 25000.0); };

	// an ordinary engine: whole frames are taken as they come, half frames as the next one
	std::vector<std::pair<Int32, Int32>> seen;
	headless::RenderDocument(doc, {at(2), at(2.5), at(3)}, [&](const BaseTime&) {
		seen.emplace_back(bc->GetInt32(TW_PI_RENDER_FRAME), bc->GetInt32(TW_PI_RENDER_COUNT));
		EXPECT_TRUE(bc->GetBool(TW_PI_RENDERING));
	});
	EXPECT_EQ(seen, (std::vector<std::pair<Int32, Int32>>{{2, 0}, {3, 0}, {3, 0}}));
	EXPECT_FALSE(bc->GetBool(TW_PI_RENDERING));
	EXPECT_EQ(bc->GetInt32(TW_PI_RENDER_END), -1);

	// the engine that evaluates three times per frame and then half a frame on
	doc->GetActiveRenderData()->GetDataInstance()->SetInt32(RDATA_RENDERENGINE, 1023342);
	seen.clear();
	headless::RenderDocument(doc, {at(0), at(0), at(0), at(0.5), at(1.5)}, [&](const BaseTime&) {
		seen.emplace_back(bc->GetInt32(TW_PI_RENDER_FRAME), bc->GetInt32(TW_PI_RENDER_COUNT));
	});
	EXPECT_EQ(seen, (std::vector<std::pair<Int32, Int32>>{{0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}}));
}

TEST_F(ParticleImporter, AssetsAreEveryFrameOfTheRange)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("asset", 4, 7));
	EXPECT_TRUE(headless::CollectAssets(doc, ASSETDATA_FLAG_NET).empty()); // 1092 off
	op->GetDataInstance()->SetBool(TW_PI_ASSETS, true);
	EXPECT_TRUE(headless::CollectAssets(doc, 0).empty());
	std::vector<AssetEntry> assets = headless::CollectAssets(doc, ASSETDATA_FLAG_NET);
	ASSERT_EQ(assets.size(), 4u);
	EXPECT_EQ(assets[0].file.Get(), dir / "asset_00004.bin");
	EXPECT_EQ(assets[3].file.Get(), dir / "asset_00007.bin");
	EXPECT_EQ(assets[0].owner, op);
}

TEST_F(ParticleImporter, WithoutThinkingParticlesTheImporterSaysSoOnce)
{
	headless::SetThinkingParticlesAvailable(false);
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("none", 0, 1));
	EvaluateAt(0);
	EvaluateAt(1);
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_EQ(LastBox(), "TW Particle Importer can not be used because Thinking Particles is missing!");
}

TEST_F(ParticleImporter, GroupAllocationFailureIsReported)
{
	Master()->SetGroupAllocationFails(true);
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("nogroup", 0, 0));
	EvaluateAt(0);
	EXPECT_EQ(LastBox(), "Could not allocate particle group!");
	EXPECT_EQ(Master()->NumParticles(), 0);

	Master()->SetGroupAllocationFails(false);
	Master()->SetAllocationLimit(2);
	EvaluateAt(0);
	EXPECT_EQ(LastBox(), "Could not allocate 3 particles");

	// in ID mode the IDs that got a particle are written and the rest is reported
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	Master()->SetAllocationLimit(2);
	headless::ClearMessageBoxes();
	EvaluateAt(0);
	EXPECT_EQ(LastBox(), "Could not allocate particle");
	EXPECT_EQ(Particles(op).size(), 2u);
}

TEST_F(ParticleImporter, OldDocumentsStoredTheFileItself)
{
	BaseObject* op = AddImporter();
	std::string path = WriteSequence("old", 2, 4);
	op->GetDataInstance()->SetFilename(TW_PI_FILE, Filename(path));
	headless::DocumentFile file = headless::SaveDocument(doc);
	file.objects.at(0).disklevel = 0;
	BaseDocument* loaded = headless::LoadDocument(file);
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetFilename(TW_PI_FILE).Get(), dir / "old_$F5.bin");
	BaseDocument::Free(loaded);

	// Fault: an old document's file name of 256 characters or more was rewritten as an empty pattern.
	const std::string too_long = dir / (std::string(300, 'o') + "_00002.bin");
	op->GetDataInstance()->SetFilename(TW_PI_FILE, Filename(too_long));
	file = headless::SaveDocument(doc);
	file.objects.at(0).disklevel = 0;
	loaded = headless::LoadDocument(file);
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetFilename(TW_PI_FILE).Get(), too_long);
	BaseDocument::Free(loaded);
	op->GetDataInstance()->SetFilename(TW_PI_FILE, Filename(path));

	// at the current level the stored pattern stays as it is, and no cache pointer survives saving
	EvaluateAt(2);
	file = headless::SaveDocument(doc);
	loaded = headless::LoadDocument(file);
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetFilename(TW_PI_FILE).Get(), path);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetVoid(TW_PI_CACHE_POINTER), nullptr);
	BaseDocument::Free(loaded);
}

TEST_F(ParticleImporter, DescriptionRowsAndEnabling)
{
	BaseObject* op = AddImporter();
	std::vector<DescElement> elements = headless::GetDescription(op);
	auto find = [&elements](Int32 id) -> const DescElement* {
		for (const DescElement& e : elements)
			if (e.id == id)
				return &e;
		return nullptr;
	};
	ASSERT_NE(find(TW_PI_FILE), nullptr);
	EXPECT_EQ(find(TW_PI_FILE)->dtype, DTYPE_FILENAME);
	EXPECT_NE(find(TW_PI_PAIR_VALUE_15), nullptr);
	EXPECT_EQ(find(TW_PI_ROW_TARGET), nullptr);

	headless::PressButton(op, TW_PI_ADD_ROW);
	headless::PressButton(op, TW_PI_ADD_ROW);
	elements = headless::GetDescription(op);
	for (Int32 i = 0; i < 2; ++i)
	{
		ASSERT_NE(find(TW_PI_ROW_TARGET + i), nullptr);
		EXPECT_EQ(find(TW_PI_ROW_TARGET + i)->parent, TW_PI_ROWS);
		EXPECT_EQ(find(TW_PI_ROW_TARGET + i)->cycle.size(), 24u);
		EXPECT_EQ(find(TW_PI_ROW_OPERATOR + i)->cycle.size(), 5u);
		EXPECT_EQ(find(TW_PI_ROW_CHANNEL + i), nullptr); // a new row's source is a value
		EXPECT_NE(find(TW_PI_ROW_VALUE + i), nullptr);
		EXPECT_EQ(find(TW_PI_ROW_REMOVE + i)->name.Get(), "Remove");
	}

	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_CACHE_RADIUS));
	op->GetDataInstance()->SetInt32(TW_PI_CACHE_MODE, 1);
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_CACHE_RADIUS));
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_PAIR_VALUE_3));
	op->GetDataInstance()->SetInt32(TW_PI_PAIR_SWITCH_3, 1);
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_PAIR_VALUE_3));
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_COLOR_GRADIENT));
	op->GetDataInstance()->SetInt32(TW_PI_DISPLAY_MODE, 3);
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_COLOR_GRADIENT));
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_COLOR_CHANNEL));
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_FOUND_MIN));
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_RENDER_SIZE));
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_RENDER_OBJECT));
}

// A sixteenth switch/value pair sat on the display mode and axis: two elements per ID, and ticking
// the last switch changed the display.
TEST_F(ParticleImporter, SwitchPairsLeaveTheDisplayParametersAlone)
{
	BaseObject* op = AddImporter();
	std::map<Int32, int> count;
	for (const DescElement& e : headless::GetDescription(op))
		++count[e.id];
	for (const auto& [id, n] : count)
		EXPECT_EQ(n, 1) << "description element " << id;
	EXPECT_EQ(count.count(TW_PI_DISPLAY_MODE), 1u);
	EXPECT_EQ(count.count(TW_PI_DISPLAY_AXIS), 1u);

	headless::UserSetParameter(op, TW_PI_PAIR_SWITCH_15, GeData(static_cast<Int32>(1)));
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_PI_DISPLAY_MODE), 0);
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_PAIR_VALUE_15));
	// the axis follows the display mode, not a switch below it
	EXPECT_FALSE(headless::IsEnabled(op, TW_PI_DISPLAY_AXIS));
	op->GetDataInstance()->SetInt32(TW_PI_DISPLAY_MODE, 2);
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_DISPLAY_AXIS));
	EXPECT_TRUE(headless::IsEnabled(op, TW_PI_DISPLAY_SIZE));
}

// The sub-frame step is scale x factor x 100 x dt: a scale or factor other than 1 must reach it, and
// in ID mode each file particle moves its own host particle.
TEST_F(ParticleImporter, SubFrameMotionFollowsScaleAndFactor)
{
	struct Case
	{
		Float scale, factor;
		bool ids;
	};
	for (const Case& c : {Case{2.0, 1.0, false}, Case{1.0, 0.5, false}, Case{2.0, 3.0, false}, Case{2.0, 3.0, true}})
	{
		SCOPED_TRACE(testing::Message() << "scale " << c.scale << " factor " << c.factor << " ids " << c.ids);
		BaseObject* op = AddImporter();
		WriteFrame(dir / "sub_00002.bin", {{2, 1, 1}, {1, 5, -1}}, 2);
		Choose(op, dir / "sub_00002.bin");
		headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(c.ids));
		op->GetDataInstance()->SetFloat(TW_PI_SCALE, c.scale);
		op->GetDataInstance()->SetFloat(TW_PI_SUBFRAME_FACTOR, c.factor);
		EvaluateAt(2.4);
		// 1 m/s for 0.4 frame at 25 fps
		const Float step = c.scale * c.factor * 100.0 * 0.4 / 25.0;
		const std::map<Int32, Int32> host_of = HostOfIds(op);
		ASSERT_EQ(host_of.size(), 2u);
		EXPECT_NEAR(Master()->Position(host_of.at(2)).x, c.scale * 100.0 * 1 + step, 1e-6);
		EXPECT_NEAR(Master()->Position(host_of.at(1)).x, c.scale * 100.0 * 5 - step, 1e-6);
		BaseObject::Free(op);
	}
}

} // namespace
