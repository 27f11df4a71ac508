// c4d_tag.h - tags: data attached to an object (texture coordinates, vertex maps, phong, texture).
#pragma once

#include "c4d_baselist.h"

class BaseObject;

// Tag info flags, and the SDK's "either" of three-way arguments.
enum
{
	NOTOK = -1,
	TAG_VISIBLE = 1 << 0,
	TAG_MULTIPLE = 1 << 1,
};

class BaseTag : public BaseList2D
{
public:
	// A built-in tag type (Tuvw, Tvertexmap, Tphong, Ttexture, ...) or a registered tag plug-in's ID.
	static BaseTag* Alloc(Int32 type);
	static void Free(BaseTag*& tag);

	BaseObject* GetObject() const { return _object; }
	// A copy with the container, name and data of this tag, not attached to any object.
	BaseTag* GetClone(Int32 flags = COPYFLAGS_NONE) const;
	BaseTag* GetNext() const { return static_cast<BaseTag*>(GeListNode::GetNext()); }
	BaseTag* GetPred() const { return static_cast<BaseTag*>(GeListNode::GetPred()); }
	// TAG_* flags of the tag's type: the point and polygon data tags are the invisible ones.
	Int32 GetInfo() const;
	// Whether the tag holds one entry per point or per polygon (a VariableTag).
	virtual Bool IsVariable() const { return false; }

	~BaseTag() override;

protected:
	explicit BaseTag(Int32 type) : BaseList2D(type) {}
	// The bare copy of the derived kind (a tag with data arrays copies them).
	virtual BaseTag* CloneSelf() const { return new BaseTag(_type); }

	BaseObject* _object = nullptr;

	friend class BaseObject;
};
