// dialog_window.cpp - non-modal dialogs: opened by a command's plug-in ID, found again by it, restored with a layout.
#include "dialog_state.h"
#include "host_state.h"

#include <algorithm>

using headless::State;

namespace
{

// What the host hands a command's RestoreLayout: which dialog the layout held.
struct LayoutSecret
{
	Int32 plugin_id = 0;
};

GeDialog* WindowOf(Int32 pluginid)
{
	for (const auto& w : State().windows)
		if (w.first == pluginid)
			return w.second;
	return nullptr;
}

} // namespace

Bool GeDialog::Open(DLG_TYPE type, Int32 pluginid, Int32 xpos, Int32 ypos, Int32 defaultw, Int32 defaulth, Int32 subid)
{
	(void)xpos;
	(void)ypos;
	(void)defaultw;
	(void)defaulth;
	(void)subid;
	if (type != DLG_TYPE_ASYNC)
		return false;
	if (_state->open)
		return _state->async && _state->plugin_id == pluginid;
	// one window per plug-in ID: another dialog already open under it keeps it
	if (WindowOf(pluginid))
		return false;
	if (!CreateLayout())
		return false;
	_state->open = true;
	_state->async = true;
	_state->plugin_id = pluginid;
	_state->result = false;
	State().windows.emplace_back(pluginid, this);
	InitValues();
	return true;
}

Bool GeDialog::Restore(Int32 pluginid, void* secret)
{
	const LayoutSecret* s = static_cast<const LayoutSecret*>(secret);
	if (!s || s->plugin_id != pluginid)
		return false;
	return Open(DLG_TYPE_ASYNC, pluginid);
}

Bool GeDialog::Close()
{
	if (!_state->open)
		return false;
	headless::CloseWindowState(this, false);
	return true;
}

Bool GeDialog::IsOpen() const
{
	return _state->open;
}

namespace headless
{

void CloseWindowState(GeDialog* dialog, bool result)
{
	GeDialogState* s = GeDialogAccess::Of(dialog);
	s->open = false;
	s->result = result;
	if (s->async)
		ForgetWindow(dialog);
}

void ForgetWindow(const GeDialog* dialog)
{
	auto& w = State().windows;
	w.erase(std::remove_if(w.begin(), w.end(), [dialog](const std::pair<Int32, GeDialog*>& e) { return e.second == dialog; }),
		w.end());
}

void CloseAllWindows()
{
	for (const auto& w : State().windows)
		GeDialogAccess::Of(w.second)->open = false;
	State().windows.clear();
}

std::vector<Int32> OpenDialogs()
{
	std::vector<Int32> ids;
	for (const auto& w : State().windows)
		ids.push_back(w.first);
	return ids;
}

bool FindOpenDialog(Int32 pluginid, DialogDriver* driver)
{
	GeDialog* dialog = WindowOf(pluginid);
	if (!dialog)
		return false;
	*driver = DialogDriver(dialog);
	return true;
}

bool RestoreLayout(Int32 pluginid)
{
	const Registration* reg = FindRegistration(pluginid);
	if (!reg || reg->kind != KIND_COMMAND || !reg->command)
		return false;
	LayoutSecret secret{pluginid};
	return reg->command->RestoreLayout(&secret);
}

} // namespace headless
