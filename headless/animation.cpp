// animation.cpp - tracks, curves and keys; position, rotation and scale of objects; the animation pass.
#include "host_state.h"

#include <algorithm>

namespace
{

bool TrackBefore(const DescID& a, const DescID& b)
{
	if (a.id != b.id)
		return a.id < b.id;
	if (a.depth != b.depth)
		return a.depth < b.depth;
	return a.sub < b.sub;
}

Matrix Scaled(const Matrix& rot, const Vector& pos, const Vector& scale)
{
	return Matrix(pos, rot.v1 * scale.x, rot.v2 * scale.y, rot.v3 * scale.z);
}

// Scale from the axes' lengths; a mirrored matrix carries its mirror in z.
Vector ScaleOf(const Matrix& m)
{
	Vector s(m.v1.GetLength(), m.v2.GetLength(), m.v3.GetLength());
	if (Dot(Cross(m.v1, m.v2), m.v3) < 0.0)
		s.z = -s.z;
	return s;
}

} // namespace

// --- curves and keys

CKey* CCurve::GetKey(Int32 index) const
{
	if (index < 0 || index >= GetKeyCount())
		return nullptr;
	return _keys[static_cast<size_t>(index)].get();
}

// Index of the first key not before time (keys are in time order).
static size_t LowerBound(const std::vector<std::unique_ptr<CKey>>& keys, const BaseTime& time)
{
	auto it = std::lower_bound(keys.begin(), keys.end(), time,
		[](const std::unique_ptr<CKey>& k, const BaseTime& t) { return k->GetTime() < t; });
	return static_cast<size_t>(it - keys.begin());
}

CKey* CCurve::FindKey(const BaseTime& time, Int32* idx) const
{
	const size_t i = LowerBound(_keys, time);
	const bool found = i < _keys.size() && _keys[i]->_time == time;
	if (idx)
		*idx = found ? static_cast<Int32>(i) : -1;
	return found ? _keys[i].get() : nullptr;
}

CKey* CCurve::AddKey(const BaseTime& time, Int32* nidx)
{
	// keys recorded frame by frame arrive in order: appending needs no search
	const size_t i = _keys.empty() || _keys.back()->_time < time ? _keys.size() : LowerBound(_keys, time);
	if (i < _keys.size() && _keys[i]->_time == time)
	{
		if (nidx)
			*nidx = static_cast<Int32>(i);
		return _keys[i].get();
	}
	std::unique_ptr<CKey> key(new CKey());
	key->_time = time;
	CKey* out = key.get();
	_keys.insert(_keys.begin() + static_cast<std::ptrdiff_t>(i), std::move(key));
	if (nidx)
		*nidx = static_cast<Int32>(i);
	return out;
}

Bool CCurve::DelKey(Int32 index)
{
	if (index < 0 || index >= GetKeyCount())
		return false;
	_keys.erase(_keys.begin() + index);
	return true;
}

Float CCurve::GetValue(const BaseTime& time) const
{
	if (_keys.empty())
		return 0.0;
	if (time <= _keys.front()->_time)
		return _keys.front()->_value;
	if (time >= _keys.back()->_time)
		return _keys.back()->_value;
	const size_t i = LowerBound(_keys, time);
	const CKey& a = *_keys[i - 1];
	const CKey& b = *_keys[i];
	const Float span = b._time.Get() - a._time.Get();
	const Float f = span > 0.0 ? (time.Get() - a._time.Get()) / span : 0.0;
	return a._value + (b._value - a._value) * f;
}

// --- tracks

CTrack* CTrack::Alloc(BaseList2D* bl, const DescID& id)
{
	(void)bl;
	return new CTrack(id);
}

void CTrack::Free(CTrack*& track)
{
	if (!track)
		return;
	track->Remove();
	delete track;
	track = nullptr;
}

void CTrack::Remove()
{
	if (_owner && _owner->_first_track == this)
		_owner->_first_track = GetNext();
	GeListNode::Remove();
	_owner = nullptr;
}

CTrack::~CTrack() = default;

CTrack* BaseList2D::FindCTrack(const DescID& id) const
{
	for (CTrack* t = _first_track; t; t = t->GetNext())
		if (t->GetDescriptionID() == id)
			return t;
	return nullptr;
}

void BaseList2D::InsertTrackSorted(CTrack* track)
{
	if (!track)
		return;
	track->Remove();
	CTrack* pred = nullptr;
	for (CTrack* t = _first_track; t && TrackBefore(t->GetDescriptionID(), track->GetDescriptionID()); t = t->GetNext())
		pred = t;
	if (pred)
		track->InsertAfter(pred);
	else
	{
		track->_next = _first_track;
		if (_first_track)
			_first_track->_pred = track;
		_first_track = track;
	}
	track->_owner = this;
}

