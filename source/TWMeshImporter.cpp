// TWMeshImporter.cpp - mesh sequence rebuilt as a polygon object.
#include "TWMeshImporter.h"

#include "TW_Mesh_Importer.h"
#include "cache_types.h"
#include "console.h"
#include "main.h"
#include "mesh_build.h"
#include "mesh_md.h"
#include "particle_bin.h"
#include "plugin_ids.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

// Whether the frame is an .md mesh carrying the channel of this index (1 .. 15).
bool HasMdChannel(const MeshHandle* handle, Int32 index)
{
	return index >= 1 && index <= TW_MD_CHANNEL_COUNT && MdFindChannel(MeshHandleMdFile(handle), static_cast<uint32_t>(index));
}

// Copies src into a sequence buffer whole, or leaves it empty.
void CopyPath(char* dst, const char* src)
{
	const size_t n = std::strlen(src);
	if (n >= SEQUENCE_PATH_SIZE)
	{
		dst[0] = '\0';
		return;
	}
	std::memcpy(dst, src, n + 1);
}

} // namespace

TWMeshImporter::TWMeshImporter() : _settings()
{
	_settings.sequence = &_sequence;
	_settings.load_percentage = 100.0f;
}

TWMeshImporter::~TWMeshImporter() = default;

Bool TWMeshImporter::Init(GeListNode* node)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	_cache = nullptr;
	_last_time = -1.0;
	_last_frame = -1;
	_last_rendering = false;
	_built = nullptr;
	_current_handle = nullptr;
	_handle_table = nullptr;
	_settings.mode = FRAME_CACHE_ONE;
	_settings.window_radius = 5;
	_settings.offset = 0;
	_settings.load_percentage = 100.0f;
	_settings.reverse = false;
	_settings.hold = false;
	_settings.hold_ends = false;
	_velocity_scales.clear();
	_settings.velocity_scale_entries = nullptr;
	_settings.velocity_scale_count = 0;
	_sequence.SetName(nullptr, false, false);
	_sequence.format = CACHE_MESH_BIN;
	_sequence.document = nullptr;
	_sequence.downloads_allowed = true;

	BaseContainer* bc = op->GetDataInstance();
	bc->SetFilename(TW_MI_FILE, Filename());
	bc->SetString(TW_MI_SEQUENCE_NAME, String());
	bc->SetInt32(TW_MI_INIT_STATE, 0);
	bc->SetInt32(TW_MI_CACHE_MODE, 0);
	bc->SetInt32(TW_MI_CACHE_WINDOW, 5);
	bc->SetInt32(TW_MI_FIRST_FRAME, 0);
	bc->SetInt32(TW_MI_LAST_FRAME, 0);
	bc->SetInt32(TW_MI_FRAME_OFFSET, 0);
	bc->SetBool(TW_MI_HOLD, false);
	bc->SetBool(TW_MI_REVERSE, false);
	bc->SetInt32(TW_MI_FACE_PERCENT, 100);
	bc->SetFloat(TW_MI_SCALE, 1.0);
	bc->SetFloat(TW_MI_MOTION_FACTOR, 1.0);
	bc->SetInt32(TW_MI_TYPE, CACHE_MESH_BIN);
	bc->SetVector(TW_MI_APPLIED_OFFSET, Vector());
	bc->SetVector(TW_MI_POINT_OFFSET, Vector());
	bc->SetBool(TW_MI_INIT_FLAG, false);
	bc->SetBool(TW_MI_SPEED_MAPS, true);
	bc->SetFloat(TW_MI_VELOCITY_SCALE, 1.0);
	bc->SetBool(TW_MI_SPEED_MAGNITUDE, false);
	bc->SetBool(TW_MI_UVW, true);
	bc->SetBool(TW_MI_WEIGHT_MAPS, true);
	bc->SetBool(TW_MI_REPORT_ASSETS, false);
	for (const MdChannelParams& c : TW_MD_CHANNELS)
	{
		bc->SetBool(TW_MI_MD_CHANNEL + c.index, true);
		if (c.magnitude)
			bc->SetBool(c.magnitude, true);
		if (c.scale)
			bc->SetFloat(c.scale, 1.0);
	}
	return true;
}

