// emitter.cpp - the standard particle emitter: particles computed from the document's time.
#include "host_state.h"

#include "c4d_particleobject.h"

#include <cmath>
#include <cstring>

namespace
{

// More particles than this are not born (an emitter lists each one it ever made): a hostile birth
// rate must not exhaust memory.
constexpr Int64 kMaxParticles = 1000000;

// A number in [0, 1) fixed by seed, particle and purpose, so that variations do not depend on the
// order in which times are evaluated.
Float Unit(Int32 seed, Int32 i, UInt64 salt)
{
	UInt64 x = (static_cast<UInt64>(static_cast<UInt32>(seed)) << 32) ^ static_cast<UInt32>(i) ^ (salt * 0x9E3779B97F4A7C15ull);
	x ^= x >> 30;
	x *= 0xBF58476D1CE4E5B9ull;
	x ^= x >> 27;
	x *= 0x94D049BB133111EBull;
	x ^= x >> 31;
	return static_cast<Float>(x >> 11) / 9007199254740992.0;
}

Float Varied(Float value, Float variation, Float unit)
{
	if (variation <= 0.0)
		return value;
	return value * (1.0 + (variation > 1.0 ? 1.0 : variation) * (2.0 * unit - 1.0));
}

Vector Normalized(const Vector& v)
{
	const Float len = v.GetLength();
	return len > 0.0 ? v * (1.0 / len) : Vector();
}

} // namespace

ParticleTag* ParticleTag::Alloc(Int32 count)
{
	if (headless::TagAllocationRefused(Tparticle))
		return nullptr;
	ParticleTag* tag = new ParticleTag();
	if (!tag->AllocData(count))
	{
		delete tag;
		return nullptr;
	}
	return tag;
}

BaseTag* ParticleTag::CloneSelf() const
{
	return CloneData(new ParticleTag());
}

ParticleObject* ParticleObject::Alloc()
{
	ParticleObject* op = new ParticleObject();
	BaseContainer* bc = op->GetDataInstance();
	bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 10.0);
	bc->SetFloat(PARTICLEOBJECT_BIRTHRAYTRACER, 10.0);
	bc->SetTime(PARTICLEOBJECT_START, BaseTime(0.0, 30.0));
	bc->SetTime(PARTICLEOBJECT_STOP, BaseTime(150.0, 30.0));
	bc->SetInt32(PARTICLEOBJECT_SEED, 0);
	bc->SetTime(PARTICLEOBJECT_LIFETIME, BaseTime(600.0, 30.0));
	bc->SetFloat(PARTICLEOBJECT_LIFETIMEVAR, 0.0);
	bc->SetFloat(PARTICLEOBJECT_SPEED, 150.0);
	bc->SetFloat(PARTICLEOBJECT_SPEEDVAR, 0.0);
	op->SetName(String("Emitter"));
	if (ParticleTag* tag = ParticleTag::Alloc(0))
		op->InsertTag(tag);
	return op;
}

Int32 ParticleObject::GetParticleCount() const
{
	const BaseTag* tag = GetTag(Tparticle);
	return tag ? static_cast<const VariableTag*>(tag)->GetDataCount() : 0;
}

const Particle* ParticleObject::GetParticleR(const BaseTag* pt, Int32 i) const
{
	if (!pt || pt->GetType() != Tparticle || pt->GetObject() != this)
		return nullptr;
	const VariableTag* tag = static_cast<const VariableTag*>(pt);
	if (i < 0 || i >= tag->GetDataCount())
		return nullptr;
	return static_cast<const Particle*>(tag->GetLowlevelDataAddressR()) + i;
}

Float ParticleObject::SpeedOf(Int32 i) const
{
	const BaseContainer* bc = GetDataInstance();
	return Varied(bc->GetFloat(PARTICLEOBJECT_SPEED), bc->GetFloat(PARTICLEOBJECT_SPEEDVAR), Unit(bc->GetInt32(PARTICLEOBJECT_SEED), i, 1));
}

Float ParticleObject::LifeOf(Int32 i) const
{
	const BaseContainer* bc = GetDataInstance();
	return Varied(bc->GetTime(PARTICLEOBJECT_LIFETIME).Get(), bc->GetFloat(PARTICLEOBJECT_LIFETIMEVAR),
		Unit(bc->GetInt32(PARTICLEOBJECT_SEED), i, 2));
}

