// particle_display.cpp - the Particle Importer's frame source and colouriser.
#include "particle_display.h"

#include "particle_bin.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

Gradient DefaultParticleGradient()
{
	Gradient ramp;
	ramp.InsertKnot(Vector(0.0, 0.0, 1.0), 0.0, 1.0, 0.5, 2);
	ramp.InsertKnot(Vector(1.0, 0.0, 0.0), 1.0, 1.0, 0.5, 2);
	return ramp;
}

// --- frame source

ParticleFrameSource::~ParticleFrameSource()
{
	DropFrame();
}

void ParticleFrameSource::DropFrame()
{
	if (_owned)
		for (ParticleFrame* f : _frames)
			FreeParticleFrame(f);
	_frames.clear();
	_index = 0;
	_frame = nullptr;
	_owned = false;
}

Int32 ParticleFrameSource::ParticleCount() const
{
	return _frame ? GetParticleCount(_frame) : 0;
}

float ParticleFrameSource::ChannelValue(Int32 i, Int32 code) const
{
	return GetChannelValue(_frame, i, code);
}

void ParticleFrameSource::Position(Int32 i, float out[3]) const
{
	GetParticlePosition(_frame, i, out);
}

void ParticleFrameSource::ChannelRange(Int32 code, float* min, float* max)
{
	float lo = 1e9f, hi = -1e9f;
	const Int32 keep = _index;
	for (Int32 k = 0; k < FrameCount(); ++k)
	{
		Select(k);
		const Int32 n = ParticleCount();
		for (Int32 i = 0; i < n; ++i)
		{
			const float v = Value(ChannelValue(i, code));
			lo = std::min(lo, v);
			hi = std::max(hi, v);
		}
	}
	Select(keep);
	// nothing seen: the bound that stayed where it started reads 0
	*min = lo == 1e9f ? 0.0f : lo;
	*max = hi == -1e9f ? 0.0f : hi;
}

void ParticleFrameSource::SetFrame(ParticleFrame* frame, Bool owned)
{
	DropFrame();
	if (frame)
		_frames.push_back(frame);
	_frame = frame;
	_owned = owned;
}

void ParticleFrameSource::Select(Int32 i)
{
	if (i < 0 || i >= FrameCount())
		return;
	_index = i;
	_frame = _frames[static_cast<size_t>(i)];
}

// --- colouriser

ParticleColouriser::~ParticleColouriser()
{
	if (_owns_source)
		delete _source;
}

void ParticleColouriser::AttachSource(ParticleFrameSource* source, Bool owns)
{
	if (_owns_source && source != _source)
		delete _source;
	_source = source;
	_owns_source = owns;
	frame_colours.assign(static_cast<size_t>(std::max<Int32>(1, source ? source->FrameCount() : 1)), Vector(1.0, 1.0, 1.0));
}

void ParticleColouriser::SetFrameColour(Int32 i, const Vector& colour)
{
	if (i < 0)
		return;
	if (static_cast<size_t>(i) >= frame_colours.size())
		frame_colours.resize(static_cast<size_t>(i) + 1, Vector(1.0, 1.0, 1.0));
	frame_colours[static_cast<size_t>(i)] = colour;
}

Bool ParticleColouriser::SettingsChanged() const
{
	return current_frame != _seen_frame || load_percentage != _seen_percentage || channel != _seen_channel ||
		   generation != _seen_generation;
}

Bool ParticleColouriser::NeedsUpdate()
{
	if (_source && !SettingsChanged())
		return false;
	if (_source)
		_source->DropFrame();
	return true;
}

void ParticleColouriser::Invalidate()
{
	_seen_generation = -1;
	if (_source)
		_source->DropFrame();
}

void ParticleColouriser::ChannelRange(float* min, float* max)
{
	*min = *max = 0.0f;
	if (_source)
		_source->ChannelRange(channel, min, max);
}

void ParticleColouriser::UseChannelRange()
{
	float lo = 0.0f, hi = 0.0f;
	ChannelRange(&lo, &hi);
	range_min = lo;
	range_max = hi;
}

Vector ParticleColouriser::ColourAt(Float t) const
{
	return Blend(t);
}

Vector ParticleColouriser::Blend(Float t) const
{
	if (has_gradient)
		return gradient.CalcGradientPixel(t);
	if (t == 0.0)
		return colour_a;
	if (t == 1.0)
		return colour_b;
	return colour_a + (colour_b - colour_a) * t;
}

Float ParticleColouriser::Place(Float v) const
{
	if (range_max == range_min)
		return 1.0;
	return std::min(1.0, std::max(0.0, (v - range_min) / (range_max - range_min)));
}

Vector ParticleColouriser::ParticleColour(Int32 frame, Int32 i) const
{
	const Vector base = frame >= 0 && static_cast<size_t>(frame) < frame_colours.size() ? frame_colours[static_cast<size_t>(frame)]
																						 : Vector(1.0, 1.0, 1.0);
	if (channel == 0 || !_source)
		return base;
	return ColourAt(Place(_source->Value(_source->ChannelValue(i, channel))));
}

