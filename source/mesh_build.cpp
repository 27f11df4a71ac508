// mesh_build.cpp - the polygon object built from a loaded mesh frame, and its motion between frames.
#include "mesh_build.h"

#include "TW_Mesh_Importer.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_md.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* const TW_MESH_UV = "TW_Mesh_UV";
const char* const TW_MESH_SPEED = "TW_Mesh_Speed";
const char* const TW_MESH_SPEED_XYZ[3] = {"TW_Mesh_SpeedX", "TW_Mesh_SpeedY", "TW_Mesh_SpeedZ"};
const char* const TW_MESH_WEIGHT_FORMAT = "TW_Mesh_Weight_%d";

const MdChannelParams TW_MD_CHANNELS[TW_MD_CHANNEL_COUNT] = {
	{MD_VELOCITY, true, TW_MI_MD_VELOCITY_MAGNITUDE, TW_MI_MD_VELOCITY_SCALE},
	{MD_FORCE, true, TW_MI_MD_FORCE_MAGNITUDE, TW_MI_MD_FORCE_SCALE},
	{MD_NORMAL, true, TW_MI_MD_NORMAL_MAGNITUDE, TW_MI_MD_NORMAL_SCALE},
	{MD_NEIGHBORS, false, 0, TW_MI_MD_NEIGHBORS_SCALE},
	{MD_TEXTURE, true, TW_MI_MD_TEXTURE_MAGNITUDE, TW_MI_MD_TEXTURE_SCALE},
	{MD_AGE, false, 0, TW_MI_MD_AGE_SCALE},
	{MD_ISOLATION, false, 0, TW_MI_MD_ISOLATION_SCALE},
	{MD_VISCOSITY, false, 0, TW_MI_MD_VISCOSITY_SCALE},
	{MD_DENSITY, false, 0, TW_MI_MD_DENSITY_SCALE},
	{MD_PRESSURE, false, 0, TW_MI_MD_PRESSURE_SCALE},
	{MD_MASS, false, 0, TW_MI_MD_MASS_SCALE},
	{MD_TEMPERATURE, false, 0, TW_MI_MD_TEMPERATURE_SCALE},
	{MD_VORTICITY, true, TW_MI_MD_VORTICITY_MAGNITUDE, TW_MI_MD_VORTICITY_SCALE},
	{MD_CURVATURE, false, 0, TW_MI_MD_CURVATURE_SCALE},
	{MD_IDENTITY, false, 0, 0},
};

// A file's weight count is bounded only by its size: a small hostile file could ask for millions of
// maps, each a tag on two objects. Real caches carry a handful.
static const Int32 kMaxWeightMaps = 256;

// Phong angle of the built object: 80 degrees.
static const Float kPhongAngle = 1.3962634015954636;

// --- tags

// Inserts the tag after the object's last one, as the host's MakeTag does.
static void AppendTag(BaseObject* op, BaseTag* tag)
{
	BaseTag* last = op->GetFirstTag();
	while (last && last->GetNext())
		last = last->GetNext();
	op->InsertTag(tag, last);
}

static void DeleteTag(BaseObject* op, Int32 type, const String& name)
{
	while (BaseTag* tag = FindTag(op, type, name))
		BaseTag::Free(tag);
}

static VertexMapTag* NewVertexMap(BaseObject* op, const String& name, Int32 count)
{
	VertexMapTag* tag = VertexMapTag::Alloc(count);
	if (!tag)
		return nullptr;
	tag->SetName(name);
	AppendTag(op, tag);
	return tag;
}

// The generator's map of this name, made when it has none, and marked as used by this build.
static void MarkGeneratorMap(BaseObject* generator, const String& name, Int32 count)
{
	BaseTag* tag = FindTag(generator, Tvertexmap, name);
	if (!tag)
		tag = NewVertexMap(generator, name, count);
	if (tag)
		tag->GetDataInstance()->SetBool(TW_VERTEXMAP_MARKER, true);
}

Float32* MakeVertexMapPair(BaseObject* generator, PolygonObject* op, const String& name, Int32 count)
{
	if (generator)
		MarkGeneratorMap(generator, name, count);
	if (!op)
		return nullptr;
	DeleteTag(op, Tvertexmap, name);
	VertexMapTag* tag = NewVertexMap(op, name, count);
	return tag ? tag->GetDataAddressW() : nullptr;
}

