// importer_layout_test.cpp - importers play every frame of their cache mode however they came to be
// (new, loaded, copied), and a single file plays as one frame.
#include "host_test.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"
#include "importer_files.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

void WriteParticles(const std::string& path, int frame, int count)
{
	ASSERT_TRUE(WriteParticleFrameFile(path, frame, count)) << path;
}

void WriteMesh(const std::string& path, int frame)
{
	ASSERT_TRUE(WriteMeshFrameFile(path, frame)) << path;
}

class ImporterLayout : public HostTest
{
protected:
	std::string Frame(const std::string& name, int frame) const
	{
		char file[64];
		std::snprintf(file, sizeof file, "%s_%05d.bin", name.c_str(), frame);
		return dir / file;
	}
	void Evaluate(BaseDocument* d, Float frame)
	{
		d->SetTime(BaseTime(frame * 1000.0, 25000.0));
		d->ExecutePasses(nullptr, true, true, true, 0);
	}
	static Int32 ParticleCount(BaseDocument* d, BaseObject* op)
	{
		for (TP_PGroup* g : GetThinkingParticlesMaster(d)->GetParticleGroups())
			if (g->GetName() == op->GetName())
				return g->NumParticles();
		return -1;
	}
	static std::string ShownFile(BaseObject* op) { return op->GetDataInstance()->GetString(TW_PI_CURRENT_FILE).Get(); }
	static Float FirstPointX(BaseObject* op)
	{
		PolygonObject* built = static_cast<PolygonObject*>(op->GetCache());
		return built && built->GetPointCount() > 0 ? built->GetPointR()[0].x : -1.0;
	}
	// Saves doc and opens the file again as the active document; the caller frees it.
	BaseDocument* Reopen()
	{
		BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
		EXPECT_NE(loaded, nullptr);
		headless::SetActiveDocument(loaded);
		return loaded;
	}
	void Close(BaseDocument* loaded)
	{
		headless::SetActiveDocument(doc);
		BaseDocument::Free(loaded);
	}

	TempDir dir;
};

// The fault: opened again, an importer in mode 1 showed one frame per window and in mode 2 nothing,
// until a cache parameter was changed; a copy of the opened object did the same.
TEST_F(ImporterLayout, ReopenedAndCopiedParticleImporterPlaysEveryFrame)
{
	for (Int32 mode : {1, 2})
	{
		const std::string name = "drops" + std::to_string(mode);
		for (int k = 0; k <= 5; ++k)
			WriteParticles(Frame(name, k), k, 3);
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_CACHE_MODE, GeData(mode));
		headless::UserSetParameter(op, TW_PI_CACHE_RADIUS, GeData(Int32(2)));
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(Frame(name, 0))));
		Evaluate(doc, 0);
		ASSERT_EQ(ShownFile(op), Frame(name, 0));

		BaseDocument* loaded = Reopen();
		BaseObject* reopened = loaded->GetFirstObject();
		ASSERT_NE(reopened, nullptr);
		BaseObject* copy = reopened->GetClone();
		copy->SetName(String("copy"));
		loaded->InsertObject(copy, nullptr, nullptr);
		for (int k = 0; k <= 5; ++k)
		{
			Evaluate(loaded, k);
			for (BaseObject* o : {reopened, copy})
			{
				EXPECT_EQ(ShownFile(o), Frame(name, k)) << "mode " << mode << " frame " << k << " " << o->GetName().Get();
				EXPECT_EQ(ParticleCount(loaded, o), 3) << "mode " << mode << " frame " << k;
			}
		}
		Close(loaded);
		BaseObject::Free(op);
	}
}

