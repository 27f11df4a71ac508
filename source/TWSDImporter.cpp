// TWSDImporter.cpp - the SD scene import command: a camera and a scene of objects from SD files.
#include "TWSDImporter.h"

#include "c4d_symbols.h"
#include "console.h"
#include "main.h"
#include "plugin_ids.h"
#include "remote_frame_sequence.h"
#include "sd_file.h"
#include "sd_pending.h"

#include <cmath>
#include <cstring>
#include <vector>

// The SD Reader's file parameter (its TW_SD_FILE).
static const Int32 SD_READER_FILE = 6001;
// Phong angle of imported objects: 80 degrees.
static const Float SD_PHONG_ANGLE = 1.3962634015954636;

static PendingSdAnim* g_pending_sd_anim = nullptr;

PendingSdAnim* GetPendingSdAnim()
{
	return g_pending_sd_anim;
}

void SetPendingSdAnim(PendingSdAnim* pending)
{
	g_pending_sd_anim = pending;
}

// --- reading helpers

static bool Skip(SdFile* file, int64_t nbytes)
{
	return nbytes <= 0 || fseeko(file->stream, static_cast<off_t>(nbytes), SEEK_CUR) == 0;
}

static BaseTime FrameTime(BaseDocument* doc, int32_t frame)
{
	return BaseTime(static_cast<Float>(frame), static_cast<Float>(doc->GetFps()));
}

// A key at time t on the track of parameter/component, with the value the object has now.
static void RecordKey(BaseObject* op, Int32 param, Int32 component, const BaseTime& t, Float value)
{
	const DescID id(DescLevel(param, DTYPE_VECTOR, 0), DescLevel(component, DTYPE_REAL, 0));
	CTrack* track = op->FindCTrack(id);
	if (!track)
	{
		track = CTrack::Alloc(op, id);
		if (!track)
			return;
		op->InsertTrackSorted(track);
	}
	CCurve* curve = track->GetCurve();
	if (CKey* key = curve->AddKey(t))
		key->SetValue(curve, value);
}

static void RecordPositionAndRotation(BaseObject* op, const BaseTime& t)
{
	const Vector pos = op->GetRelPos();
	const Vector rot = op->GetRelRot();
	RecordKey(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X, t, pos.x);
	RecordKey(op, ID_BASEOBJECT_REL_POSITION, VECTOR_Y, t, pos.y);
	RecordKey(op, ID_BASEOBJECT_REL_POSITION, VECTOR_Z, t, pos.z);
	RecordKey(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_X, t, rot.x);
	RecordKey(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_Y, t, rot.y);
	RecordKey(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_Z, t, rot.z);
}

// --- the preview

void SdPreviewScene(const char* path, String* count_text, String* names_text)
{
	*count_text = String();
	*names_text = String("Invalid SD file format");
	SdFile* file = SdOpen(path, false);
	if (!file)
		return;
	if (!SdReadHeader(file) || file->version != SD_VERSION)
	{
		SdClose(file);
		return;
	}
	std::string names;
	bool whole = true;
	for (int32_t k = 0; k < file->object_count && k < 4; ++k)
	{
		if (!SdReadObjectDescriptor(file, &file->descriptor) || !Skip(file, file->descriptor.geometry_size))
		{
			whole = false;
			break;
		}
		if (k > 0)
			names += ", ";
		names += file->descriptor.name ? file->descriptor.name : "";
	}
	if (whole)
	{
		if (file->object_count > 3)
			names += "...";
		*count_text = String::IntToString(file->object_count);
		*names_text = String(names);
	}
	SdClose(file);
}

// --- time range

