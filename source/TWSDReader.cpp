// TWSDReader.cpp - SD scene replayed as the timeline moves.
#include "TWSDReader.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWSDReader()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_READER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_SD_READER, name, PLUGINFLAG_HIDE | OBJECT_GENERATOR, TWSDReader::Alloc, "TW_SD_Reader", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
