// TWParticleExporter.cpp - the particle export command: its dialog, the settings it keeps in the document.
#include "TWParticleExporter.h"

#include "c4d_symbols.h"
#include "console.h"
#include "export_frames.h"
#include "main.h"
#include "particle_export.h"
#include "plugin_ids.h"

#include <cstdarg>
#include <cstdio>

namespace
{

// Items stored from 20000 + 17k must end before the first velocity flag at 21000.
constexpr Int32 STORED_ITEMS_MAX = (TW_PEXP_ITEM_VELOCITY_BASE - TW_PEXP_ITEM_BASE) / TW_PEXP_ITEM_STRIDE;
constexpr Float FLOAT_GADGET_LIMIT = 1.0e18;

// The 17 values of a stored item after its source index and kind.
enum
{
	ITEM_SOURCE = 0,
	ITEM_KIND,
	ITEM_NAME,
	ITEM_LABEL,
	ITEM_FLUID_TYPE,
	ITEM_FPS,
	ITEM_SCALE,
	ITEM_RADIUS,
	ITEM_POSITION,			// x, y, z
	ITEM_ROTATION = ITEM_POSITION + 3,
	ITEM_EMITTER_SCALE = ITEM_ROTATION + 3,
};

Int32 ItemId(Int32 k, Int32 value)
{
	return TW_PEXP_ITEM_BASE + TW_PEXP_ITEM_STRIDE * k + value;
}

Int32 VersionEntry(int16_t version)
{
	return version == 9 ? TW_PEXP_VERSION_9 : TW_PEXP_VERSION_12;
}

} // namespace

class TWParticleExporterDialog : public GeModalDialog, private ParticleExportStatus
{
public:
	explicit TWParticleExporterDialog(BaseDocument* doc) : _doc(doc) {}

	Bool CreateLayout() override
	{
		if (!LoadDialogResource(DLG_TW_PARTICLE_EXPORTER, nullptr, 0))
			return false;
		_sources = CollectParticleSources(_doc);
		FreeChildren(TW_PEXP_SOURCE);
		for (Int32 i = 0; i < _sources.Count(); ++i)
			AddChild(TW_PEXP_SOURCE, i, _sources.EntryText(i));
		return true;
	}

