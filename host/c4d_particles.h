// c4d_particles.h - Thinking Particles: the document's particle master, its groups, data channels and particles.
#pragma once

#include "c4d_baselist.h"
#include "c4d_description.h"

#include <vector>

constexpr Int32 ID_THINKINGPARTICLES = 1001428;

// Value type codes of per-particle data writes.
enum
{
	DTYPE_BOOL_VALUE = 400007001,
	DTYPE_LONG_VALUE = 400007002,
	DTYPE_REAL_VALUE = 400007003,
	DTYPE_VECTOR_VALUE = 400007004,
};

// Data channels are typed with the description's data types (DTYPE_VECTOR, DTYPE_LONG, DTYPE_REAL, DTYPE_BOOL).

// Master parameters the module sets.
enum
{
	TP_MASTER_PARTICLE_LIMIT = 54,
};

// Group display codes.
enum
{
	TP_PGROUP_VIEW_NONE = 0,
	TP_PGROUP_VIEW_DEFAULT = 6,
};

// Insertion modes of a group into the master's tree.
enum
{
	TP_INSERT_UNDERLAST = 2,
};

class BaseSceneHook : public BaseList2D
{
protected:
	explicit BaseSceneHook(Int32 type) : BaseList2D(type) {}
};

class TP_PGroup : public BaseList2D
{
public:
	Int32 GetViewType() const { return _view; }
	void SetViewType(Int32 code) { _view = code; }
	// Particles of this group (not of its subgroups).
	Int32 NumParticles() const { return _count; }
	TP_PGroup* GetParentGroup() const { return _parent; }

private:
	TP_PGroup() : BaseList2D(1001381) {}
	Int32 _view = TP_PGROUP_VIEW_DEFAULT;
	Int32 _count = 0;
	TP_PGroup* _parent = nullptr;
	friend class TP_MasterSystem;
};

// The particle master of a document. Particle IDs index contiguous arrays, so a frame of a million
// particles costs a few array writes per particle, not a heap node each.
// A particle is alive while its age is below its life; a particle given life 0 is dead at once.
class TP_MasterSystem : public BaseSceneHook
{
public:
	TP_MasterSystem();
	~TP_MasterSystem() override;

	// --- data channels: numbered by their position in the list (0 = first)
	Int32 NumDataChannels() const { return static_cast<Int32>(_channels.size()); }
	// Adds a channel at the end of the list; its number, or -1.
	Int32 AddDataChannel(Int32 type, const String& name);
	// The number of the channel with this name, or -1.
	Int32 GetDataChannelNumber(const String& name) const;
	Int32 GetDataChannelType(Int32 channel) const;
	String GetDataChannelName(Int32 channel) const;

	// --- groups
	TP_PGroup* AllocParticleGroup();
	// parent null: a top-level group.
	Bool InsertParticleGroup(TP_PGroup* parent, TP_PGroup* group, Int32 mode);
	// Frees the group (its particles fall back to no group) and clears the variable.
	void FreeParticleGroup(TP_PGroup*& group);
	// Every group in tree order, subgroups included.
	std::vector<TP_PGroup*> GetParticleGroups() const;

	// --- particles
	// Allocates up to n particles; their IDs go into ids; returns how many were made.
	Int32 AllocParticles(Int32 n, Int32* ids);
	// One particle's ID, or -1.
	Int32 AllocParticle();
	void FreeParticle(Int32 id);
	Bool Alive(Int32 id) const;
	Int32 NumParticles() const { return _live; }
	// The first particle of the group, and the one after id; -1 at the end.
	Int32 GetFirstParticle(const TP_PGroup* group) const;
	Int32 GetNextParticle(const TP_PGroup* group, Int32 id) const;

	void SetGroup(Int32 id, TP_PGroup* group);
	void SetLife(Int32 id, const BaseTime& life);
	void SetAge(Int32 id, const BaseTime& age);
	void SetPosition(Int32 id, const Vector& p);
	void SetVelocity(Int32 id, const Vector& v);
	void SetMass(Int32 id, Float mass);
	// Writes a value of the given value type code into data channel channel.
	Bool SetData(Int32 id, Int32 channel, const void* data, Int32 value_type);

	TP_PGroup* Group(Int32 id) const;
	BaseTime Life(Int32 id) const;
	BaseTime Age(Int32 id) const;
	Vector Position(Int32 id) const;
	Vector Velocity(Int32 id) const;
	Float Mass(Int32 id) const;
	// Reads a data value; false when the channel or particle does not exist or holds no value.
	Bool GetData(Int32 id, Int32 channel, void* data, Int32 value_type) const;

	// Injected fault for tests: at most this many more particles can be made (-1 = no limit).
	void SetAllocationLimit(Int64 limit) { _alloc_limit = limit; }
	// Injected fault for tests: group allocation fails.
	void SetGroupAllocationFails(Bool fails) { _group_fails = fails; }

	// Frees the particles whose life has run out; the host runs this once per evaluation.
	void RemoveDead();

private:
	struct Channel
	{
		Int32 type;
		std::string name;
		std::vector<Vector> vec;
		std::vector<Float> real;
		std::vector<Int32> ints;
		std::vector<UChar> set;
	};

	bool Valid(Int32 id) const { return id >= 0 && id < static_cast<Int32>(_used.size()) && _used[static_cast<size_t>(id)]; }
	Int32 Take();
	void Forget(TP_PGroup* group);

	std::vector<UChar> _used;
	std::vector<TP_PGroup*> _group;
	std::vector<Float> _life, _age, _mass;
	std::vector<Vector> _pos, _vel;
	std::vector<Int32> _free;
	std::vector<Channel> _channels;
	std::vector<TP_PGroup*> _groups;
	Int32 _live = 0;
	Int64 _alloc_limit = -1;
	Bool _group_fails = false;
};

// The document's particle master, or null when the host has no Thinking Particles.
TP_MasterSystem* GetThinkingParticlesMaster(BaseDocument* doc);
