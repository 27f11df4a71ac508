// TWParticleImporter.cpp - particle sequence played back as Thinking Particles.
#include "TWParticleImporter.h"

#include "TW_Particle_Importer.h"
#include "console.h"
#include "main.h"
#include "mesh_bin.h"
#include "particle_bin.h"
#include "plugin_ids.h"

#include <cmath>
#include <cstring>
#include <new>

namespace
{

constexpr Int32 ID_XPRESSO_TAG = 1001149;

// Numbers of the channel table; the host numbers its channels by position, so the loader looks the
// standard ones up by name.
struct StandardChannel
{
	Int32 number;
	const char* name;
	Int32 type;
};

const StandardChannel STANDARD_CHANNELS[] = {
	{1, "force", DTYPE_VECTOR},
	{2, "vorticity", DTYPE_VECTOR},
	{3, "normal", DTYPE_VECTOR},
	{4, "texture", DTYPE_VECTOR},
	{5, "neighbors", DTYPE_LONG},
	{6, "infobit", DTYPE_LONG},
	{8, "isolation", DTYPE_REAL},
	{9, "viscosity", DTYPE_REAL},
	{10, "density", DTYPE_REAL},
	{11, "pressure", DTYPE_REAL},
	{13, "temperature", DTYPE_REAL},
	{14, "id", DTYPE_LONG},
};

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

// A slot table may reach this far beyond the frame's particle count; a larger ID turns matching off
// for that frame rather than allocating a table (and as many host particles) the frame cannot justify.
Int64 IdSlotLimit(Int32 particle_count)
{
	return 4 * static_cast<Int64>(particle_count) + 65536;
}

// One write per loaded particle; flattened, so that the store's writes are inlined into the loop.
template <typename F>
__attribute__((flatten)) void EachParticle(const Int32* pids, Int32 n, const F& write)
{
	for (Int32 i = 0; i < n; ++i)
		if (pids[i] >= 0)
			write(pids[i], static_cast<size_t>(i));
}

Vector Transform(const Matrix& m, const float p[3], Float scale)
{
	return m.off + m.v1 * (p[0] * scale) + m.v2 * (p[1] * scale) + m.v3 * (p[2] * scale);
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
	for (Int32 id = TW_PI_PAIR_SWITCH_1; id <= TW_PI_PAIR_VALUE_16; id += 2)
	{
		bc->SetInt32(id, 0);
		bc->SetFloat(id + 1, 0.0);
	}
	bc->SetInt32(TW_PI_DISPLAY_MODE, 0);
	bc->SetInt32(TW_PI_DISPLAY_AXIS, 0);
	bc->SetFloat(TW_PI_DISPLAY_SIZE, 0.02);
	bc->SetInt32(TW_PI_COLOR_CHANNEL, 0);
	Gradient ramp;
	ramp.InsertKnot(Vector(0.0, 0.0, 1.0), 0.0, 1.0, 0.5, 2);
	ramp.InsertKnot(Vector(1.0, 0.0, 0.0), 1.0, 1.0, 0.5, 2);
	bc->SetData(TW_PI_COLOR_GRADIENT, GeData(ramp));
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
	// Older documents stored the chosen file itself; from level 1 on the field holds the pattern.
	BaseContainer* bc = static_cast<BaseObject*>(node)->GetDataInstance();
	FrameSequence stored;
	stored.SetName(bc->GetFilename(TW_PI_FILE).Get().c_str(), true, true);
	bc->SetFilename(TW_PI_FILE, Filename(stored.pattern));
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
		ResetCache(&_cache->viewport, &_settings);
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
			// TW_PI_CREATE_MATERIAL is answered by the particle material once it exists.
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
	if (id >= TW_PI_PAIR_VALUE_1 && id <= TW_PI_PAIR_VALUE_16 && (id - TW_PI_PAIR_VALUE_1) % 2 == 0)
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
	const Float whole = std::floor(den) != 0.0 ? std::floor(num * fps) / std::floor(den) : 0.0;
	const Int32 fi = std::fabs(whole) < 2147483647.0 ? static_cast<Int32>(whole) : 0;
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

	if (_cache)
	{
		const float r = static_cast<float>(bc->GetInt32(TW_PI_RENDER_FRAME));
		const bool advance = f > fi + 0.5 || std::fabs(static_cast<float>(f) - (r - 0.5f)) < 0.0001f;
		const Int32 frame = advance ? fi + 1 : fi;
		RefreshSettings(op);
		const ParticleFrame* pf;
		if (rendering)
		{
			FrameCacheSettings single = RenderSettings();
			pf = SlotParticleFrame(GetFrame(&_cache->render, &single, frame));
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
	// An XPresso tag would be run here; the headless host has no node masters.
	(void)ID_XPRESSO_TAG;
	if (!rendering)
		return nullptr;
	return BaseObject::Alloc(Onull);
}

// --- Thinking Particles

void TWParticleImporter::SetupThinkingParticles(BaseObject* op)
{
	BaseDocument* doc = op->GetDocument();
	_master = GetThinkingParticlesMaster(doc);
	if (!_master)
	{
		ShowMessage("TW Particle Importer can not be used because Thinking Particles is missing!");
		return;
	}
	if (_master->NumDataChannels() == 0)
	{
		for (const StandardChannel& c : STANDARD_CHANNELS)
			_master->AddDataChannel(c.type, String(c.name));
		_master->GetDataInstance()->SetInt32(TP_MASTER_PARTICLE_LIMIT, 100000000);
		const BaseTime now = doc->GetTime();
		if (now.GetDenominator() != 0.0 && now.Get() != 0.0)
		{
			doc->SetTime(BaseTime(0.0, now.GetDenominator()));
			doc->ExecutePasses(nullptr, true, true, true, 0);
			doc->SetTime(now);
			doc->ExecutePasses(nullptr, true, true, true, 0);
		}
	}
	EnsureGroup(op);
}

void TWParticleImporter::EnsureGroup(BaseObject* op)
{
	_master = GetThinkingParticlesMaster(op->GetDocument());
	if (!_master)
	{
		_group = nullptr;
		return;
	}
	const String name = op->GetName();
	_group = nullptr;
	for (TP_PGroup* g : _master->GetParticleGroups())
		if (g->GetName() == name)
		{
			_group = g;
			return;
		}
	TP_PGroup* group = _master->AllocParticleGroup();
	if (!group)
	{
		ShowMessage("Could not allocate particle group!");
		return;
	}
	group->SetName(name);
	_master->InsertParticleGroup(nullptr, group, TP_INSERT_UNDERLAST);
	_group = group;
}

void TWParticleImporter::KillAll()
{
	if (!_master || !_group)
		return;
	for (Int32 id = _master->GetFirstParticle(_group); id >= 0;)
	{
		const Int32 next = _master->GetNextParticle(_group, id);
		_master->FreeParticle(id);
		id = next;
	}
	_slots.clear();
}

Int32 TWParticleImporter::SlotOf(const ParticleFrame* frame, Int32 i) const
{
	if (!_id_mode)
		return static_cast<size_t>(i) < _slots.size() ? _slots[static_cast<size_t>(i)] : -1;
	const Int64 id = GetParticleId(frame, i);
	if (id < 1 || id > static_cast<Int64>(_slots.size()))
		return -1;
	return _slots[static_cast<size_t>(id - 1)];
}

Bool TWParticleImporter::ResizeIdSlots(Int32 max_id)
{
	const size_t old_count = _slots.size(), new_count = static_cast<size_t>(max_id);
	if (new_count < old_count)
	{
		for (size_t k = new_count; k < old_count; ++k)
			if (_slots[k] >= 0)
				_master->FreeParticle(_slots[k]);
		_slots.resize(new_count);
		return true;
	}
	_slots.resize(new_count, -1);
	const Int32 added = _master->AllocParticles(static_cast<Int32>(new_count - old_count), _slots.data() + old_count);
	for (size_t k = old_count + static_cast<size_t>(added < 0 ? 0 : added); k < new_count; ++k)
		_slots[k] = -1;
	return true;
}

void TWParticleImporter::LoadFrame(BaseObject* op, const ParticleFrame* frame)
{
	// Without a group nothing could take the particles back again.
	if (!_master || !_group)
		return;
	const BaseContainer* bc = op->GetDataInstance();
	const Float scale = static_cast<float>(bc->GetFloat(TW_PI_SCALE) * 100.0);
	_id_mode = bc->GetBool(TW_PI_USE_IDS);
	if (!_id_mode)
		KillAll();
	if (!frame)
	{
		if (_id_mode)
			KillAll();
		return;
	}
	const Int32 n = GetParticleCount(frame);
	if (_id_mode)
	{
		Int32 max_id = -1;
		for (Int32 i = 0; i < n; ++i)
		{
			const Int32 id = static_cast<Int32>(GetParticleId(frame, i));
			if (id > max_id)
				max_id = id;
		}
		if (n < 1 || max_id < 1 || max_id > IdSlotLimit(n))
		{
			if (max_id > IdSlotLimit(n))
				PrintConsole("TW Particle Importer: IDs up to %d in a frame of %d particles, matching by ID is off for this frame", max_id, n);
			_id_mode = false;
			KillAll();
		}
		else
		{
			if (static_cast<size_t>(max_id) != _slots.size())
				ResizeIdSlots(max_id);
			const BaseTime none(0.0);
			for (Int32 id : _slots)
				if (id >= 0)
					_master->SetLife(id, none);
		}
	}
	if (!_id_mode)
	{
		_slots.assign(static_cast<size_t>(n), -1);
		const Int32 made = n > 0 ? _master->AllocParticles(n, _slots.data()) : 0;
		_slots.resize(static_cast<size_t>(made < 0 ? 0 : made));
		if (made != n)
		{
			ShowMessage("Could not allocate %d particles", n);
			return;
		}
	}

	bool load[TW_PI_LOAD_ID - TW_PI_LOAD_VELOCITY + 1];
	for (Int32 id = TW_PI_LOAD_VELOCITY; id <= TW_PI_LOAD_ID; ++id)
		load[id - TW_PI_LOAD_VELOCITY] = bc->GetBool(id);
	auto on = [&load](Int32 id) { return load[id - TW_PI_LOAD_VELOCITY]; };
	const Matrix m = op->GetMg();
	const BaseTime life = bc->GetTime(TW_PI_LIFE);

	// The host particle of every file particle first (-1: skipped), then the values one channel at a
	// time: each pass streams through one array of the store instead of thirty at once.
	_pids.resize(static_cast<size_t>(n));
	Int32 done = n;
	for (Int32 i = 0; i < n; ++i)
	{
		Int32 pid;
		if (!_id_mode)
			pid = _slots[static_cast<size_t>(i)];
		else
		{
			const Int64 file_id = GetParticleId(frame, i);
			pid = -1;
			if (file_id >= 1 && file_id <= static_cast<Int64>(_slots.size()))
			{
				Int32& slot = _slots[static_cast<size_t>(file_id - 1)];
				if (slot < 0)
					slot = _master->AllocParticle();
				pid = slot;
				if (pid < 0)
				{
					done = i;
					break;
				}
			}
		}
		_pids[static_cast<size_t>(i)] = pid;
	}
	auto each = [this, done](const auto& write) { EachParticle(_pids.data(), done, write); };
	const BinParticleFrame* bin = frame->format == CACHE_PARTICLE_BIN ? frame->bin : nullptr;
	if (bin)
	{
		// A few values per pass: fewer passes re-read the particle list, and each pass still
		// writes only a handful of the store's arrays.
		TP_MasterSystem* m_ = _master;
		const bool velocity = on(TW_PI_LOAD_VELOCITY);
		TP_PGroup* group = _group;
		each([&](Int32 pid, size_t i) {
			m_->SetGroup(pid, group);
			m_->SetLife(pid, life);
			m_->SetPosition(pid, Transform(m, bin->position + 3 * i, scale));
			if (velocity)
			{
				const float* v = bin->velocity + 3 * i;
				m_->SetVelocity(pid, Vector(v[0], v[1], v[2]));
			}
		});
		auto vector = [m_](Int32 pid, Int32 c, const float* v) {
			const Vector value(v[0], v[1], v[2]);
			m_->SetData(pid, c, &value, DTYPE_VECTOR_VALUE);
		};
		auto real = [m_](Int32 pid, Int32 c, float v) {
			const Float value = v;
			m_->SetData(pid, c, &value, DTYPE_REAL_VALUE);
		};
		auto integer = [m_](Int32 pid, Int32 c, Int32 value) { m_->SetData(pid, c, &value, DTYPE_LONG_VALUE); };
		// channel -1 where the switch is off: the store ignores writes to no channel
		auto channel = [&](Int32 id, Int32 number) { return on(id) ? ChannelFor(number) : -1; };
		const Int32 force = channel(TW_PI_LOAD_FORCE, 1), vorticity = channel(TW_PI_LOAD_VORTICITY, 2),
					normal = channel(TW_PI_LOAD_NORMAL, 3), texture = channel(TW_PI_LOAD_TEXTURE, 4),
					neighbors = channel(TW_PI_LOAD_NEIGHBORS, 5), infobit = channel(TW_PI_LOAD_INFOBIT, 6),
					isolation = channel(TW_PI_LOAD_ISOLATION, 8), viscosity = channel(TW_PI_LOAD_VISCOSITY, 9),
					density = channel(TW_PI_LOAD_DENSITY, 10), pressure = channel(TW_PI_LOAD_PRESSURE, 11),
					temperature = channel(TW_PI_LOAD_TEMPERATURE, 13), id = channel(TW_PI_LOAD_ID, 14);
		if (force >= 0 || vorticity >= 0)
			each([&](Int32 pid, size_t i) {
				if (force >= 0)
					vector(pid, force, bin->force + 3 * i);
				if (vorticity >= 0)
					vector(pid, vorticity, bin->vorticity + 3 * i);
			});
		if (normal >= 0 || texture >= 0)
			each([&](Int32 pid, size_t i) {
				if (normal >= 0)
					vector(pid, normal, bin->normal + 3 * i);
				if (texture >= 0)
					vector(pid, texture, bin->texture + 3 * i);
			});
		if (neighbors >= 0 || infobit >= 0 || id >= 0)
			each([&](Int32 pid, size_t i) {
				if (neighbors >= 0)
					integer(pid, neighbors, bin->neighbors[i]);
				if (infobit >= 0)
					integer(pid, infobit, bin->info_bits[i]);
				if (id >= 0)
					integer(pid, id, static_cast<Int32>(bin->id[i]));
			});
		const bool age = on(TW_PI_LOAD_AGE), mass = on(TW_PI_LOAD_MASS);
		each([&](Int32 pid, size_t i) {
			if (age)
				m_->SetAge(pid, BaseTime(static_cast<Float>(bin->age[i])));
			if (mass)
				m_->SetMass(pid, bin->mass[i]);
			if (isolation >= 0)
				real(pid, isolation, bin->isolation[i]);
			if (viscosity >= 0)
				real(pid, viscosity, bin->viscosity[i]);
		});
		if (density >= 0 || pressure >= 0 || temperature >= 0)
			each([&](Int32 pid, size_t i) {
				if (density >= 0)
					real(pid, density, bin->density[i]);
				if (pressure >= 0)
					real(pid, pressure, bin->pressure[i]);
				if (temperature >= 0)
					real(pid, temperature, bin->temperature[i]);
			});
	}
	else
	{
		// the .pxy and .tpc values join here with their readers
		const bool velocity = on(TW_PI_LOAD_VELOCITY);
		each([&](Int32 pid, size_t i) {
			_master->SetGroup(pid, _group);
			_master->SetLife(pid, life);
			float p[3], v[3];
			GetParticlePosition(frame, static_cast<Int32>(i), p);
			_master->SetPosition(pid, Transform(m, p, scale));
			if (velocity)
			{
				GetParticleVelocity(frame, static_cast<Int32>(i), v);
				_master->SetVelocity(pid, Vector(v[0], v[1], v[2]));
			}
		});
	}
	if (done < n)
	{
		ShowMessage("Could not allocate particle");
		return;
	}

	if (_id_mode)
		for (Int32& slot : _slots)
			if (slot >= 0 && !_master->Alive(slot))
			{
				_master->FreeParticle(slot);
				slot = -1;
			}
}

Int32 TWParticleImporter::ChannelFor(Int32 number) const
{
	for (const StandardChannel& c : STANDARD_CHANNELS)
		if (c.number == number)
			return _master->GetDataChannelNumber(String(c.name));
	return -1;
}

void TWParticleImporter::MoveSubFrame(BaseObject* op, const ParticleFrame* frame, Float dt)
{
	const BaseContainer* bc = op->GetDataInstance();
	if (!_cache || bc->GetBool(TW_PI_HOLD_FRAME) || !frame || GetParticleCount(frame) < 1 || !_master || !_group)
		return;
	const Float scale = static_cast<float>(bc->GetFloat(TW_PI_SCALE) * 100.0);
	const Float d = bc->GetFloat(TW_PI_SCALE) * bc->GetFloat(TW_PI_SUBFRAME_FACTOR) * 100.0 * dt;
	Int64 n = GetParticleCount(frame);
	if (_group->NumParticles() < n)
		n = _group->NumParticles();
	if (static_cast<Int64>(_slots.size()) < n)
		n = static_cast<Int64>(_slots.size());
	const Matrix m = op->GetMg();
	for (Int32 i = 0; i < n; ++i)
	{
		const Int32 pid = SlotOf(frame, i);
		if (pid < 0)
			continue;
		float p[3], v[3];
		GetParticlePosition(frame, i, p);
		GetParticleVelocity(frame, i, v);
		_master->SetPosition(pid, Transform(m, p, scale) + Vector(v[0], v[1], v[2]) * d);
	}
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
