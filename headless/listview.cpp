// listview.cpp - list views of a dialog: rows with text, check box and image columns, and the driver's clicks in them.
#include "dialog_state.h"
#include "host_state.h"

#include <algorithm>

using headless::Gadget;

// --- selections

Int32 BaseSelect::GetSegments() const
{
	Int32 segments = 0;
	Int32 last = 0;
	bool first = true;
	for (Int32 id : _ids)
	{
		if (first || id != last + 1)
			++segments;
		first = false;
		last = id;
	}
	return segments;
}

Bool BaseSelect::GetRange(Int32 seg, Int32 maxElements, Int32* a, Int32* b) const
{
	Int32 index = -1;
	for (auto it = _ids.begin(); it != _ids.end();)
	{
		const Int32 start = *it;
		Int32 end = start;
		for (++it; it != _ids.end() && end != INT32_MAX && *it == end + 1; ++it)
			end = *it;
		if (++index == seg)
		{
			if (start >= maxElements)
				return false;
			*a = start;
			*b = std::min(end, maxElements - 1);
			return true;
		}
	}
	return false;
}

// --- the dialog's side

namespace
{

Gadget* ListOf(GeDialog* dialog, Int32 id)
{
	GeDialogState* s = GeDialogAccess::Of(dialog);
	Gadget* g = s ? s->Find(id) : nullptr;
	return g && g->kind == "LISTVIEW" ? g : nullptr;
}

std::vector<std::pair<Int32, BaseContainer>>::iterator RowOf(Gadget* g, Int32 row)
{
	return std::find_if(
		g->rows.begin(), g->rows.end(), [row](const std::pair<Int32, BaseContainer>& r) { return r.first == row; });
}

const BaseContainer* RowData(const Gadget* g, Int32 row)
{
	for (const auto& r : g->rows)
		if (r.first == row)
			return &r.second;
	return nullptr;
}

Int32 ColumnKind(const Gadget* g, Int32 column)
{
	for (const auto& c : g->columns)
		if (c.first == column)
			return c.second;
	return 0;
}

} // namespace

Bool SimpleListView::AttachListView(GeDialog* dialog, Int32 id)
{
	if (!ListOf(dialog, id))
		return false;
	_dialog = dialog;
	_id = id;
	return true;
}

Bool SimpleListView::SetLayout(Int32 columns, const BaseContainer& data)
{
	Gadget* g = ListOf(_dialog, _id);
	if (!g || columns != data.GetCount())
		return false;
	g->columns.clear();
	for (Int32 id : data.GetIds())
		g->columns.emplace_back(id, data.GetInt32(id));
	return true;
}

Bool SimpleListView::SetItem(Int32 id, const BaseContainer& data)
{
	Gadget* g = ListOf(_dialog, _id);
	if (!g)
		return false;
	auto it = RowOf(g, id);
	if (it != g->rows.end())
		it->second = data;
	else
		g->rows.emplace_back(id, data);
	return true;
}

Bool SimpleListView::GetItem(Int32 id, BaseContainer* data) const
{
	const Gadget* g = ListOf(_dialog, _id);
	const BaseContainer* row = g ? RowData(g, id) : nullptr;
	if (!row)
		return false;
	if (data)
		*data = *row;
	return true;
}

Bool SimpleListView::RemoveItem(Int32 id)
{
	Gadget* g = ListOf(_dialog, _id);
	if (!g)
		return false;
	auto it = RowOf(g, id);
	if (it == g->rows.end())
		return false;
	g->rows.erase(it);
	// a removed row is no longer selected, or a later row of that ID would come back selected
	g->selection.erase(std::remove(g->selection.begin(), g->selection.end(), id), g->selection.end());
	return true;
}

Int32 SimpleListView::GetItemCount() const
{
	const Gadget* g = ListOf(_dialog, _id);
	return g ? static_cast<Int32>(g->rows.size()) : 0;
}

Bool SimpleListView::GetItemLine(Int32 num, Int32* id, BaseContainer* data) const
{
	const Gadget* g = ListOf(_dialog, _id);
	if (!g || num < 0 || static_cast<size_t>(num) >= g->rows.size())
		return false;
	if (id)
		*id = g->rows[static_cast<size_t>(num)].first;
	if (data)
		*data = g->rows[static_cast<size_t>(num)].second;
	return true;
}

