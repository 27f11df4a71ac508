// user_parameter.cpp - a parameter set as the attribute manager sets it: in the description's type,
// within its limits, followed by the messages of a user's change.
#include "host_state.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

bool IsNumber(const GeData& v)
{
	return v.GetType() == DA_LONG || v.GetType() == DA_LLONG || v.GetType() == DA_REAL;
}

Float Limited(const DescElement& e, Float v)
{
	if (e.has_min)
		v = std::max(v, e.min);
	if (e.has_max)
		v = std::min(v, e.max);
	return v;
}

// The value as an element of this description type holds it; false when the attribute manager could
// not produce it (another kind of value, or not a number).
bool Convert(const DescElement& e, const GeData& in, GeData* out)
{
	switch (e.dtype)
	{
		case DTYPE_LONG:
		{
			if (!IsNumber(in))
				return false;
			const Float v = in.GetType() == DA_REAL ? in.GetFloat() : static_cast<Float>(in.GetInt64());
			if (std::isnan(v))
				return false;
			// An integer field takes the nearest whole number, halves away from zero.
			const Float r = std::round(Limited(e, v));
			const Float lo = std::numeric_limits<Int32>::min(), hi = std::numeric_limits<Int32>::max();
			*out = GeData(static_cast<Int32>(std::min(std::max(r, lo), hi)));
			return true;
		}
		case DTYPE_REAL:
		{
			if (!IsNumber(in) || (in.GetType() == DA_REAL && std::isnan(in.GetFloat())))
				return false;
			const Float v = in.GetType() == DA_REAL ? in.GetFloat() : static_cast<Float>(in.GetInt64());
			*out = GeData(Limited(e, v));
			return true;
		}
		case DTYPE_BOOL:
		{
			if (!IsNumber(in) || (in.GetType() == DA_REAL && std::isnan(in.GetFloat())))
				return false;
			*out = GeData(Bool(in.GetType() == DA_REAL ? in.GetFloat() != 0.0 : in.GetInt64() != 0));
			return true;
		}
		case DTYPE_VECTOR:
		{
			if (in.GetType() != DA_VECTOR)
				return false;
			const Vector v = in.GetVector();
			if (std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z))
				return false;
			*out = GeData(Vector(Limited(e, v.x), Limited(e, v.y), Limited(e, v.z)));
			return true;
		}
		case DTYPE_STRING:
			if (in.GetType() != DA_STRING && in.GetType() != DA_FILENAME)
				return false;
			*out = GeData(String(in.GetFilename().Get()));
			return true;
		case DTYPE_FILENAME:
			if (in.GetType() != DA_STRING && in.GetType() != DA_FILENAME)
				return false;
			*out = GeData(in.GetFilename());
			return true;
		case DTYPE_TIME:
			if (in.GetType() != DA_TIME)
				return false;
			*out = in;
			return true;
		default:
			// links, gradients and the like pass as they are
			*out = in;
			return true;
	}
}

} // namespace

Bool headless::UserSetParameter(BaseList2D* node, Int32 id, const GeData& value)
{
	if (!node)
		return false;
	GeData stored = value;
	const std::vector<DescElement> desc = GetDescription(node);
	const auto e = std::find_if(desc.begin(), desc.end(), [id](const DescElement& d) { return d.id == id; });
	// A parameter the description does not show is taken as given.
	if (e != desc.end() && !Convert(*e, value, &stored))
		return false;
	if (!node->SetParameter(id, stored))
		return false;
	DescriptionPostSetValue ps;
	ps.id = id;
	node->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &ps);
	DescriptionCheckUpdate du;
	du.id = id;
	node->Message(MSG_DESCRIPTION_CHECKUPDATE, &du);
	node->Message(MSG_DESCRIPTION_USERINTERACTION_END, nullptr);
	return true;
}
