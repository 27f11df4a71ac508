// TWParticleShader.cpp - the particle shader: surfaces coloured from the imported particles.
#include "TWParticleShader.h"

#include "main.h"
#include "plugin_ids.h"

Bool RegisterTWParticleShader()
{
	String name = GeLoadString(ID_TW_PARTICLE_SHADER);
	if (!name.IsPopulated())
		return true;
	Bool ok = RegisterShaderPlugin(ID_TW_PARTICLE_SHADER, name, 0, TWParticleShader::Alloc, "TW_ParticleShader", 0);
	return ok;
}
