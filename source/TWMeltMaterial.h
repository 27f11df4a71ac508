// TWMeltMaterial.h - the melt material.
#pragma once

#include "c4d.h"

class TWMeltMaterial : public MaterialData
{
public:
	static NodeData* Alloc() { return new TWMeltMaterial(); }
};
