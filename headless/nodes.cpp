// nodes.cpp - scene nodes, objects and documents of the headless host.
#include "host_state.h"

#include "c4d_camera.h"
#include "c4d_graphview.h"
#include "c4d_material.h"
#include "c4d_particleobject.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"

#include <unordered_map>

using headless::State;

namespace
{

// Never destroyed: nodes freed by static destructors at exit still find it.
std::unordered_map<const GeListNode*, UInt64>& LiveNodes()
{
	static auto* nodes = new std::unordered_map<const GeListNode*, UInt64>();
	return *nodes;
}

} // namespace

UInt64 headless::NodeSerial(const GeListNode* node)
{
	auto it = LiveNodes().find(node);
	return it != LiveNodes().end() ? it->second : 0;
}

GeListNode::GeListNode(Int32 type) : _type(type)
{
	static UInt64 serial = 0;
	LiveNodes()[this] = ++serial;
}

GeListNode::~GeListNode()
{
	FreeNodeData();
	LiveNodes().erase(this);
}

void GeListNode::FreeNodeData()
{
	if (_data)
	{
		_data->Free(this);
		delete _data;
		_data = nullptr;
		State().plugin_nodes.erase(this);
	}
}

Bool GeListNode::AttachNodeData()
{
	const headless::Registration* reg = headless::FindRegistration(_type);
	if (!reg || !reg->alloc)
		return false;
	_data = reg->alloc();
	if (!_data)
		return false;
	State().plugin_nodes.insert(this);
	return _data->Init(this);
}

Bool GeListNode::Message(Int32 type, void* data)
{
	return _data ? _data->Message(this, type, data) : true;
}

void GeListNode::InsertUnder(GeListNode* parent)
{
	Remove();
	if (!parent)
		return;
	_up = parent;
	_next = parent->_down;
	if (_next)
		_next->_pred = this;
	parent->_down = this;
	_doc = parent->_doc;
}

void GeListNode::InsertUnderLast(GeListNode* parent)
{
	Remove();
	if (!parent)
		return;
	GeListNode* last = parent->_down;
	if (!last)
	{
		InsertUnder(parent);
		return;
	}
	while (last->_next)
		last = last->_next;
	InsertAfter(last);
}

void GeListNode::InsertAfter(GeListNode* pred)
{
	Remove();
	if (!pred)
		return;
	_up = pred->_up;
	_pred = pred;
	_next = pred->_next;
	if (_next)
		_next->_pred = this;
	pred->_next = this;
	_doc = pred->_doc;
}

void GeListNode::Remove()
{
	if (_pred)
		_pred->_next = _next;
	else if (_up && _up->_down == this)
		_up->_down = _next;
	if (_next)
		_next->_pred = _pred;
	if (_doc && !_up && !_pred && _doc->_first == static_cast<void*>(this))
		_doc->_first = static_cast<BaseObject*>(_next);
	_up = _pred = _next = nullptr;
	_doc = nullptr;
}

BaseDocument* GeListNode::GetDocument() const
{
	return _doc;
}

BaseObject* BaseObject::Alloc(Int32 type)
{
	if (type == Opolygon)
		return PolygonObject::Alloc(0, 0);
	if (type == Oparticle)
		return ParticleObject::Alloc();
	BaseObject* op = new BaseObject(type);
	if (type == Ocamera)
	{
		// a 36 mm lens on a 36 mm film back, clipping off
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(CAMERA_FOCUS, 36.0);
		bc->SetFloat(CAMERAOBJECT_APERTURE, 36.0);
		bc->SetFloat(CAMERAOBJECT_NEAR_CLIPPING, 0.0);
		bc->SetBool(CAMERAOBJECT_NEAR_CLIPPING_ENABLE, false);
		bc->SetFloat(CAMERAOBJECT_FAR_CLIPPING, 20000.0);
		bc->SetBool(CAMERAOBJECT_FAR_CLIPPING_ENABLE, false);
	}
	if (type == Oinstance)
		op->GetDataInstance()->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, 0);
	if (type == Ocube)
		op->GetDataInstance()->SetVector(PRIM_CUBE_LEN, Vector(200.0, 200.0, 200.0));
	if (type == Osphere)
	{
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(PRIM_SPHERE_RAD, 100.0);
		bc->SetInt32(PRIM_SPHERE_SUB, 24);
	}
	if (type == Odisc)
	{
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(PRIM_DISC_IRAD, 0.0);
		bc->SetFloat(PRIM_DISC_ORAD, 100.0);
		bc->SetInt32(PRIM_DISC_SUB, 1);
		bc->SetInt32(PRIM_DISC_SEG, 36);
	}
	if (type == Olight)
	{
		BaseContainer* bc = op->GetDataInstance();
		bc->SetVector(LIGHT_COLOR, Vector(1.0, 1.0, 1.0));
		bc->SetFloat(LIGHT_BRIGHTNESS, 1.0);
		bc->SetInt32(LIGHT_TYPE, LIGHT_TYPE_OMNI);
	}
	if (type == Ocamera || type == Onull || type == Oinstance || type == Opolygongroup || type == Ocube || type == Osphere ||
		type == Odisc || type == Olight)
		return op;
	if (!op->AttachNodeData())
	{
		delete op;
		return nullptr;
	}
	return op;
}

