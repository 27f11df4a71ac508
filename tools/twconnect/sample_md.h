// sample_md.h - the procedural .md mesh sequence written by `twconnect sample md`.
#pragma once

#include <string>

// Writes frames start .. end of the rippling surface as .md files DIR/surface_00000.md and so on,
// into dir, which must exist. Each vertex carries position, velocity, normal, texture, age, density,
// pressure and vorticity, in that order. False, with the reason in `error`, for bad arguments or a
// file that could not be written whole.
bool WriteSampleMd(const char* dir, int start, int end, std::string& error);
