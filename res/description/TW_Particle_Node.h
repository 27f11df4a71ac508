#ifndef TW_PARTICLE_NODE_H__
#define TW_PARTICLE_NODE_H__

enum
{
	TW_Particle_Node = 1026267,
};

#endif
