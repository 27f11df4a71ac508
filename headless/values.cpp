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

GeData::GeData(BaseList2D* link) : _type(DA_ALIASLINK), _l(static_cast<Int64>(headless::NodeSerial(link))), _link(link) {}

BaseList2D* GeData::GetLink() const
{
	if (_type != DA_ALIASLINK || !_link)
		return nullptr;
	return headless::NodeSerial(_link) == static_cast<UInt64>(_l) ? _link : nullptr;
}

GeData::GeData(const Gradient& g) : _type(DA_GRADIENT), _gradient(new Gradient(g)) {}

GeData::GeData(const BaseContainer& bc) : _type(DA_CONTAINER), _bc(new BaseContainer(bc)) {}

GeData::GeData(const GeData& o)
{
	*this = o;
}

GeData& GeData::operator=(const GeData& o)
{
	if (this == &o)
		return *this;
	_type = o._type;
	_l = o._l;
	_f = o._f;
	_v = o._v;
	_s = o._s;
	_t = o._t;
	_link = o._link;
	_p = o._p;
	_gradient.reset(o._gradient ? new Gradient(*o._gradient) : nullptr);
	_bc.reset(o._bc ? new BaseContainer(*o._bc) : nullptr);
	return *this;
}

GeData::~GeData() = default;

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
		case DA_LLONG: return static_cast<Int32>(_l);
		case DA_REAL: return FloatToInt<Int32>(_f);
		default: return 0;
	}
}

Int64 GeData::GetInt64() const
{
	switch (_type)
	{
		case DA_LONG:
		case DA_LLONG: return _l;
		case DA_REAL: return FloatToInt<Int64>(_f);
		default: return 0;
	}
}

Float GeData::GetFloat() const
{
	switch (_type)
	{
		case DA_REAL: return _f;
		case DA_LONG:
		case DA_LLONG: return static_cast<Float>(_l);
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
		case DA_LLONG: return _l == o._l;
		case DA_REAL: return _f == o._f;
		case DA_VECTOR: return _v == o._v;
		case DA_STRING:
		case DA_FILENAME: return _s == o._s;
		case DA_TIME: return _t == o._t;
		case DA_ALIASLINK: return _link == o._link && _l == o._l;
		case DA_VOID: return _p == o._p;
		case DA_GRADIENT: return *_gradient == *o._gradient;
		case DA_CONTAINER: return *_bc == *o._bc;
	}
	return false;
}

static const GeData kNil;

const GeData* BaseContainer::GetDataPointer(Int32 id) const
{
	auto it = _values.find(id);
	return it == _values.end() ? nullptr : &it->second;
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
	auto it = _values.find(id);
	if (it == _values.end() || it->second.GetType() != DA_CONTAINER)
		return nullptr;
	return const_cast<BaseContainer*>(it->second.GetContainer());
}

std::vector<Int32> BaseContainer::GetIds() const
{
	std::vector<Int32> ids;
	ids.reserve(_values.size());
	for (const auto& kv : _values)
		ids.push_back(kv.first);
	return ids;
}
