// TWParticleImporter.cpp - particle sequence played back as Thinking Particles.
#include "TWParticleImporter.h"

#include "TW_Particle_Importer.h"
#include "console.h"
#include "main.h"
#include "mesh_bin.h"
#include "particle_bin.h"
#include "particle_material.h"
#include "plugin_ids.h"

#include <cmath>
#include <cstring>
#include <new>

namespace
{

constexpr Int32 ID_XPRESSO_TAG = 1001149;

// The channel choices of the description rows, built once for every importer.
struct Choice
{
	Int32 value;
	const char* text;
};

const Choice CHANNEL_CHOICES[] = {{100, "Velocity X"}, {101, "Velocity Y"}, {102, "Velocity Z"}, {103, "Force X"},
	{104, "Force Y"}, {105, "Force Z"}, {106, "Vorticity X"}, {107, "Vorticity Y"}, {108, "Vorticity Z"},
	{109, "Normal X"}, {110, "Normal Y"}, {111, "Normal Z"}, {112, "Texture U"}, {113, "Texture V"},
	{5, "Neightbors"}, {6, "Info bit"}, {7, "Age"}, {8, "Isolation"}, {9, "Viscosity"}, {10, "Density"},
	{11, "Pressure"}, {12, "Mass"}, {13, "Temperature"}, {14, "Id"}};
const Choice OPERATOR_CHOICES[] = {{0, "+="}, {1, "-="}, {2, "*="}, {3, "/="}, {4, "="}};
const Choice SOURCE_CHOICES[] = {{0, "Channel"}, {1, "Value"}};

// Built on first use, shared by every importer, freed at the module's end: plain pointers, so that
// the runtime has nothing of them to destroy when the host unloads the module during process exit.
BaseContainer* g_choice_lists[3] = {};

template <size_t N>
const BaseContainer* ChoiceList(Int32 which, const Choice (&choices)[N])
{
	BaseContainer*& list = g_choice_lists[which];
	if (!list)
	{
		list = new (std::nothrow) BaseContainer();
		if (list)
			for (const Choice& c : choices)
				list->SetString(c.value, String(c.text));
	}
	return list;
}

} // namespace

void FreeParticleImporterChoices()
{
	for (BaseContainer*& list : g_choice_lists)
	{
		delete list;
		list = nullptr;
	}
}

TWParticleImporter::TWParticleImporter() : _settings()
{
	_settings.sequence = &_sequence;
	_settings.load_percentage = 100.0f;
	_colouriser.AttachSource(&_display_source, false);
}

TWParticleImporter::~TWParticleImporter() = default;

Bool TWParticleImporter::Init(GeListNode* node)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	_master = nullptr;
	_group = nullptr;
	_slots.clear();
	_cache = nullptr;
	BaseContainer* bc = op->GetDataInstance();
	bc->SetFilename(TW_PI_FILE, Filename());
	bc->SetString(TW_PI_NAME, String());
	bc->SetInt32(TW_PI_UNUSED_1007, 0);
	bc->SetInt32(TW_PI_CACHE_MODE, 0);
	bc->SetInt32(TW_PI_CACHE_RADIUS, 5);
	bc->SetInt32(TW_PI_FIRST_FRAME, 0);
	bc->SetInt32(TW_PI_LAST_FRAME, 0);
	bc->SetInt32(TW_PI_FRAME_OFFSET, 0);
	bc->SetFloat(TW_PI_LOAD_PERCENT, 100.0);
	bc->SetTime(TW_PI_LIFE, BaseTime(50.0));
	bc->SetBool(TW_PI_HOLD_FRAME, false);
	bc->SetBool(TW_PI_HOLD_ENDS, false);
	bc->SetBool(TW_PI_REVERSE, false);
	for (Int32 id = TW_PI_PAIR_SWITCH_1; id <= TW_PI_PAIR_VALUE_15; id += 2)
	{
		bc->SetInt32(id, 0);
		bc->SetFloat(id + 1, 0.0);
	}
	bc->SetInt32(TW_PI_DISPLAY_MODE, 0);
	bc->SetInt32(TW_PI_DISPLAY_AXIS, 0);
	bc->SetFloat(TW_PI_DISPLAY_SIZE, 0.02);
	bc->SetInt32(TW_PI_COLOR_CHANNEL, 0);
	bc->SetData(TW_PI_COLOR_GRADIENT, GeData(DefaultParticleGradient()));
	bc->RemoveData(TW_PI_CACHE_POINTER);
	bc->SetInt32(TW_PI_FORMAT, 0);
	bc->SetBool(TW_PI_USE_IDS, false);
	bc->SetString(TW_PI_CURRENT_FILE, String());
	bc->SetFloat(TW_PI_SCALE, 1.0);
	bc->SetBool(TW_PI_RENDERING, false);
	bc->SetInt32(TW_PI_RENDER_SHAPE, 1);
	bc->SetFloat(TW_PI_RENDER_SIZE, 5.0);
	bc->SetBool(TW_PI_AUTO_RANGE, true);
	bc->SetFloat(TW_PI_RANGE_MIN, 0.0);
	bc->SetFloat(TW_PI_RANGE_MAX, 0.0);
	bc->SetFloat(TW_PI_FOUND_MIN, 0.0);
	bc->SetFloat(TW_PI_FOUND_MAX, 0.0);
	bc->SetFloat(TW_PI_SUBFRAME_FACTOR, 1.0);
	bc->SetBool(TW_PI_UNUSED_1074, true);
	for (Int32 id = TW_PI_LOAD_VELOCITY; id <= TW_PI_LOAD_ID; ++id)
		bc->SetBool(id, true);
	bc->SetBool(TW_PI_ASSETS, false);
	bc->SetInt32(TW_PI_RENDER_FRAME, -1);
	bc->SetInt32(TW_PI_RENDER_COUNT, 0);
	bc->SetInt32(TW_PI_RENDER_END, 0);

	_sequence.SetName(nullptr, false, false);
	_sequence.document = nullptr;
	_sequence.downloads_allowed = true;
	return true;
}

