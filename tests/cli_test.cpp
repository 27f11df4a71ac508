// cli_test.cpp - twconnect as users run it: exit statuses and machine-readable output.
#include "cache_types.h"
#include "cli_support.h"
#include "mesh_bin.h"
#include "particle_bin.h"
#include "sd_file.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cmath>
#include <filesystem>
#include <map>

namespace
{

std::vector<std::string> Keys(const Json& object)
{
	std::vector<std::string> keys;
	for (auto it = object.begin(); it != object.end(); ++it)
		keys.push_back(it.key());
	return keys;
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
	const Json list = Json::parse(r.out);
	ASSERT_TRUE(list.is_array());
	const int ids[] = {1026261, 1026262, 1026267, 1026263, 1026265, 1028472, 1026264, 1026266, 1026928, 1031575, 1031723};
	ASSERT_EQ(list.size(), std::size(ids));
	for (size_t k = 0; k < list.size(); ++k)
		EXPECT_EQ(list[k]["id"], ids[k]) << k;
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
	const Json info = Json::parse(j.out);
	EXPECT_EQ(info["format"], "sd");
	EXPECT_EQ(info["version"], 6);
	EXPECT_EQ(info["first_frame"], 10);
	EXPECT_EQ(info["last_frame"], 14);
	EXPECT_EQ(info["frames_in_file"], 5);
	EXPECT_EQ(info["camera"], true);
	EXPECT_EQ(info["axis_setup"], 6);
	EXPECT_EQ(info["object_count"], 2);
	ASSERT_EQ(info["objects"].size(), 2u);
	EXPECT_EQ(info["objects"][0],
		Json::parse(R"({"index": 0, "type": 0, "kind": "rigid", "name": "Box", "texture": "", "vertices": 8,
			"triangles": 12, "frame_record_bytes": 175})"));
	EXPECT_EQ(info["objects"][1]["kind"], "deforming");
	EXPECT_EQ(info["objects"][1]["name"], "Flag");
	EXPECT_EQ(info["objects"][1]["texture"], "/tex/flag.png");
	EXPECT_EQ(info["objects"][1]["vertices"], 45);
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
		int64_t id_min;
	} cases[] = {{11, 100}, {12, 5000000000LL}};
	for (const Case& c : cases)
	{
		std::string path = (dir / "other_" + std::to_string(c.version) + ".bin");
		WriteFile(path, HandWrittenBin(c.version, 3));
		CliRun r = Twconnect("info --json " + path);
		ASSERT_EQ(r.status, 0) << r.out;
		const Json info = Json::parse(r.out);
		EXPECT_EQ(info["format"], "particle-bin");
		EXPECT_EQ(info["version"], c.version);
		EXPECT_EQ(info["fluid_name"], "other_tool");
		EXPECT_EQ(info["frame"], 60);
		EXPECT_EQ(info["fps"], 24);
		EXPECT_EQ(info["particle_count"], 3);
		EXPECT_EQ(info["radius"].get<float>(), 0.05f);
		EXPECT_EQ(info["channels"]["id"]["min"], c.id_min);
		EXPECT_EQ(info["channels"]["id"]["max"], c.id_min + 2);
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
	std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 5u) << r.out;
	for (int f = 3; f <= 6; ++f)
	{
		char path[512];
		std::snprintf(path, sizeof path, "%s/splash_%05d.bin", dir.path().c_str(), f);
		EXPECT_EQ(lines[static_cast<size_t>(f - 3)], (Json{{"frame", f}, {"file", path}, {"particles", 250}}));
	}
	EXPECT_EQ(lines[4]["summary"], true);
	EXPECT_EQ(lines[4]["frames"], 4);

