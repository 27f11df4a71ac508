// cli_tpc_test.cpp - twconnect over particle .tpc sequences: sample, info and play.
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>

namespace
{

struct TwRun
{
	int status;
	std::vector<nlohmann::json> lines; // stdout, one JSON value per line
};

TwRun Twconnect(const std::string& args)
{
	FILE* p = popen((std::string(TW_TWCONNECT) + " " + args + " 2>/dev/null").c_str(), "r");
	TwRun r{-1, {}};
	if (!p)
		return r;
	std::string out;
	char buf[4096];
	size_t n;
	while ((n = fread(buf, 1, sizeof buf, p)) > 0)
		out.append(buf, n);
	const int st = pclose(p);
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	for (size_t at = 0, end; at < out.size(); at = end + 1)
	{
		end = out.find('\n', at);
		if (end == std::string::npos)
			end = out.size();
		if (end > at)
			r.lines.push_back(nlohmann::json::parse(out.substr(at, end - at), nullptr, false));
	}
	return r;
}

TEST(CliTpc, SampleInfoAndPlayOfATpcSequence)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample tpc " + dir.path() + " --start 2 --end 4 --count 300 --name cloud").status, 0);

	const TwRun info = Twconnect("info --json " + (dir / "cloud_00003.tpc"));
	ASSERT_EQ(info.status, 0);
	ASSERT_EQ(info.lines.size(), 1u);
	const nlohmann::json& i = info.lines[0];
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
		const TwRun play = Twconnect(std::string("play --json ") + ids + (dir / "cloud_00002.tpc"));
		ASSERT_EQ(play.status, 0);
		ASSERT_EQ(play.lines.size(), 4u);
		for (int f = 0; f < 3; ++f)
			EXPECT_EQ(play.lines[static_cast<size_t>(f)]["particles"], 300) << ids << f;
	}

	// the dump names the custom channels
	const TwRun dump = Twconnect("play --json --dump --start 3 --end 3 " + (dir / "cloud_00002.tpc"));
	ASSERT_EQ(dump.status, 0);
	ASSERT_GE(dump.lines.size(), 1u);
	const nlohmann::json& p = dump.lines[0]["dump"].at(0);
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
	EXPECT_EQ(Twconnect("info --json " + path).status, 1);
}

} // namespace
