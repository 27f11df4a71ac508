// primitives.cpp - the cube, sphere and disc primitives: generators whose result is one polygon object.
#include "host_state.h"

#include "c4d_polygon.h"

#include <algorithm>
#include <cmath>

namespace
{

// Segment counts are held to what a polygon object of Int32 counts can take without a giant allocation.
constexpr Int32 kMaxSegments = 1000;

Int32 Segments(const BaseContainer* bc, Int32 id, Int32 preset, Int32 least)
{
	return std::max(least, std::min(kMaxSegments, bc->GetInt32(id, preset)));
}

// A UV sphere round the origin: poles on the Y axis, sub segments round it and sub / 2 from pole to
// pole; polygons face outwards. Both primitives carry texture coordinates in a UVW tag.
PolygonObject* Sphere(const BaseContainer* bc)
{
	const Float r = bc->GetFloat(PRIM_SPHERE_RAD, 100.0);
	const Int32 around = Segments(bc, PRIM_SPHERE_SUB, 24, 3);
	const Int32 rings = std::max<Int32>(2, around / 2);
	const Int32 pcnt = 2 + (rings - 1) * around;
	const Int32 vcnt = around * rings;
	PolygonObject* op = PolygonObject::Alloc(pcnt, vcnt);
	if (!op)
		return nullptr;
	Vector* p = op->GetPointW();
	CPolygon* v = op->GetPolygonW();
	const Int32 top = 0, bottom = pcnt - 1;
	p[top] = Vector(0.0, r, 0.0);
	p[bottom] = Vector(0.0, -r, 0.0);
	auto at = [&](Int32 ring, Int32 k) { return 1 + (ring - 1) * around + (k % around); }; // ring 1..rings-1
	for (Int32 ring = 1; ring < rings; ++ring)
	{
		const Float theta = M_PI * ring / rings;
		for (Int32 k = 0; k < around; ++k)
		{
			const Float phi = 2.0 * M_PI * k / around;
			p[at(ring, k)] = Vector(r * std::sin(theta) * std::cos(phi), r * std::cos(theta), r * std::sin(theta) * std::sin(phi));
		}
	}
	// texture coordinates: u round the sphere, v from the top pole down
	UVWTag* uvw = UVWTag::Alloc(vcnt);
	op->InsertTag(uvw); // none when memory ran out: the polygons come without coordinates
	auto uv = [&](Int32 ring, Int32 k) { return Vector(static_cast<Float>(k) / around, static_cast<Float>(ring) / rings, 0.0); };
	Int32 n = 0;
	auto add = [&](const CPolygon& q, const UVWStruct& t) {
		if (uvw)
			UVWTag::Set(uvw->GetDataAddressW(), n, t);
		v[n++] = q;
	};
	for (Int32 k = 0; k < around; ++k)
		add(CPolygon(top, at(1, k + 1), at(1, k)), UVWStruct(uv(0, k) + Vector(0.5 / around, 0, 0), uv(1, k + 1), uv(1, k), uv(1, k)));
	for (Int32 ring = 1; ring + 1 < rings; ++ring)
		for (Int32 k = 0; k < around; ++k)
			add(CPolygon(at(ring, k), at(ring, k + 1), at(ring + 1, k + 1), at(ring + 1, k)),
				UVWStruct(uv(ring, k), uv(ring, k + 1), uv(ring + 1, k + 1), uv(ring + 1, k)));
	for (Int32 k = 0; k < around; ++k)
		add(CPolygon(bottom, at(rings - 1, k), at(rings - 1, k + 1)),
			UVWStruct(uv(rings, k) + Vector(0.5 / around, 0, 0), uv(rings - 1, k), uv(rings - 1, k + 1), uv(rings - 1, k + 1)));
	return op;
}

// A disc in the XZ plane facing +Y: rings from the inner to the outer radius, segments round it; a
// disc without a hole has a centre point and triangles round it.
PolygonObject* Disc(const BaseContainer* bc)
{
	const Float inner = std::max(0.0, bc->GetFloat(PRIM_DISC_IRAD, 0.0));
	const Float outer = bc->GetFloat(PRIM_DISC_ORAD, 100.0);
	const Int32 rings = Segments(bc, PRIM_DISC_SUB, 1, 1);
	const Int32 around = Segments(bc, PRIM_DISC_SEG, 36, 3);
	const bool hole = inner > 0.0;
	const Int32 circles = hole ? rings + 1 : rings; // circles of points, innermost first
	const Int32 first = hole ? 0 : 1;				// the centre point comes first
	PolygonObject* op = PolygonObject::Alloc(first + circles * around, rings * around);
	if (!op)
		return nullptr;
	Vector* p = op->GetPointW();
	CPolygon* v = op->GetPolygonW();
	auto at = [&](Int32 circle, Int32 k) { return first + circle * around + (k % around); };
	for (Int32 c = 0; c < circles; ++c)
	{
		const Float r = hole ? inner + (outer - inner) * c / rings : outer * (c + 1) / rings;
		for (Int32 k = 0; k < around; ++k)
		{
			const Float phi = 2.0 * M_PI * k / around;
			p[at(c, k)] = Vector(r * std::cos(phi), 0.0, r * std::sin(phi));
		}
	}
	// texture coordinates: the disc seen from above, its outer circle touching the unit square's sides
	UVWTag* uvw = UVWTag::Alloc(rings * around);
	op->InsertTag(uvw); // none when memory ran out: the polygons come without coordinates
	auto uv = [&](Int32 i) {
		return outer > 0.0 ? Vector(0.5 + p[i].x / (2.0 * outer), 0.5 + p[i].z / (2.0 * outer), 0.0) : Vector(0.5, 0.5, 0.0);
	};
	Int32 n = 0;
	auto add = [&](const CPolygon& q) {
		if (uvw)
			UVWTag::Set(uvw->GetDataAddressW(), n, UVWStruct(uv(q.a), uv(q.b), uv(q.c), uv(q.d)));
		v[n++] = q;
	};
	if (!hole)
		for (Int32 k = 0; k < around; ++k)
			add(CPolygon(0, at(0, k + 1), at(0, k)));
	for (Int32 c = 0; c + 1 < circles; ++c)
		for (Int32 k = 0; k < around; ++k)
			add(CPolygon(at(c, k), at(c, k + 1), at(c + 1, k + 1), at(c + 1, k)));
	return op;
}

// A box round the origin with the three edge lengths: six quads facing outwards.
PolygonObject* Cube(const BaseContainer* bc)
{
	const Vector h = bc->GetVector(PRIM_CUBE_LEN, Vector(200.0, 200.0, 200.0)) * 0.5;
	PolygonObject* op = PolygonObject::Alloc(8, 6);
	if (!op)
		return nullptr;
	Vector* p = op->GetPointW();
	for (Int32 k = 0; k < 8; ++k)
		p[k] = Vector(k & 1 ? h.x : -h.x, k & 2 ? h.y : -h.y, k & 4 ? h.z : -h.z);
	// corners by bit: 1 = +x, 2 = +y, 4 = +z; each face ordered so that (b - a) x (c - a) points outwards
	const CPolygon faces[6] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
	std::copy(faces, faces + 6, op->GetPolygonW());
	return op;
}

} // namespace

bool headless::IsPrimitive(const BaseObject* op)
{
	return op && (op->GetType() == Ocube || op->GetType() == Osphere || op->GetType() == Odisc);
}

PolygonObject* headless::BuildPrimitive(const BaseObject* op)
{
	if (!IsPrimitive(op))
		return nullptr;
	const BaseContainer* bc = op->GetDataInstance();
	PolygonObject* poly = op->GetType() == Ocube ? Cube(bc) : op->GetType() == Osphere ? Sphere(bc) : Disc(bc);
	if (poly)
		poly->SetName(op->GetName());
	return poly;
}