void TWMeshImporter::Free(GeListNode* node)
{
	if (_cache)
	{
		if (FreeImporterCacheRecord(_cache, &_settings))
			static_cast<BaseObject*>(node)->GetDataInstance()->SetVoid(TW_MI_CACHE_POINTER, nullptr);
		_cache = nullptr;
	}
	_current_handle = nullptr;
	_handle_table = nullptr;
	_built = nullptr;
}

Bool TWMeshImporter::Read(GeListNode* node, HyperFile* hf, Int32 level)
{
	(void)hf;
	BaseObject* op = static_cast<BaseObject*>(node);
	if (level < 1)
		StoredFileToPattern(op->GetDataInstance(), TW_MI_FILE);
	// The stored pattern is the sequence already taken: a parameter set before the first evaluation
	// must not check it again as if it were a newly chosen file.
	RefreshSettings(op);
	return true;
}

Bool TWMeshImporter::CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode)
{
	(void)snode;
	TWMeshImporter* copy = static_cast<TWMeshImporter*>(dest);
	// The host copied the container: the source's object is not the copy's.
	static_cast<BaseObject*>(dnode)->GetDataInstance()->SetVoid(TW_MI_BUILT_OBJECT, nullptr);
	// The copy plays the same sequence: it takes over what the source knows of it, and its frames.
	FrameSequence& to = copy->_sequence;
	to.format = _sequence.format;
	std::memcpy(to.name, _sequence.name, sizeof to.name);
	std::memcpy(to.pattern, _sequence.pattern, sizeof to.pattern);
	to.first = _sequence.first;
	to.last = _sequence.last;
	copy->_sequence.document = _sequence.document;
	copy->_settings.mode = _settings.mode;
	copy->_settings.window_radius = _settings.window_radius;
	copy->_settings.offset = _settings.offset;
	copy->_settings.load_percentage = _settings.load_percentage;
	copy->_settings.reverse = _settings.reverse;
	copy->_settings.hold = _settings.hold;
	copy->_velocity_scales = _velocity_scales;
	copy->_settings.velocity_scale_entries = copy->_velocity_scales.empty() ? nullptr : copy->_velocity_scales.data();
	copy->_settings.velocity_scale_count = static_cast<Int32>(copy->_velocity_scales.size());
	if (!_cache)
		_cache = AttachImporterCacheRecord(nullptr, &_settings);
	if (_cache)
		copy->_cache = AttachImporterCacheRecord(_cache, &copy->_settings);
	return true;
}

// --- choosing a file

Bool TWMeshImporter::ResolvedPath(BaseObject* op, char* out) const
{
	BaseDocument* doc = op->GetDocument();
	return ResolveHostPath(op->GetDataInstance()->GetFilename(TW_MI_FILE), doc ? doc : GetActiveDocument(), out);
}

Bool TWMeshImporter::CheckFile(const char* path)
{
	if (HasExtension(path, ".bin"))
	{
		if (MeshIsBinFile(path))
		{
			_sequence.format = CACHE_MESH_BIN;
			return true;
		}
		if (IsParticleBin(path))
		{
			ShowMessage("The selected .bin file belongs to a particle sequence. Please select a mesh .bin sequence!");
			return false;
		}
		// Taken all the same: its frames then fail to read and show nothing.
		ShowMessage("Invalid mesh file: %s", path);
		return true;
	}
	if (HasExtension(path, ".md"))
	{
		_sequence.format = CACHE_MESH_MD;
		return true;
	}
	ShowMessage("Only .bin or .md extension is accepted as a mesh file.");
	return false;
}

void TWMeshImporter::ResetViewport()
{
	if (!_cache)
		return;
	ResetCache(&_cache->viewport, &_settings);
}

