// TWSDExporter.cpp - the SD scene export command: its dialog, the values it keeps with the document.
#include "TWSDExporter.h"

#include "c4d_symbols.h"
#include "main.h"
#include "plugin_ids.h"
#include "sd_export.h"

#include <cstdarg>
#include <cstdio>
#include <set>

namespace
{

// Longest status line shown; longer lines (long names) are cut.
constexpr size_t STATUS_MAX_BYTES = 256;

BaseContainer* Settings(BaseDocument* doc)
{
	return doc->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT);
}

Int32 ModeOrMatrix(Int32 mode)
{
	return mode == TW_SDEXP_MODE_VERTEX ? TW_SDEXP_MODE_VERTEX : TW_SDEXP_MODE_MATRIX;
}

// Every row's ID, top down.
std::vector<std::pair<Int32, BaseContainer>> Rows(const SimpleListView& list)
{
	std::vector<std::pair<Int32, BaseContainer>> rows;
	Int32 id = 0;
	BaseContainer data;
	for (Int32 line = 0; list.GetItemLine(line, &id, &data); ++line)
		rows.emplace_back(id, data);
	return rows;
}

} // namespace

Bool TWSDExporterDialog::CreateLayout()
{
	if (!LoadDialogResource(DLG_TW_SD_EXPORTER, nullptr, 0))
		return false;
	if (!_scene.AttachListView(this, TW_SDEXP_SCENE_LIST) || !_export.AttachListView(this, TW_SDEXP_EXPORT_LIST))
		return false;
	BaseContainer one;
	one.SetInt32(TW_SDEXP_COLUMN_NAME, LV_COLUMN_TEXT);
	BaseContainer three;
	three.SetInt32(TW_SDEXP_COLUMN_NAME, LV_COLUMN_TEXT);
	three.SetInt32(TW_SDEXP_COLUMN_VERTEX, LV_COLUMN_CHECKBOX);
	three.SetInt32(TW_SDEXP_COLUMN_IMAGE, LV_COLUMN_BMP);
	if (!_scene.SetLayout(1, one) || !_export.SetLayout(3, three))
		return false;

	BaseDocument* doc = GetActiveDocument();
	FreeChildren(TW_SDEXP_CAMERA);
	const std::vector<BaseObject*> cameras = SdExportCameras(doc);
	_camera_count = static_cast<Int32>(cameras.size());
	for (Int32 i = 0; i < _camera_count; ++i)
		AddChild(TW_SDEXP_CAMERA, i, cameras[static_cast<size_t>(i)]->GetName());

	// only names and row IDs outlive the polygonised copy
	_candidates.clear();
	{
		SdExportCandidates candidates(doc);
		std::set<Int32> ids;
		for (const SdExportEntry& e : candidates.Entries())
		{
			// a list holds one row per ID: of two display names with one hash the first is offered
			if (ids.insert(e.row_id).second)
				_candidates.push_back({e.row_id, e.name});
		}
	}
	for (const auto& row : Rows(_export))
		_export.RemoveItem(row.first);
	FillSceneList();
	return true;
}

Bool TWSDExporterDialog::InitValues()
{
	BaseDocument* doc = GetActiveDocument();
	const BaseContainer* bc = Settings(doc);
	const Int32 fps = doc->GetFps();
	SetFilename(TW_SDEXP_FILE, bc->GetFilename(TW_SDEXP_FILE, Filename(SdExportDefaultPath(doc))));
	SetInt32(TW_SDEXP_START, bc->GetInt32(TW_SDEXP_START, doc->GetMinTime().GetFrame(fps)));
	SetInt32(TW_SDEXP_END, bc->GetInt32(TW_SDEXP_END, doc->GetMaxTime().GetFrame(fps)));
	// not held at 1: a step below 1 is answered by the check when the user exports
	SetInt32(TW_SDEXP_STEP, bc->GetInt32(TW_SDEXP_STEP, 1));
	SetFloat(TW_SDEXP_SCALE, bc->GetFloat(TW_SDEXP_SCALE, 1.0));
	// A stored switch is kept only while there is a camera to write: without one the switch is
	// disabled, and a user could neither untick it nor export.
	SetBool(TW_SDEXP_CAMERA_ON, _camera_count > 0 && bc->GetBool(TW_SDEXP_CAMERA_ON, true));
	// a stored camera that is gone selects none, so the export asks for one instead of taking another
	Int32 camera = bc->GetInt32(TW_SDEXP_CAMERA, 0);
	if (camera < 0 || camera >= _camera_count)
		camera = _camera_count > 0 ? -1 : 0;
	SetInt32(TW_SDEXP_CAMERA, camera);
	SetInt32(TW_SDEXP_ADD_MODE, ModeOrMatrix(bc->GetInt32(TW_SDEXP_ADD_MODE, TW_SDEXP_MODE_MATRIX)));
	SetInt32(TW_SDEXP_MODE, ModeOrMatrix(bc->GetInt32(TW_SDEXP_MODE, TW_SDEXP_MODE_MATRIX)));
	SetString(TW_SDEXP_STATUS, String());

	// stored rows whose object is still offered, in their stored order and mode
	for (Int32 k = 0; bc->GetDataPointer(TW_SDEXP_ROW_BASE + 2 * k); ++k)
	{
		const Int32 row = bc->GetInt32(TW_SDEXP_ROW_BASE + 2 * k);
		BaseContainer data;
		const Candidate* c = FindCandidate(row);
		if (!c || !_scene.GetItem(row, &data))
			continue;
		_scene.RemoveItem(row);
		_export.SetItem(row, ExportRow(c->name, bc->GetBool(TW_SDEXP_ROW_BASE + 2 * k + 1)));
	}
	_scene.DataChanged();
	_export.DataChanged();
	Enabling();
	return true;
}

