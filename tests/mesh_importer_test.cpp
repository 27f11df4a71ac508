// mesh_importer_test.cpp - the mesh importer in the headless host: files, frames, maps, copies, renders.
#include "host_test.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "particle_bin.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

struct Frame
{
	int32_t vertices = 4;
	int32_t faces = 4;
	int32_t weights = 3;
	bool texture = true;
	float x = 0.0f; // every vertex at (x + i, 0, 0) m, moving at (1, 0, 0) m/s
};

class MeshImporter : public HostTest
{
protected:

	std::string PathOf(const std::string& name, int frame)
	{
		char file[96];
		std::snprintf(file, sizeof file, "%s%05d.bin", name.c_str(), frame);
		return dir / file;
	}
	std::string Write(const std::string& name, int frame, const Frame& spec)
	{
		const std::string path = PathOf(name, frame);
		MeshBinFile* f = MeshBinCreate(path.c_str());
		EXPECT_NE(f, nullptr);
		EXPECT_TRUE(MeshBinAllocate(f, spec.vertices, spec.faces, spec.weights, spec.texture, true));
		for (int32_t i = 0; i < spec.vertices; ++i)
		{
			f->vertices[i].position[0] = spec.x + i;
			f->vertices[i].velocity[0] = 1.0f;
		}
		for (int32_t k = 0; k < spec.faces; ++k)
			f->faces[k] = MeshFace{{uint32_t(k % spec.vertices), uint32_t((k + 1) % spec.vertices), uint32_t((k + 2) % spec.vertices)}};
		EXPECT_TRUE(MeshBinWrite(f));
		MeshBinFree(f);
		return path;
	}
	// Frames first..last, frame k at x = k.
	std::string WriteSequence(const std::string& name, int first, int last, Frame spec = {})
	{
		for (int k = first; k <= last; ++k)
		{
			spec.x = float(k);
			Write(name, k, spec);
		}
		return PathOf(name, first);
	}
	BaseObject* AddImporter()
	{
		BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		return op;
	}
	void Choose(BaseObject* op, const std::string& path) { headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(path))); }
	PolygonObject* EvaluateAt(BaseObject* op, Float seconds)
	{
		doc->SetTime(BaseTime(seconds * 1000.0, 1000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		return static_cast<PolygonObject*>(op->GetCache());
	}
	static std::string UsedFile(const BaseObject* op) { return op->GetDataInstance()->GetFilename(TW_MI_USED_FILE).Get(); }
	static std::vector<std::string> Tags(const BaseObject* op, Int32 type)
	{
		std::vector<std::string> names;
		for (BaseTag* t = op->GetFirstTag(); t; t = t->GetNext())
			if (t->GetType() == type)
				names.push_back(t->GetName().Get());
		return names;
	}
	std::string LastBox() const { return headless::MessageBoxes().empty() ? "" : headless::MessageBoxes().back().text; }

	TempDir dir;
};

TEST_F(MeshImporter, FileCheckAcceptsMeshFilesAndExplainsRefusals)
{
	BaseObject* op = AddImporter();
	const BaseContainer* bc = op->GetDataInstance();
	WriteSequence("wave_", 2, 4);
	for (int k = 2; k <= 4; ++k)
		std::rename(PathOf("wave_", k).c_str(), (PathOf("wave_", k).substr(0, PathOf("wave_", k).size() - 3) + "BIN").c_str());
	Choose(op, dir / "wave_00002.BIN");
	EXPECT_TRUE(headless::MessageBoxes().empty()) << LastBox();
	EXPECT_EQ(bc->GetFilename(TW_MI_FILE).Get(), dir / "wave_$F5.BIN");
	EXPECT_EQ(bc->GetInt32(TW_MI_TYPE), CACHE_MESH_BIN);
	EXPECT_EQ(bc->GetInt32(TW_MI_FIRST_FRAME), 2);
	EXPECT_EQ(bc->GetInt32(TW_MI_LAST_FRAME), 4);
	// Another parameter set right after: the pattern in the field is the same sequence, not a new file.
	headless::UserSetParameter(op, TW_MI_REVERSE, GeData(true));
	EXPECT_TRUE(headless::MessageBoxes().empty()) << LastBox();
	EXPECT_EQ(bc->GetInt32(TW_MI_LAST_FRAME), 4);

	// A particle .bin and a foreign extension are refused and change nothing.
	BinParticleFrame* particles = OpenParticleBin((dir / "splash_00000.bin").c_str(), 1);
	ASSERT_NE(particles, nullptr);
	ASSERT_TRUE(AllocateChannels(particles, 1));
	particles->header.magic = PARTICLE_BIN_MAGIC;
	particles->header.version = 12;
	particles->header.particle_count = 1;
	ASSERT_TRUE(WriteParticleBin(particles));
	FreeParticleBin(particles);
	Choose(op, dir / "splash_00000.bin");
	EXPECT_EQ(LastBox(), "The selected .bin file belongs to a particle sequence. Please select a mesh .bin sequence!");
	EXPECT_EQ(headless::MessageBoxes().back().flags, GEMB_ICONEXCLAMATION);
	Choose(op, dir / "wave_00002.obj");
	EXPECT_EQ(LastBox(), "Only .bin or .md extension is accepted as a mesh file.");
	EXPECT_EQ(bc->GetString(TW_MI_SEQUENCE_NAME).Get(), "wave");
	EXPECT_EQ(bc->GetInt32(TW_MI_LAST_FRAME), 4);
	EXPECT_EQ(bc->GetInt32(TW_MI_TYPE), CACHE_MESH_BIN);

	// A .bin of neither kind is named, yet taken; its frames show nothing.
	WriteFile(dir / "junk_00000.bin", "no mesh here");
	Choose(op, dir / "junk_00000.bin");
	EXPECT_EQ(LastBox(), "Invalid mesh file: " + (dir / "junk_00000.bin"));
	EXPECT_EQ(bc->GetString(TW_MI_SEQUENCE_NAME).Get(), "junk");
	EXPECT_EQ(EvaluateAt(op, 0.0), nullptr);
	EXPECT_EQ(UsedFile(op), "");
	EXPECT_EQ(bc->GetVoid(TW_MI_BUILT_OBJECT), nullptr);

	Choose(op, dir / "melt_00001.MD");
	EXPECT_EQ(bc->GetInt32(TW_MI_TYPE), CACHE_MESH_MD);
}

// Fault: a chosen path of 256 characters or more was taken for an empty one and wiped the sequence.
TEST_F(MeshImporter, PathTooLongIsRefusedAndTheSequenceStays)
{
	BaseObject* op = AddImporter();
	const BaseContainer* bc = op->GetDataInstance();
	Choose(op, WriteSequence("wave_", 0, 3));
	ASSERT_NE(EvaluateAt(op, 0.04), nullptr);
	const std::string pattern = bc->GetFilename(TW_MI_FILE).Get();
	// A path of `length` characters naming a file of another type: checked when it fits, else refused.
	auto named = [&](size_t length) { return dir / std::string(length - dir.path().size() - 5, 'w') + ".obj"; };
	headless::ClearMessageBoxes();
	Choose(op, named(255));
	EXPECT_EQ(LastBox(), "Only .bin or .md extension is accepted as a mesh file.");
	for (size_t length : {256, 300, 1000})
	{
		headless::ClearMessageBoxes();
		Choose(op, named(length));
		ASSERT_EQ(headless::MessageBoxes().size(), 1u) << length;
		EXPECT_EQ(LastBox(), "The selected file's path is too long. Only paths of at most 255 characters are accepted.");
		EXPECT_EQ(headless::MessageBoxes().back().flags, GEMB_ICONEXCLAMATION);
		EXPECT_EQ(bc->GetFilename(TW_MI_FILE).Get(), pattern);
		EXPECT_EQ(bc->GetString(TW_MI_SEQUENCE_NAME).Get(), "wave");
		EXPECT_EQ(bc->GetInt32(TW_MI_LAST_FRAME), 3);
	}
	const PolygonObject* built = EvaluateAt(op, 0.08);
	ASSERT_NE(built, nullptr);
	EXPECT_EQ(built->GetPointCount(), 4);
	EXPECT_EQ(UsedFile(op), PathOf("wave_", 2));
}

TEST_F(MeshImporter, TrailingUnderscoresLeaveTheNameAndOldDocumentsStoredTheFile)
{
	BaseObject* op = AddImporter();
	const std::string path = WriteSequence("mesh___", 0, 1);
	Choose(op, path);
	EXPECT_EQ(op->GetDataInstance()->GetString(TW_MI_SEQUENCE_NAME).Get(), "mesh");
	EXPECT_EQ(op->GetName().Get(), "mesh");

	op->GetDataInstance()->SetFilename(TW_MI_FILE, Filename(path));
	headless::DocumentFile file = headless::SaveDocument(doc);
	file.objects.at(0).disklevel = 0;
	BaseDocument* loaded = headless::LoadDocument(file);
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetFilename(TW_MI_FILE).Get(), dir / "mesh___$F5.bin");
	// A parameter set on a loaded object before it is evaluated takes the stored pattern as it is.
	headless::ClearMessageBoxes();
	headless::UserSetParameter(loaded->GetFirstObject(), TW_MI_HOLD, GeData(true));
	EXPECT_TRUE(headless::MessageBoxes().empty()) << LastBox();
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetInt32(TW_MI_LAST_FRAME), 1);
	BaseDocument::Free(loaded);

	// Fault: an old document's file name of 256 characters or more was rewritten as an empty pattern.
	const std::string too_long = dir / (std::string(300, 'm') + "_00000.bin");
	op->GetDataInstance()->SetFilename(TW_MI_FILE, Filename(too_long));
	file = headless::SaveDocument(doc);
	file.objects.at(0).disklevel = 0;
	loaded = headless::LoadDocument(file);
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->GetFirstObject()->GetDataInstance()->GetFilename(TW_MI_FILE).Get(), too_long);
	BaseDocument::Free(loaded);
}

