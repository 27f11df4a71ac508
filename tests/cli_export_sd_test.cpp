// cli_export_sd_test.cpp - twconnect export sd: the sample SD scene imported and written again through the
// exporter's dialog, compared frame by frame with the file it came from.
#include "cli_support.h"
#include "sd_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

struct SceneCloser
{
	void operator()(SdSceneReader* r) const { SdSceneFree(r); }
};
using Scene = std::unique_ptr<SdSceneReader, SceneCloser>;

Scene OpenScene(const std::string& path)
{
	Scene s(SdSceneOpen(path.c_str()));
	if (s)
		SdCloseStream(s->file);
	return s;
}

// Every record of one frame, copied out of the reader so that two files' frames can stand side by side.
struct Frame
{
	int32_t number = -1;
	std::vector<std::string> names;
	std::vector<std::vector<float>> transforms, vertices;
	SdCameraFrame camera = {};
};

Frame ReadFrame(SdSceneReader* s, int32_t frame)
{
	Frame f;
	if (SdSceneReadFrame(s, frame) != 1 || !s->valid)
		return f;
	f.number = s->file->frame_number;
	for (int32_t k = 0; k < s->file->object_count; ++k)
	{
		f.names.push_back(s->frames[k].name ? s->frames[k].name : "");
		f.transforms.emplace_back(s->frames[k].transform, s->frames[k].transform + 12);
		const float* v = s->vertices[k];
		f.vertices.emplace_back(v ? std::vector<float>(v, v + 3 * s->descriptors[k].vertex_count) : std::vector<float>());
	}
	f.camera = s->file->camera_frame;
	return f;
}

// Float precision after metres -> host centimetres -> metres.
void ExpectNear(const float* a, const float* b, size_t n, const std::string& what)
{
	for (size_t k = 0; k < n; ++k)
		EXPECT_NEAR(a[k], b[k], 2e-6 * (1.0 + std::fabs(b[k]))) << what << " [" << k << "]";
}

// The camera as a viewer sees it: where it is, where it looks, which way is up and its roll.
void ExpectSameCamera(const SdCameraFrame& got, const SdCameraFrame& want, const std::string& what)
{
	for (int k = 0; k < 3; ++k)
	{
		EXPECT_NEAR(got.position[k], want.position[k], 1e-5) << what << " position " << k;
		EXPECT_NEAR(got.target[k], want.target[k], 1e-5) << what << " target " << k;
		EXPECT_NEAR(got.up[k], want.up[k], 1e-5) << what << " up " << k;
	}
	EXPECT_NEAR(got.roll, want.roll, 1e-3) << what << " roll";
}

// The faces of one object's geometry block: corners and texture coordinates.
std::vector<SdFace> Faces(const std::string& path, int object)
{
	std::vector<SdFace> faces;
	SdFile* f = SdOpen(path.c_str(), false);
	if (!f || SdReadHeader(f) != 1)
	{
		SdClose(f);
		return faces;
	}
	for (int k = 0; k <= object && k < f->object_count; ++k)
	{
		if (SdReadObjectDescriptor(f, &f->descriptor) != 1)
			break;
		const SdObjectDescriptor& d = f->descriptor;
		if (k < object)
		{
			std::fseek(f->stream, static_cast<long>(d.geometry_size), SEEK_CUR);
			continue;
		}
		std::fseek(f->stream, 12L * d.vertex_count, SEEK_CUR);
		for (int t = 0; t < d.triangle_count && SdReadFace(f) == 1; ++t)
			faces.push_back(f->face);
	}
	SdClose(f);
	return faces;
}

class CliExportSd : public ::testing::Test
{
protected:
	void SetUp() override { ASSERT_EQ(Twconnect("sample sd " + dir / "scene.sd" + " --end 24").status, 0); }
	CliRun Export(const std::string& args) { return Twconnect("export sd --scene " + dir / "scene.sd" + " " + args, dir / "err"); }
	std::string Err() { return ReadFile(dir / "err"); }
	TempDir dir;
};

// The index of the object named `name` in a scene, or -1.
int Index(const SdSceneReader* s, const char* name)
{
	for (int32_t k = 0; k < s->file->object_count; ++k)
		if (std::strcmp(s->descriptors[k].name, name) == 0)
			return k;
	return -1;
}