void TWParticleImporter::Free(GeListNode* node)
{
	(void)node;
	// the shown frame is the viewport table's: let go of it before the table goes
	_colouriser.Invalidate();
	if (_cache)
	{
		DetachImporterCache(_cache, &_settings);
		_cache = nullptr;
	}
	if (_master)
	{
		// An importer of the same name may have freed the shared group already.
		bool group_alive = false;
		for (TP_PGroup* g : _master->GetParticleGroups())
			group_alive = group_alive || g == _group;
		if (!group_alive)
			_group = nullptr;
		KillAll();
		if (_group)
			_master->FreeParticleGroup(_group);
	}
	_slots.clear();
	_slots.shrink_to_fit();
}

Bool TWParticleImporter::Read(GeListNode* node, HyperFile* hf, Int32 level)
{
	(void)hf;
	if (level >= 1)
		return true;
	StoredFileToPattern(static_cast<BaseObject*>(node)->GetDataInstance(), TW_PI_FILE);
	return true;
}

// --- choosing a file

Bool TWParticleImporter::ResolvedPath(BaseObject* op, char* out) const
{
	return ResolveHostPath(op->GetDataInstance()->GetFilename(TW_PI_FILE), GetActiveDocument(), out);
}

Bool TWParticleImporter::CheckFile(const char* path)
{
	if (!path[0])
		return false;
	if (HasExtension(path, ".bin"))
	{
		if (IsParticleBin(path))
		{
			_sequence.format = CACHE_PARTICLE_BIN;
			return true;
		}
		if (MeshIsBinFile(path))
			ShowMessage("The selected .bin file belongs to a mesh sequence. Please select a particle .bin sequence!");
		else
			ShowMessage("Invalid particle file: %s", path);
		return false;
	}
	if (HasExtension(path, ".pxy"))
	{
		_sequence.format = CACHE_PARTICLE_PXY;
		return true;
	}
	if (HasExtension(path, ".tpc"))
	{
		_sequence.format = CACHE_PARTICLE_TPC;
		return true;
	}
	ShowMessage("Only .bin, .pxy or .tpc extension is accepted as particle file.");
	return false;
}

void TWParticleImporter::SetNames(BaseObject* op)
{
	char base[SEQUENCE_PATH_SIZE];
	_sequence.GetBaseName(base);
	size_t n = std::strlen(base);
	while (n > 0 && base[n - 1] == '_')
		base[--n] = '\0';
	op->GetDataInstance()->SetString(TW_PI_NAME, String(base));
	String display(std::strncmp(base, "TW_", 3) == 0 ? std::string(base) : "TW_" + std::string(base));
	op->SetName(display);
	if (_group)
		_group->SetName(display);
}

