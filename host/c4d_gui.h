// c4d_gui.h - dialogs laid out from the module's dialog resources, view refreshes, running commands.
#pragma once

#include "c4d_container.h"
#include "c4d_general.h"

// The largest float a number gadget takes.
constexpr Float MAXVALUEF = 1.0e308;

// The container a dialog's Command receives: the gadget's new value under BFM_ACTION_VALUE.
enum
{
	BFM_ACTION = 1648444244,
	BFM_ACTION_VALUE = 1835365985,
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

// Asks the host to bring its views and managers up to date after a change of the document.
enum
{
	EVENT_NONE = 0,
	DRAWFLAGS_NONE = 0,
};

// A view's display: the parameter naming the kind of its draw port (2 = the enhanced hardware port),
// and the pass in which objects draw themselves.
enum
{
	BASEDRAW_DRAWPORTTYPE = 1888,
	DRAWPASS_OBJECT = 0,
};
void EventAdd(Int32 flags = EVENT_NONE);
class BaseDraw;
Bool DrawViews(Int32 flags = DRAWFLAGS_NONE, BaseDraw* bd = nullptr);

// Runs the command of this ID as if the user picked it: a command plug-in executes, an object
// plug-in's ID creates that object at the top of the active document.
void CallCommand(Int32 id, Int32 subid = 0);
