// TWParticleShader.h - the particle shader: surfaces coloured from the imported particles.
#pragma once

#include "c4d.h"

class TWParticleShader : public ShaderData
{
public:
	static NodeData* Alloc() { return new TWParticleShader(); }
};
