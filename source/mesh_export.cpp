// mesh_export.cpp - the Mesh Exporter's object list, its walk over the frames and the mesh .bin writer.
#include "mesh_export.h"

#include "TW_Mesh_Importer.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_build.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace
{

bool Exportable(const BaseObject* op)
{
	return op && (op->GetType() == Opolygon || op->GetType() == TW_Mesh_Importer);
}

void CollectObjects(BaseDocument* doc, BaseObject* op, std::vector<BaseObject*>& out)
{
	for (; op; op = op->GetNext())
	{
		if (Exportable(op))
			out.push_back(op);
		else if (op->GetType() == Oinstance)
		{
			BaseObject* target = static_cast<BaseObject*>(op->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK, doc));
			if (Exportable(target))
				out.push_back(target);
		}
		CollectObjects(doc, op->GetDown(), out);
	}
}

bool StartsWith(const String& text, const char* prefix)
{
	return text.Get().compare(0, std::strlen(prefix), prefix) == 0;
}

// The tags a frame reads, found in one walk over the mesh's tags.
struct FrameTags
{
	std::vector<const VertexMapTag*> weights; // in tag order
	const VertexMapTag* speed[3] = {};
	const UVWTag* uvw = nullptr;
};

FrameTags FindTags(const PolygonObject* mesh)
{
	FrameTags tags;
	for (const BaseTag* tag = mesh->GetFirstTag(); tag; tag = tag->GetNext())
	{
		if (tag->GetType() == Tuvw)
		{
			if (!tags.uvw)
				tags.uvw = static_cast<const UVWTag*>(tag);
			continue;
		}
		if (tag->GetType() != Tvertexmap)
			continue;
		const VertexMapTag* map = static_cast<const VertexMapTag*>(tag);
		const String name = tag->GetName();
		if (StartsWith(name, "TW_Mesh_Weight") || StartsWith(name, "weight_"))
			tags.weights.push_back(map);
		for (Int32 axis = 0; axis < 3; ++axis)
			if (!tags.speed[axis] && name.Get() == TW_MESH_SPEED_XYZ[axis])
				tags.speed[axis] = map;
	}
	return tags;
}

// Values of a map, and how many there are; a map shorter than the mesh gives 0 beyond its end.
struct MapValues
{
	const Float32* values = nullptr;
	Int32 count = 0;

	explicit MapValues(const VertexMapTag* map = nullptr)
	{
		if (map && map->GetDataAddressR())
		{
			values = map->GetDataAddressR();
			count = map->GetDataCount();
		}
	}
	Float32 At(Int32 i) const { return i < count ? values[i] : 0.0f; }
};

// A face that names a point the mesh does not have would be refused by every reader, or read past the
// points by an older one: such a mesh is not written.
bool CheckCorners(const CPolygon* polygons, Int32 polygon_count, Int32 point_count, char (&reason)[256])
{
	const UInt32 limit = static_cast<UInt32>(point_count);
	for (Int32 p = 0; p < polygon_count; ++p)
	{
		const CPolygon& q = polygons[p];
		if (static_cast<UInt32>(q.a) >= limit || static_cast<UInt32>(q.b) >= limit || static_cast<UInt32>(q.c) >= limit ||
			static_cast<UInt32>(q.d) >= limit)
		{
			std::snprintf(reason, sizeof reason, "polygon %d refers to a point outside the mesh's %d points", static_cast<int>(p),
				static_cast<int>(point_count));
			return false;
		}
	}
	return true;
}

void FillVertices(MeshBinFile* file, const PolygonObject* mesh, const MeshExportOptions& options, const FrameTags& tags,
	const MeshNextPositions& next, Int32 fps)
{
	const Int32 point_count = mesh->GetPointCount();
	const Vector* points = mesh->GetPointR();
	MeshVertex* vertices = file->vertices;
	const Int32 stored_weights = options.texture ? file->weight_count - 1 : 0;
	std::vector<MapValues> weights;
	for (Int32 k = 0; k < stored_weights; ++k)
		weights.emplace_back(tags.weights[static_cast<size_t>(k)]);
	const MapValues speed[3] = {MapValues(tags.speed[0]), MapValues(tags.speed[1]), MapValues(tags.speed[2])};
	// Points the next frame also has get the motion over one frame's time; the others their speed maps.
	Int32 computed = 0;
	if (options.velocity && options.compute_velocity)
		computed = static_cast<Int32>(next.size() / 3) < point_count ? static_cast<Int32>(next.size() / 3) : point_count;
	const Float per_second = static_cast<Float>(fps);
	for (Int32 i = 0; i < point_count; ++i)
	{
		MeshVertex& v = vertices[i];
		v.position[0] = static_cast<float>(points[i].x * 0.01);
		v.position[1] = static_cast<float>(points[i].y * 0.01);
		v.position[2] = static_cast<float>(points[i].z * 0.01);
		for (Int32 k = 0; k < stored_weights; ++k)
			v.weights[k] = weights[static_cast<size_t>(k)].At(i);
		if (!options.velocity)
			continue;
		if (i < computed)
			for (Int32 c = 0; c < 3; ++c)
				v.velocity[c] = static_cast<float>((static_cast<Float>(next[3 * i + c]) - static_cast<Float>(v.position[c])) * per_second);
		else
			for (Int32 c = 0; c < 3; ++c)
				v.velocity[c] = speed[c].At(i);
	}
}

