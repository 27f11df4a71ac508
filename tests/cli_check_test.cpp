// cli_check_test.cpp - twconnect check: a damaged sequence gives exactly its faults, every sample sequence
// is whole.
#include "cli_support.h"
#include "particle_bin.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace
{

std::string FramePath(const TempDir& dir, int frame)
{
	char name[32];
	std::snprintf(name, sizeof name, "splash_%05d.bin", frame);
	return dir / name;
}

void WriteFrame(const std::string& path, int frame, int count, int fps)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	ASSERT_NE(f, nullptr);
	f->header.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f, "splash");
	f->header.version = 12;
	f->header.frame = frame;
	f->header.fps = fps;
	f->header.particle_count = count;
	ASSERT_EQ(AllocateChannels(f, count), 1);
	for (int i = 0; i < count; ++i)
	{
		f->id[i] = i;
		f->position[3 * i] = static_cast<float>(i);
	}
	ASSERT_EQ(WriteParticleBin(f), 1);
	FreeParticleBin(f);
}

Json Check(const std::string& args, int expected_status)
{
	const CliRun r = Twconnect("check " + args + " --json");
	EXPECT_EQ(r.status, expected_status) << r.out;
	const std::vector<Json> lines = JsonLines(r.out);
	EXPECT_EQ(lines.size(), 1u) << r.out;
	return lines.empty() ? Json() : lines[0];
}

} // namespace

TEST(CliCheck, ADamagedSequenceGivesExactlyItsFourFindings)
{
	TempDir dir;
	for (int frame = 1; frame <= 8; ++frame)
		WriteFrame(FramePath(dir, frame), frame, frame >= 7 ? 500 : 100, frame == 3 ? 30 : 25);
	std::filesystem::remove(FramePath(dir, 4));
	std::filesystem::resize_file(FramePath(dir, 6), 356 + 50 * 114);

	const Json j = Check(FramePath(dir, 1), 1);
	EXPECT_EQ(j["format"], "particle-bin");
	EXPECT_EQ(j["first"], 1);
	EXPECT_EQ(j["last"], 8);
	EXPECT_EQ(j["on_disk"], 7);
	EXPECT_EQ(j["read"], 6);
	EXPECT_FALSE(j["whole"].get<bool>());
	const Json& f = j["findings"];
	ASSERT_EQ(f.size(), 4u) << j.dump(1);
	EXPECT_EQ(f[0]["frame"], 3);
	EXPECT_EQ(f[0]["kind"], "header");
	EXPECT_EQ(f[0]["field"], "fps");
	EXPECT_EQ(f[0]["value"], "30");
	EXPECT_EQ(f[0]["expected"], "25");
	EXPECT_EQ(f[1]["frame"], 4);
	EXPECT_EQ(f[1]["kind"], "missing");
	EXPECT_EQ(f[2]["frame"], 6);
	EXPECT_EQ(f[2]["kind"], "unreadable");
	EXPECT_NE(f[2]["message"].get<std::string>().find("a count the file cannot hold (100 particles)"), std::string::npos);
	EXPECT_EQ(f[3]["frame"], 7);
	EXPECT_EQ(f[3]["kind"], "count-jump");
	EXPECT_EQ(f[3]["previous_frame"], 5);
	EXPECT_EQ(f[3]["previous_count"], 100);
	EXPECT_EQ(f[3]["count"], 500);

	// a wider --jump lets the growth pass; the text form prints one line per finding and the summary
	const CliRun text = Twconnect("check " + FramePath(dir, 5) + " --jump 6");
	EXPECT_EQ(text.status, 1);
	EXPECT_NE(text.out.find("splash_00004.bin: missing\n"), std::string::npos) << text.out;
	EXPECT_EQ(text.out.find("jump"), std::string::npos) << text.out;
	EXPECT_NE(text.out.find("3 findings"), std::string::npos) << text.out;
}

TEST(CliCheck, FrameNumbersAndFallsToNothingAreFoundGrowthFromNothingIsNot)
{
	TempDir dir;
	WriteFrame(FramePath(dir, 10), 10, 0, 25); // emission starts from nothing
	WriteFrame(FramePath(dir, 11), 11, 40, 25);
	WriteFrame(FramePath(dir, 12), 21, 40, 25); // a frame filed under the wrong number
	WriteFrame(FramePath(dir, 13), 13, 0, 25); // the simulation lost every particle
	const Json j = Check(FramePath(dir, 12), 1);
	const Json& f = j["findings"];
	ASSERT_EQ(f.size(), 2u) << j.dump(1);
	EXPECT_EQ(f[0]["frame"], 12);
	EXPECT_EQ(f[0]["kind"], "frame-number");
	EXPECT_EQ(f[1]["frame"], 13);
	EXPECT_EQ(f[1]["kind"], "count-jump");
}

TEST(CliCheck, ADamagedChosenFileStillFindsItsSequenceFormat)
{
	TempDir dir;
	for (int frame = 0; frame < 3; ++frame)
		WriteFrame(FramePath(dir, frame), frame, 10, 25);
	WriteFile(FramePath(dir, 0), "junk");
	const Json j = Check(FramePath(dir, 0), 1);
	EXPECT_EQ(j["format"], "particle-bin");
	ASSERT_EQ(j["findings"].size(), 1u);
	EXPECT_NE(j["findings"][0]["message"].get<std::string>().find("bad magic"), std::string::npos);
}

TEST(CliCheck, MissingFileAndBadJumpAreRefused)
{
	TempDir dir;
	EXPECT_EQ(Twconnect("check " + dir / "none_00001.bin").status, 1);
	WriteFrame(FramePath(dir, 1), 1, 1, 25);
	EXPECT_EQ(Twconnect("check " + FramePath(dir, 1) + " --jump 0.5").status, 2);
}

// Every sample the tool writes is a whole sequence, in every format.
TEST(CliCheck, EverySampleSequenceIsWhole)
{
	const struct
	{
		const char* kind;
		const char* format;
	} samples[] = {
		{"particles", "particle-bin"},
		{"pxy", "particle-pxy"},
		{"tpc", "particle-tpc"},
		{"mesh", "mesh-bin"},
		{"chunked", "mesh-chunked"},
		{"md", "mesh-md"},
		{"sd", "sd"},
	};
	for (const auto& s : samples)
	{
		TempDir dir;
		const std::string target = std::string(s.kind) == "sd" ? dir / "scene.sd" : dir.path();
		ASSERT_EQ(Twconnect(std::string("sample ") + s.kind + " " + target).status, 0) << s.kind;
		std::string first;
		for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
			if (first.empty() || entry.path().string() < first)
				first = entry.path().string();
		const Json j = Check(first, 0);
		EXPECT_EQ(j["format"], s.format) << s.kind;
		EXPECT_TRUE(j["whole"].get<bool>()) << s.kind << ": " << j.dump(1);
		EXPECT_GT(j["read"].get<int>(), 1) << s.kind;
	}
}
