// c4d_description.h - the elements an attribute manager shows for a node, and their data types.
#pragma once

#include "c4d_container.h"

#include <vector>

// Data types of description elements (also the types of particle data channels).
enum
{
	DTYPE_NONE = 0,
	DTYPE_GROUP = 1,
	DTYPE_BUTTON = 8,
	DTYPE_SEPARATOR = 11,
	DTYPE_STATICTEXT = 12,
	DTYPE_LONG = 15,
	DTYPE_REAL = 19,
	DTYPE_TIME = 22,
	DTYPE_VECTOR = 23,
	DTYPE_STRING = 130,
	DTYPE_FILENAME = 131,
	DTYPE_BASELISTLINK = 133,
	DTYPE_GRADIENT = 1000481, // CUSTOMDATATYPE_GRADIENT
	DTYPE_BOOL = 400006001,
	CUSTOMDATATYPE_GRADIENT = DTYPE_GRADIENT,
	// XPresso port types of a Thinking Particles particle: its data type and its value type.
	ID_TP_DATA_TYPE_PARTICLE = 1001395,
	ID_TP_VALUE_TYPE_PARTICLE = 1001394,
};

// Settings of one element, in the container passed with it.
enum
{
	DESC_NAME = 1,
	DESC_MIN = 5,		   // smallest value the attribute manager accepts
	DESC_MAX = 6,		   // largest value the attribute manager accepts
	DESC_PARENTGROUP = 13, // the group the element sits in
	DESC_CYCLE = 14,	   // sub-container: value -> text of a choice list
};

// One level of a parameter ID: the element, its data type and the node type that made it.
struct DescLevel
{
	DescLevel() = default;
	DescLevel(Int32 i, Int32 type = DTYPE_NONE, Int32 c = 0) : id(i), dtype(type), creator(c) {}
	Int32 id = 0;
	Int32 dtype = DTYPE_NONE;
	Int32 creator = 0;
};

// An element's ID together with its data type; a second level names a component of a vector
// parameter (an animation track's ID, see c4d_animation.h).
struct DescID
{
	DescID() = default;
	DescID(Int32 i) : id(i) {}
	DescID(Int32 i, Int32 type) : id(i), dtype(type) {}
	DescID(const DescLevel& a) : id(a.id), dtype(a.dtype) {}
	DescID(const DescLevel& a, const DescLevel& b) : id(a.id), dtype(a.dtype), sub(b.id), sub_dtype(b.dtype), depth(2) {}
	Int32 GetDepth() const { return depth; }
	DescLevel operator[](Int32 level) const { return level == 0 ? DescLevel(id, dtype) : DescLevel(sub, sub_dtype); }
	bool operator==(const DescID& o) const { return id == o.id && depth == o.depth && (depth < 2 || sub == o.sub); }
	bool operator!=(const DescID& o) const { return !(*this == o); }
	Int32 id = 0;
	Int32 dtype = DTYPE_NONE;
	Int32 sub = 0;
	Int32 sub_dtype = DTYPE_NONE;
	Int32 depth = 1;
};

// One element as the attribute manager shows it.
struct DescElement
{
	Int32 id = 0;
	Int32 dtype = DTYPE_NONE;
	String name;
	Int32 parent = 0; // enclosing group, 0 for the top
	std::vector<std::pair<Int32, String>> cycle;
	// The limits the attribute manager holds a number to (MIN / MAX, DESC_MIN / DESC_MAX).
	bool has_min = false, has_max = false;
	Float min = 0.0, max = 0.0;
};

// The defaults of an element of this data type (its settings container).
BaseContainer GetCustomDataTypeDefault(Int32 dtype);

class Description
{
public:
	// Loads the static elements of a registered node type from its description resource.
	Bool LoadDescription(Int32 type);
	// Adds (or replaces) one element with the settings in bc under group.
	Bool SetParameter(const DescID& id, const BaseContainer& bc, const DescID& group);

	const std::vector<DescElement>& Elements() const { return _elements; }
	const DescElement* Find(Int32 id) const;

private:
	std::vector<DescElement> _elements;
};

// Flag a plug-in returns from GetDDescription once it loaded its description.
enum
{
	DESCFLAGS_DESC_LOADED = 2,
};
