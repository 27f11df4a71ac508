// mesh_export.cpp - the Mesh Exporter's object list, its walk over the frames and the mesh .bin writer.
#include "mesh_export.h"

#include "TW_Mesh_Importer.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_bin_stream.h"
#include "mesh_build.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

namespace
{

// Waits for the thread on every way out.
struct JoinOnExit
{
	std::thread& thread;
	~JoinOnExit()
	{
		if (thread.joinable())
			thread.join();
	}
};

// Pieces of this size go to the writing thread: the first is written early and system calls stay few.
constexpr int64_t kExportPieceBytes = 1 << 20;
constexpr int32_t kExportPieces = 8;

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

// Faces of the polygons (a quad is two triangles), or -1 with `reason` filled when a polygon names a
// point the mesh does not have: every reader would refuse that file, or an older one read past the
// points, so such a mesh is not written.
Int64 CountFaces(const CPolygon* polygons, Int32 polygon_count, Int32 point_count, char (&reason)[256])
{
	const UInt32 limit = static_cast<UInt32>(point_count);
	Int64 faces = polygon_count;
	for (Int32 p = 0; p < polygon_count; ++p)
	{
		const CPolygon& q = polygons[p];
		if (static_cast<UInt32>(q.a) >= limit || static_cast<UInt32>(q.b) >= limit || static_cast<UInt32>(q.c) >= limit ||
			static_cast<UInt32>(q.d) >= limit)
		{
			std::snprintf(reason, sizeof reason, "polygon %d refers to a point outside the mesh's %d points", static_cast<int>(p),
				static_cast<int>(point_count));
			return -1;
		}
		faces += q.c != q.d;
	}
	return faces;
}

// Little-endian, whatever the machine.
inline void PutU32(unsigned char* p, uint32_t v)
{
	p[0] = static_cast<unsigned char>(v);
	p[1] = static_cast<unsigned char>(v >> 8);
	p[2] = static_cast<unsigned char>(v >> 16);
	p[3] = static_cast<unsigned char>(v >> 24);
}

inline void PutF32(unsigned char* p, float f)
{
	uint32_t u;
	std::memcpy(&u, &f, 4);
	PutU32(p, u);
}

inline void PutFace(unsigned char* p, Int32 a, Int32 b, Int32 c)
{
	// corners in reverse order
	PutU32(p, static_cast<uint32_t>(c));
	PutU32(p + 4, static_cast<uint32_t>(b));
	PutU32(p + 8, static_cast<uint32_t>(a));
}

inline Int64 GivenWords(Int32 point_count)
{
	return (static_cast<Int64>(point_count) + 63) / 64;
}

inline float Metres(Float units)
{
	return static_cast<float>(units * 0.01);
}

// What one frame's file is made of. The host's arrays are looked up on the caller's thread; while the
// frame is written nothing changes them.
struct FrameSource
{
	const Vector* points = nullptr;
	Int32 point_count = 0;
	const CPolygon* polygons = nullptr;
	Int32 polygon_count = 0;
	Int64 face_count = 0;
	const UVWStruct* uvw = nullptr; // the first UVW tag's corners, when the texture block is written
	Int32 uvw_count = 0;
	std::vector<MapValues> weights; // the W - 1 stored weights
	MapValues speed[3];
	const Float32* next = nullptr; // computed velocities for the first `computed` points
	Int32 computed = 0;
	Float per_second = 0.0;
	float* texture = nullptr; // U, W, 1 - V per point; null without corners to take them from
	uint64_t* given = nullptr; // a bit per point: its texture coordinate has been taken
};

// Streams one record of record_bytes per point, in the pieces the stream has room for; put(i, out)
// fills the record of point i.
template <typename Put>
bool StreamPerPoint(MeshBinStream* stream, Int32 point_count, size_t record_bytes, const Put& put)
{
	for (Int32 first = 0; first < point_count;)
	{
		const Int32 n = static_cast<Int32>(MeshBinStreamFit(stream));
		unsigned char* out = MeshBinStreamRecords(stream, n);
		if (!out)
			return false;
		for (Int32 i = first; i < first + n; ++i, out += record_bytes)
			put(i, out);
		first += n;
	}
	return true;
}

bool StreamPositions(MeshBinStream* stream, const FrameSource& src)
{
	return StreamPerPoint(stream, src.point_count, 12, [&](Int32 i, unsigned char* out) {
		PutF32(out, Metres(src.points[i].x));
		PutF32(out + 4, Metres(src.points[i].y));
		PutF32(out + 8, Metres(src.points[i].z));
	});
}

// Faces, a quad (a, b, c, d) as (a, b, c) and (a, c, d).
bool StreamFaces(MeshBinStream* stream, const FrameSource& src)
{
	Int32 p = 0;
	bool carried = false; // the second triangle of a quad that did not fit the last piece
	for (Int64 done = 0; done < src.face_count;)
	{
		const Int64 n = MeshBinStreamFit(stream);
		unsigned char* out = MeshBinStreamRecords(stream, n);
		if (!out)
			return false;
		unsigned char* const end = out + 12 * n;
		if (carried)
		{
			const CPolygon& q = src.polygons[p - 1];
			PutFace(out, q.a, q.c, q.d);
			out += 12;
			carried = false;
		}
		for (; out < end; ++p)
		{
			const CPolygon& q = src.polygons[p];
			PutFace(out, q.a, q.b, q.c);
			out += 12;
			if (q.c == q.d)
				continue;
			if (out < end)
			{
				PutFace(out, q.a, q.c, q.d);
				out += 12;
			}
			else
				carried = true;
		}
		done += n;
	}
	return true;
}

// Takes a corner's texture coordinate for its point unless a later corner already gave one. The mesh
// is checked while this runs: a corner outside it is passed over (and the frame is not written).
inline void TakeCorner(float* texture, uint64_t* given, UInt32 limit, Int32 point, const Vector& uvw)
{
	if (static_cast<UInt32>(point) >= limit)
		return;
	uint64_t& word = given[point >> 6];
	const uint64_t bit = uint64_t(1) << (point & 63);
	if (word & bit)
		return;
	word |= bit;
	float* t = texture + 3 * static_cast<Int64>(point);
	t[0] = static_cast<float>(uvw.x);
	t[1] = static_cast<float>(uvw.z);
	t[2] = static_cast<float>(1.0 - uvw.y);
}

// Each point gets the texture coordinate of its last corner in polygon order (a, b, c, d within a
// polygon). Walking backwards, the first corner met is the one that counts, so each point is converted
// once instead of once per corner; points no corner reaches stay unmarked in `given` and are written
// as 0, as are the corners of polygons beyond a tag shorter than the mesh.
void GatherTexture(const FrameSource& src)
{
	std::memset(src.given, 0, static_cast<size_t>(GivenWords(src.point_count)) * sizeof(uint64_t));
	const Int32 count = src.uvw_count < src.polygon_count ? src.uvw_count : src.polygon_count;
	const UInt32 limit = static_cast<UInt32>(src.point_count);
	for (Int32 p = count - 1; p >= 0; --p)
	{
		const CPolygon& q = src.polygons[p];
		const UVWStruct& t = src.uvw[p];
		if (q.c != q.d)
			TakeCorner(src.texture, src.given, limit, q.d, t.d);
		TakeCorner(src.texture, src.given, limit, q.c, t.c);
		TakeCorner(src.texture, src.given, limit, q.b, t.b);
		TakeCorner(src.texture, src.given, limit, q.a, t.a);
	}
}

bool StreamTexture(MeshBinStream* stream, const FrameSource& src)
{
	const size_t weight_count = src.weights.size();
	return StreamPerPoint(stream, src.point_count, 4 * weight_count + 12, [&](Int32 i, unsigned char* out) {
		for (size_t k = 0; k < weight_count; ++k, out += 4)
			PutF32(out, src.weights[k].At(i));
		if (src.texture && (src.given[i >> 6] >> (i & 63) & 1))
		{
			const float* t = src.texture + 3 * static_cast<Int64>(i);
			PutF32(out, t[0]);
			PutF32(out + 4, t[1]);
			PutF32(out + 8, t[2]);
		}
		else
			std::memset(out, 0, 12);
	});
}

// Points the next frame also has get the motion over one frame's time; the others their speed maps.
bool StreamVelocities(MeshBinStream* stream, const FrameSource& src)
{
	return StreamPerPoint(stream, src.point_count, 12, [&](Int32 i, unsigned char* out) {
		if (i < src.computed)
		{
			const Vector& at = src.points[i];
			const float position[3] = {Metres(at.x), Metres(at.y), Metres(at.z)};
			for (Int32 c = 0; c < 3; ++c)
				PutF32(out + 4 * c,
					static_cast<float>((static_cast<Float>(src.next[3 * i + c]) - static_cast<Float>(position[c])) * src.per_second));
		}
		else
			for (Int32 c = 0; c < 3; ++c)
				PutF32(out + 4 * c, src.speed[c].At(i));
	});
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
	MeshBinStreamFree(_stream);
	std::free(_texture);
}

Bool MeshExportWriter::Write(const PolygonObject* mesh, const MeshExportOptions& options, const MeshNextPositions& next,
	Int32 fps, const char* path, char (&reason)[256])
{
	reason[0] = 0;
	FrameSource src;
	src.points = mesh->GetPointR();
	src.point_count = src.points ? mesh->GetPointCount() : 0;
	src.polygons = mesh->GetPolygonR();
	src.polygon_count = src.polygons ? mesh->GetPolygonCount() : 0;
	const FrameTags tags = FindTags(mesh);
	const Int32 weight_count = tags.weights.empty() ? 1 : static_cast<Int32>(tags.weights.size());
	if (options.texture)
	{
		for (Int32 k = 0; k + 1 < weight_count; ++k)
			src.weights.emplace_back(tags.weights[static_cast<size_t>(k)]);
		if (tags.uvw && tags.uvw->GetDataAddressR())
		{
			src.uvw = static_cast<const UVWStruct*>(tags.uvw->GetDataAddressR());
			src.uvw_count = tags.uvw->GetDataCount();
		}
	}
	if (options.velocity)
	{
		for (Int32 axis = 0; axis < 3; ++axis)
			src.speed[axis] = MapValues(tags.speed[axis]);
		if (options.compute_velocity)
		{
			const Int32 next_count = static_cast<Int32>(next.size() / 3);
			src.next = next.data();
			src.computed = next_count < src.point_count ? next_count : src.point_count;
		}
		src.per_second = static_cast<Float>(fps);
	}
	// corners to take texture coordinates from
	const bool corners = src.uvw_count > 0 && src.polygon_count > 0;
	if (corners && src.point_count > _texture_points)
	{
		std::free(_texture);
		_texture = nullptr;
		_texture_points = 0;
		// the bits, then the coordinates
		const size_t bytes = static_cast<size_t>(GivenWords(src.point_count)) * sizeof(uint64_t) +
			static_cast<size_t>(src.point_count) * 3 * sizeof(float);
		_texture = static_cast<uint64_t*>(std::malloc(bytes));
		if (_texture)
			_texture_points = src.point_count;
	}
	if (corners && _texture)
	{
		src.given = _texture;
		src.texture = reinterpret_cast<float*>(_texture + GivenWords(_texture_points));
	}

	// Three at work: this thread checks the mesh and fills the pieces in file order, the stream's thread
	// writes them, and the texture coordinates (the largest read, 96 bytes per polygon) are gathered
	// beside both, from the start, until the texture block is due. The helper has its own copy of what
	// it reads, and is waited for on every way out.
	std::thread helper;
	const JoinOnExit wait_for_helper{helper};
	if (src.texture)
	{
		try
		{
			helper = std::thread(GatherTexture, src);
		}
		catch (const std::system_error&)
		{
			GatherTexture(src);
		}
	}

	src.face_count = CountFaces(src.polygons, src.polygon_count, src.point_count, reason);
	if (src.face_count < 0)
		return false;
	if (src.face_count > INT32_MAX / 3)
	{
		std::snprintf(reason, sizeof reason, "the mesh has more triangles than a file can hold");
		return false;
	}
	if (std::strlen(path) >= static_cast<size_t>(TW_RECORD_PATH_SIZE))
	{
		std::snprintf(reason, sizeof reason, "the path is longer than %d bytes", TW_RECORD_PATH_SIZE - 1);
		return false;
	}
	if ((corners && !_texture) || (!_stream && !(_stream = MeshBinStreamNew(kExportPieceBytes, kExportPieces))))
	{
		std::snprintf(reason, sizeof reason, "out of memory");
		return false;
	}

	const MeshBinShape shape = {src.point_count, static_cast<int32_t>(src.face_count), weight_count, options.texture != false,
		options.velocity != false};
	errno = 0;
	if (!MeshBinStreamOpen(_stream, path, shape, true))
	{
		std::snprintf(reason, sizeof reason, "cannot create the file (%s)", errno ? std::strerror(errno) : "out of memory");
		return false;
	}
	bool given = StreamPositions(_stream, src) && StreamFaces(_stream, src);
	if (helper.joinable())
		helper.join();
	given = given && (!options.texture || StreamTexture(_stream, src)) && (!options.velocity || StreamVelocities(_stream, src));
	if (!MeshBinStreamFinish(_stream) || !given)
	{
		RemovePartialFile(path);
		std::snprintf(reason, sizeof reason, "the file could not be written completely");
		return false;
	}
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
			EvaluateAt(doc, FrameTime(static_cast<Float>(frame) + 1.0, fps));
			const MeshExportSource ahead(doc, op);
			MeshExportNextPositions(ahead.Mesh(), next);
		}
		EvaluateAt(doc, FrameTime(static_cast<Float>(frame), fps));
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
	EvaluateAt(doc, saved);
	status(failures.Status(tried));
}
