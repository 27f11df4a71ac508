// TWMeshImporter.cpp - mesh sequence rebuilt as a polygon object.
#include "TWMeshImporter.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWMeshImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Mesh_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_MESH_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_MESH_IMPORTER, name, OBJECT_GENERATOR, TWMeshImporter::Alloc, "TW_Mesh_Importer", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