Bool TWSDExporterDialog::Command(Int32 id, const BaseContainer& msg)
{
	switch (id)
	{
		case TW_SDEXP_FILE:
			FixFileName();
			break;
		case TW_SDEXP_CAMERA_ON:
			Enabling();
			break;
		case TW_SDEXP_ADD_ALL:
		case TW_SDEXP_ADD:
			Move(true, id == TW_SDEXP_ADD_ALL);
			break;
		case TW_SDEXP_REMOVE:
		case TW_SDEXP_REMOVE_ALL:
			Move(false, id == TW_SDEXP_REMOVE_ALL);
			break;
		case TW_SDEXP_MODE:
			ApplyMode();
			break;
		case TW_SDEXP_EXPORT_LIST:
			if (msg.GetInt32(BFM_ACTION_VALUE) == LV_SIMPLE_CHECKBOXCHANGED)
				ShowMode(msg.GetInt32(LV_SIMPLE_ITEM_ID));
			break;
		case TW_SDEXP_EXPORT:
			Export();
			Store();
			Close();
			break;
		case TW_SDEXP_CLOSE:
			Store();
			Close();
			break;
	}
	return true;
}

Bool TWSDExporterDialog::AskClose()
{
	Store();
	return false;
}

void TWSDExporterDialog::SdExportStatus(const char* format, ...)
{
	char text[STATUS_MAX_BYTES];
	va_list args;
	va_start(args, format);
	std::vsnprintf(text, sizeof text, format, args);
	va_end(args);
	SetString(TW_SDEXP_STATUS, String(text));
}

void TWSDExporterDialog::Enabling()
{
	const Bool cameras = _camera_count > 0;
	const Bool rows = _export.GetItemCount() > 0;
	Enable(TW_SDEXP_CAMERA_ON, cameras);
	Enable(TW_SDEXP_CAMERA, cameras);
	// a camera alone makes a file too
	Enable(TW_SDEXP_EXPORT, rows || (cameras && Check(TW_SDEXP_CAMERA_ON)));
	Enable(TW_SDEXP_MODE, rows);
}

void TWSDExporterDialog::Store()
{
	BaseContainer* bc = Settings(GetActiveDocument());
	Filename file;
	GetFilename(TW_SDEXP_FILE, file);
	bc->SetFilename(TW_SDEXP_FILE, file);
	for (Int32 id : {TW_SDEXP_START, TW_SDEXP_END, TW_SDEXP_STEP, TW_SDEXP_CAMERA, TW_SDEXP_ADD_MODE, TW_SDEXP_MODE})
		bc->SetInt32(id, Int(id));
	Float scale = 1.0;
	GetFloat(TW_SDEXP_SCALE, scale);
	bc->SetFloat(TW_SDEXP_SCALE, scale);
	bc->SetBool(TW_SDEXP_CAMERA_ON, Check(TW_SDEXP_CAMERA_ON));

	Int32 k = 0;
	for (const auto& row : Rows(_export))
	{
		bc->SetInt32(TW_SDEXP_ROW_BASE + 2 * k, row.first);
		bc->SetBool(TW_SDEXP_ROW_BASE + 2 * k + 1, row.second.GetBool(TW_SDEXP_COLUMN_VERTEX));
		++k;
	}
	// pairs left from a longer list would bring removed rows back at the next opening
	for (; bc->GetDataPointer(TW_SDEXP_ROW_BASE + 2 * k); ++k)
	{
		bc->RemoveData(TW_SDEXP_ROW_BASE + 2 * k);
		bc->RemoveData(TW_SDEXP_ROW_BASE + 2 * k + 1);
	}
}

void TWSDExporterDialog::Export()
{
	SdExportSettings s;
	Filename file;
	GetFilename(TW_SDEXP_FILE, file);
	s.path = file.Get();
	s.start = Int(TW_SDEXP_START);
	s.end = Int(TW_SDEXP_END);
	s.step = Int(TW_SDEXP_STEP);
	GetFloat(TW_SDEXP_SCALE, s.scale);
	s.camera_on = Check(TW_SDEXP_CAMERA_ON);
	s.camera = Int(TW_SDEXP_CAMERA);
	for (const auto& row : Rows(_export))
		s.rows.push_back({row.first, row.second.GetBool(TW_SDEXP_COLUMN_VERTEX)});
	SdExport(GetActiveDocument(), s, [this](const char* line) { SdExportStatus("%s", line); });
	EventAdd();
}

