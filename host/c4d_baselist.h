// c4d_baselist.h - scene nodes: the list node with its plug-in data, and the named, parameterised node.
#pragma once

#include "c4d_container.h"

class NodeData;
class BaseDocument;

// Node types the module allocates or looks for.
enum
{
	Opolygon = 5100,
	Ocamera = 5103,
	Onull = 5140,
	Tpolygon = 5604,
	Tphong = 5612,
	Ttexture = 5616,
	Tuvw = 5671,
	Tvertexmap = 5682,
	Mmaterial = 5703,
};

// Common messages of scene nodes.
enum
{
	MSG_POINTS_CHANGED = 5,
	MSG_MENUPREPARE = 18,
	MSG_DESCRIPTION_VALIDATE = 19,
	MSG_DESCRIPTION_COMMAND = 22,
	MSG_DESCRIPTION_POSTSETPARAMETER = 31,
	MSG_GETALLASSETS = 112004,
	MSG_MULTI_RENDERNOTIFICATION = 1001071,
};

class GeListNode
{
public:
	virtual ~GeListNode();

	Int32 GetType() const { return _type; }
	NodeData* GetNodeData() const { return _data; }
	// Sends a message to the node's plug-in data; the node's answer.
	Bool Message(Int32 type, void* data = nullptr);

	GeListNode* GetUp() const { return _up; }
	GeListNode* GetDown() const { return _down; }
	GeListNode* GetNext() const { return _next; }
	GeListNode* GetPred() const { return _pred; }
	void InsertUnder(GeListNode* parent);
	void InsertUnderLast(GeListNode* parent);
	void InsertAfter(GeListNode* pred);
	void Remove();

	BaseDocument* GetDocument() const;

protected:
	GeListNode(Int32 type);
	// Creates and initialises the plug-in data of a registered plug-in type; false when there is none.
	Bool AttachNodeData();
	// Gives a copy its own plug-in data: allocated and initialised, then CopyTo from this node's data.
	Bool CopyNodeDataTo(GeListNode* dest) const;

	Int32 _type = 0;
	NodeData* _data = nullptr;
	GeListNode* _up = nullptr;
	GeListNode* _down = nullptr;
	GeListNode* _next = nullptr;
	GeListNode* _pred = nullptr;
	BaseDocument* _doc = nullptr;

	friend class BaseDocument;
	friend class BaseObject;
};

// Copy flags.
enum
{
	COPYFLAGS_NONE = 0,
	COPYFLAGS_NO_HIERARCHY = 4,
	COPYFLAGS_NO_BITS = 8,
};

class BaseList2D : public GeListNode
{
public:
	BaseContainer* GetDataInstance() { return &_bc; }
	const BaseContainer* GetDataInstance() const { return &_bc; }
	BaseContainer GetData() const { return _bc; }
	void SetData(const BaseContainer& bc) { _bc = bc; }
	String GetName() const { return _name; }
	void SetName(const String& name) { _name = name; }

protected:
	explicit BaseList2D(Int32 type) : GeListNode(type) {}

	BaseContainer _bc;
	String _name;
};
