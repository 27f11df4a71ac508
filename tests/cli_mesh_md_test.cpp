// cli_mesh_md_test.cpp - twconnect over .md and chunked mesh sequences: sample, info and play.
#include "cache_types.h"
#include "cli_support.h"
#include "mesh_bin.h"
#include "mesh_md.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define TW_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TW_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef TW_ADDRESS_SANITIZER
#define TW_ADDRESS_SANITIZER 0
#endif

namespace
{

// Frames 0 to 2 of the surface as .md, as chunked and as mesh .bin files, written once.
struct MeshSamples
{
	TempDir dir;
	std::string md, chunked, bin;
	MeshSamples()
	{
		EXPECT_EQ(Twconnect("sample md " + dir / "md" + " --end 2").status, 0);
		EXPECT_EQ(Twconnect("sample chunked " + dir / "chunked" + " --end 2").status, 0);
		EXPECT_EQ(Twconnect("sample mesh " + dir / "bin" + " --end 2").status, 0);
		md = dir / "md";
		chunked = dir / "chunked";
		bin = dir / "bin";
	}
	static std::string Frame(const std::string& folder, int frame, const char* extension)
	{
		char name[32];
		std::snprintf(name, sizeof name, "/surface_%05d%s", frame, extension);
		return folder + name;
	}
};

const MeshSamples& Samples()
{
	static MeshSamples samples;
	return samples;
}

// Little-endian fields of a hand-built .md file.
struct Bytes
{
	std::string data;
	Bytes& U32(uint32_t v)
	{
		for (int k = 0; k < 4; ++k)
			data.push_back(static_cast<char>(v >> (8 * k)));
		return *this;
	}
	Bytes& U16(uint16_t v)
	{
		data.push_back(static_cast<char>(v));
		data.push_back(static_cast<char>(v >> 8));
		return *this;
	}
	Bytes& F32(float f)
	{
		uint32_t v;
		std::memcpy(&v, &f, 4);
		return U32(v);
	}
	Bytes& Text(const std::string& s)
	{
		U32(static_cast<uint32_t>(s.size()));
		data += s;
		return *this;
	}
};

std::vector<std::string> Names(const Json& channels)
{
	std::vector<std::string> names;
	for (const Json& c : channels)
		names.push_back(c["name"]);
	return names;
}

std::set<std::string> TagSet(const Json& tags)
{
	return std::set<std::string>(tags.begin(), tags.end());
}

TEST(CliMeshMd, InfoDescribesTheSampleFrameChannelByChannel)
{
	const std::string frame = MeshSamples::Frame(Samples().md, 1, ".md");
	const CliRun r = Twconnect("info --json " + frame);
	ASSERT_EQ(r.status, 0) << r.out;
	const Json info = Json::parse(r.out);
	// scripts read these keys
	std::vector<std::string> keys;
	for (auto it = info.begin(); it != info.end(); ++it)
		keys.push_back(it.key());
	EXPECT_EQ(keys, (std::vector<std::string>{"format", "file", "version", "name", "vertex_count", "face_count",
						"channels"}));
	EXPECT_EQ(info["format"], "mesh-md");
	EXPECT_EQ(info["name"], "surface");
	EXPECT_EQ(info["vertex_count"], 41 * 41);
	EXPECT_EQ(info["face_count"], 2 * 40 * 40);
	const Json& channels = info["channels"];
	EXPECT_EQ(Names(channels), (std::vector<std::string>{"position", "velocity", "normal", "texture", "age",
								   "density", "pressure", "vorticity"}));
	const int slots[] = {0, 1, 3, 5, 6, 9, 10, 13};
	for (size_t k = 0; k < channels.size() && k < 8; ++k)
	{
		EXPECT_EQ(channels[k]["slot"], slots[k]) << channels[k];
		EXPECT_EQ(channels[k]["value_type"], channels[k]["min"].is_array() ? 6 : 4) << channels[k];
	}
	// the grid spans one metre; texture ranges in the file's order U, W, V
	EXPECT_EQ(channels[0]["min"][0], -0.5);
	EXPECT_EQ(channels[0]["max"][2], 0.5);
	EXPECT_EQ(channels[3]["min"], Json::array({0, 0, 0}));
	EXPECT_EQ(channels[3]["max"], Json::array({1, 0, 1}));

	// named in capitals, or not named .md at all but carrying the magic: still an .md frame
	const TempDir dir;
	std::filesystem::copy_file(frame, dir / "UPPER.MD");
	std::filesystem::copy_file(frame, dir / "frame.dat");
	for (const char* name : {"UPPER.MD", "frame.dat"})
	{
		const CliRun other = Twconnect("info --json " + dir / name);
		ASSERT_EQ(other.status, 0) << name;
		EXPECT_EQ(Json::parse(other.out)["channels"], channels) << name;
	}
	const CliRun text = Twconnect("info " + frame);
	EXPECT_NE(text.out.find("    texture        slot 5   vector  0 0 0 .. 1 0 1\n"), std::string::npos) << text.out;
}

// A channel whose name is not in the table (here only by its capital letter) keeps its stored id and
// its values are skipped: info lists it without a range, and the channel after it still reads right.
TEST(CliMeshMd, InfoListsAChannelOutsideTheTableWithoutARange)
{
	const TempDir dir;
	Bytes b;
	b.U32(MESH_MD_MAGIC).U16(3).Text("odd");
	b.U32(3).U32(2).U32(0);							  // Nc, V, F
	b.U32(20).Text("Age").Text("").U32(4);			  // not "age": keeps id 20
	b.U32(0).Text("position").Text("m").U32(6);		  // slot 0
	b.U32(0).Text("identity").Text("").U32(4);		  // slot 15, the vertex's last field
	b.F32(7.0f).F32(1.0f).F32(2.0f).F32(3.0f).F32(10); // vertex 0: skipped value, position, identity
	b.F32(8.0f).F32(-1.0f).F32(5.0f).F32(0.5f).F32(11); // vertex 1
	WriteFile(dir / "odd.md", b.data);
	const CliRun r = Twconnect("info --json " + dir / "odd.md");
	ASSERT_EQ(r.status, 0) << r.out;
	const Json info = Json::parse(r.out);
	EXPECT_EQ(info["version"], 3);
	EXPECT_EQ(info["channels"][0], (Json{{"name", "Age"}, {"slot", 20}, {"value_type", 4}, {"min", nullptr},
									   {"max", nullptr}}));
	EXPECT_EQ(info["channels"][1]["min"], Json::array({-1, 2, 0.5}));
	EXPECT_EQ(info["channels"][1]["max"], Json::array({1, 5, 3}));
	// the range of a scalar read the two floats after it, past the last vertex for the identity
	EXPECT_EQ(info["channels"][2]["min"], 10);
	EXPECT_EQ(info["channels"][2]["max"], 11);
}

// Each prefix of a frame and a wrong magic: one error line and status 1, never a report of half a file.
TEST(CliMeshMd, DamagedFramesAreRefusedWithTheReason)
{
	const TempDir dir;
	const std::string whole = ReadFile(MeshSamples::Frame(Samples().md, 0, ".md"));
	const size_t header = 4 + 2 + 4 + 7 + 12; // magic, version, name "surface", Nc V F
	struct Case
	{
		std::string bytes, reason;
	} cases[] = {
		{"", "truncated header"},
		{whole.substr(0, 3), "truncated header"},
		{std::string("\x01\x02\x03\x04", 4) + whole.substr(4), "not an .md file (magic 0x04030201)"},
		{whole.substr(0, header - 1), "damaged or truncated"},
		{whole.substr(0, header + 10), "damaged or truncated"},	   // inside the descriptors
		{whole.substr(0, whole.size() / 2), "damaged or truncated"}, // inside the vertices
		{whole.substr(0, whole.size() - 1), "damaged or truncated"}, // the last face
	};
	for (const Case& c : cases)
	{
		WriteFile(dir / "cut.md", c.bytes);
		const CliRun r = Twconnect("info --json " + dir / "cut.md", dir / "err");
		const std::string err = ReadFile(dir / "err");
		EXPECT_EQ(r.status, 1) << c.bytes.size();
		EXPECT_TRUE(r.out.empty()) << c.bytes.size();
		EXPECT_EQ(err.rfind("twconnect: cannot read '" + dir / "cut.md" + "': " + c.reason, 0), 0u) << err;
		EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
	}
}

TEST(CliMeshMd, PlayBuildsEveryFrameWithAMapPerEnabledChannel)
{
	const CliRun r = Twconnect("play --json " + MeshSamples::Frame(Samples().md, 1, ".md"));
	ASSERT_EQ(r.status, 0) << r.out;
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 4u) << r.out;
	// position feeds the points and texture the UVW tag; every other channel is one map, vectors as
	// their length by default
	const std::set<std::string> tags = {"vorticity", "pressure", "density", "age", "normal", "velocity",
		"TW_Mesh_UV"};
	for (int f = 0; f <= 2; ++f)
	{
		const std::string path = MeshSamples::Frame(Samples().md, f, ".md");
		MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_MD);
		ASSERT_TRUE(h && MeshHandleRead(h, 100.0f)) << path;
		const Json& line = lines[static_cast<size_t>(f)];
		EXPECT_EQ(line["frame"], f);
		EXPECT_EQ(line["file"], path);
		EXPECT_EQ(line["points"], MeshHandleVertexCount(h));
		EXPECT_EQ(line["polygons"], MeshHandleFaceCount(h));
		EXPECT_EQ(TagSet(line["tags"]), tags) << line;
		EXPECT_FALSE(line.contains("dump")) << "values only when asked";
		MeshHandleFree(h);
	}
}

