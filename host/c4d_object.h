// c4d_object.h - scene objects: matrices and hierarchy.
#pragma once

#include "c4d_baselist.h"

class BaseObject : public BaseList2D
{
public:
	// A built-in object type (Opolygon, Ocamera, Onull) or a registered object plug-in's ID.
	static BaseObject* Alloc(Int32 type);
	static void Free(BaseObject*& op);

	BaseObject* GetUp() const { return static_cast<BaseObject*>(GeListNode::GetUp()); }
	BaseObject* GetDown() const { return static_cast<BaseObject*>(GeListNode::GetDown()); }
	BaseObject* GetNext() const { return static_cast<BaseObject*>(GeListNode::GetNext()); }
	BaseObject* GetPred() const { return static_cast<BaseObject*>(GeListNode::GetPred()); }

	Matrix GetMl() const { return _ml; }
	void SetMl(const Matrix& m) { _ml = m; }
	// The global matrix: the parents' local matrices applied in turn.
	Matrix GetMg() const;
	void SetMg(const Matrix& m);

	~BaseObject() override;

protected:
	explicit BaseObject(Int32 type) : BaseList2D(type) {}

	Matrix _ml;
};