	Bool InitValues() override
	{
		const BaseContainer* bc = Settings();
		_settings.source = bc->GetInt32(TW_PEXP_SOURCE, 0);
		if (_settings.source < 0 || _settings.source >= _sources.Count())
			_settings.source = 0;
		_version_entry = bc->GetInt32(TW_PEXP_VERSION, TW_PEXP_VERSION_12);
		_settings.folder = bc->GetFilename(TW_PEXP_FOLDER, _doc->GetDocumentPath());
		_settings.name = bc->GetString(TW_PEXP_NAME);
		_settings.padding = bc->GetInt32(TW_PEXP_PADDING, 5);
		_settings.start = bc->GetInt32(TW_PEXP_START, _doc->GetMinTime().GetFrame(_doc->GetFps()));
		_settings.end = bc->GetInt32(TW_PEXP_END, _doc->GetMaxTime().GetFrame(_doc->GetFps()));
		_settings.step = bc->GetInt32(TW_PEXP_STEP, 1);
		RestoreItems(*bc);
		_shown = true;

		SetInt32(TW_PEXP_SOURCE, _settings.source);
		SetInt32(TW_PEXP_VERSION, _version_entry);
		SetFilename(TW_PEXP_FOLDER, _settings.folder);
		SetString(TW_PEXP_NAME, _settings.name);
		SetInt32(TW_PEXP_PADDING, _settings.padding, 0, TW_EXPORT_PADDING_MAX);
		SetInt32(TW_PEXP_START, _settings.start);
		SetInt32(TW_PEXP_END, _settings.end);
		// not bounded at 1: a step below 1 is explained when Export is pressed
		SetInt32(TW_PEXP_STEP, _settings.step);
		SetString(TW_PEXP_STATUS, String());
		Enable(TW_PEXP_EXPORT, _sources.Count() > 0);
		if (_sources.Count() > 0)
			SelectSource(_settings.source);
		else
			ShowItem(NewExportItem(PEXP_KIND_EMITTER, 0, _settings.name, _version_entry, _doc->GetFps()));
		return true;
	}

	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		(void)msg;
		Collect();
		switch (id)
		{
			case TW_PEXP_SOURCE:
				if (_sources.Count() > 0)
					SelectSource(_settings.source);
				break;
			case TW_PEXP_EXPORT:
				if (_current >= 0 && RunParticleExport(_doc, _settings, _items[static_cast<size_t>(_current)], this) != PEXP_REFUSED)
					Close(true);
				break;
			case TW_PEXP_CANCEL:
				Close(false);
				break;
		}
		return true;
	}

	// Prints into the status line, cut to 511 characters.
	void SetStatus(const char* format, ...) __attribute__((format(printf, 2, 3)))
	{
		char text[512];
		va_list args;
		va_start(args, format);
		std::vsnprintf(text, sizeof text, format, args);
		va_end(args);
		SetString(TW_PEXP_STATUS, String(text));
	}

	// Keeps every value and item in the document, so that the next opening shows them.
	void Store()
	{
		// a dialog that never opened has nothing of the user's to keep
		if (!_shown)
			return;
		BaseContainer* bc = Settings();
		bc->SetInt32(TW_PEXP_SOURCE, _settings.source);
		bc->SetInt32(TW_PEXP_VERSION, _version_entry);
		bc->SetFilename(TW_PEXP_FOLDER, _settings.folder);
		bc->SetString(TW_PEXP_NAME, _settings.name);
		bc->SetInt32(TW_PEXP_PADDING, _settings.padding);
		bc->SetInt32(TW_PEXP_START, _settings.start);
		bc->SetInt32(TW_PEXP_END, _settings.end);
		bc->SetInt32(TW_PEXP_STEP, _settings.step);
		// Items past STORED_ITEMS_MAX would overwrite the velocity flags; they are not kept.
		const Int32 stored = static_cast<Int32>(_items.size()) < STORED_ITEMS_MAX ? static_cast<Int32>(_items.size()) : STORED_ITEMS_MAX;
		for (Int32 k = 0; k < stored; ++k)
		{
			const ExportItem& item = _items[static_cast<size_t>(k)];
			const BinParticleHeader& h = item.header;
			bc->SetInt32(ItemId(k, ITEM_SOURCE), item.source_index);
			bc->SetInt32(ItemId(k, ITEM_KIND), item.kind);
			bc->SetString(ItemId(k, ITEM_NAME), item.fluid_name);
			bc->SetString(ItemId(k, ITEM_LABEL), item.label);
			bc->SetInt32(ItemId(k, ITEM_FLUID_TYPE), h.fluid_type);
			bc->SetInt32(ItemId(k, ITEM_FPS), h.fps);
			bc->SetFloat(ItemId(k, ITEM_SCALE), h.scale);
			bc->SetFloat(ItemId(k, ITEM_RADIUS), h.radius);
			for (Int32 i = 0; i < 3; ++i)
			{
				bc->SetFloat(ItemId(k, ITEM_POSITION + i), h.emitter_position[i]);
				bc->SetFloat(ItemId(k, ITEM_ROTATION + i), h.emitter_rotation[i]);
				bc->SetFloat(ItemId(k, ITEM_EMITTER_SCALE + i), h.emitter_scale[i]);
			}
			bc->SetBool(TW_PEXP_ITEM_VELOCITY_BASE + TW_PEXP_ITEM_VELOCITY_STRIDE * k, item.compute_velocity);
		}
		// Items are read back while present: an old longer list must not add its tail.
		for (Int32 k = stored; k < STORED_ITEMS_MAX && bc->GetDataPointer(ItemId(k, ITEM_SOURCE)); ++k)
			bc->RemoveData(ItemId(k, ITEM_SOURCE));
	}