TEST_F(MeshImporter, TimeRoundsToFramesAndPointsMoveByTheRest)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("flow_", 36, 39));
	struct Case
	{
		Float seconds;
		const char* file;
		Float first_x; // vertex 0, centimetres
	} cases[] = {
		{1.48, "flow_00037.bin", 3700.0},
		{1.50, "flow_00037.bin", 3702.0}, // 37.5 frames is not above 37.5; 0.02 s on at 1 m/s
		{1.52, "flow_00038.bin", 3800.0},
		{1.50, "flow_00037.bin", 3702.0},
	};
	for (const Case& c : cases)
	{
		PolygonObject* built = EvaluateAt(op, c.seconds);
		ASSERT_NE(built, nullptr) << c.seconds;
		EXPECT_EQ(UsedFile(op), dir / c.file) << c.seconds;
		EXPECT_NEAR(built->GetPointR()[0].x, c.first_x, 1e-3) << c.seconds;
		EXPECT_EQ(op->GetDataInstance()->GetVoid(TW_MI_BUILT_OBJECT), built);
	}

	// The same time with nothing changed keeps the host's object; a changed parameter rebuilds.
	PolygonObject* kept = EvaluateAt(op, 1.50);
	EXPECT_EQ(EvaluateAt(op, 1.50), kept);
	headless::UserSetParameter(op, TW_MI_FACE_PERCENT, GeData(Int32(50)));
	PolygonObject* thinned = EvaluateAt(op, 1.50);
	ASSERT_NE(thinned, nullptr);
	EXPECT_EQ(thinned->GetPolygonCount(), 2);

	// Beyond the range without hold: nothing.
	EXPECT_EQ(EvaluateAt(op, 2.0), nullptr);
	EXPECT_EQ(UsedFile(op), "");
}