	// half of the particles, a range beyond the sequence
	r = Twconnect("play --json --percent 50 --start 6 --end 7 " + (dir / "splash_00003.bin"));
	lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 3u) << r.out;
	EXPECT_EQ(lines[0], (Json{{"frame", 6}, {"file", dir / "splash_00006.bin"}, {"particles", 125}}));
	EXPECT_EQ(lines[1], (Json{{"frame", 7}, {"file", ""}, {"particles", 0}}));

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
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 6u) << r.out;
	std::vector<Json> boxes;
	for (int f = 0; f <= 5; ++f)
	{
		const Json& line = lines[static_cast<size_t>(f)];
		EXPECT_EQ(line["frame"], f);
		ASSERT_TRUE(line["objects"].contains("Box")) << line;
		boxes.push_back(line["objects"]["Box"]);
		EXPECT_TRUE(line["objects"].contains("Flag")) << line;
		EXPECT_EQ(line["camera"].size(), 3u) << line;
	}
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
		const Json& box = boxes[static_cast<size_t>(f)];
		for (int c = 0; c < 3; ++c)
			EXPECT_NEAR(box[static_cast<size_t>(c)].get<double>(), frame.transform[9 + c] * 100.0, 1e-3) << f;
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
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 4u) << r.out;
	for (int f = 1; f <= 3; ++f)
	{
		char path[512];
		std::snprintf(path, sizeof path, "%s/surface_%05d.bin", dir.path().c_str(), f);
		MeshHandle* h = MeshHandleOpen(path, CACHE_MESH_BIN);
		ASSERT_TRUE(h && MeshHandleRead(h, 100.0f)) << path;
		const Json expected = {{"frame", f}, {"file", path}, {"points", MeshHandleVertexCount(h)},
			{"polygons", MeshHandleFaceCount(h)},
			{"tags", {"TW_Mesh_SpeedX", "TW_Mesh_SpeedY", "TW_Mesh_SpeedZ", "TW_Mesh_UV", "TW_Mesh_Weight_1",
						 "TW_Mesh_Weight_2", "TW_Mesh_Weight_3"}}};
		MeshHandleFree(h);
		EXPECT_EQ(lines[static_cast<size_t>(f - 1)], expected);
	}
	EXPECT_EQ(lines[3]["summary"], true);
	EXPECT_EQ(lines[3]["frames"], 3);
}

} // namespace

