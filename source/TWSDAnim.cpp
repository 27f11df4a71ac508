// TWSDAnim.cpp - SD animation of one imported object.
#include "TWSDAnim.h"

#include "TWSDReader.h"
#include "TW_SD_Anim.h"
#include "c4d_animation.h"
#include "c4d_polygon.h"
#include "cache_types.h"
#include "console.h"
#include "main.h"
#include "plugin_ids.h"
#include "remote_frame_sequence.h"
#include "sd_pending.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{

const Int32 BAKE_TRACKS[3] = {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION, ID_BASEOBJECT_REL_SCALE};
const Int32 BAKE_COMPONENTS[3] = {VECTOR_X, VECTOR_Y, VECTOR_Z};

DescID TrackID(Int32 track, Int32 component)
{
	return DescID(DescLevel(track, DTYPE_VECTOR, 0), DescLevel(component, DTYPE_REAL, 0));
}

// One key at this time on each of the nine tracks, holding the object's current matrix.
void RecordKeys(BaseObject* op, const BaseTime& time)
{
	const Vector parts[3] = {op->GetRelPos(), op->GetRelRot(), op->GetRelScale()};
	for (int p = 0; p < 3; ++p)
	{
		const Float values[3] = {parts[p].x, parts[p].y, parts[p].z};
		for (int c = 0; c < 3; ++c)
		{
			const DescID id = TrackID(BAKE_TRACKS[p], BAKE_COMPONENTS[c]);
			CTrack* track = op->FindCTrack(id);
			if (!track)
			{
				track = CTrack::Alloc(op, id);
				if (!track)
					continue;
				op->InsertTrackSorted(track);
			}
			CCurve* curve = track->GetCurve();
			if (CKey* key = curve->AddKey(time))
				key->SetValue(curve, values[c]);
		}
	}
}

// The global transform of an SD frame record, in host units and scaled.
Matrix SdTransform(const float* t, Float scale)
{
	return Matrix(Vector(t[9], t[10], t[11]) * (100.0 * scale), Vector(t[0], t[1], t[2]) * scale,
		Vector(t[3], t[4], t[5]) * scale, Vector(t[6], t[7], t[8]) * scale);
}

bool UnitAxes(const Matrix& m)
{
	return m.v1 == Vector(1.0, 0.0, 0.0) && m.v2 == Vector(0.0, 1.0, 0.0) && m.v3 == Vector(0.0, 0.0, 1.0);
}

} // namespace

TWSDAnim::TWSDAnim()
{
	SdObjectReaderInit(&_object_reader);
	std::memset(&_next_frame, 0, sizeof(_next_frame));
	_open_path[0] = '\0';
}

TWSDAnim::~TWSDAnim()
{
	SdObjectReaderClose(&_object_reader);
	SdObjectFrameFreeBuffers(&_next_frame);
}

Bool TWSDAnim::Init(GeListNode* node)
{
	BaseObject* mod = static_cast<BaseObject*>(node);
	SdObjectReaderClose(&_object_reader);
	_target = nullptr;
	_bake_pending = false;
	BaseContainer* bc = mod->GetDataInstance();
	if (PendingSdAnim* pending = GetPendingSdAnim())
	{
		_target = pending->target;
		_bake_pending = pending->bake;
		char path[sizeof(pending->path)];
		std::memcpy(path, pending->path, sizeof(path));
		path[sizeof(path) - 1] = '\0';
		bc->SetFilename(TW_SD_FILE, Filename(path));
		bc->SetInt32(TW_SD_START, pending->first_frame);
		bc->SetInt32(TW_SD_END, pending->last_frame);
		pending->created = mod;
	}
	bc->SetInt32(TW_SD_OFFSET, 0);
	bc->SetFloat(TW_SD_SCALE, 1.0);
	bc->SetBool(TW_SD_HOLD, false);
	bc->SetBool(TW_SD_DISABLE, false);
	bc->SetBool(TW_SD_REVERSE, false);
	bc->SetBool(TW_SD_COLLECT, false);
	bc->SetInt32(TW_SD_SD_FRAME, -1);
	Rename(mod);
	_reader = ReaderAbove(mod);
	_parent = nullptr;
	_last_frame = -1;
	_last_time = -1.0;
	_frame_valid = 1;
	_opened = false;
	_baked = false;
	SdObjectFrameFreeBuffers(&_next_frame);
	_next_vertices.clear();
	_next_requested = INT64_MIN;
	_next_valid = false;
	_open_path[0] = '\0';
	return true;
}