TEST_F(MeshImporter, OffsetKeepsTheMeshInPlaceAndTheObjectsTagsJoinIt)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("still_", 0, 0));
	op->Message(MSG_MENUPREPARE);
	PolygonObject* built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	const Float world_x = op->GetMg().off.x + built->GetPointR()[1].x;
	EXPECT_DOUBLE_EQ(world_x, 100.0);
	for (const Vector& offset : {Vector(10, 0, 0), Vector(4, 0, 0)})
	{
		headless::UserSetParameter(op, TW_MI_POINT_OFFSET, GeData(offset));
		built = EvaluateAt(op, 0.0);
		ASSERT_NE(built, nullptr);
		EXPECT_DOUBLE_EQ(op->GetMl().off.x, offset.x);
		EXPECT_DOUBLE_EQ(op->GetMg().off.x + built->GetPointR()[1].x, world_x);
	}

	// The generator's own phong tag replaces the build's; its placeholder maps are not copied.
	ASSERT_EQ(Tags(built, Tphong).size(), 1u);
	EXPECT_FALSE(built->GetTag(Tphong)->GetDataInstance()->GetBool(PHONGTAG_PHONG_ANGLELIMIT, true));
	EXPECT_EQ(Tags(built, Tvertexmap), Tags(op, Tvertexmap));
	EXPECT_EQ(Tags(built, Tuvw).size(), 1u);
}

