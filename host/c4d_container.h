// c4d_container.h - time values, parameter values and parameter containers.
#pragma once

#include "ge_types.h"

#include <map>
#include <memory>
#include <vector>

class BaseList2D;
class BaseDocument;

// A time as a fraction of seconds (numerator / denominator), as documents keep it.
class BaseTime
{
public:
	BaseTime() = default;
	explicit BaseTime(Float seconds) : _num(seconds * 1000.0), _den(1000.0) {}
	BaseTime(Float num, Float den) : _num(num), _den(den != 0.0 ? den : 1.0) {}

	Float Get() const { return _num / _den; }
	Float GetNumerator() const { return _num; }
	Float GetDenominator() const { return _den; }
	// The frame at this frame rate, rounded down as the host counts frames.
	Int32 GetFrame(Float fps) const;
	bool operator==(const BaseTime& o) const { return _num * o._den == o._num * _den; }
	bool operator!=(const BaseTime& o) const { return !(*this == o); }
	bool operator<(const BaseTime& o) const { return Get() < o.Get(); }
	bool operator>(const BaseTime& o) const { return Get() > o.Get(); }
	bool operator<=(const BaseTime& o) const { return Get() <= o.Get(); }
	bool operator>=(const BaseTime& o) const { return Get() >= o.Get(); }
	BaseTime operator+(const BaseTime& o) const { return BaseTime(_num * o._den + o._num * _den, _den * o._den); }
	BaseTime operator-(const BaseTime& o) const { return BaseTime(_num * o._den - o._num * _den, _den * o._den); }

private:
	Float _num = 0.0, _den = 1.0;
};

// A colour gradient parameter: knots of colour at positions 0..1.
// How a gradient blends from a knot to the next.
enum
{
	GRADIENT_INTERPOLATION_CUBICKNOT = 0,
	GRADIENT_INTERPOLATION_CUBICBIAS = 1,
	GRADIENT_INTERPOLATION_SMOOTHKNOT = 2,
	GRADIENT_INTERPOLATION_LINEARKNOT = 3,
	GRADIENT_INTERPOLATION_LINEAR = 4,
	GRADIENT_INTERPOLATION_NONE = 5,
	GRADIENT_INTERPOLATION_EXP_UP = 6,
	GRADIENT_INTERPOLATION_EXP_DOWN = 7,
};

struct GradientKnot
{
	Vector col;
	Float pos = 0.0;
	Float brightness = 1.0;
	Float bias = 0.5;
	Int32 interpolation = 0;
};

class Gradient
{
public:
	Int32 GetKnotCount() const { return static_cast<Int32>(_knots.size()); }
	GradientKnot GetKnot(Int32 i) const { return _knots.at(static_cast<size_t>(i)); }
	void InsertKnot(const Vector& col, Float pos, Float brightness = 1.0, Float bias = 0.5, Int32 interpolation = 0)
	{
		_knots.push_back({col, pos, brightness, bias, interpolation});
		FreeRender(); // a changed gradient is sorted again
	}
	void FlushKnots()
	{
		_knots.clear();
		FreeRender();
	}
	// Prepares and ends a run of CalcGradientPixel calls (while rendering or drawing); the knots are not
	// changed in between.
	Bool InitRender() const;
	void FreeRender() const
	{
		_sorted.clear();
		_prepared = false;
	}
	// Colour at a position: each knot's colour times its brightness; between two knots the left knot's
	// bias places the midpoint of the blend and its interpolation shapes it. Before the first knot the
	// first colour, after the last the last, black without knots.
	Vector CalcGradientPixel(Float pos) const;
	bool operator==(const Gradient& o) const;

private:
	// The colour at pos among knots in order of position whose colours include their brightness.
	static Vector ColourAmong(const std::vector<GradientKnot>& knots, Float pos);

	std::vector<GradientKnot> _knots;
	// the knots in order of position with their shown colours, kept between InitRender and FreeRender
	mutable std::vector<GradientKnot> _sorted;
	mutable bool _prepared = false;
};

class BaseContainer;

enum GEDATATYPE : Int32
{
	DA_NIL = 0,
	DA_LONG = 15,
	DA_REAL = 19,
	DA_TIME = 22,
	DA_VECTOR = 23,
	DA_LLONG = 24,
	DA_CONTAINER = 26,
	DA_ALIASLINK = 27,
	DA_VOID = 14,
	DA_STRING = 130,
	DA_FILENAME = 131,
	DA_GRADIENT = 1000481,
};

// One parameter value of any of the container's types. Containers hold many of these (one render
// instance object per particle), so the small kinds live in place and the large ones (text, gradient,
// container) on the heap behind one pointer.
class GeData
{
public:
	GeData() { _u.v[0] = _u.v[1] = _u.v[2] = 0.0; }
	GeData(Int32 v) : GeData() { _type = DA_LONG; _u.l = v; }
	GeData(Bool v) : GeData() { _type = DA_LONG; _u.l = v ? 1 : 0; }
	GeData(Int64 v) : GeData() { _type = DA_LLONG; _u.l = v; }
	GeData(Float v) : GeData() { _type = DA_REAL; _u.f = v; }
	GeData(const Vector& v) : GeData()
	{
		_type = DA_VECTOR;
		_u.v[0] = v.x;
		_u.v[1] = v.y;
		_u.v[2] = v.z;
	}
	GeData(const String& v);
	GeData(const char* v);
	GeData(const Filename& v);
	GeData(const BaseTime& v) : GeData()
	{
		_type = DA_TIME;
		_u.t[0] = v.GetNumerator();
		_u.t[1] = v.GetDenominator();
	}
	// A link to a node; it reads as null once that node is freed.
	GeData(BaseList2D* link);
	GeData(void* p, GEDATATYPE) : GeData() { _type = DA_VOID; _u.p = p; }
	GeData(const Gradient& g);
	GeData(const BaseContainer& bc);
	GeData(const GeData& o);
	GeData(GeData&& o) noexcept : _type(o._type), _u(o._u) { o._type = DA_NIL; }
	GeData& operator=(const GeData& o);
	GeData& operator=(GeData&& o) noexcept;
	~GeData();

