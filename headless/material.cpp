// material.cpp - materials and a document's material list.
#include "host_state.h"

#include "c4d_material.h"

BaseMaterial* BaseMaterial::Alloc(Int32 type)
{
	if (type == Mmaterial)
		return new Material();
	BaseMaterial* mat = new BaseMaterial(type);
	if (!mat->AttachNodeData())
	{
		delete mat;
		return nullptr;
	}
	return mat;
}

void BaseMaterial::Free(BaseMaterial*& mat)
{
	if (!mat)
		return;
	mat->Remove();
	delete mat;
	mat = nullptr;
}

void BaseMaterial::Remove()
{
	if (_doc && _doc->_first_material == this)
		_doc->_first_material = GetNext();
	if (_pred)
		static_cast<BaseMaterial*>(_pred)->_next = _next;
	if (_next)
		static_cast<BaseMaterial*>(_next)->_pred = _pred;
	_pred = _next = nullptr;
	_up = nullptr;
	_doc = nullptr;
}

BaseMaterial::~BaseMaterial() = default;

BaseMaterial* BaseMaterial::GetClone(Int32 flags) const
{
	(void)flags;
	BaseMaterial* copy = nullptr;
	if (const Material* standard = dynamic_cast<const Material*>(this))
	{
		Material* m = new Material();
		for (const auto& ch : standard->_channels)
			m->GetChannel(ch.first)->SetData(ch.second->GetData());
		copy = m;
	}
	else
		copy = new BaseMaterial(_type);
	copy->_bc = _bc;
	copy->_name = _name;
	if (!CopyNodeDataTo(copy))
	{
		delete copy;
		return nullptr;
	}
	return copy;
}

BaseChannel* Material::GetChannel(Int32 id)
{
	std::unique_ptr<BaseChannel>& ch = _channels[id];
	if (!ch)
		ch.reset(new BaseChannel());
	return ch.get();
}

void BaseDocument::InsertMaterial(BaseMaterial* mat, BaseMaterial* pred)
{
	if (!mat)
		return;
	mat->Remove();
	mat->_doc = this;
	if (pred && pred->_doc == this)
	{
		mat->_pred = pred;
		mat->_next = pred->_next;
		if (mat->_next)
			mat->_next->_pred = mat;
		pred->_next = mat;
		return;
	}
	mat->_next = _first_material;
	if (_first_material)
		_first_material->_pred = mat;
	_first_material = mat;
}
