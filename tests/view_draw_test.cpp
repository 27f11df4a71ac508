// view_draw_test.cpp - the quick ways of drawing many coloured points give the picture of the plain ones.
#include "host_test.h"
#include "importer_files.h"

#include "cache_types.h"
#include "particle_bin.h"
#include "particle_display.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{

// A source that changes nothing, but is not the plain one: the colouriser asks it particle by particle.
class RelaySource : public ParticleFrameSource
{
};

// Many particles in front of a camera 500 units away, several on one pixel, at random speeds.
class ViewDraw : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetRelPos(Vector(0, 0, -500));
		doc->InsertObject(cam, nullptr, nullptr);
		const std::string path = dir / "drop_00000.bin";
		std::mt19937 random(7);
		std::uniform_real_distribution<float> across(-2.0f, 2.0f), speed(0.0f, 3.0f);
		ASSERT_TRUE(WriteBinFrame(path, 0, kCount, [&](BinParticleFrame* f, int i) {
			// a coarse grid so that particles share pixels at different depths
			f->position[3 * i] = std::round(across(random) * 10.0f) / 10.0f;
			f->position[3 * i + 1] = std::round(across(random) * 5.0f) / 10.0f;
			f->position[3 * i + 2] = across(random);
			f->velocity[3 * i] = speed(random);
		}));
		frame = OpenParticleFrame(path.c_str(), CACHE_PARTICLE_BIN);
		ASSERT_NE(frame, nullptr);
		ASSERT_EQ(ReadParticleFrame(frame, 100.0f), 1);
	}
	void TearDown() override
	{
		FreeParticleFrame(frame);
		HostTest::TearDown();
	}
	// Shows the frame through source, coloured by velocity through a blue-to-red gradient.
	void Configure(ParticleColouriser& c, ParticleFrameSource* source)
	{
		c.AttachSource(source, false);
		source->SetFrame(frame, false);
		c.channel = 1;
		c.has_gradient = true;
		c.gradient.InsertKnot(Vector(0, 0, 1), 0.0, 1.0, 0.5, GRADIENT_INTERPOLATION_SMOOTHKNOT);
		c.gradient.InsertKnot(Vector(1, 0, 0), 1.0, 1.0, 0.5, GRADIENT_INTERPOLATION_SMOOTHKNOT);
		c.UseChannelRange();
	}
	void Draw(ParticleFrameSource* source, headless::View& view)
	{
		ParticleColouriser c;
		Configure(c, source);
		view.DrawDocument(doc);
		c.Draw(view.GetBaseDraw());
		source->DropFrame();
	}
	static bool Same(const headless::View& a, const headless::View& b, std::string* where)
	{
		for (Int32 y = 0; y < a.Height(); ++y)
			for (Int32 x = 0; x < a.Width(); ++x)
			{
				UChar ca[3], cb[3];
				a.Pixel(x, y, ca);
				b.Pixel(x, y, cb);
				if (ca[0] != cb[0] || ca[1] != cb[1] || ca[2] != cb[2] || a.Depth(x, y) != b.Depth(x, y))
				{
					*where = std::to_string(x) + ", " + std::to_string(y);
					return false;
				}
			}
		return true;
	}

	static constexpr int kCount = 5000;
	TempDir dir;
	ParticleFrame* frame = nullptr;
};

TEST_F(ViewDraw, PlainSourceReadStraightFromTheFrameDrawsWhatAVariantDraws)
{
	ParticleFrameSource plain;
	RelaySource relay;
	headless::View quick(200, 100), slow(200, 100);
	Draw(&plain, quick);
	Draw(&relay, slow);
	std::string where;
	EXPECT_TRUE(Same(quick, slow, &where)) << "first difference at " << where;
}

TEST_F(ViewDraw, PointsDrawnTogetherCoverThePixelsAsOneByOne)
{
	ParticleFrameSource source;
	headless::View together(200, 100), apart(200, 100);
	Draw(&source, together);

	// the same points and colours, one call each and in order: the last near one on a pixel shows
	ParticleColouriser c;
	Configure(c, &source);
	apart.DrawDocument(doc);
	BaseDraw* bd = apart.GetBaseDraw();
	for (Int32 i = 0; i < source.ParticleCount(); ++i)
	{
		float p[3];
		source.Position(i, p);
		const Vector32 at{p[0] * 100.0f, p[1] * 100.0f, p[2] * 100.0f};
		const Vector col = c.ParticleColour(0, i);
		const Float32 rgb[3] = {static_cast<Float32>(col.x), static_cast<Float32>(col.y), static_cast<Float32>(col.z)};
		bd->DrawPointArray(1, &at, rgb, 3);
	}
	source.DropFrame();
	std::string where;
	EXPECT_TRUE(Same(together, apart, &where)) << "first difference at " << where;
}

} // namespace
