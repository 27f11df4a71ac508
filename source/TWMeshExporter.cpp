// TWMeshExporter.cpp - the mesh export command.
#include "TWMeshExporter.h"

#include "main.h"
#include "plugin_ids.h"

Bool TWMeshExporter::Execute(BaseDocument* doc)
{
	(void)doc;
	return true;
}

Bool RegisterTWMeshExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Mesh_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_MESH_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_MESH_EXPORTER, name, 0, icon, String(), new TWMeshExporter());
	BaseBitmap::Free(icon);
	return ok;
}
