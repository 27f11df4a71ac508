// info_mesh.h - what `twconnect info` reports about mesh frame files: mesh .bin, chunked and .md.
#pragma once

#include <string>

// False, with the reason in `error`, when the file is not a readable mesh .bin; otherwise `out`
// holds a human report (counts, blocks present, bounds) or, with `json`, one JSON object whose
// "format" is "mesh-bin".
bool InfoMeshBin(const char* path, bool json, std::string& out, std::string& error);

// True when the file starts with "FORM", the header chunked mesh files are written with.
bool InfoMeshChunkDetect(const char* path);
// The same for a file read as a chunked mesh, whatever its header: counts, the vertex maps it holds
// and bounds; with `json` one object whose "format" is "mesh-chunked".
bool InfoMeshChunk(const char* path, bool json, std::string& out, std::string& error);

// True when the file starts with the .md magic or is named *.md (any case).
bool InfoMeshMdDetect(const char* path);
// The same for an .md file: header, counts and every channel in file order with its slot, value type
// and value range; with `json` one object whose "format" is "mesh-md".
bool InfoMeshMd(const char* path, bool json, std::string& out, std::string& error);
