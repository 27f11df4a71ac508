// module_unload_test.cpp - the module ends and unloads safely in every order a host may choose.
//
// Each order runs in a child process that exits 0 once the module is gone, so that a crash in one
// order shows as that order's failure.
#include "headless.h"
#include "importer_files.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

// A scene with everything the module shares between objects: two particle importers on one
// shared record (window mode), a mesh importer and its copy, the particle importer's choice lists
// (a description row), all evaluated once.
void BuildScene(BaseDocument* doc, const TempDir& dir)
{
	for (int k = 0; k <= 3; ++k)
	{
		char name[32];
		std::snprintf(name, sizeof name, "p_%04d.bin", k);
		if (!WriteParticleFrameFile(dir / name, k, 4))
			std::exit(3);
		std::snprintf(name, sizeof name, "m_%04d.bin", k);
		if (!WriteMeshFrameFile(dir / name, k))
			std::exit(3);
	}
	BaseObject* particles = BaseObject::Alloc(TW_Particle_Importer);
	BaseObject* mesh = BaseObject::Alloc(TW_Mesh_Importer);
	if (!particles || !mesh)
		std::exit(4);
	doc->InsertObject(particles, nullptr, nullptr);
	doc->InsertObject(mesh, nullptr, nullptr);
	headless::UserSetParameter(particles, TW_PI_CACHE_MODE, GeData(Int32(1)));
	headless::UserSetParameter(particles, TW_PI_FILE, GeData(Filename(dir / "p_0000.bin")));
	headless::UserSetParameter(mesh, TW_MI_CACHE_MODE, GeData(Int32(2)));
	headless::UserSetParameter(mesh, TW_MI_FILE, GeData(Filename(dir / "m_0000.bin")));
	headless::PressButton(particles, TW_PI_ADD_ROW);
	headless::GetDescription(particles);
	doc->SetTime(BaseTime(1.0, 25.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	BaseObject* particle_copy = particles->GetClone();
	particle_copy->SetName(String("copy"));
	doc->InsertObject(particle_copy, nullptr, nullptr);
	doc->InsertObject(mesh->GetClone(), nullptr, nullptr);
	doc->SetTime(BaseTime(2.0, 25.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);
}

enum class Order
{
	DocumentsFreedBeforeTheEnd,
	DocumentsFreedAfterTheEnd,
	UnloadedWhileDocumentsLive,
};

void UnloadIn(Order order)
{
	TempDir dir;
	headless::Module module;
	if (!module.Load(BuiltPluginFolder()))
		std::exit(2);
	BaseDocument* doc = BaseDocument::Alloc();
	headless::SetActiveDocument(doc);
	BuildScene(doc, dir);
	headless::SetActiveDocument(nullptr);
	switch (order)
	{
		case Order::DocumentsFreedBeforeTheEnd:
			BaseDocument::Free(doc);
			module.Unload();
			break;
		case Order::DocumentsFreedAfterTheEnd:
			module.End();
			BaseDocument::Free(doc);
			module.Unload();
			break;
		case Order::UnloadedWhileDocumentsLive:
			module.Unload();
			// the objects stay in the document without their plug-in, which is gone
			if (!doc->GetFirstObject() || doc->GetFirstObject()->GetNodeData())
				std::exit(5);
			BaseDocument::Free(doc);
			break;
	}
	// and the module comes back as new
	if (!module.Load(BuiltPluginFolder()))
		std::exit(6);
	module.Unload();
	std::exit(0);
}

TEST(ModuleUnload, EveryOrderOfDocumentsAndTheModulesEndIsSafe)
{
	EXPECT_EXIT(UnloadIn(Order::DocumentsFreedBeforeTheEnd), ::testing::ExitedWithCode(0), "");
	EXPECT_EXIT(UnloadIn(Order::DocumentsFreedAfterTheEnd), ::testing::ExitedWithCode(0), "");
	EXPECT_EXIT(UnloadIn(Order::UnloadedWhileDocumentsLive), ::testing::ExitedWithCode(0), "");
}

// The fault: a static host object unloads the module during process exit, after the runtime had
// destroyed the module's own namespace-scope objects, and PluginEnd walked a destroyed set.
TEST(ModuleUnload, ProcessExitWithAStaticHostUnloadsSafely)
{
	EXPECT_EXIT(
		{
			static TempDir dir;
			static headless::Module module;
			if (!module.Load(BuiltPluginFolder()))
				std::exit(2);
			BaseDocument* doc = BaseDocument::Alloc();
			headless::SetActiveDocument(doc);
			BuildScene(doc, dir);
			std::exit(0); // the host's statics unload the module, documents and all
		},
		::testing::ExitedWithCode(0), "");
}

} // namespace