void TWSDAnim::Free(GeListNode* node)
{
	(void)node;
	SdObjectReaderClose(&_object_reader);
	SdObjectFrameFreeBuffers(&_next_frame);
	_next_vertices.clear();
}

// --- where the object sits

BaseObject* TWSDAnim::ReaderAbove(const BaseObject* mod)
{
	const BaseObject* parent = mod ? mod->GetUp() : nullptr;
	BaseObject* above = parent ? parent->GetUp() : nullptr;
	return above && above->GetType() == ID_TW_SD_READER ? above : nullptr;
}

void TWSDAnim::Rename(BaseObject* mod)
{
	const BaseObject* parent = mod->GetUp();
	mod->SetName(parent ? parent->GetName() + String(" Animation") : String("Tidewell SD Animation"));
}

const BaseObject* TWSDAnim::Settings(const BaseObject* mod) const
{
	return _reader ? _reader : mod;
}

Int32 TWSDAnim::PickedType() const
{
	if (_reader)
	{
		const TWSDReader* reader = TWSDReader::Of(_reader);
		const SdSceneReader* scene = reader ? reader->Scene() : nullptr;
		const Int32 k = _object_reader.selected_index;
		if (scene && k >= 0 && k < scene->file->object_count)
			return scene->descriptors[k].type;
		return -1;
	}
	return _object_reader.selected ? _object_reader.selected->type : -1;
}

Bool TWSDAnim::Applies(const BaseObject* mod) const
{
	if (Settings(mod)->GetDataInstance()->GetBool(TW_SD_DISABLE))
		return false;
	// Baked rigid motion is played by the keys.
	if (_baked && PickedType() != SD_OBJECT_DEFORMING)
		return false;
	if (_reader)
	{
		const TWSDReader* reader = TWSDReader::Of(_reader);
		return reader && reader->Scene() && _object_reader.selected_index >= 0;
	}
	return true;
}

BaseObject* TWSDAnim::BakeTarget(const BaseObject* mod) const
{
	// A loaded or copied object has lost the importer's target; the object it drives is the same one.
	return _target ? _target : mod->GetUp();
}

// --- opening the file

void TWSDAnim::SdAnimOpen(BaseObject* mod, Bool chosen)
{
	_opened = true;
	char path[TW_PATH_SIZE];
	// Under an SD Reader, the file its scene was opened from, so that both index the same objects.
	const TWSDReader* reader = TWSDReader::Of(_reader);
	if (reader && reader->Scene())
	{
		std::strncpy(path, reader->Scene()->file->path, sizeof(path) - 1);
		path[sizeof(path) - 1] = '\0';
		_reader_openings = reader->Openings();
	}
	else if (!SdResolveFile(Settings(mod), path))
	{
		// A path that does not fit names no file: what the object plays stays.
		if (chosen && !_reader)
			SdRefuseFile(mod, _taken_file);
		return;
	}
	else if (!_reader)
		_taken_file = mod->GetDataInstance()->GetFilename(TW_SD_FILE);
	SdObjectReaderClose(&_object_reader);
	_open_path[0] = '\0';
	if (!path[0])
		return;
	std::memcpy(_open_path, path, sizeof(path));
	_next_vertices.clear();
	_next_requested = INT64_MIN;
	_next_valid = false;
	_last_frame = -1;
	_last_time = -1.0;
	if (_baked)
		_bake_pending = true;
	SdFile* file = SdOpen(path, false);
	if (!file)
		return;
	_object_reader.file = file;
	const BaseObject* parent = mod->GetUp();
	const String name = dynamic_cast<const PointObject*>(parent) ? parent->GetName() : String();
	if (_reader)
		_object_reader.selected_index = SdFindObject(file, name.c_str());
	else if (SdObjectReaderOpen(&_object_reader, name.c_str()))
		SdSetRange(mod, path, file->first_frame, file->last_frame, chosen);
	SdCloseStream(file);
}

// --- evaluation

