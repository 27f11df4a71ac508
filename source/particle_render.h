// particle_render.h - what the Particle Importer's render objects carry for the particle shader.
#pragma once

enum
{
	// Vector: the particle's colour, read back by the particle shader.
	TW_PARTICLE_COLOUR = 99999,
	// Bool: set on every object the importer makes for a particle while rendering.
	TW_PARTICLE_INSTANCE = 1123412345,
};