// The mesh dump built the frame as a tree of JSON values first: some 1.4 kB per point, gigabytes for
// a frame of a million points.
TEST(CliMeshMd, PlayDumpOfALargeFrameKeepsNoTreeOfItsValues)
{
	const TempDir dir;
	const int32_t side = 400, n = side * side;
	std::vector<MdVertex> vertices(static_cast<size_t>(n), MdVertex{});
	std::vector<MeshFace> faces;
	for (int32_t k = 0; k < n; ++k)
	{
		vertices[static_cast<size_t>(k)].position[0] = static_cast<float>(k % side);
		vertices[static_cast<size_t>(k)].position[2] = static_cast<float>(k / side);
		vertices[static_cast<size_t>(k)].density = 0.5f * static_cast<float>(k);
	}
	for (uint32_t k = 0; k + side + 1 < static_cast<uint32_t>(n); k += 2)
		faces.push_back(MeshFace{{k, k + side, k + 1}});
	const MdWriteChannel channels[] = {{"position", MD_POSITION, MESH_MD_VALUE_VECTOR},
		{"density", MD_DENSITY, MESH_MD_VALUE_SCALAR}};
	ASSERT_EQ(MdWrite((dir / "big_00000.md").c_str(), "big", 1, channels, 2, vertices.data(), n, faces.data(),
				  static_cast<int32_t>(faces.size())),
		1);
	// the largest resident size of any child so far, in kB
	const auto peak = [] {
		rusage usage = {};
		getrusage(RUSAGE_CHILDREN, &usage);
		return static_cast<long long>(usage.ru_maxrss);
	};
	const CliRun counts = Twconnect("play --json " + dir / "big_00000.md");
	ASSERT_EQ(counts.status, 0);
	const long long without_dump = peak();
	const CliRun dump = Twconnect("play --dump " + dir / "big_00000.md");
	ASSERT_EQ(dump.status, 0);
	const std::vector<Json> lines = JsonLines(dump.out);
	ASSERT_EQ(lines.size(), 2u);
	EXPECT_EQ(lines[0]["dump"]["points"].size(), static_cast<size_t>(n));
	EXPECT_EQ(lines[0]["dump"]["tags"][0]["values"][3], 1.5);
#if !TW_ADDRESS_SANITIZER
	EXPECT_LT(peak() - without_dump, 16 * 1024) << "kB more for the dump of " << n << " points";
#else
	// An address-sanitized child keeps freed memory in quarantine: its peak says nothing of the dump's.
	(void)peak;
	(void)without_dump;
#endif
}