	GEDATATYPE GetType() const { return _type; }
	Bool GetBool() const { return GetInt32() != 0; }
	Int32 GetInt32() const;
	Int64 GetInt64() const;
	Float GetFloat() const;
	Vector GetVector() const { return _type == DA_VECTOR ? Vector(_u.v[0], _u.v[1], _u.v[2]) : Vector(); }
	String GetString() const { return _type == DA_STRING ? String(*_u.s) : String(); }
	Filename GetFilename() const { return (_type == DA_FILENAME || _type == DA_STRING) ? Filename(*_u.s) : Filename(); }
	BaseTime GetTime() const { return _type == DA_TIME ? BaseTime(_u.t[0], _u.t[1]) : BaseTime(); }
	BaseList2D* GetLink() const;
	void* GetVoid() const { return _type == DA_VOID ? _u.p : nullptr; }
	const Gradient* GetGradient() const { return _type == DA_GRADIENT ? _u.gradient : nullptr; }
	const BaseContainer* GetContainer() const { return _type == DA_CONTAINER ? _u.bc : nullptr; }
	bool operator==(const GeData& o) const;
	bool operator!=(const GeData& o) const { return !(*this == o); }

private:
	// Frees what a heap kind owns; the value is nil after it.
	void Release();

	struct Link
	{
		BaseList2D* node;
		UInt64 serial; // tells a freed node from a new one at its address
	};
	union Payload
	{
		Int64 l;
		Float f;
		Float v[3];
		Float t[2]; // numerator, denominator
		Link link;
		void* p;
		std::string* s; // DA_STRING and DA_FILENAME
		Gradient* gradient;
		BaseContainer* bc;
	};

	GEDATATYPE _type = DA_NIL;
	Payload _u;
};

// Numbered parameters of an object, a tag, a document's settings or a dialog.
class BaseContainer
{
public:
	BaseContainer() = default;
	explicit BaseContainer(Int32 id) : _id(id) {}

	Int32 GetId() const { return _id; }
	void SetId(Int32 id) { _id = id; }

	Bool GetBool(Int32 id, Bool preset = false) const;
	Int32 GetInt32(Int32 id, Int32 preset = 0) const;
	Int64 GetInt64(Int32 id, Int64 preset = 0) const;
	Float GetFloat(Int32 id, Float preset = 0.0) const;
	Vector GetVector(Int32 id, const Vector& preset = Vector()) const;
	String GetString(Int32 id, const String& preset = String()) const;
	Filename GetFilename(Int32 id, const Filename& preset = Filename()) const;
	BaseTime GetTime(Int32 id, const BaseTime& preset = BaseTime()) const;
	BaseList2D* GetLink(Int32 id, BaseDocument* doc = nullptr) const;
	void* GetVoid(Int32 id, void* preset = nullptr) const;
	BaseContainer GetContainer(Int32 id) const;
	BaseContainer* GetContainerInstance(Int32 id);
	const GeData* GetDataPointer(Int32 id) const;
	const GeData& GetData(Int32 id) const;

	void SetBool(Int32 id, Bool v) { SetData(id, GeData(v)); }
	void SetInt32(Int32 id, Int32 v) { SetData(id, GeData(v)); }
	void SetInt64(Int32 id, Int64 v) { SetData(id, GeData(v)); }
	void SetFloat(Int32 id, Float v) { SetData(id, GeData(v)); }
	void SetVector(Int32 id, const Vector& v) { SetData(id, GeData(v)); }
	void SetString(Int32 id, const String& v) { SetData(id, GeData(v)); }
	void SetFilename(Int32 id, const Filename& v) { SetData(id, GeData(v)); }
	void SetTime(Int32 id, const BaseTime& v) { SetData(id, GeData(v)); }
	void SetLink(Int32 id, BaseList2D* link) { SetData(id, GeData(link)); }
	void SetVoid(Int32 id, void* p) { SetData(id, GeData(p, DA_VOID)); }
	void SetContainer(Int32 id, const BaseContainer& bc) { SetData(id, GeData(bc)); }
	void SetData(Int32 id, const GeData& v);

	Bool RemoveData(Int32 id);
	void FlushAll() { _values.clear(); }
	Int32 GetCount() const { return static_cast<Int32>(_values.size()); }
	// Parameter IDs in ascending order, for saving and copying.
	std::vector<Int32> GetIds() const;
	bool operator==(const BaseContainer& o) const;

private:
	struct Entry
	{
		Int32 id;
		GeData value;
	};
	// The entry of id, or where it would go.
	std::vector<Entry>::iterator Find(Int32 id);
	std::vector<Entry>::const_iterator Find(Int32 id) const;

	Int32 _id = 0;
	// Kept sorted by ID: containers are small, and a flat array costs far less than a tree per value.
	std::vector<Entry> _values;
};