void StoreCorner(MeshVertex* vertices, Int32 point, const Vector& uvw)
{
	float* t = vertices[point].texture;
	t[0] = static_cast<float>(uvw.x);
	t[1] = static_cast<float>(1.0 - uvw.y);
	t[2] = static_cast<float>(uvw.z);
}

void FillFaces(MeshBinFile* file, const PolygonObject* mesh, const MeshExportOptions& options, const FrameTags& tags)
{
	const Int32 polygon_count = mesh->GetPolygonCount();
	const CPolygon* polygons = mesh->GetPolygonR();
	const UVWStruct* uvw = nullptr;
	Int32 uvw_count = 0;
	if (options.texture && tags.uvw && tags.uvw->GetDataAddressR())
	{
		uvw = static_cast<const UVWStruct*>(tags.uvw->GetDataAddressR());
		uvw_count = tags.uvw->GetDataCount();
	}
	MeshFace* face = file->faces;
	MeshVertex* vertices = file->vertices;
	for (Int32 p = 0; p < polygon_count; ++p)
	{
		const CPolygon& q = polygons[p];
		*face++ = MeshFace{{static_cast<uint32_t>(q.a), static_cast<uint32_t>(q.b), static_cast<uint32_t>(q.c)}};
		const bool quad = q.c != q.d;
		if (quad)
			*face++ = MeshFace{{static_cast<uint32_t>(q.a), static_cast<uint32_t>(q.c), static_cast<uint32_t>(q.d)}};
		// a tag with fewer entries than polygons leaves the rest at 0
		if (p < uvw_count)
		{
			const UVWStruct& t = uvw[p];
			StoreCorner(vertices, q.a, t.a);
			StoreCorner(vertices, q.b, t.b);
			StoreCorner(vertices, q.c, t.c);
			if (quad)
				StoreCorner(vertices, q.d, t.d);
		}
	}
}

// Counts the objects named `name` before `target` in hierarchy order; true once the target is reached.
bool CountNamesakes(const BaseObject* op, const BaseObject* target, const String& name, Int32& count)
{
	for (; op; op = op->GetNext())
	{
		if (op == target)
			return true;
		if (op->GetName() == name)
			++count;
		if (CountNamesakes(op->GetDown(), target, name, count))
			return true;
	}
	return false;
}

// The object named `name` that has n namesakes before it in hierarchy order, or null.
const BaseObject* NthNamesake(const BaseObject* op, const String& name, Int32& n)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetName() == name && n-- == 0)
			return op;
		if (const BaseObject* found = NthNamesake(op->GetDown(), name, n))
			return found;
	}
	return nullptr;
}

BaseTime FrameTime(Float frame, Int32 fps)
{
	return BaseTime(frame, static_cast<Float>(fps));
}

void Evaluate(BaseDocument* doc, const BaseTime& time)
{
	doc->SetTime(time);
	doc->ExecutePasses(nullptr, true, true, true, 0);
}

} // namespace

std::vector<BaseObject*> MeshExportObjects(BaseDocument* doc)
{
	std::vector<BaseObject*> objects;
	if (doc)
		CollectObjects(doc, doc->GetFirstObject(), objects);
	return objects;
}

MeshExportSource::MeshExportSource(BaseDocument* doc, BaseObject* op)
{
	if (!op)
		return;
	if (op->GetType() == TW_Mesh_Importer)
	{
		const BaseObject* built = static_cast<const BaseObject*>(op->GetDataInstance()->GetVoid(TW_MI_BUILT_OBJECT));
		if (built && built->GetType() == Opolygon)
			_mesh = static_cast<const PolygonObject*>(built);
		return;
	}
	// The copy shows the object as evaluated: deformed, and under the same name. Of several objects of
	// that name, the one in the same place among them, not just the first.
	_copy = doc->Polygonize();
	const String name = op->GetName();
	Int32 before = 0;
	if (!CountNamesakes(doc->GetFirstObject(), op, name, before))
		before = 0;
	const BaseObject* found = _copy ? NthNamesake(_copy->GetFirstObject(), name, before) : nullptr;
	if (!found && _copy)
		found = _copy->SearchObject(name);
	if (found && found->GetType() == Opolygon)
		_mesh = static_cast<const PolygonObject*>(found);
	else if (op->GetType() == Opolygon)
		_mesh = static_cast<const PolygonObject*>(op);
}

MeshExportSource::~MeshExportSource()
{
	if (_copy)
		BaseDocument::Free(_copy);
}

