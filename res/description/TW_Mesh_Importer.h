#ifndef TW_MESH_IMPORTER_H__
#define TW_MESH_IMPORTER_H__

enum
{
	TW_Mesh_Importer = 1026266,
};

#endif