void TWSDExporterDialog::FixFileName()
{
	Filename typed;
	GetFilename(TW_SDEXP_FILE, typed);
	// an emptied field stays empty, so that the export asks for a file instead of writing ".sd"
	if (typed.IsEmpty())
		return;
	const std::string fixed = SdExportFixPath(typed.Get());
	if (fixed != typed.Get())
		SetFilename(TW_SDEXP_FILE, Filename(fixed));
}

void TWSDExporterDialog::Move(Bool into_export, Bool all)
{
	SimpleListView& from = into_export ? _scene : _export;
	BaseSelect* selection = BaseSelect::Alloc();
	from.GetSelection(selection);
	std::vector<std::pair<Int32, BaseContainer>> moved;
	for (auto& row : Rows(from))
		if (all || selection->IsSelected(row.first))
			moved.push_back(std::move(row));
	BaseSelect::Free(selection);

	const Bool vertex = Int(TW_SDEXP_ADD_MODE) == TW_SDEXP_MODE_VERTEX;
	for (const auto& row : moved)
	{
		from.RemoveItem(row.first);
		if (into_export)
			_export.SetItem(row.first, ExportRow(row.second.GetString(TW_SDEXP_COLUMN_NAME).Get(), vertex));
	}
	if (!into_export)
		FillSceneList();
	_scene.DataChanged();
	_export.DataChanged();
	Enabling();
}

void TWSDExporterDialog::ApplyMode()
{
	const Bool vertex = Int(TW_SDEXP_MODE) == TW_SDEXP_MODE_VERTEX;
	BaseSelect* selection = BaseSelect::Alloc();
	_export.GetSelection(selection);
	for (auto& row : Rows(_export))
	{
		if (!selection->IsSelected(row.first))
			continue;
		row.second.SetBool(TW_SDEXP_COLUMN_VERTEX, vertex);
		_export.SetItem(row.first, row.second);
		ShowMode(row.first);
	}
	BaseSelect::Free(selection);
	_export.DataChanged();
}

void TWSDExporterDialog::ShowMode(Int32 row)
{
	BaseContainer data;
	if (!_export.GetItem(row, &data))
		return;
	const Bool vertex = data.GetBool(TW_SDEXP_COLUMN_VERTEX);
	data.SetVoid(TW_SDEXP_COLUMN_IMAGE, static_cast<BaseBitmap*>(vertex ? _vertex : _matrix));
	_export.SetItem(row, data);
	_export.DataChanged();
}

// The scene list in the document's order: every candidate not in the export list. Rows moved back thus
// return to their place, and the rows selected before stay selected.
void TWSDExporterDialog::FillSceneList()
{
	BaseSelect* selection = BaseSelect::Alloc();
	_scene.GetSelection(selection);
	for (const auto& row : Rows(_scene))
		_scene.RemoveItem(row.first);
	for (const Candidate& c : _candidates)
	{
		if (_export.GetItem(c.row_id, nullptr))
			continue;
		BaseContainer data;
		data.SetString(TW_SDEXP_COLUMN_NAME, String(c.name));
		_scene.SetItem(c.row_id, data);
	}
	_scene.SetSelection(selection);
	BaseSelect::Free(selection);
	_scene.DataChanged();
}

BaseContainer TWSDExporterDialog::ExportRow(const std::string& name, Bool vertex) const
{
	BaseContainer data;
	data.SetString(TW_SDEXP_COLUMN_NAME, String(name));
	data.SetBool(TW_SDEXP_COLUMN_VERTEX, vertex);
	data.SetVoid(TW_SDEXP_COLUMN_IMAGE, static_cast<BaseBitmap*>(vertex ? _vertex : _matrix));
	return data;
}

const TWSDExporterDialog::Candidate* TWSDExporterDialog::FindCandidate(Int32 row_id) const
{
	for (const Candidate& c : _candidates)
		if (c.row_id == row_id)
			return &c;
	return nullptr;
}

Int32 TWSDExporterDialog::Int(Int32 id) const
{
	Int32 v = 0;
	GetInt32(id, v);
	return v;
}

Bool TWSDExporterDialog::Check(Int32 id) const
{
	Bool v = false;
	GetBool(id, v);
	return v;
}

Bool TWSDExporter::Execute(BaseDocument* doc)
{
	(void)doc; // the dialog outlives this call and takes the active document whenever it acts
	return _dialog.Open(DLG_TYPE_ASYNC, ID_TW_SD_EXPORTER, -1, -1, 640, 480);
}

Bool TWSDExporter::RestoreLayout(void* secret)
{
	return _dialog.Restore(ID_TW_SD_EXPORTER, secret);
}

Bool RegisterTWSDExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_SD_EXPORTER, name, 0, icon, String(), new TWSDExporter());
	BaseBitmap::Free(icon);
	return ok;
}
