// c4d_main.cpp - the module's single entry point: forwards the host's events to the module's handlers.
#include "c4d_main.h"

extern "C" __attribute__((visibility("default"))) Int32 c4d_main(Int32 action, void* p1, void* p2, void* p3)
{
	(void)p3;
	switch (action)
	{
		case C4DPL_INIT_SYS:
			return PluginMessage(C4DPL_INIT_SYS, nullptr) ? 1 : 0;
		case C4DPL_INIT:
			return PluginStart() ? 1 : 0;
		case C4DPL_END:
			PluginEnd();
			return 1;
		case C4DPL_MESSAGE:
			return PluginMessage(static_cast<Int32>(reinterpret_cast<intptr_t>(p1)), p2) ? 1 : 0;
	}
	return 0;
}