TEST_F(CliExportSd, SampleSceneComesBackFrameByFrame)
{
	CliRun r = Export("--out " + dir / "back.sd" + " --vertex Flag --json");
	ASSERT_EQ(r.status, 0) << Err();
	Scene in = OpenScene(dir / "scene.sd"), out = OpenScene(dir / "back.sd");
	ASSERT_TRUE(in && out);
	ASSERT_EQ(out->file->object_count, 2);
	EXPECT_EQ(out->file->has_camera, 1);
	EXPECT_EQ(out->file->first_frame, 0);
	EXPECT_EQ(out->file->last_frame, 24);
	// the objects in the order the exporter lists them: out_of[k] is where source object k went
	int out_of[2];
	for (int k = 0; k < 2; ++k)
	{
		const SdObjectDescriptor& a = in->descriptors[k];
		out_of[k] = Index(out.get(), a.name);
		ASSERT_GE(out_of[k], 0) << a.name;
		const SdObjectDescriptor& b = out->descriptors[out_of[k]];
		EXPECT_EQ(b.type, a.type) << a.name; // Box rigid, Flag (under --vertex) deforming
		EXPECT_EQ(b.vertex_count, a.vertex_count) << a.name;
		ASSERT_EQ(b.triangle_count, a.triangle_count) << a.name;
		const std::vector<SdFace> fa = Faces(dir / "scene.sd", k), fb = Faces(dir / "back.sd", out_of[k]);
		ASSERT_EQ(fa.size(), fb.size());
		for (size_t t = 0; t < fa.size(); ++t)
		{
			EXPECT_EQ(0, std::memcmp(fa[t].corners, fb[t].corners, sizeof fa[t].corners)) << a.name << " face " << t;
			ExpectNear(fb[t].uvw, fa[t].uvw, 9, std::string(a.name) + " uvw of face " + std::to_string(t));
		}
	}

	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 26u) << r.out;
	for (int32_t frame = 0; frame <= 24; ++frame)
	{
		const Frame a = ReadFrame(in.get(), frame), b = ReadFrame(out.get(), frame);
		ASSERT_EQ(b.number, frame);
		const std::string at = " at frame " + std::to_string(frame);
		for (size_t k = 0; k < 2; ++k)
		{
			const size_t o = static_cast<size_t>(out_of[k]);
			EXPECT_EQ(b.names[o], a.names[k]);
			// a deforming object is replayed by its global points on an object at the origin: its motion is
			// all in its vertices, and the transform that comes back is the identity
			const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
			const float* want = in->descriptors[k].type == SD_OBJECT_DEFORMING ? identity : a.transforms[k].data();
			ExpectNear(b.transforms[o].data(), want, 12, a.names[k] + " transform" + at);
			ASSERT_EQ(b.vertices[o].size(), a.vertices[k].size()) << a.names[k];
			ExpectNear(b.vertices[o].data(), a.vertices[k].data(), a.vertices[k].size(), a.names[k] + " vertices" + at);
		}
		ExpectSameCamera(b.camera, a.camera, "camera" + at);

		const Json& line = lines[static_cast<size_t>(frame)];
		EXPECT_EQ(line["frame"], frame);
		ASSERT_EQ(line["objects"].size(), 2u);
		EXPECT_EQ(line["objects"][out_of[0]]["name"], "Box");
		EXPECT_NEAR(line["objects"][out_of[0]]["position"][1].get<double>(), a.transforms[0][10], 2e-6);
		EXPECT_NEAR(line["camera"]["position"][0].get<double>(), a.camera.position[0], 1e-5);
	}
	const Json& summary = lines.back();
	EXPECT_EQ(summary["file"], dir / "back.sd");
	EXPECT_EQ(summary["camera"], "TW_Camera");
	EXPECT_EQ(summary["objects"][out_of[1]]["mode"], "vertex");
	EXPECT_EQ(summary["objects"][out_of[0]]["triangles"], 12);
}