TEST_F(MeshImporter, MapsFollowWhatEachFrameCarries)
{
	BaseObject* op = AddImporter();
	Frame three;
	Write("maps_", 0, three);
	Frame two;
	two.weights = 2;
	Write("maps_", 1, two);
	Frame bare;
	bare.texture = false;
	Write("maps_", 2, bare);
	Choose(op, PathOf("maps_", 0));

	const std::vector<std::string> speed = {"TW_Mesh_SpeedX", "TW_Mesh_SpeedY", "TW_Mesh_SpeedZ"};
	auto with = [&speed](std::vector<std::string> weights) {
		std::vector<std::string> all = speed;
		all.insert(all.end(), weights.begin(), weights.end());
		return all;
	};
	PolygonObject* built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	EXPECT_EQ(Tags(op, Tvertexmap), with({"TW_Mesh_Weight_1", "TW_Mesh_Weight_2", "TW_Mesh_Weight_3"}));
	EXPECT_EQ(Tags(built, Tvertexmap), Tags(op, Tvertexmap));
	EXPECT_EQ(Tags(op, Tuvw), std::vector<std::string>{"TW_Mesh_UV"});
	// A new velocity scale reloads the frame already held, so the speed maps show it.
	headless::UserSetParameter(op, TW_MI_VELOCITY_SCALE, GeData(2.0));
	built = EvaluateAt(op, 0.0);
	ASSERT_NE(built, nullptr);
	const VertexMapTag* vx = static_cast<const VertexMapTag*>(FindTag(built, Tvertexmap, "TW_Mesh_SpeedX"));
	ASSERT_NE(vx, nullptr);
	EXPECT_FLOAT_EQ(vx->GetDataAddressR()[0], 2.0f);

	built = EvaluateAt(op, 1 / 25.0);
	EXPECT_EQ(Tags(op, Tvertexmap), with({"TW_Mesh_Weight_1", "TW_Mesh_Weight_2"}));
	EXPECT_EQ(Tags(built, Tvertexmap), Tags(op, Tvertexmap));

	// No texture block: no UVW tag anywhere and no weights either.
	built = EvaluateAt(op, 2 / 25.0);
	ASSERT_NE(built, nullptr);
	EXPECT_TRUE(Tags(op, Tuvw).empty());
	EXPECT_TRUE(Tags(built, Tuvw).empty());
	EXPECT_EQ(Tags(op, Tvertexmap), speed);
}

