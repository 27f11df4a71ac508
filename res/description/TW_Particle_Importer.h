#ifndef TW_PARTICLE_IMPORTER_H__
#define TW_PARTICLE_IMPORTER_H__

enum
{
	TW_Particle_Importer = 1026261,
};

#endif