void TWMeshImporter::ChooseFile(BaseObject* op)
{
	BaseContainer* bc = op->GetDataInstance();
	char path[TW_PATH_SIZE];
	const Bool fits = ResolvedPath(op, path);
	if (!fits)
	{
		// Refused as the other unusable files are: the field gets back the sequence that plays.
		ShowPathTooLong();
		bc->SetFilename(TW_MI_FILE, Filename(_sequence.pattern));
	}
	// The field holds the pattern the object wrote back itself once a file was taken; that is the
	// same sequence, not a new choice to check.
	const bool same = _sequence.name[0] && (std::strcmp(_sequence.name, path) == 0 || std::strcmp(_sequence.pattern, path) == 0);
	const bool chosen = fits && !same && (!path[0] || CheckFile(path));
	if (chosen)
	{
		if (!path[0])
			_sequence.SetName(nullptr, false, false);
		else
		{
			_sequence.SetName(path, false, true);
			_sequence.ScanRange();
		}
		bc->SetFilename(TW_MI_FILE, Filename(_sequence.pattern));
		char base[SEQUENCE_PATH_SIZE];
		_sequence.GetBaseName(base);
		size_t n = std::strlen(base);
		while (n > 0 && base[n - 1] == '_')
			base[--n] = '\0';
		bc->SetString(TW_MI_SEQUENCE_NAME, String(base));
		op->SetName(String(base));
		bc->SetInt32(TW_MI_FIRST_FRAME, _sequence.first);
		bc->SetInt32(TW_MI_LAST_FRAME, _sequence.last);
		bc->SetInt32(TW_MI_TYPE, _sequence.format);
	}

	// A table not laid out for the mode, window or percentage lays itself out when it is next asked.
	_settings.mode = bc->GetInt32(TW_MI_CACHE_MODE);
	_settings.window_radius = bc->GetInt32(TW_MI_CACHE_WINDOW);
	_settings.load_percentage = static_cast<float>(bc->GetFloat(TW_MI_FACE_PERCENT));
	_sequence.first = bc->GetInt32(TW_MI_FIRST_FRAME);
	_sequence.last = bc->GetInt32(TW_MI_LAST_FRAME);
	_settings.offset = bc->GetInt32(TW_MI_FRAME_OFFSET);
	_settings.hold = bc->GetBool(TW_MI_HOLD);
	_settings.reverse = bc->GetBool(TW_MI_REVERSE);
	// A file chosen again is read again, even where the layout stays the same.
	if (chosen)
		ResetViewport();
}

void TWMeshImporter::RefreshSettings(BaseObject* op)
{
	char path[TW_PATH_SIZE];
	// A path that does not fit was never taken: the sequence that plays stays.
	if (ResolvedPath(op, path))
	{
		_sequence.SetName(nullptr, false, false);
		if (path[0])
		{
			// The field holds the pattern once a file was taken.
			CopyPath(_sequence.name, path);
			CopyPath(_sequence.pattern, path);
		}
	}
	const BaseContainer* bc = op->GetDataInstance();
	_settings.mode = bc->GetInt32(TW_MI_CACHE_MODE);
	_settings.window_radius = bc->GetInt32(TW_MI_CACHE_WINDOW);
	_sequence.first = bc->GetInt32(TW_MI_FIRST_FRAME);
	_sequence.last = bc->GetInt32(TW_MI_LAST_FRAME);
	_settings.offset = bc->GetInt32(TW_MI_FRAME_OFFSET);
	_settings.load_percentage = static_cast<float>(bc->GetFloat(TW_MI_FACE_PERCENT));
	_settings.hold = bc->GetBool(TW_MI_HOLD);
	_settings.reverse = bc->GetBool(TW_MI_REVERSE);
	_sequence.format = bc->GetInt32(TW_MI_TYPE);
	_velocity_scales.clear();
	const Float velocity_scale = bc->GetFloat(TW_MI_VELOCITY_SCALE, 1.0);
	if (velocity_scale != 1.0)
		_velocity_scales.push_back({0, 2, -1, static_cast<float>(velocity_scale)});
	_settings.velocity_scale_entries = _velocity_scales.empty() ? nullptr : _velocity_scales.data();
	_settings.velocity_scale_count = static_cast<Int32>(_velocity_scales.size());
}

FrameCacheSettings TWMeshImporter::RenderSettings() const
{
	FrameCacheSettings single = _settings;
	single.mode = FRAME_CACHE_ONE;
	return single;
}

MeshHandle* TWMeshImporter::CurrentHandle() const
{
	// Another copy sharing the tables, or a reset, may have flushed the frame since the last build.
	if (!_current_handle || !_handle_table)
		return nullptr;
	for (Int32 k = 0; k < _handle_table->count; ++k)
		if (_handle_table->slots[k].frame == _current_handle && IsMeshFormat(_handle_table->slots[k].format))
			return _current_handle;
	return nullptr;
}

// --- messages

