// c4d_gui.h - dialogs laid out from the module's dialog resources, view refreshes, running commands.
#pragma once

#include "c4d_container.h"
#include "c4d_general.h"

#include <set>

// The largest float a number gadget takes.
constexpr Float MAXVALUEF = 1.0e308;

// The container a dialog's Command receives: the gadget's new value under BFM_ACTION_VALUE.
enum
{
	BFM_ACTION = 1648444244,
	BFM_ACTION_VALUE = 1835365985,
};

// How a dialog is opened: a modal one runs until closed, an asynchronous one stays open beside the
// host's windows (and can live in a layout) while Open returns at once.
enum DLG_TYPE : Int32
{
	DLG_TYPE_MODAL = 10,
	DLG_TYPE_MODAL_RESIZEABLE = 11,
	DLG_TYPE_ASYNC = 20,
};

// The host's side of one dialog: its gadgets and their values.
struct GeDialogState;
// How the headless host's driver reaches a dialog's state; no plug-in code uses it.
struct GeDialogAccess;

class GeDialog
{
public:
	GeDialog();
	virtual ~GeDialog();
	GeDialog(const GeDialog&) = delete;
	GeDialog& operator=(const GeDialog&) = delete;

	// Builds the gadgets (normally LoadDialogResource); false keeps the dialog from opening.
	virtual Bool CreateLayout() { return true; }
	// Fills the gadgets once they exist.
	virtual Bool InitValues() { return true; }
	// A gadget was changed or pressed by the user.
	virtual Bool Command(Int32 id, const BaseContainer& msg)
	{
		(void)id; (void)msg;
		return true;
	}
	// Asked when the user closes the window; true keeps the dialog open.
	virtual Bool AskClose() { return false; }

	// Lays out the dialog resource whose symbol has this ID (res/dialogs/*.res, texts from
	// res/strings_<language>/dialogs/). lr null = the module's own resources.
	Bool LoadDialogResource(Int32 id, GeResource* lr, Int32 flags);
	Bool SetTitle(const String& title);

	// Gadget values; false when the dialog has no gadget of this ID.
	Bool SetString(Int32 id, const String& text);
	Bool GetString(Int32 id, String& text) const;
	Bool SetFilename(Int32 id, const Filename& fn);
	Bool GetFilename(Int32 id, Filename& fn) const;
	Bool SetBool(Int32 id, Bool value);
	Bool GetBool(Int32 id, Bool& value) const;
	// A number gadget set with SetInt32 holds whole numbers; min and max bound what a user can enter
	// (a value outside them is held to the nearest bound).
	Bool SetInt32(Int32 id, Int32 value, Int32 min = INT32_MIN, Int32 max = INT32_MAX, Int32 step = 1);
	Bool GetInt32(Int32 id, Int32& value) const;
	Bool SetFloat(Int32 id, Float value, Float min = -MAXVALUEF, Float max = MAXVALUEF, Float step = 1.0);
	Bool GetFloat(Int32 id, Float& value) const;
	// Entries of a combo box or popup: value and text. SetInt32 selects the entry of that value.
	Bool AddChild(Int32 id, Int32 subid, const String& child);
	Bool FreeChildren(Int32 id);
	Bool Enable(Int32 id, Bool enabled);

	// Opens the dialog as a window of its own, known to the host by the plug-in ID of the command that
	// opens it; false for a type other than DLG_TYPE_ASYNC or when it cannot be laid out. Opening a
	// dialog that is already open only brings it forward.
	Bool Open(DLG_TYPE type, Int32 pluginid, Int32 xpos = -1, Int32 ypos = -1, Int32 defaultw = 0, Int32 defaulth = 0,
		Int32 subid = 0);
	// Reopens the dialog where a saved layout had it; secret is what the host passed to the command's
	// RestoreLayout, and must be the one given for this plug-in ID.
	Bool Restore(Int32 pluginid, void* secret);
	// Closes the window; called by the dialog itself (a close button).
	Bool Close();
	Bool IsOpen() const;

protected:
	GeDialogState* _state = nullptr;
	friend struct GeDialogAccess;
};

