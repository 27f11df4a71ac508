// values.cpp - the host's value types: matrices, strings, file names, time, gradients, containers.
#include "c4d_baselist.h"
#include "host_state.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

Matrix operator~(const Matrix& m)
{
	const Vector& a = m.v1;
	const Vector& b = m.v2;
	const Vector& c = m.v3;
	Float det = Dot(a, Cross(b, c));
	if (det == 0.0)
		return Matrix();
	// Rows of the inverse linear part are the cross products divided by the determinant.
	Vector r0 = Cross(b, c) / det, r1 = Cross(c, a) / det, r2 = Cross(a, b) / det;
	Matrix inv(Vector(), Vector(r0.x, r1.x, r2.x), Vector(r0.y, r1.y, r2.y), Vector(r0.z, r1.z, r2.z));
	inv.off = -inv.TransformVector(m.off);
	return inv;
}

Bool String::GetCString(char* out, Int size_bytes) const
{
	if (!out || size_bytes <= 0)
		return false;
	size_t n = std::min(_s.size(), static_cast<size_t>(size_bytes - 1));
	std::memcpy(out, _s.data(), n);
	out[n] = '\0';
	return n == _s.size();
}

static size_t LastSeparator(const std::string& s)
{
	return s.find_last_of("/\\");
}

Filename Filename::GetFile() const
{
	size_t p = LastSeparator(_s);
	return p == std::string::npos ? *this : Filename(_s.substr(p + 1));
}

Filename Filename::GetDirectory() const
{
	size_t p = LastSeparator(_s);
	return p == std::string::npos ? Filename() : Filename(_s.substr(0, p));
}

Bool Filename::CheckSuffix(const String& suffix) const
{
	std::string want = "." + suffix.Get();
	if (_s.size() < want.size())
		return false;
	for (size_t i = 0; i < want.size(); ++i)
		if (std::tolower(static_cast<unsigned char>(_s[_s.size() - want.size() + i])) != std::tolower(static_cast<unsigned char>(want[i])))
			return false;
	return true;
}

Filename Filename::operator+(const Filename& component) const
{
	if (_s.empty())
		return component;
	if (component._s.empty())
		return *this;
	char last = _s.back();
	if (last == '/' || last == '\\')
		return Filename(_s + component._s);
	return Filename(_s + "/" + component._s);
}

Int32 BaseTime::GetFrame(Float fps) const
{
	// A tiny bias keeps exact frame times (e.g. 1/3 s at 30 fps) from falling to the frame before.
	return static_cast<Int32>(std::floor(Get() * fps + 1e-9));
}

namespace
{

std::vector<GradientKnot> SortedKnots(const std::vector<GradientKnot>& knots)
{
	std::vector<GradientKnot> k = knots;
	std::stable_sort(k.begin(), k.end(), [](const GradientKnot& a, const GradientKnot& b) { return a.pos < b.pos; });
	return k;
}

} // namespace

Bool Gradient::InitRender() const
{
	_sorted = SortedKnots(_knots);
	// the knots' shown colours once, not at every call
	for (GradientKnot& k : _sorted)
		k.col = k.col * k.brightness;
	_prepared = true;
	return true;
}

Vector Gradient::CalcGradientPixel(Float pos) const
{
	if (_knots.empty())
		return Vector();
	if (_prepared)
		return ColourAmong(_sorted, pos);
	std::vector<GradientKnot> k = SortedKnots(_knots);
	for (GradientKnot& g : k)
		g.col = g.col * g.brightness;
	return ColourAmong(k, pos);
}

Vector Gradient::ColourAmong(const std::vector<GradientKnot>& k, Float pos)
{
	if (!(pos > k.front().pos))
		return k.front().col;
	size_t i = 1;
	while (i < k.size() && pos > k[i].pos)
		++i;
	if (i == k.size())
		return k.back().col;
	const GradientKnot& left = k[i - 1];
	const GradientKnot& right = k[i];
	const Float span = right.pos - left.pos;
	Float t = span > 0.0 ? (pos - left.pos) / span : 1.0;
	// the bias is where the blend is half way
	const Float bias = std::min(0.999, std::max(0.001, left.bias));
	t = t < bias ? 0.5 * t / bias : 0.5 + 0.5 * (t - bias) / (1.0 - bias);
	switch (left.interpolation)
	{
		case GRADIENT_INTERPOLATION_NONE: return left.col;
		case GRADIENT_INTERPOLATION_LINEARKNOT:
		case GRADIENT_INTERPOLATION_LINEAR: break;
		case GRADIENT_INTERPOLATION_EXP_UP: t = t * t; break;
		case GRADIENT_INTERPOLATION_EXP_DOWN: t = 1.0 - (1.0 - t) * (1.0 - t); break;
		default: t = t * t * (3.0 - 2.0 * t); break; // the smooth and cubic blends ease in and out of each knot
	}
	return left.col + (right.col - left.col) * t;
}

