// TWParticleImporter.cpp - particle sequence played back as Thinking Particles.
#include "TWParticleImporter.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWParticleImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_PARTICLE_IMPORTER, name, OBJECT_GENERATOR, TWParticleImporter::Alloc, "TW_Particle_Importer", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
