// particle_display_test.cpp - the Particle Importer's particles in the viewport, checked in the picture.
#include "host_test.h"
#include "importer_files.h"
#include "picture_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "particle_bin.h"
#include "particle_display.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

struct P
{
	float x, y, vx;
};

void WriteFrame(const std::string& path, const std::vector<P>& particles)
{
	ASSERT_TRUE(WriteBinFrame(path, 0, static_cast<int>(particles.size()), [&](BinParticleFrame* f, int i) {
		f->position[3 * i] = particles[static_cast<size_t>(i)].x;
		f->position[3 * i + 1] = particles[static_cast<size_t>(i)].y;
		f->velocity[3 * i] = particles[static_cast<size_t>(i)].vx;
	}));
}

// The velocity channel is the squared speed: 0, 1 and 4 for speeds 0, 1 and 2; a quarter of the way from
// blue to red, eased by the default gradient's smooth knots, is 0.15625 red.
const Rgb kBlue{0, 0, 255}, kRed{255, 0, 0}, kQuarter{40, 0, 215}, kWhite{255, 255, 255};

// A camera 500 units in front of the origin: 200 pixels wide, 0.4 pixels per unit, a particle at x metres
// lands 40 x pixels right of the centre (100, 50).
class ParticleDisplay : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetRelPos(Vector(0, 0, -500));
		doc->InsertObject(cam, nullptr, nullptr);
		op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
	}
	void Show(const std::vector<P>& particles, Int32 mode, Int32 channel = 1)
	{
		const std::string path = dir / "drop_00000.bin";
		WriteFrame(path, particles);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path)));
		headless::UserSetParameter(op, TW_PI_DISPLAY_MODE, GeData(mode));
		headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(channel));
		doc->SetTime(BaseTime(0.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	Rgb At(Int32 x, Int32 y) const { return PixelOf(view, x, y); }
	static Rgb Background() { return ViewBackground(); }
	TP_PGroup* Group()
	{
		for (TP_PGroup* g : GetThinkingParticlesMaster(doc)->GetParticleGroups())
			if (g->GetName() == op->GetName())
				return g;
		return nullptr;
	}
	Float Found(Int32 id) { return op->GetDataInstance()->GetFloat(id); }

	TempDir dir;
	BaseObject* op = nullptr;
	headless::View view{200, 100};
};

TEST_F(ParticleDisplay, PointsTakeTheGradientsColourOfTheirChannelValue)
{
	Show({{-1, 0, 0}, {0, 0, 1}, {1, 0, 2}}, 1);
	view.DrawDocument(doc);
	EXPECT_EQ(At(60, 50), kBlue);
	EXPECT_EQ(At(100, 50), kQuarter);
	EXPECT_EQ(At(140, 50), kRed);
	EXPECT_DOUBLE_EQ(Found(TW_PI_FOUND_MIN), 0.0);
	EXPECT_DOUBLE_EQ(Found(TW_PI_FOUND_MAX), 4.0);
	// fault: the group made after the display was chosen was drawn by the host as well
	EXPECT_EQ(Group()->GetViewType(), TP_PGROUP_VIEW_NONE);

	// only the object pass draws
	for (const headless::View::DrawCall& call : view.DrawCalls())
	{
		if (call.op == op)
		{
			EXPECT_EQ(call.result, call.pass == DRAWPASS_OBJECT ? DRAWRESULT_OK : DRAWRESULT_SKIP) << call.pass;
		}
	}

	// a fixed range when the automatic one is off: values beyond it clamp
	headless::UserSetParameter(op, TW_PI_AUTO_RANGE, GeData(false));
	headless::UserSetParameter(op, TW_PI_RANGE_MIN, GeData(1.0));
	headless::UserSetParameter(op, TW_PI_RANGE_MAX, GeData(3.0));
	view.DrawDocument(doc);
	EXPECT_EQ(At(60, 50), kBlue);
	EXPECT_EQ(At(100, 50), kBlue);
	EXPECT_EQ(At(140, 50), kRed);
	EXPECT_DOUBLE_EQ(Found(TW_PI_FOUND_MAX), 4.0); // what was found is still shown
}

TEST_F(ParticleDisplay, EqualValuesEmptyFramesAndNoChannel)
{
	Show({{-1, 0, 1}, {1, 0, 1}}, 1);
	view.DrawDocument(doc);
	EXPECT_EQ(At(60, 50), kRed) << "all values equal: the colour at 1";
	EXPECT_EQ(At(140, 50), kRed);

	headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(0));
	view.DrawDocument(doc);
	EXPECT_EQ(At(60, 50), kWhite) << "no channel: the frame's colour";

	Show({}, 1);
	view.DrawDocument(doc);
	EXPECT_DOUBLE_EQ(Found(TW_PI_FOUND_MIN), 0.0);
	EXPECT_DOUBLE_EQ(Found(TW_PI_FOUND_MAX), 0.0);
}

