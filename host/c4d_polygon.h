// c4d_polygon.h - polygon objects and the tags that hold one value per point or per polygon.
#pragma once

#include "c4d_object.h"
#include "c4d_tag.h"

// Point data type of polygon objects.
enum
{
	Tpoint = 5600,
};

// Parameters of the phong tag.
enum
{
	PHONGTAG_PHONG_ANGLELIMIT = 1001,
	PHONGTAG_PHONG_ANGLE = 1002,
	PHONGTAG_PHONG_USEEDGES = 1003,
};

// One polygon: four point indices; a triangle repeats c as d.
struct CPolygon
{
	Int32 a = 0, b = 0, c = 0, d = 0;

	CPolygon() = default;
	CPolygon(Int32 a_, Int32 b_, Int32 c_) : a(a_), b(b_), c(c_), d(c_) {}
	CPolygon(Int32 a_, Int32 b_, Int32 c_, Int32 d_) : a(a_), b(b_), c(c_), d(d_) {}
	Bool IsTriangle() const { return c == d; }
};

// The texture coordinates of one polygon's four corners.
struct UVWStruct
{
	Vector a, b, c, d;

	UVWStruct() = default;
	UVWStruct(const Vector& a_, const Vector& b_, const Vector& c_, const Vector& d_) : a(a_), b(b_), c(c_), d(d_) {}
};

using UVWHandle = void*;
using ConstUVWHandle = const void*;

class PointObject : public BaseObject
{
public:
	Int32 GetPointCount() const { return _point_count; }
	// The point array; null when there are no points.
	const Vector* GetPointR() const { return _points; }
	Vector* GetPointW() { return _points; }

	~PointObject() override;

protected:
	explicit PointObject(Int32 type) : BaseObject(type) {}

	Vector* _points = nullptr;
	Int32 _point_count = 0;
};

class PolygonObject : public PointObject
{
public:
	// A polygon object with zeroed points and polygons; null when memory runs out.
	static PolygonObject* Alloc(Int32 pcnt, Int32 vcnt);

	Int32 GetPolygonCount() const { return _polygon_count; }
	const CPolygon* GetPolygonR() const { return _polygons; }
	CPolygon* GetPolygonW() { return _polygons; }
	// New counts; kept points and polygons keep their values, new ones are zero. False when memory
	// runs out (the object is unchanged then).
	Bool ResizeObject(Int32 pcnt, Int32 vcnt);

	~PolygonObject() override;

protected:
	PolygonObject() : PointObject(Opolygon) {}
	BaseObject* CloneSelf() const override;

	CPolygon* _polygons = nullptr;
	Int32 _polygon_count = 0;

	friend class BaseObject;
};

// A tag with one fixed-size entry per point or per polygon of its object.
class VariableTag : public BaseTag
{
public:
	Int32 GetDataCount() const { return _count; }
	Bool IsVariable() const override { return true; }
	const void* GetLowlevelDataAddressR() const { return _data; }
	void* GetLowlevelDataAddressW() { return _data; }

	~VariableTag() override;

protected:
	VariableTag(Int32 type, Int32 entry_bytes) : BaseTag(type), _entry_bytes(entry_bytes) {}
	// count zeroed entries; false when memory runs out.
	Bool AllocData(Int32 count);
	// Copies this tag's entries into a bare copy of the same kind.
	BaseTag* CloneData(VariableTag* copy) const;

	void* _data = nullptr;
	Int32 _count = 0;
	Int32 _entry_bytes;
};

// Texture coordinates: one UVWStruct per polygon.
class UVWTag : public VariableTag
{
public:
	// A tag of count zeroed entries; null when memory runs out.
	static UVWTag* Alloc(Int32 count);

	UVWHandle GetDataAddressW() { return _data; }
	ConstUVWHandle GetDataAddressR() const { return _data; }
	static void Get(ConstUVWHandle data, Int32 i, UVWStruct& uvw) { uvw = static_cast<const UVWStruct*>(data)[i]; }
	static void Set(UVWHandle data, Int32 i, const UVWStruct& uvw) { static_cast<UVWStruct*>(data)[i] = uvw; }

protected:
	UVWTag() : VariableTag(Tuvw, sizeof(UVWStruct)) {}
	BaseTag* CloneSelf() const override;

	friend class BaseTag;
};

// One Float32 per point; materials and tags find a map by its name.
class VertexMapTag : public VariableTag
{
public:
	// A tag of count zeroed values; null when memory runs out.
	static VertexMapTag* Alloc(Int32 count);

	Float32* GetDataAddressW() { return static_cast<Float32*>(_data); }
	const Float32* GetDataAddressR() const { return static_cast<const Float32*>(_data); }

protected:
	VertexMapTag() : VariableTag(Tvertexmap, sizeof(Float32)) {}
	BaseTag* CloneSelf() const override;

	friend class BaseTag;
};

// The first tag of this type and name on the object, or null. The SDK finds tags by type and
// number only; plug-ins that name their tags walk the list this way.
inline BaseTag* FindTag(const BaseObject* op, Int32 type, const String& name)
{
	for (BaseTag* tag = op ? op->GetFirstTag() : nullptr; tag; tag = tag->GetNext())
		if (tag->GetType() == type && tag->GetName() == name)
			return tag;
	return nullptr;
}
