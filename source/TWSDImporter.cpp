// TWSDImporter.cpp - the SD scene import command.
#include "TWSDImporter.h"

#include "main.h"
#include "plugin_ids.h"
#include "sd_pending.h"

static PendingSdAnim* g_pending_sd_anim = nullptr;

PendingSdAnim* GetPendingSdAnim()
{
	return g_pending_sd_anim;
}

void SetPendingSdAnim(PendingSdAnim* pending)
{
	g_pending_sd_anim = pending;
}

Bool TWSDImporter::Execute(BaseDocument* doc)
{
	(void)doc;
	return true;
}

Bool RegisterTWSDImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_SD_IMPORTER, name, 0, icon, String(), new TWSDImporter());
	BaseBitmap::Free(icon);
	return ok;
}