void BaseObject::Free(BaseObject*& op)
{
	if (!op)
		return;
	op->Remove();
	delete op;
	op = nullptr;
}

BaseObject::~BaseObject()
{
	// The plug-in's Free still sees the whole object: its container, tags and children.
	FreeNodeData();
	while (_first_tag)
	{
		BaseTag* tag = _first_tag;
		BaseTag::Free(tag);
	}
	while (GetDown())
	{
		BaseObject* child = GetDown();
		BaseObject::Free(child);
	}
	// the host owns what a generator returned and what its deformers made
	BaseObject::Free(_cache);
	BaseObject::Free(_deform_cache);
}

Matrix BaseObject::GetMg() const
{
	Matrix m = _ml;
	for (const BaseObject* p = GetUp(); p; p = p->GetUp())
		m = p->_ml * m;
	return m;
}

void BaseObject::SetMg(const Matrix& m)
{
	BaseObject* up = GetUp();
	SetMl(up ? ~up->GetMg() * m : m);
}

BaseDocument::BaseDocument() : BaseList2D(0)
{
	_doc = this;
}

BaseDocument::~BaseDocument()
{
	while (_first)
	{
		BaseObject* op = _first;
		BaseObject::Free(op);
	}
	// after the objects: freeing an importer frees its particles and group in the master
	delete _particles;
	_particles = nullptr;
	while (_first_material)
	{
		BaseMaterial* mat = _first_material;
		BaseMaterial::Free(mat);
	}
	delete _draw;
	_draw = nullptr;
	if (State().active_doc == this)
	{
		State().active_doc = nullptr;
		State().owns_active_doc = false;
	}
}

BaseDocument* BaseDocument::Alloc()
{
	return new BaseDocument();
}

void BaseDocument::Free(BaseDocument*& doc)
{
	delete doc;
	doc = nullptr;
}

BaseObject* BaseDocument::GetFirstObject() const
{
	return _first;
}

void BaseDocument::InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred)
{
	if (!op)
		return;
	op->Remove();
	if (pred)
		op->InsertAfter(pred);
	else if (parent)
		op->InsertUnder(parent);
	else
	{
		op->_next = _first;
		if (_first)
			_first->_pred = op;
		_first = op;
	}
	// The whole subtree now belongs to this document.
	std::vector<GeListNode*> stack{op};
	while (!stack.empty())
	{
		GeListNode* n = stack.back();
		stack.pop_back();
		n->_doc = this;
		for (GeListNode* c = n->GetDown(); c; c = c->GetNext())
			stack.push_back(c);
	}
}

BaseDocument* GetActiveDocument()
{
	auto& s = State();
	if (!s.active_doc)
	{
		s.active_doc = BaseDocument::Alloc();
		s.owns_active_doc = true;
	}
	return s.active_doc;
}

void headless::SetActiveDocument(BaseDocument* doc)
{
	auto& s = State();
	if (s.owns_active_doc && s.active_doc != doc)
	{
		BaseDocument* old = s.active_doc;
		s.active_doc = nullptr;
		BaseDocument::Free(old);
	}
	s.active_doc = doc;
	s.owns_active_doc = false;
}

BaseTag* BaseTag::Alloc(Int32 type)
{
	if (type == Tuvw)
		return UVWTag::Alloc(0);
	if (type == Tvertexmap)
		return VertexMapTag::Alloc(0);
	if (type == Tparticle)
		return ParticleTag::Alloc(0);
	if (headless::TagAllocationRefused(type))
		return nullptr;
	if (type == Ttexture)
		return new TextureTag();
	if (type == Texpresso)
		return XPressoTag::Alloc();
	BaseTag* tag = new BaseTag(type);
	if (headless::FindRegistration(type) && !tag->AttachNodeData())
	{
		delete tag;
		return nullptr;
	}
	return tag;
}

void BaseTag::Free(BaseTag*& tag)
{
	if (!tag)
		return;
	if (tag->_object)
		tag->_object->RemoveTag(tag);
	delete tag;
	tag = nullptr;
}

BaseTag::~BaseTag() = default;

BaseTag* BaseObject::GetTag(Int32 type, Int32 nr) const
{
	for (BaseTag* t = _first_tag; t; t = t->GetNext())
		if (t->GetType() == type && nr-- == 0)
			return t;
	return nullptr;
}

