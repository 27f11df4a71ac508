// info_pxy.h - what `twconnect info` reports about a particle .pxy frame file.
#pragma once

// True for a file named *.pxy (any case): the format has no magic number.
bool InfoPxyDetect(const char* path);

// The entry of info's format table: prints the report (version, particle count, sizes and the
// channel ranges; with `json` one JSON object whose "format" is "particle-pxy"), or the reason on
// stderr. Exit status.
int InfoPxyPrint(const char* path, bool json);
