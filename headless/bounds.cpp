// bounds.cpp - an object's bounding box (GetMp, GetRad) from what it shows.
#include "host_state.h"

#include "c4d_plugin.h"
#include "c4d_polygon.h"

#include <algorithm>

namespace
{

struct Box
{
	Vector lo, hi;
	bool empty = true;

	void Add(const Vector& p)
	{
		if (empty)
		{
			lo = hi = p;
			empty = false;
			return;
		}
		lo = Vector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
		hi = Vector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
	}
};

void AddPoints(const BaseObject* op, const Matrix& m, Box* box)
{
	if (const PointObject* po = dynamic_cast<const PointObject*>(op))
	{
		const Vector* p = po->GetPointR();
		for (Int32 i = 0; p && i < po->GetPointCount(); ++i)
			box->Add(m * p[i]);
	}
}

// Every point of a generated hierarchy, in the coordinates of the generator that holds it.
void AddHierarchy(const BaseObject* op, const Matrix& m, Box* box)
{
	for (; op; op = op->GetNext())
	{
		const Matrix mo = m * op->GetMl();
		AddPoints(op->GetDeformCache() ? op->GetDeformCache() : op, mo, box);
		AddHierarchy(op->GetDown(), mo, box);
	}
}

void Bounds(const BaseObject* op, Vector* mp, Vector* rad)
{
	*mp = Vector();
	*rad = Vector();
	Box box;
	const BaseObject* cache = op->GetCache();
	if (const BaseObject* deformed = op->GetDeformCache())
		AddPoints(deformed, cache ? deformed->GetMl() : Matrix(), &box);
	else if (cache)
	{
		AddPoints(cache, cache->GetMl(), &box);
		AddHierarchy(cache->GetDown(), cache->GetMl(), &box);
	}
	else if (dynamic_cast<const PointObject*>(op))
		AddPoints(op, Matrix(), &box);
	else if (ObjectData* data = dynamic_cast<ObjectData*>(op->GetNodeData()))
	{
		data->GetDimension(const_cast<BaseObject*>(op), mp, rad);
		return;
	}
	if (box.empty)
		return;
	*mp = (box.lo + box.hi) * 0.5;
	*rad = (box.hi - box.lo) * 0.5;
}

} // namespace

Vector BaseObject::GetMp() const
{
	Vector mp, rad;
	Bounds(this, &mp, &rad);
	return mp;
}

Vector BaseObject::GetRad() const
{
	Vector mp, rad;
	Bounds(this, &mp, &rad);
	return rad;
}