static void ClearMarkers(BaseObject* generator)
{
	for (BaseTag* tag = generator->GetFirstTag(); tag; tag = tag->GetNext())
		if (tag->GetType() == Tvertexmap)
			tag->GetDataInstance()->SetBool(TW_VERTEXMAP_MARKER, false);
}

// Every vertex map this build did not make or keep goes, the user's own ones too: the generator
// carries only the placeholders of the maps its object has now.
static void RemoveUnmarked(BaseObject* generator)
{
	BaseTag* tag = generator->GetFirstTag();
	while (tag)
	{
		BaseTag* next = tag->GetNext();
		if (tag->GetType() == Tvertexmap && !tag->GetDataInstance()->GetBool(TW_VERTEXMAP_MARKER))
			BaseTag::Free(tag);
		tag = next;
	}
}

static void AddPhong(PolygonObject* op)
{
	BaseTag* phong = BaseTag::Alloc(Tphong);
	if (!phong)
		return;
	BaseContainer* bc = phong->GetDataInstance();
	bc->SetBool(PHONGTAG_PHONG_ANGLELIMIT, true);
	bc->SetFloat(PHONGTAG_PHONG_ANGLE, kPhongAngle);
	AppendTag(op, phong);
}

// The generator's UVW tag of the build's name (made when it has none) and a new one of face_count
// entries on op replacing any of that name; returns op's corner array, or null when it could not be made.
static UVWStruct* MakeUVWPair(BaseObject* generator, PolygonObject* op, Int32 face_count)
{
	if (!FindTag(generator, Tuvw, TW_MESH_UV))
		if (UVWTag* tag = UVWTag::Alloc(face_count))
		{
			tag->SetName(TW_MESH_UV);
			AppendTag(generator, tag);
		}
	DeleteTag(op, Tuvw, TW_MESH_UV);
	UVWTag* tag = UVWTag::Alloc(face_count);
	if (!tag)
		return nullptr;
	tag->SetName(TW_MESH_UV);
	AppendTag(op, tag);
	return static_cast<UVWStruct*>(tag->GetDataAddressW());
}

// --- mesh .bin and chunked frames

// Points (with a NaN x taking the next valid vertex's position), speed maps and weight maps, in
// one pass over the vertices.
static void WriteVertices(const MeshBinFile* file, Vector* points, Float scale, const Vector& offset, Float32* speed,
	Float32* const* axis, Float32* const* weights, Int32 weight_maps)
{
	const Int32 count = file->vertex_count;
	const MeshVertex* v = file->vertices;
	// Index of the next vertex with a valid x, found once for a whole run of NaN vertices.
	Int32 next_valid = -1;
	for (Int32 i = 0; i < count; ++i)
	{
		Int32 j = i;
		if (std::isnan(v[i].position[0]))
		{
			if (next_valid <= i)
			{
				next_valid = i + 1;
				while (next_valid < count && std::isnan(v[next_valid].position[0]))
					++next_valid;
			}
			if (next_valid < count)
				j = next_valid;
		}
		const float* p = v[j].position;
		points[i] = Vector(p[0] * scale - offset.x, p[1] * scale - offset.y, p[2] * scale - offset.z);
		const float* vel = v[i].velocity;
		if (speed)
			speed[i] = std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
		if (axis[0])
		{
			axis[0][i] = vel[0];
			axis[1][i] = vel[1];
			axis[2][i] = vel[2];
		}
		const float* w = v[i].weights;
		if (w)
			for (Int32 k = 0; k < weight_maps; ++k)
				if (weights[k])
					weights[k][i] = w[k];
	}
}

// The V of a texture triple as the host's: a mesh .bin (and a chunked file) keeps 1 - V, an .md the V itself.
template <bool kFlipV>
static inline double HostV(float v)
{
	return kFlipV ? 1.0 - v : v;
}

#if defined(__SSE2__)
// The UVW array of a large frame is several times the size of the file and is not read again while
// the build runs: streaming stores write it without first fetching every line into the cache.
static bool Streamable(const void* p)
{
	return (reinterpret_cast<uintptr_t>(p) & 15) == 0;
}

