// sample_sd.h - the procedural SD scene written by `twconnect sample sd`.
#pragma once

#include <string>
#include <vector>

// Writes frames start .. end (25 per second) of a small scene to path with the SD library's writer:
// a rigid cube "Box" that turns and bounces, a deforming "Flag" that waves (its texture path is
// flag_texture, may be empty) and a camera orbiting them. False, with the reason in `error`, for bad
// arguments or a file that could not be written whole.
bool WriteSampleSd(const char* path, int start, int end, const char* flag_texture, std::string& error);

// `twconnect sample sd FILE [--start N] [--end N] [--texture PATH]`; exit status.
int SampleSd(const std::vector<std::string>& args);
