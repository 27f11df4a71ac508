// c4d_general.h - console, message boxes, resources, the module's folder, library binding, running mode.
#pragma once

#include "ge_types.h"

// --- console and message boxes
void GePrint(const String& text);

// Message-box flags: the exclamation icon with a single OK button.
enum
{
	GEMB_OK = 0,
	GEMB_ICONEXCLAMATION = 48,
};
// Shows a modal message box and returns the button pressed (GEMB_R_OK = 1 for a plain OK box).
Int32 GeOutString(const String& text, Int32 flags);

// --- resources of the running module

// Host side of a module's resource set: the string table under a module folder's res/.
void* GeResourceOpen(const Filename& module_folder);
Bool GeResourceString(const void* handle, Int32 id, String* out);
void GeResourceClose(void* handle);

class GeResource
{
public:
	// Loads the resource set of the module's folder (or of the given folder).
	Bool Init();
	Bool Init(const Filename& module_folder);
	String LoadString(Int32 id) const;
	Bool IsLoaded() const { return _handle != nullptr; }
	// Closes the set. The module does it at its end: g_resource has no destructor, so that the
	// runtime never closes it behind the module's back during process exit.
	void Free();

private:
	void* _handle = nullptr;
};

// The module's own resource set, initialised at system initialisation.
extern GeResource g_resource;

// A string of the module's string table; empty when the table has no such entry.
String GeLoadString(Int32 id);

// The folder the running module was loaded from.
Filename GeGetPluginPath();

// The prefix that files a plug-in name into the host's menu group with this number.
String GeGetMenuGroupPrefix(Int32 number);

// --- host libraries
struct C4DLibrary
{
	Int32 id = 0;
	Int32 version = 0;
};
// Binds the host library with this ID, or nullptr when the host has none.
C4DLibrary* CheckLib(Int32 id);

// --- the host's running mode
enum
{
	VERSIONTYPE_PRIME = 0,
	VERSIONTYPE_NET_CLIENT = 8,
	VERSIONTYPE_NET_SERVER_3 = 9,
	VERSIONTYPE_NET_SERVER_UNLIMITED = 10,
};
Int32 GeGetVersionType();

// --- files
Bool GeFExist(const Filename& name, Bool is_dir = false);

// --- network rendering: the render job of this machine and the file transfer from its server.
class NetRenderService
{
public:
	virtual ~NetRenderService() = default;
	// Folder of the current render job; empty when there is no job.
	virtual Filename GetJobFolder() = 0;
	// The job's local copy of an asset with this file name (last component), or empty.
	virtual Filename FindLocalAsset(const String& file_name) = 0;
	// Folder on this machine into which the job's files are transferred.
	virtual Filename GetLocalFolder() = 0;
	// Copies the file at server_path on the render server to local_path; false when it failed.
	virtual Bool RequestFile(const Filename& server_path, const Filename& local_path) = 0;
};
// The host's service; never null (without network rendering every answer is "none").
NetRenderService* GetNetRenderService();
