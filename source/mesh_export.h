// mesh_export.h - what the Mesh Exporter offers, the frames it walks and the mesh .bin file it writes per frame.
#pragma once

#include "c4d.h"
#include "c4d_polygon.h"
#include "export_frames.h"
#include "mesh_bin.h"

#include <functional>
#include <vector>

struct MeshBinStream;

// What one run writes.
struct MeshExportOptions
{
	Int32 first_frame = 0;
	Int32 last_frame = 0;
	Int32 step = 1;
	Bool texture = true; // texture block: texture coordinates and weights
	Bool velocity = true; // velocity block
	Bool compute_velocity = false; // velocities from the next frame's positions instead of the speed maps
};

// The objects a user may export, in document order (each object before its children): polygon objects,
// Mesh Importers, and the target of every instance object when it is one of those two.
std::vector<BaseObject*> MeshExportObjects(BaseDocument* doc);

// The polygon object written for `op` at the document's evaluated time: a Mesh Importer's built object,
// else `op` as the polygonised document shows it (deformers applied). Owns the polygonised copy.
class MeshExportSource
{
public:
	MeshExportSource(BaseDocument* doc, BaseObject* op);
	~MeshExportSource();
	MeshExportSource(const MeshExportSource&) = delete;
	MeshExportSource& operator=(const MeshExportSource&) = delete;

	// Null when the object has no mesh at this time (a Mesh Importer outside its sequence).
	const PolygonObject* Mesh() const { return _mesh; }

private:
	BaseDocument* _copy = nullptr;
	const PolygonObject* _mesh = nullptr;
};

// Points of the next frame in metres, three floats per point; empty when velocities come from the maps.
using MeshNextPositions = std::vector<Float32>;
void MeshExportNextPositions(const PolygonObject* mesh, MeshNextPositions& out);

// Writes the frames of one run, keeping the record of the last frame for the next one.
class MeshExportWriter
{
public:
	MeshExportWriter() = default;
	~MeshExportWriter();
	MeshExportWriter(const MeshExportWriter&) = delete;
	MeshExportWriter& operator=(const MeshExportWriter&) = delete;

	// Writes one frame's file. True when every byte reached it; false with `reason` filled otherwise (the
	// caller reports the frame and removes what is left of the file).
	Bool Write(const PolygonObject* mesh, const MeshExportOptions& options, const MeshNextPositions& next, Int32 fps,
		const char* path, char (&reason)[256]);

private:
	// Kept from frame to frame: the stream's buffers, and for _texture_points points a bit each and
	// their texture coordinates gathered from the polygons' corners (U, W, 1 - V).
	MeshBinStream* _stream = nullptr;
	uint64_t* _texture = nullptr;
	Int32 _texture_points = 0;
};

// Walks the frames first, first + step, ... up to last, writing each frame's file, then puts the document
// back at its time. `status` receives "Export frame %d" per frame and, last, "Ready" or the account of
// the frames that were not written.
void MeshExportRun(BaseDocument* doc, BaseObject* op, const MeshExportOptions& options, const ExportFileNames& names,
	const std::function<void(const String&)>& status, ExportFailures& failures);
