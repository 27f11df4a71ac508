// TWMeshExporter.cpp - the mesh export command: its dialog, the values it keeps with the document, the checks.
#include "TWMeshExporter.h"

#include "c4d_symbols.h"
#include "console.h"
#include "export_frames.h"
#include "main.h"
#include "mesh_export.h"
#include "plugin_ids.h"

#include <cmath>
#include <vector>

namespace
{

// A document time as the frame the exporter offers: floor(fps × numerator) / floor(denominator), truncated.
Int32 DocumentFrame(const BaseTime& t, Int32 fps)
{
	const Float den = std::floor(t.GetDenominator());
	if (den == 0.0)
		return 0;
	const Float frame = std::floor(static_cast<Float>(fps) * t.GetNumerator()) / den;
	if (!(frame > -2147483648.0))
		return INT32_MIN;
	if (!(frame < 2147483647.0))
		return INT32_MAX;
	return static_cast<Int32>(frame);
}

class TWMeshExporterDialog : public GeModalDialog
{
public:
	explicit TWMeshExporterDialog(BaseDocument* doc) : _doc(doc) {}

	Bool CreateLayout() override
	{
		if (!LoadDialogResource(DLG_TW_MESH_EXPORTER, nullptr, 0))
			return false;
		_objects = MeshExportObjects(_doc);
		FreeChildren(TW_MEXP_OBJECT);
		for (size_t i = 0; i < _objects.size(); ++i)
			AddChild(TW_MEXP_OBJECT, static_cast<Int32>(i), _objects[i]->GetName());
		return true;
	}

	Bool InitValues() override
	{
		const BaseContainer* bc = Settings();
		const Int32 fps = _doc->GetFps();
		SetInt32(TW_MEXP_OBJECT, bc->GetInt32(TW_MEXP_OBJECT, 0));
		SetFilename(TW_MEXP_FOLDER, bc->GetFilename(TW_MEXP_FOLDER, _doc->GetDocumentPath()));
		SetString(TW_MEXP_NAME, bc->GetString(TW_MEXP_NAME));
		SetInt32(TW_MEXP_PADDING, bc->GetInt32(TW_MEXP_PADDING, 5), 0, TW_EXPORT_PADDING_MAX);
		SetInt32(TW_MEXP_START, bc->GetInt32(TW_MEXP_START, DocumentFrame(_doc->GetMinTime(), fps)));
		SetInt32(TW_MEXP_END, bc->GetInt32(TW_MEXP_END, DocumentFrame(_doc->GetMaxTime(), fps)));
		// not held at 1: a step below 1 is answered by the check when the user exports
		SetInt32(TW_MEXP_STEP, bc->GetInt32(TW_MEXP_STEP, 1));
		SetBool(TW_MEXP_TEXTURE, bc->GetBool(TW_MEXP_TEXTURE, true));
		SetBool(TW_MEXP_VELOCITY, bc->GetBool(TW_MEXP_VELOCITY, true));
		SetBool(TW_MEXP_COMPUTE_VELOCITY, bc->GetBool(TW_MEXP_COMPUTE_VELOCITY, false));
		_reserved = bc->GetInt32(TW_MEXP_RESERVED, 1);
		SetString(TW_MEXP_STATUS, String());
		if (BaseObject* op = Chosen())
			SetString(TW_MEXP_NAME, op->GetName());
		Enabling();
		return true;
	}

	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		(void)msg;
		switch (id)
		{
			case TW_MEXP_OBJECT:
				if (BaseObject* op = Chosen())
					SetString(TW_MEXP_NAME, op->GetName());
				break;
			case TW_MEXP_TEXTURE:
			case TW_MEXP_VELOCITY:
				Enabling();
				break;
			case TW_MEXP_EXPORT:
				if (Export())
				{
					Store();
					Close(true);
				}
				break;
			case TW_MEXP_CANCEL:
				Store();
				Close(false);
				break;
		}
		return true;
	}

	Bool AskClose() override
	{
		Store();
		return false;
	}

private:
	BaseContainer* Settings() const { return _doc->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT); }

	Int32 Int(Int32 id) const
	{
		Int32 v = 0;
		GetInt32(id, v);
		return v;
	}
	Bool Check(Int32 id) const
	{
		Bool v = false;
		GetBool(id, v);
		return v;
	}

	BaseObject* Chosen() const
	{
		const Int32 index = Int(TW_MEXP_OBJECT);
		if (index < 0 || index >= static_cast<Int32>(_objects.size()))
			return nullptr;
		return _objects[static_cast<size_t>(index)];
	}

	void Enabling()
	{
		Enable(TW_MEXP_EXPORT, !_objects.empty());
		Enable(TW_MEXP_COMPUTE_VELOCITY, Check(TW_MEXP_VELOCITY));
	}

	void Store()
	{
		BaseContainer* bc = Settings();
		for (Int32 id : {TW_MEXP_OBJECT, TW_MEXP_PADDING, TW_MEXP_START, TW_MEXP_END, TW_MEXP_STEP})
			bc->SetInt32(id, Int(id));
		Filename folder;
		GetFilename(TW_MEXP_FOLDER, folder);
		bc->SetFilename(TW_MEXP_FOLDER, folder);
		String name;
		GetString(TW_MEXP_NAME, name);
		bc->SetString(TW_MEXP_NAME, name);
		for (Int32 id : {TW_MEXP_TEXTURE, TW_MEXP_VELOCITY, TW_MEXP_COMPUTE_VELOCITY})
			bc->SetBool(id, Check(id));
		bc->SetInt32(TW_MEXP_RESERVED, _reserved);
	}

	// False when a check stopped the export: the dialog stays open for the user to correct it.
	Bool Export()
	{
		Filename folder;
		String name;
		GetFilename(TW_MEXP_FOLDER, folder);
		GetString(TW_MEXP_NAME, name);
		if (folder.IsEmpty())
		{
			ShowMessage("Please set the folder of the mesh sequence!");
			return false;
		}
		if (!name.IsPopulated())
		{
			ShowMessage("Please set a name for the mesh sequence!");
			return false;
		}
		MeshExportOptions options;
		options.step = Int(TW_MEXP_STEP);
		if (options.step < 1)
		{
			ShowMessage("Inc frame must be greater than zero!");
			return false;
		}
		BaseObject* op = Chosen();
		if (!op)
			return false;
		ExportFileNames names;
		if (!names.Init(folder, name, Int(TW_MEXP_PADDING)))
			return false;
		options.first_frame = Int(TW_MEXP_START);
		options.last_frame = Int(TW_MEXP_END);
		options.texture = Check(TW_MEXP_TEXTURE);
		options.velocity = Check(TW_MEXP_VELOCITY);
		options.compute_velocity = Check(TW_MEXP_COMPUTE_VELOCITY);
		ExportFailures failures;
		MeshExportRun(_doc, op, options, names, [this](const String& text) { SetString(TW_MEXP_STATUS, text); }, failures);
		EventAdd();
		return true;
	}

	BaseDocument* _doc;
	std::vector<BaseObject*> _objects;
	Int32 _reserved = 1;
};

} // namespace

Bool TWMeshExporter::Execute(BaseDocument* doc)
{
	if (!doc)
		return false;
	TWMeshExporterDialog dlg(doc);
	dlg.Open();
	return true;
}

Bool RegisterTWMeshExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Mesh_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_MESH_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_MESH_EXPORTER, name, 0, icon, String(), new TWMeshExporter());
	BaseBitmap::Free(icon);
	return ok;
}