static void StreamPolygon(CPolygon* out, const uint32_t* index)
{
	_mm_stream_si128(reinterpret_cast<__m128i*>(out),
		_mm_setr_epi32(static_cast<int>(index[0]), static_cast<int>(index[1]), static_cast<int>(index[2]), static_cast<int>(index[2])));
}

template <bool kFlipV>
static void StreamUVW(UVWStruct* out, const float* ta, const float* tb, const float* tc)
{
	double* d = reinterpret_cast<double*>(out);
	// a, b, c, d: three doubles each, written as six aligned pairs
	_mm_stream_pd(d, _mm_setr_pd(ta[0], HostV<kFlipV>(ta[1])));
	_mm_stream_pd(d + 2, _mm_setr_pd(ta[2], tb[0]));
	_mm_stream_pd(d + 4, _mm_setr_pd(HostV<kFlipV>(tb[1]), tb[2]));
	_mm_stream_pd(d + 6, _mm_setr_pd(tc[0], HostV<kFlipV>(tc[1])));
	_mm_stream_pd(d + 8, _mm_setr_pd(tc[2], tc[0]));
	_mm_stream_pd(d + 10, _mm_setr_pd(HostV<kFlipV>(tc[1]), tc[2]));
}
#endif

// Triangles a, b, c (d = c) and, with uvw, their corners' texture coordinates. Vertex is a record with
// a `texture` triple (MeshVertex or MdVertex).
template <bool kFlipV, typename Vertex>
static void WritePolygons(const MeshFace* faces, Int32 count, const Vertex* v, CPolygon* polygons, UVWStruct* uvw)
{
#if defined(__SSE2__)
	static_assert(sizeof(CPolygon) == 16 && sizeof(UVWStruct) == 12 * sizeof(double), "streamed layouts");
	if (Streamable(polygons) && (!uvw || Streamable(uvw)))
	{
		for (Int32 f = 0; f < count; ++f)
		{
			const uint32_t* index = faces[f].index;
			StreamPolygon(&polygons[f], index);
			if (uvw)
				StreamUVW<kFlipV>(&uvw[f], v[index[0]].texture, v[index[1]].texture, v[index[2]].texture);
		}
		_mm_sfence();
		return;
	}
#endif
	for (Int32 f = 0; f < count; ++f)
	{
		const uint32_t* index = faces[f].index;
		polygons[f] = CPolygon(static_cast<Int32>(index[0]), static_cast<Int32>(index[1]), static_cast<Int32>(index[2]));
		if (!uvw)
			continue;
		const float* ta = v[index[0]].texture;
		const float* tb = v[index[1]].texture;
		const float* tc = v[index[2]].texture;
		UVWStruct& out = uvw[f];
		out.a = Vector(ta[0], HostV<kFlipV>(ta[1]), ta[2]);
		out.b = Vector(tb[0], HostV<kFlipV>(tb[1]), tb[2]);
		out.c = Vector(tc[0], HostV<kFlipV>(tc[1]), tc[2]);
		out.d = out.c;
	}
}

static void BuildBin(const MeshBinFile* file, BaseObject* generator, PolygonObject* op, Float scale, const Vector& offset)
{
	const BaseContainer* bc = generator->GetDataInstance();
	const Int32 vertex_count = file->vertex_count;
	const Int32 face_count = file->kept_face_count;

	Float32* speed = nullptr;
	Float32* axis[3] = {nullptr, nullptr, nullptr};
	if (bc->GetBool(TW_MI_SPEED_MAPS, true) && file->velocity_marker == MESH_BIN_VELOCITY_MARKER)
	{
		if (bc->GetBool(TW_MI_SPEED_MAGNITUDE, false))
			speed = MakeVertexMapPair(generator, op, TW_MESH_SPEED, vertex_count);
		for (int c = 0; c < 3; ++c)
			axis[c] = MakeVertexMapPair(generator, op, TW_MESH_SPEED_XYZ[c], vertex_count);
		if (!axis[0] || !axis[1] || !axis[2])
			axis[0] = axis[1] = axis[2] = nullptr;
	}

	UVWStruct* uvw = nullptr;
	if (bc->GetBool(TW_MI_UVW, true) && file->texture_marker == MESH_BIN_TEXTURE_MARKER)
		uvw = MakeUVWPair(generator, op, face_count);
	else
		DeleteTag(generator, Tuvw, TW_MESH_UV);

	Int32 weight_maps = 0;
	Float32* weights[kMaxWeightMaps];
	if (bc->GetBool(TW_MI_WEIGHT_MAPS, true) && file->weight_count > 1 && vertex_count != 0)
	{
		weight_maps = file->weight_count < kMaxWeightMaps ? file->weight_count : kMaxWeightMaps;
		for (Int32 k = 0; k < weight_maps; ++k)
		{
			char name[64];
			std::snprintf(name, sizeof(name), TW_MESH_WEIGHT_FORMAT, k + 1);
			MarkGeneratorMap(generator, name, vertex_count);
			VertexMapTag* tag = NewVertexMap(op, name, vertex_count);
			weights[k] = tag ? tag->GetDataAddressW() : nullptr;
		}
	}

	WriteVertices(file, op->GetPointW(), scale, offset, speed, axis, weights, weight_maps);
	// The file keeps 1 - V; the host's V is flipped back here.
	WritePolygons<true>(file->faces, face_count, file->vertices, op->GetPolygonW(), uvw);
}

