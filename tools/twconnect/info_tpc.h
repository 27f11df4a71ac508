// info_tpc.h - what `twconnect info` reports about a particle .tpc frame file.
#pragma once

#include <string>

// True when the file starts with the .tpc magic.
bool InfoTpcDetect(const char* path);

// False, with the reason in `error`, when the file is not a readable .tpc frame; otherwise `out`
// holds a human report (version, particles, every channel with its type and compressed size) or,
// with `json`, one JSON object whose "format" is "particle-tpc".
bool InfoTpc(const char* path, bool json, std::string& out, std::string& error);