void SdExtendTimeRange(BaseDocument* doc, int32_t first_frame, int32_t last_frame)
{
	const Int32 fps = doc->GetFps();
	if (first_frame < doc->GetMinTime().GetFrame(fps))
	{
		doc->SetMinTime(FrameTime(doc, first_frame));
		doc->SetLoopMinTime(FrameTime(doc, first_frame));
	}
	if (last_frame > doc->GetMaxTime().GetFrame(fps))
	{
		doc->SetMaxTime(FrameTime(doc, last_frame));
		doc->SetLoopMaxTime(FrameTime(doc, last_frame));
	}
}

// --- the camera

void SdImportCamera(BaseDocument* doc, const char* path)
{
	SdFile* file = SdOpen(path, false);
	if (!file)
	{
		ShowMessage("Can not open SD file %s", path);
		return;
	}
	if (!SdReadHeader(file))
	{
		PrintConsole("[ERROR] SD file %s: damaged header", path);
		SdClose(file);
		return;
	}
	SdExtendTimeRange(doc, file->first_frame, file->last_frame);

	BaseObject* camera = nullptr;
	if (file->has_camera || file->object_count > 0)
	{
		camera = BaseObject::Alloc(Ocamera);
		if (camera)
		{
			doc->InsertObject(camera, nullptr, nullptr);
			if (file->has_camera)
				camera->SetName("TW_Camera");
		}
	}

	// Bytes of each frame that are not the record the camera is read from: the other objects' records
	// as the file's version stores them, and object 0's vertex positions when it is the camera.
	int64_t skip = 0;
	bool ok = true;
	for (int32_t k = 0; k < file->object_count && ok; ++k)
	{
		SdObjectDescriptor* d = &file->descriptor;
		if (!SdReadObjectDescriptor(file, d))
		{
			ok = false;
			break;
		}
		if (k == 0 && !file->has_camera)
		{
			if (camera)
				camera->SetName(String(d->name ? d->name : ""));
			if (d->type == SD_OBJECT_DEFORMING)
				skip += SD_VERTEX_BYTES * d->vertex_count;
		}
		else
			skip += d->frame_record_size;
		ok = Skip(file, d->geometry_size);
	}
	if (ok && file->has_camera)
	{
		ok = SdReadCameraDescriptor(file) != 0;
		// A field of view outside (0, pi) has no finite, positive focal length; the lens stays.
		const float fov = file->camera.fov;
		if (ok && camera && fov > 0.0f && fov < 3.14159265f)
		{
			const Float aperture = camera->GetDataInstance()->GetFloat(CAMERAOBJECT_APERTURE);
			camera->GetDataInstance()->SetFloat(CAMERA_FOCUS, aperture * 0.5 / std::tan(fov * 0.5f));
		}
	}
	if (!ok)
		PrintConsole("[ERROR] SD file %s: damaged object descriptors", path);

	// One key per frame read whole; a file cut short ends the keys where it ends.
	for (int64_t f = file->first_frame; ok && camera && f <= file->last_frame; ++f)
	{
		if (!SdReadFrameNumber(file))
			break;
		Vector x, y, z, pos;
		if (!file->has_camera)
		{
			if (!SdReadObjectFrame(file, &file->object_frame) || !Skip(file, skip))
				break;
			const float* t = file->object_frame.transform;
			x = -Vector(t[0], t[1], t[2]);
			y = Vector(t[3], t[4], t[5]);
			z = -Vector(t[6], t[7], t[8]);
			pos = Vector(t[9], t[10], t[11]) * 100.0;
		}
		else
		{
			if (!Skip(file, skip) || !SdReadCameraFrame(file))
				break;
			const float* m = file->camera_frame.matrix;
			x = -Vector(m[0], m[1], m[2]);
			y = Vector(m[4], m[5], m[6]);
			z = -Vector(m[8], m[9], m[10]);
			const float* p = file->camera_frame.position;
			pos = Vector(p[0], p[1], p[2]) * 100.0;
		}
		camera->SetMl(Matrix(pos, x, y, z));
		camera->Message(MSG_UPDATE);
		RecordPositionAndRotation(camera, FrameTime(doc, file->frame_number));
	}
	SdClose(file);
}