// --- .md frames

// Vertices are walked as floats.
static const size_t kMdStride = sizeof(MdVertex) / sizeof(float);

// The values of one map (or of three axis maps) of one channel.
struct MdMapJob
{
	enum Kind
	{
		SCALAR, // scale x the slot's value
		LENGTH, // the slot vector's length x scale
		AXES, // scale x each component, into three maps
	} kind;
	size_t offset; // of the slot in MdVertex, in floats
	float scale;
	Float32* out[3];
};

// Vertices are walked in blocks small enough to stay in the processor's cache while every map takes its
// values from them: one pass over the frame instead of one per map.
static const Int32 kMdBlock = 2048;

static void RunMdJob(const MdMapJob& job, const MdVertex* vertices, Int32 first, Int32 n)
{
	const float* p = reinterpret_cast<const float*>(vertices + first) + job.offset;
	switch (job.kind)
	{
	case MdMapJob::SCALAR:
	{
		Float32* out = job.out[0] + first;
		for (Int32 i = 0; i < n; ++i, p += kMdStride)
			out[i] = job.scale * *p;
		break;
	}
	case MdMapJob::LENGTH:
	{
		Float32* out = job.out[0] + first;
		for (Int32 i = 0; i < n; ++i, p += kMdStride)
			out[i] = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) * job.scale;
		break;
	}
	case MdMapJob::AXES:
	{
		Float32* x = job.out[0] + first;
		Float32* y = job.out[1] + first;
		Float32* z = job.out[2] + first;
		for (Int32 i = 0; i < n; ++i, p += kMdStride)
		{
			x[i] = job.scale * p[0];
			y[i] = job.scale * p[1];
			z[i] = job.scale * p[2];
		}
		break;
	}
	}
}

// The maps of one channel of the file, named after its name in the file; false when a map could not be
// made (its values are then skipped).
static bool MakeMdMaps(const MdChannel* channel, const MdChannelParams& params, BaseObject* generator,
	PolygonObject* op, Int32 count, MdMapJob* job)
{
	const BaseContainer* bc = generator->GetDataInstance();
	job->offset = static_cast<size_t>(MD_SLOT_FLOAT[params.index]);
	job->scale = params.scale ? static_cast<float>(bc->GetFloat(params.scale, 1.0)) : 1.0f;
	const String name(channel->name);
	if (!params.vector || bc->GetBool(params.magnitude, true))
	{
		job->kind = params.vector ? MdMapJob::LENGTH : MdMapJob::SCALAR;
		job->out[0] = MakeVertexMapPair(generator, op, name, count);
		return job->out[0] != nullptr;
	}
	job->kind = MdMapJob::AXES;
	static const char* const kAxis[3] = {"X", "Y", "Z"};
	for (int c = 0; c < 3; ++c)
		job->out[c] = MakeVertexMapPair(generator, op, name + String(kAxis[c]), count);
	return job->out[0] && job->out[1] && job->out[2];
}

