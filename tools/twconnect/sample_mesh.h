// sample_mesh.h - the procedural mesh sequence written by `twconnect sample mesh`.
#pragma once

#include <string>

// Base name of the sample frames: DIR/surface_00001.bin and so on, a sequence the importer finds
// from any one of its files.
constexpr const char* kSampleMeshBaseName = "surface_";

// Path of one frame of the sample sequence in dir.
std::string SampleMeshPath(const char* dir, int frame);

// Writes frames start .. end of a rippling surface with velocities, texture coordinates and
// weight_count (2 or 3) weights per vertex into dir, which must exist. False, with the reason in
// `error`, for bad arguments or a file that could not be written whole.
bool WriteSampleMesh(const char* dir, int start, int end, int weight_count, std::string& error);
