// particle_load.cpp - the Particle Importer's side of Thinking Particles: channels, group, loading frames.
#include "TWParticleImporter.h"

#include "TW_Particle_Importer.h"

#include "console.h"
#include "main.h"
#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_load_tpc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// Numbers of the channel table; the host numbers its channels by position, so the loader looks the
// standard ones up by name.
struct StandardChannel
{
	Int32 number;
	const char* name;
	Int32 type;
};

const StandardChannel STANDARD_CHANNELS[] = {
	{1, "force", DTYPE_VECTOR},
	{2, "vorticity", DTYPE_VECTOR},
	{3, "normal", DTYPE_VECTOR},
	{4, "texture", DTYPE_VECTOR},
	{5, "neighbors", DTYPE_LONG},
	{6, "infobit", DTYPE_LONG},
	{8, "isolation", DTYPE_REAL},
	{9, "viscosity", DTYPE_REAL},
	{10, "density", DTYPE_REAL},
	{11, "pressure", DTYPE_REAL},
	{13, "temperature", DTYPE_REAL},
	{14, "id", DTYPE_LONG},
};

// The host reports a channel's name with its type in brackets ("force(Vector)"); a channel added as
// "force" is that channel.
bool SameChannelName(const std::string& reported, const char* name)
{
	const size_t n = std::strlen(name);
	if (reported.compare(0, n, name) != 0)
		return false;
	if (reported.size() == n)
		return true;
	return reported[n] == '(' && reported.back() == ')' && reported.find('(', n + 1) == std::string::npos;
}

// One write per loaded particle; flattened, so that the store's writes are inlined into the loop.
template <typename F>
__attribute__((flatten)) void EachParticle(const Int32* pids, Int32 n, const F& write)
{
	for (Int32 i = 0; i < n; ++i)
		if (pids[i] >= 0)
			write(pids[i], static_cast<size_t>(i));
}

Vector Transform(const Matrix& m, const float p[3], Float scale)
{
	return m.off + m.v1 * (p[0] * scale) + m.v2 * (p[1] * scale) + m.v3 * (p[2] * scale);
}

} // namespace

// The host has no lookup by name.
Int32 FindDataChannel(const TP_MasterSystem* master, const char* name)
{
	for (Int32 c = 0; c < master->NumDataChannels(); ++c)
		if (SameChannelName(master->GetDataChannelName(c).Get(), name))
			return c;
	return -1;
}

// --- Thinking Particles

void TWParticleImporter::SetupThinkingParticles(BaseObject* op)
{
	BaseDocument* doc = op->GetDocument();
	_master = GetThinkingParticlesMaster(doc);
	if (!_master)
	{
		ShowMessage("TW Particle Importer can not be used because Thinking Particles is missing!");
		return;
	}
	if (_master->NumDataChannels() == 0)
	{
		for (const StandardChannel& c : STANDARD_CHANNELS)
			_master->AddDataChannel(c.type, String(c.name));
		_master->GetDataInstance()->SetInt32(TP_MASTER_PARTICLE_LIMIT, 100000000);
		const BaseTime now = doc->GetTime();
		if (now.GetDenominator() != 0.0 && now.Get() != 0.0)
		{
			doc->SetTime(BaseTime(0.0, now.GetDenominator()));
			doc->ExecutePasses(nullptr, true, true, true, 0);
			doc->SetTime(now);
			doc->ExecutePasses(nullptr, true, true, true, 0);
		}
	}
	EnsureGroup(op);
}

void TWParticleImporter::EnsureGroup(BaseObject* op)
{
	_master = GetThinkingParticlesMaster(op->GetDocument());
	if (!_master)
	{
		_group = nullptr;
		return;
	}
	const String name = op->GetName();
	_group = FindParticleGroup(_master, name);
	if (_group)
		return;
	TP_PGroup* group = _master->AllocParticleGroup();
	if (!group)
	{
		ShowMessage("Could not allocate particle group!");
		return;
	}
	group->SetName(name);
	// a new group knows at once who draws its particles, not only after the next change of a parameter
	group->SetViewType(op->GetDataInstance()->GetInt32(TW_PI_DISPLAY_MODE) != 0 ? TP_PGROUP_VIEW_NONE : TP_PGROUP_VIEW_DEFAULT);
	_master->InsertParticleGroup(nullptr, group, TP_INSERT_UNDERLAST);
	_group = group;
}