void TWParticleImporter::ReadSettings(BaseObject* op)
{
	const BaseContainer* bc = op->GetDataInstance();
	_sequence.first = bc->GetInt32(TW_PI_FIRST_FRAME);
	_sequence.last = bc->GetInt32(TW_PI_LAST_FRAME);
	_settings.offset = bc->GetInt32(TW_PI_FRAME_OFFSET);
	_settings.load_percentage = static_cast<float>(bc->GetFloat(TW_PI_LOAD_PERCENT));
	_settings.hold = bc->GetBool(TW_PI_HOLD_FRAME);
	_settings.hold_ends = bc->GetBool(TW_PI_HOLD_ENDS);
	_settings.reverse = bc->GetBool(TW_PI_REVERSE);
	_sequence.format = bc->GetInt32(TW_PI_FORMAT);
}

void TWParticleImporter::ChooseFile(BaseObject* op)
{
	BaseContainer* bc = op->GetDataInstance();
	if (_group && _group->GetName() != op->GetName())
		_group->SetName(op->GetName());

	char path[TW_PATH_SIZE];
	if (!ResolvedPath(op, path))
	{
		// Refused as the other unusable files are: the field gets back the sequence that plays.
		ShowPathTooLong();
		bc->SetFilename(TW_PI_FILE, Filename(_sequence.pattern));
	}
	// 1005 holds the pattern once a file was taken; that is no new choice and names no file to check
	const bool same = _sequence.name[0] && (std::strcmp(_sequence.name, path) == 0 || std::strcmp(_sequence.pattern, path) == 0);
	const bool chosen = !same && CheckFile(path);
	if (chosen)
	{
		_sequence.SetName(path, false, true);
		_sequence.ScanRange();
		bc->SetFilename(TW_PI_FILE, Filename(_sequence.pattern));
		SetNames(op);
		bc->SetInt32(TW_PI_FIRST_FRAME, _sequence.first);
		bc->SetInt32(TW_PI_LAST_FRAME, _sequence.last);
		bc->SetInt32(TW_PI_FORMAT, _sequence.format);
		KillAll();
	}

	// A table not laid out for the mode, radius or percentage lays itself out when it is next asked.
	_settings.mode = bc->GetInt32(TW_PI_CACHE_MODE);
	_settings.window_radius = bc->GetInt32(TW_PI_CACHE_RADIUS);
	_id_mode = bc->GetBool(TW_PI_USE_IDS);
	if (_id_mode)
		KillAll();
	if (_group)
		_group->SetViewType(bc->GetInt32(TW_PI_DISPLAY_MODE) != 0 ? TP_PGROUP_VIEW_NONE : TP_PGROUP_VIEW_DEFAULT);
	ReadSettings(op);
	// A file chosen again is read again, even where the layout stays the same.
	if (chosen && _cache)
	{
		_colouriser.Invalidate(); // its frame was the table's
		ResetCache(&_cache->viewport, &_settings);
	}
}

void TWParticleImporter::RefreshSettings(BaseObject* op)
{
	char path[TW_PATH_SIZE];
	const Int32 format = _sequence.format;
	// A path that does not fit was never taken: the sequence that plays stays.
	if (ResolvedPath(op, path))
		_sequence.SetName(path, false, true);
	_sequence.format = format;
	const BaseContainer* bc = op->GetDataInstance();
	_settings.mode = bc->GetInt32(TW_PI_CACHE_MODE);
	_settings.window_radius = bc->GetInt32(TW_PI_CACHE_RADIUS);
	ReadSettings(op);
}

FrameCacheSettings TWParticleImporter::RenderSettings() const
{
	FrameCacheSettings single = _settings;
	single.mode = FRAME_CACHE_ONE;
	return single;
}

// --- messages

void TWParticleImporter::CollectAssets(BaseObject* op, AssetData* assets)
{
	if (!assets || !(assets->flags & ASSETDATA_FLAG_NET) || !op->GetDataInstance()->GetBool(TW_PI_ASSETS))
		return;
	RefreshSettings(op);
	_sequence.downloads_allowed = false;
	const BaseContainer* bc = op->GetDataInstance();
	const Int32 first = bc->GetInt32(TW_PI_FIRST_FRAME);
	// one file however the range reads: ten million reports of it would never end
	const Int32 last = SequenceIsSingleFile(&_sequence) ? first : bc->GetInt32(TW_PI_LAST_FRAME);
	char path[TW_PATH_SIZE];
	for (Int32 f = first; f <= last && f >= first; ++f)
	{
		_sequence.GetFileName(f, 0, path);
		if (path[0])
			assets->Add(Filename(path), op);
	}
	_sequence.downloads_allowed = true;
}

