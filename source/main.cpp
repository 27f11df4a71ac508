// main.cpp - module entry: registration of the eleven plug-ins and the start-up banner.
#include "main.h"

#include "importer_cache.h"

#include "console.h"
#include "plugin_ids.h"
#include "sd_pending.h"

static C4DLibrary* g_thinking_particles = nullptr;

C4DLibrary* GetThinkingParticlesLibrary()
{
	return g_thinking_particles;
}

BaseBitmap* LoadPluginIcon(const char* file_name)
{
	BaseBitmap* bmp = BaseBitmap::Alloc();
	if (!bmp)
		return nullptr;
	if (bmp->Init(GeGetPluginPath() + Filename("res") + Filename(file_name)) != IMAGERESULT_OK)
	{
		BaseBitmap::Free(bmp);
		return nullptr;
	}
	return bmp;
}

Bool PluginStart()
{
	// Table order; the first failure stops start-up and leaves the rest unregistered.
	static Bool (*const registrations[])() = {
		RegisterTWParticleImporter,
		RegisterTWParticleExporter,
		RegisterTWParticleNode,
		RegisterTWSDImporter,
		RegisterTWSDAnim,
		RegisterTWSDReader,
		RegisterTWSDExporter,
		RegisterTWMeshImporter,
		RegisterTWMeshExporter,
		RegisterTWMeltMaterial,
		RegisterTWParticleShader,
	};
	for (auto reg : registrations)
		if (!reg())
			return false;
	return true;
}

void PluginEnd()
{
	// The module's namespace-scope state is let go here, never by the runtime: the host may end and
	// unload the module during process exit, after the runtime destroyed objects with destructors,
	// and may still free documents with importers after this (their shared records go with them).
	FreeImporterCaches();
	FreeParticleImporterChoices();
	SetPendingSdAnim(nullptr);
	g_thinking_particles = nullptr;
	g_resource.Free();
}

Bool PluginMessage(Int32 id, void* data)
{
	(void)data;
	switch (id)
	{
		case 0:
			return true;
		case C4DPL_INIT_SYS:
			return g_resource.Init();
		case C4DPL_STARTACTIVITY:
			PrintConsole(TW_BANNER_FORMAT, TW_VERSION_STRING);
			if (!g_thinking_particles)
				g_thinking_particles = CheckLib(ID_THINKING_PARTICLES_LIBRARY);
			return false;
	}
	return false;
}
