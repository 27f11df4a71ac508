// cli_view_test.cpp - twconnect view: sequences and scenes drawn into PNGs, checked by the pixels that matter.
#include "cli_support.h"
#include "importer_files.h"
#include "png_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

const Rgb kBackground{61, 61, 61};
// Speeds 0, 1 and 2 give velocity values 0, 1 and 4: blue, a quarter of the way to red (eased by the
// default gradient's smooth knots), red.
const Rgb kBlue{0, 0, 255}, kQuarter{40, 0, 215}, kRed{255, 0, 0};

std::vector<Rgb> LitColours(const Picture& p)
{
	std::vector<Rgb> colours;
	for (const auto& [x, c] : p.Lit(kBackground))
		colours.push_back(c);
	return colours;
}

TEST(CliView, ParticlesShowTheGradientsColoursWhereTheyAre)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	CliRun r = Twconnect("view " + dir / "drop_00000.bin" + " --out " + dir / "pic.png" +
			" --width 320 --height 200 --channel velocity --json",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 2u) << r.out;
	EXPECT_EQ(lines[0], Json({{"frame", 0}, {"file", dir / "pic.png"}, {"range", {0, 4}}}));
	EXPECT_EQ(lines[1]["frames"], 1);

	const Picture p = ReadPng(dir / "pic.png");
	EXPECT_EQ(p.width, 320);
	EXPECT_EQ(p.height, 200);
	// the editor camera looks along +z with +x to the right: one pixel per particle, slowest leftmost
	const auto lit = p.Lit(kBackground);
	ASSERT_EQ(lit.size(), 3u);
	EXPECT_EQ(lit[0].second, kBlue);
	EXPECT_EQ(lit[1].second, kQuarter);
	EXPECT_EQ(lit[2].second, kRed);
	EXPECT_LT(lit[0].first, lit[1].first);
	EXPECT_LT(lit[1].first, lit[2].first);

	// circles: rings of the same colours, many pixels each
	ASSERT_EQ(Twconnect("view " + dir / "drop_00000.bin" + " --out " + dir / "ring.png" +
						" --display circles --size 0.2 --width 320 --height 200")
				  .status,
		0);
	const std::vector<Rgb> rings = LitColours(ReadPng(dir / "ring.png"));
	EXPECT_GT(rings.size(), 30u);
	EXPECT_NE(std::find(rings.begin(), rings.end(), kBlue), rings.end());
	EXPECT_NE(std::find(rings.begin(), rings.end(), kRed), rings.end());
}

TEST(CliView, RangesWriteOnePicturePerFrameUnderTheAskedNames)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 2));
	const std::string in = dir / "drop_00000.bin";
	struct Case
	{
		std::string out, range;
		std::vector<std::string> files;
	};
	const Case cases[] = {
		{"a/pic%04d.png", "--start 0 --end 2", {"a/pic0000.png", "a/pic0001.png", "a/pic0002.png"}},
		{"b/pic.png", "--start 1", {"b/pic_0001.png", "b/pic_0002.png"}},
		{"c/%%%+d.png", "--end 0", {"c/%+0.png"}},
		{"e/one%03d.png", "--frame 1", {"e/one001.png"}},
		// a folder per frame: each made when its picture is written
		{"f%02d/pic.png", "--end 1", {"f00/pic.png", "f01/pic.png"}},
	};
	for (const Case& c : cases)
	{
		// a fixed range: the slowest two clamp to blue, the fastest is red; 1068/1069 still show the frame's
		CliRun r = Twconnect("view " + in + " --json --range 1 3 --out '" + dir / c.out + "' " + c.range, dir / "err");
		ASSERT_EQ(r.status, 0) << c.out << ": " << ReadFile(dir / "err");
		const std::vector<Json> lines = JsonLines(r.out);
		ASSERT_EQ(lines.size(), c.files.size() + 1) << r.out;
		for (size_t k = 0; k < c.files.size(); ++k)
		{
			EXPECT_EQ(lines[k]["file"], dir / c.files[k]);
			EXPECT_EQ(lines[k]["range"], Json({0, 4}));
			const std::vector<Rgb> lit = LitColours(ReadPng(dir / c.files[k]));
			EXPECT_EQ(std::count(lit.begin(), lit.end(), kBlue), 2) << c.files[k];
			EXPECT_EQ(std::count(lit.begin(), lit.end(), kRed), 1) << c.files[k];
		}
	}
}

