// TWParticleExporter.cpp - the particle export command.
#include "TWParticleExporter.h"

#include "main.h"
#include "plugin_ids.h"

Bool TWParticleExporter::Execute(BaseDocument* doc)
{
	(void)doc;
	return true;
}

Bool RegisterTWParticleExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_PARTICLE_EXPORTER, name, 0, icon, String(), new TWParticleExporter());
	BaseBitmap::Free(icon);
	return ok;
}
