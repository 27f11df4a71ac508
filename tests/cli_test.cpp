// cli_test.cpp - twconnect as users run it: exit statuses and machine-readable output.
#include "cache_types.h"
#include "mesh_bin.h"
#include "sd_file.h"
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

namespace
{

// A particle .bin assembled byte by byte, as another program following the format would write it.
std::string HandWrittenBin(int16_t version, int32_t count)
{
	std::string b;
	auto put = [&b](const void* p, size_t n) { b.append(static_cast<const char*>(p), n); };
	auto i32 = [&put](int32_t v) { put(&v, 4); };
	auto f32 = [&put](float v) { put(&v, 4); };
	i32(0x00FABADA);
	char name[250] = "other_tool";
	put(name, sizeof name);
	put(&version, 2);
	f32(1.0f);	// scale
	i32(7);		// fluid type
	f32(2.5f);	// simulation time
	i32(60);	// frame
	i32(24);	// fps
	i32(count); // particle count
	f32(0.05f); // radius
	for (int k = 0; k < 18; ++k)
		f32(static_cast<float>(k));
	for (int32_t p = 0; p < count; ++p)
	{
		for (int k = 0; k < 15; ++k)
			f32(static_cast<float>(p + k)); // position .. normal
		i32(12);							// neighbors
		for (int k = 0; k < 3; ++k)
			f32(0.5f); // texture
		int16_t bits = 0;
		put(&bits, 2);
		for (int k = 0; k < 7; ++k)
			f32(1.0f); // age .. temperature
		if (version >= 12)
		{
			int64_t id = 5000000000LL + p;
			put(&id, 8);
		}
		else
			i32(100 + p);
	}
	return b;
}

TEST(Cli, InfoJsonReadsFilesOfOtherWriters)
{
	TempDir dir;
	struct Case
	{
		int16_t version;
		std::string id_max;
	} cases[] = {{11, "\"id\": {\"min\": 100, \"max\": 102}"}, {12, "\"id\": {\"min\": 5000000000, \"max\": 5000000002}"}};
	for (const Case& c : cases)
	{
		std::string path = (dir / "other_" + std::to_string(c.version) + ".bin");
		WriteFile(path, HandWrittenBin(c.version, 3));
		CliRun r = Twconnect("info --json " + path);
		ASSERT_EQ(r.status, 0) << r.out;
		for (const std::string& key :
			 {std::string("\"format\": \"particle-bin\""), "\"version\": " + std::to_string(c.version),
				 std::string("\"fluid_name\": \"other_tool\""), std::string("\"frame\": 60"), std::string("\"fps\": 24"),
				 std::string("\"particle_count\": 3"), std::string("\"radius\": 0.05"), c.id_max})
			EXPECT_NE(r.out.find(key), std::string::npos) << key << " in " << r.out;
	}

	// truncated by one byte, and not a particle file at all: a message and a failure, no crash
	std::string cut = HandWrittenBin(12, 3);
	cut.pop_back();
	WriteFile((dir / "cut.bin"), cut);
	WriteFile((dir / "text.bin"), "not a frame");
	std::string err = (dir / "err.txt");
	EXPECT_EQ(Twconnect("info " + (dir / "cut.bin"), err).status, 1);
	EXPECT_FALSE(ReadFile(err).empty());
	EXPECT_EQ(Twconnect("info --json " + (dir / "text.bin"), err).status, 1);
	EXPECT_FALSE(ReadFile(err).empty());
}

} // namespace

namespace
{

TEST(Cli, PlayJsonReportsEveryFrameOfTheSequence)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir.path() + " --start 3 --end 6 --count 250").status, 0);
	CliRun r = Twconnect("play --json " + (dir / "splash_00004.bin"));
	ASSERT_EQ(r.status, 0) << r.out;
	for (int f = 3; f <= 6; ++f)
	{
		char line[256];
		std::snprintf(line, sizeof line, "{\"frame\": %d, \"file\": \"%s/splash_%05d.bin\", \"particles\": 250}", f,
			dir.path().c_str(), f);
		EXPECT_NE(r.out.find(line), std::string::npos) << line << " in " << r.out;
	}
	EXPECT_NE(r.out.find("\"summary\": true, \"frames\": 4"), std::string::npos);

	// half of the particles, a range beyond the sequence
	r = Twconnect("play --json --percent 50 --start 6 --end 7 " + (dir / "splash_00003.bin"));
	EXPECT_NE(r.out.find("\"frame\": 6, \"file\": \"" + dir.path() + "/splash_00006.bin\", \"particles\": 125}"),
		std::string::npos)
		<< r.out;
	EXPECT_NE(r.out.find("{\"frame\": 7, \"file\": \"\", \"particles\": 0}"), std::string::npos) << r.out;

	// refused files and bad options
	WriteFile(dir / "notes.txt", "text");
	std::string err = dir / "err";
	EXPECT_EQ(Twconnect("play " + (dir / "notes.txt"), err).status, 1);
	EXPECT_NE(ReadFile(err).find("Only .bin, .pxy or .tpc extension"), std::string::npos);
	EXPECT_EQ(Twconnect("play --mode 7 " + (dir / "splash_00003.bin")).status, 2);
	EXPECT_EQ(Twconnect("play").status, 2);
}

