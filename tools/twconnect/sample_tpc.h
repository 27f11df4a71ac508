// sample_tpc.h - the procedural particle .tpc sequence written by `twconnect sample tpc`.
#pragma once

#include <cstdint>
#include <string>

// Path of one frame: dir/name_<frame padded to padding digits>.tpc.
std::string SampleTpcPath(const std::string& dir, const std::string& name, long long frame, int padding);

// Writes one frame of count particles of a swirling cloud: channels position, velocity, id (from
// 1), age, mass, density, pressure (16-bit integers) and the custom channels "heat" (float) and
// "wet" (8-bit signed), each compressed by zlib at its default level. False, with the reason in
// error, when the file could not be written whole.
bool WriteSampleTpc(const std::string& path, int32_t frame, int32_t count, std::string& error);
