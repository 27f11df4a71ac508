// TWMeshImporter.h - mesh sequence rebuilt as a polygon object.
#pragma once

#include "c4d.h"

class TWMeshImporter : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWMeshImporter(); }
};
