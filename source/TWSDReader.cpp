// TWSDReader.cpp - SD scene replayed as the timeline moves.
#include "TWSDReader.h"

#include "TW_SD_Reader.h"
#include "cache_types.h"
#include "main.h"
#include "plugin_ids.h"
#include "remote_file.h"
#include "remote_frame_sequence.h"

#include <cmath>
#include <cstring>
#include <string>

// --- shared with the SD Anim object

Int32 SdMapFrame(Int32 start, Int32 end, Int32 offset, Bool reverse, Bool hold, Int64 frame)
{
	if (hold && frame > end)
		frame = end;
	if (frame < start || frame > end)
		return -1;
	// 64-bit: the parameters are the user's and may lie anywhere in the 32-bit range.
	if (reverse)
		frame = static_cast<Int64>(end) + start - frame;
	const Int64 sd = frame - offset;
	return sd >= INT32_MIN && sd <= INT32_MAX ? static_cast<Int32>(sd) : -1;
}

SdTime SdDocumentTime(const BaseDocument* doc)
{
	SdTime t;
	if (!doc)
		return t;
	const BaseTime time = doc->GetTime();
	const Float num = time.GetNumerator(), den = time.GetDenominator();
	t.fps = doc->GetFps();
	t.seconds = den != 0.0 ? num / den : 0.0;
	const Float whole = std::floor(den) != 0.0 ? std::floor(num * t.fps) / std::floor(den) : 0.0;
	t.frame = std::fabs(whole) < 2147483647.0 ? static_cast<Int32>(whole) : 0;
	t.fraction = t.seconds - static_cast<Float>(t.frame) / t.fps;
	return t;
}

Bool SdResolveFile(const BaseList2D* node, char* out)
{
	char resolved[TW_PATH_SIZE];
	out[0] = '\0';
	if (!ResolveHostPath(node->GetDataInstance()->GetFilename(TW_SD_FILE), GetActiveDocument(), resolved))
		return false;
	if (resolved[0])
		FetchFile(resolved, out, true);
	return true;
}

void SdSetRange(BaseList2D* node, const char* path, Int32 first, Int32 last, Bool chosen)
{
	BaseContainer* bc = node->GetDataInstance();
	if (!chosen && bc->GetString(TW_SD_RANGE_FILE) == String(path))
		return;
	bc->SetInt32(TW_SD_START, first);
	bc->SetInt32(TW_SD_END, last);
	bc->SetString(TW_SD_RANGE_FILE, String(path));
}

void SdRefuseFile(BaseList2D* node, const Filename& taken)
{
	ShowPathTooLong();
	node->GetDataInstance()->SetFilename(TW_SD_FILE, taken);
}

// --- the object

TWSDReader::~TWSDReader()
{
	FreeScenes();
}

TWSDReader* TWSDReader::Of(const BaseObject* op)
{
	if (!op || op->GetType() != ID_TW_SD_READER)
		return nullptr;
	return dynamic_cast<TWSDReader*>(op->GetNodeData());
}

void TWSDReader::FreeScenes()
{
	SdSceneFree(_scene);
	SdSceneFree(_next_scene);
	_scene = nullptr;
	_next_scene = nullptr;
	_next_requested = INT64_MIN;
	_blended = false;
	_base_transforms.clear();
	_base_vertices.clear();
	++_generation;
}

Bool TWSDReader::Init(GeListNode* node)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	_node = op;
	FreeScenes();
	_last_frame = -1;
	_last_time = -1.0;
	BaseContainer* bc = op->GetDataInstance();
	bc->SetFilename(TW_SD_FILE, Filename());
	bc->SetInt32(TW_SD_START, 0);
	bc->SetInt32(TW_SD_END, 60);
	bc->SetInt32(TW_SD_OFFSET, 0);
	bc->SetFloat(TW_SD_SCALE, 1.0);
	bc->SetBool(TW_SD_HOLD, false);
	bc->SetBool(TW_SD_DISABLE, false);
	bc->SetBool(TW_SD_REVERSE, false);
	bc->SetInt32(TW_SD_SD_FRAME, -1);
	bc->SetBool(TW_SD_COLLECT, false);
	return true;
}

void TWSDReader::Free(GeListNode* node)
{
	(void)node;
	FreeScenes();
}