bool Gradient::operator==(const Gradient& o) const
{
	if (_knots.size() != o._knots.size())
		return false;
	for (size_t i = 0; i < _knots.size(); ++i)
		if (_knots[i].col != o._knots[i].col || _knots[i].pos != o._knots[i].pos ||
			_knots[i].brightness != o._knots[i].brightness || _knots[i].bias != o._knots[i].bias ||
			_knots[i].interpolation != o._knots[i].interpolation)
			return false;
	return true;
}

GeData::GeData(const String& v) : GeData()
{
	_u.s = new std::string(v.Get());
	_type = DA_STRING;
}

GeData::GeData(const char* v) : GeData()
{
	_u.s = new std::string(v ? v : "");
	_type = DA_STRING;
}

GeData::GeData(const Filename& v) : GeData()
{
	_u.s = new std::string(v.Get());
	_type = DA_FILENAME;
}

GeData::GeData(BaseList2D* link) : GeData()
{
	_type = DA_ALIASLINK;
	_u.link.node = link;
	_u.link.serial = headless::NodeSerial(link);
}

BaseList2D* GeData::GetLink() const
{
	if (_type != DA_ALIASLINK || !_u.link.node)
		return nullptr;
	return headless::NodeSerial(_u.link.node) == _u.link.serial ? _u.link.node : nullptr;
}

GeData::GeData(const Gradient& g) : GeData()
{
	_u.gradient = new Gradient(g);
	_type = DA_GRADIENT;
}

GeData::GeData(const BaseContainer& bc) : GeData()
{
	_u.bc = new BaseContainer(bc);
	_type = DA_CONTAINER;
}

GeData::GeData(const GeData& o) : GeData()
{
	switch (o._type)
	{
		case DA_STRING:
		case DA_FILENAME: _u.s = new std::string(*o._u.s); break;
		case DA_GRADIENT: _u.gradient = new Gradient(*o._u.gradient); break;
		case DA_CONTAINER: _u.bc = new BaseContainer(*o._u.bc); break;
		default: _u = o._u; break;
	}
	_type = o._type;
}

GeData& GeData::operator=(const GeData& o)
{
	// copied before the old value goes: o may live inside it (a value of a nested container)
	if (this != &o)
		*this = GeData(o);
	return *this;
}

GeData& GeData::operator=(GeData&& o) noexcept
{
	if (this == &o)
		return *this;
	Release();
	_type = o._type;
	_u = o._u;
	o._type = DA_NIL;
	return *this;
}

void GeData::Release()
{
	switch (_type)
	{
		case DA_STRING:
		case DA_FILENAME: delete _u.s; break;
		case DA_GRADIENT: delete _u.gradient; break;
		case DA_CONTAINER: delete _u.bc; break;
		default: break;
	}
	_type = DA_NIL;
}

GeData::~GeData()
{
	Release();
}

namespace
{

// A float read as an integer: truncated, held to the integer's range, 0 for not a number (a plain
// cast is undefined outside the range).
template <typename I>
I FloatToInt(Float f)
{
	if (std::isnan(f))
		return 0;
	if (f <= static_cast<Float>(std::numeric_limits<I>::min()))
		return std::numeric_limits<I>::min();
	if (f >= static_cast<Float>(std::numeric_limits<I>::max()))
		return std::numeric_limits<I>::max();
	return static_cast<I>(f);
}

} // namespace

Int32 GeData::GetInt32() const
{
	switch (_type)
	{
		case DA_LONG:
		case DA_LLONG: return static_cast<Int32>(_u.l);
		case DA_REAL: return FloatToInt<Int32>(_u.f);
		default: return 0;
	}
}

Int64 GeData::GetInt64() const
{
	switch (_type)
	{
		case DA_LONG:
		case DA_LLONG: return _u.l;
		case DA_REAL: return FloatToInt<Int64>(_u.f);
		default: return 0;
	}
}

Float GeData::GetFloat() const
{
	switch (_type)
	{
		case DA_REAL: return _u.f;
		case DA_LONG:
		case DA_LLONG: return static_cast<Float>(_u.l);
		default: return 0.0;
	}
}

bool GeData::operator==(const GeData& o) const
{
	if (_type != o._type)
		return false;
	switch (_type)
	{
		case DA_NIL: return true;
		case DA_LONG:
		case DA_LLONG: return _u.l == o._u.l;
		case DA_REAL: return _u.f == o._u.f;
		case DA_VECTOR: return GetVector() == o.GetVector();
		case DA_STRING:
		case DA_FILENAME: return *_u.s == *o._u.s;
		case DA_TIME: return GetTime() == o.GetTime();
		case DA_ALIASLINK: return _u.link.node == o._u.link.node && _u.link.serial == o._u.link.serial;
		case DA_VOID: return _u.p == o._u.p;
		case DA_GRADIENT: return *_u.gradient == *o._u.gradient;
		case DA_CONTAINER: return *_u.bc == *o._u.bc;
	}
	return false;
}

