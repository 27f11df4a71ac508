// TWSDExporter.cpp - the SD scene export command.
#include "TWSDExporter.h"

#include "main.h"
#include "plugin_ids.h"

Bool TWSDExporter::Execute(BaseDocument* doc)
{
	(void)doc;
	return true;
}

Bool RegisterTWSDExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_SD_EXPORTER, name, 0, icon, String(), new TWSDExporter());
	BaseBitmap::Free(icon);
	return ok;
}