// Document frames 0, 3, 6 and 9 become file frames 0 to 3; a name without ".sd" gets it; the scale
// reaches every value of the transform.
TEST_F(CliExportSd, StepNumbersFileFramesFromTheFirstAndCompletesTheName)
{
	CliRun r = Export("--out " + dir / "stepped" + " --objects Box --start 0 --end 10 --step 3 --scale 2");
	ASSERT_EQ(r.status, 0) << Err();
	EXPECT_NE(r.out.find("wrote " + dir / "stepped.sd"), std::string::npos) << r.out;
	EXPECT_FALSE(FileExists(dir / "stepped"));
	Scene in = OpenScene(dir / "scene.sd"), out = OpenScene(dir / "stepped.sd");
	ASSERT_TRUE(in && out);
	EXPECT_EQ(out->file->first_frame, 0);
	EXPECT_EQ(out->file->last_frame, 3);
	ASSERT_EQ(out->file->object_count, 1);
	EXPECT_STREQ(out->descriptors[0].name, "Box");
	for (int32_t k = 0; k <= 3; ++k)
	{
		const Frame a = ReadFrame(in.get(), 3 * k), b = ReadFrame(out.get(), k);
		ASSERT_EQ(b.number, k);
		std::vector<float> scaled = a.transforms[0];
		for (float& v : scaled)
			v *= 2.0f;
		ExpectNear(b.transforms[0].data(), scaled.data(), 12, "Box at file frame " + std::to_string(k));
	}
}

TEST_F(CliExportSd, CameraAloneHoldsOnlyItsRecords)
{
	CliRun r = Export("--out " + dir / "camera.sd" + " --no-objects --end 4");
	ASSERT_EQ(r.status, 0) << Err();
	Scene in = OpenScene(dir / "scene.sd"), out = OpenScene(dir / "camera.sd");
	ASSERT_TRUE(in && out);
	EXPECT_EQ(out->file->object_count, 0);
	EXPECT_EQ(out->file->has_camera, 1);
	// header, camera descriptor, then per frame its number and the camera record
	EXPECT_EQ(static_cast<int64_t>(ReadFile(dir / "camera.sd").size()), 83 + 24 + 5 * (4 + 104));
	for (int32_t frame = 0; frame <= 4; ++frame)
		ExpectSameCamera(ReadFrame(out.get(), frame).camera, ReadFrame(in.get(), frame).camera,
			"frame " + std::to_string(frame));
}

// Names and values that do not fit the scene are refused before anything is written.
TEST_F(CliExportSd, WrongNamesAndRangesExitTwoNamingThemAndWriteNothing)
{
	const struct
	{
		const char* args;
		const char* named;
	} cases[] = {
		{"--objects Box,Nope", "'Nope'"},
		{"--vertex Ghost", "'Ghost'"},
		{"--objects Box --vertex Flag", "'Flag'"},
		{"--camera Lens", "'Lens'"},
		{"--start 10 --end 5", "before"},
		{"--camera TW_Camera --no-camera", "excludes"},
		{"--step 0", "--step"},
	};
	for (const auto& c : cases)
	{
		CliRun r = Export("--out " + dir / "bad.sd" + " " + c.args);
		EXPECT_EQ(r.status, 2) << c.args;
		EXPECT_NE(Err().find(c.named), std::string::npos) << c.args << ": " << Err();
		EXPECT_FALSE(FileExists(dir / "bad.sd")) << c.args;
	}
}

// A file that cannot be written whole is a failure with the exporter's message, and nothing is left.
TEST_F(CliExportSd, WriteFailureExitsOneAndLeavesNoFile)
{
	CliRun r = Export("--out " + dir / "missing/out.sd");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(Err().find("Could not open file to write"), std::string::npos) << Err();
	EXPECT_FALSE(FileExists(dir / "missing/out.sd"));

	// a file size limit cuts the write off part way, as a full disk does (the signal ignored, the writes
	// fail with EFBIG)
	// (24 blocks of 512 bytes: past the geometry, a few frames in)
	const std::string cmd = "trap '' XFSZ; ulimit -f 24; exec " + std::string(TW_TWCONNECT) + " export sd --scene " +
		dir / "scene.sd" + " --vertex Flag --out " + dir / "cut.sd" + " 2>" + dir / "err";
	const int status = std::system(cmd.c_str());
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 1) << Err();
	EXPECT_NE(Err().find("Could not write"), std::string::npos) << Err();
	EXPECT_FALSE(FileExists(dir / "cut.sd"));
}

} // namespace