void TWParticleImporter::KillAll()
{
	if (!_master || !_group)
		return;
	for (Int32 id = _master->GetFirstParticle(_group); id >= 0;)
	{
		const Int32 next = _master->GetNextParticle(_group, id);
		_master->FreeParticle(id);
		id = next;
	}
	_slots.clear();
	_ids.Clear();
	_pids_of = nullptr;
}

Int32 TWParticleImporter::SlotOf(const ParticleFrame* frame, Int32 i) const
{
	if (!_id_mode)
		return static_cast<size_t>(i) < _slots.size() ? _slots[static_cast<size_t>(i)] : -1;
	// the load that just ran knows every file particle's host particle
	if (frame == _pids_of && static_cast<size_t>(i) < _pids.size())
		return _pids[static_cast<size_t>(i)];
	return _ids.Lookup(GetParticleId(frame, i));
}

Bool TWParticleImporter::MatchIds(const ParticleFrame* frame, Int32 n)
{
	// An ID of the last load keeps its host particle while that particle lives; a particle whose
	// ID is missing from this frame is freed now, so a returning ID starts afresh.
	const Int32 fresh = _ids.Match(
		n, [frame](Int32 i) { return GetParticleId(frame, i); }, [this](Int32 pid) { return _master->Alive(pid); },
		[this](Int32 pid) { _master->FreeParticle(pid); });
	std::vector<Int32> made(static_cast<size_t>(fresh));
	const Int32 count = fresh > 0 ? _master->AllocParticles(fresh, made.data()) : 0;
	std::fill(_pids.begin(), _pids.end(), -1);
	return _ids.Complete(made.data(), count < 0 ? 0 : count, _pids.data());
}

