// cli_pxy_test.cpp - twconnect over .pxy sequences: sample, info and play agree on every frame.
#include "cli_support.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>

namespace
{

// Runs twconnect; its exit status, with stdout in out.
int Twconnect(const std::string& args, std::string* out)
{
	const CliRun run = ::Twconnect(args);
	*out = run.out;
	return run.status;
}

TEST(CliPxy, SampleInfoAndPlayAgreeOnEveryFrame)
{
	TempDir dir;
	for (const char* version : {"2.5", "3.0"})
	{
		SCOPED_TRACE(version);
		const std::string folder = dir / (std::string("v") + version);
		std::string out;
		ASSERT_EQ(Twconnect("sample pxy '" + folder + "' --start 3 --end 5 --count 40 --version " + version, &out), 0);
		ASSERT_EQ(Twconnect("info --json '" + folder + "/swirl_00004.pxy'", &out), 0);
		const Json info = Json::parse(out);
		EXPECT_EQ(info["format"], "particle-pxy");
		EXPECT_EQ(info["version"], std::stod(version));
		EXPECT_EQ(info["particle_count"], 40);
		EXPECT_EQ(info["file_bytes"], 8 + 40 * (std::string(version) == "3.0" ? 32 : 28));

		for (const char* ids : {"", "--ids"})
		{
			ASSERT_EQ(Twconnect(std::string("play --json ") + ids + " '" + folder + "/swirl_00003.pxy'", &out), 0);
			const std::vector<Json> lines = JsonLines(out);
			ASSERT_EQ(lines.size(), 4u) << out; // three frames and the summary
			for (int k = 0; k < 3; ++k)
			{
				EXPECT_EQ(lines[static_cast<size_t>(k)]["frame"], 3 + k);
				EXPECT_EQ(lines[static_cast<size_t>(k)]["particles"], 40) << ids;
			}
		}
	}
}

TEST(CliPxy, CutFileIsRefusedByInfoAndShowsNothingInPlay)
{
	TempDir dir;
	std::string out;
	ASSERT_EQ(Twconnect("sample pxy '" + dir.path() + "' --start 0 --end 1 --count 10", &out), 0);
	const std::string cut = dir / "swirl_00001.pxy";
	std::filesystem::resize_file(cut, 8 + 9 * 32 + 31);
	EXPECT_EQ(Twconnect("info '" + cut + "'", &out), 1);
	ASSERT_EQ(Twconnect("play --json '" + dir / "swirl_00000.pxy" + "'", &out), 0);
	const std::vector<Json> lines = JsonLines(out);
	ASSERT_EQ(lines.size(), 3u);
	EXPECT_EQ(lines[0]["particles"], 10);
	EXPECT_EQ(lines[1]["particles"], 0);
}

} // namespace