void ParticleColouriser::RecordSettings()
{
	_seen_frame = current_frame;
	_seen_percentage = load_percentage;
	_seen_channel = channel;
	_seen_generation = generation;
}

void ParticleColouriser::Draw(BaseDraw* bd)
{
	if (!_source || !bd)
		return;
	if (has_gradient)
		gradient.InitRender();
	for (Int32 k = 0; k < _source->FrameCount(); ++k)
	{
		_source->Select(k);
		switch (draw_type)
		{
			case PARTICLE_DRAW_POINTS: DrawPoints(bd, k); break;
			case PARTICLE_DRAW_CIRCLES: DrawCircles(bd, k); break;
			case PARTICLE_DRAW_BOX: DrawBox(bd, k); break;
			default: break;
		}
	}
	if (has_gradient)
		gradient.FreeRender();
}

void ParticleColouriser::DrawPoints(BaseDraw* bd, Int32 frame)
{
	const Int32 n = _source->ParticleCount();
	if (n <= 0)
		return;
	_points.resize(static_cast<size_t>(n));
	_colours.resize(3 * static_cast<size_t>(n));
	const float s = static_cast<float>(scale);
	// The plain source over a .bin frame, coloured by this plain colouriser, is read straight from the
	// frame's arrays: no calls per particle to what a variant could have changed.
	const ParticleFrame* f = _source->Current();
	const bool plain = typeid(*_source) == typeid(ParticleFrameSource) && typeid(*this) == typeid(ParticleColouriser) &&
					   f && f->bin && !f->tpc && n <= f->bin->kept_count;
	const float* positions = plain ? f->bin->position : nullptr;
	const bool by_value = plain && channel != 0;
	Vector32* points = _points.data();
	Float32* colours = _colours.data();
	for (Int32 i = 0; i < n; ++i)
	{
		float p[3];
		const float* at = p;
		if (positions)
			at = positions + 3 * static_cast<size_t>(i);
		else
			_source->Position(i, p);
		points[i] = Vector32{at[0] * s, at[1] * s, at[2] * s};
		const Vector c = by_value ? Blend(Place(GetBinChannelValue(f->bin, i, channel))) : ParticleColour(frame, i);
		Float32* out = &colours[3 * static_cast<size_t>(i)];
		out[0] = static_cast<Float32>(c.x);
		out[1] = static_cast<Float32>(c.y);
		out[2] = static_cast<Float32>(c.z);
	}
	bd->DrawPointArray(n, _points.data(), _colours.data(), 3, nullptr);
}

void ParticleColouriser::DrawCircles(BaseDraw* bd, Int32 frame)
{
	Vector a(size, 0.0, 0.0), b(0.0, size, 0.0);
	switch (axis)
	{
		case 0:
		{
			// facing the camera: its axes, brought into the object's space without the object's scale
			BaseObject* camera = bd->GetSceneCamera(doc);
			if (!camera)
				camera = bd->GetEditorCamera();
			if (camera)
			{
				const Matrix cam = camera->GetMg();
				const Matrix inv = object ? ~object->GetMg() : Matrix();
				auto axis_of = [&](const Vector& v) {
					const Vector local = inv.TransformVector(v);
					const Float l = local.GetLength();
					return l > 0.0 ? local * (size / l) : local;
				};
				a = axis_of(cam.v1);
				b = axis_of(cam.v2);
			}
			break;
		}
		case 2: a = Vector(0.0, size, 0.0), b = Vector(0.0, 0.0, size); break;
		case 3: a = Vector(size, 0.0, 0.0), b = Vector(0.0, 0.0, size); break;
		default: break;
	}
	const Int32 n = _source->ParticleCount();
	for (Int32 i = 0; i < n; ++i)
	{
		float p[3];
		_source->Position(i, p);
		bd->SetPen(ParticleColour(frame, i));
		bd->DrawCircle(Matrix(Vector(p[0], p[1], p[2]) * scale, a, b, Cross(a, b)));
	}
}

void ParticleColouriser::DrawBox(BaseDraw* bd, Int32 frame)
{
	const Int32 n = _source->ParticleCount();
	if (n <= 0)
		return;
	Vector lo(1e30), hi(-1e30);
	for (Int32 i = 0; i < n; ++i)
	{
		float p[3];
		_source->Position(i, p);
		lo = Vector(std::min<Float>(lo.x, p[0]), std::min<Float>(lo.y, p[1]), std::min<Float>(lo.z, p[2]));
		hi = Vector(std::max<Float>(hi.x, p[0]), std::max<Float>(hi.y, p[1]), std::max<Float>(hi.z, p[2]));
	}
	lo = lo * scale;
	hi = hi * scale;
	bd->SetPen(frame >= 0 && static_cast<size_t>(frame) < frame_colours.size() ? frame_colours[static_cast<size_t>(frame)]
																			  : Vector(1.0, 1.0, 1.0));
	auto corner = [&](int k) { return Vector(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z); };
	// the twelve edges join corners that differ in one coordinate
	for (int k = 0; k < 8; ++k)
		for (int bit : {1, 2, 4})
			if (!(k & bit))
				bd->DrawLine(corner(k), corner(k | bit), 0);
}
