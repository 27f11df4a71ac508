// cli_render_test.cpp - twconnect render: particles as coloured instances, meshes and scenes as
// surfaces, picture sequences, and the arguments and failures it refuses.
#include "cli_support.h"
#include "importer_files.h"
#include "png_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

const Rgb kBlack{0, 0, 0};

// The lit pixels of the leftmost and of the rightmost tenth of the lit columns.
struct Ends
{
	std::vector<Rgb> left, right;
	size_t lit = 0;
};

Ends EndsOf(const Picture& p)
{
	Ends e;
	const auto lit = p.Lit(kBlack);
	e.lit = lit.size();
	if (lit.empty())
		return e;
	const int lo = lit.front().first, hi = lit.back().first, tenth = std::max(1, (hi - lo) / 10);
	for (const auto& [x, c] : lit)
	{
		if (x < lo + tenth)
			e.left.push_back(c);
		if (x > hi - tenth)
			e.right.push_back(c);
	}
	return e;
}

bool Bluish(const Rgb& c)
{
	return c.b > 0 && c.r == 0 && c.g == 0;
}

bool Reddish(const Rgb& c)
{
	return c.r > 0 && c.b == 0 && c.g == 0;
}

bool Grey(const Rgb& c)
{
	return c.r == c.g && c.g == c.b;
}

TEST(CliRender, ParticlesShowTheGradientsColoursByVelocityWhereTheyAre)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	const std::string in = dir / "drop_00000.bin";
	CliRun r = Twconnect("render " + in + " --out " + dir / "pic.png" +
			" --width 320 --height 200 --shape sphere --size 20 --channel velocity --json",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 2u) << r.out;
	EXPECT_EQ(lines[0]["frame"], 0);
	EXPECT_EQ(lines[0]["file"], dir / "pic.png");
	EXPECT_EQ(lines[0]["instances"], 3);
	EXPECT_TRUE(lines[0]["seconds"].is_number());
	EXPECT_EQ(lines[1]["frames"], 1);

	const Picture p = ReadPng(dir / "pic.png");
	EXPECT_EQ(p.width, 320);
	EXPECT_EQ(p.height, 200);
	// the camera frames the row with +x to the right: the slowest sphere blue, the fastest red
	Ends e = EndsOf(p);
	EXPECT_GT(e.lit, 300u);
	ASSERT_FALSE(e.left.empty());
	EXPECT_TRUE(std::all_of(e.left.begin(), e.left.end(), Bluish)) << e.left.front();
	EXPECT_TRUE(std::all_of(e.right.begin(), e.right.end(), Reddish)) << e.right.front();

	struct Case
	{
		std::string args;
		bool (*left)(const Rgb&);
		bool (*right)(const Rgb&);
	};
	const Case cases[] = {
		{"--gradient grey", Grey, Grey},
		// no channel: every instance takes the particle material's base colour
		{"--channel none", Grey, Grey},
		// the shader's own channel wins over the importer's
		{"--channel none --shader-channel velocity", Bluish, Reddish},
		// a copy of a sphere the command makes; its original stays out of the picture
		{"--shape object --size 20 --json", Bluish, Reddish},
	};
	for (const Case& c : cases)
	{
		r = Twconnect("render " + in + " --out " + dir / "case.png" + " --width 320 --height 200 --shape sphere --size 20 " +
				c.args,
			dir / "err");
		ASSERT_EQ(r.status, 0) << c.args << ": " << ReadFile(dir / "err");
		e = EndsOf(ReadPng(dir / "case.png"));
		ASSERT_GT(e.lit, 300u) << c.args;
		EXPECT_TRUE(std::all_of(e.left.begin(), e.left.end(), c.left)) << c.args << " " << e.left.front();
		EXPECT_TRUE(std::all_of(e.right.begin(), e.right.end(), c.right)) << c.args << " " << e.right.front();
	}
	EXPECT_EQ(JsonLines(r.out).at(0)["instances"], 3);
}