void TWMeshImporter::CollectAssets(BaseObject* op, AssetData* assets)
{
	if (!assets || !(assets->flags & ASSETDATA_FLAG_NET) || !op->GetDataInstance()->GetBool(TW_MI_REPORT_ASSETS))
		return;
	RefreshSettings(op);
	_sequence.downloads_allowed = false;
	const Int32 first = _sequence.first;
	// one file however the range reads: ten million reports of it would never end
	const Int32 last = SequenceIsSingleFile(&_sequence) ? first : _sequence.last;
	char path[TW_PATH_SIZE];
	for (Int32 f = first; f <= last && f >= first; ++f)
	{
		_sequence.GetFileName(f, 0, path);
		if (path[0])
			assets->Add(Filename(path), op);
		if (f == last)
			break;
	}
	_sequence.downloads_allowed = true;
}

Bool TWMeshImporter::Message(GeListNode* node, Int32 type, void* data)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	BaseContainer* bc = op->GetDataInstance();
	switch (type)
	{
		case MSG_DESCRIPTION_POSTSETPARAMETER:
		{
			const DescriptionPostSetValue* du = static_cast<const DescriptionPostSetValue*>(data);
			if (!du)
				break;
			if (du->id == TW_MI_POINT_OFFSET)
			{
				// The points move by -offset; the object moves by the change so the mesh keeps its place.
				const Vector offset = bc->GetVector(TW_MI_POINT_OFFSET);
				const Vector d = offset - bc->GetVector(TW_MI_APPLIED_OFFSET);
				Matrix ml = op->GetMl();
				ml.off += d;
				op->SetMl(ml);
				bc->SetVector(TW_MI_APPLIED_OFFSET, offset);
			}
			break;
		}
		case MSG_MENUPREPARE:
		{
			BaseTag* phong = op->GetTag(Tphong);
			if (!phong)
				phong = op->MakeTag(Tphong);
			if (phong)
				phong->GetDataInstance()->SetBool(PHONGTAG_PHONG_ANGLELIMIT, false);
			break;
		}
		case MSG_DESCRIPTION_USERINTERACTION_END: ChooseFile(op); break;
		case MSG_GETALLASSETS: CollectAssets(op, static_cast<AssetData*>(data)); break;
		case MSG_MULTI_RENDERNOTIFICATION:
		{
			const RenderNotificationData* rn = static_cast<const RenderNotificationData*>(data);
			if (!rn)
				break;
			bc->SetBool(TW_MI_RENDER_MODE, rn->start);
			bc->SetInt32(TW_MI_RENDER_FRAME, -1);
			bc->SetInt32(TW_MI_RENDER_COUNT, 0);
			// The rendered document may be a copy that goes away with the render; after it, relative
			// paths resolve against the active document again.
			_sequence.document = rn->start ? rn->doc : nullptr;
			if (!rn->start && _cache)
			{
				FrameCacheSettings single = RenderSettings();
				FlushCache(&_cache->render, &single);
			}
			break;
		}
		default: break;
	}
	return true;
}

// --- description

Bool TWMeshImporter::GetDDescription(GeListNode* node, Description* description, Int32& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	flags |= DESCFLAGS_DESC_LOADED;
	return true;
}

Bool TWMeshImporter::GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc)
{
	(void)t_data;
	(void)flags;
	(void)itemdesc;
	const BaseContainer* bc = static_cast<BaseObject*>(node)->GetDataInstance();
	if (id > TW_MI_MD_CHANNEL && id <= TW_MI_MD_CHANNEL + TW_MD_CHANNEL_COUNT)
		return HasMdChannel(CurrentHandle(), id - TW_MI_MD_CHANNEL);
	for (const MdChannelParams& c : TW_MD_CHANNELS)
		if ((c.magnitude && id == c.magnitude) || (c.scale && id == c.scale))
			return HasMdChannel(CurrentHandle(), c.index) && bc->GetBool(TW_MI_MD_CHANNEL + c.index);
	switch (id)
	{
		case TW_MI_CACHE_WINDOW: return bc->GetInt32(TW_MI_CACHE_MODE) == 1;
		case TW_MI_PAIR_VALUE_1: return bc->GetInt32(TW_MI_PAIR_SWITCH_1) == 1;
		case TW_MI_PAIR_VALUE_2: return bc->GetInt32(TW_MI_PAIR_SWITCH_2) == 1;
		default: return true;
	}
}

void TWMeshImporter::GetDimension(BaseObject* op, Vector* mp, Vector* rad)
{
	(void)op;
	*mp = Vector();
	*rad = Vector();
}

