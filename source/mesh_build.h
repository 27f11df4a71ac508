// mesh_build.h - the polygon object built from a loaded mesh frame, and its motion between frames.
#pragma once

#include "c4d.h"

struct MeshHandle;

// Bool in the container of each vertex map on the generator: true when the current build made or
// kept that map. Maps left false at the end of a build are removed from the generator.
enum
{
	TW_VERTEXMAP_MARKER = 44445555,
};

// Names of the tags a build makes.
extern const char* const TW_MESH_UV;
extern const char* const TW_MESH_SPEED;
extern const char* const TW_MESH_SPEED_XYZ[3];
// "TW_Mesh_Weight_%d", k = 1 .. W
extern const char* const TW_MESH_WEIGHT_FORMAT;

// The .md channels the importer offers, by channel index (1 .. 15, the channel's slot in the file). Its
// switch is TW_MI_MD_CHANNEL + index; vector channels have a magnitude switch (one length map instead
// of X, Y and Z maps); every channel but the identity has a scale.
struct MdChannelParams
{
	Int32 index;
	bool vector;
	Int32 magnitude; // 0 for a scalar channel
	Int32 scale; // 0 for none
};

constexpr Int32 TW_MD_CHANNEL_COUNT = 15;
// Indices 1 .. 15 in order.
extern const MdChannelParams TW_MD_CHANNELS[TW_MD_CHANNEL_COUNT];

// A new polygon object holding the frame: points, triangles, a UVW tag and vertex maps, with the
// generator's name, settings from the generator's container and a phong tag. The generator gets
// the placeholder maps of the same names. Null for a null handle or generator, or when the object
// cannot be allocated.
PolygonObject* BuildPolygonObject(MeshHandle* handle, BaseObject* generator);

// Moves the points of an object built from handle along the frame's velocities by dt seconds,
// scaled by the generator's scale and motion factor.
void ExtrapolatePoints(MeshHandle* handle, PolygonObject* op, const BaseContainer& generator_data, Float dt_seconds);

// The vertex map named name on the generator (found or made with count entries, marked), and a new
// one of count entries on op replacing any of that name; returns op's value array, or null when
// op's map could not be made.
Float32* MakeVertexMapPair(BaseObject* generator, PolygonObject* op, const String& name, Int32 count);
