// c4d_resource.cpp - the module's resource set (one per module, as each module has its own res/).
#include "c4d_general.h"

GeResource g_resource;

Bool GeResource::Init()
{
	return Init(GeGetPluginPath());
}

Bool GeResource::Init(const Filename& module_folder)
{
	GeResourceClose(_handle);
	_handle = GeResourceOpen(module_folder);
	return _handle != nullptr;
}

String GeResource::LoadString(Int32 id) const
{
	String s;
	if (!GeResourceString(_handle, id, &s))
		return String();
	return s;
}

void GeResource::Free()
{
	GeResourceClose(_handle);
	_handle = nullptr;
}

String GeLoadString(Int32 id)
{
	return g_resource.LoadString(id);
}
