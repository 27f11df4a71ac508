// c4d_baselist.h - scene nodes: the list node with its plug-in data, and the named, parameterised node.
#pragma once

#include "c4d_container.h"

class NodeData;
class BaseDocument;
class BaseShader;
class CTrack;
struct DescID;

// Node types the module allocates or looks for.
enum
{
	Opolygon = 5100,
	Olight = 5102,
	Ocamera = 5103,
	Oparticle = 5109, // the standard emitter
	Oinstance = 5126, // refers to another object (INSTANCEOBJECT_LINK)
	Onull = 5140,
	Obase = 5155, // every object is an instance of it
	Ocube = 5159,
	Osphere = 5160,
	Odisc = 5164,
	Opolygongroup = 1019268, // heads a group of polygon objects, its children
	Tpolygon = 5604,
	Tphong = 5612,
	Tparticle = 5630, // the standard emitter's particle tag
	Ttexture = 5616,
	Tuvw = 5671,
	Tvertexmap = 5682,
	Mbase = 5702, // every material is an instance of it
	Mmaterial = 5703,
	Xbase = 5707, // every shader is an instance of it
};

// Common messages of scene nodes.
enum
{
	MSG_POINTS_CHANGED = 1,
	MSG_UPDATE = 5,
	MSG_FILTER = 14,
	MSG_DESCRIPTION_CHECKUPDATE = 17,
	MSG_DESCRIPTION_COMMAND = 18,
	MSG_DESCRIPTION_POSTSETPARAMETER = 19,
	MSG_MENUPREPARE = 22,
	MSG_DESCRIPTION_USERINTERACTION_END = 31,
	MSG_GETALLASSETS = 112004,
	MSG_MULTI_RENDERNOTIFICATION = 1001071,
};

namespace headless
{
class Module;
}

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
	// NodeData::Free, then the plug-in data is deleted; a node's destructor calls it while the node is
	// still whole.
	void FreeNodeData();

	Int32 _type = 0;
	NodeData* _data = nullptr;
	GeListNode* _up = nullptr;
	GeListNode* _down = nullptr;
	GeListNode* _next = nullptr;
	GeListNode* _pred = nullptr;
	BaseDocument* _doc = nullptr;

	friend class BaseDocument;
	friend class BaseObject;
	friend class BaseList2D;
	friend class BaseShader;
	friend class headless::Module; // unloading frees the plug-in data of nodes that stay
};

// Copy flags.
enum
{
	COPYFLAGS_NONE = 0,
	COPYFLAGS_NO_HIERARCHY = 4,
	COPYFLAGS_NO_BITS = 16,
};

// Dirty flags.
enum
{
	DIRTYFLAGS_MATRIX = 2,
	DIRTYFLAGS_DATA = 4,
	DIRTYFLAGS_CACHE = 16, // a generator's cache was rebuilt
};

// Data of MSG_DESCRIPTION_COMMAND: the button that was pressed.
struct DescriptionCommand
{
	Int32 id = 0;
};

// Data of MSG_DESCRIPTION_POSTSETPARAMETER: the parameter that was set.
struct DescriptionPostSetValue
{
	Int32 id = 0;
};

// Data of MSG_DESCRIPTION_CHECKUPDATE: the parameter whose change may alter the description.
struct DescriptionCheckUpdate
{
	Int32 id = 0;
};

// Data of MSG_MULTI_RENDERNOTIFICATION: sent to every object when a render starts and when it ends.
struct RenderNotificationData
{
	BaseDocument* doc = nullptr;
	Bool start = false;
};

// One asset of a document, as MSG_GETALLASSETS collects them.
struct AssetEntry
{
	Filename file;
	BaseList2D* owner = nullptr;
	Int32 param_id = -1;
	Int32 channel_id = -1;
};

// Data of MSG_GETALLASSETS.
struct AssetData
{
	BaseDocument* doc = nullptr;
	Int32 flags = 0;
	std::vector<AssetEntry>* list = nullptr;
	Bool Add(const Filename& fn, BaseList2D* owner, Int32 param_id = -1, Int32 channel_id = -1)
	{
		if (!list)
			return false;
		list->push_back({fn, owner, param_id, channel_id});
		return true;
	}
};

// Flag bits of MSG_GETALLASSETS: the collection is for a network render (the module then reports its
// cache sequences); the files of caches are wanted too.
enum
{
	ASSETDATA_FLAG_NET = 4,
	ASSETDATA_FLAG_WITHCACHES = 16,
};

class BaseList2D : public GeListNode
{
public:
	// Sets one parameter: the value lands in the container as given and the node is marked dirty. What
	// the attribute manager adds (the description's type and limits, its messages) is not done here.
	Bool SetParameter(Int32 id, const GeData& value);
	GeData GetParameter(Int32 id) const { return _bc.GetData(id); }
	void SetDirty(Int32 flags);
	// A counter that grows with every change of the given kind.
	UInt32 GetDirty(Int32 flags) const;

	// Whether the node is of this type or of a base type its kind belongs to (Obase for objects, Mbase
	// for materials, Xbase for shaders).
	virtual Bool IsInstanceOf(Int32 type) const { return type == _type; }

	// Shaders the node owns (a document's shader list, a material's shaders): inserted after pred, or
	// first when pred is null. The node frees them with itself.
	void InsertShader(BaseShader* shader, BaseShader* pred = nullptr);
	BaseShader* GetFirstShader() const { return _first_shader; }

	BaseContainer* GetDataInstance() { return &_bc; }
	const BaseContainer* GetDataInstance() const { return &_bc; }
	BaseContainer GetData() const { return _bc; }
	void SetData(const BaseContainer& bc) { _bc = bc; }
	String GetName() const { return _name; }
	void SetName(const String& name) { _name = name; }

	// Animation tracks (c4d_animation.h), kept in the order of their IDs. The node owns inserted
	// tracks and frees them with itself.
	CTrack* GetFirstCTrack() const { return _first_track; }
	CTrack* FindCTrack(const DescID& id) const;
	void InsertTrackSorted(CTrack* track);

	~BaseList2D() override;

protected:
	explicit BaseList2D(Int32 type) : GeListNode(type) {}

	BaseContainer _bc;
	String _name;
	UInt32 _dirty_data = 1;
	UInt32 _dirty_matrix = 1;
	UInt32 _dirty_cache = 0;
	CTrack* _first_track = nullptr;
	BaseShader* _first_shader = nullptr;
	friend class GeListNode;
	friend class BaseShader;
	friend class CTrack;
};
