// c4d_particleobject.h - the host's standard particle emitter and the tag that holds its particles.
#pragma once

#include "c4d_polygon.h"

// Parameters of the standard emitter (Oparticle).
enum
{
	PARTICLEOBJECT_BIRTHEDITOR = 1000,	  // Float: particles born per frame
	PARTICLEOBJECT_BIRTHRAYTRACER = 1001, // Float: the same while rendering (the headless host emits the editor's)
	PARTICLEOBJECT_START = 1002,		  // BaseTime: the first frame that emits
	PARTICLEOBJECT_STOP = 1003,			  // BaseTime: the last frame that emits
	PARTICLEOBJECT_SEED = 1004,			  // Int32: seed of the variations
	PARTICLEOBJECT_LIFETIME = 1005,		  // BaseTime: how long a particle lives
	PARTICLEOBJECT_LIFETIMEVAR = 1006,	  // Float 0..1: lifetime varies by up to this share either way
	PARTICLEOBJECT_SPEED = 1007,		  // Float: centimetres per second along the emitter's Z axis
	PARTICLEOBJECT_SPEEDVAR = 1008,		  // Float 0..1: speed varies by up to this share either way
};

// One particle of an emitter: position, axes (v3 is the velocity, in centimetres per second), the
// time since its birth, and PARTICLEFLAGS_* bits (a living particle has VISIBLE and ALIVE).
struct Particle
{
	Vector off, v1, v2, v3;
	BaseTime t;
	Int32 bits = 0;
};

// The emitter's particles, one entry per particle born so far (the dead ones included).
class ParticleTag : public VariableTag
{
public:
	static ParticleTag* Alloc(Int32 count);

protected:
	ParticleTag() : VariableTag(Tparticle, sizeof(Particle)) {}
	BaseTag* CloneSelf() const override;

	friend class BaseTag;
	friend class ParticleObject;
};

// The standard emitter. Its particles are a function of the document's time: evaluating the
// document at a time gives the same particles however that time was reached.
class ParticleObject : public BaseObject
{
public:
	// An emitter with the standard defaults and its particle tag; BaseObject::Alloc(Oparticle) makes one.
	static ParticleObject* Alloc();

	// Particles born up to the last evaluation, dead ones included.
	Int32 GetParticleCount() const;
	// Particle i of the emitter's particle tag pt (GetTag(Tparticle)); null when there is none.
	const Particle* GetParticleR(const BaseTag* pt, Int32 i) const;
	// The lifetime of particle i; dist receives the distance it travels in that time and spd its speed.
	// i below 0: the emitter's own lifetime and speed, without variation.
	BaseTime GetParticleDetails(BaseDocument* doc, Int32 i = -1, Float* dist = nullptr, Float* spd = nullptr) const;

protected:
	ParticleObject() : BaseObject(Oparticle) {}
	BaseObject* CloneSelf() const override { return new ParticleObject(); }

private:
	// Sets the particle tag to the particles at the document's time (the headless host's pass).
	void Emit(BaseDocument* doc);
	// Speed and lifetime of particle i, with their variations.
	Float SpeedOf(Int32 i) const;
	Float LifeOf(Int32 i) const;

	friend class BaseDocument;
	friend class BaseObject;
};
