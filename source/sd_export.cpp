// sd_export.cpp - the SD Exporter's candidates and its run: header, descriptors, geometry, camera, frames.
#include "sd_export.h"

#include "c4d_camera.h"
#include "c4d_material.h"
#include "console.h"
#include "export_frames.h"
#include "plugin_ids.h"
#include "sd_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

Int32 SdExportHash(const char* text, size_t length)
{
	uint32_t h = 0;
	for (size_t i = 0; i < length; ++i)
		h = h * 101u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])));
	return static_cast<Int32>(h);
}

std::string SdIdentityText(const BaseObject* op)
{
	std::string text = op->GetName().Get();
	for (const BaseObject* p = op->GetPred(); p; p = p->GetPred())
		text += "|" + p->GetName().Get();
	for (const BaseObject* u = op->GetUp(); u; u = u->GetUp())
		text += "|" + u->GetName().Get();
	return text;
}

namespace
{

// Text cut to at most max bytes, never inside a character of its 8-bit (UTF-8) form.
std::string Cut(const std::string& text, size_t max)
{
	if (text.size() <= max)
		return text;
	size_t n = max;
	while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
		--n;
	return text.substr(0, n);
}

bool IsMeshImporter(const BaseObject* op)
{
	return op->GetType() == ID_TW_MESH_IMPORTER;
}

// The points and polygons an object brings: its own, or those of the object a Mesh Importer built.
const PolygonObject* MeshOf(const BaseObject* op)
{
	if (op->GetType() == Opolygon)
		return static_cast<const PolygonObject*>(op);
	if (IsMeshImporter(op))
	{
		const BaseObject* cache = op->GetCache();
		if (cache && cache->GetType() == Opolygon)
			return static_cast<const PolygonObject*>(cache);
	}
	return nullptr;
}

// The object of the live document at op's place in the copy: names matched level by level from the top.
const BaseObject* LiveCounterpart(const BaseObject* op, BaseDocument* live)
{
	std::vector<const BaseObject*> path;
	for (const BaseObject* o = op; o; o = o->GetUp())
		path.push_back(o);
	const BaseObject* level = live->GetFirstObject();
	const BaseObject* found = nullptr;
	for (auto it = path.rbegin(); it != path.rend(); ++it)
	{
		const String& name = (*it)->GetName();
		found = nullptr;
		for (const BaseObject* o = level; o; o = o->GetNext())
			if (o->GetName() == name)
			{
				found = o;
				break;
			}
		if (!found)
			return nullptr;
		level = found->GetDown();
	}
	return found;
}

// The polygon objects below head, depth first, each with its position in head's space (translation only).
void CollectMembers(const BaseObject* op, const Vector& offset, std::vector<std::pair<const PolygonObject*, Vector>>& out)
{
	for (; op; op = op->GetNext())
	{
		const Vector at = offset + op->GetRelPos();
		if (op->GetType() == Opolygon)
			out.emplace_back(static_cast<const PolygonObject*>(op), at);
		CollectMembers(op->GetDown(), at, out);
	}
}

void Collect(const BaseObject* op, BaseDocument* live, std::vector<SdExportEntry>& out)
{
	for (; op; op = op->GetNext())
	{
		SdExportEntry entry;
		if (op->GetType() == Opolygon || IsMeshImporter(op))
			entry.object = op;
		else if (op->GetType() == Onull)
		{
			const BaseObject* behind = LiveCounterpart(op, live);
			if (behind && (behind->GetType() == Opolygon || IsMeshImporter(behind)))
				entry.object = behind;
			else if (behind && behind->GetType() == Opolygongroup)
			{
				entry.object = op;
				entry.group = true;
				CollectMembers(op->GetDown(), Vector(), entry.members);
			}
		}
		if (entry.object)
		{
			entry.name = entry.object->GetName().Get();
			out.push_back(std::move(entry));
		}
		Collect(op->GetDown(), live, out);
	}
}

// Calls f(point) for every point of the entry, in order; a template so that the per-point call of the
// frame loop is inlined (a vertex-mode object writes every point of every frame).
template <typename F>
void VisitPoints(const SdExportEntry& e, const F& f)
{
	if (!e.group)
	{
		if (const PolygonObject* mesh = MeshOf(e.object))
		{
			const Vector* p = mesh->GetPointR();
			const Int32 n = mesh->GetPointCount();
			for (Int32 i = 0; i < n; ++i)
				f(p[i]);
		}
		return;
	}
	for (const auto& m : e.members)
	{
		const Vector* p = m.first->GetPointR();
		const Int32 n = m.first->GetPointCount();
		for (Int32 i = 0; i < n; ++i)
			f(p[i] + m.second);
	}
}

double Seconds(std::chrono::steady_clock::time_point since)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

// --- entries

Int32 SdExportEntry::PointCount() const
{
	if (!group)
	{
		const PolygonObject* mesh = MeshOf(object);
		return mesh ? mesh->GetPointCount() : 0;
	}
	int64_t n = 0;
	for (const auto& m : members)
		n += m.first->GetPointCount();
	return static_cast<Int32>(std::min<int64_t>(n, INT32_MAX));
}

Int32 SdExportEntry::PolygonCount() const
{
	if (!group)
	{
		const PolygonObject* mesh = MeshOf(object);
		return mesh ? mesh->GetPolygonCount() : 0;
	}
	int64_t n = 0;
	for (const auto& m : members)
		n += m.first->GetPolygonCount();
	return static_cast<Int32>(std::min<int64_t>(n, INT32_MAX));
}

void SdExportEntry::EachPoint(const std::function<void(const Vector&)>& f) const
{
	VisitPoints(*this, f);
}

void SdExportEntry::EachPolygon(const std::function<void(const CPolygon&)>& f) const
{
	if (!group)
	{
		if (const PolygonObject* mesh = MeshOf(object))
		{
			const CPolygon* p = mesh->GetPolygonR();
			for (Int32 i = 0; i < mesh->GetPolygonCount(); ++i)
				f(p[i]);
		}
		return;
	}
	Int32 base = 0;
	for (const auto& m : members)
	{
		const CPolygon* p = m.first->GetPolygonR();
		for (Int32 i = 0; i < m.first->GetPolygonCount(); ++i)
			f(CPolygon(p[i].a + base, p[i].b + base, p[i].c + base, p[i].d + base));
		base += m.first->GetPointCount();
	}
}

// --- candidates

SdExportCandidates::SdExportCandidates(BaseDocument* doc)
{
	if (!doc)
		return;
	_copy = doc->Polygonize();
	if (!_copy)
		return;
	Collect(_copy->GetFirstObject(), doc, _entries);
	std::map<std::string, Int32> seen;
	for (SdExportEntry& e : _entries)
	{
		const std::string name = Cut(e.name, TW_SDEXP_NAME_MAX);
		const Int32 earlier = seen[name]++;
		if (earlier == 0)
			e.name = name;
		else
		{
			// the number is kept whole: a long name gives way to it, so that the names stay apart
			char suffix[24];
			std::snprintf(suffix, sizeof suffix, " {%d}", earlier);
			e.name = Cut(name, TW_SDEXP_NAME_MAX - std::strlen(suffix)) + suffix;
		}
		e.row_id = SdExportHash(e.name);
		e.identity = SdExportHash(SdIdentityText(e.object));
	}
}

SdExportCandidates::~SdExportCandidates()
{
	BaseDocument::Free(_copy);
}

const SdExportEntry* SdExportCandidates::FindRow(Int32 row_id) const
{
	for (const SdExportEntry& e : _entries)
		if (e.row_id == row_id)
			return &e;
	return nullptr;
}

const SdExportEntry* SdExportCandidates::Match(Int32 identity, const std::string& name) const
{
	const SdExportEntry* only = nullptr;
	Int32 count = 0;
	for (const SdExportEntry& e : _entries)
		if (e.identity == identity)
		{
			if (e.name == name)
				return &e;
			only = &e;
			++count;
		}
	return count == 1 ? only : nullptr;
}

// --- what the dialog offers

std::vector<BaseObject*> SdExportCameras(BaseDocument* doc)
{
	std::vector<BaseObject*> out;
	std::function<void(BaseObject*)> walk = [&](BaseObject* op) {
		for (; op; op = op->GetNext())
		{
			if (op->GetType() == Ocamera)
				out.push_back(op);
			walk(op->GetDown());
		}
	};
	if (doc)
		walk(doc->GetFirstObject());
	return out;
}

std::string SdExportDefaultPath(BaseDocument* doc)
{
	const std::string folder = doc ? doc->GetDocumentPath().Get() : std::string();
	if (folder.empty())
		return std::string();
	std::string path = folder + "/" + doc->GetDocumentName().Get();
	const size_t dot = path.rfind('.');
	if (dot != std::string::npos)
		path = path.substr(0, dot + 1) + "sd";
	return path;
}

std::string SdExportFixPath(const std::string& typed)
{
	if (typed.size() < 3 || typed.compare(typed.size() - 3, 3, ".sd") != 0)
		return typed + ".sd";
	return typed;
}

// --- the run

namespace
{

// One row of the export list as the run writes it.
struct ExportObject
{
	const SdExportEntry* entry = nullptr;
	std::string name;
	Int32 identity = 0;
	Bool vertex_mode = false;
	Int32 vertex_count = 0;
	Int32 triangle_count = 0;
	std::string texture;
	Bool count_warned = false;
};

Int32 TriangleCount(const SdExportEntry& e)
{
	int64_t n = 0;
	e.EachPolygon([&](const CPolygon& p) { n += p.c != p.d ? 2 : 1; });
	return static_cast<Int32>(std::min<int64_t>(n, INT32_MAX));
}

// The full path of the colour texture of the object's material, or empty.
std::string TexturePath(BaseDocument* doc, const BaseObject* op)
{
	const BaseTag* tag = op->GetTag(Ttexture);
	if (!tag)
		return std::string();
	BaseList2D* link = tag->GetDataInstance()->GetLink(TEXTURETAG_MATERIAL, doc);
	Material* mat = dynamic_cast<Material*>(link);
	if (!mat)
		return std::string();
	const BaseContainer channel = mat->GetChannel(CHANNEL_COLOR)->GetData();
	const String name = channel.GetString(BASECHANNEL_TEXTURE);
	if (!name.IsPopulated())
		return std::string();
	Filename found;
	if (!GenerateTexturePath(doc->GetDocumentPath(), Filename(name), channel.GetFilename(BASECHANNEL_SUGGESTEDFOLDER), &found))
		return std::string();
	return Cut(found.Get(), TW_SDEXP_TEXTURE_MAX);
}

// Writes through one SD file and remembers the first failure, so that nothing after it is taken for written.
class Writer
{
public:
	Writer(SdFile* file, SdExportTimes* times) : _file(file), _times(times) {}