// --- the scene

// Reads the T face records; corners and texture coordinates (with the file's t) into the arrays.
static bool ReadFaces(SdFile* file, int32_t count, std::vector<int32_t>* corners, std::vector<float>* uvw)
{
	for (int32_t i = 0; i < count; ++i)
	{
		if (!SdReadFace(file))
			return false;
		if (corners)
			corners->insert(corners->end(), file->face.corners, file->face.corners + 3);
		if (uvw)
			uvw->insert(uvw->end(), file->face.uvw, file->face.uvw + 9);
	}
	return true;
}

// A polygon object of the descriptor's geometry, read from the stream; null when the block is damaged,
// a corner names a point the object lacks, or memory runs out (the block is consumed in every case
// that leaves the stream readable).
static PolygonObject* BuildPolygonObject(SdFile* file, const SdObjectDescriptor* d, std::vector<float>* uvw, bool* readable)
{
	const int32_t v = d->vertex_count, t = d->triangle_count;
	std::vector<float> xyz(static_cast<size_t>(v) * 3);
	std::vector<int32_t> corners;
	corners.reserve(static_cast<size_t>(t) * 3);
	*readable = SdReadVertices(file, xyz.data(), v) && ReadFaces(file, t, &corners, uvw);
	if (!*readable)
		return nullptr;
	for (int32_t c : corners)
		if (c < 0 || c >= v)
		{
			PrintConsole("[ERROR] SD object %s: a triangle uses a point it does not have", d->name ? d->name : "");
			return nullptr;
		}
	PolygonObject* poly = PolygonObject::Alloc(v, t);
	if (!poly)
		return nullptr;
	poly->SetName(String(d->name ? d->name : ""));
	Vector* points = poly->GetPointW();
	for (int32_t i = 0; i < v; ++i)
		points[i] = Vector(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]) * 100.0;
	CPolygon* polys = poly->GetPolygonW();
	for (int32_t i = 0; i < t; ++i)
		polys[i] = CPolygon(corners[3 * i], corners[3 * i + 1], corners[3 * i + 2]);
	poly->Message(MSG_UPDATE);
	if (BaseTag* phong = poly->MakeTag(Tphong))
	{
		phong->GetDataInstance()->SetBool(PHONGTAG_PHONG_ANGLELIMIT, true);
		phong->GetDataInstance()->SetFloat(PHONGTAG_PHONG_ANGLE, SD_PHONG_ANGLE);
	}
	return poly;
}

// The material of the descriptor's texture and a texture tag on op that projects it by UVW, then the
// UVW tag of the kept coordinates: corners (u, 1 - t, w), the fourth equal to the third.
static void AddTexture(BaseDocument* doc, BaseObject* op, const SdObjectDescriptor* d, const std::vector<float>& uvw)
{
	if (d->texture_length > 0 && d->texture)
	{
		Material* mat = static_cast<Material*>(BaseMaterial::Alloc(Mmaterial));
		if (mat)
		{
			BaseChannel* color = mat->GetChannel(CHANNEL_COLOR);
			BaseContainer bc = color->GetData();
			bc.SetString(BASECHANNEL_TEXTURE, String(d->texture));
			color->SetData(bc);
			doc->InsertMaterial(mat);
			if (BaseTag* tag = op->MakeTag(Ttexture))
			{
				tag->GetDataInstance()->SetLink(TEXTURETAG_MATERIAL, mat);
				tag->GetDataInstance()->SetInt32(TEXTURETAG_PROJECTION, TEXTURETAG_PROJECTION_UVW);
			}
		}
	}
	const int32_t t = d->triangle_count;
	UVWTag* tag = UVWTag::Alloc(t);
	if (!tag)
	{
		PrintConsole("[ERROR] SD object %s: no memory for its texture coordinates", d->name ? d->name : "");
		return;
	}
	UVWHandle data = tag->GetDataAddressW();
	for (int32_t i = 0; i < t; ++i)
	{
		const float* f = &uvw[static_cast<size_t>(i) * 9];
		const Vector a(f[0], 1.0 - f[1], f[2]), b(f[3], 1.0 - f[4], f[5]), c(f[6], 1.0 - f[7], f[8]);
		UVWTag::Set(data, i, UVWStruct(a, b, c, c));
	}
	BaseTag* last = op->GetFirstTag();
	while (last && last->GetNext())
		last = last->GetNext();
	op->InsertTag(tag, last);
}

