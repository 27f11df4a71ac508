// c4d_main.h - the module's entry: the host calls c4d_main, which forwards to the module's handlers.
#pragma once

#include "ge_types.h"

// c4d_main actions.
enum
{
	C4DPL_INIT_SYS = 1,
	C4DPL_INIT = 2,
	C4DPL_END = 3,
	C4DPL_MESSAGE = 6,
	C4DPL_STARTACTIVITY = 1000,
};

// Supplied by the module.
Bool PluginStart();
void PluginEnd();
Bool PluginMessage(Int32 id, void* data);

extern "C" Int32 c4d_main(Int32 action, void* p1, void* p2, void* p3);
