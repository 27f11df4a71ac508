// TWParticleNode.cpp - XPresso node reading the imported particles.
#include "TWParticleNode.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWParticleNode()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_NODE);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		// Without its name the node cannot be offered, and start-up stops here.
		return false;
	}
	Bool ok = GvRegisterOperatorPlugin(ID_TW_PARTICLE_NODE, name, 16, TWParticleNode::Alloc, "TW_Particle_Node", 1, ID_GV_OPCLASS_TYPE_GENERAL,
		ID_GV_OPGROUP_TYPE_XPRESSO, 0, icon);
	BaseBitmap::Free(icon);
	return ok;
}