void TWSDAnim::CheckDirty(BaseObject* op, BaseDocument* doc)
{
	SdAnimCheckDirty(op, doc);
}

void TWSDAnim::SdAnimCheckDirty(BaseObject* mod, BaseDocument* doc)
{
	const SdTime t = SdDocumentTime(doc);
	Bool changed = false;
	BaseObject* parent = mod->GetUp();
	if (parent != _parent)
	{
		Rename(mod);
		_parent = parent;
		SdAnimOpen(mod);
		changed = true;
	}
	BaseObject* reader = ReaderAbove(mod);
	if (reader != _reader)
	{
		_reader = reader;
		SdAnimOpen(mod);
		changed = true;
	}
	// The SD Reader above opened its file again (perhaps another one, or the same one rewritten): its
	// objects are indexed afresh. Only once it has a scene, as without one it retries at every evaluation.
	const TWSDReader* data = TWSDReader::Of(_reader);
	if (data && data->Scene() && (data->Openings() != _reader_openings || std::strcmp(data->Scene()->file->path, _open_path) != 0))
	{
		SdAnimOpen(mod);
		changed = true;
	}
	if (!_opened)
		SdAnimOpen(mod);
	if (_bake_pending)
	{
		SdAnimBake(mod);
		_bake_pending = false;
	}
	// The SD Reader's settings (scale, disable) and baking decide the placing too.
	const UInt32 reader_dirty = _reader ? _reader->GetDirty(DIRTYFLAGS_DATA) : 0;
	const Bool applies = Applies(mod);
	if (reader_dirty != _reader_dirty || applies != _applied)
	{
		_reader_dirty = reader_dirty;
		_applied = applies;
		changed = true;
	}
	if (applies)
	{
		// A time within the same frame counts too: back from 7.5 to 7.0 the blend must go.
		if (t.frame != _last_frame || t.seconds != _last_time || (data && data->Generation() != _placed_generation))
			changed = true;
		if (t.fraction > SD_SUBFRAME_EPSILON)
		{
			mod->SetDirty(DIRTYFLAGS_MATRIX | DIRTYFLAGS_DATA);
			return;
		}
	}
	if (changed)
		mod->SetDirty(DIRTYFLAGS_MATRIX | DIRTYFLAGS_DATA);
}

Int32 TWSDAnim::LoadFrame(const BaseObject* mod, Int32 sd, SdObjectFrame* frame, float** vertices)
{
	if (mod->GetDataInstance()->GetBool(TW_SD_DISABLE))
		return 0;
	const Int32 result = SdObjectReaderReadFrame(&_object_reader, sd, frame, vertices);
	if (result < 0)
		ShowMessage("Could not open SD file %s", _object_reader.file->path);
	return result;
}

void TWSDAnim::Place(Int32 type, const float* t, const float* vertices, Int32 vertex_count, Float scale, BaseObject* op,
	const Matrix& mg)
{
	const bool unit = UnitAxes(mg);
	Matrix r;
	if (!unit)
		r = Dot(mg.v1, Cross(mg.v2, mg.v3)) != 0.0 ? ~mg : mg;
	if (type == SD_OBJECT_RIGID)
	{
		Matrix w = SdTransform(t, scale);
		op->SetMl(unit ? w : r * w);
		return;
	}
	if (type != SD_OBJECT_DEFORMING)
		return;
	if (!_baked)
	{
		r.off = Vector();
		op->SetMl(r);
	}
	PointObject* points = dynamic_cast<PointObject*>(op);
	if (!points || !vertices)
		return;
	Vector* p = points->GetPointW();
	const Int32 n = std::min(points->GetPointCount(), vertex_count);
	const Float s = 100.0 * scale;
	for (Int32 i = 0; i < n; ++i)
		p[i] = Vector(vertices[3 * i], vertices[3 * i + 1], vertices[3 * i + 2]) * s - mg.off;
}

Bool TWSDAnim::ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg,
	Float lod, Int32 flags, BaseThread* thread)
{
	(void)mod_mg;
	(void)lod;
	(void)flags;
	(void)thread;
	return SdAnimModify(mod, doc, op, op_mg);
}

