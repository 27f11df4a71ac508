// cli_render_melt_test.cpp - twconnect render --melt: the two-fluid sample shows each fluid's colour
// where its weight is 1 and their mix between; the refused lists; the melt material's preview.
#include "cli_support.h"
#include "png_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

const Rgb kBlack{0, 0, 0};

class CliRenderMelt : public testing::Test
{
protected:
	TempDir dir;
	std::string frame;

	void SetUp() override
	{
		ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --start 12 --end 12 --weights 2").status, 0);
		frame = dir / "mesh/surface_00012.bin";
	}
	Picture Render(const std::string& options)
	{
		const std::string out = dir / "melt.png";
		EXPECT_EQ(Twconnect("render " + frame + " --width 320 --height 180 --out " + out + " " + options).status, 0);
		return ReadPng(out);
	}
};

// Fluid 1 blue, fluid 2 red: the sample's fluid 1 weighs u, 1 at the right (+x) edge and 0 at the left,
// so fluid 1's colour pairs with its own weight map only when it shows on the right.
TEST_F(CliRenderMelt, EachFluidsColourShowsWhereItsWeightIsOneAndTheyMixBetween)
{
	const auto lit = Render("--melt 0000ff,ff0000").Lit(kBlack);
	ASSERT_FALSE(lit.empty());
	size_t fluid1 = 0, fluid2 = 0, mixed = 0;
	double x1 = 0.0, x2 = 0.0;
	for (const auto& [x, c] : lit)
	{
		EXPECT_EQ(c.g, 0);
		if (c.b > 0 && c.r == 0)
			++fluid1, x1 += x;
		if (c.r > 0 && c.b == 0)
			++fluid2, x2 += x;
		mixed += c.r * 4 > c.b && c.b * 4 > c.r;
	}
	ASSERT_GT(fluid1, 0u);
	ASSERT_GT(fluid2, 0u);
	EXPECT_GT(x1 / fluid1, x2 / fluid2 + 20.0);
	EXPECT_GT(mixed, lit.size() / 2);
}

TEST_F(CliRenderMelt, SharpnessOneCountsBothFluidsFullyEverywhere)
{
	const auto lit = Render("--melt 0000ff,ff0000 --sharpness 1").Lit(kBlack);
	ASSERT_FALSE(lit.empty());
	for (const auto& [x, c] : lit)
		ASSERT_TRUE(c.r == c.b && c.g == 0) << c;
}

TEST_F(CliRenderMelt, RefusesBadColourListsAndMisplacedOptionsWritingNothing)
{
	ASSERT_EQ(Twconnect("sample sd " + dir / "scene.sd" + " --end 1").status, 0);
	const std::string out = dir / "x.png";
	const std::string eleven = "000000,000000,000000,000000,000000,000000,000000,000000,000000,000000,000000";
	for (const std::string& args : {frame + " --melt 0000f", frame + " --melt 0000ff0", frame + " --melt 00g0ff",
			 frame + " --melt ''", frame + " --melt 0000ff,", frame + " --melt ,0000ff", frame + " --melt " + eleven,
			 frame + " --sharpness 0.5", frame + " --melt 0000ff --sharpness 1.5", dir / "scene.sd" + " --melt 0000ff"})
	{
		EXPECT_EQ(Twconnect("render " + args + " --out " + out).status, 2) << args;
		EXPECT_FALSE(FileExists(out)) << args;
	}
	EXPECT_EQ(Twconnect("render " + frame + " --melt " + eleven.substr(7) + " --out " + out).status, 0);
}

TEST(CliPreviewMelt, WritesAPngOfTheAskedSizeAndFailsOnAnUnwritablePath)
{
	TempDir dir;
	const std::string out = dir / "preview.png";
	ASSERT_EQ(Twconnect("preview melt --out " + out + " --width 64 --height 48").status, 0);
	const Picture p = ReadPng(out);
	EXPECT_EQ(p.width, 64);
	EXPECT_EQ(p.height, 48);
	ASSERT_EQ(Twconnect("preview melt --out " + dir / "default.png").status, 0);
	EXPECT_EQ(ReadPng(dir / "default.png").width, 200);
	ASSERT_EQ(Twconnect("sample mesh " + dir / "blocker" + " --end 0").status, 0);
	EXPECT_EQ(Twconnect("preview melt --out " + dir / "blocker/surface_00000.bin/p.png").status, 1);
	EXPECT_EQ(Twconnect("preview").status, 2);
}

} // namespace