TEST_F(MeshImporter, AssetsAreEveryFrameOfTheRange)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("asset_", 4, 7));
	EXPECT_TRUE(headless::CollectAssets(doc, ASSETDATA_FLAG_NET).empty());
	op->GetDataInstance()->SetBool(TW_MI_REPORT_ASSETS, true);
	EXPECT_TRUE(headless::CollectAssets(doc, 0).empty());
	std::vector<AssetEntry> assets = headless::CollectAssets(doc, ASSETDATA_FLAG_NET);
	ASSERT_EQ(assets.size(), 4u);
	EXPECT_EQ(assets.front().file.Get(), PathOf("asset_", 4));
	EXPECT_EQ(assets.back().file.Get(), PathOf("asset_", 7));
	EXPECT_EQ(assets.front().owner, op);
}

TEST_F(MeshImporter, CopiesShareTheLoadedFrames)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("copy_", 0, 2));
	ASSERT_NE(EvaluateAt(op, 1 / 25.0), nullptr);
	// Gone from disk, frame 1 is still in the shared table: only a copy that shares it can show it.
	std::remove(PathOf("copy_", 1).c_str());
	BaseObject* copy = op->GetClone();
	doc->InsertObject(copy, nullptr, nullptr);
	PolygonObject* shown = EvaluateAt(copy, 1 / 25.0);
	ASSERT_NE(shown, nullptr);
	EXPECT_EQ(shown->GetPointCount(), 4);
	BaseObject::Free(op);
	ASSERT_NE(EvaluateAt(copy, 2 / 25.0), nullptr);
	EXPECT_EQ(UsedFile(copy), PathOf("copy_", 2));
}

TEST_F(MeshImporter, RenderUsesItsOwnTableAndFlushesItAtTheEnd)
{
	BaseObject* op = AddImporter();
	Choose(op, WriteSequence("render_", 0, 3));
	const BaseContainer* bc = op->GetDataInstance();
	std::vector<std::string> used;
	// Half a frame on, a render serves the next frame, as the tracker says; the viewport the lower one.
	headless::RenderDocument(doc, {BaseTime(2.0, 25.0), BaseTime(2.5, 25.0)}, [&](const BaseTime&) {
		EXPECT_TRUE(bc->GetBool(TW_MI_RENDER_MODE));
		used.push_back(UsedFile(op));
	});
	EXPECT_EQ(used, (std::vector<std::string>{PathOf("render_", 2), PathOf("render_", 3)}));
	EvaluateAt(op, 2.5 / 25.0);
	EXPECT_EQ(UsedFile(op), PathOf("render_", 2));
	EXPECT_FALSE(bc->GetBool(TW_MI_RENDER_MODE));
	EXPECT_EQ(bc->GetInt32(TW_MI_RENDER_FRAME), -1);

	// Flushed at the end: the next render must read frame 2 again, which is gone now.
	EvaluateAt(op, 0.0);
	std::remove(PathOf("render_", 2).c_str());
	headless::RenderDocument(doc, {BaseTime(2.0, 25.0)}, [&](const BaseTime&) { EXPECT_EQ(op->GetCache(), nullptr); });
}

TEST_F(MeshImporter, Enabling)
{
	BaseObject* op = AddImporter();
	BaseContainer* bc = op->GetDataInstance();
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_CACHE_WINDOW));
	bc->SetInt32(TW_MI_CACHE_MODE, 1);
	EXPECT_TRUE(headless::IsEnabled(op, TW_MI_CACHE_WINDOW));
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_PAIR_VALUE_2));
	bc->SetInt32(TW_MI_PAIR_SWITCH_2, 1);
	EXPECT_TRUE(headless::IsEnabled(op, TW_MI_PAIR_VALUE_2));
	// A .bin frame carries no .md channels.
	Choose(op, WriteSequence("enable_", 0, 0));
	ASSERT_NE(EvaluateAt(op, 0.0), nullptr);
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_MD_VELOCITY));
	EXPECT_FALSE(headless::IsEnabled(op, TW_MI_MD_VORTICITY_SCALE));
	EXPECT_TRUE(headless::IsEnabled(op, TW_MI_SCALE));
	bool has_file = false;
	for (const DescElement& e : headless::GetDescription(op))
		has_file = has_file || (e.id == TW_MI_FILE && e.dtype == DTYPE_FILENAME);
	EXPECT_TRUE(has_file);
}

} // namespace
