// host_state.h - the headless host's own state, shared by its source files.
#pragma once

#include "headless.h"

#include <set>

namespace headless
{

struct HostState
{
	std::vector<Registration> registrations;
	Int32 refuse_id = 0;
	std::vector<std::string> console;
	std::vector<MessageBoxRecord> boxes;
	bool echo = false;
	Int32 version_type = VERSIONTYPE_PRIME;
	NetRenderService* net = nullptr;
	std::string plugin_folder; // folder of the module being run
	BaseDocument* active_doc = nullptr;
	bool owns_active_doc = false;
	std::set<GeListNode*> plugin_nodes; // nodes carrying a module's plug-in data, freed before unload
	C4DLibrary tp_library{1001428, 1};
	bool tp_available = true;
};

HostState& State();
// Whether RefuseTagAllocation made allocations of this tag type fail.
bool TagAllocationRefused(Int32 type);

} // namespace headless
