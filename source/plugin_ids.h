// plugin_ids.h - the eleven plug-in IDs, in registration order. Documents store them: never renumber.
#pragma once

enum
{
	ID_TW_PARTICLE_IMPORTER = 1026261,
	ID_TW_PARTICLE_EXPORTER = 1026262,
	ID_TW_PARTICLE_NODE = 1026267,
	ID_TW_SD_IMPORTER = 1026263,
	ID_TW_SD_ANIM = 1026265,
	ID_TW_SD_READER = 1028472,
	ID_TW_SD_EXPORTER = 1026264,
	ID_TW_MESH_IMPORTER = 1026266,
	ID_TW_MESH_EXPORTER = 1026928,
	ID_TW_MELT_MATERIAL = 1031575,
	ID_TW_PARTICLE_SHADER = 1031723,
};

// Host library of the particle system.
constexpr int ID_THINKING_PARTICLES_LIBRARY = 1001428;

// Menu group into which the melt material is filed in the material manager.
constexpr int ID_MELT_MATERIAL_MENU_GROUP = 1003;