Bool TWParticleImporter::Message(GeListNode* node, Int32 type, void* data)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	BaseContainer* bc = op->GetDataInstance();
	switch (type)
	{
		case MSG_DESCRIPTION_COMMAND:
		{
			const DescriptionCommand* dc = static_cast<const DescriptionCommand*>(data);
			if (dc && dc->id == TW_PI_CREATE_MATERIAL)
				CreateParticleMaterial(op);
			if (dc && dc->id == TW_PI_ADD_ROW)
				_rows.push_back({100, 4, -1, 0});
			break;
		}
		case MSG_DESCRIPTION_USERINTERACTION_END: ChooseFile(op); break;
		case MSG_GETALLASSETS: CollectAssets(op, static_cast<AssetData*>(data)); break;
		case MSG_MULTI_RENDERNOTIFICATION:
		{
			const RenderNotificationData* rn = static_cast<const RenderNotificationData*>(data);
			if (!rn)
				break;
			_sequence.document = rn->doc;
			bc->SetBool(TW_PI_RENDERING, rn->start);
			bc->SetInt32(TW_PI_RENDER_FRAME, -1);
			bc->SetInt32(TW_PI_RENDER_COUNT, 0);
			if (!rn->start)
			{
				if (_cache)
				{
					FrameCacheSettings single = RenderSettings();
					FlushCache(&_cache->render, &single);
				}
				bc->SetInt32(TW_PI_RENDER_END, -1);
			}
			break;
		}
		default: break;
	}
	return true;
}

// --- description

Bool TWParticleImporter::GetDDescription(GeListNode* node, Description* description, Int32& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	auto add = [description](Int32 id, Int32 dtype, const char* name, const BaseContainer* cycle) {
		BaseContainer bc = GetCustomDataTypeDefault(dtype);
		bc.SetString(DESC_NAME, String(name));
		if (cycle)
			bc.SetContainer(DESC_CYCLE, *cycle);
		description->SetParameter(DescID(id, dtype), bc, DescID(TW_PI_ROWS));
	};
	for (size_t k = 0; k < _rows.size(); ++k)
	{
		const Int32 i = static_cast<Int32>(k);
		add(TW_PI_ROW_TARGET + i, DTYPE_LONG, "Target", ChoiceList(0, CHANNEL_CHOICES));
		add(TW_PI_ROW_OPERATOR + i, DTYPE_LONG, "Operator", ChoiceList(1, OPERATOR_CHOICES));
		add(TW_PI_ROW_SOURCE + i, DTYPE_LONG, "Source", ChoiceList(2, SOURCE_CHOICES));
		if (_rows[k].source != -1)
			add(TW_PI_ROW_CHANNEL + i, DTYPE_LONG, "Channel", ChoiceList(0, CHANNEL_CHOICES));
		else
			add(TW_PI_ROW_VALUE + i, DTYPE_REAL, "Value", nullptr);
		add(TW_PI_ROW_UP + i, DTYPE_BUTTON, "Up", nullptr);
		add(TW_PI_ROW_DOWN + i, DTYPE_BUTTON, "Down", nullptr);
		add(TW_PI_ROW_REMOVE + i, DTYPE_BUTTON, "Remove", nullptr);
	}
	flags |= DESCFLAGS_DESC_LOADED;
	return true;
}

Bool TWParticleImporter::GetDEnabling(
	GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc)
{
	(void)t_data;
	(void)flags;
	(void)itemdesc;
	const BaseContainer* bc = static_cast<BaseObject*>(node)->GetDataInstance();
	const Int32 display = bc->GetInt32(TW_PI_DISPLAY_MODE);
	const bool coloured = display != 0 && display != 3;
	if (id >= TW_PI_PAIR_VALUE_1 && id <= TW_PI_PAIR_VALUE_15 && (id - TW_PI_PAIR_VALUE_1) % 2 == 0)
		return bc->GetInt32(id - 1) == 1;
	switch (id)
	{
		case TW_PI_CACHE_RADIUS: return bc->GetInt32(TW_PI_CACHE_MODE) == 1;
		case TW_PI_DISPLAY_AXIS:
		case TW_PI_DISPLAY_SIZE: return display == 2;
		case TW_PI_COLOR_CHANNEL:
		case TW_PI_AUTO_RANGE: return coloured;
		case TW_PI_COLOR_CHANNEL_OPTION: return coloured && bc->GetInt32(TW_PI_COLOR_CHANNEL) != 0;
		case TW_PI_COLOR_SETTINGS:
		case TW_PI_COLOR_GRADIENT: return display != 0;
		case TW_PI_RANGE_MIN:
		case TW_PI_RANGE_MAX: return coloured && !bc->GetBool(TW_PI_AUTO_RANGE);
		case TW_PI_FOUND_MIN:
		case TW_PI_FOUND_MAX: return false;
		case TW_PI_RENDER_SIZE: return bc->GetInt32(TW_PI_RENDER_SHAPE) == 1 || bc->GetInt32(TW_PI_RENDER_SHAPE) == 2;
		case TW_PI_RENDER_OBJECT: return bc->GetInt32(TW_PI_RENDER_SHAPE) == 10;
		default: return true;
	}
}