// Creates the SD Anim object of target through its command; its Init takes the settings from the slot.
static void HandOver(BaseDocument* doc, BaseObject* target, const SdFile* file, const char* path, bool bake)
{
	PendingSdAnim pending;
	std::memset(&pending, 0, sizeof pending);
	std::strncpy(pending.path, path, sizeof pending.path - 1);
	pending.target = target;
	pending.first_frame = file->first_frame;
	pending.last_frame = file->last_frame;
	pending.bake = bake;
	pending.created = nullptr;
	SetPendingSdAnim(&pending);
	CallCommand(ID_TW_SD_ANIM);
	if (pending.created)
	{
		pending.created->Remove();
		doc->InsertObject(pending.created, target, nullptr);
	}
	SetPendingSdAnim(nullptr);
}

void SdImportScene(BaseDocument* doc, const SdImportSettings& settings)
{
	const char* path = settings.scene_path;
	BaseObject* reader = BaseObject::Alloc(ID_TW_SD_READER);
	if (!reader)
	{
		PrintConsole("[ERROR] SD import: the SD Reader object could not be created");
		return;
	}
	doc->InsertObject(reader, nullptr, nullptr);
	reader->SetName(Filename(path).GetFileString() + String(" Reader"));
	reader->GetDataInstance()->SetFilename(SD_READER_FILE, Filename(path));

	SdFile* file = SdOpen(path, false);
	if (!file)
	{
		ShowMessage("Can not open SD file %s", path);
		return;
	}
	if (!SdReadHeader(file))
	{
		PrintConsole("[ERROR] SD file %s: damaged header", path);
		SdClose(file);
		return;
	}
	SdExtendTimeRange(doc, file->first_frame, file->last_frame);

	for (int32_t k = 0; k < file->object_count; ++k)
	{
		SdObjectDescriptor* d = &file->descriptor;
		if (!SdReadObjectDescriptor(file, d))
		{
			PrintConsole("[ERROR] SD file %s: object %d is damaged; the objects after it are not imported", path, k);
			break;
		}
		const String name(d->name ? d->name : "");
		bool uvw_on = settings.uvw;
		std::vector<float> uvw;
		bool readable = true;
		BaseObject* op = doc->SearchObject(name);
		if (op)
		{
			PolygonObject* poly = op->GetType() == Opolygon ? static_cast<PolygonObject*>(op) : nullptr;
			if (uvw_on && poly && poly->GetPolygonCount() == d->triangle_count)
			{
				uvw.reserve(static_cast<size_t>(d->triangle_count) * 9);
				readable = Skip(file, SD_VERTEX_BYTES * d->vertex_count) && ReadFaces(file, d->triangle_count, nullptr, &uvw);
			}
			else
			{
				if (uvw_on)
					ShowMessage("Can not add UVW tag to %s because it's polygon number do not match the number of "
								"triangles in the SD file.",
						name.c_str());
				uvw_on = false;
				readable = Skip(file, d->geometry_size);
			}
		}
		else if (!settings.create_objects)
		{
			readable = Skip(file, d->geometry_size);
			uvw_on = false;
		}
		else
		{
			if (uvw_on)
				uvw.reserve(static_cast<size_t>(d->triangle_count) * 9);
			op = BuildPolygonObject(file, d, uvw_on ? &uvw : nullptr, &readable);
			if (op)
				doc->InsertObject(op, reader, nullptr);
		}
		if (!readable)
		{
			PrintConsole("[ERROR] SD file %s: the geometry of %s is damaged; the objects after it are not imported", path,
				name.c_str());
			break;
		}
		if (!op)
			continue;
		if (uvw_on)
			AddTexture(doc, op, d, uvw);
		HandOver(doc, op, file, path, settings.bake_keys);
	}
	SdClose(file);
}

