// sd_pending.h - the slot through which the SD Importer hands a new SD Anim object its settings.
#pragma once

#include "c4d.h"

#include <cstdint>

struct PendingSdAnim
{
	char path[512]; // the scene file
	BaseObject* target; // the object the SD Anim object goes under, and the one baking keys
	int32_t first_frame;
	int32_t last_frame;
	bool bake; // bake the motion into keys at the first dirty check
	BaseObject* created; // set by the new SD Anim object's Init to itself
};

// The module-wide slot: null except while the SD Importer creates one SD Anim object. Commands and
// evaluation run on one thread at a time, so it is not guarded.
PendingSdAnim* GetPendingSdAnim();
void SetPendingSdAnim(PendingSdAnim* pending);