// --- evaluation

PolygonObject* TWMeshImporter::BuildFrame(BaseObject* op, Int32 used_frame, Float t_sec, Int32 fps)
{
	BaseContainer* bc = op->GetDataInstance();
	const Bool rendering = bc->GetBool(TW_MI_RENDER_MODE);
	PolygonObject* built = nullptr;
	_current_handle = nullptr;
	_handle_table = nullptr;
	if (_cache)
	{
		FrameCache* table = rendering ? &_cache->render : &_cache->viewport;
		// GetFrame lays the table out anew when these settings would fill it differently.
		RefreshSettings(op);
		FrameCacheSettings single = RenderSettings();
		const FrameCacheSettings* settings = rendering ? &single : &_settings;
		_current_handle = SlotMeshHandle(GetFrame(table, settings, used_frame));
		_handle_table = table;
		built = BuildPolygonObject(_current_handle, op);
	}
	// Also without tables: the object named here before is the host's to free now.
	bc->SetVoid(TW_MI_BUILT_OBJECT, built);
	bc->SetFilename(TW_MI_USED_FILE, Filename(_current_handle ? MeshHandlePath(_current_handle) : ""));
	if (built && _current_handle)
	{
		const Float dt = t_sec - static_cast<Float>(used_frame) / fps;
		if (std::fabs(dt) > 1e-5f)
			ExtrapolatePoints(_current_handle, built, *bc, dt);
	}
	_last_time = t_sec;
	_last_frame = used_frame;
	return built;
}

BaseObject* TWMeshImporter::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
{
	BaseDocument* doc = hh ? hh->GetDocument() : op->GetDocument();
	if (!doc)
		return nullptr;
	BaseContainer* bc = op->GetDataInstance();
	const BaseTime time = doc->GetTime();
	const Float num = time.GetNumerator(), den = time.GetDenominator();
	const Int32 fps = doc->GetFps();
	const Float whole = std::floor(den) != 0.0 ? std::floor(num * fps) / std::floor(den) : 0.0;
	const Int32 frame = std::fabs(whole) < 2147483647.0 ? static_cast<Int32>(whole) : 0;
	const Float t_sec = den != 0.0 ? num / den : 0.0;
	const Float t_frames = fps * t_sec;

	const Bool rendering = bc->GetBool(TW_MI_RENDER_MODE);
	if (!_cache)
	{
		// The first user lays the tables out for the settings the object has now.
		RefreshSettings(op);
		_cache = AttachImporterCacheRecord(nullptr, &_settings);
	}
	if (rendering)
	{
		Int32 tracked = bc->GetInt32(TW_MI_RENDER_FRAME), count = bc->GetInt32(TW_MI_RENDER_COUNT);
		TrackRenderFrame(doc->GetActiveRenderData()->GetDataInstance()->GetInt32(RDATA_RENDERENGINE), t_frames, frame, &tracked, &count);
		bc->SetInt32(TW_MI_RENDER_FRAME, tracked);
		bc->SetInt32(TW_MI_RENDER_COUNT, count);
	}

	// An object built for a render (its own table, the tracker's frame) is not the viewport's, and
	// the other way round, even at the same time.
	if (!op->CheckCache(hh) && !op->IsDirty(DIRTYFLAGS_DATA) && t_sec == _last_time && rendering == _last_rendering)
		return op->GetCache(hh);
	_last_rendering = rendering;

	_built = nullptr;
	const float tracked = static_cast<float>(bc->GetInt32(TW_MI_RENDER_FRAME));
	const bool round_up = t_frames > frame + 0.5 || std::fabs(static_cast<float>(t_frames) - (tracked - 0.5f)) < 0.0001f;
	const Int32 used_frame = round_up ? frame + 1 : frame;
	_built = BuildFrame(op, used_frame, t_sec, fps);
	if (!_built)
		return nullptr;
	// The object's own tags (a phong tag, materials) replace the build's phong tag; its placeholder
	// maps stay on the generator.
	BaseTag* phong = _built->GetTag(Tphong);
	BaseTag::Free(phong);
	op->CopyTagsTo(_built, true, false, false, nullptr);
	return _built;
}

Bool RegisterTWMeshImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Mesh_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_MESH_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_MESH_IMPORTER, name, OBJECT_GENERATOR, TWMeshImporter::Alloc, "TW_Mesh_Importer", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