TEST(CliMeshChunked, InfoCountsPointsFacesAndMaps)
{
	const std::string frame = MeshSamples::Frame(Samples().chunked, 2, ".bin");
	const CliRun r = Twconnect("info --json " + frame);
	ASSERT_EQ(r.status, 0) << r.out;
	const Json info = Json::parse(r.out);
	EXPECT_EQ(info["format"], "mesh-chunked");
	EXPECT_EQ(info["points"], 41 * 41);
	EXPECT_EQ(info["faces"], 2 * 40 * 40);
	EXPECT_EQ(info["maps"], (Json{{"texture", true}, {"velocity", true}, {"weights", 3}}));
	// the mesh .bin of the same frame spans the same box
	EXPECT_EQ(info["bounds"], Json::parse(Twconnect("info --json " + MeshSamples::Frame(Samples().bin, 2, ".bin")).out)["bounds"]);
	// forced, the file is read as asked
	EXPECT_EQ(Twconnect("info --mesh-type chunked " + frame).status, 0);
	EXPECT_EQ(Twconnect("info --mesh-type md " + frame).status, 1);
	EXPECT_EQ(Twconnect("info --mesh-type bin " + frame).status, 1);
	// a frame cut inside its polygons is refused, not reported as fewer faces
	const TempDir dir;
	const std::string whole = ReadFile(frame);
	WriteFile(dir / "cut.bin", whole.substr(0, 12 + 8 + 12 * 41 * 41 + 8 + 100));
	const CliRun cut = Twconnect("info " + dir / "cut.bin", dir / "err");
	EXPECT_EQ(cut.status, 1);
	EXPECT_EQ(ReadFile(dir / "err"), "twconnect: cannot read '" + dir / "cut.bin" + "': damaged or truncated chunked mesh file\n");
}

