#ifndef TW_PARTICLESHADER_H__
#define TW_PARTICLESHADER_H__

enum
{
	TW_ParticleShader = 1031723,
};

#endif
