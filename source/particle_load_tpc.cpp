// particle_load_tpc.cpp - a .tpc frame's channels into Thinking Particles, by name.
#include "particle_load_tpc.h"

#include "TW_Particle_Importer.h"

#include <cstring>

namespace
{

// What a .tpc channel of a known name becomes.
enum class Target
{
	Position,
	Velocity,
	Vector, // data channel, vector conversion
	Integer, // data channel, integer conversion
	Real, // data channel, scalar conversion
	Age,
	Mass,
	Custom,
};

struct KnownChannel
{
	const char* name;
	Target target;
	Int32 load; // its switch, 0 for none
};

const KnownChannel KNOWN[] = {
	{"position", Target::Position, 0},
	{"velocity", Target::Velocity, TW_PI_LOAD_VELOCITY},
	{"force", Target::Vector, TW_PI_LOAD_FORCE},
	{"vorticity", Target::Vector, TW_PI_LOAD_VORTICITY},
	{"normal", Target::Vector, TW_PI_LOAD_NORMAL},
	{"texture", Target::Vector, TW_PI_LOAD_TEXTURE},
	{"neighbors", Target::Integer, TW_PI_LOAD_NEIGHBORS},
	{"infobit", Target::Integer, TW_PI_LOAD_INFOBIT},
	{"age", Target::Age, TW_PI_LOAD_AGE},
	{"isolation", Target::Real, TW_PI_LOAD_ISOLATION},
	{"viscosity", Target::Real, TW_PI_LOAD_VISCOSITY},
	{"density", Target::Real, TW_PI_LOAD_DENSITY},
	{"pressure", Target::Real, TW_PI_LOAD_PRESSURE},
	{"mass", Target::Mass, TW_PI_LOAD_MASS},
	{"temperature", Target::Real, TW_PI_LOAD_TEMPERATURE},
	{"id", Target::Integer, TW_PI_LOAD_ID},
};

const KnownChannel* Classify(const char* name)
{
	for (const KnownChannel& k : KNOWN)
		if (std::strcmp(k.name, name) == 0)
			return &k;
	return nullptr;
}

Vector Transform(const Matrix& m, const float p[3], Float scale)
{
	return m.off + m.v1 * (p[0] * scale) + m.v2 * (p[1] * scale) + m.v3 * (p[2] * scale);
}

// One pass over the particles for one channel: each pass streams through one array of the store.
template <typename F>
__attribute__((flatten)) void EachElement(const TpcChannel* ch, const Int32* pids, Int32 n, const F& write)
{
	const int64_t e = ch->element_bytes;
	for (Int32 i = 0; i < n; ++i)
		if (pids[i] >= 0)
			write(pids[i], ch->data + i * e);
}

} // namespace

Int32 TpcCustomChannelType(Int32 value_type)
{
	switch (value_type)
	{
	case 1:
	case 2:
	case 3:
	case 11:
		return DTYPE_VECTOR;
	case 4:
	case 5:
	case 6:
	case 7:
		return DTYPE_LONG;
	case 8:
		return DTYPE_BOOL;
	default:
		return DTYPE_REAL;
	}
}

void WriteTpcFrame(TP_MasterSystem* master, TP_PGroup* group, const TpcParticleFrame* frame, const Int32* pids, Int32 n,
				   const bool* load, const Matrix& m, Float scale, const BaseTime& life)
{
	auto on = [load](Int32 id) { return id == 0 || load[id - TW_PI_LOAD_VELOCITY]; };
	if (n > frame->kept_count)
		n = frame->kept_count;
	// group and life even without a "position" channel: the particles are the frame's all the same
	for (Int32 i = 0; i < n; ++i)
		if (pids[i] >= 0)
		{
			master->SetGroup(pids[i], group);
			master->SetLife(pids[i], life);
			if (!frame->position)
				master->SetPosition(pids[i], m.off);
		}
	for (Int32 c = 0; c < frame->channel_count; ++c)
	{
		const TpcChannel* ch = &frame->channels[c];
		// a second channel of a name already seen is not the one the name stands for
		if (FindChannel(frame, ch->name) != ch || !ch->data)
			continue;
		const Int32 type = ch->type;
		const KnownChannel* known = Classify(ch->name);
		if (known && !on(known->load))
			continue;
		const Target target = known ? known->target : Target::Custom;
		Int32 number = -1;
		Int32 channel_type = DTYPE_NONE;
		if (target == Target::Vector || target == Target::Integer || target == Target::Real)
			number = FindDataChannel(master, ch->name);
		else if (target == Target::Custom)
		{
			channel_type = TpcCustomChannelType(type);
			number = FindDataChannel(master, ch->name);
			if (number < 0 && master->AddDataChannel(channel_type, String(ch->name)))
				number = master->NumDataChannels() - 1;
			if (number >= 0)
				channel_type = master->GetDataChannelType(number);
		}
		switch (target)
		{
		case Target::Position:
			EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
				float p[3] = {0.0f, 0.0f, 0.0f};
				ReadVector(type, e, p);
				master->SetPosition(pid, Transform(m, p, scale));
			});
			break;
		case Target::Velocity:
			EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
				float v[3] = {0.0f, 0.0f, 0.0f};
				ReadVector(type, e, v);
				master->SetVelocity(pid, Vector(v[0], v[1], v[2]));
			});
			break;
		case Target::Age:
			EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
				master->SetAge(pid, BaseTime(static_cast<Float>(ReadScalar(type, e))));
			});
			break;
		case Target::Mass:
			EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) { master->SetMass(pid, ReadScalar(type, e)); });
			break;
		default:
		{
			if (number < 0)
				break;
			if (target == Target::Vector || (target == Target::Custom && channel_type == DTYPE_VECTOR))
				EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
					float v[3] = {0.0f, 0.0f, 0.0f};
					ReadVector(type, e, v);
					const Vector value(v[0], v[1], v[2]);
					master->SetData(pid, number, &value, DTYPE_VECTOR_VALUE);
				});
			else if (target == Target::Integer || (target == Target::Custom && channel_type == DTYPE_LONG))
				EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
					const Int32 value = ReadInteger(type, e);
					master->SetData(pid, number, &value, DTYPE_LONG_VALUE);
				});
			else if (target == Target::Custom && channel_type == DTYPE_BOOL)
				EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
					Bool value = false;
					for (int64_t k = 0; k < ch->element_bytes; ++k)
						value = value || e[k] != 0;
					master->SetData(pid, number, &value, DTYPE_BOOL_VALUE);
				});
			else
				EachElement(ch, pids, n, [&](Int32 pid, const unsigned char* e) {
					const Float value = ReadScalar(type, e);
					master->SetData(pid, number, &value, DTYPE_REAL_VALUE);
				});
			break;
		}
		}
	}
}
