// TWSDAnim.h - SD animation of one imported object.
#pragma once

#include "c4d.h"

class TWSDAnim : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWSDAnim(); }
};