static void BuildMd(const MdMeshFile* file, BaseObject* generator, PolygonObject* op, Float scale, const Vector& offset)
{
	const BaseContainer* bc = generator->GetDataInstance();
	const Int32 vertex_count = file->vertex_count;
	const Int32 face_count = file->kept_face_count;

	// From the last channel to the first, so that the maps stand on the object in that order; the
	// texture channel makes the UVW tag instead.
	MdMapJob jobs[TW_MD_CHANNEL_COUNT];
	Int32 job_count = 0;
	for (Int32 k = TW_MD_CHANNEL_COUNT - 1; vertex_count != 0 && k >= 0; --k)
	{
		const MdChannelParams& params = TW_MD_CHANNELS[k];
		if (params.index == MD_TEXTURE || !bc->GetBool(TW_MI_MD_CHANNEL + params.index, true))
			continue;
		const MdChannel* channel = MdFindChannel(file, static_cast<uint32_t>(params.index));
		if (channel && MakeMdMaps(channel, params, generator, op, vertex_count, &jobs[job_count]))
			++job_count;
	}

	Vector* points = op->GetPointW();
	const MdVertex* v = file->vertices;
	for (Int32 first = 0; first < vertex_count; first += kMdBlock)
	{
		const Int32 n = vertex_count - first < kMdBlock ? vertex_count - first : kMdBlock;
		for (Int32 i = first; i < first + n; ++i)
		{
			const float* p = v[i].position;
			points[i] = Vector(p[0] * scale - offset.x, p[1] * scale - offset.y, p[2] * scale - offset.z);
		}
		for (Int32 j = 0; j < job_count; ++j)
			RunMdJob(jobs[j], v, first, n);
	}

	UVWStruct* uvw = MdFindChannel(file, MD_TEXTURE) ? MakeUVWPair(generator, op, face_count) : nullptr;
	// The .md keeps the host's V as it is.
	WritePolygons<false>(file->faces, face_count, v, op->GetPolygonW(), uvw);
}

// --- the build

PolygonObject* BuildPolygonObject(MeshHandle* handle, BaseObject* generator)
{
	if (!handle || !generator)
		return nullptr;
	const Int32 vertex_count = MeshHandleVertexCount(handle);
	const Int32 face_count = MeshHandleFaceCount(handle);
	PolygonObject* op = PolygonObject::Alloc(vertex_count, face_count);
	if (!op)
		return nullptr;
	op->SetName(generator->GetName());
	const BaseContainer* bc = generator->GetDataInstance();
	const Float scale = bc->GetFloat(TW_MI_SCALE, 1.0) * 100.0;
	const Vector offset = bc->GetVector(TW_MI_POINT_OFFSET);
	ClearMarkers(generator);

	switch (MeshHandleType(handle))
	{
	case CACHE_MESH_BIN:
	case CACHE_MESH_CHUNK:
		// A chunked frame reads into the record of a mesh .bin and builds as one of the same content.
		BuildBin(MeshHandleBinFile(handle), generator, op, scale, offset);
		break;
	case CACHE_MESH_MD: BuildMd(MeshHandleMdFile(handle), generator, op, scale, offset); break;
	default: break;
	}

	RemoveUnmarked(generator);
	op->Message(MSG_UPDATE);
	AddPhong(op);
	return op;
}

// points[i] += velocity of vertex i x f, for a record with a `velocity` triple.
template <typename Vertex>
static void MovePoints(Vector* points, const Vertex* v, Int32 count, Float f)
{
	for (Int32 i = 0; i < count; ++i)
		points[i] += Vector(v[i].velocity[0], v[i].velocity[1], v[i].velocity[2]) * f;
}

void ExtrapolatePoints(MeshHandle* handle, PolygonObject* op, const BaseContainer& generator_data, Float dt_seconds)
{
	if (!handle || !op)
		return;
	const Float f = generator_data.GetFloat(TW_MI_SCALE, 1.0) * (generator_data.GetFloat(TW_MI_MOTION_FACTOR, 1.0) * 100.0) *
		dt_seconds;
	// The object may have been resized since it was built: move only the points the frame has.
	Int32 count = op->GetPointCount();
	if (MeshHandleVertexCount(handle) < count)
		count = MeshHandleVertexCount(handle);
	Vector* points = op->GetPointW();
	if (const MeshBinFile* file = MeshHandleBinFile(handle))
		MovePoints(points, file->vertices, count, f);
	else if (const MdMeshFile* md = MeshHandleMdFile(handle))
		MovePoints(points, md->vertices, count, f);
}