namespace
{

// The samples the option and key tests run on, written once.
struct Samples
{
	TempDir dir;
	std::string particles, mesh, sd;
	Samples()
	{
		EXPECT_EQ(Twconnect("sample particles " + dir / "p" + " --start 0 --end 2 --count 20").status, 0);
		EXPECT_EQ(Twconnect("sample mesh " + dir / "m" + " --start 0 --end 1").status, 0);
		EXPECT_EQ(Twconnect("sample sd " + dir / "s.sd" + " --start 0 --end 2").status, 0);
		particles = dir / "p/splash_00000.bin";
		mesh = dir / "m/surface_00000.bin";
		sd = dir / "s.sd";
	}
};

const Samples& SharedSamples()
{
	static Samples samples;
	return samples;
}

using KeyList = std::vector<std::string>;

// Scripts read these keys; a renamed or dropped key breaks them.
TEST(Cli, JsonKeysOfEveryReport)
{
	const Samples& s = SharedSamples();
	const KeyList channel_names = {"position", "velocity", "force", "vorticity", "normal", "texture", "neighbors",
		"info_bits", "age", "isolation", "viscosity", "density", "pressure", "mass", "temperature", "id"};
	Json info = Json::parse(Twconnect("info --json " + s.particles).out);
	EXPECT_EQ(Keys(info), (KeyList{"file", "format", "version", "fluid_name", "frame", "fps", "simulation_time", "scale",
							  "fluid_type", "particle_count", "radius", "range1", "speed_range", "range3",
							  "emitter_position", "emitter_rotation", "emitter_scale", "file_bytes", "records_end",
							  "channels"}));
	EXPECT_EQ(Keys(info["channels"]), channel_names);
	for (const std::string& name : channel_names)
		EXPECT_EQ(Keys(info["channels"][name]), (KeyList{"min", "max"})) << name;

	info = Json::parse(Twconnect("info --json " + s.mesh).out);
	EXPECT_EQ(Keys(info), (KeyList{"format", "file", "version", "vertices", "faces", "weights", "texture", "velocity",
							  "bounds"}));
	EXPECT_EQ(Keys(info["bounds"]), (KeyList{"min", "max"}));

	info = Json::parse(Twconnect("info --json " + s.sd).out);
	EXPECT_EQ(Keys(info), (KeyList{"format", "file", "title", "version", "first_frame", "last_frame", "frame_count",
							  "frames_in_file", "camera", "axis_setup", "object_count", "camera_descriptor", "objects",
							  "header_size", "frame_size", "first_frame_offset", "frame_bytes", "file_bytes"}));
	EXPECT_EQ(Keys(info["camera_descriptor"]), (KeyList{"fov", "near_clip", "far_clip"}));
	EXPECT_EQ(Keys(info["objects"][0]),
		(KeyList{"index", "type", "kind", "name", "texture", "vertices", "triangles", "frame_record_bytes"}));

	for (const Json& entry : Json::parse(Twconnect("plugins --json").out))
		EXPECT_EQ(Keys(entry), (KeyList{"id", "kind", "name"}));

	struct Play
	{
		std::string args;
		KeyList frame, summary;
	} plays[] = {
		{"play --json " + s.particles, {"frame", "file", "particles"},
			{"summary", "frames", "seconds", "particles_per_second"}},
		{"play --json " + s.mesh, {"frame", "file", "points", "polygons", "tags"},
			{"summary", "frames", "seconds", "points_per_second"}},
		{"import-sd --json --scene " + s.sd + " --camera " + s.sd, {"frame", "objects", "camera"}, {}},
	};
	for (const Play& p : plays)
	{
		const std::vector<Json> lines = JsonLines(Twconnect(p.args).out);
		ASSERT_GE(lines.size(), 2u) << p.args;
		for (size_t k = 0; k + 1 < lines.size(); ++k)
			EXPECT_EQ(Keys(lines[k]), p.frame) << p.args;
		EXPECT_EQ(Keys(lines.back()), p.summary.empty() ? p.frame : p.summary) << p.args;
	}
}

// Every option a user or a script may give, good and bad; 0 success, 1 failed work, 2 bad argument.
TEST(Cli, OptionsAndExitStatuses)
{
	const Samples& s = SharedSamples();
	const std::string out = s.dir / "out";
	const std::string plugins = BuiltPluginFolder();
	struct Case
	{
		std::string args;
		int status;
	} cases[] = {
		{"--help", 0},
		{"-h", 0},
		{"help", 0},
		{"--version", 0},
		{"", 2},
		{"bogus", 2},
		{"info --help", 0},
		{"info " + s.particles + " " + s.mesh + " " + s.sd, 0},
		{"info " + out + "/none.bin", 1},
		{"info", 2},									 // bad arguments of info and sample particles exited 1
		{"info --bogus " + s.particles, 2},
		{"sample", 2},
		{"sample bogus", 2},
		{"sample particles", 2},
		{"sample particles " + out + "/q --version 10", 2},
		{"sample particles " + out + "/q --start 5 --end 4", 2},
		{"sample mesh " + out + "/q --start x", 2},		 // read as frame 0 and written
		{"sample mesh " + out + "/q --weights 1", 2},	 // offered by the usage, then refused as failed work
		{"play --percent nan " + s.particles, 2},
		{"sample --help", 0},
		{"sample particles " + out + "/p --start 3 --end 4 --count 5 --version 9 --name drop --padding 3", 0},
		{"sample mesh " + out + "/m --start 2 --end 3 --weights 2", 0},
		{"sample mesh", 2},
		{"sample mesh " + out + "/m --weights 4", 2},
		{"sample sd " + out + "/a.sd --start -2 --end 1 --texture t.png", 0},
		{"sample sd " + out + "/a.sd --start 3 --end 2", 2},
		{"plugins --help", 0},
		{"plugins --json --plugins " + plugins, 0},
		{"plugins --bogus", 2},
		{"plugins --plugins " + out + "/nowhere", 1},
		{"play --help", 0},
		{"play --start 0 --end 1 --fps 30 --mode 1 --radius 2 --percent 50 --offset 0 --reverse --hold-ends --ids "
		 "--scale 2 --json --plugins " + plugins + " " + s.particles, 0},
		{"play --mode 2 --scale 0.5 --percent 10 --offset 1 " + s.mesh, 0},
		{"play --fps 30 --fps 40 --mode 1 --mode 0 " + s.particles, 0}, // the last value counts
		{"play --mode 3 " + s.particles, 2},
		{"play --fps 0 " + s.particles, 2},
		{"play --percent 101 " + s.particles, 2},
		{"play --radius x " + s.particles, 2},
		{"play --start", 2},
		{"play --bogus " + s.particles, 2},
		{"play " + s.particles + " " + s.particles, 2},
		{"play", 2},
		{"play " + out + "/none.bin", 1},
		{"import-sd --help", 0},
		{"import-sd --scene " + s.sd + " --camera " + s.sd + " --bake --fps 30 --json --plugins " + plugins, 0},
		{"import-sd --fps 0 --scene " + s.sd, 2},
		{"import-sd --scene " + s.sd + " --frames 3", 2},
		{"import-sd", 2},
		{"import-sd --scene " + out + "/none.sd", 1},
	};
	for (const Case& c : cases)
		EXPECT_EQ(Twconnect(c.args).status, c.status) << "twconnect " << c.args;
	EXPECT_TRUE(FileExists(out + "/p/drop_003.bin"));
	EXPECT_TRUE(FileExists(out + "/m/surface_00003.bin"));
	EXPECT_FALSE(FileExists(out + "/q"));
}

// A file named without its folder was refused: its sequence got no base name.
TEST(Cli, PlayTakesABareFileNameInTheCurrentFolder)
{
	const Samples& s = SharedSamples();
	struct Case
	{
		std::string folder, file, count_key;
		int count;
	} cases[] = {{s.dir / "p", "splash_00001.bin", "particles", 20}, {s.dir / "m", "surface_00001.bin", "points", 1681}};
	for (const Case& c : cases)
	{
		CliRun r = Twconnect("play --json " + c.file, s.dir / "err", c.folder);
		ASSERT_EQ(r.status, 0) << c.file << ": " << ReadFile(s.dir / "err");
		const std::vector<Json> lines = JsonLines(r.out);
		ASSERT_GE(lines.size(), 3u) << r.out;
		EXPECT_EQ(lines[0]["frame"], 0);
		EXPECT_EQ(lines[1]["file"], c.file);
		EXPECT_EQ(lines[1][c.count_key], c.count) << lines[1];
	}
}

// A leading zero is not octal: --start 010 is frame 10.
TEST(Cli, FrameNumbersWithLeadingZerosAreDecimal)
{
	const Samples& s = SharedSamples();
	const std::vector<Json> lines = JsonLines(Twconnect("play --json --start 010 --end 010 " + s.particles).out);
	ASSERT_EQ(lines.size(), 2u);
	EXPECT_EQ(lines[0]["frame"], 10);
}

TEST(Cli, EveryErrorIsWholeLinesOnStderr)
{
	const Samples& s = SharedSamples();
	const std::string err = s.dir / "err";
	const std::string failing[] = {"", "bogus", "info", "info " + s.dir / "none.bin", "sample mesh", "sample particles",
		"sample sd", "play", "play --mode 9 " + s.particles, "play " + s.dir / "none.bin", "import-sd",
		"import-sd --scene " + s.dir / "none.sd", "plugins --bogus", "plugins --plugins " + s.dir / "nowhere"};
	for (const std::string& args : failing)
	{
		EXPECT_NE(Twconnect(args, err).status, 0) << args;
		const std::string text = ReadFile(err);
		ASSERT_FALSE(text.empty()) << "no error line for: twconnect " << args; // sample mesh printed none
		EXPECT_EQ(text.back(), '\n') << args;
		for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
			EXPECT_EQ(text.compare(at, 11, "twconnect: "), 0) << args << ": " << text;
	}
}

TEST(Cli, HelpListsEveryKindSampleWrites)
{
	CliRun help = Twconnect("--help");
	ASSERT_EQ(help.status, 0);
	const size_t at = help.out.find("\n  sample ");
	ASSERT_NE(at, std::string::npos) << help.out;
	const std::string line = help.out.substr(at + 1, help.out.find('\n', at + 1) - at - 1);
	for (const char* kind : {"particles", "pxy", "tpc", "mesh", "chunked", "md", "sd"})
	{
		EXPECT_NE(line.find(kind), std::string::npos) << kind << " missing from: " << line;
		EXPECT_EQ(Twconnect(std::string("sample ") + kind + " --help").status, 0) << kind;
	}
}

// A fluid name that is not UTF-8 made --json print bytes no JSON reader accepts.
TEST(Cli, InfoJsonStaysJsonForNamesThatAreNotUtf8)
{
	TempDir dir;
	std::string bytes = HandWrittenBin(12, 1);
	bytes[4 + 5] = static_cast<char>(0xFF); // inside the fluid name
	WriteFile(dir / "odd.bin", bytes);
	CliRun r = Twconnect("info --json " + dir / "odd.bin");
	ASSERT_EQ(r.status, 0);
	const Json info = Json::parse(r.out, nullptr, false);
	ASSERT_FALSE(info.is_discarded()) << r.out;
	EXPECT_EQ(info["fluid_name"], "other\xEF\xBF\xBDtool");
}

// Counts of a million and more were printed as "1e+06".
TEST(Cli, InfoPrintsLargeMeshCountsInFull)
{
	TempDir dir;
	const std::string path = dir / "big.bin";
	MeshBinFile* file = MeshBinCreate(path.c_str());
	ASSERT_TRUE(file && MeshBinAllocate(file, 1234567, 0, 0, false, false));
	ASSERT_EQ(MeshBinWrite(file), 1);
	MeshBinFree(file);
	CliRun text = Twconnect("info " + path);
	EXPECT_NE(text.out.find("vertices  1234567\n"), std::string::npos) << text.out;
	EXPECT_EQ(Json::parse(Twconnect("info --json " + path).out)["vertices"], 1234567);
}

} // namespace

