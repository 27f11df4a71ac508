// mesh_chunk.cpp - reading and writing chunked mesh frames.
#include "mesh_chunk.h"

int MeshChunkRead(MeshBinFile* file)
{
	(void)file;
	return 0;
}

int MeshChunkWrite(const MeshBinFile* file, const char* path)
{
	(void)file;
	(void)path;
	return 0;
}
