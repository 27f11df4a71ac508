// host_state.h - the headless host's own state, shared by its source files.
#pragma once

#include "headless.h"

#include "c4d_material.h"
#include "c4d_plugin.h"

#include <map>
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
	DialogScript dialog_script;
	std::vector<Int32> opened_dialogs;
	std::vector<std::pair<Int32, GeDialog*>> windows; // open non-modal dialogs by plug-in ID
	int event_adds = 0;
	int draw_views = 0;
	std::vector<std::string> texture_paths;
};

HostState& State();
// Closes every open non-modal dialog, as the host does when it shuts down.
void CloseAllWindows();
// The serial number a node got when it was made, 0 for a node that is not alive: links compare it
// so that a freed node, or a new one at a freed node's address, is not taken for the linked one.
UInt64 NodeSerial(const GeListNode* node);
// The registration of an operator of the host's own (the recording node), null for any other ID.
const Registration* HostOperator(Int32 id);
// Whether RefuseTagAllocation made allocations of this tag type fail.
bool TagAllocationRefused(Int32 type);
// Sets an object's matrix from its position, rotation and scale tracks at this time.
void AnimateObject(BaseObject* op, const BaseTime& time);
// The local matrix its tracks give op at this time (its own where it has none), without setting it.
Matrix AnimatedMl(const BaseObject* op, const BaseTime& time);
// Appends copies of src's tracks with their keys to dst.
void CopyTracks(const BaseList2D* src, BaseList2D* dst);
// Frees the shaders of a node's shader list.
void FreeShaders(BaseList2D* node);
// The standard material while rendering (render.cpp): its preparation, release and surface colour.
INITRENDERRESULT StandardInitRender(BaseMaterial* mat, const InitRenderStruct& irs);
void StandardFreeRender(BaseMaterial* mat);
void StandardSurface(BaseMaterial* mat, VolumeData* vd);
// The render notification (start or end) to every object of the document in hierarchy order, then to
// every material.
void NotifyRender(BaseDocument* doc, Bool start);
// A document's own view (BaseDocument::GetActiveBaseDraw): its scene camera is the document's first
// camera at the time of asking, its editor camera has the editor's orientation.
BaseDraw* NewDocumentDraw(const BaseDocument* doc);
// Writes 8-bit RGB rows (w x h, top down) as a PNG under a temporary name, then renames it into place;
// nothing is left at path or beside it on failure.
bool WritePngFile(const std::string& path, Int32 w, Int32 h, const UChar* rgb, std::string* error = nullptr);
// Whether op is a primitive the host generates (sphere, disc), and the polygon object it stands for.
bool IsPrimitive(const BaseObject* op);
PolygonObject* BuildPrimitive(const BaseObject* op);
// "NAME = 123" pairs of a symbols header (res/c4d_symbols.h).
std::map<std::string, Int32> ParseSymbols(const std::string& text);
// Words, numbers, quoted strings (with their quotes) and { } ; = , of a resource file.
std::vector<std::string> ResourceTokens(const std::string& text);

} // namespace headless