void BaseObject::InsertTag(BaseTag* tag, BaseTag* pred)
{
	if (!tag)
		return;
	if (tag->_object)
		tag->_object->RemoveTag(tag);
	tag->_object = this;
	tag->_doc = _doc;
	if (pred && pred->_object == this)
	{
		tag->_pred = pred;
		tag->_next = pred->_next;
		if (tag->_next)
			tag->_next->_pred = tag;
		pred->_next = tag;
	}
	else
	{
		tag->_next = _first_tag;
		if (_first_tag)
			_first_tag->_pred = tag;
		_first_tag = tag;
	}
}

BaseTag* BaseObject::MakeTag(Int32 type, BaseTag* pred)
{
	BaseTag* tag = BaseTag::Alloc(type);
	if (!tag)
		return nullptr;
	if (!pred)
		for (pred = _first_tag; pred && pred->GetNext(); pred = pred->GetNext())
		{
		}
	InsertTag(tag, pred);
	return tag;
}

void BaseObject::RemoveTag(BaseTag* tag)
{
	if (!tag || tag->_object != this)
		return;
	if (tag->_pred)
		tag->_pred->_next = tag->_next;
	else
		_first_tag = static_cast<BaseTag*>(tag->_next);
	if (tag->_next)
		tag->_next->_pred = tag->_pred;
	tag->_pred = tag->_next = nullptr;
	tag->_object = nullptr;
}

Bool GeListNode::CopyNodeDataTo(GeListNode* dest) const
{
	if (!_data)
		return true;
	// Init writes the defaults; the source's container then replaces them, before CopyTo sees the copy.
	if (!dest->AttachNodeData())
		return false;
	if (const BaseList2D* src = dynamic_cast<const BaseList2D*>(this))
		if (BaseList2D* dst = dynamic_cast<BaseList2D*>(dest))
			dst->_bc = src->_bc;
	return _data->CopyTo(dest->_data, const_cast<GeListNode*>(this), dest);
}

BaseTag* BaseTag::GetClone(Int32 flags) const
{
	(void)flags;
	BaseTag* copy = CloneSelf();
	if (!copy)
		return nullptr;
	copy->_bc = _bc;
	copy->_name = _name;
	if (!CopyNodeDataTo(copy))
	{
		delete copy;
		return nullptr;
	}
	return copy;
}

BaseObject* BaseObject::GetClone(Int32 flags) const
{
	BaseObject* copy = CloneSelf();
	if (!copy)
		return nullptr;
	copy->_bc = _bc;
	copy->_name = _name;
	copy->_ml = _ml;
	copy->_editor_mode = _editor_mode;
	copy->_render_mode = _render_mode;
	headless::CopyTracks(this, copy);
	if (!CopyNodeDataTo(copy))
	{
		delete copy;
		return nullptr;
	}
	BaseTag* last = nullptr;
	for (BaseTag* t = _first_tag; t; t = t->GetNext())
	{
		BaseTag* tc = t->GetClone(flags);
		if (!tc)
			continue;
		copy->InsertTag(tc, last);
		last = tc;
	}
	if (!(flags & COPYFLAGS_NO_HIERARCHY))
	{
		// each copy goes after the previous one: finding the last child anew would make a copy of a
		// render result with a million instances take a million squared steps
		BaseObject* last = nullptr;
		for (BaseObject* c = GetDown(); c; c = c->GetNext())
			if (BaseObject* cc = c->GetClone(flags))
			{
				if (last)
					cc->InsertAfter(last);
				else
					cc->InsertUnder(copy);
				last = cc;
			}
	}
	return copy;
}

Bool BaseList2D::SetParameter(Int32 id, const GeData& value)
{
	_bc.SetData(id, value);
	SetDirty(DIRTYFLAGS_DATA);
	return true;
}

void BaseList2D::SetDirty(Int32 flags)
{
	if (flags & DIRTYFLAGS_DATA)
		++_dirty_data;
	if (flags & DIRTYFLAGS_MATRIX)
		++_dirty_matrix;
	if (flags & DIRTYFLAGS_CACHE)
		++_dirty_cache;
}

UInt32 BaseList2D::GetDirty(Int32 flags) const
{
	return ((flags & DIRTYFLAGS_DATA) ? _dirty_data : 0) + ((flags & DIRTYFLAGS_MATRIX) ? _dirty_matrix : 0) +
		((flags & DIRTYFLAGS_CACHE) ? _dirty_cache : 0);
}

Bool BaseObject::IsDirty(Int32 flags) const
{
	return ((flags & DIRTYFLAGS_DATA) && _dirty_data != _cache_dirty) ||
		((flags & DIRTYFLAGS_MATRIX) && _dirty_matrix != _cache_dirty_matrix);
}