TEST(CliView, MeshSequencesAndScenesShowTheirSurfaces)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --end 1").status, 0);
	ASSERT_EQ(Twconnect("sample sd " + dir / "scene.sd" + " --end 3").status, 0);
	for (const std::string& in : {dir / "mesh/surface_00001.bin", dir / "scene.sd"})
	{
		CliRun r = Twconnect("view " + in + " --frame 1 --out " + dir / "pic.png" + " --width 200 --height 150",
			dir / "err");
		ASSERT_EQ(r.status, 0) << in << ": " << ReadFile(dir / "err");
		const Picture p = ReadPng(dir / "pic.png");
		ASSERT_EQ(p.width, 200);
		// shaded grey surfaces cover a good part of the picture the camera framed
		const std::vector<Rgb> lit = LitColours(p);
		EXPECT_GT(lit.size(), 1000u) << in;
		for (const Rgb& c : lit)
			ASSERT_TRUE(c.r == c.g && c.g == c.b) << in << " " << c;
	}
}

TEST(CliView, BadArgumentsAreRefusedBeforeAnythingIsWritten)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --end 0").status, 0);
	const std::string drops = "view " + dir / "drop_00000.bin" + " --out " + dir / "x.png";
	struct Case
	{
		std::string args, says;
	};
	const Case cases[] = {
		{drops + " --channel speed", "texture U, texture V"},
		{"view " + dir / "drop_00000.bin" + " --start 0 --out '" + dir / "x%s.png'", "not a frame number"},
		{"view " + dir / "drop_00000.bin" + " --start 0 --out '" + dir / "x%d%d.png'", "more than one"},
		{drops + " --frame 0 --end 1", "excludes"},
		{drops + " --start 3 --end 1", "empty"},
		{"view " + dir / "mesh/surface_00000.bin" + " --out " + dir / "x.png --display circles", "particle sequences only"},
	};
	for (const Case& c : cases)
	{
		EXPECT_EQ(Twconnect(c.args, dir / "err").status, 2) << c.args;
		EXPECT_NE(ReadFile(dir / "err").find(c.says), std::string::npos) << ReadFile(dir / "err");
	}
	EXPECT_FALSE(FileExists(dir / "x.png"));
	// the names of the display channel table in any case, spaces or dashes
	for (const char* name : {"texture-u", "'TEXTURE U'", "Vorticity", "none"})
		EXPECT_EQ(Twconnect(drops + " --channel " + name).status, 0) << name;
}

TEST(CliView, FailuresToReadOrWriteExitNonZeroAndSayWhy)
{
	TempDir dir;
	ASSERT_TRUE(WriteDrops(dir.path(), 0, 0));
	WriteFile(dir / "file", "not a folder");
	WriteFile(dir / "bad.sd", "not a scene");
	ASSERT_EQ(Twconnect("sample mesh " + dir / "folder.png" + " --end 0").status, 0);
	const std::string in = dir / "drop_00000.bin";
	struct Case
	{
		std::string args, says;
	};
	const Case cases[] = {
		{"view " + in + " --out " + dir / "file/pic.png", "cannot make the folder"},
		// a folder stands where the picture goes: nothing of a half-written one stays behind
		{"view " + in + " --out " + dir / "folder.png", "cannot write"},
		{"view " + dir / "missing_00000.bin" + " --out " + dir / "pic.png", "cannot open"},
		{"view " + dir / "file" + " --out " + dir / "pic.png", "was not taken"},
		// fault: a scene the importer cannot read gave an empty picture and success
		{"view " + dir / "bad.sd" + " --out " + dir / "pic.png", "Invalid SD file format"},
	};
	for (const Case& c : cases)
	{
		EXPECT_EQ(Twconnect(c.args, dir / "err").status, 1) << c.args;
		EXPECT_NE(ReadFile(dir / "err").find(c.says), std::string::npos) << ReadFile(dir / "err");
	}
	EXPECT_FALSE(FileExists(dir / "pic.png"));
	EXPECT_FALSE(FileExists(dir / "folder.png.part"));
}

} // namespace