TEST(CliRender, MeshSequencesAndScenesShowGreySurfaces)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --end 1").status, 0);
	ASSERT_EQ(Twconnect("sample sd " + dir / "scene.sd" + " --end 3").status, 0);
	for (const std::string& in : {dir / "mesh/surface_00001.bin", dir / "scene.sd"})
	{
		CliRun r = Twconnect("render " + in + " --frame 1 --json --out " + dir / "pic.png" + " --width 200 --height 150",
			dir / "err");
		ASSERT_EQ(r.status, 0) << in << ": " << ReadFile(dir / "err");
		EXPECT_EQ(JsonLines(r.out).at(0)["instances"], 0) << in;
		const Picture p = ReadPng(dir / "pic.png");
		ASSERT_EQ(p.width, 200);
		const auto lit = p.Lit(kBlack);
		EXPECT_GT(lit.size(), 1000u) << in;
		for (const auto& [x, c] : lit)
			ASSERT_TRUE(Grey(c)) << in << " " << c;
	}
}

TEST(CliRender, RangesWriteOnePicturePerFrame)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 2));
	CliRun r = Twconnect("render " + dir / "drop_00000.bin" + " --json --start 0 --end 2 --width 64 --height 48 --out '" +
			dir / "a/pic%04d.png'",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 4u) << r.out;
	for (int f = 0; f < 3; ++f)
	{
		char name[32];
		std::snprintf(name, sizeof name, "a/pic%04d.png", f);
		EXPECT_EQ(lines[static_cast<size_t>(f)]["frame"], f);
		EXPECT_EQ(lines[static_cast<size_t>(f)]["file"], dir / name);
		EXPECT_EQ(ReadPng(dir / name).width, 64) << name;
	}
	EXPECT_EQ(lines[3]["frames"], 3);
}

TEST(CliRender, BadArgumentsAreRefusedBeforeAnythingIsWritten)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --end 0").status, 0);
	const std::string drops = "render " + dir / "drop_00000.bin" + " --out " + dir / "x.png";
	struct Case
	{
		std::string args, says;
	};
	const Case cases[] = {
		{drops + " --channel speed", "texture U, texture V"},
		{drops + " --shader-channel speed", "texture U, texture V"},
		{drops + " --gradient sunset", "blue-red, grey, heat, rainbow"},
		{drops + " --shape cube", "cube"},
		{drops + " --use-importer --shader-channel age", "excludes"},
		{drops + " --start 3 --end 1", "empty"},
		{"render " + dir / "mesh/surface_00000.bin" + " --out " + dir / "x.png --gradient heat", "particle sequences only"},
	};
	for (const Case& c : cases)
	{
		EXPECT_EQ(Twconnect(c.args, dir / "err").status, 2) << c.args;
		EXPECT_NE(ReadFile(dir / "err").find(c.says), std::string::npos) << ReadFile(dir / "err");
	}
	EXPECT_FALSE(FileExists(dir / "x.png"));
}

TEST(CliRender, FailuresToReadOrWriteExitNonZeroAndSayWhy)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	WriteFile(dir / "file", "not a folder");
	ASSERT_EQ(Twconnect("sample mesh " + dir / "folder.png" + " --end 0").status, 0);
	const std::string in = dir / "drop_00000.bin";
	struct Case
	{
		std::string args, says;
	};
	const Case cases[] = {
		{"render " + in + " --out " + dir / "file/pic.png", "cannot make the folder"},
		// a folder stands where the picture goes
		{"render " + in + " --out " + dir / "folder.png", "cannot write"},
		{"render " + dir / "missing_00000.bin" + " --out " + dir / "pic.png", "cannot open"},
		{"render " + dir / "file" + " --out " + dir / "pic.png", "was not taken"},
	};
	for (const Case& c : cases)
	{
		EXPECT_EQ(Twconnect(c.args, dir / "err").status, 1) << c.args;
		EXPECT_NE(ReadFile(dir / "err").find(c.says), std::string::npos) << ReadFile(dir / "err");
	}
	EXPECT_FALSE(FileExists(dir / "pic.png"));
}

} // namespace