static const GeData kNil;

std::vector<BaseContainer::Entry>::iterator BaseContainer::Find(Int32 id)
{
	return std::lower_bound(_values.begin(), _values.end(), id, [](const Entry& e, Int32 key) { return e.id < key; });
}

std::vector<BaseContainer::Entry>::const_iterator BaseContainer::Find(Int32 id) const
{
	return std::lower_bound(_values.begin(), _values.end(), id, [](const Entry& e, Int32 key) { return e.id < key; });
}

const GeData* BaseContainer::GetDataPointer(Int32 id) const
{
	auto it = Find(id);
	return it != _values.end() && it->id == id ? &it->value : nullptr;
}

void BaseContainer::SetData(Int32 id, const GeData& v)
{
	auto it = Find(id);
	if (it != _values.end() && it->id == id)
	{
		it->value = v;
		return;
	}
	// copied first: v may be a value of this container, which the insertion moves
	GeData copy(v);
	if (_values.empty())
	{
		// most nodes carry a handful of parameters (an instance object four): one allocation, not three
		_values.reserve(4);
		it = _values.begin();
	}
	_values.insert(it, Entry{id, std::move(copy)});
}

Bool BaseContainer::RemoveData(Int32 id)
{
	auto it = Find(id);
	if (it == _values.end() || it->id != id)
		return false;
	_values.erase(it);
	return true;
}

bool BaseContainer::operator==(const BaseContainer& o) const
{
	if (_id != o._id || _values.size() != o._values.size())
		return false;
	for (size_t i = 0; i < _values.size(); ++i)
		if (_values[i].id != o._values[i].id || _values[i].value != o._values[i].value)
			return false;
	return true;
}

const GeData& BaseContainer::GetData(Int32 id) const
{
	const GeData* d = GetDataPointer(id);
	return d ? *d : kNil;
}

Bool BaseContainer::GetBool(Int32 id, Bool preset) const
{
	const GeData* d = GetDataPointer(id);
	return d ? d->GetBool() : preset;
}

Int32 BaseContainer::GetInt32(Int32 id, Int32 preset) const
{
	const GeData* d = GetDataPointer(id);
	return d ? d->GetInt32() : preset;
}

Int64 BaseContainer::GetInt64(Int32 id, Int64 preset) const
{
	const GeData* d = GetDataPointer(id);
	return d ? d->GetInt64() : preset;
}

Float BaseContainer::GetFloat(Int32 id, Float preset) const
{
	const GeData* d = GetDataPointer(id);
	return d ? d->GetFloat() : preset;
}

Vector BaseContainer::GetVector(Int32 id, const Vector& preset) const
{
	const GeData* d = GetDataPointer(id);
	return d && d->GetType() == DA_VECTOR ? d->GetVector() : preset;
}

String BaseContainer::GetString(Int32 id, const String& preset) const
{
	const GeData* d = GetDataPointer(id);
	return d && d->GetType() == DA_STRING ? d->GetString() : preset;
}

Filename BaseContainer::GetFilename(Int32 id, const Filename& preset) const
{
	const GeData* d = GetDataPointer(id);
	return d && (d->GetType() == DA_FILENAME || d->GetType() == DA_STRING) ? d->GetFilename() : preset;
}

BaseTime BaseContainer::GetTime(Int32 id, const BaseTime& preset) const
{
	const GeData* d = GetDataPointer(id);
	return d && d->GetType() == DA_TIME ? d->GetTime() : preset;
}

BaseList2D* BaseContainer::GetLink(Int32 id, BaseDocument* doc) const
{
	(void)doc;
	const GeData* d = GetDataPointer(id);
	return d ? d->GetLink() : nullptr;
}

void* BaseContainer::GetVoid(Int32 id, void* preset) const
{
	const GeData* d = GetDataPointer(id);
	return d && d->GetType() == DA_VOID ? d->GetVoid() : preset;
}

BaseContainer BaseContainer::GetContainer(Int32 id) const
{
	const GeData* d = GetDataPointer(id);
	return d && d->GetContainer() ? *d->GetContainer() : BaseContainer();
}

BaseContainer* BaseContainer::GetContainerInstance(Int32 id)
{
	auto it = Find(id);
	if (it == _values.end() || it->id != id || it->value.GetType() != DA_CONTAINER)
		return nullptr;
	return const_cast<BaseContainer*>(it->value.GetContainer());
}

std::vector<Int32> BaseContainer::GetIds() const
{
	std::vector<Int32> ids;
	ids.reserve(_values.size());
	for (const Entry& e : _values)
		ids.push_back(e.id);
	return ids;
}