void headless::KeyComponent(BaseObject* op, Int32 param, Int32 component, Int32 frame, Float value, Int32 fps)
{
	const DescID id(DescLevel(param, DTYPE_VECTOR, 0), DescLevel(component, DTYPE_REAL, 0));
	CTrack* track = op->FindCTrack(id);
	if (!track)
	{
		track = CTrack::Alloc(op, id);
		op->InsertTrackSorted(track);
	}
	track->GetCurve()->AddKey(BaseTime(frame, fps))->SetValue(track->GetCurve(), value);
}

BaseList2D::~BaseList2D()
{
	headless::FreeShaders(this);
	while (_first_track)
	{
		CTrack* t = _first_track;
		CTrack::Free(t);
	}
}

// --- rotations

Matrix HPBToMatrix(const Vector& hpb)
{
	const Float ch = std::cos(hpb.x), sh = std::sin(hpb.x);
	const Float cp = std::cos(hpb.y), sp = std::sin(hpb.y);
	const Float cb = std::cos(hpb.z), sb = std::sin(hpb.z);
	// heading about Y, then pitch about X, then bank about Z: M = Ry * Rx * Rz, columns are the axes
	Matrix m;
	m.v1 = Vector(ch * cb + sh * sp * sb, cp * sb, -sh * cb + ch * sp * sb);
	m.v2 = Vector(-ch * sb + sh * sp * cb, cp * cb, sh * sb + ch * sp * cb);
	m.v3 = Vector(sh * cp, -sp, ch * cp);
	return m;
}

Vector MatrixToHPB(const Matrix& m)
{
	auto unit = [](const Vector& v) {
		const Float l = v.GetLength();
		return l > 0.0 ? v / l : v;
	};
	const Vector x = unit(m.v1), y = unit(m.v2), z = unit(m.v3);
	const Float sp = std::max(-1.0, std::min(1.0, -z.y));
	const Float p = std::asin(sp);
	if (std::fabs(sp) > 0.9999999)
		return Vector(std::atan2(-x.z, x.x), p, 0.0);
	return Vector(std::atan2(z.x, z.z), p, std::atan2(x.y, y.y));
}

// --- objects' position, rotation and scale

Vector BaseObject::GetRelPos() const
{
	return _ml.off;
}

Vector BaseObject::GetRelScale() const
{
	return ScaleOf(_ml);
}

Vector BaseObject::GetRelRot() const
{
	Matrix m = _ml;
	if (ScaleOf(m).z < 0.0)
		m.v3 = -m.v3;
	return MatrixToHPB(m);
}

void BaseObject::SetRelPos(const Vector& v)
{
	Matrix m = _ml;
	m.off = v;
	SetMl(m);
}

void BaseObject::SetRelRot(const Vector& v)
{
	SetMl(Scaled(HPBToMatrix(v), _ml.off, GetRelScale()));
}

void BaseObject::SetRelScale(const Vector& v)
{
	SetMl(Scaled(HPBToMatrix(GetRelRot()), _ml.off, v));
}

// --- the animation pass: tracks of position, rotation and scale set the objects' matrices

namespace headless
{

void AnimateObject(BaseObject* op, const BaseTime& time)
{
	const Matrix m = AnimatedMl(op, time);
	if (m != op->GetMl())
		op->SetMl(m);
}

Matrix AnimatedMl(const BaseObject* op, const BaseTime& time)
{
	Vector part[3] = {op->GetRelPos(), op->GetRelRot(), op->GetRelScale()};
	bool changed[3] = {false, false, false};
	for (CTrack* t = op->GetFirstCTrack(); t; t = t->GetNext())
	{
		const DescID& id = t->GetDescriptionID();
		if (id.depth != 2 || id.id < ID_BASEOBJECT_REL_POSITION || id.id > ID_BASEOBJECT_REL_SCALE)
			continue;
		if (id.sub < VECTOR_X || id.sub > VECTOR_Z || t->GetCurve()->GetKeyCount() == 0)
			continue;
		const Int32 k = id.id - ID_BASEOBJECT_REL_POSITION;
		Vector& v = part[k];
		const Float value = t->GetCurve()->GetValue(time);
		(id.sub == VECTOR_X ? v.x : id.sub == VECTOR_Y ? v.y : v.z) = value;
		changed[k] = true;
	}
	// Axes are rebuilt only when rotation or scale is animated, so that a moving object keeps its
	// axes exactly.
	Matrix m = op->GetMl();
	if (changed[1] || changed[2])
		m = Scaled(HPBToMatrix(part[1]), part[0], part[2]);
	else if (changed[0])
		m.off = part[0];
	return m;
}

} // namespace headless

namespace headless
{

void CopyTracks(const BaseList2D* src, BaseList2D* dst)
{
	for (CTrack* t = src->GetFirstCTrack(); t; t = t->GetNext())
	{
		CTrack* copy = CTrack::Alloc(dst, t->GetDescriptionID());
		const CCurve* from = t->GetCurve();
		for (Int32 i = 0; i < from->GetKeyCount(); ++i)
			copy->GetCurve()->AddKey(from->GetKey(i)->GetTime())->SetValue(copy->GetCurve(), from->GetKey(i)->GetValue());
		dst->InsertTrackSorted(copy);
	}
}

} // namespace headless
