// TWParticleImporter.h - particle sequence played back as Thinking Particles.
#pragma once

#include "c4d.h"

class TWParticleImporter : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWParticleImporter(); }
};
