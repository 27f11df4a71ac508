// TWSDAnim.cpp - SD animation of one imported object.
#include "TWSDAnim.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWSDAnim()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_ANIM);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_SD_ANIM, name, PLUGINFLAG_HIDE | OBJECT_MODIFIER, TWSDAnim::Alloc, "TW_SD_Anim", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
