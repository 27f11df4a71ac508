// info_mesh.h - what `twconnect info` reports about a mesh .bin frame file.
#pragma once

#include <string>

// False, with the reason in `error`, when the file is not a readable mesh .bin; otherwise `out`
// holds a human report (counts, blocks present, bounds) or, with `json`, one JSON object whose
// "format" is "mesh-bin".
bool InfoMeshBin(const char* path, bool json, std::string& out, std::string& error);