void TWParticleImporter::LoadFrame(BaseObject* op, const ParticleFrame* frame)
{
	// Without a group nothing could take the particles back again.
	if (!_master || !_group)
		return;
	const BaseContainer* bc = op->GetDataInstance();
	const Float scale = static_cast<float>(bc->GetFloat(TW_PI_SCALE) * 100.0);
	_id_mode = bc->GetBool(TW_PI_USE_IDS);
	if (!_id_mode)
		KillAll();
	if (!frame)
	{
		if (_id_mode)
			KillAll();
		return;
	}
	const Int32 n = GetParticleCount(frame);
	if (_id_mode)
	{
		bool usable = false;
		for (Int32 i = 0; i < n && !usable; ++i)
			usable = GetParticleId(frame, i) >= 1;
		// the particles of a load without IDs have none to be matched by
		if (!usable || !_slots.empty())
			KillAll();
		_id_mode = usable;
	}
	if (!_id_mode)
	{
		_slots.assign(static_cast<size_t>(n), -1);
		const Int32 made = n > 0 ? _master->AllocParticles(n, _slots.data()) : 0;
		_slots.resize(static_cast<size_t>(made < 0 ? 0 : made));
		if (made != n)
		{
			ShowMessage("Could not allocate %d particles", n);
			return;
		}
	}

	bool load[TW_PI_LOAD_ID - TW_PI_LOAD_VELOCITY + 1];
	for (Int32 id = TW_PI_LOAD_VELOCITY; id <= TW_PI_LOAD_ID; ++id)
		load[id - TW_PI_LOAD_VELOCITY] = bc->GetBool(id);
	auto on = [&load](Int32 id) { return load[id - TW_PI_LOAD_VELOCITY]; };
	const Matrix m = op->GetMg();
	const BaseTime life = bc->GetTime(TW_PI_LIFE);

	// The host particle of every file particle first (-1: skipped), then the values one channel at a
	// time: each pass streams through one array of the store instead of thirty at once.
	_pids.resize(static_cast<size_t>(n));
	bool complete = true; // false: some IDs got no particle; the others are written all the same
	if (_id_mode)
		complete = MatchIds(frame, n);
	else
		std::copy(_slots.begin(), _slots.begin() + n, _pids.begin());
	_pids_of = frame;
	auto each = [this, n](const auto& write) { EachParticle(_pids.data(), n, write); };
	const BinParticleFrame* bin = frame->format == CACHE_PARTICLE_BIN ? frame->bin : nullptr;
	const PxyParticleFrame* pxy = frame->format == CACHE_PARTICLE_PXY ? frame->pxy : nullptr;
	if (bin)
	{
		// A few values per pass: fewer passes re-read the particle list, and each pass still
		// writes only a handful of the store's arrays.
		TP_MasterSystem* m_ = _master;
		const bool velocity = on(TW_PI_LOAD_VELOCITY);
		TP_PGroup* group = _group;
		each([&](Int32 pid, size_t i) {
			m_->SetGroup(pid, group);
			m_->SetLife(pid, life);
			m_->SetPosition(pid, Transform(m, bin->position + 3 * i, scale));
			if (velocity)
			{
				const float* v = bin->velocity + 3 * i;
				m_->SetVelocity(pid, Vector(v[0], v[1], v[2]));
			}
		});
		auto vector = [m_](Int32 pid, Int32 c, const float* v) {
			const Vector value(v[0], v[1], v[2]);
			m_->SetData(pid, c, &value, DTYPE_VECTOR_VALUE);
		};
		auto real = [m_](Int32 pid, Int32 c, float v) {
			const Float value = v;
			m_->SetData(pid, c, &value, DTYPE_REAL_VALUE);
		};
		auto integer = [m_](Int32 pid, Int32 c, Int32 value) { m_->SetData(pid, c, &value, DTYPE_LONG_VALUE); };
		// channel -1 where the switch is off: the store ignores writes to no channel
		auto channel = [&](Int32 id, Int32 number) { return on(id) ? ChannelFor(number) : -1; };
		const Int32 force = channel(TW_PI_LOAD_FORCE, 1), vorticity = channel(TW_PI_LOAD_VORTICITY, 2),
					normal = channel(TW_PI_LOAD_NORMAL, 3), texture = channel(TW_PI_LOAD_TEXTURE, 4),
					neighbors = channel(TW_PI_LOAD_NEIGHBORS, 5), infobit = channel(TW_PI_LOAD_INFOBIT, 6),
					isolation = channel(TW_PI_LOAD_ISOLATION, 8), viscosity = channel(TW_PI_LOAD_VISCOSITY, 9),
					density = channel(TW_PI_LOAD_DENSITY, 10), pressure = channel(TW_PI_LOAD_PRESSURE, 11),
					temperature = channel(TW_PI_LOAD_TEMPERATURE, 13), id = channel(TW_PI_LOAD_ID, 14);
		if (force >= 0 || vorticity >= 0)
			each([&](Int32 pid, size_t i) {
				if (force >= 0)
					vector(pid, force, bin->force + 3 * i);
				if (vorticity >= 0)
					vector(pid, vorticity, bin->vorticity + 3 * i);
			});
		if (normal >= 0 || texture >= 0)
			each([&](Int32 pid, size_t i) {
				if (normal >= 0)
					vector(pid, normal, bin->normal + 3 * i);
				if (texture >= 0)
					vector(pid, texture, bin->texture + 3 * i);
			});
		if (neighbors >= 0 || infobit >= 0 || id >= 0)
			each([&](Int32 pid, size_t i) {
				if (neighbors >= 0)
					integer(pid, neighbors, bin->neighbors[i]);
				if (infobit >= 0)
					integer(pid, infobit, bin->info_bits[i]);
				if (id >= 0)
					integer(pid, id, static_cast<Int32>(bin->id[i]));
			});
		const bool age = on(TW_PI_LOAD_AGE), mass = on(TW_PI_LOAD_MASS);
		each([&](Int32 pid, size_t i) {
			if (age)
				m_->SetAge(pid, BaseTime(static_cast<Float>(bin->age[i])));
			if (mass)
				m_->SetMass(pid, bin->mass[i]);
			if (isolation >= 0)
				real(pid, isolation, bin->isolation[i]);
			if (viscosity >= 0)
				real(pid, viscosity, bin->viscosity[i]);
		});
		if (density >= 0 || pressure >= 0 || temperature >= 0)
			each([&](Int32 pid, size_t i) {
				if (density >= 0)
					real(pid, density, bin->density[i]);
				if (pressure >= 0)
					real(pid, pressure, bin->pressure[i]);
				if (temperature >= 0)
					real(pid, temperature, bin->temperature[i]);
			});
	}
	else if (pxy)
	{
		LoadPxyValues(pxy, n, m, scale, life, on(TW_PI_LOAD_VELOCITY));
	}
	else if (frame->format == CACHE_PARTICLE_TPC && frame->tpc)
		WriteTpcFrame(_master, _group, frame->tpc, _pids.data(), n, load, m, scale, life);
	else
	{
		// a format without values of its own: position and velocity through the accessors
		const bool velocity = on(TW_PI_LOAD_VELOCITY);
		each([&](Int32 pid, size_t i) {
			_master->SetGroup(pid, _group);
			_master->SetLife(pid, life);
			float p[3], v[3];
			GetParticlePosition(frame, static_cast<Int32>(i), p);
			_master->SetPosition(pid, Transform(m, p, scale));
			if (velocity)
			{
				GetParticleVelocity(frame, static_cast<Int32>(i), v);
				_master->SetVelocity(pid, Vector(v[0], v[1], v[2]));
			}
		});
	}
	if (!complete)
		ShowMessage("Could not allocate particle");
}