BaseTime ParticleObject::GetParticleDetails(BaseDocument* doc, Int32 i, Float* dist, Float* spd) const
{
	(void)doc;
	const BaseContainer* bc = GetDataInstance();
	Float life = bc->GetTime(PARTICLEOBJECT_LIFETIME).Get(), speed = bc->GetFloat(PARTICLEOBJECT_SPEED);
	if (i >= GetParticleCount())
		life = speed = 0.0;
	else if (i >= 0)
	{
		life = LifeOf(i);
		speed = SpeedOf(i);
	}
	if (dist)
		*dist = speed * (life > 0.0 ? life : 0.0);
	if (spd)
		*spd = speed;
	return BaseTime(life);
}

// Every frame from the start to the stop frame, up to the current one, gives birth at its time; the
// count born by the end of a frame is the rate times the frames so far, rounded down, so a rate of
// 0.5 gives one particle every second frame. A particle starts where the emitter stood at its birth
// (by the tracks of the emitter and its parents), moving along the emitter's Z axis of that time. It
// lives while its age is below its lifetime; a dead one stays where its life ended, bits cleared.
void ParticleObject::Emit(BaseDocument* doc)
{
	BaseTag* found = GetTag(Tparticle);
	if (!found)
		return;
	ParticleTag* tag = static_cast<ParticleTag*>(found);
	const BaseContainer* bc = GetDataInstance();
	const Float fps = doc->GetFps();
	const Float now = doc->GetTime().Get();
	const Int32 first = bc->GetTime(PARTICLEOBJECT_START).GetFrame(fps);
	const Int32 stop = bc->GetTime(PARTICLEOBJECT_STOP).GetFrame(fps);
	const Int32 current = doc->GetTime().GetFrame(fps);
	const Int32 last = current < stop ? current : stop;
	const Float rate = bc->GetFloat(PARTICLEOBJECT_BIRTHEDITOR);

	std::vector<Int32> birth_frame;
	if (rate > 0.0 && std::isfinite(rate) && last >= first)
	{
		Int64 born = 0;
		for (Int64 k = first; k <= last && born < kMaxParticles; ++k)
		{
			const Float total = std::floor(rate * static_cast<Float>(k - first + 1) + 1e-9);
			const Int64 upto = total < static_cast<Float>(kMaxParticles) ? static_cast<Int64>(total) : kMaxParticles;
			for (; born < upto; ++born)
				birth_frame.push_back(static_cast<Int32>(k));
		}
	}
	const Int32 count = static_cast<Int32>(birth_frame.size());
	if (tag->GetDataCount() != count && !tag->AllocData(count))
		return;

	// Where the emitter stood at each birth: an animated emitter leaves a trail.
	bool animated = false;
	for (const BaseObject* a = this; a; a = a->GetUp())
		animated = animated || a->GetFirstCTrack();
	Matrix mg = GetMg();
	Int32 mg_frame = first - 1; // none yet
	Particle* out = static_cast<Particle*>(tag->GetLowlevelDataAddressW());
	for (Int32 i = 0; i < count; ++i)
	{
		const Int32 born = birth_frame[static_cast<size_t>(i)];
		if (animated && born != mg_frame)
		{
			const BaseTime at(born, fps);
			mg = headless::AnimatedMl(this, at);
			for (const BaseObject* a = GetUp(); a; a = a->GetUp())
				mg = headless::AnimatedMl(a, at) * mg;
			mg_frame = born;
		}
		const Vector dir = Normalized(mg.v3), ax1 = Normalized(mg.v1), ax2 = Normalized(mg.v2);
		const Float speed = SpeedOf(i), life = LifeOf(i);
		const Float age = (now * fps - born) / fps;
		// a particle whose age is its lifetime (to rounding) has died
		const bool alive = age < life - 1e-9;
		const Float moved = alive ? age : (life > 0.0 ? life : 0.0);
		Particle p;
		p.v3 = dir * speed;
		p.v1 = ax1;
		p.v2 = ax2;
		p.off = mg.off + p.v3 * moved;
		p.t = BaseTime(moved);
		p.bits = alive ? (PARTICLEFLAGS_VISIBLE | PARTICLEFLAGS_ALIVE) : 0;
		std::memcpy(static_cast<void*>(out + i), &p, sizeof p);
	}
}