void TWSDReader::SdReaderOpen(BaseObject* op, Bool chosen)
{
	char path[TW_PATH_SIZE];
	if (!SdResolveFile(op, path))
	{
		// A path that does not fit names no file: the scene that plays stays.
		if (chosen)
			SdRefuseFile(op, _taken_file);
		return;
	}
	_taken_file = op->GetDataInstance()->GetFilename(TW_SD_FILE);
	// The next frame's reader goes too: it belongs to the old file, and blending from another file's
	// objects would mix data of objects that do not correspond.
	FreeScenes();
	if (!path[0])
		return;
	_last_frame = -1;
	_last_time = -1.0;
	_scene = SdSceneOpen(path);
	if (!_scene)
		return;
	++_openings;
	SdSetRange(op, path, _scene->file->first_frame, _scene->file->last_frame, chosen);
	SdCloseStream(_scene->file);
}

void TWSDReader::KeepFrame()
{
	const Int32 n = _scene->file->object_count;
	_base_transforms.resize(12 * static_cast<size_t>(n));
	_base_vertices.resize(static_cast<size_t>(n));
	for (Int32 k = 0; k < n; ++k)
	{
		std::memcpy(&_base_transforms[12 * static_cast<size_t>(k)], _scene->frames[k].transform, 12 * sizeof(float));
		const SdObjectDescriptor& d = _scene->descriptors[k];
		std::vector<float>& base = _base_vertices[static_cast<size_t>(k)];
		if (d.type == SD_OBJECT_DEFORMING && _scene->vertices[k])
			base.assign(_scene->vertices[k], _scene->vertices[k] + 3 * static_cast<size_t>(d.vertex_count));
		else
			base.clear();
	}
	_blended = false;
}

void TWSDReader::RestoreFrame()
{
	const Int32 n = _scene->file->object_count;
	for (Int32 k = 0; k < n && 12 * static_cast<size_t>(k) < _base_transforms.size(); ++k)
	{
		std::memcpy(_scene->frames[k].transform, &_base_transforms[12 * static_cast<size_t>(k)], 12 * sizeof(float));
		const std::vector<float>& base = _base_vertices[static_cast<size_t>(k)];
		if (!base.empty() && _scene->vertices[k])
			std::memcpy(_scene->vertices[k], base.data(), base.size() * sizeof(float));
	}
	_blended = false;
	++_generation;
}

void TWSDReader::Blend(BaseObject* op, Int32 next, Float fraction, Int32 fps)
{
	if (!_next_scene)
	{
		char path[TW_PATH_SIZE];
		SdResolveFile(op, path);
		_next_scene = path[0] ? SdSceneOpen(path) : nullptr;
		if (!_next_scene)
			return;
		SdCloseStream(_next_scene->file);
		_next_requested = INT64_MIN;
	}
	// Asked by number rather than by the file's frame_number, which a request outside the file leaves
	// at the last frame read and would then take for loaded.
	if (_next_requested != next)
	{
		_next_requested = next;
		SdSceneReadFrame(_next_scene, next);
	}
	if (!_next_scene->valid)
	{
		if (_blended)
			RestoreFrame();
		return;
	}
	const float f = static_cast<float>(fps * fraction);
	const Int32 n = _scene->file->object_count;
	for (Int32 k = 0; k < n; ++k)
	{
		// The second reader opened the file later; an object it sees differently is not blended.
		if (k >= _next_scene->file->object_count)
			break;
		const SdObjectDescriptor& d = _scene->descriptors[k];
		const SdObjectDescriptor& dn = _next_scene->descriptors[k];
		if (d.type != dn.type || d.vertex_count != dn.vertex_count)
			continue;
		if (d.type == SD_OBJECT_DEFORMING)
		{
			const std::vector<float>& base = _base_vertices[static_cast<size_t>(k)];
			float* v = _scene->vertices[k];
			const float* vn = _next_scene->vertices[k];
			if (!v || !vn || base.size() != 3 * static_cast<size_t>(d.vertex_count))
				continue;
			for (size_t i = 0; i < base.size(); ++i)
				v[i] = base[i] + (vn[i] - base[i]) * f;
		}
		else
		{
			const float* base = &_base_transforms[12 * static_cast<size_t>(k)];
			const float* tn = _next_scene->frames[k].transform;
			float* t = _scene->frames[k].transform;
			for (int i = 0; i < 12; ++i)
				t[i] = base[i] + (tn[i] - base[i]) * f;
		}
	}
	_blended = true;
	++_generation;
}

