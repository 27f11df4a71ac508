// sample_mesh.h - the procedural mesh sequences written by `twconnect sample mesh` and `sample chunked`.
#pragma once

#include <string>

// Base name of the sample frames: DIR/surface_00001.bin and so on, a sequence the importer finds
// from any one of its files.
constexpr const char* kSampleMeshBaseName = "surface_";

// Path of one frame of the sample sequence in dir, with its extension (".bin" or ".md").
std::string SampleMeshPath(const char* dir, int frame, const char* extension = ".bin");

// How the mesh record of a frame reaches its file.
enum class SampleMeshLayout
{
	Bin,     // mesh .bin
	Chunked, // big-endian chunks of points, polygons and vertex maps; named .bin all the same, since
			 // the importer takes no other extension for it
};

// Writes frames start .. end of a rippling surface with velocities, texture coordinates and
// weight_count (2 or 3) weights per vertex into dir, which must exist. False, with the reason in
// `error`, for bad arguments or a file that could not be written whole.
bool WriteSampleMesh(const char* dir, int start, int end, int weight_count, std::string& error,
	SampleMeshLayout layout = SampleMeshLayout::Bin);
