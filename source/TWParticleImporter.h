// TWParticleImporter.h - particle sequence played back as Thinking Particles.
#pragma once

#include "c4d.h"
#include "c4d_particles.h"
#include "importer_cache.h"
#include "particle_display.h"
#include "particle_id_map.h"
#include "remote_frame_sequence.h"

#include <vector>

class TWParticleImporter : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWParticleImporter(); }
	TWParticleImporter();
	~TWParticleImporter() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Read(GeListNode* node, HyperFile* hf, Int32 level) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override;
	Bool GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc) override;
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;
	DRAWRESULT Draw(BaseObject* op, DRAWPASS drawpass, BaseDraw* bd, BaseDrawHelp* bh) override;

	// The whole document frame of a time: floor(fps x numerator) / floor(denominator), 0 when that is
	// not a frame number.
	static Int32 WholeFrame(const BaseTime& time, Int32 fps);

	// --- Thinking Particles
	void SetupThinkingParticles(BaseObject* op);
	void EnsureGroup(BaseObject* op);
	void KillAll();
	void LoadFrame(BaseObject* op, const ParticleFrame* frame);
	void MoveSubFrame(BaseObject* op, const ParticleFrame* frame, Float dt);

private:
	struct Row
	{
		Int32 target, op, source, spare;
	};

	void ChooseFile(BaseObject* op);
	Bool CheckFile(const char* path);
	void SetNames(BaseObject* op);
	void ReadSettings(BaseObject* op);
	void RefreshSettings(BaseObject* op);
	// False, with out empty, when the file parameter's path does not fit the module's buffers.
	Bool ResolvedPath(BaseObject* op, char* out) const;
	void CollectAssets(BaseObject* op, AssetData* assets);
	FrameCacheSettings RenderSettings() const;
	// The host particle of file particle i, or -1 (ID mode: the particle of its file ID).
	Int32 SlotOf(const ParticleFrame* frame, Int32 i) const;
	// ID mode: the host particle of every file particle into _pids; false when some got none.
	Bool MatchIds(const ParticleFrame* frame, Int32 n);
	// The master's channel for a number of the channel table, found by its name.
	Int32 ChannelFor(Int32 number) const;
	// The values of a .pxy frame for the host particles of the last match.
	void LoadPxyValues(const PxyParticleFrame* pxy, Int32 n, const Matrix& m, Float scale, const BaseTime& life, bool velocity);

	TP_MasterSystem* _master = nullptr;
	TP_PGroup* _group = nullptr;
	std::vector<Int32> _slots; // without ID mode: host particle per file particle
	ParticleIdMap _ids; // ID mode: host particle per file ID
	std::vector<Int32> _pids; // host particle per file particle of the last load
	const ParticleFrame* _pids_of = nullptr; // the frame of that load
	ImporterCache* _cache = nullptr;
	RemoteFrameSequence _sequence;
	FrameCacheSettings _settings;
	std::vector<Row> _rows;
	Bool _id_mode = false;
	// What the viewport shows: a frame borrowed from the viewport table, and its colours.
	ParticleFrameSource _display_source;
	ParticleColouriser _colouriser;
	// Sets the colouriser up from the display parameters before a draw.
	void ConfigureDisplay(BaseObject* op, BaseDocument* doc);
	// Sets a colouriser up from the object's display parameters (the table generation aside).
	static void ConfigureColouriser(ParticleColouriser& c, BaseObject* op, BaseDocument* doc);

	// --- rendering (particle_render.cpp)
	// A null holding one render object per particle of the group, coloured from frame (the render
	// table's frame for this time) when the object's particle material has a shader.
	BaseObject* BuildRenderInstances(BaseObject* op, BaseDocument* doc, ParticleFrame* frame);
	// The object that stands for the first particle; null for a shape that adds nothing.
	BaseObject* MakeRenderShape(BaseObject* op, BaseDocument* doc) const;
};
