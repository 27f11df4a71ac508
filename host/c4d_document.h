// c4d_document.h - documents: their file, their objects and their time.
#pragma once

#include "c4d_baselist.h"

class BaseObject;

class BaseDocument : public BaseList2D
{
public:
	static BaseDocument* Alloc();
	static void Free(BaseDocument*& doc);

	// The folder the document was saved in, and its file name.
	Filename GetDocumentPath() const { return _path; }
	Filename GetDocumentName() const { return _file; }
	void SetDocumentPath(const Filename& path) { _path = path; }
	void SetDocumentName(const Filename& name) { _file = name; }

	BaseObject* GetFirstObject() const;
	void InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred);

	~BaseDocument() override;

private:
	BaseDocument();

	Filename _path, _file;
	BaseObject* _first = nullptr;

	friend class GeListNode;
};

// The document the user works in; the host always has one.
BaseDocument* GetActiveDocument();
