// cli_tpc_test.cpp - twconnect over particle .tpc sequences: sample, info and play.
#include "cli_support.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace
{

struct TwRun
{
	int status;
	std::vector<Json> lines; // stdout, one JSON value per line
};

TwRun RunJson(const std::string& args)
{
	const CliRun run = Twconnect(args);
	return {run.status, JsonLines(run.out)};
}

TEST(CliTpc, SampleInfoAndPlayOfATpcSequence)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample tpc " + dir.path() + " --start 2 --end 4 --count 300 --name cloud").status, 0);

	const TwRun info = RunJson("info --json " + (dir / "cloud_00003.tpc"));
	ASSERT_EQ(info.status, 0);
	ASSERT_EQ(info.lines.size(), 1u);
	const Json& i = info.lines[0];
	EXPECT_EQ(i["format"], "particle-tpc");
	EXPECT_EQ(i["version"], 3);
	EXPECT_EQ(i["particle_count"], 300);
	std::vector<std::string> names;
	for (const auto& c : i["channels"])
	{
		names.push_back(c["name"]);
		EXPECT_TRUE(c["type"].is_number_integer());
		EXPECT_GT(c["compressed_bytes"].get<int64_t>(), 0);
	}
	for (const char* name : {"position", "velocity", "id", "heat"})
		EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;

	// every frame holds the particles of its file, matched by ID or not
	for (const char* ids : {"", "--ids "})
	{
		const TwRun play = RunJson(std::string("play --json ") + ids + (dir / "cloud_00002.tpc"));
		ASSERT_EQ(play.status, 0);
		ASSERT_EQ(play.lines.size(), 4u);
		for (int f = 0; f < 3; ++f)
			EXPECT_EQ(play.lines[static_cast<size_t>(f)]["particles"], 300) << ids << f;
	}

	// the dump names the custom channels
	const TwRun dump = RunJson("play --json --dump --start 3 --end 3 " + (dir / "cloud_00002.tpc"));
	ASSERT_EQ(dump.status, 0);
	ASSERT_GE(dump.lines.size(), 1u);
	const Json& p = dump.lines[0]["dump"].at(0);
	EXPECT_TRUE(p.contains("heat")) << p;
	EXPECT_TRUE(p.contains("wet")) << p;
	EXPECT_TRUE(p["id"].is_number_integer()) << p;
}

TEST(CliTpc, DamagedTpcFileIsRefusedByInfo)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample tpc " + dir.path() + " --start 0 --end 0 --count 10").status, 0);
	const std::string path = dir / "cloud_00000.tpc";
	std::string bytes = ReadFile(path);
	WriteFile(path, bytes.substr(0, bytes.size() / 2));
	EXPECT_EQ(RunJson("info --json " + path).status, 1);
}

} // namespace
