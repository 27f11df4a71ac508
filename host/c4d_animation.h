// c4d_animation.h - animation tracks of a node's parameters, their curves and keys, and rotations.
#pragma once

#include "c4d_baselist.h"
#include "c4d_description.h"

#include <memory>
#include <vector>

// Object parameters that tracks animate: the vectors of position, rotation (heading, pitch, bank)
// and scale; a track's second ID level names the component.
enum
{
	ID_BASEOBJECT_REL_POSITION = 903,
	ID_BASEOBJECT_REL_ROTATION = 904,
	ID_BASEOBJECT_REL_SCALE = 905,
	VECTOR_X = 1000,
	VECTOR_Y = 1001,
	VECTOR_Z = 1002,
	CTbase = 5350,
};

class CCurve;

class CKey
{
public:
	BaseTime GetTime() const { return _time; }
	Float GetValue() const { return _value; }
	void SetValue(CCurve* curve, Float value)
	{
		(void)curve;
		_value = value;
	}

private:
	BaseTime _time;
	Float _value = 0.0;
	friend class CCurve;
};

// The keys of one track in time order. Between two keys the value is linear; before the first
// and after the last it holds the nearest key's value.
class CCurve
{
public:
	Int32 GetKeyCount() const { return static_cast<Int32>(_keys.size()); }
	// Null for an index outside the curve.
	CKey* GetKey(Int32 index) const;
	// The key at exactly this time, or null; idx receives its index (-1 when there is none).
	CKey* FindKey(const BaseTime& time, Int32* idx = nullptr) const;
	// A key at this time, in time order; a key already at this time is returned instead of a second
	// one. nidx receives its index.
	CKey* AddKey(const BaseTime& time, Int32* nidx = nullptr);
	// False for an index outside the curve.
	Bool DelKey(Int32 index);
	void FlushKeys() { _keys.clear(); }
	// The curve's value at this time; 0 for a curve without keys.
	Float GetValue(const BaseTime& time) const;

private:
	std::vector<std::unique_ptr<CKey>> _keys;
};

class CTrack : public BaseList2D
{
public:
	// A track for parameter id of node bl, not yet inserted (InsertTrackSorted); null when memory
	// runs out.
	static CTrack* Alloc(BaseList2D* bl, const DescID& id);
	// Takes the track out of its node, then frees it.
	static void Free(CTrack*& track);

	const DescID& GetDescriptionID() const { return _id; }
	CCurve* GetCurve() { return &_curve; }
	const CCurve* GetCurve() const { return &_curve; }
	CTrack* GetNext() const { return static_cast<CTrack*>(GeListNode::GetNext()); }
	// The node that holds the track, or null before insertion.
	BaseList2D* GetObject() const { return _owner; }
	// Takes the track out of its node; the caller owns it again.
	void Remove();

	~CTrack() override;

private:
	explicit CTrack(const DescID& id) : BaseList2D(CTbase), _id(id) {}

	DescID _id;
	CCurve _curve;
	BaseList2D* _owner = nullptr;
	friend class BaseList2D;
};

// Rotation as heading (about Y), pitch (about X) and bank (about Z), applied in that order.
Matrix HPBToMatrix(const Vector& hpb);
// The angles of a matrix's axes (normalised first); at pitch +-90 degrees the bank is 0.
Vector MatrixToHPB(const Matrix& m);
