// cli_export_test.cpp - twconnect export: sample sequences through the importers and the exporters' dialogs
// and back, compared file against file with the cache library's readers.
#include "cache_types.h"
#include "cli_support.h"
#include "importer_files.h"
#include "mesh_bin.h"
#include "particle_bin.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace
{

struct MeshCloser
{
	void operator()(MeshHandle* h) const { MeshHandleFree(h); }
};
using MeshFile = std::unique_ptr<MeshHandle, MeshCloser>;

MeshFile ReadMesh(const std::string& path)
{
	MeshFile h(MeshHandleOpen(path.c_str(), CACHE_MESH_BIN));
	if (h && MeshHandleRead(h.get(), 100.0f) != 1)
		h.reset();
	return h;
}

std::string Frame(const std::string& dir, const std::string& name, int frame, int padding = 5)
{
	char number[32];
	std::snprintf(number, sizeof number, "%0*d", padding, frame);
	return dir + "/" + name + number + ".bin";
}

// Float precision on the way through the host's centimetres and back.
void ExpectNear(const float* a, const float* b, int n, const char* what, int particle)
{
	for (int k = 0; k < n; ++k)
		EXPECT_NEAR(a[k], b[k], 1e-5 * (1.0 + std::fabs(a[k]))) << what << " of particle " << particle;
}

class CliExportParticles : public ::testing::TestWithParam<int>
{
};

TEST_P(CliExportParticles, SequenceComesBackWithEveryChannelAndTheHeader)
{
	const int version = GetParam();
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 3 --end 5 --count 300").status, 0);
	CliRun r = Twconnect("export particles --json --from " + dir / "in/splash_00004.bin" + " --out " + dir / "out/a/b" +
			" --name back --version " + std::to_string(version),
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 3u) << r.out;
	for (int frame = 3; frame <= 5; ++frame)
	{
		const std::string written = Frame(dir / "out/a/b", "back", frame);
		const Json expected = {{"frame", frame}, {"file", written}, {"particles", 300}};
		EXPECT_EQ(lines[static_cast<size_t>(frame - 3)], expected);
		ParticleFile in = ReadParticles(Frame(dir / "in", "splash_", frame));
		ParticleFile out = ReadParticles(written);
		ASSERT_TRUE(in && out) << written;
		const BinParticleHeader& h = out->header;
		EXPECT_STREQ(h.fluid_name, "back");
		EXPECT_EQ(h.version, version);
		EXPECT_EQ(h.frame, frame);
		EXPECT_EQ(h.fps, 25); // the sequence's own rate, taken from its first frame
		ASSERT_EQ(h.particle_count, in->header.particle_count);
		for (int i = 0; i < h.particle_count; ++i)
		{
			ExpectNear(&in->position[3 * i], &out->position[3 * i], 3, "position", i);
			ExpectNear(&in->velocity[3 * i], &out->velocity[3 * i], 3, "velocity", i);
			ExpectNear(&in->force[3 * i], &out->force[3 * i], 3, "force", i);
			ExpectNear(&in->vorticity[3 * i], &out->vorticity[3 * i], 3, "vorticity", i);
			ExpectNear(&in->normal[3 * i], &out->normal[3 * i], 3, "normal", i);
			ExpectNear(&in->texture[3 * i], &out->texture[3 * i], 3, "texture", i);
			const float* scalars[][2] = {{in->age, out->age}, {in->isolation, out->isolation},
				{in->viscosity, out->viscosity}, {in->density, out->density}, {in->pressure, out->pressure},
				{in->mass, out->mass}, {in->temperature, out->temperature}};
			for (const auto& s : scalars)
				ExpectNear(s[0] + i, s[1] + i, 1, "a scalar channel", i);
			EXPECT_EQ(in->neighbors[i], out->neighbors[i]) << i;
			EXPECT_EQ(in->info_bits[i], out->info_bits[i]) << i;
			EXPECT_EQ(in->id[i], out->id[i]) << i;
		}
	}
}

INSTANTIATE_TEST_SUITE_P(Versions, CliExportParticles, ::testing::Values(9, 12));

TEST(CliExport, StepOverARangeWritesAndListsOnlyItsFrames)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 8 --end 22 --count 20").status, 0);
	CliRun r = Twconnect("export particles --from " + dir / "in/splash_00008.bin" + " --out " + dir / "out/" +
			" --name s --start 10 --end 20 --step 5 --padding 3",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	EXPECT_EQ(r.out, Frame(dir / "out", "s", 10, 3) + "\n" + Frame(dir / "out", "s", 15, 3) + "\n" +
			Frame(dir / "out", "s", 20, 3) + "\n");
	size_t files = 0;
	for (const auto& e : std::filesystem::directory_iterator(dir / "out"))
		files += e.is_regular_file();
	EXPECT_EQ(files, 3u);
	// the range is the user's to get right
	EXPECT_EQ(Twconnect("export particles --from " + dir / "in/splash_00008.bin" + " --out " + dir / "o2" +
			" --name s --start 20 --end 10")
				  .status,
		2);
}

// A frame that cannot be written was once skipped without a word: the run looked like a success.
TEST(CliExport, FrameWhosePathIsTakenFailsTheRunAndIsNotListed)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 10 --end 20 --count 20").status, 0);
	const std::string taken = Frame(dir / "out", "s", 15);
	std::filesystem::create_directories(taken);
	WriteFile(taken + "/keep", "a folder of the user's");
	CliRun r = Twconnect("export particles --from " + dir / "in/splash_00010.bin" + " --out " + dir / "out" +
			" --name s --start 10 --end 20 --step 5 --json",
		dir / "err");
	EXPECT_EQ(r.status, 1);
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 2u) << r.out;
	EXPECT_EQ(lines[0]["frame"], 10);
	EXPECT_EQ(lines[1]["frame"], 20);
	EXPECT_TRUE(ReadParticles(Frame(dir / "out", "s", 20)));
	const std::string err = ReadFile(dir / "err");
	EXPECT_NE(err.find("[ERROR] Frame 15 not written to '" + taken + "'"), std::string::npos) << err;
	EXPECT_TRUE(FileExists(taken + "/keep"));
	EXPECT_EQ(err.find('\r'), std::string::npos) << "a progress bar into a file";
}

