// particles.cpp - the headless Thinking Particles master: channels, groups and particles in flat arrays.
#include "host_state.h"

#include "c4d_particles.h"

#include <algorithm>
#include <cstring>

TP_MasterSystem::TP_MasterSystem() : BaseSceneHook(ID_THINKINGPARTICLES) {}

TP_MasterSystem::~TP_MasterSystem()
{
	for (TP_PGroup* g : _groups)
		delete g;
}

namespace
{

const char* TypeName(Int32 type)
{
	switch (type)
	{
		case DTYPE_VECTOR: return "Vector";
		case DTYPE_LONG: return "Integer";
		case DTYPE_REAL: return "Float";
		default: return "Bool";
	}
}

std::string ReportedName(const std::string& name, Int32 type)
{
	return name + "(" + TypeName(type) + ")";
}

} // namespace

Bool TP_MasterSystem::AddDataChannel(Int32 type, const String& name)
{
	if (type != DTYPE_VECTOR && type != DTYPE_LONG && type != DTYPE_REAL && type != DTYPE_BOOL)
		return false;
	Channel c;
	c.type = type;
	c.name = name.Get();
	_channels.push_back(std::move(c));
	return true;
}

Int32 TP_MasterSystem::GetDataChannelNumber(const String& name) const
{
	for (size_t i = 0; i < _channels.size(); ++i)
		if (_channels[i].name == name.Get() || ReportedName(_channels[i].name, _channels[i].type) == name.Get())
			return static_cast<Int32>(i);
	return -1;
}

Int32 TP_MasterSystem::GetDataChannelType(Int32 channel) const
{
	return channel >= 0 && channel < NumDataChannels() ? _channels[static_cast<size_t>(channel)].type : 0;
}

String TP_MasterSystem::GetDataChannelName(Int32 channel) const
{
	if (channel < 0 || channel >= NumDataChannels())
		return String();
	const Channel& c = _channels[static_cast<size_t>(channel)];
	return String(ReportedName(c.name, c.type));
}

TP_PGroup* TP_MasterSystem::AllocParticleGroup()
{
	if (_group_fails)
		return nullptr;
	TP_PGroup* group = new TP_PGroup();
	group->_master = this;
	return group;
}

TP_ParticleNode* TP_PGroup::GetFirstNode()
{
	if (!_master || _count == 0)
		return nullptr;
	if (_nodes_at != _master->_membership)
	{
		_nodes.clear();
		_nodes.reserve(static_cast<size_t>(_count));
		const std::vector<TP_PGroup*>& owner = _master->_group;
		for (size_t i = 0; i < owner.size(); ++i)
			if (owner[i] == this)
			{
				TP_ParticleNode node;
				node._id = static_cast<Int32>(i);
				_nodes.push_back(node);
			}
		if (!_nodes.empty())
			_nodes.back()._last = true;
		_nodes_at = _master->_membership;
	}
	return _nodes.empty() ? nullptr : _nodes.data();
}

Bool TP_MasterSystem::InsertParticleGroup(TP_PGroup* parent, TP_PGroup* group, Int32 mode)
{
	(void)mode;
	if (!group || std::find(_groups.begin(), _groups.end(), group) != _groups.end())
		return false;
	group->_parent = parent;
	_groups.push_back(group);
	return true;
}

void TP_MasterSystem::Forget(TP_PGroup* group)
{
	++_membership;
	for (size_t i = 0; i < _group.size(); ++i)
		if (_group[i] == group)
			_group[i] = nullptr;
	for (TP_PGroup* g : _groups)
		if (g->_parent == group)
			g->_parent = group->_parent;
}

void TP_MasterSystem::FreeParticleGroup(TP_PGroup*& group)
{
	if (!group)
		return;
	auto it = std::find(_groups.begin(), _groups.end(), group);
	if (it != _groups.end())
		_groups.erase(it);
	Forget(group);
	delete group;
	group = nullptr;
}

std::vector<TP_PGroup*> TP_MasterSystem::GetParticleGroups() const
{
	std::vector<TP_PGroup*> order;
	std::vector<const TP_PGroup*> parents{nullptr};
	// Depth first: each group followed by its subgroups, siblings in insertion order.
	struct Walk
	{
		static void Add(const std::vector<TP_PGroup*>& all, const TP_PGroup* parent, std::vector<TP_PGroup*>& out)
		{
			for (TP_PGroup* g : all)
				if (g->GetParentGroup() == parent)
				{
					out.push_back(g);
					Add(all, g, out);
				}
		}
	};
	Walk::Add(_groups, nullptr, order);
	return order;
}

Int32 TP_MasterSystem::Take()
{
	Int32 id = TakeBare();
	if (id >= 0)
		ClearValues(&id, 1);
	return id;
}

// Forgets the channel values of these (new) particles. Runs of consecutive IDs, which is what the
// free list gives after a group was freed, are cleared a word of 64 particles at a time.
void TP_MasterSystem::ClearValues(const Int32* ids, Int32 n)
{
	if (_channels.empty())
		return;
	for (Int32 k = 0; k < n;)
	{
		// [lo, hi] is a run of consecutive IDs, ascending or descending in the list; found once
		// for every channel
		size_t lo = static_cast<size_t>(ids[k]), hi = lo;
		Int32 j = k + 1;
		if (j < n && ids[j] == ids[k] + 1)
			while (j < n && ids[j] == ids[j - 1] + 1)
				hi = static_cast<size_t>(ids[j++]);
		else if (j < n && ids[j] == ids[k] - 1)
			while (j < n && ids[j] == ids[j - 1] - 1)
				lo = static_cast<size_t>(ids[j++]);
		k = j;
		for (Channel& c : _channels)
		{
			if (lo >= c.size)
				continue;
			const size_t top = hi < c.size ? hi : c.size - 1;
			for (size_t i = lo; i <= top;)
			{
				if ((i & 63) == 0 && i + 63 <= top)
				{
					c.set[i >> 6] = 0;
					i += 64;
				}
				else
				{
					c.set[i >> 6] &= ~(UInt64(1) << (i & 63));
					++i;
				}
			}
		}
	}
}