TEST_F(ImporterLayout, ReopenedAndCopiedMeshImporterPlaysEveryFrame)
{
	for (Int32 mode : {1, 2})
	{
		const std::string name = "wave" + std::to_string(mode);
		for (int k = 0; k <= 5; ++k)
			WriteMesh(Frame(name, k), k);
		BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_MI_CACHE_MODE, GeData(mode));
		headless::UserSetParameter(op, TW_MI_CACHE_WINDOW, GeData(Int32(2)));
		headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(Frame(name, 0))));
		Evaluate(doc, 0);
		ASSERT_EQ(FirstPointX(op), 0.0);

		BaseDocument* loaded = Reopen();
		BaseObject* reopened = loaded->GetFirstObject();
		ASSERT_NE(reopened, nullptr);
		BaseObject* copy = reopened->GetClone();
		loaded->InsertObject(copy, nullptr, nullptr);
		for (int k = 0; k <= 5; ++k)
		{
			Evaluate(loaded, k);
			for (BaseObject* o : {reopened, copy})
				EXPECT_EQ(FirstPointX(o), 100.0 * k) << "mode " << mode << " frame " << k;
		}
		Close(loaded);
		BaseObject::Free(op);
	}
}

// The fault: with the whole sequence loaded, a new velocity scale reloaded every frame with the old
// one, so sub-frame motion kept the old speed.
TEST_F(ImporterLayout, MeshVelocityScaleReachesTheWholeSequence)
{
	for (int k = 36; k <= 39; ++k)
		WriteMesh(Frame("flow", k), k);
	BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_MI_CACHE_MODE, GeData(Int32(2)));
	headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(Frame("flow", 36))));
	// 37.5 frames shows frame 37 and moves it on by 0.02 s: 2 cm at 1 m/s
	struct Step
	{
		Float scale, frame, x;
	} steps[] = {{1.0, 37.5, 3702.0}, {3.0, 37.5, 3706.0}, {3.0, 38.5, 3806.0}, {0.5, 38.5, 3801.0}, {1.0, 37.5, 3702.0}};
	for (const Step& s : steps)
	{
		headless::UserSetParameter(op, TW_MI_VELOCITY_SCALE, GeData(s.scale));
		Evaluate(doc, s.frame);
		EXPECT_NEAR(FirstPointX(op), s.x, 1e-3) << "scale " << s.scale << " frame " << s.frame;
	}
}

// The fault: a file without frame number has the range 0 to 9,999,999, and mode 2 loaded it ten
// million times.
TEST_F(ImporterLayout, SingleFilePlaysAsOneFrameInWholeSequenceMode)
{
	WriteParticles(dir / "still.bin", 4, 5);
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_PI_CACHE_MODE, GeData(Int32(2)));
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(dir / "still.bin")));
	EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_PI_LAST_FRAME), 9999999);
	for (Float frame : {0.0, 1.0, 250.0, 3.0})
	{
		Evaluate(doc, frame);
		EXPECT_EQ(ShownFile(op), dir / "still.bin") << frame;
		EXPECT_EQ(ParticleCount(doc, op), 5) << frame;
	}
}

// The fault: the asset walk went through the ten million frames of the range, opening the file each time.
TEST_F(ImporterLayout, SingleFileIsOneAssetOfEachImporter)
{
	WriteParticles(dir / "still.bin", 0, 2);
	WriteMesh(dir / "still.md", 0);
	BaseObject* particles = BaseObject::Alloc(TW_Particle_Importer);
	BaseObject* mesh = BaseObject::Alloc(TW_Mesh_Importer);
	doc->InsertObject(particles, nullptr, nullptr);
	doc->InsertObject(mesh, nullptr, nullptr);
	headless::UserSetParameter(particles, TW_PI_FILE, GeData(Filename(dir / "still.bin")));
	headless::UserSetParameter(particles, TW_PI_ASSETS, GeData(true));
	headless::UserSetParameter(mesh, TW_MI_FILE, GeData(Filename(dir / "still.md")));
	headless::UserSetParameter(mesh, TW_MI_REPORT_ASSETS, GeData(true));
	ASSERT_EQ(mesh->GetDataInstance()->GetInt32(TW_MI_LAST_FRAME), 9999999);
	const std::vector<AssetEntry> assets = headless::CollectAssets(doc, ASSETDATA_FLAG_NET);
	ASSERT_EQ(assets.size(), 2u);
	for (const AssetEntry& a : assets)
		EXPECT_EQ(a.file.Get(), dir / (a.owner == particles ? "still.bin" : "still.md"));
}

} // namespace
