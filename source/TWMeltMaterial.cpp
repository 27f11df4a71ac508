// TWMeltMaterial.cpp - the melt material.
#include "TWMeltMaterial.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWMeltMaterial()
{
	String name = GeLoadString(ID_TW_MELT_MATERIAL);
	if (!name.IsPopulated())
		return true;
	Bool ok = RegisterMaterialPlugin(ID_TW_MELT_MATERIAL, GeGetMenuGroupPrefix(ID_MELT_MATERIAL_MENU_GROUP) + name, 0, TWMeltMaterial::Alloc,
		"TW_MeltMaterial", 0);
	return ok;
}
