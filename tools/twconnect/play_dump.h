// play_dump.h - what the host holds after an importer's frame, as `twconnect play --dump` shows it.
#pragma once

#include "cli_output.h"

#include "c4d_particles.h"
#include "c4d_polygon.h"

#include <cstdio>

// The group's particles in the master's order, walked first to next: per particle its host number
// (tp), the value of the ID channel (id, null when it holds none), position, velocity, age, mass and
// every data channel that holds a value, under the channel's plain name.
Json DumpParticles(const TP_MasterSystem* master, const TP_PGroup* group);

// The built object's points, polygons (four indices; a triangle repeats its third) and per tag its
// name and values (a vertex map's floats, a UVW tag's four corners per polygon, null for other tags),
// as one compact JSON object written to out element by element: a frame of millions of points never
// sits in memory as a tree of JSON values.
void WriteMeshDump(std::FILE* out, const PolygonObject* built);

// A channel name without the type the host may append to it: "force(Vector)" is "force".
std::string PlainChannelName(const std::string& name);