	bool Ok() const { return _ok; }
	// Stops the run for a reason of its own (the first reason stays).
	void Fail(const char* reason)
	{
		if (!_ok)
			return;
		_ok = false;
		std::snprintf(_reason, sizeof _reason, "%s", reason);
	}
	const char* Reason() const { return _reason; }

	bool Put(int (*transfer)(SdFile*), int64_t bytes)
	{
		const auto t = _times ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
		const bool ok = _ok && transfer(_file) != 0;
		if (_times)
			_times->transfer += Seconds(t);
		return Done(ok, bytes);
	}
	bool PutVertices(const std::vector<float>& xyz)
	{
		const auto t = _times ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
		const int64_t count = static_cast<int64_t>(xyz.size() / 3);
		const bool ok = _ok && SdWriteVertices(_file, xyz.data(), count) != 0;
		if (_times)
			_times->transfer += Seconds(t);
		return Done(ok, SD_VERTEX_BYTES * count);
	}
	// Closes the file; false when anything failed or the data did not reach the disk.
	bool Close()
	{
		const int saved = errno;
		errno = 0;
		const auto t = _times ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
		const bool closed = SdClose(_file) != 0;
		if (_times)
		{
			_times->transfer += Seconds(t);
			_times->write += Seconds(t);
		}
		_file = nullptr;
		if (!closed)
			Fail(FailReason());
		errno = saved;
		return _ok;
	}

private:
	bool Done(bool ok, int64_t bytes)
	{
		if (!ok)
			Fail(FailReason());
		if (ok && _times)
			_times->bytes += bytes;
		return _ok;
	}

