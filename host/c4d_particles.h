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

class TP_MasterSystem;

// One element of a group's particle list.
class TP_ParticleNode
{
public:
	Int32 GetParticleID() const { return _id; }
	// The next element of the group, null after the last.
	TP_ParticleNode* GetNext() const { return _last ? nullptr : const_cast<TP_ParticleNode*>(this + 1); }

private:
	Int32 _id = -1;
	bool _last = false;
	friend class TP_PGroup;
};

class TP_PGroup : public BaseList2D
{
public:
	// The group's particle list (its own particles, dead ones included, by ascending ID); null when it
	// has none. The list stays valid until a particle joins or leaves a group.
	TP_ParticleNode* GetFirstNode();
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
	TP_MasterSystem* _master = nullptr;
	// the particle list, built when asked for, and the master's membership count it was built at
	std::vector<TP_ParticleNode> _nodes;
	UInt64 _nodes_at = ~UInt64(0);
	friend class TP_MasterSystem;
};

// The particle master of a document. Particle IDs index contiguous arrays, so a frame of a million
// particles costs a few array writes per particle, not a heap node each.
// Liveness is the engine's: its pass (run when the document is evaluated) ages the living particles
// by the time the document moved forward and kills those whose age reached their life; Alive reads
// the bit that pass left. A negative life kills at once. A dead particle keeps its ID until it is
// freed, by its owner or by the next pass.
class TP_MasterSystem : public BaseSceneHook
{
public:
	TP_MasterSystem();
	~TP_MasterSystem() override;

	// --- data channels: numbered by their position in the list (0 = first)
	Int32 NumDataChannels() const { return static_cast<Int32>(_channels.size()); }
	// Adds a channel at the end of the list.
	Bool AddDataChannel(Int32 type, const String& name);
	// Not the host's (which has no lookup by name): for tests and tools, the number of the channel
	// added under this name, given bare ("force") or as reported ("force(Vector)"); -1 if none.
	Int32 GetDataChannelNumber(const String& name) const;
	Int32 GetDataChannelType(Int32 channel) const;
	// The name with its type in brackets, as the host reports it: "force(Vector)", "id(Integer)".
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
	void FreeParticle(Int32 id)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		if (_group[i])
		{
			--_group[i]->_count;
			++_membership;
		}
		_used[i] = SLOT_FREE;
		_group[i] = nullptr;
		_free.push_back(id);
	}
	Bool Alive(Int32 id) const
	{
		return id >= 0 && id < static_cast<Int32>(_used.size()) && (_used[static_cast<size_t>(id)] & SLOT_STATE) == SLOT_ALIVE;
	}
	// Allocated particle slots: every particle ID is below it (freed ones included).
	Int32 NumParticles() const { return static_cast<Int32>(_used.size()); }
	// The first particle of the group, and the one after id; -1 at the end.
	Int32 GetFirstParticle(const TP_PGroup* group) const;
	Int32 GetNextParticle(const TP_PGroup* group, Int32 id) const
	{
		if (!group || group->_count == 0)
			return -1;
		const size_t n = _used.size();
		for (size_t i = static_cast<size_t>(id + 1); i < n; ++i)
			if ((_used[i] & SLOT_STATE) != SLOT_FREE && _group[i] == group)
				return static_cast<Int32>(i);
		return -1;
	}

	// The per-particle writes are inline: a frame of a million particles makes some fifteen million.
	void SetGroup(Int32 id, TP_PGroup* group)
	{
		if (!Valid(id))
			return;
		TP_PGroup*& g = _group[static_cast<size_t>(id)];
		if (g == group)
			return;
		++_membership;
		if (g)
			--g->_count;
		g = group;
		if (group)
			++group->_count;
	}
	void SetLife(Int32 id, const BaseTime& life)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		_life[i] = life.Get();
		UChar state = static_cast<UChar>(_used[i] & ~UNSET_LIFE);
		if (_life[i] < 0.0)
			state = static_cast<UChar>((state & ~SLOT_STATE) | SLOT_DEAD);
		_used[i] = state;
	}
	void SetAge(Int32 id, const BaseTime& age)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		_age[i] = age.Get();
		_used[i] = static_cast<UChar>(_used[i] & ~UNSET_AGE);
	}
	void SetPosition(Int32 id, const Vector& p)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		_pos[i] = p;
		_used[i] = static_cast<UChar>(_used[i] & ~UNSET_POSITION);
	}
	void SetVelocity(Int32 id, const Vector& v)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		_vel[i] = v;
		_used[i] = static_cast<UChar>(_used[i] & ~UNSET_VELOCITY);
	}
	void SetMass(Int32 id, Float mass)
	{
		if (!Valid(id))
			return;
		const size_t i = static_cast<size_t>(id);
		_mass[i] = mass;
		_used[i] = static_cast<UChar>(_used[i] & ~UNSET_MASS);
	}
	// Writes a value of the given value type code into data channel channel.
	__attribute__((always_inline)) Bool SetData(Int32 id, Int32 channel, const void* data, Int32 value_type)
	{
		if (!Valid(id) || channel < 0 || channel >= NumDataChannels() || !data)
			return false;
		Channel& c = _channels[static_cast<size_t>(channel)];
		const size_t i = static_cast<size_t>(id);
		if (i >= c.size || !TypeFits(c.type, value_type))
			return SetDataGrowing(id, channel, data, value_type);
		switch (c.type)
		{
			case DTYPE_VECTOR: c.vec[i] = *static_cast<const Vector*>(data); break;
			case DTYPE_REAL: c.real[i] = *static_cast<const Float*>(data); break;
			case DTYPE_LONG: c.ints[i] = *static_cast<const Int32*>(data); break;
			default: c.ints[i] = *static_cast<const Bool*>(data) ? 1 : 0; break;
		}
		c.set[i >> 6] |= UInt64(1) << (i & 63);
		return true;
	}

	TP_PGroup* Group(Int32 id) const;
	BaseTime Life(Int32 id) const;
	// The per-particle reads are inline too: an exporter reads as many values as the importer writes.
	BaseTime Age(Int32 id) const { return BaseTime(Set(id, UNSET_AGE) ? _age[static_cast<size_t>(id)] : 0.0); }
	Vector Position(Int32 id) const { return Set(id, UNSET_POSITION) ? _pos[static_cast<size_t>(id)] : Vector(); }
	Vector Velocity(Int32 id) const { return Set(id, UNSET_VELOCITY) ? _vel[static_cast<size_t>(id)] : Vector(); }
	Float Mass(Int32 id) const
	{
		if (!Valid(id))
			return 0.0;
		return Set(id, UNSET_MASS) ? _mass[static_cast<size_t>(id)] : 1.0;
	}
	// Reads a data value; false when the channel or particle does not exist or holds no value.
	Bool GetData(Int32 id, Int32 channel, void* data, Int32 value_type) const
	{
		if (!Valid(id) || channel < 0 || channel >= NumDataChannels() || !data)
			return false;
		const Channel& c = _channels[static_cast<size_t>(channel)];
		const size_t i = static_cast<size_t>(id);
		if (!TypeFits(c.type, value_type) || i >= c.size || !(c.set[i >> 6] & (UInt64(1) << (i & 63))))
			return false;
		switch (c.type)
		{
			case DTYPE_VECTOR: *static_cast<Vector*>(data) = c.vec[i]; break;
			case DTYPE_REAL: *static_cast<Float*>(data) = c.real[i]; break;
			case DTYPE_LONG: *static_cast<Int32*>(data) = c.ints[i]; break;
			case DTYPE_BOOL: *static_cast<Bool*>(data) = c.ints[i] != 0; break;
		}
		return true;
	}

	// Injected fault for tests: at most this many more particles can be made (-1 = no limit).
	void SetAllocationLimit(Int64 limit) { _alloc_limit = limit; }
	// Injected fault for tests: group allocation fails.
	void SetGroupAllocationFails(Bool fails) { _group_fails = fails; }

	// The engine's pass at document time `time`, once per evaluation: frees the particles that were
	// dead before it, ages the living by the time moved forward since the last pass and kills those
	// whose age reached their life.
	void RunPass(const BaseTime& time);