private:
	BaseContainer* Settings() const { return _doc->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT); }

	// ParticleExportStatus
	void Set(const String& text) override
	{
		char buffer[512];
		text.GetCString(buffer, sizeof buffer);
		SetStatus("%s", buffer);
	}

	void RestoreItems(const BaseContainer& bc)
	{
		_items.clear();
		for (Int32 k = 0; k < STORED_ITEMS_MAX && bc.GetDataPointer(ItemId(k, ITEM_SOURCE)); ++k)
		{
			ExportItem item = NewExportItem(bc.GetInt32(ItemId(k, ITEM_KIND)), bc.GetInt32(ItemId(k, ITEM_SOURCE)),
				bc.GetString(ItemId(k, ITEM_NAME)), _version_entry, _doc->GetFps());
			BinParticleHeader& h = item.header;
			item.label = bc.GetString(ItemId(k, ITEM_LABEL));
			h.fluid_type = bc.GetInt32(ItemId(k, ITEM_FLUID_TYPE), h.fluid_type);
			h.fps = bc.GetInt32(ItemId(k, ITEM_FPS), h.fps);
			h.scale = static_cast<float>(bc.GetFloat(ItemId(k, ITEM_SCALE), h.scale));
			h.radius = static_cast<float>(bc.GetFloat(ItemId(k, ITEM_RADIUS), h.radius));
			for (Int32 i = 0; i < 3; ++i)
			{
				h.emitter_position[i] = static_cast<float>(bc.GetFloat(ItemId(k, ITEM_POSITION + i)));
				h.emitter_rotation[i] = static_cast<float>(bc.GetFloat(ItemId(k, ITEM_ROTATION + i)));
				h.emitter_scale[i] = static_cast<float>(bc.GetFloat(ItemId(k, ITEM_EMITTER_SCALE + i), 1.0));
			}
			item.compute_velocity = bc.GetBool(TW_PEXP_ITEM_VELOCITY_BASE + TW_PEXP_ITEM_VELOCITY_STRIDE * k);
			_items.push_back(item);
		}
	}

	// Makes the item of this source current, a new one when the source has none, and shows it.
	void SelectSource(Int32 source)
	{
		_current = -1;
		for (size_t k = 0; k < _items.size() && _current < 0; ++k)
			if (_items[k].source_index == source)
				_current = static_cast<Int32>(k);
		if (_current < 0)
		{
			_items.push_back(NewExportItem(_sources.Kind(source), source, _sources.Name(source), _version_entry, _doc->GetFps()));
			_current = static_cast<Int32>(_items.size()) - 1;
		}
		ExportItem& item = _items[static_cast<size_t>(_current)];
		item.kind = _sources.Kind(source);
		ShowItem(item);
		Collect();
	}

	void ShowItem(const ExportItem& item)
	{
		const BinParticleHeader& h = item.header;
		SetString(TW_PEXP_NAME, item.fluid_name);
		SetString(TW_PEXP_LABEL, item.label);
		SetInt32(TW_PEXP_VERSION, VersionEntry(h.version));
		SetInt32(TW_PEXP_FLUID_TYPE, h.fluid_type);
		// at least 1: the simulation time of every file is frame / fps
		SetInt32(TW_PEXP_FPS, h.fps, 1);
		const Int32 floats[] = {TW_PEXP_SCALE, TW_PEXP_RADIUS};
		const float values[] = {h.scale, h.radius};
		for (int i = 0; i < 2; ++i)
			SetFloat(floats[i], values[i], -FLOAT_GADGET_LIMIT, FLOAT_GADGET_LIMIT, 1.0);
		for (Int32 i = 0; i < 3; ++i)
		{
			SetFloat(TW_PEXP_EMITTER_POS_X + i, h.emitter_position[i], -FLOAT_GADGET_LIMIT, FLOAT_GADGET_LIMIT, 1.0);
			SetFloat(TW_PEXP_EMITTER_ROT_X + i, h.emitter_rotation[i], -FLOAT_GADGET_LIMIT, FLOAT_GADGET_LIMIT, 1.0);
			SetFloat(TW_PEXP_EMITTER_SCALE_X + i, h.emitter_scale[i], -FLOAT_GADGET_LIMIT, FLOAT_GADGET_LIMIT, 1.0);
		}
		SetBool(TW_PEXP_COMPUTE_VELOCITY, item.compute_velocity);
	}

	// The gadgets' values into the settings and the current item, before any gadget is handled.
	void Collect()
	{
		GetInt32(TW_PEXP_SOURCE, _settings.source);
		GetInt32(TW_PEXP_VERSION, _version_entry);
		GetFilename(TW_PEXP_FOLDER, _settings.folder);
		GetString(TW_PEXP_NAME, _settings.name);
		GetInt32(TW_PEXP_PADDING, _settings.padding);
		GetInt32(TW_PEXP_START, _settings.start);
		GetInt32(TW_PEXP_END, _settings.end);
		GetInt32(TW_PEXP_STEP, _settings.step);
		if (_current < 0)
			return;
		ExportItem& item = _items[static_cast<size_t>(_current)];
		BinParticleHeader& h = item.header;
		item.fluid_name = _settings.name;
		GetString(TW_PEXP_LABEL, item.label);
		h.version = static_cast<int16_t>(_version_entry == TW_PEXP_VERSION_9 ? 9 : 12);
		Int32 value = 0;
		GetInt32(TW_PEXP_FLUID_TYPE, value);
		h.fluid_type = value;
		GetInt32(TW_PEXP_FPS, value);
		h.fps = value;
		Float f = 0.0;
		auto get = [this, &f](Int32 id, float* out) {
			if (GetFloat(id, f))
				*out = static_cast<float>(f);
		};
		get(TW_PEXP_SCALE, &h.scale);
		get(TW_PEXP_RADIUS, &h.radius);
		for (Int32 i = 0; i < 3; ++i)
		{
			get(TW_PEXP_EMITTER_POS_X + i, &h.emitter_position[i]);
			get(TW_PEXP_EMITTER_ROT_X + i, &h.emitter_rotation[i]);
			get(TW_PEXP_EMITTER_SCALE_X + i, &h.emitter_scale[i]);
		}
		GetBool(TW_PEXP_COMPUTE_VELOCITY, item.compute_velocity);
	}

	BaseDocument* _doc;
	ParticleSources _sources;
	ParticleExportSettings _settings;
	Int32 _version_entry = TW_PEXP_VERSION_12;
	std::vector<ExportItem> _items;
	Int32 _current = -1; // index into _items of the shown source's item
	Bool _shown = false;
};

Bool TWParticleExporter::Execute(BaseDocument* doc)
{
	if (!doc)
		return false;
	TWParticleExporterDialog dlg(doc);
	dlg.Open();
	dlg.Store();
	return true;
}

Bool RegisterTWParticleExporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Exporter.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_EXPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_PARTICLE_EXPORTER, name, 0, icon, String(), new TWParticleExporter());
	BaseBitmap::Free(icon);
	return ok;
}
