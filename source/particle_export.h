// particle_export.h - the particle export run: sources, export items, the frame loop and the two frame writers.
#pragma once

#include "c4d.h"
#include "c4d_particleobject.h"
#include "c4d_particles.h"

#include "particle_bin.h"

#include <utility>
#include <vector>

// What an export item's source is.
enum
{
	PEXP_KIND_EMITTER = 0,
	PEXP_KIND_GROUP = 1,
};

// One source's settings as the dialog keeps them: the header every file of the source starts from.
struct ExportItem
{
	Int32 kind = PEXP_KIND_EMITTER;
	Int32 source_index = 0; // entry of the source list
	BinParticleHeader header = {};
	String fluid_name;		// whole, as typed; the header holds what fits its field
	String label;			// kept and stored, never written into files
	Bool compute_velocity = false;
};

// The fps a new item takes: the document's when it runs at 24 or 25, otherwise 30.
Int32 DefaultExportFps(Int32 document_fps);

// A new item for a source: version 12 unless version_entry is TW_PEXP_VERSION_9, and the defaults
// (fluid type 5, scale 1, radius 0.1, emitter at the origin with scale 1).
ExportItem NewExportItem(Int32 kind, Int32 source_index, const String& name, Int32 version_entry, Int32 document_fps);

// The particle sources of a document in the order of the source list: every emitter (depth first,
// an object before its children), then every Thinking Particles group.
struct ParticleSources
{
	std::vector<ParticleObject*> emitters;
	std::vector<TP_PGroup*> groups;

	Int32 Count() const { return static_cast<Int32>(emitters.size() + groups.size()); }
	// "name (emitter)" or "name (tp)".
	String EntryText(Int32 index) const;
	String Name(Int32 index) const;
	Int32 Kind(Int32 index) const { return index < static_cast<Int32>(emitters.size()) ? PEXP_KIND_EMITTER : PEXP_KIND_GROUP; }
};
ParticleSources CollectParticleSources(BaseDocument* doc);

// Writes the frames of one run. Keeps the channel arrays and scratch memory of a frame for the next,
// so that a long run does not fault in fresh memory at every frame.
class ParticleFrameWriter
{
public:
	ParticleFrameWriter() = default;
	~ParticleFrameWriter();
	ParticleFrameWriter(const ParticleFrameWriter&) = delete;
	ParticleFrameWriter& operator=(const ParticleFrameWriter&) = delete;

	// The living particles of a Thinking Particles group at the document's current time (already
	// evaluated). With the item's compute velocity the document is evaluated one frame later and
	// back. The file is written on a second thread while this one reads the host. Null when the
	// file was written whole, else the reason it was not (what was left of the file is removed).
	const char* WriteGroup(BaseDocument* doc, TP_PGroup* group, const ExportItem& item, Int32 frame, const char* path);
	// The living particles of an emitter as last evaluated.
	const char* WriteEmitter(BaseDocument* doc, ParticleObject* emitter, const ExportItem& item, Int32 frame, const char* path);

private:
	// zeroed: arrays zero-filled, for a writer that leaves some values unset.
	BinParticleFrame* Open(const char* path, Int32 count, Bool zeroed, const char** reason);
	void SetHeader(BinParticleFrame* f, const ExportItem& item, Int32 frame, Int32 count);
	// Keeps the frame's storage for the next, frees the frame; removes the file unless written.
	const char* Close(BinParticleFrame* f, Bool written);
	void RecordLaterPositions(BaseDocument* doc, TP_MasterSystem* master, TP_PGroup* group);

	void* _storage = nullptr;
	int64_t _storage_bytes = 0;
	std::vector<Int32> _ids; // the living particles of the frame being written
	// Positions one frame later by the particle's identity, sorted (compute velocity).
	std::vector<std::pair<int64_t, Vector>> _later;
};

// What the dialog hands the run: its gadgets' values and the current item.
struct ParticleExportSettings
{
	Filename folder;
	String name;
	Int32 padding = 5;
	Int32 start = 0;
	Int32 end = 0;
	Int32 step = 1;
	Int32 source = 0;
};

// Where the run reports its progress ("Export frame 12", then the last line).
class ParticleExportStatus
{
public:
	virtual ~ParticleExportStatus() = default;
	virtual void Set(const String& text) = 0;
};

enum ParticleExportResult
{
	PEXP_REFUSED,  // a setting was refused with a message box: nothing ran
	PEXP_NO_SOURCE, // the source no longer exists: nothing ran
	PEXP_RAN,	   // the frames were tried; the status says which failed
};

// The whole run: checks the settings (a message box for the first that fails), then writes one file
// per frame start, start + step, ... up to end, and restores the document's time. item belongs to
// the chosen source.
ParticleExportResult RunParticleExport(
	BaseDocument* doc, const ParticleExportSettings& settings, const ExportItem& item, ParticleExportStatus* status);