TEST(CliExport, EmitterFramesCountTheLivingWithIdsFromOne)
{
	TempDir dir;
	CliRun r = Twconnect("export particles --emitter --birth-rate 5 --speed 200 --lifetime 4 --radius 0.2 --end 8 --json"
						 " --out " + dir.path() + " --name e",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 9u) << r.out;
	for (const Json& line : lines)
	{
		const int frame = line["frame"];
		// born 5 a frame from frame 0, each living 4 frames (--lifetime counts frames, not seconds)
		EXPECT_EQ(line["particles"], std::min(5 * (frame + 1), 20)) << frame;
		ParticleFile f = ReadParticles(line["file"]);
		ASSERT_TRUE(f) << line;
		EXPECT_EQ(line["particles"], f->header.particle_count);
		EXPECT_EQ(f->header.fps, 30);
		for (int i = 0; i < f->header.particle_count; ++i)
		{
			EXPECT_EQ(f->id[i], i + 1) << frame;
			// --speed in centimetres per second: 200 is 2 m/s along Z
			EXPECT_NEAR(f->velocity[3 * i + 2], 2.0f, 1e-5) << frame;
			EXPECT_NEAR(f->mass[i], 8.0f, 1e-4) << frame;
		}
	}
}

TEST(CliExport, MeshSequenceComesBackVertexForVertex)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample mesh " + dir / "in" + " --start 0 --end 2 --weights 3").status, 0);
	CliRun r = Twconnect("export mesh --json --from " + dir / "in/surface_00001.bin" + " --out " + dir / "out" +
			" --name wave --padding 4",
		dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 3u) << r.out;
	for (int frame = 0; frame <= 2; ++frame)
	{
		MeshFile in = ReadMesh(Frame(dir / "in", "surface_", frame));
		MeshFile out = ReadMesh(Frame(dir / "out", "wave", frame, 4));
		ASSERT_TRUE(in && out) << frame;
		const MeshBinFile* a = MeshHandleBinFile(in.get());
		const MeshBinFile* b = MeshHandleBinFile(out.get());
		const Json expected = {{"frame", frame}, {"file", Frame(dir / "out", "wave", frame, 4)},
			{"points", a->vertex_count}, {"triangles", a->face_count}};
		EXPECT_EQ(lines[static_cast<size_t>(frame)], expected);
		ASSERT_EQ(b->vertex_count, a->vertex_count);
		ASSERT_EQ(b->kept_face_count, a->kept_face_count);
		ASSERT_EQ(b->weight_count, a->weight_count);
		for (int i = 0; i < a->vertex_count; ++i)
		{
			const MeshVertex& v = a->vertices[i];
			const MeshVertex& w = b->vertices[i];
			ExpectNear(v.position, w.position, 3, "position", i);
			ExpectNear(v.texture, w.texture, 3, "texture", i);
			ExpectNear(v.velocity, w.velocity, 3, "velocity", i);
			ExpectNear(v.weights, w.weights, a->weight_count - 1, "weights", i);
		}
		for (int k = 0; k < a->kept_face_count; ++k)
			for (int c = 0; c < 3; ++c)
				EXPECT_EQ(b->faces[k].index[c], a->faces[k].index[c]) << "face " << k;
	}
}

TEST(CliExport, RefusalsComeBeforeAnyFileAndExitNonZero)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 0 --end 1 --count 5").status, 0);
	const std::string from = " --from " + dir / "in/splash_00000.bin";
	// a name the exporter's buffers cannot hold: its message, no file, never a cut name
	CliRun r = Twconnect("export particles" + from + " --out " + dir / "long" + " --name " + std::string(300, 'n'),
		dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "");
	EXPECT_NE(ReadFile(dir / "err").find("too long"), std::string::npos) << ReadFile(dir / "err");
	EXPECT_TRUE(std::filesystem::is_empty(dir / "long"));
	// an --out that cannot be a folder
	WriteFile(dir / "file", "x");
	r = Twconnect("export particles" + from + " --out " + dir / "file/sub" + " --name s", dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(ReadFile(dir / "err").find("cannot create folder"), std::string::npos);
	// options that do not go together
	const char* const bad[] = {" --name s --out x", " --name s --out x --emitter --from y",
		" --name s --out x --birth-rate 3", " --name s --out x --emitter --compute-velocity",
		" --name a/b --out x --emitter"};
	for (const char* b : bad)
		EXPECT_EQ(Twconnect(std::string("export particles") + b).status, 2) << b;
	EXPECT_EQ(Twconnect("export mesh --from x --out y --name z --no-velocity --compute-velocity").status, 2);
}

} // namespace
