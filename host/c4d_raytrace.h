// c4d_raytrace.h - what a shader and a material see of a render: the render objects, the sample being
// shaded, and the preparation a render hands them.
#pragma once

#include "c4d_container.h"
#include "c4d_polygon.h"

#include <memory>

class BaseObject;
class BaseMaterial;
class BaseTag;
class VolumeData;

// A render object that stands for another object (a render instance): the object it stands for.
struct RayObjectInstanceData
{
	BaseObject* link = nullptr;
	Matrix mg; // where the instance stands
};

// One material applied to a render object, by the texture tag that applies it.
struct TexData
{
	BaseMaterial* mp = nullptr;
	BaseTag* link = nullptr;
};

// One object as the renderer sees it: its polygons and the scene object behind it.
struct RayObject
{
	// The scene object this render object was made from (for a generator's result: the object of the
	// result; for an instance: the object the instance repeats).
	BaseObject* link = nullptr;
	// Set for a render instance: its record names the instance object.
	const RayObjectInstanceData* instance = nullptr;
	Matrix mg; // from the render object's points to global space
	// Points in the render object's own space and polygons (a triangle has c == d); the render instances
	// of one object share its arrays.
	const Vector* padr = nullptr;
	Int32 pcnt = 0;
	const CPolygon* vadr = nullptr;
	Int32 vcnt = 0;
	// Materials in the order of the object's texture tags (inherited ones first); the last one shows.
	TexData** texadr = nullptr;
	Int32 texcnt = 0;
};

// Which polygon of which render object a ray hit; object -1 for none.
struct RayHitID
{
	Int32 object = -1;
	Int32 polygon = -1;
	Int32 GetObjectIndex() const { return object; }
	Int32 GetPolygon() const { return polygon; }
	Bool IsValid() const { return object >= 0 && polygon >= 0; }
};

// A secondary ray a material asks for (through a transparent or reflecting surface).
struct Ray
{
	Vector p, v;
};

// Barycentric weights of a point on a polygon, one per corner a, b, c, d (d is 0 on a triangle).
struct RayPolyWeight
{
	Float wa = 0.0, wb = 0.0, wc = 0.0, wd = 0.0;
};

// What a shader's Output is asked for: the texture coordinate p, the normal, the ray direction, the time
// and the sample (vd, which may be null outside a render).
struct ChannelData
{
	Vector p;
	Vector n;
	Vector d;
	Float t = 0.0;
	Int32 texflag = 0;
	VolumeData* vd = nullptr;
	Float off = 0.0, scale = 0.0;
};

// What a render's preparation hands shaders and materials.
struct InitRenderStruct
{
	BaseDocument* doc = nullptr;
	BaseTime time;
	Int32 fps = 30;
	VolumeData* vd = nullptr; // lists the render objects; null for a preparation outside a render
};

// One sample being shaded: where the ray hit, and what the materials computed for it. The render's
// render objects and lights are reachable through it.
class VolumeData
{
public:
	// A sample of no render (its object list is empty); free it with Free.
	static VolumeData* Alloc();
	static void Free(VolumeData*& vd);
	// Copies the sample and its results into dst (both then see the same render objects).
	void CopyTo(VolumeData* dst) const;

	// The render objects of the render.
	Int32 GetObjCount() const;
	const RayObject* GetObj(Int32 i) const;
	// The weights of point p (global) on the hit polygon's corners; false for a hit of no polygon.
	Bool GetWeights(const RayHitID& hit, const Vector& p, RayPolyWeight* wgt) const;
	// The light reaching p with normal n from the render's lights (a default light from the camera
	// when the scene has none), diffuse only: sum of colour x brightness x max(0, n . l).
	Vector Illuminate(const Vector& p, const Vector& n) const;

	// --- the sample
	const RayObject* op = nullptr; // the render object hit; null when nothing is being shaded
	RayHitID lhit;				   // its polygon
	Vector p;					   // hit point, global
	Vector n;					   // shading normal, facing the ray
	Vector orign;				   // the polygon's own normal
	Vector ray_p, ray_v;		   // the ray's start and (unit) direction
	Vector uvw;					   // texture coordinate of the sample
	Float time = 0.0;			   // document time in seconds
	Int32 x = 0, y = 0;			   // the pixel

	// --- results of the material's requests
	Vector col;	  // surface colour (CalcSurface)
	Vector trans; // transparency (CalcTransparency)
	Vector refl;  // reflection
	Float alpha = 1.0;
	// the rays the surface sends on through its transparency and its reflection; null for none
	const Ray* tray = nullptr;
	const Ray* rray = nullptr;

	struct Render; // the render the sample belongs to (headless host)
	std::shared_ptr<const Render> render;
};