namespace
{

void ExpectVector(const Json& got, const float* file, double factor, const std::string& what)
{
	ASSERT_EQ(got.size(), 3u) << what;
	for (size_t c = 0; c < 3; ++c)
		EXPECT_NEAR(got[c].get<double>(), file[c] * factor, 1e-9 * (1.0 + std::fabs(file[c] * factor))) << what << c;
}

// --dump shows what the host holds: each particle where the file puts it (host units), with the file's values.
TEST(Cli, PlayDumpHoldsTheParticlesOfTheFile)
{
	const Samples& s = SharedSamples();
	const std::vector<Json> lines = JsonLines(Twconnect("play --dump --start 1 --end 1 " + s.particles).out);
	ASSERT_EQ(lines.size(), 2u);
	const Json& dump = lines[0]["dump"];
	BinParticleFrame* f = OpenParticleBin((s.dir / "p/splash_00001.bin").c_str(), 0);
	ASSERT_TRUE(f && ReadParticleBin(f, 100.0f));
	ASSERT_EQ(dump.size(), static_cast<size_t>(f->kept_count));
	std::vector<int> seen(dump.size(), 0);
	for (const Json& p : dump)
	{
		// the sample numbers its particles 1, 2, 3, ...
		const int64_t id = p["id"].get<int64_t>();
		ASSERT_TRUE(id >= 1 && id <= f->kept_count) << p;
		const size_t i = static_cast<size_t>(id - 1);
		ASSERT_EQ(f->id[i], id);
		++seen[i];
		const std::string what = "particle " + std::to_string(id) + " ";
		EXPECT_TRUE(p["tp"].is_number_integer()) << p;
		ExpectVector(p["position"], &f->position[3 * i], 100.0, what + "position");
		ExpectVector(p["velocity"], &f->velocity[3 * i], 1.0, what + "velocity");
		ExpectVector(p["force"], &f->force[3 * i], 1.0, what + "force");
		ExpectVector(p["vorticity"], &f->vorticity[3 * i], 1.0, what + "vorticity");
		EXPECT_FLOAT_EQ(p["age"].get<float>(), f->age[i]) << what;
		EXPECT_FLOAT_EQ(p["density"].get<float>(), f->density[i]) << what;
		EXPECT_FLOAT_EQ(p["temperature"].get<float>(), f->temperature[i]) << what;
		EXPECT_EQ(p["neighbors"], f->neighbors[i]) << what;
		EXPECT_EQ(p["infobit"], f->info_bits[i]) << what;
	}
	EXPECT_EQ(seen, std::vector<int>(seen.size(), 1));
	FreeParticleBin(f);
}

TEST(Cli, PlayDumpHoldsTheMeshOfTheFile)
{
	const Samples& s = SharedSamples();
	const std::vector<Json> lines = JsonLines(Twconnect("play --dump --start 1 --end 1 " + s.mesh).out);
	ASSERT_EQ(lines.size(), 2u);
	const Json& dump = lines[0]["dump"];
	MeshHandle* h = MeshHandleOpen((s.dir / "m/surface_00001.bin").c_str(), CACHE_MESH_BIN);
	ASSERT_TRUE(h && MeshHandleRead(h, 100.0f));
	const MeshBinFile* m = MeshHandleBinFile(h);
	const size_t n = static_cast<size_t>(m->vertex_count);
	ASSERT_EQ(dump["points"].size(), n);
	ASSERT_EQ(dump["polygons"].size(), static_cast<size_t>(m->kept_face_count));
	for (size_t i = 0; i < n; ++i)
		ExpectVector(dump["points"][i], m->vertices[i].position, 100.0, "point " + std::to_string(i));
	for (size_t f = 0; f < dump["polygons"].size(); ++f)
	{
		const uint32_t* v = m->faces[f].index;
		EXPECT_EQ(dump["polygons"][f], Json::array({v[0], v[1], v[2], v[2]})) << f;
	}
	// per tag: the values of the file's channel it carries
	std::map<std::string, Json> tags;
	for (const Json& t : dump["tags"])
		tags[t["name"].get<std::string>()] = t["values"];
	ASSERT_EQ(tags.size(), 7u) << dump["tags"];
	for (size_t i = 0; i < n; ++i)
	{
		const MeshVertex& v = m->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			const std::string speed = std::string("TW_Mesh_Speed") + "XYZ"[c];
			const std::string weight = "TW_Mesh_Weight_" + std::to_string(c + 1);
			EXPECT_EQ(tags[speed][i].get<float>(), v.velocity[c]) << speed << " " << i;
			EXPECT_EQ(tags[weight][i].get<float>(), v.weights[c]) << weight << " " << i;
		}
	}
	const Json& uv = tags["TW_Mesh_UV"];
	ASSERT_EQ(uv.size(), static_cast<size_t>(m->kept_face_count));
	for (size_t f = 0; f < uv.size(); ++f)
		for (size_t corner = 0; corner < 4; ++corner)
		{
			// a triangle's fourth corner repeats its third; the file keeps 1 - V
			const float* t = m->vertices[m->faces[f].index[corner < 3 ? corner : 2]].texture;
			EXPECT_NEAR(uv[f][corner][0].get<double>(), t[0], 1e-6) << f;
			EXPECT_NEAR(uv[f][corner][1].get<double>(), 1.0 - t[1], 1e-6) << f;
		}
	MeshHandleFree(h);
}

} // namespace
