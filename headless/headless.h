// headless.h - driving the embedded host: load the module, read back what it registered, printed and showed.
#pragma once

#include "c4d.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace headless
{

enum PluginKind
{
	KIND_OBJECT,
	KIND_COMMAND,
	KIND_SHADER,
	KIND_MATERIAL,
	KIND_OPERATOR,
};

const char* KindName(PluginKind kind);

// One plug-in as the module registered it, with every argument of its registration.
struct Registration
{
	PluginKind kind = KIND_OBJECT;
	Int32 id = 0;
	std::string name;		  // as passed, menu-group prefix included
	std::string display_name; // without the menu-group prefix
	Int32 menu_group = -1;	  // the menu group the prefix named, -1 for none
	Int32 info = 0;
	std::string description;
	bool has_icon = false;
	Int32 icon_width = 0, icon_height = 0;
	Int32 disklevel = -1;
	std::string help;
	Int32 op_class = 0, op_group = 0, op_owner = 0;
	DataAllocator* alloc = nullptr;
	CommandData* command = nullptr; // owned by the host
};

struct MessageBoxRecord
{
	std::string text;
	Int32 flags = 0;
};

// The module loaded from a plug-in folder: <folder>/tidewell_connect.xdl64 with <folder>/res beside it.
class Module
{
public:
	// Constructs the host's state first, so that a static Module is destroyed before that state.
	Module();
	~Module();
	Module(const Module&) = delete;
	Module& operator=(const Module&) = delete;

	// System initialisation, PluginStart, start of activity. False (with a reason) when any step failed;
	// what was registered before a failure stays readable until Unload.
	bool Load(const std::string& folder, std::string* error = nullptr);
	// PluginEnd now, while documents may still hold the module's objects (a host may end a module
	// before it frees its documents); Unload then does not send it again.
	void End();
	// Frees the active document when the host owns it and the plug-in data of every node still
	// alive (a node inside a document or hierarchy stays there without it; a free one is deleted),
	// PluginEnd unless End was called, then unloads.
	void Unload();
	bool IsLoaded() const { return _lib != nullptr; }
	const std::string& Folder() const { return _folder; }

private:
	void* _lib = nullptr;
	Int32 (*_main)(Int32, void*, void*, void*) = nullptr;
	std::string _folder;
	bool _ended = false;
};

// --- registrations
const std::vector<Registration>& Registrations();
const Registration* FindRegistration(Int32 id);
// Injected fault: the host refuses the registration of this plug-in ID (0 = refuse none).
void RefuseRegistration(Int32 id);

// --- console lines and message boxes, in the order they came
const std::vector<std::string>& ConsoleLines();
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearConsole();
void ClearMessageBoxes();
// Also write console lines to stderr as they come (for the command-line tool).
void SetConsoleEcho(bool echo);

// --- running mode and network rendering
void SetVersionType(Int32 type);
// The service behind GetNetRenderService(); nullptr restores the default, which answers "none".
void SetNetRenderService(NetRenderService* service);

// A render job laid out in folders: the server's files in server_folder (found there by file name),
// the job's local folder, and the local asset list. Counts every call so tests can see what was asked.
class FolderNetRenderService : public NetRenderService
{
public:
	std::string server_folder;
	std::string job_folder;
	std::string local_folder;
	std::vector<std::string> local_assets; // full local paths
	bool refuse_requests = false;		   // injected fault: the server refuses every transfer
	int calls = 0;
	std::vector<std::string> requested; // server paths asked for

	Filename GetJobFolder() override;
	Filename FindLocalAsset(const String& file_name) override;
	Filename GetLocalFolder() override;
	Bool RequestFile(const Filename& server_path, const Filename& local_path) override;
};

// --- scene nodes
// Injected fault: allocations of tags of this type fail, as when memory runs out (0 = none fail).
void RefuseTagAllocation(Int32 type);

// --- documents
// The active document (made on first use); Set makes another one active (the host does not own it then).
void SetActiveDocument(BaseDocument* doc);

// --- texture search: the texture paths of the preferences, searched in order after the document's
// folder and a material's suggested folder (none by default).
void SetTexturePaths(const std::vector<std::string>& folders);

// --- Thinking Particles
// Whether documents get a particle master (a host can lack Thinking Particles); on by default.
void SetThinkingParticlesAvailable(bool available);

// --- XPresso: the host's own recording node
// Connected to output ports, it keeps what they held each time it was calculated. Its operator ID lies
// outside the module's range.
constexpr Int32 ID_RECORDING_NODE = 1099100;

// The values one input port of a recording node received, one per calculation of the node, in the
// column of its type: vectors (vector), floats (float), integers (integer and particle), strings
// (string).
struct RecordedColumn
{
	std::string name;
	Int32 type = 0;
	std::vector<Vector> vectors;
	std::vector<Float> floats;
	std::vector<Int32> integers;
	std::vector<std::string> strings;
	size_t Size() const;
};
struct RecordedValues
{
	std::vector<RecordedColumn> columns; // in the order the ports were recorded
	Int64 calculations = 0;				 // counted also when nothing is kept
};
// A recording node in the graph (null when it cannot be made).
GvNode* AddRecordingNode(GvNodeMaster* master);
// Adds an input port of output's name and type to the recorder and connects output to it; null when
// output is not an output port of another node of the same graph or its type cannot be recorded.
GvPort* RecordPort(GvNode* recorder, GvPort* output);
// What the recorder kept; null when the node is not a recording node.
const RecordedValues* Recording(const GvNode* recorder);
void ClearRecording(GvNode* recorder);
// false: only count the calculations and store no values (for timing a graph).
void SetRecordingKeeps(GvNode* recorder, bool keep);

// --- what a user does in the attribute manager
// Sets a parameter as the attribute manager does: a number is converted to the description element's
// type (an integer rounds to the nearest, halves away from zero) and held to its MIN / MAX; a value
// the element cannot take (a text for a number, not a number) is refused (false, nothing set). Then
// sends MSG_DESCRIPTION_POSTSETPARAMETER and MSG_DESCRIPTION_CHECKUPDATE naming it, and
// MSG_DESCRIPTION_USERINTERACTION_END. A parameter the description lacks is set as given.
Bool UserSetParameter(BaseList2D* node, Int32 id, const GeData& value);
// Presses a button of the node's description (MSG_DESCRIPTION_COMMAND).
Bool PressButton(BaseList2D* node, Int32 id);
// Records a key of one component of an object's vector parameter (position, rotation, scale) at a frame
// of the rate fps, as a user does in the timeline; the track is made on first use.
void KeyComponent(BaseObject* op, Int32 param, Int32 component, Int32 frame, Float value, Int32 fps);
// The node's description as the attribute manager builds it, and whether an element is enabled.
std::vector<DescElement> GetDescription(BaseList2D* node);
bool IsEnabled(BaseList2D* node, Int32 id);

// --- rendering
// A render of the document: the render notification (start) to every object, an evaluation at each
// of the times, then the notification (end). after_each, when set, runs after each evaluation.
void RenderDocument(BaseDocument* doc, const std::vector<BaseTime>& times,
	const std::function<void(const BaseTime&)>& after_each = nullptr);

// What the last RenderDocument (the host call of c4d_document.h) did, for drivers and tests. The objects
// named stay valid until the document is evaluated again or freed.
struct RenderReport
{
	Int32 width = 0, height = 0;
	Int64 render_objects = 0; // render objects made, render instances included
	Int64 instances = 0;	  // of which render instances
	Int64 triangles = 0;	  // triangles rasterised
	Int64 samples = 0;		  // samples shaded
	Int64 lights = 0;		  // lights of the scene (0: the default light from the camera lit it)
	double seconds_evaluate = 0.0, seconds_geometry = 0.0, seconds_raster = 0.0, seconds_shade = 0.0;
	Matrix camera;		 // the camera rendered through (axes of unit length)
	Float focal_px = 0.0; // focal length in pixels
	// Per pixel, rows from the top: the scene object seen there (for a render instance the instance
	// object, for a generator's result the object of the result), null for the background; and the
	// distance along the view axis (infinity for the background).
	std::vector<const BaseObject*> seen;
	std::vector<float> depth;

	// Where a global position lands on the image (pixels from the top left); false behind the camera.
	bool Project(const Vector& global, Float* x, Float* y) const;
	const BaseObject* SeenAt(Int32 x, Int32 y) const;
};
const RenderReport& LastRender();
// How many threads rasterise and shade a render (0, the default: one per core). The picture is the same
// for any count.
void SetRenderThreads(Int32 threads);

// The material's preview, as the material manager asks for it: a preview document with a scene
// camera, the material's own scene when it asks for one (MATPREVIEW_GET_OBJECT_INFO, then
// MATPREVIEW_MODIFY_CACHE_SCENE, MATPREVIEW_PREPARE_SCENE and MATPREVIEW_GENERATE_IMAGE) or else the
// host's sphere carrying a copy of it, rendered into bmp at bmp's size.
RENDERRESULT RenderMaterialPreview(BaseMaterial* mat, BaseBitmap* bmp);

// --- modal dialogs: what a user does in a dialog the module opens
// One gadget of a dialog as its resource laid it out.
struct Gadget
{
	Int32 id = 0;
	std::string kind; // the resource's word: FILENAME, CHECKBOX, STATICTEXT, BUTTON, EDITNUMBER, ...
	std::string name; // its label from the dialog's string table
	GeData value;
	bool enabled = true;
	std::vector<std::pair<Int32, std::string>> children; // combo box entries
	bool integer = false;								  // a number gadget the dialog set with SetInt32
	Float min = -MAXVALUEF, max = MAXVALUEF;			  // what a user may enter into a number gadget
	// a list view: its columns (ID, kind) in order, its rows (ID, data) top down, the selected row IDs
	std::vector<std::pair<Int32, Int32>> columns;
	std::vector<std::pair<Int32, BaseContainer>> rows;
	std::vector<Int32> selection;
};

// The dialog the module is running, as the script of SetModalDialogScript sees it.
class DialogDriver
{
public:
	explicit DialogDriver(GeDialog* dialog) : _dialog(dialog) {}
	Int32 ResourceId() const;
	std::string Title() const;
	std::vector<Gadget> Gadgets() const;
	bool HasGadget(Int32 id) const;
	// The text of a static text, edit text or file name gadget (a number as the gadget shows it).
	std::string GetText(Int32 id) const;
	bool GetCheck(Int32 id) const;
	bool IsEnabled(Int32 id) const;
	Int32 GetInt32(Int32 id) const;
	Float GetFloat(Int32 id) const;
	// The selected entry's value and text of a combo box or popup.
	Int32 GetSelection(Int32 id) const;
	std::string GetSelectionText(Int32 id) const;
	// The user's changes: each sets the value, then sends the dialog's Command for the gadget.
	// False for a missing or disabled gadget, or one a user cannot change that way (nothing is sent
	// then): a file name goes into a file name gadget, a text into an edit text or file name gadget,
	// a check into a check box, a number into a number gadget (held to its bounds, rounded to a whole
	// number in an integer gadget; SetInt32 on a combo box selects), an entry of a combo box or popup
	// only when it has that entry, a press only to a button.
	bool SetFilename(Int32 id, const std::string& path);
	bool SetText(Int32 id, const std::string& text);
	bool SetCheck(Int32 id, bool on);
	bool SetInt32(Int32 id, Int32 value);
	bool SetFloat(Int32 id, Float value);
	bool Select(Int32 id, Int32 entry);
	bool SelectText(Int32 id, const std::string& text);
	bool Press(Int32 id);
	// List views: row IDs top down, a cell's text, check and image (the name of the host image it
	// shows, "" for none), and the selected rows.
	std::vector<Int32> RowIds(Int32 list) const;
	std::string RowText(Int32 list, Int32 row, Int32 column) const;
	bool RowCheck(Int32 list, Int32 row, Int32 column) const;
	std::string RowImage(Int32 list, Int32 row, Int32 column) const;
	std::vector<Int32> SelectedRows(Int32 list) const;
	// The user's clicks in a list view: selecting rows (one or several, replacing the selection;
	// Command with LV_SIMPLE_SELECTIONCHANGED), and ticking a check box cell (Command with
	// LV_SIMPLE_CHECKBOXCHANGED). False, with nothing sent, for a row the list lacks or a cell that
	// is not a check box.
	bool SelectRows(Int32 list, const std::vector<Int32>& rows);
	bool SetRowCheck(Int32 list, Int32 row, Int32 column, bool on);
	// Closes the window as the user does: the dialog's AskClose may keep it open (false then).
	bool CloseWindow();
	bool IsOpen() const;

private:
	GeDialog* _dialog;
};

// Runs for every modal dialog the module opens, once it is laid out and filled. A dialog still open
// when the script returns is closed as cancelled. Without a script a modal dialog is cancelled at once.
using DialogScript = std::function<void(DialogDriver& dialog)>;
void SetModalDialogScript(DialogScript script);
// The non-modal dialogs open now, by the plug-in ID they were opened with, in the order they opened.
std::vector<Int32> OpenDialogs();
// A driver for the open non-modal dialog of this plug-in ID; false when none is open.
bool FindOpenDialog(Int32 pluginid, DialogDriver* driver);
// The host restores a saved layout that held the dialog of this command: its RestoreLayout runs.
bool RestoreLayout(Int32 pluginid);
// The name of the host image ("matrix", "vertex") this bitmap shows, "" when it is none of them.
std::string HostImageName(const BaseBitmap* bmp);
// Resource IDs of the modal dialogs opened so far, in order.
const std::vector<Int32>& OpenedDialogs();
// Hears every text a dialog puts into one of its own gadgets (SetString), as the host redraws the
// window then: a status line a long command updates reaches a watcher while the command runs. The
// driver's changes are a user's, not the dialog's, and are not heard. Null removes the observer.
using DialogTextObserver = std::function<void(Int32 dialog_id, Int32 gadget, const std::string& text)>;
void SetDialogTextObserver(DialogTextObserver observer);

// --- a viewport: the document drawn as the host's view shows it, into an RGB image with depth
class View
{
public:
	// An image of this size (at least 1 x 1), cleared to the background.
	View(Int32 width, Int32 height);
	~View();
	View(const View&) = delete;
	View& operator=(const View&) = delete;

	// The view objects draw into; its parameter BASEDRAW_DRAWPORTTYPE is 2 unless a driver changes it.
	BaseDraw* GetBaseDraw() const { return _bd; }
	// Draws doc as it was last evaluated, through its first camera (depth first) or else the editor camera
	// framing every surface and living particle: the background, polygon objects as the polygonised copy
	// shows them (every generator's result and deformed copy) shaded by their normals, the living particles
	// of groups whose display is TP_PGROUP_VIEW_DEFAULT as white points, then each object's own Draw in the
	// object, box, handles and highlights passes. What lies behind something nearer stays hidden.
	void DrawDocument(BaseDocument* doc);

	struct DrawCall
	{
		BaseObject* op;
		DRAWPASS pass;
		DRAWRESULT result;
	};
	// Every object Draw call of the last DrawDocument, in order.
	const std::vector<DrawCall>& DrawCalls() const { return _results; }

	Int32 Width() const;
	Int32 Height() const;
	// 8-bit RGB of a pixel; false outside the image.
	bool Pixel(Int32 x, Int32 y, UChar rgb[3]) const;
	// Distance along the view axis of what the pixel shows; infinity where nothing was drawn.
	float Depth(Int32 x, Int32 y) const;
	// Where a global position lands on the image (pixels from the top left); false behind the camera.
	bool Project(const Vector& global, Float* x, Float* y) const;
	// The camera the last DrawDocument looked through (axes of unit length).
	Matrix Camera() const;
	static void Background(UChar rgb[3]);
	// Writes the image as an 8-bit RGB PNG, whole or not at all.
	bool WritePng(const std::string& path, std::string* error = nullptr) const;

private:
	BaseDraw* _bd;
	std::vector<DrawCall> _results;
};

// --- view refreshes the module asked for (EventAdd, DrawViews)
int EventAddCount();
int DrawViewsCount();

// --- assets: MSG_GETALLASSETS to every object of the document, with these flags
std::vector<AssetEntry> CollectAssets(BaseDocument* doc, Int32 flags);

// --- saving and loading documents: the settings containers, and what the host writes of each object
// (type, name, matrix, container without raw pointers, hierarchy) and the disk level it was written at.
struct StoredTrack
{
	DescID id;
	std::vector<std::pair<BaseTime, Float>> keys;
};
struct StoredObject
{
	Int32 type = 0;
	std::string name;
	Matrix ml;
	BaseContainer data;
	Int32 disklevel = 0;
	std::vector<StoredObject> children;
	std::vector<StoredTrack> tracks;
	// Links to objects of the same document, by parameter: the linked object's place, as its index
	// among the top objects and then among each level's children.
	std::vector<std::pair<Int32, std::vector<Int32>>> links;
};
struct DocumentFile
{
	Int32 fps = 30;
	BaseTime time, min_time, max_time;
	std::vector<StoredObject> objects;
	std::map<Int32, BaseContainer> settings; // the settings containers by type, without links
};
DocumentFile SaveDocument(const BaseDocument* doc);
// Null when an object's plug-in is not registered.
BaseDocument* LoadDocument(const DocumentFile& file);

// Drops every registration, console line, message box and fault setting (the module must be unloaded).
void Reset();

} // namespace headless
