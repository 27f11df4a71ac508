// module.cpp - loading the module from its folder, and the plug-ins it registers.
#include "host_state.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace headless
{

const char* KindName(PluginKind kind)
{
	switch (kind)
	{
		case KIND_OBJECT: return "object";
		case KIND_COMMAND: return "command";
		case KIND_SHADER: return "shader";
		case KIND_MATERIAL: return "material";
		case KIND_OPERATOR: return "operator";
	}
	return "unknown";
}

const std::vector<Registration>& Registrations()
{
	return State().registrations;
}

const Registration* FindRegistration(Int32 id)
{
	for (const Registration& r : State().registrations)
		if (r.id == id)
			return &r;
	return HostOperator(id);
}

Module::Module()
{
	State();
}

Module::~Module()
{
	Unload();
}

static void SetError(std::string* error, const std::string& text)
{
	if (error)
		*error = text;
}

bool Module::Load(const std::string& folder, std::string* error)
{
	Unload();
	_ended = false;
	std::string path = (Filename(folder) + Filename("tidewell_connect.xdl64")).Get();
	_lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!_lib)
	{
		const char* why = dlerror();
		SetError(error, std::string("cannot load module: ") + (why ? why : path));
		return false;
	}
	_main = reinterpret_cast<Int32 (*)(Int32, void*, void*, void*)>(dlsym(_lib, "c4d_main"));
	if (!_main)
	{
		SetError(error, "the module has no c4d_main");
		dlclose(_lib);
		_lib = nullptr;
		return false;
	}
	_folder = folder;
	State().plugin_folder = folder;
	if (!_main(C4DPL_INIT_SYS, nullptr, nullptr, nullptr))
	{
		SetError(error, "the module's resources could not be initialised");
		return false;
	}
	if (!_main(C4DPL_INIT, nullptr, nullptr, nullptr))
	{
		SetError(error, "the module's PluginStart failed");
		return false;
	}
	_main(C4DPL_MESSAGE, reinterpret_cast<void*>(static_cast<intptr_t>(C4DPL_STARTACTIVITY)), nullptr, nullptr);
	return true;
}

void Module::End()
{
	if (!_lib || _ended)
		return;
	_main(C4DPL_END, nullptr, nullptr, nullptr);
	_ended = true;
}

void Module::Unload()
{
	if (!_lib)
		return;
	HostState& s = State();
	// Scene nodes run the module's code when they are freed, so they go first: the active document,
	// then the plug-in data of any node still alive elsewhere. A node in a document or under another
	// stays where it is, as a host keeps the objects of a plug-in it no longer has.
	if (s.owns_active_doc)
	{
		BaseDocument* doc = s.active_doc;
		BaseDocument::Free(doc);
	}
	while (!s.plugin_nodes.empty())
	{
		GeListNode* node = *s.plugin_nodes.begin();
		if (node->GetDocument() || node->GetUp() || node->GetPred() || node->GetNext())
			node->FreeNodeData();
		else
			delete node;
	}
	if (!_ended)
		_main(C4DPL_END, nullptr, nullptr, nullptr);
	_ended = false;
	for (Registration& r : s.registrations)
		delete r.command;
	s.registrations.clear();
	dlclose(_lib);
	_lib = nullptr;
	_main = nullptr;
	_folder.clear();
	s.plugin_folder.clear();
}

} // namespace headless

using namespace headless;

static bool DescriptionExists(const String& description)
{
	if (description.IsEmpty())
		return true;
	std::string path = (GeGetPluginPath() + Filename("res") + Filename("description") + Filename(description.Get() + ".res")).Get();
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

static Bool Add(Registration r, BaseBitmap* icon, const String& description)
{
	HostState& s = State();
	if (r.id == s.refuse_id || r.id <= 0 || FindRegistration(r.id) || !DescriptionExists(description))
	{
		delete r.command;
		return false;
	}
	r.description = description.Get();
	if (icon)
	{
		r.has_icon = true;
		r.icon_width = icon->GetBw();
		r.icon_height = icon->GetBh();
	}
	// A name that starts with a menu-group prefix files the plug-in into that group.
	r.display_name = r.name;
	if (r.name.compare(0, 2, "#$") == 0)
	{
		size_t end = r.name.find('#', 2);
		if (end != std::string::npos)
		{
			r.menu_group = std::atoi(r.name.substr(2, end - 2).c_str());
			r.display_name = r.name.substr(end + 1);
		}
	}
	s.registrations.push_back(r);
	return true;
}

Bool RegisterObjectPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel)
{
	Registration r;
	r.kind = KIND_OBJECT;
	r.id = id;
	r.name = str.Get();
	r.info = info;
	r.alloc = g;
	r.disklevel = disklevel;
	return Add(r, icon, description);
}

Bool RegisterCommandPlugin(Int32 id, const String& str, Int32 info, BaseBitmap* icon, const String& help, CommandData* dat)
{
	Registration r;
	r.kind = KIND_COMMAND;
	r.id = id;
	r.name = str.Get();
	r.info = info;
	r.help = help.Get();
	r.command = dat;
	return Add(r, icon, String());
}

Bool RegisterShaderPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	Int32 disklevel)
{
	Registration r;
	r.kind = KIND_SHADER;
	r.id = id;
	r.name = str.Get();
	r.info = info;
	r.alloc = g;
	r.disklevel = disklevel;
	return Add(r, nullptr, description);
}

Bool RegisterMaterialPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	Int32 disklevel)
{
	Registration r;
	r.kind = KIND_MATERIAL;
	r.id = id;
	r.name = str.Get();
	r.info = info;
	r.alloc = g;
	r.disklevel = disklevel;
	return Add(r, nullptr, description);
}

Bool GvRegisterOperatorPlugin(GvOperatorID id, const String& str, Int32 info, DataAllocator* at, const String& description,
	Int32 disklevel, GvOpClassID op_class, GvOpGroupID op_group, Int32 op_owner, BaseBitmap* icon)
{
	Registration r;
	r.kind = KIND_OPERATOR;
	r.id = id;
	r.name = str.Get();
	r.info = info;
	r.alloc = at;
	r.disklevel = disklevel;
	r.op_class = op_class;
	r.op_group = op_group;
	r.op_owner = op_owner;
	return Add(r, icon, description);
}
