// dialog_state.h - the headless host's side of a dialog, shared by the dialog, window and list view sources.
#pragma once

#include "headless.h"

struct GeDialogState
{
	Int32 resource_id = 0;
	std::string title;
	std::vector<headless::Gadget> gadgets;
	bool open = false;
	bool result = false;
	bool async = false;	 // opened as a window of its own
	Int32 plugin_id = 0; // the ID it was opened with, when async

	headless::Gadget* Find(Int32 id)
	{
		if (id == 0)
			return nullptr;
		for (headless::Gadget& g : gadgets)
			if (g.id == id)
				return &g;
		return nullptr;
	}
};

struct GeDialogAccess
{
	static GeDialogState* Of(const GeDialog* dialog) { return dialog ? dialog->_state : nullptr; }
};

namespace headless
{

// Marks the dialog closed with this result; a non-modal one leaves the host's list of open windows.
void CloseWindowState(GeDialog* dialog, bool result);
// Drops a dialog from the list of open windows (it is being destroyed).
void ForgetWindow(const GeDialog* dialog);

} // namespace headless