TEST_F(ParticleDisplay, DisplayOffLeavesTheParticlesToTheHost)
{
	Show({{1, 0, 2}}, 0);
	EXPECT_EQ(Group()->GetViewType(), TP_PGROUP_VIEW_DEFAULT);
	view.DrawDocument(doc);
	EXPECT_EQ(At(140, 50), kWhite); // the host's own particle
	for (const headless::View::DrawCall& call : view.DrawCalls())
	{
		if (call.op == op && call.pass == DRAWPASS_OBJECT)
		{
			EXPECT_EQ(call.result, DRAWRESULT_OK);
		}
	}
}

TEST_F(ParticleDisplay, NothingIsDrawnForAnotherPortOrASwitchedOffObject)
{
	Show({{1, 0, 2}}, 1);
	view.GetBaseDraw()->GetDataInstance()->SetInt32(BASEDRAW_DRAWPORTTYPE, 1);
	view.DrawDocument(doc);
	EXPECT_EQ(At(140, 50), Background());
	view.GetBaseDraw()->GetDataInstance()->SetInt32(BASEDRAW_DRAWPORTTYPE, 2);
	op->GetDataInstance()->SetBool(ID_BASEOBJECT_GENERATOR_FLAG, false);
	view.DrawDocument(doc);
	EXPECT_EQ(At(140, 50), Background());
	for (const headless::View::DrawCall& call : view.DrawCalls())
	{
		if (call.op == op)
		{
			EXPECT_EQ(call.result, DRAWRESULT_SKIP);
		}
	}
	op->GetDataInstance()->SetBool(ID_BASEOBJECT_GENERATOR_FLAG, true);
	view.DrawDocument(doc);
	EXPECT_EQ(At(140, 50), kRed) << "the table reset by the switch loads again";
}

TEST_F(ParticleDisplay, CirclesOfTheChosenSizeInEachAxisSetting)
{
	// size 0.5 is 50 units: 20 pixels of radius about (100, 50)
	Show({{0, 0, 2}}, 2, 0);
	headless::UserSetParameter(op, TW_PI_DISPLAY_SIZE, GeData(0.5));
	struct Case
	{
		Int32 axis;
		bool across, up; // whether the rim is met 20 pixels to the right, and 20 pixels up
	};
	for (const Case& c : {Case{0, true, true}, Case{1, true, true}, Case{2, false, true}, Case{3, true, false}})
	{
		headless::UserSetParameter(op, TW_PI_DISPLAY_AXIS, GeData(c.axis));
		view.DrawDocument(doc);
		EXPECT_EQ(At(119, 50) == kWhite || At(120, 50) == kWhite, c.across) << "axis " << c.axis;
		EXPECT_EQ(At(100, 30) == kWhite || At(100, 29) == kWhite, c.up) << "axis " << c.axis;
		EXPECT_NE(At(110, 40), kWhite) << "axis " << c.axis;
	}
}

TEST_F(ParticleDisplay, BoundingBoxEdgesPassThroughTheProjectedCorners)
{
	Show({{-1, -0.5f, 0}, {1, 0.5f, 1}, {0, 0, 2}}, 3);
	view.DrawDocument(doc);
	for (const Vector& corner : {Vector(-100, -50, 0), Vector(100, 50, 0), Vector(100, -50, 0)})
	{
		Float x = 0, y = 0;
		ASSERT_TRUE(view.Project(corner, &x, &y));
		bool lit = false;
		for (Int32 dx = -1; dx <= 1; ++dx)
			for (Int32 dy = -1; dy <= 1; ++dy)
				lit = lit || At(static_cast<Int32>(x) + dx, static_cast<Int32>(y) + dy) == kWhite;
		EXPECT_TRUE(lit) << corner.x << ", " << corner.y;
	}
	EXPECT_EQ(At(100, 50), Background()) << "a box, not its particles";
}

TEST(ParticleColouriserColour, RampWithoutAGradient)
{
	ParticleColouriser c;
	c.colour_a = Vector(0, 0, 0);
	c.colour_b = Vector(1, 0.5, 0);
	EXPECT_EQ(c.ColourAt(0.0), Vector(0, 0, 0));
	EXPECT_EQ(c.ColourAt(1.0), Vector(1, 0.5, 0));
	EXPECT_EQ(c.ColourAt(0.5), Vector(0.5, 0.25, 0));
	c.has_gradient = true;
	c.gradient.InsertKnot(Vector(0, 1, 0), 0.0);
	EXPECT_EQ(c.ColourAt(0.5), Vector(0, 1, 0));
}

} // namespace