// --- the dialog

// A file name field as an 8-bit path; false when it does not fit, which the import refuses rather
// than opening a shortened path.
static bool FieldPath(const GeDialog& dlg, Int32 id, char (&out)[256], String* full)
{
	Filename fn;
	dlg.GetFilename(id, fn);
	*full = fn.GetString();
	return HostPathToBuffer(fn, out);
}

class TWSDImporterDialog : public GeModalDialog
{
public:
	Bool CreateLayout() override { return LoadDialogResource(DLG_TW_SD_IMPORTER, nullptr, 0); }

	Bool InitValues() override
	{
		SetFilename(TW_SDIMP_CAMERA_FILE, Filename());
		SetFilename(TW_SDIMP_SCENE_FILE, Filename());
		SetString(TW_SDIMP_INFO_COUNT, String());
		SetString(TW_SDIMP_INFO_NAMES, String());
		SetBool(TW_SDIMP_CREATE_OBJECTS, true);
		SetBool(TW_SDIMP_UVW, true);
		SetBool(TW_SDIMP_BAKE_KEYS, false);
		return true;
	}

	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		(void)msg;
		switch (id)
		{
			case TW_SDIMP_SCENE_FILE:
			{
				char path[256];
				String full;
				String count, names;
				if (FieldPath(*this, TW_SDIMP_SCENE_FILE, path, &full))
					SdPreviewScene(path, &count, &names);
				else
					names = String("Invalid SD file format");
				SetString(TW_SDIMP_INFO_COUNT, count);
				SetString(TW_SDIMP_INFO_NAMES, names);
				break;
			}
			case TW_SDIMP_OK:
				Import();
				Close(true);
				break;
			case TW_SDIMP_CANCEL:
				Close(false);
				break;
		}
		return true;
	}

private:
	void Import()
	{
		BaseDocument* doc = GetActiveDocument();
		SdImportSettings settings;
		std::memset(&settings, 0, sizeof settings);
		String camera_full, scene_full;
		const bool camera_fits = FieldPath(*this, TW_SDIMP_CAMERA_FILE, settings.camera_path, &camera_full);
		const bool scene_fits = FieldPath(*this, TW_SDIMP_SCENE_FILE, settings.scene_path, &scene_full);
		Bool on = false;
		GetBool(TW_SDIMP_CREATE_OBJECTS, on);
		settings.create_objects = on;
		GetBool(TW_SDIMP_UVW, on);
		settings.uvw = on;
		GetBool(TW_SDIMP_BAKE_KEYS, on);
		settings.bake_keys = on;
		if (camera_full.IsPopulated())
		{
			if (camera_fits)
				SdImportCamera(doc, settings.camera_path);
			else
				ShowPathTooLong();
		}
		if (scene_full.IsPopulated())
		{
			if (scene_fits)
				SdImportScene(doc, settings);
			else
				ShowPathTooLong();
		}
		EventAdd();
	}
};

Bool TWSDImporter::Execute(BaseDocument* doc)
{
	(void)doc;
	TWSDImporterDialog dlg;
	dlg.Open();
	return true;
}

Bool RegisterTWSDImporter()
{
	BaseBitmap* icon = LoadPluginIcon("TW_SD_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_SD_IMPORTER);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		return true;
	}
	Bool ok = RegisterCommandPlugin(ID_TW_SD_IMPORTER, name, 0, icon, String(), new TWSDImporter());
	BaseBitmap::Free(icon);
	return ok;
}