Bool TWSDAnim::SdAnimModify(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& mg)
{
	const SdTime t = SdDocumentTime(doc);
	if (!op->IsDirty(DIRTYFLAGS_MATRIX | DIRTYFLAGS_DATA))
		return true;
	BaseContainer* bc = mod->GetDataInstance();
	const Bool applies = Applies(mod);
	Int32 sd = -1;
	if (applies && _reader)
	{
		const TWSDReader* reader = TWSDReader::Of(_reader);
		const SdSceneReader* scene = reader ? reader->Scene() : nullptr;
		const Int32 k = _object_reader.selected_index;
		if (k < 0 || !scene || !scene->valid || k >= scene->file->object_count)
			return true;
		const SdObjectDescriptor& d = scene->descriptors[k];
		Place(d.type, scene->frames[k].transform, scene->vertices[k], d.vertex_count,
			_reader->GetDataInstance()->GetFloat(TW_SD_SCALE), op, mg);
		sd = scene->file->frame_number;
		_placed_generation = reader->Generation();
	}
	else if (applies)
	{
		const Int32 start = bc->GetInt32(TW_SD_START), end = bc->GetInt32(TW_SD_END), offset = bc->GetInt32(TW_SD_OFFSET);
		const Bool reverse = bc->GetBool(TW_SD_REVERSE), hold = bc->GetBool(TW_SD_HOLD);
		const Float scale = bc->GetFloat(TW_SD_SCALE);
		SdFile* file = _object_reader.file;
		const SdObjectInfo* picked = _object_reader.selected;
		sd = SdMapFrame(start, end, offset, reverse, hold, t.frame);
		if (t.frame != _last_frame)
		{
			_next_requested = INT64_MIN;
			_next_valid = false;
			_frame_valid = file && LoadFrame(mod, sd, &file->object_frame, &_object_reader.vertices) == 1;
		}
		if (_frame_valid && picked)
			Place(picked->type, file->object_frame.transform, _object_reader.vertices, picked->vertex_count, scale, op, mg);
		if (file && picked && t.fraction > SD_SUBFRAME_EPSILON)
		{
			const Int32 next = SdMapFrame(start, end, offset, reverse, hold, static_cast<Int64>(t.frame) + 1);
			// Kept apart from the current frame's validity: a missing next frame only means no blend.
			if (next != _next_requested)
			{
				_next_requested = next;
				float* next_vertices = nullptr;
				if (picked->type == SD_OBJECT_DEFORMING)
				{
					_next_vertices.resize(std::max<size_t>(3, 3 * static_cast<size_t>(picked->vertex_count)));
					next_vertices = _next_vertices.data();
				}
				_next_valid = LoadFrame(mod, next, &_next_frame, &next_vertices) == 1;
			}
			if (_frame_valid && _next_valid)
			{
				const float f = static_cast<float>(t.fps * t.fraction);
				if (picked->type == SD_OBJECT_DEFORMING && _object_reader.vertices)
				{
					const size_t n = 3 * static_cast<size_t>(picked->vertex_count);
					_blended.resize(n);
					for (size_t i = 0; i < n; ++i)
					{
						const float v = _object_reader.vertices[i];
						_blended[i] = v + (_next_vertices[i] - v) * f;
					}
					Place(picked->type, file->object_frame.transform, _blended.data(), picked->vertex_count, scale, op, mg);
				}
				else if (picked->type == SD_OBJECT_RIGID)
				{
					float blended[12];
					for (int i = 0; i < 12; ++i)
					{
						const float x = file->object_frame.transform[i];
						blended[i] = x + (_next_frame.transform[i] - x) * f;
					}
					Place(picked->type, blended, nullptr, 0, scale, op, mg);
				}
			}
		}
	}
	if (applies)
	{
		_last_frame = t.frame;
		_last_time = t.seconds;
	}
	op->Message(MSG_UPDATE);
	bc->SetInt32(TW_SD_SD_FRAME, applies ? sd : -1);
	return true;
}

// --- baking

