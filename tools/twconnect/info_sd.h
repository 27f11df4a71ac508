// info_sd.h - what `twconnect info` reports about an SD scene file.
#pragma once

#include <string>

// True for a file named *.sd (any case), or one whose header carries a whole version from 1 to 6
// and whose descriptors read: SD files have no magic number.
bool InfoSdDetect(const char* path);

// False, with the reason in `error`, when the file is not a readable SD file; otherwise `out` holds
// a human report (version, frame range, camera, axis setup, each object's type, name, texture and
// counts, the layout) or, with `json`, one JSON object whose "format" is "sd".
bool InfoSd(const char* path, bool json, std::string& out, std::string& error);

// The entry of info's format table: prints the report, or the reason on stderr. Exit status.
int InfoSdPrint(const char* path, bool json);
