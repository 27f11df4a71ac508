// TW_Particle_Node.h - parameter IDs of the particle node; documents store them, never renumber.
#ifndef TW_PARTICLE_NODE_H__
#define TW_PARTICLE_NODE_H__

enum
{
	TW_Particle_Node = 1026267,

	// in the operator's own container: name of the group to read, empty for the tag's object's
	TW_PN_GROUP = 1001,
};

#endif