void MeshExportNextPositions(const PolygonObject* mesh, MeshNextPositions& out)
{
	out.clear();
	if (!mesh || !mesh->GetPointR())
		return;
	const Int32 n = mesh->GetPointCount();
	const Vector* points = mesh->GetPointR();
	out.resize(static_cast<size_t>(n) * 3);
	for (Int32 i = 0; i < n; ++i)
	{
		out[3 * i] = static_cast<Float32>(points[i].x * 0.01);
		out[3 * i + 1] = static_cast<Float32>(points[i].y * 0.01);
		out[3 * i + 2] = static_cast<Float32>(points[i].z * 0.01);
	}
}

MeshExportWriter::~MeshExportWriter()
{
	MeshBinFree(_spare);
}

Bool MeshExportWriter::Write(const PolygonObject* mesh, const MeshExportOptions& options, const MeshNextPositions& next,
	Int32 fps, const char* path, char (&reason)[256])
{
	reason[0] = 0;
	const Int32 point_count = mesh->GetPointR() ? mesh->GetPointCount() : 0;
	const Int32 polygon_count = mesh->GetPolygonR() ? mesh->GetPolygonCount() : 0;
	const CPolygon* polygons = mesh->GetPolygonR();
	if (!CheckCorners(polygons, polygon_count, point_count, reason))
		return false;
	Int64 face_count = polygon_count;
	for (Int32 p = 0; p < polygon_count; ++p)
		face_count += polygons[p].c != polygons[p].d;
	if (face_count > INT32_MAX / 3)
	{
		std::snprintf(reason, sizeof reason, "the mesh has more triangles than a file can hold");
		return false;
	}
	const FrameTags tags = FindTags(mesh);
	const Int32 weight_count = tags.weights.empty() ? 1 : static_cast<Int32>(tags.weights.size());

	if (std::strlen(path) >= static_cast<size_t>(TW_RECORD_PATH_SIZE))
	{
		std::snprintf(reason, sizeof reason, "the path is longer than %d bytes", TW_RECORD_PATH_SIZE - 1);
		return false;
	}
	errno = 0;
	MeshBinFile* file = MeshBinCreate(path);
	if (!file)
	{
		std::snprintf(reason, sizeof reason, "cannot create the file (%s)", errno ? std::strerror(errno) : "out of memory");
		return false;
	}
	if (_spare)
	{
		// The last frame's arrays: memory already mapped, instead of fresh pages for every frame.
		std::swap(file->vertices, _spare->vertices);
		std::swap(file->vertex_capacity, _spare->vertex_capacity);
		std::swap(file->faces, _spare->faces);
		std::swap(file->face_capacity, _spare->face_capacity);
		std::swap(file->weight_values, _spare->weight_values);
		std::swap(file->weight_capacity, _spare->weight_capacity);
		MeshBinFree(_spare);
		_spare = nullptr;
	}
	if (!MeshBinAllocate(file, point_count, static_cast<Int32>(face_count), weight_count, options.texture, options.velocity))
	{
		MeshBinFree(file);
		RemovePartialFile(path);
		std::snprintf(reason, sizeof reason, "out of memory");
		return false;
	}
	FillVertices(file, mesh, options, tags, next, fps);
	FillFaces(file, mesh, options, tags);
	const int written = MeshBinWrite(file);
	if (!written)
	{
		MeshBinFree(file);
		RemovePartialFile(path);
		std::snprintf(reason, sizeof reason, "the file could not be written completely");
		return false;
	}
	_spare = file;
	return true;
}

void MeshExportRun(BaseDocument* doc, BaseObject* op, const MeshExportOptions& options, const ExportFileNames& names,
	const std::function<void(const String&)>& status, ExportFailures& failures)
{
	const BaseTime saved = doc->GetTime();
	const Int32 fps = doc->GetFps();
	const bool computed = options.velocity && options.compute_velocity;
	if (options.first_frame > options.last_frame)
	{
		doc->SetTime(saved);
		status(String("Ready"));
		return;
	}
	Int32 tried = 0;
	MeshNextPositions next;
	MeshExportWriter writer;
	char text[64];
	char path[600];
	char reason[256];
	// a step below 1 would never reach the last frame
	for (Int32 frame = options.first_frame; options.step > 0 && frame <= options.last_frame;)
	{
		std::snprintf(text, sizeof text, "Export frame %d", static_cast<int>(frame));
		status(String(text));
		next.clear();
		if (computed)
		{
			Evaluate(doc, FrameTime(static_cast<Float>(frame) + 1.0, fps));
			const MeshExportSource ahead(doc, op);
			MeshExportNextPositions(ahead.Mesh(), next);
		}
		Evaluate(doc, FrameTime(static_cast<Float>(frame), fps));
		const MeshExportSource source(doc, op);
		names.PathOf(frame, path);
		++tried;
		if (!source.Mesh())
			failures.Failed(frame, path, "the object has no mesh at this frame");
		else if (!writer.Write(source.Mesh(), options, next, fps, path, reason))
			failures.Failed(frame, path, reason);
		if (frame > INT32_MAX - options.step)
			break;
		frame += options.step;
	}
	Evaluate(doc, saved);
	status(failures.Status(tried));
}