Int32 SimpleListView::GetSelection(BaseSelect* selection) const
{
	const Gadget* g = ListOf(_dialog, _id);
	if (!g || !selection)
		return -1;
	selection->DeselectAll();
	for (Int32 id : g->selection)
		selection->Select(id);
	return static_cast<Int32>(g->selection.size());
}

Bool SimpleListView::SetSelection(const BaseSelect* selection)
{
	Gadget* g = ListOf(_dialog, _id);
	if (!g || !selection)
		return false;
	g->selection.clear();
	for (const auto& r : g->rows)
		if (selection->IsSelected(r.first))
			g->selection.push_back(r.first);
	return true;
}

// --- the driver: what a user sees and clicks in a list view

namespace headless
{

namespace
{

// The list's action reaches the dialog's Command as the host sends it.
void SendListAction(GeDialog* dialog, Int32 list, Int32 action, Int32 row, Int32 column)
{
	BaseContainer msg(BFM_ACTION);
	msg.SetInt32(BFM_ACTION_VALUE, action);
	msg.SetInt32(LV_SIMPLE_ITEM_ID, row);
	msg.SetInt32(LV_SIMPLE_COL_ID, column);
	dialog->Command(list, msg);
}

// A list a user can click in now.
Gadget* UsableList(GeDialog* dialog, Int32 list)
{
	Gadget* g = ListOf(dialog, list);
	return g && g->enabled && GeDialogAccess::Of(dialog)->open ? g : nullptr;
}

} // namespace

std::vector<Int32> DialogDriver::RowIds(Int32 list) const
{
	std::vector<Int32> ids;
	if (const Gadget* g = ListOf(_dialog, list))
		for (const auto& r : g->rows)
			ids.push_back(r.first);
	return ids;
}

std::string DialogDriver::RowText(Int32 list, Int32 row, Int32 column) const
{
	const Gadget* g = ListOf(_dialog, list);
	const BaseContainer* data = g ? RowData(g, row) : nullptr;
	return data && ColumnKind(g, column) == LV_COLUMN_TEXT ? data->GetString(column).Get() : std::string();
}

bool DialogDriver::RowCheck(Int32 list, Int32 row, Int32 column) const
{
	const Gadget* g = ListOf(_dialog, list);
	const BaseContainer* data = g ? RowData(g, row) : nullptr;
	return data && ColumnKind(g, column) == LV_COLUMN_CHECKBOX && data->GetBool(column);
}

std::string DialogDriver::RowImage(Int32 list, Int32 row, Int32 column) const
{
	const Gadget* g = ListOf(_dialog, list);
	const BaseContainer* data = g ? RowData(g, row) : nullptr;
	if (!data || ColumnKind(g, column) != LV_COLUMN_BMP)
		return std::string();
	return HostImageName(static_cast<const BaseBitmap*>(data->GetVoid(column)));
}

std::vector<Int32> DialogDriver::SelectedRows(Int32 list) const
{
	const Gadget* g = ListOf(_dialog, list);
	return g ? g->selection : std::vector<Int32>();
}

bool DialogDriver::SelectRows(Int32 list, const std::vector<Int32>& rows)
{
	Gadget* g = UsableList(_dialog, list);
	if (!g)
		return false;
	for (Int32 id : rows)
		if (!RowData(g, id))
			return false;
	// kept in the list's order, once each, as the host's selection is
	g->selection.clear();
	for (const auto& r : g->rows)
		if (std::find(rows.begin(), rows.end(), r.first) != rows.end())
			g->selection.push_back(r.first);
	SendListAction(_dialog, list, LV_SIMPLE_SELECTIONCHANGED, rows.empty() ? -1 : rows.back(), -1);
	return true;
}

bool DialogDriver::SetRowCheck(Int32 list, Int32 row, Int32 column, bool on)
{
	Gadget* g = UsableList(_dialog, list);
	if (!g || ColumnKind(g, column) != LV_COLUMN_CHECKBOX)
		return false;
	auto it = RowOf(g, row);
	if (it == g->rows.end())
		return false;
	it->second.SetBool(column, on);
	SendListAction(_dialog, list, LV_SIMPLE_CHECKBOXCHANGED, row, column);
	return true;
}

} // namespace headless
