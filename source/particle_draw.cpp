// particle_draw.cpp - the Particle Importer in the viewport: its particles drawn by their channel colour.
#include "TWParticleImporter.h"

#include "TW_Particle_Importer.h"

void TWParticleImporter::ConfigureDisplay(BaseObject* op, BaseDocument* doc)
{
	ConfigureColouriser(_colouriser, op, doc);
	_colouriser.generation = _cache ? _cache->viewport.generation : 0;
}

void TWParticleImporter::ConfigureColouriser(ParticleColouriser& c, BaseObject* op, BaseDocument* doc)
{
	const BaseContainer* bc = op->GetDataInstance();
	c.draw_type = bc->GetInt32(TW_PI_DISPLAY_MODE) - 1;
	c.axis = bc->GetInt32(TW_PI_DISPLAY_AXIS);
	c.size = bc->GetFloat(TW_PI_DISPLAY_SIZE) * 100.0;
	c.channel = bc->GetInt32(TW_PI_COLOR_CHANNEL);
	c.SetFrameColour(0, Vector(1.0, 1.0, 1.0));
	const Gradient* gradient = bc->GetData(TW_PI_COLOR_GRADIENT).GetGradient();
	c.has_gradient = gradient != nullptr;
	c.gradient = gradient ? *gradient : Gradient();
	c.scale = bc->GetFloat(TW_PI_SCALE) * 100.0;
	c.load_percentage = bc->GetFloat(TW_PI_LOAD_PERCENT);
	c.current_frame = WholeFrame(doc->GetTime(), doc->GetFps());
	c.range_min = bc->GetFloat(TW_PI_RANGE_MIN);
	c.range_max = bc->GetFloat(TW_PI_RANGE_MAX);
	c.doc = doc;
	c.object = op;
}

DRAWRESULT TWParticleImporter::Draw(BaseObject* op, DRAWPASS drawpass, BaseDraw* bd, BaseDrawHelp* bh)
{
	(void)bh;
	if (drawpass != DRAWPASS_OBJECT || !bd || bd->GetDataInstance()->GetInt32(BASEDRAW_DRAWPORTTYPE) != DRAWPORT_TYPE_ENHANCED)
		return DRAWRESULT_SKIP;
	BaseContainer* bc = op->GetDataInstance();
	if (!bc->GetBool(ID_BASEOBJECT_GENERATOR_FLAG, true))
	{
		_colouriser.Invalidate(); // its frame was the table's
		if (_cache)
			ResetCache(&_cache->viewport, &_settings);
		return DRAWRESULT_SKIP;
	}
	BaseDocument* doc = op->GetDocument();
	if (bc->GetInt32(TW_PI_DISPLAY_MODE) != 0 && doc && _cache && _master && _group)
	{
		bd->SetMatrix_Matrix(op, op->GetMg());
		ConfigureDisplay(op, doc);
		if (_colouriser.NeedsUpdate())
		{
			RefreshSettings(op);
			ParticleFrame* frame = SlotParticleFrame(GetFrame(&_cache->viewport, &_settings, _colouriser.current_frame));
			_display_source.SetFrame(frame, false);
			// a frame the table loaded just now changed its generation: this draw has seen it
			_colouriser.generation = _cache->viewport.generation;
		}
		float lo = 0.0f, hi = 0.0f;
		_colouriser.ChannelRange(&lo, &hi);
		bc->SetFloat(TW_PI_FOUND_MIN, lo);
		bc->SetFloat(TW_PI_FOUND_MAX, hi);
		if (bc->GetBool(TW_PI_AUTO_RANGE))
		{
			_colouriser.range_min = lo;
			_colouriser.range_max = hi;
		}
		_colouriser.Draw(bd);
		_colouriser.RecordSettings();
	}
	return DRAWRESULT_OK;
}