void TWSDAnim::CopyReaderSettings(BaseObject* mod)
{
	const BaseObject* reader = ReaderAbove(mod);
	if (!reader)
		return;
	const BaseContainer* from = reader->GetDataInstance();
	BaseContainer* to = mod->GetDataInstance();
	for (Int32 id : {TW_SD_START, TW_SD_END, TW_SD_OFFSET})
		to->SetInt32(id, from->GetInt32(id));
	to->SetFloat(TW_SD_SCALE, from->GetFloat(TW_SD_SCALE));
	for (Int32 id : {TW_SD_HOLD, TW_SD_DISABLE, TW_SD_REVERSE})
		to->SetBool(id, from->GetBool(id));
}

void TWSDAnim::SdAnimBake(BaseObject* mod)
{
	BaseObject* target = BakeTarget(mod);
	BaseDocument* doc = target ? target->GetDocument() : nullptr;
	if (!doc)
		return;
	CopyReaderSettings(mod);
	target->SetMl(Matrix());
	target->Message(MSG_UPDATE);

	char path[TW_PATH_SIZE];
	const TWSDReader* reader = TWSDReader::Of(ReaderAbove(mod));
	if (reader && reader->Scene())
	{
		std::strncpy(path, reader->Scene()->file->path, sizeof(path) - 1);
		path[sizeof(path) - 1] = '\0';
	}
	else
		SdResolveFile(reader ? static_cast<const BaseObject*>(ReaderAbove(mod)) : mod, path);

	// One open of the file for the whole range; the record of the picked object is found either by
	// the scene's descriptors (the index the SD Reader's scene uses) or by the object reader.
	const BaseObject* parent = mod->GetUp();
	const String name = dynamic_cast<const PointObject*>(parent) ? parent->GetName() : String();
	SdSceneReader* scene = nullptr;
	SdObjectReader picker;
	SdObjectReaderInit(&picker);
	SdFile* file = nullptr;
	Int32 index = -1;
	Int64 record = 0;
	if (reader)
	{
		scene = SdSceneOpen(path);
		file = scene ? scene->file : nullptr;
		index = scene ? SdFindObject(file, name.c_str()) : -1;
		for (Int32 k = 0; k < index; ++k)
			record += scene->descriptors[k].frame_record_size;
	}
	else
	{
		picker.file = SdOpen(path, false);
		file = picker.file;
		if (file && SdObjectReaderOpen(&picker, name.c_str()))
			index = picker.selected_index;
	}
	if (!file)
	{
		ShowMessage("Could not open SD file %s", path);
		return;
	}
	// Without its object in the file there is no motion to bake; the keys it may have stay.
	if (index < 0)
	{
		SdSceneFree(scene);
		SdObjectReaderClose(&picker);
		return;
	}

	const BaseContainer* bc = mod->GetDataInstance();
	const Int32 start = bc->GetInt32(TW_SD_START), end = bc->GetInt32(TW_SD_END), offset = bc->GetInt32(TW_SD_OFFSET);
	const Bool reverse = bc->GetBool(TW_SD_REVERSE);
	const Float scale = bc->GetFloat(TW_SD_SCALE);
	const Int32 fps = doc->GetFps();
	// Frames whose SD frame lies outside the file, or that cannot be read, are keyed at rest.
	const float rest[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
	for (Int64 f = start; f <= end; ++f)
	{
		const Int64 sd = (reverse ? static_cast<Int64>(end) + start - f : f) - offset;
		const Int64 i = sd - file->first_frame;
		const float* t = rest;
		if (index >= 0 && i >= 0 && i <= static_cast<Int64>(file->last_frame) - file->first_frame)
		{
			const Int64 at = scene ? SdSceneFrameOffset(scene, i) + SD_FRAME_NUMBER_BYTES + record
								   : SdObjectReaderFrameOffset(&picker, i);
			if (at >= 0 && (file->stream || SdReopen(file)) && fseeko(file->stream, static_cast<off_t>(at), SEEK_SET) == 0 &&
				SdReadObjectFrame(file, &file->object_frame))
				t = file->object_frame.transform;
		}
		target->SetMl(SdTransform(t, scale));
		RecordKeys(target, BaseTime(static_cast<Float>(f), static_cast<Float>(fps)));
	}
	SdSceneFree(scene);
	SdObjectReaderClose(&picker);
	target->Message(MSG_UPDATE);
	_baked = true;
}

void TWSDAnim::SdAnimUnbake(BaseObject* mod)
{
	BaseObject* target = BakeTarget(mod);
	BaseDocument* doc = target ? target->GetDocument() : nullptr;
	if (!doc)
		return;
	CopyReaderSettings(mod);
	const BaseContainer* bc = mod->GetDataInstance();
	const Int32 start = bc->GetInt32(TW_SD_START), end = bc->GetInt32(TW_SD_END);
	const Int32 fps = doc->GetFps();
	Int64 removed = 0;
	for (Int32 track : BAKE_TRACKS)
		for (Int32 component : BAKE_COMPONENTS)
		{
			CTrack* tr = target->FindCTrack(TrackID(track, component));
			if (!tr)
				continue;
			CCurve* curve = tr->GetCurve();
			for (Int64 f = start; f <= end; ++f)
			{
				Int32 index = -1;
				if (curve->FindKey(BaseTime(static_cast<Float>(f), static_cast<Float>(fps)), &index) && curve->DelKey(index))
					++removed;
			}
		}
	_baked = false;
	// Without keys to remove the object's placement is the user's own, not the last baked frame.
	if (removed == 0)
		return;
	target->SetMl(Matrix());
	target->Message(MSG_UPDATE);
}

// --- messages and description

Bool TWSDAnim::Message(GeListNode* node, Int32 type, void* data)
{
	BaseObject* mod = static_cast<BaseObject*>(node);
	switch (type)
	{
		case MSG_DESCRIPTION_COMMAND:
		{
			const DescriptionCommand* dc = static_cast<const DescriptionCommand*>(data);
			if (dc && dc->id == TW_SD_BAKE)
				SdAnimBake(mod);
			else if (dc && dc->id == TW_SD_UNBAKE)
				SdAnimUnbake(mod);
			break;
		}
		case MSG_DESCRIPTION_POSTSETPARAMETER:
		{
			// The user chose the object's own file, perhaps the same one again after it was simulated
			// anew: it is opened now and its range read again.
			const DescriptionPostSetValue* du = static_cast<const DescriptionPostSetValue*>(data);
			if (du && du->id == TW_SD_FILE && !ReaderAbove(mod))
				SdAnimOpen(mod, true);
			break;
		}
		case MSG_DESCRIPTION_USERINTERACTION_END:
		{
			// Compared as resolved paths: a relative or $(NAME) file name never equals the path it opens.
			char path[TW_PATH_SIZE];
			const TWSDReader* reader = TWSDReader::Of(_reader);
			if (reader && reader->Scene())
			{
				std::strncpy(path, reader->Scene()->file->path, sizeof(path) - 1);
				path[sizeof(path) - 1] = '\0';
			}
			else
				SdResolveFile(Settings(mod), path);
			if (!_object_reader.file || std::strcmp(path, _open_path) != 0)
				SdAnimOpen(mod);
			// Any other setting may map the current time to another frame.
			_last_frame = -1;
			break;
		}
		case MSG_GETALLASSETS:
		{
			AssetData* assets = static_cast<AssetData*>(data);
			const BaseContainer* bc = mod->GetDataInstance();
			if (!assets || ReaderAbove(mod) || !(assets->flags & ASSETDATA_FLAG_NET) || !bc->GetBool(TW_SD_COLLECT))
				break;
			char path[TW_PATH_SIZE];
			if (ResolveHostPath(bc->GetFilename(TW_SD_FILE), GetActiveDocument(), path) && path[0])
				assets->Add(Filename(path), mod, -1, -1);
			break;
		}
		default: break;
	}
	return true;
}

Bool TWSDAnim::GetDDescription(GeListNode* node, Description* description, Int32& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	flags |= DESCFLAGS_DESC_LOADED;
	return true;
}

Bool TWSDAnim::GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc)
{
	(void)t_data;
	(void)flags;
	(void)itemdesc;
	// Under an SD Reader its settings rule; only the buttons stay the object's own.
	if (ReaderAbove(static_cast<BaseObject*>(node)))
		return id == TW_SD_BAKE || id == TW_SD_UNBAKE;
	return true;
}

Bool RegisterTWSDAnim()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_ANIM);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_SD_ANIM, name, PLUGINFLAG_HIDEPLUGINMENU | OBJECT_MODIFIER, TWSDAnim::Alloc, "TW_SD_Anim", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