// A dialog that runs until it is closed; Open returns then.
class GeModalDialog : public GeDialog
{
public:
	// Lays out and fills the dialog, lets the user work in it, and returns true when it was
	// closed with OK (Close(true)); false when it could not be laid out or was cancelled.
	Bool Open(Int32 xpos = -1, Int32 ypos = -1, Int32 defaultw = 0, Int32 defaulth = 0, Bool resizeable = false);
	// Ends the dialog with this result; called by the dialog itself (its OK and Cancel buttons).
	Bool Close(Bool result);
	Bool GetResult() const;
};

// The selection of a list view: the IDs of the selected rows.
class BaseSelect
{
public:
	static BaseSelect* Alloc() { return new BaseSelect(); }
	static void Free(BaseSelect*& bs)
	{
		delete bs;
		bs = nullptr;
	}
	Bool Select(Int32 num) { return _ids.insert(num), true; }
	Bool Deselect(Int32 num) { return _ids.erase(num) > 0; }
	Bool DeselectAll() { return _ids.clear(), true; }
	Bool IsSelected(Int32 num) const { return _ids.count(num) != 0; }
	Int32 GetCount() const { return static_cast<Int32>(_ids.size()); }
	// Runs of consecutive selected numbers: segment seg spans a to b (inclusive), cut below
	// maxElements (false when the run starts at or above it).
	Int32 GetSegments() const;
	Bool GetRange(Int32 seg, Int32 maxElements, Int32* a, Int32* b) const;

private:
	BaseSelect() = default;
	std::set<Int32> _ids;
};

#define C4D_FOURCC(a, b, c, d) ((Int32(a) << 24) | (Int32(b) << 16) | (Int32(c) << 8) | Int32(d))

// Column kinds of a list view's layout, and what a list view's Command message holds: under
// BFM_ACTION_VALUE the kind of action, under LV_SIMPLE_ITEM_ID and LV_SIMPLE_COL_ID the row and column.
enum
{
	LV_COLUMN_TEXT = C4D_FOURCC('t', 'e', 'x', 't'),
	LV_COLUMN_CHECKBOX = C4D_FOURCC('c', 'h', 'c', 'k'),
	LV_COLUMN_BMP = C4D_FOURCC('b', 'm', 'p', ' '),

	LV_SIMPLE_SELECTIONCHANGED = 1,
	LV_SIMPLE_CHECKBOXCHANGED = 101,
	LV_SIMPLE_ITEM_ID = 1,
	LV_SIMPLE_COL_ID = 2,
};

// The rows of a LISTVIEW gadget of a dialog. A row's container holds, under each column's ID, its
// text (String), its check (Bool) or its image (the BaseBitmap* as a void pointer; the dialog keeps
// the bitmap alive while a row shows it).
class SimpleListView
{
public:
	Bool AttachListView(GeDialog* dialog, Int32 id);
	// The columns: data maps each column ID to its kind, in ascending ID order; rows are kept.
	Bool SetLayout(Int32 columns, const BaseContainer& data);
	// Replaces the row of this ID, or appends it.
	Bool SetItem(Int32 id, const BaseContainer& data);
	Bool GetItem(Int32 id, BaseContainer* data) const;
	Bool RemoveItem(Int32 id);
	Int32 GetItemCount() const;
	// The row at position num (0 = top).
	Bool GetItemLine(Int32 num, Int32* id, BaseContainer* data) const;
	// The selected rows' IDs; returns their number (-1 when not attached).
	Int32 GetSelection(BaseSelect* selection) const;
	Bool SetSelection(const BaseSelect* selection);
	// Redraws after changes of the rows.
	Bool DataChanged() { return _dialog != nullptr; }

private:
	GeDialog* _dialog = nullptr;
	Int32 _id = 0;
};

// Asks the host to bring its views and managers up to date after a change of the document.
enum
{
	EVENT_NONE = 0,
	DRAWFLAGS_NONE = 0,
};

// A view's display: the parameter naming the kind of its draw port (2 = the enhanced hardware port).
enum
{
	BASEDRAW_DRAWPORTTYPE = 1888,
};
void EventAdd(Int32 flags = EVENT_NONE);
class BaseDraw;
Bool DrawViews(Int32 flags = DRAWFLAGS_NONE, BaseDraw* bd = nullptr);

// Runs the command of this ID as if the user picked it: a command plug-in executes, an object
// plug-in's ID creates that object at the top of the active document.
void CallCommand(Int32 id, Int32 subid = 0);