	static const char* FailReason() { return errno ? std::strerror(errno) : "the file could not be written whole"; }

	SdFile* _file;
	SdExportTimes* _times;
	bool _ok = true;
	char _reason[160] = {};
};

// Status lines embed names: formatted into a bounded buffer, names cut where the buffer ends.
void Status(const std::function<void(const char*)>& status, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Status(const std::function<void(const char*)>& status, const char* format, ...)
{
	if (!status)
		return;
	char text[256];
	va_list args;
	va_start(args, format);
	std::vsnprintf(text, sizeof text, format, args);
	va_end(args);
	status(text);
}

Float Component(const Vector& v, int c)
{
	return c == 0 ? v.x : c == 1 ? v.y : v.z;
}

void PutVector(float (&out)[3], const Vector& v)
{
	out[0] = static_cast<float>(v.x);
	out[1] = static_cast<float>(v.y);
	out[2] = static_cast<float>(v.z);
}

void WriteDescriptor(Writer& w, SdFile* file, const ExportObject& o, std::vector<float>& xyz)
{
	SdObjectDescriptor& d = file->descriptor;
	d.type = o.vertex_mode ? SD_OBJECT_DEFORMING : SD_OBJECT_RIGID;
	PutVector(d.host_vector, o.entry->object->GetRad());
	if (!SdDescriptorSetName(&d, o.name.c_str()) || !SdDescriptorSetTexture(&d, o.texture.c_str()))
	{
		w.Fail("out of memory");
		return;
	}
	d.vertex_count = o.vertex_count;
	d.triangle_count = o.triangle_count;
	w.Put(SdWriteObjectDescriptor, SD_DESCRIPTOR_FIXED_BYTES + d.name_length + d.texture_length);

	xyz.assign(static_cast<size_t>(o.vertex_count) * 3, 0.0f);
	size_t at = 0;
	VisitPoints(*o.entry, [&](const Vector& p) {
		if (at + 3 > xyz.size())
			return;
		xyz[at] = static_cast<float>(p.x * 0.01);
		xyz[at + 1] = static_cast<float>(p.y * 0.01);
		xyz[at + 2] = static_cast<float>(p.z * 0.01);
		at += 3;
	});
	w.PutVertices(xyz);

	const BaseTag* tag = o.entry->object->GetTag(Tuvw);
	const UVWTag* uvw = tag ? static_cast<const UVWTag*>(tag) : nullptr;
	Int32 index = 0;
	SdFace& face = file->face;
	std::memset(&face, 0, sizeof face);
	face.edge_values[0] = face.edge_values[1] = face.edge_values[2] = 1;
	face.face_value = 1;
	auto corner = [&](int k, const Vector& t) {
		face.uvw[3 * k] = static_cast<float>(t.x);
		face.uvw[3 * k + 1] = static_cast<float>(1.0 - t.y);
		face.uvw[3 * k + 2] = static_cast<float>(t.z);
	};
	o.entry->EachPolygon([&](const CPolygon& p) {
		UVWStruct t;
		// a tag with fewer polygons than the object leaves the coordinates of the rest unset
		const bool has_uvw = uvw && index < uvw->GetDataCount();
		if (has_uvw)
			UVWTag::Get(uvw->GetDataAddressR(), index, t);
		std::fill(std::begin(face.uvw), std::end(face.uvw), 0.0f);
		face.corners[0] = p.a, face.corners[1] = p.b, face.corners[2] = p.c;
		if (has_uvw)
			corner(0, t.a), corner(1, t.b), corner(2, t.c);
		w.Put(SdWriteFace, SD_FACE_BYTES);
		if (p.c != p.d)
		{
			std::fill(std::begin(face.uvw), std::end(face.uvw), 0.0f);
			face.corners[0] = p.a, face.corners[1] = p.c, face.corners[2] = p.d;
			if (has_uvw)
				corner(0, t.a), corner(1, t.c), corner(2, t.d);
			w.Put(SdWriteFace, SD_FACE_BYTES);
		}
		++index;
	});
}

void WriteCameraDescriptor(Writer& w, SdFile* file, BaseDocument* doc, const BaseObject* camera)
{
	const BaseContainer* bc = camera->GetDataInstance();
	const BaseContainer* rd = doc->GetActiveRenderData()->GetDataInstance();
	const Float xres = rd->GetFloat(RDATA_XRES), yres = rd->GetFloat(RDATA_YRES);
	// a render size without extent has no aspect: taken as square
	const Float aspect = xres > 0.0 && yres > 0.0 ? xres / yres : 1.0;
	const Float aperture = bc->GetFloat(CAMERAOBJECT_APERTURE), focal = bc->GetFloat(CAMERA_FOCUS);
	SdCameraDescriptor& c = file->camera;
	c.fov = 2.0f * std::atan(static_cast<float>((aperture / aspect) / (2.0 * focal)));
	c.near_clip = bc->GetBool(CAMERAOBJECT_NEAR_CLIPPING_ENABLE) ? static_cast<float>(bc->GetFloat(CAMERAOBJECT_NEAR_CLIPPING) * 0.01)
																 : 0.0001f;
	c.far_clip = bc->GetBool(CAMERAOBJECT_FAR_CLIPPING_ENABLE) ? static_cast<float>(bc->GetFloat(CAMERAOBJECT_FAR_CLIPPING) * 0.01)
															   : 10000.0f;
	PutVector(c.up, camera->GetMg().v2);
	w.Put(SdWriteCameraDescriptor, SD_CAMERA_DESCRIPTOR_BYTES);
}

void WriteObjectFrame(Writer& w, SdFile* file, ExportObject& o, const SdExportEntry& e, Float s, std::vector<float>& xyz)
{
	if (!SdDescriptorSetName(&file->descriptor, o.name.c_str()))
	{
		w.Fail("out of memory");
		return;
	}
	const Matrix g = e.object->GetMg();
	SdObjectFrame& f = file->object_frame;
	float* t = f.transform;
	const Vector axes[4] = {g.v1 * s, g.v2 * s, g.v3 * s, g.off * (0.01 * s)};
	for (int k = 0; k < 4; ++k)
		for (int c = 0; c < 3; ++c)
			t[3 * k + c] = static_cast<float>(Component(axes[k], c));
	PutVector(f.vectors[SD_VECTOR_POSITION], g.off * (0.01 * s));
	PutVector(f.vectors[SD_VECTOR_ROTATION], e.object->GetRelRot());
	PutVector(f.vectors[SD_VECTOR_SCALE], e.object->GetRelScale() * s);
	PutVector(f.vectors[SD_VECTOR_FOURTH], Vector());
	std::memset(f.double_vectors, 0, sizeof f.double_vectors);
	w.Put(SdWriteObjectFrame, SD_OBJECT_FRAME_FIXED_BYTES + file->descriptor.name_length);
	if (!o.vertex_mode)
		return;

	const Float k = 0.01 * s;
	const Vector x = g.v1 * k, y = g.v2 * k, z = g.v3 * k, p0 = g.off * k;
	const size_t want = static_cast<size_t>(o.vertex_count) * 3;
	xyz.resize(want);
	size_t at = 0;
	int64_t seen = 0;
	VisitPoints(e, [&](const Vector& p) {
		++seen;
		if (at + 3 > want)
			return;
		const Vector q = p0 + x * p.x + y * p.y + z * p.z;
		xyz[at] = static_cast<float>(q.x);
		xyz[at + 1] = static_cast<float>(q.y);
		xyz[at + 2] = static_cast<float>(q.z);
		at += 3;
	});
	// Every frame must hold as many points as the descriptor says, or each later record would be read
	// from the wrong place: a changed count is cut, or filled with the object's position.
	if (seen != o.vertex_count && !o.count_warned)
	{
		PrintConsole("[WARNING] SD export: %s has %lld points at this frame instead of %d; the frame's points are cut or "
					 "filled to that count",
			o.name.c_str(), static_cast<long long>(seen), o.vertex_count);
		o.count_warned = true;
	}
	for (; at + 3 <= want; at += 3)
	{
		xyz[at] = static_cast<float>(p0.x);
		xyz[at + 1] = static_cast<float>(p0.y);
		xyz[at + 2] = static_cast<float>(p0.z);
	}
	w.PutVertices(xyz);
}

void WriteCameraFrame(Writer& w, SdFile* file, const BaseObject* camera, Float s)
{
	const Matrix g = camera->GetMg();
	SdCameraFrame& c = file->camera_frame;
	const Vector x = g.v1 * s, y = g.v2 * s, z = g.v3 * s, p = g.off * (0.01 * s);
	const Vector rows[3] = {-x, y, -z};
	for (int r = 0; r < 3; ++r)
	{
		for (int k = 0; k < 3; ++k)
			c.matrix[4 * r + k] = static_cast<float>(Component(rows[r], k));
		c.matrix[4 * r + 3] = static_cast<float>(Component(p, r));
	}
	c.matrix[12] = c.matrix[13] = c.matrix[14] = 0.0f;
	c.matrix[15] = 1.0f;
	PutVector(c.position, p);
	PutVector(c.target, p + z);
	PutVector(c.up, y);
	c.roll = static_cast<float>(-camera->GetRelRot().z * 180.0 / M_PI);
	w.Put(SdWriteCameraFrame, SD_CAMERA_FRAME_BYTES);
}

int32_t ClampToInt32(int64_t v)
{
	return static_cast<int32_t>(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
}

} // namespace

Bool SdExport(BaseDocument* doc, const SdExportSettings& settings, const std::function<void(const char*)>& status,
	SdExportTimes* times)
{
	if (!doc)
		return false;
	const std::vector<BaseObject*> cameras = SdExportCameras(doc);
	if (settings.path.empty())
	{
		ShowMessage("Please set the path of the SD file!");
		return false;
	}
	if (settings.camera_on && (settings.camera < 0 || settings.camera >= static_cast<Int32>(cameras.size())))
	{
		ShowMessage("Please select a camera to export!");
		return false;
	}
	if (!settings.camera_on && settings.rows.empty())
	{
		ShowMessage("Please select an object to export!");
		return false;
	}
	if (settings.step <= 0)
	{
		ShowMessage("Inc frame must be greater than zero!");
		return false;
	}
	const char* path = settings.path.c_str();
	SdFile* file = SdOpen(path, true);
	if (!file)
	{
		ShowMessage("Could not open file to write: %s", path);
		return false;
	}
	const BaseObject* camera = settings.camera_on ? cameras[static_cast<size_t>(settings.camera)] : nullptr;
	// most records are a few dozen bytes: a large buffer hands them to the system in few calls
	std::setvbuf(file->stream, nullptr, _IOFBF, 1 << 20);

	auto clock = std::chrono::steady_clock::now();
	SdExportCandidates prepared(doc);
	std::vector<ExportObject> objects;
	for (const SdExportRow& row : settings.rows)
	{
		const SdExportEntry* e = prepared.FindRow(row.row_id);
		if (!e)
		{
			// the object left the document while the dialog stayed open
			PrintConsole("[WARNING] SD export: an object of the export list is no longer in the document and is left out");
			continue;
		}
		ExportObject o;
		o.entry = e;
		o.name = e->name;
		o.identity = e->identity;
		o.vertex_mode = row.vertex_mode;
		o.vertex_count = e->PointCount();
		o.triangle_count = TriangleCount(*e);
		o.texture = TexturePath(doc, e->object);
		objects.push_back(std::move(o));
	}
	if (times)
		times->evaluate += Seconds(clock);
	clock = std::chrono::steady_clock::now();

	const BaseTime saved_time = doc->GetTime();
	Writer w(file, times);
	Status(status, "Write header");
	const int64_t count = (static_cast<int64_t>(settings.end) - settings.start) / settings.step + 1;
	std::vector<SdObjectDescriptor> sizes(objects.size());
	for (size_t i = 0; i < objects.size(); ++i)
	{
		SdObjectDescriptor& d = sizes[i];
		std::memset(&d, 0, sizeof d);
		d.type = objects[i].vertex_mode ? SD_OBJECT_DEFORMING : SD_OBJECT_RIGID;
		d.name_length = static_cast<int32_t>(objects[i].name.size());
		d.texture_length = static_cast<int32_t>(objects[i].texture.size());
		d.vertex_count = objects[i].vertex_count;
		d.triangle_count = objects[i].triangle_count;
		SdDescriptorSetSizes(&d);
	}
	const int32_t n = static_cast<int32_t>(objects.size());
	SdSetTitle(file, Cut(doc->GetDocumentName().Get(), SD_TITLE_BYTES - 1).c_str());
	file->version = SD_VERSION;
	file->header_size = ClampToInt32(SdFirstFrameOffset(sizes.data(), n, camera != nullptr));
	file->frame_size = ClampToInt32(SdFrameBytes(sizes.data(), n, camera != nullptr));
	file->has_camera = camera ? 1 : 0;
	file->axis_setup = SD_AXIS_SETUP;
	std::memset(file->reserved, 0, sizeof file->reserved);
	file->object_count = n;
	file->first_frame = settings.start;
	file->last_frame = ClampToInt32(settings.start + count - 1);
	w.Put(SdWriteHeader, SD_HEADER_BYTES);

	std::vector<float> xyz;
	for (const ExportObject& o : objects)
	{
		if (!w.Ok())
			break;
		Status(status, "Write %s header", o.name.c_str());
		WriteDescriptor(w, file, o, xyz);
	}
	if (camera && w.Ok())
	{
		Status(status, "Export camera %s", camera->GetName().Get().c_str());
		WriteCameraDescriptor(w, file, doc, camera);
	}
	if (times)
		times->write += Seconds(clock);

	const Int32 fps = doc->GetFps();
	int64_t k = settings.start;
	for (int64_t frame = settings.start; frame <= settings.end && w.Ok(); frame += settings.step, ++k)
	{
		Status(status, "Export frame %d", static_cast<Int32>(frame));
		clock = std::chrono::steady_clock::now();
		file->frame_number = static_cast<int32_t>(k);
		w.Put(SdWriteFrameNumber, SD_FRAME_NUMBER_BYTES);
		EvaluateAt(doc, BaseTime(static_cast<Float>(frame), static_cast<Float>(fps)));
		SdExportCandidates now(doc);
		if (times)
			times->evaluate += Seconds(clock);
		clock = std::chrono::steady_clock::now();
		for (ExportObject& o : objects)
		{
			const SdExportEntry* e = now.Match(o.identity, o.name);
			WriteObjectFrame(w, file, o, e ? *e : *o.entry, settings.scale, xyz);
		}
		if (camera)
			WriteCameraFrame(w, file, camera, settings.scale);
		if (times)
		{
			times->write += Seconds(clock);
			++times->frames;
		}
	}
	const bool written = w.Close();
	EvaluateAt(doc, saved_time);
	if (!written)
	{
		RemovePartialFile(path);
		ShowMessage("Could not write the SD file %s: %s", path, w.Reason());
		Status(status, "[ERROR] The SD file was not written: %s", w.Reason());
		return false;
	}
	Status(status, "Ready");
	return true;
}
