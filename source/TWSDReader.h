// TWSDReader.h - SD scene replayed as the timeline moves.
#pragma once

#include "c4d.h"

class TWSDReader : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWSDReader(); }
};