void TWSDReader::SdReaderEvaluate(BaseObject* op, BaseDocument* doc)
{
	const SdTime t = SdDocumentTime(doc);
	if (!_scene)
		SdReaderOpen(op);
	if (!_scene)
		return;
	if (t.seconds != _last_time)
	{
		BaseContainer* bc = op->GetDataInstance();
		const Int32 start = bc->GetInt32(TW_SD_START), end = bc->GetInt32(TW_SD_END), offset = bc->GetInt32(TW_SD_OFFSET);
		const Bool reverse = bc->GetBool(TW_SD_REVERSE), hold = bc->GetBool(TW_SD_HOLD);
		const Int32 sd = SdMapFrame(start, end, offset, reverse, hold, t.frame);
		if (t.frame != _last_frame)
		{
			SdSceneReadFrame(_scene, sd);
			if (_scene->valid)
				KeepFrame();
			++_generation;
		}
		if (_scene->valid)
		{
			if (t.fraction > SD_SUBFRAME_EPSILON)
				Blend(op, SdMapFrame(start, end, offset, reverse, hold, static_cast<Int64>(t.frame) + 1), t.fraction, t.fps);
			else if (_blended)
				RestoreFrame();
		}
		bc->SetInt32(TW_SD_SD_FRAME, _scene->valid ? sd : -1);
	}
	_last_time = t.seconds;
	_last_frame = t.frame;
}

BaseObject* TWSDReader::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
{
	BaseDocument* doc = hh ? hh->GetDocument() : op->GetDocument();
	if (doc)
		SdReaderEvaluate(op, doc);
	return nullptr;
}

Bool TWSDReader::Message(GeListNode* node, Int32 type, void* data)
{
	BaseObject* op = static_cast<BaseObject*>(node);
	switch (type)
	{
		case MSG_DESCRIPTION_COMMAND:
		{
			const DescriptionCommand* dc = static_cast<const DescriptionCommand*>(data);
			if (!dc || (dc->id != TW_SD_BAKE && dc->id != TW_SD_UNBAKE))
				break;
			for (BaseObject* child = op->GetDown(); child; child = child->GetNext())
			{
				BaseObject* anim = child->GetDown();
				if (anim && anim->GetType() == ID_TW_SD_ANIM)
				{
					DescriptionCommand forwarded;
					forwarded.id = dc->id;
					anim->Message(MSG_DESCRIPTION_COMMAND, &forwarded);
				}
			}
			break;
		}
		case MSG_DESCRIPTION_POSTSETPARAMETER:
		{
			const DescriptionPostSetValue* du = static_cast<const DescriptionPostSetValue*>(data);
			if (!du)
				break;
			if (du->id == TW_SD_FILE)
				SdReaderOpen(op, true);
			else if (du->id >= TW_SD_START && du->id <= TW_SD_REVERSE)
			{
				// A new mapping shows another frame at the same time: read it at the next evaluation.
				_last_frame = -1;
				_last_time = -1.0;
			}
			break;
		}
		case MSG_GETALLASSETS:
		{
			AssetData* assets = static_cast<AssetData*>(data);
			if (!assets || !(assets->flags & ASSETDATA_FLAG_NET) || !op->GetDataInstance()->GetBool(TW_SD_COLLECT))
				break;
			char path[TW_PATH_SIZE];
			if (ResolveHostPath(op->GetDataInstance()->GetFilename(TW_SD_FILE), GetActiveDocument(), path) && path[0])
				assets->Add(Filename(path), op, -1, -1);
			break;
		}
		default: break;
	}
	return true;
}

Bool TWSDReader::GetDDescription(GeListNode* node, Description* description, Int32& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	flags |= DESCFLAGS_DESC_LOADED;
	return true;
}

Bool RegisterTWSDReader()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_READER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterObjectPlugin(ID_TW_SD_READER, name, PLUGINFLAG_HIDEPLUGINMENU | OBJECT_GENERATOR, TWSDReader::Alloc, "TW_SD_Reader", icon, 1);
	BaseBitmap::Free(icon);
	return ok;
}