Int32 TP_MasterSystem::TakeBare()
{
	if (_alloc_limit == 0)
		return -1;
	if (_alloc_limit > 0)
		--_alloc_limit;
	Int32 id;
	if (!_free.empty())
	{
		id = _free.back();
		_free.pop_back();
	}
	else
	{
		id = static_cast<Int32>(_used.size());
		size_t n = _used.size() + 1;
		_used.resize(n);
		_group.resize(n);
		_life.resize(n);
		_age.resize(n);
		_mass.resize(n);
		_pos.resize(n);
		_vel.resize(n);
	}
	size_t i = static_cast<size_t>(id);
	_used[i] = SLOT_NEW;
	_group[i] = nullptr;
	return id;
}

Int32 TP_MasterSystem::AllocParticles(Int32 n, Int32* ids)
{
	if (n <= 0)
		return 0;
	const Int32 made = _alloc_limit >= 0 && _alloc_limit < n ? static_cast<Int32>(_alloc_limit) : n;
	if (_alloc_limit >= 0)
		_alloc_limit -= made;
	// The free list's tail is handed out in list order: freeing a group walks it by ascending ID,
	// so the new particles get ascending IDs and the caller's writes stream forwards.
	const size_t reuse = std::min(_free.size(), static_cast<size_t>(made));
	const size_t from = _free.size() - reuse;
	std::copy(_free.begin() + static_cast<std::ptrdiff_t>(from), _free.end(), ids);
	_free.resize(from);
	// A new particle's values are its defaults through the UNSET_ bits; its group is none already
	// (freeing clears it).
	for (size_t k = 0; k < reuse; ++k)
		_used[static_cast<size_t>(ids[k])] = SLOT_NEW;
	// the rest at the end of the arrays, grown once
	const size_t first = _used.size(), grown = first + (static_cast<size_t>(made) - reuse);
	for (size_t k = reuse; k < static_cast<size_t>(made); ++k)
		ids[k] = static_cast<Int32>(first + (k - reuse));
	_used.resize(grown, SLOT_NEW);
	_group.resize(grown, nullptr);
	_life.resize(grown, 0.0);
	_age.resize(grown, 0.0);
	_mass.resize(grown, 1.0);
	_pos.resize(grown);
	_vel.resize(grown);
	ClearValues(ids, made);
	return made;
}

Int32 TP_MasterSystem::AllocParticle()
{
	return Take();
}

Int32 TP_MasterSystem::GetFirstParticle(const TP_PGroup* group) const
{
	return GetNextParticle(group, -1);
}

// The slow path of SetData: a channel that has not yet reached this particle grows to the store's size.
Bool TP_MasterSystem::SetDataGrowing(Int32 id, Int32 channel, const void* data, Int32 value_type)
{
	Channel& c = _channels[static_cast<size_t>(channel)];
	if (!TypeFits(c.type, value_type))
		return false;
	const size_t i = static_cast<size_t>(id);
	const size_t n = std::max(_used.size(), i + 1);
	c.set.resize((n + 63) / 64, 0);
	c.size = n;
	if (c.type == DTYPE_VECTOR)
		c.vec.resize(n);
	else if (c.type == DTYPE_REAL)
		c.real.resize(n);
	else
		c.ints.resize(n);
	return SetData(id, channel, data, value_type);
}

TP_PGroup* TP_MasterSystem::Group(Int32 id) const { return Valid(id) ? _group[static_cast<size_t>(id)] : nullptr; }
BaseTime TP_MasterSystem::Life(Int32 id) const { return BaseTime(Set(id, UNSET_LIFE) ? _life[static_cast<size_t>(id)] : 0.0); }

void TP_MasterSystem::RunPass(const BaseTime& time)
{
	const Float now = time.Get();
	const Float dt = _passed && now > _pass_time ? now - _pass_time : 0.0;
	_pass_time = now;
	_passed = true;
	const size_t n = _used.size();
	for (size_t i = 0; i < n; ++i)
	{
		const UChar u = _used[i];
		if ((u & SLOT_STATE) == SLOT_DEAD)
			FreeParticle(static_cast<Int32>(i));
		else if ((u & SLOT_STATE) == SLOT_ALIVE)
		{
			const Float age = ((u & UNSET_AGE) ? 0.0 : _age[i]) + dt;
			_age[i] = age;
			const Float life = (u & UNSET_LIFE) ? 0.0 : _life[i];
			// death at age == life: a particle given life 0 does not outlive the pass
			const UChar state = age >= life ? SLOT_DEAD : SLOT_ALIVE;
			_used[i] = static_cast<UChar>((u & ~(SLOT_STATE | UNSET_AGE)) | state);
		}
	}
}

TP_MasterSystem* GetThinkingParticlesMaster(BaseDocument* doc)
{
	return doc ? static_cast<TP_MasterSystem*>(doc->FindSceneHook(ID_THINKINGPARTICLES)) : nullptr;
}