// --- evaluation

Int32 TWParticleImporter::WholeFrame(const BaseTime& time, Int32 fps)
{
	const Float num = time.GetNumerator(), den = time.GetDenominator();
	const Float whole = std::floor(den) != 0.0 ? std::floor(num * fps) / std::floor(den) : 0.0;
	return std::fabs(whole) < 2147483647.0 ? static_cast<Int32>(whole) : 0;
}

BaseObject* TWParticleImporter::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
{
	BaseDocument* doc = hh ? hh->GetDocument() : op->GetDocument();
	if (!doc)
		return nullptr;
	BaseContainer* bc = op->GetDataInstance();
	const BaseTime time = doc->GetTime();
	const Float num = time.GetNumerator(), den = time.GetDenominator();
	const Float seconds = den != 0.0 ? num / den : 0.0;
	const Int32 fps = doc->GetFps();
	const Float f = seconds * fps;
	const Int32 fi = WholeFrame(time, fps);
	const Bool rendering = bc->GetBool(TW_PI_RENDERING);

	if (rendering)
	{
		Int32 tracked = bc->GetInt32(TW_PI_RENDER_FRAME), count = bc->GetInt32(TW_PI_RENDER_COUNT);
		TrackRenderFrame(doc->GetActiveRenderData()->GetDataInstance()->GetInt32(RDATA_RENDERENGINE), f, fi, &tracked, &count);
		bc->SetInt32(TW_PI_RENDER_FRAME, tracked);
		bc->SetInt32(TW_PI_RENDER_COUNT, count);
	}
	if (!_cache)
	{
		// The first user lays the tables out for the settings the object has now, loaded or copied.
		RefreshSettings(op);
		_cache = AttachImporterCache(op, TW_PI_CACHE_POINTER, &_settings);
		if (!_master)
			SetupThinkingParticles(op);
	}
	EnsureGroup(op);

	ParticleFrame* render_frame = nullptr;
	if (_cache)
	{
		const float r = static_cast<float>(bc->GetInt32(TW_PI_RENDER_FRAME));
		const bool advance = f > fi + 0.5 || std::fabs(static_cast<float>(f) - (r - 0.5f)) < 0.0001f;
		const Int32 frame = advance ? fi + 1 : fi;
		RefreshSettings(op);
		ParticleFrame* pf;
		if (rendering)
		{
			FrameCacheSettings single = RenderSettings();
			pf = SlotParticleFrame(GetFrame(&_cache->render, &single, frame));
			render_frame = pf;
		}
		else
			pf = SlotParticleFrame(GetFrame(&_cache->viewport, &_settings, frame));
		LoadFrame(op, pf);
		bc->SetString(TW_PI_CURRENT_FILE, String(pf ? GetParticlePath(pf) : ""));
		if (pf)
		{
			const Float dt = seconds - static_cast<Float>(frame) / fps;
			if (dt < -0.00001 || dt > 0.00001)
				MoveSubFrame(op, pf, dt);
		}
	}
	// A graph on the object reads the particles just written (a particle node defaults to our group).
	if (XPressoTag* xp = static_cast<XPressoTag*>(op->GetTag(ID_XPRESSO_TAG)))
		if (GvNodeMaster* gm = xp->GetNodeMaster())
			gm->Execute(nullptr);
	if (!rendering)
		return nullptr;
	return BuildRenderInstances(op, doc, render_frame);
}

Bool RegisterTWParticleImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_PARTICLE_IMPORTER, name, OBJECT_GENERATOR, TWParticleImporter::Alloc, "TW_Particle_Importer", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
