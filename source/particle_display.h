// particle_display.h - what the Particle Importer shows of its particles: the frames it draws (a frame
// source) and the colours and shapes it draws them with (a colouriser).
#pragma once

#include "c4d.h"
#include "particle_frame.h"

#include <vector>

// Display channel codes: 0 colours nothing by channel; 1-14 are the frame's channel-value codes
// (1 velocity, 2 normal, 3 force, 4 texture U, 5 texture V, 6 neighbors, 7 age, 8 isolation,
// 9 viscosity, 10 density, 11 pressure, 12 mass, 13 temperature, 14 vorticity).
constexpr Int32 TW_DISPLAY_CHANNEL_MAX = 14;

// The ramp a new importer and a new particle shader colour with: blue at 0 to red at 1.
Gradient DefaultParticleGradient();

// The frames to show. The importer's source shows one frame, borrowed from its viewport table.
class ParticleFrameSource
{
public:
	virtual ~ParticleFrameSource();
	// Forgets the current frame, freeing it when the source owns it.
	virtual void DropFrame();
	virtual Int32 ParticleCount() const;
	virtual float ChannelValue(Int32 i, Int32 code) const;
	virtual void Position(Int32 i, float out[3]) const;
	// What a value becomes before it is coloured; the plain source leaves it as it is.
	virtual float Value(float v) const { return v; }
	// Minimum and maximum of a channel over every frame and particle, from 1e9 and -1e9; a bound nothing
	// moved becomes 0.
	virtual void ChannelRange(Int32 code, float* min, float* max);
	// Shows frame (owned: freed by the source when it is dropped).
	virtual void SetFrame(ParticleFrame* frame, Bool owned);

	Int32 FrameCount() const { return static_cast<Int32>(_frames.size()); }
	// Makes frame i of the list the current one.
	void Select(Int32 i);
	const ParticleFrame* Current() const { return _frame; }

protected:
	std::vector<ParticleFrame*> _frames;
	Int32 _index = 0;
	ParticleFrame* _frame = nullptr;
	Bool _owned = false;
};

// How the particles are drawn.
enum ParticleDrawType : Int32
{
	PARTICLE_DRAW_POINTS = 0,
	PARTICLE_DRAW_CIRCLES = 1,
	PARTICLE_DRAW_BOX = 2,
};

// Turns channel values into colours and draws the source's frames into a view.
class ParticleColouriser
{
public:
	ParticleColouriser() = default;
	virtual ~ParticleColouriser();
	ParticleColouriser(const ParticleColouriser&) = delete;
	ParticleColouriser& operator=(const ParticleColouriser&) = delete;

	// Draws source (owned when owns is set); every frame starts white.
	virtual void AttachSource(ParticleFrameSource* source, Bool owns);
	virtual void SetFrameColour(Int32 i, const Vector& colour);
	// The current frame, load percentage, channel or table generation differ from those of the last draw.
	virtual Bool SettingsChanged() const;
	// When the settings changed, or without a source: drops the source's frame and answers true.
	virtual Bool NeedsUpdate();
	// Forgets the generation and drops the source's frame.
	virtual void Invalidate();
	// The channel's range over the source.
	virtual void ChannelRange(float* min, float* max);
	// The same, into the colour range.
	virtual void UseChannelRange();
	// With a gradient its colour at t; without, colour A at 0, B at 1 and the blend between.
	virtual Vector ColourAt(Float t) const;
	// The frame's colour, or the colour at the particle's place in the range when a channel is chosen.
	virtual Vector ParticleColour(Int32 frame, Int32 i) const;
	virtual void RecordSettings();
	// Draws every frame of the source by the draw type.
	virtual void Draw(BaseDraw* bd);
	virtual void DrawPoints(BaseDraw* bd, Int32 frame);
	virtual void DrawCircles(BaseDraw* bd, Int32 frame);
	virtual void DrawBox(BaseDraw* bd, Int32 frame);

	ParticleFrameSource* Source() const { return _source; }

	// The display settings, set before each draw.
	Int32 draw_type = PARTICLE_DRAW_POINTS;
	Int32 channel = 0;
	Float size = 2.0;
	Int32 axis = 0;
	Float scale = 100.0;
	Float load_percentage = 100.0;
	Int32 current_frame = 0;
	Float range_min = 0.0, range_max = 0.0;
	Vector colour_a{0.0, 0.0, 1.0}, colour_b{1.0, 0.0, 0.0};
	std::vector<Vector> frame_colours;
	Gradient gradient;
	Bool has_gradient = false;
	Int32 generation = 0;
	BaseDocument* doc = nullptr;
	BaseObject* object = nullptr;

private:
	// ColourAt's work, and where a value lies in the colour range (1 for an empty range).
	Vector Blend(Float t) const;
	Float Place(Float v) const;

	ParticleFrameSource* _source = nullptr;
	Bool _owns_source = false;
	// The settings of the last draw.
	Int32 _seen_generation = -1;
	Int32 _seen_frame = 0;
	Float _seen_percentage = -1.0;
	Int32 _seen_channel = -1;
	// Kept between draws so that a large frame does not allocate its arrays anew each time.
	std::vector<Vector32> _points;
	std::vector<Float32> _colours;
};