TEST(Cli, ImportSdPlaysTheImportedSceneFrameByFrame)
{
	TempDir dir;
	const std::string sd = dir / "scene.sd";
	ASSERT_EQ(Twconnect("sample sd " + sd + " --start 2 --end 5").status, 0);
	CliRun r = Twconnect("import-sd --json --scene " + sd + " --camera " + sd);
	ASSERT_EQ(r.status, 0) << r.out;
	// the document's range: from 0, widened to the file's last frame
	std::vector<std::string> boxes;
	for (int f = 0; f <= 5; ++f)
	{
		const std::string start = "{\"frame\": " + std::to_string(f) + ", \"objects\": {";
		const size_t at = r.out.find(start);
		ASSERT_NE(at, std::string::npos) << start << " in " << r.out;
		const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
		const size_t box = line.find("\"Box\": [");
		ASSERT_NE(box, std::string::npos) << line;
		boxes.push_back(line.substr(box, line.find(']', box) - box));
		EXPECT_NE(line.find("\"Flag\": ["), std::string::npos) << line;
		EXPECT_NE(line.find("\"camera\": ["), std::string::npos) << line;
	}
	EXPECT_EQ(r.out.find("\"frame\": 6,"), std::string::npos);
	// each frame of the file shows the Box where the file puts it, in host units (times 100)
	SdObjectReader reader;
	SdObjectReaderInit(&reader);
	reader.file = SdOpen(sd.c_str(), false);
	ASSERT_NE(reader.file, nullptr);
	ASSERT_EQ(SdObjectReaderOpen(&reader, "Box"), 1);
	for (int f = 2; f <= 5; ++f)
	{
		SdObjectFrame frame = {};
		float* vertices = nullptr;
		ASSERT_EQ(SdObjectReaderReadFrame(&reader, f, &frame, &vertices), 1);
		double x = 0, y = 0, z = 0;
		ASSERT_EQ(std::sscanf(boxes[static_cast<size_t>(f)].c_str(), "\"Box\": [%lf, %lf, %lf", &x, &y, &z), 3)
			<< boxes[static_cast<size_t>(f)];
		EXPECT_NEAR(x, frame.transform[9] * 100.0, 1e-3) << f;
		EXPECT_NEAR(y, frame.transform[10] * 100.0, 1e-3) << f;
		EXPECT_NEAR(z, frame.transform[11] * 100.0, 1e-3) << f;
		SdObjectFrameFreeBuffers(&frame);
	}
	SdObjectReaderClose(&reader);
	EXPECT_NE(boxes[2], boxes[5]);

	// without a camera file there is no camera; a missing file fails, a missing --scene is a bad argument
	r = Twconnect("import-sd --json --scene " + sd);
	ASSERT_EQ(r.status, 0);
	EXPECT_EQ(r.out.find("camera"), std::string::npos);
	std::string err = dir / "err";
	EXPECT_EQ(Twconnect("import-sd --scene " + (dir / "none.sd"), err).status, 1);
	EXPECT_NE(ReadFile(err).find("cannot open"), std::string::npos);
	EXPECT_EQ(Twconnect("import-sd --camera " + sd).status, 2);
}

} // namespace

namespace
{

TEST(Cli, PlayJsonBuildsEveryFrameOfAMeshSequence)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample mesh " + dir.path() + " --start 1 --end 3 --weights 3").status, 0);
	CliRun r = Twconnect("play --json " + (dir / "surface_00002.bin"));
	ASSERT_EQ(r.status, 0) << r.out;
	for (int f = 1; f <= 3; ++f)
	{
		char path[512];
		std::snprintf(path, sizeof path, "%s/surface_%05d.bin", dir.path().c_str(), f);
		MeshHandle* h = MeshHandleOpen(path, CACHE_MESH_BIN);
		ASSERT_TRUE(h && MeshHandleRead(h, 100.0f)) << path;
		char line[1024];
		std::snprintf(line, sizeof line,
			"{\"frame\": %d, \"file\": \"%s\", \"points\": %d, \"polygons\": %d, \"tags\": [\"TW_Mesh_SpeedX\", "
			"\"TW_Mesh_SpeedY\", \"TW_Mesh_SpeedZ\", \"TW_Mesh_UV\", \"TW_Mesh_Weight_1\", \"TW_Mesh_Weight_2\", "
			"\"TW_Mesh_Weight_3\"]}",
			f, path, MeshHandleVertexCount(h), MeshHandleFaceCount(h));
		MeshHandleFree(h);
		EXPECT_NE(r.out.find(line), std::string::npos) << line << " in " << r.out;
	}
	EXPECT_NE(r.out.find("{\"summary\": true, \"frames\": 3"), std::string::npos) << r.out;
}

} // namespace