Int32 TWParticleImporter::ChannelFor(Int32 number) const
{
	return FindStandardChannel(_master, number);
}

Int32 FindStandardChannel(const TP_MasterSystem* master, Int32 number)
{
	for (const StandardChannel& c : STANDARD_CHANNELS)
		if (c.number == number)
			return FindDataChannel(master, c.name);
	return -1;
}

TP_PGroup* FindParticleGroup(const TP_MasterSystem* master, const String& name)
{
	for (TP_PGroup* g : master->GetParticleGroups())
		if (g->GetName() == name)
			return g;
	return nullptr;
}

// A .pxy file holds only ids, positions and velocities: every other channel is written as zero
// whatever the switches, and the id always goes into its channel.
void TWParticleImporter::LoadPxyValues(
	const PxyParticleFrame* pxy, Int32 n, const Matrix& m, Float scale, const BaseTime& life, bool velocity)
{
	TP_MasterSystem* master = _master;
	TP_PGroup* group = _group;
	const PxyParticleRecord* records = pxy->records;
	EachParticle(_pids.data(), n, [&](Int32 pid, size_t i) {
		master->SetGroup(pid, group);
		master->SetLife(pid, life);
		master->SetPosition(pid, Transform(m, records[i].position, scale));
		if (velocity)
		{
			const float* v = records[i].velocity;
			master->SetVelocity(pid, Vector(v[0], v[1], v[2]));
		}
	});
	const Int32 vectors[] = {ChannelFor(1), ChannelFor(2), ChannelFor(3), ChannelFor(4)};
	const Int32 integers[] = {ChannelFor(5), ChannelFor(6)};
	const Int32 reals[] = {ChannelFor(8), ChannelFor(9), ChannelFor(10), ChannelFor(11), ChannelFor(13)};
	const Int32 id = ChannelFor(14);
	const Vector zero_vector(0.0, 0.0, 0.0);
	const Float zero_real = 0.0;
	const Int32 zero_integer = 0;
	EachParticle(_pids.data(), n, [&](Int32 pid, size_t i) {
		for (Int32 c : vectors)
			master->SetData(pid, c, &zero_vector, DTYPE_VECTOR_VALUE);
		for (Int32 c : integers)
			master->SetData(pid, c, &zero_integer, DTYPE_LONG_VALUE);
		master->SetAge(pid, BaseTime(0.0));
		for (Int32 c : reals)
			master->SetData(pid, c, &zero_real, DTYPE_REAL_VALUE);
		master->SetMass(pid, 0.0);
		const Int32 value = static_cast<Int32>(records[i].id);
		master->SetData(pid, id, &value, DTYPE_LONG_VALUE);
	});
}

void TWParticleImporter::MoveSubFrame(BaseObject* op, const ParticleFrame* frame, Float dt)
{
	const BaseContainer* bc = op->GetDataInstance();
	if (!_cache || bc->GetBool(TW_PI_HOLD_FRAME) || !frame || GetParticleCount(frame) < 1 || !_master || !_group)
		return;
	const Float scale = static_cast<float>(bc->GetFloat(TW_PI_SCALE) * 100.0);
	const Float d = bc->GetFloat(TW_PI_SCALE) * bc->GetFloat(TW_PI_SUBFRAME_FACTOR) * 100.0 * dt;
	Int64 n = GetParticleCount(frame);
	if (_group->NumParticles() < n)
		n = _group->NumParticles();
	if (!_id_mode && static_cast<Int64>(_slots.size()) < n)
		n = static_cast<Int64>(_slots.size());
	const Matrix m = op->GetMg();
	for (Int32 i = 0; i < n; ++i)
	{
		const Int32 pid = SlotOf(frame, i);
		if (pid < 0)
			continue;
		float p[3], v[3];
		GetParticlePosition(frame, i, p);
		GetParticleVelocity(frame, i, v);
		_master->SetPosition(pid, Transform(m, p, scale) + Vector(v[0], v[1], v[2]) * d);
	}
}
