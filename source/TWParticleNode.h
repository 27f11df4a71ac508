// TWParticleNode.h - XPresso node reading the imported particles.
#pragma once

#include "c4d.h"

class TWParticleNode : public GvOperatorData
{
public:
	static NodeData* Alloc() { return new TWParticleNode(); }
};