private:
	struct Channel
	{
		Int32 type;
		std::string name;
		std::vector<Vector> vec;
		std::vector<Float> real;
		std::vector<Int32> ints;
		// one bit per particle: whether it holds a value here (a new particle holds none)
		std::vector<UInt64> set;
		size_t size = 0; // particles the value arrays reach
	};

	static bool TypeFits(Int32 channel_type, Int32 value_type)
	{
		switch (channel_type)
		{
			case DTYPE_VECTOR: return value_type == DTYPE_VECTOR_VALUE;
			case DTYPE_LONG: return value_type == DTYPE_LONG_VALUE;
			case DTYPE_REAL: return value_type == DTYPE_REAL_VALUE;
			case DTYPE_BOOL: return value_type == DTYPE_BOOL_VALUE;
		}
		return false;
	}
	Bool SetDataGrowing(Int32 id, Int32 channel, const void* data, Int32 value_type);

	// A slot's byte: its state, and which values still hold their defaults (life 0, age 0, mass 1,
	// position and velocity zero). A new particle sets the bits instead of writing six arrays
	// that its maker is about to overwrite.
	enum : UChar
	{
		SLOT_FREE = 0,
		SLOT_ALIVE = 1,
		SLOT_DEAD = 2,
		SLOT_STATE = 3,
		UNSET_LIFE = 4,
		UNSET_AGE = 8,
		UNSET_MASS = 16,
		UNSET_POSITION = 32,
		UNSET_VELOCITY = 64,
		SLOT_NEW = SLOT_ALIVE | UNSET_LIFE | UNSET_AGE | UNSET_MASS | UNSET_POSITION | UNSET_VELOCITY,
	};
	// valid, and the value of this UNSET_ bit was written
	bool Set(Int32 id, UChar unset_bit) const { return Valid(id) && !(_used[static_cast<size_t>(id)] & unset_bit); }
	bool Valid(Int32 id) const
	{
		return id >= 0 && id < static_cast<Int32>(_used.size()) && (_used[static_cast<size_t>(id)] & SLOT_STATE) != SLOT_FREE;
	}
	Int32 Take();
	Int32 TakeBare();
	void ClearValues(const Int32* ids, Int32 n);
	void Forget(TP_PGroup* group);

	std::vector<UChar> _used; // SLOT_FREE, SLOT_ALIVE or SLOT_DEAD, with the UNSET_ bits
	std::vector<TP_PGroup*> _group;
	std::vector<Float> _life, _age, _mass;
	std::vector<Vector> _pos, _vel;
	std::vector<Int32> _free;
	std::vector<Channel> _channels;
	std::vector<TP_PGroup*> _groups;
	Float _pass_time = 0.0;
	Bool _passed = false;
	Int64 _alloc_limit = -1;
	Bool _group_fails = false;
	UInt64 _membership = 0; // counts the changes of any group's particles
	friend class TP_PGroup;
};

// The document's particle master, or null when the host has no Thinking Particles.
TP_MasterSystem* GetThinkingParticlesMaster(BaseDocument* doc);
