// cli_test.cpp - twconnect as users run it: exit statuses and machine-readable output.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace
{

struct CliRun
{
	int status;
	std::string out;
};

// Runs twconnect with the arguments; stdout is captured, stderr goes to a file the test may read.
CliRun Twconnect(const std::string& args, const std::string& err_file = "/dev/null")
{
	std::string cmd = std::string(TW_TWCONNECT) + " " + args + " 2>" + err_file;
	FILE* p = popen(cmd.c_str(), "r");
	CliRun r{-1, ""};
	if (!p)
		return r;
	char buf[4096];
	size_t n;
	while ((n = fread(buf, 1, sizeof buf, p)) > 0)
		r.out.append(buf, n);
	int st = pclose(p);
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	return r;
}

TEST(Cli, VersionHelpAndBadArguments)
{
	CliRun v = Twconnect("--version");
	EXPECT_EQ(v.status, 0);
	EXPECT_NE(v.out.find("v6.0.2.0004"), std::string::npos);
	CliRun h = Twconnect("--help");
	EXPECT_EQ(h.status, 0);
	EXPECT_NE(h.out.find("plugins"), std::string::npos);
	EXPECT_EQ(Twconnect("no-such-command").status, 2);
	EXPECT_EQ(Twconnect("").status, 2);
}

TEST(Cli, PluginsJsonListsTheElevenAndTheBannerOnce)
{
	TempDir dir;
	CliRun r = Twconnect("plugins --json", dir / "err");
	ASSERT_EQ(r.status, 0);
	const char* ids[] = {"1026261", "1026262", "1026267", "1026263", "1026265", "1028472", "1026264", "1026266", "1026928",
		"1031575", "1031723"};
	size_t pos = 0;
	for (const char* id : ids)
	{
		size_t at = r.out.find(std::string("\"id\": ") + id, pos);
		ASSERT_NE(at, std::string::npos) << id << " missing or out of order";
		pos = at;
	}
	EXPECT_EQ(r.out.front(), '[');
	std::string err = ReadFile(dir / "err");
	std::string banner = "== Corvanta Tidewell plug-in v6.0.2.0004 ==";
	ASSERT_NE(err.find(banner), std::string::npos);
	EXPECT_EQ(err.find(banner, err.find(banner) + 1), std::string::npos);
}

TEST(Cli, ModuleThatFailsToStartExitsNonZero)
{
	TempDir dir;
	CopyPluginFolder(dir.path());
	std::filesystem::remove(dir / "res/TW_Particle_Importer.png");
	CliRun r = Twconnect("plugins --plugins " + dir.path(), dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(ReadFile(dir / "err").find("PluginStart failed"), std::string::npos);
}

TEST(Cli, SampleSdWritesASceneThatInfoDescribes)
{
	TempDir dir;
	const std::string scene = dir / "scene.sd";
	CliRun w = Twconnect("sample sd " + scene + " --start 10 --end 14 --texture /tex/flag.png", dir / "err");
	ASSERT_EQ(w.status, 0) << ReadFile(dir / "err");
	CliRun j = Twconnect("info --json " + scene, dir / "err");
	ASSERT_EQ(j.status, 0) << ReadFile(dir / "err");
	for (const char* field : {"\"format\": \"sd\"", "\"version\": 6", "\"first_frame\": 10", "\"last_frame\": 14",
			 "\"frames_in_file\": 5", "\"camera\": true", "\"axis_setup\": 6", "\"object_count\": 2",
			 "\"kind\": \"rigid\", \"name\": \"Box\", \"texture\": \"\", \"vertices\": 8, \"triangles\": 12",
			 "\"kind\": \"deforming\", \"name\": \"Flag\", \"texture\": \"/tex/flag.png\", \"vertices\": 45"})
		EXPECT_NE(j.out.find(field), std::string::npos) << field << " missing from " << j.out;
	EXPECT_EQ(j.out.front(), '{');
	CliRun t = Twconnect("info " + scene);
	EXPECT_EQ(t.status, 0);
	EXPECT_NE(t.out.find("SD scene, version 6"), std::string::npos) << t.out;
	EXPECT_NE(t.out.find("10 .. 14 (5 frames, all in the file)"), std::string::npos) << t.out;
}

TEST(Cli, DamagedSdFileAndBadSampleArguments)
{
	TempDir dir;
	const std::string scene = dir / "scene.sd";
	ASSERT_EQ(Twconnect("sample sd " + scene).status, 0);
	// Cut inside the second object's geometry: the scene cannot be read at all.
	WriteFile(dir / "cut.sd", ReadFile(scene).substr(0, 2000));
	CliRun r = Twconnect("info " + dir / "cut.sd", dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(ReadFile(dir / "err").find("object 1's descriptor or geometry runs past the end"), std::string::npos)
		<< ReadFile(dir / "err");
	EXPECT_EQ(Twconnect("sample sd " + (dir / "x.sd") + " --start 5 --end 4").status, 2);
	EXPECT_EQ(Twconnect("sample sd " + (dir / "x.sd") + " --frames 4").status, 2);
	EXPECT_EQ(Twconnect("sample sd").status, 2);
	EXPECT_FALSE(FileExists(dir / "x.sd"));
}

} // namespace