// Type 3 builds the mesh a mesh .bin of the same content builds.
TEST(CliMeshChunked, PlayWithTypeChunkedBuildsWhatTheMeshBinBuilds)
{
	const std::string args = "play --dump --start 0 --end 2 ";
	const CliRun chunked = Twconnect(args + "--mesh-type chunked " + MeshSamples::Frame(Samples().chunked, 0, ".bin"));
	const CliRun bin = Twconnect(args + MeshSamples::Frame(Samples().bin, 0, ".bin"));
	ASSERT_EQ(chunked.status, 0);
	ASSERT_EQ(bin.status, 0);
	const std::vector<Json> c = JsonLines(chunked.out), b = JsonLines(bin.out);
	ASSERT_EQ(c.size(), 4u);
	ASSERT_EQ(b.size(), 4u);
	for (size_t f = 0; f < 3; ++f)
	{
		EXPECT_EQ(c[f]["points"], 41 * 41);
		EXPECT_EQ(c[f]["points"], b[f]["points"]);
		EXPECT_EQ(c[f]["polygons"], b[f]["polygons"]);
		EXPECT_EQ(c[f]["tags"], b[f]["tags"]);
		EXPECT_EQ(c[f]["dump"]["points"], b[f]["dump"]["points"]) << "frame " << f;
		EXPECT_EQ(c[f]["dump"]["polygons"], b[f]["dump"]["polygons"]) << "frame " << f;
	}
}

TEST(CliMeshChunked, PlayWithoutTheTypeNamesTheOption)
{
	const TempDir dir;
	const CliRun r = Twconnect("play " + MeshSamples::Frame(Samples().chunked, 0, ".bin"), dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(ReadFile(dir / "err").find("--mesh-type chunked"), std::string::npos) << ReadFile(dir / "err");
}

TEST(CliMeshMd, OptionsAndExitStatuses)
{
	const MeshSamples& s = Samples();
	const TempDir out;
	struct Case
	{
		std::string args;
		int status;
	} cases[] = {
		{"sample md " + out / "a --start 3 --end 4", 0},
		{"sample md " + out / "a --start 5 --end 4", 2},
		{"sample chunked " + out / "c --start 1 --end 1 --weights 2", 0},
		{"sample chunked " + out / "c --weights 4", 2},
		{"info --mesh-type bogus " + MeshSamples::Frame(s.md, 0, ".md"), 2},
		{"info --mesh-type md " + MeshSamples::Frame(s.md, 0, ".md") + " " + MeshSamples::Frame(s.bin, 0, ".bin"), 1},
		{"play --mesh-type bogus " + MeshSamples::Frame(s.md, 0, ".md"), 2},
	};
	for (const Case& c : cases)
		EXPECT_EQ(Twconnect(c.args).status, c.status) << "twconnect " << c.args;
	EXPECT_TRUE(FileExists(out / "a/surface_00004.md"));
	EXPECT_TRUE(FileExists(out / "c/surface_00001.bin"));
}

} // namespace
