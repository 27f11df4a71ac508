// sample_sd.h - the procedural SD scene written by `twconnect sample sd`.
#pragma once

#include "cli.h"

#include <string>

// Writes frames start .. end (25 per second) of a small scene to path with the SD library's writer:
// a rigid cube "Box" that turns and bounces, a deforming "Flag" that waves (its texture path is
// flag_texture, may be empty) and a camera orbiting them. False, with the reason in `error`, for bad
// arguments or a file that could not be written whole.
bool WriteSampleSd(const char* path, int start, int end, const char* flag_texture, std::string& error);

// The options of `twconnect sample sd FILE`, and what writes the file.
CommandRun SampleSdCommand(CLI::App& app);
