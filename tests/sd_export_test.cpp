// sd_export_test.cpp - what the SD Exporter offers from a document and the file its run writes.
#include "host_test.h"

#include "c4d_camera.h"
#include "c4d_material.h"
#include "c4d_polygon.h"
#include "sd_export.h"
#include "sd_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace
{

// A generator whose polygon object has as many points as the document's frame number plus one, as a
// mesh sequence whose point count changes from frame to frame.
class Growing : public ObjectData
{
public:
	static NodeData* Alloc() { return new Growing(); }
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override
	{
		const Int32 n = hh->GetDocument()->GetTime().GetFrame(25) + 1;
		PolygonObject* poly = PolygonObject::Alloc(n, 0);
		for (Int32 i = 0; i < n; ++i)
			poly->GetPointW()[i] = Vector(100.0 * i, 0, 0);
		(void)op;
		return poly;
	}
};
constexpr Int32 kGrowing = 1999401;

class SdExportTest : public HostTest
{
protected:
	PolygonObject* Quad(const char* name, const Vector& pos, BaseObject* parent = nullptr)
	{
		PolygonObject* op = PolygonObject::Alloc(4, 1);
		op->SetName(name);
		Vector* p = op->GetPointW();
		p[0] = Vector(0, 0, 0);
		p[1] = Vector(100, 0, 0);
		p[2] = Vector(100, 100, 0);
		p[3] = Vector(0, 100, 0);
		op->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
		op->SetRelPos(pos);
		Insert(op, parent);
		return op;
	}
	BaseObject* Add(Int32 type, const char* name, BaseObject* parent = nullptr)
	{
		BaseObject* op = BaseObject::Alloc(type);
		op->SetName(name);
		Insert(op, parent);
		return op;
	}
	void Insert(BaseObject* op, BaseObject* parent)
	{
		BaseObject* last = parent ? parent->GetDown() : doc->GetFirstObject();
		while (last && last->GetNext())
			last = last->GetNext();
		doc->InsertObject(op, last ? nullptr : parent, last);
	}
	void KeyX(BaseObject* op, Int32 frame, Float value)
	{
		headless::KeyComponent(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X, frame, value, doc->GetFps());
	}
	SdExportSettings Settings(std::initializer_list<std::pair<const char*, bool>> rows)
	{
		SdExportSettings s;
		s.path = dir / "out.sd";
		for (const auto& r : rows)
			s.rows.push_back({SdExportHash(std::string(r.first)), r.second});
		return s;
	}
	Bool Run(const SdExportSettings& s)
	{
		statuses.clear();
		headless::ClearMessageBoxes();
		return SdExport(doc, s, [this](const char* text) { statuses.emplace_back(text); });
	}
	std::string LastMessage() const
	{
		return headless::MessageBoxes().empty() ? std::string() : headless::MessageBoxes().back().text;
	}

	TempDir dir;
	std::vector<std::string> statuses;
};

std::vector<std::string> Names(const SdExportCandidates& c)
{
	std::vector<std::string> out;
	for (const SdExportEntry& e : c.Entries())
		out.push_back(e.name);
	return out;
}

TEST(SdExportNames, HashesAndIdentityTextFollowTheHierarchy)
{
	EXPECT_EQ(SdExportHash(""), 0);
	EXPECT_EQ(SdExportHash("ab"), 97 * 101 + 98);
	EXPECT_EQ(SdExportHash("\xff"), -1); // bytes count as signed
	// wraps in 32 bits instead of overflowing
	EXPECT_EQ(SdExportHash(std::string(40, 'z')), SdExportHash(std::string(40, 'z')));

	headless::Reset();
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* top = BaseObject::Alloc(Onull);
	top->SetName("Top");
	doc->InsertObject(top, nullptr, nullptr);
	BaseObject* a = BaseObject::Alloc(Onull);
	a->SetName("A");
	BaseObject* b = BaseObject::Alloc(Onull);
	b->SetName("B");
	BaseObject* c = BaseObject::Alloc(Onull);
	c->SetName("C");
	doc->InsertObject(a, top, nullptr);
	doc->InsertObject(b, nullptr, a);
	doc->InsertObject(c, b, nullptr);
	EXPECT_EQ(SdIdentityText(c), "C|B|Top");
	EXPECT_EQ(SdIdentityText(b), "B|A|Top");
	EXPECT_EQ(SdIdentityText(top), "Top");
	BaseDocument::Free(doc);
}

TEST(SdExportNames, DefaultAndTypedFileNames)
{
	headless::Reset();
	BaseDocument* doc = BaseDocument::Alloc();
	EXPECT_EQ(SdExportDefaultPath(doc), "");
	doc->SetDocumentPath(Filename("/proj"));
	doc->SetDocumentName(Filename("scene.c4d"));
	EXPECT_EQ(SdExportDefaultPath(doc), "/proj/scene.sd");
	doc->SetDocumentName(Filename("untitled"));
	EXPECT_EQ(SdExportDefaultPath(doc), "/proj/untitled");
	BaseDocument::Free(doc);

	const std::pair<const char*, const char*> typed[] = {
		{"/tmp/out", "/tmp/out.sd"}, {"/tmp/out.sd", "/tmp/out.sd"}, {"ab", "ab.sd"}, {".sd", ".sd"}, {"x.SD", "x.SD.sd"}};
	for (const auto& t : typed)
		EXPECT_EQ(SdExportFixPath(t.first), t.second) << t.first;
}

TEST_F(SdExportTest, CandidatesGetNumberedDisplayNamesAndGroupsTheirShiftedGeometry)
{
	Quad("Cube", Vector());
	BaseObject* holder = Add(Onull, "Holder");
	Quad("Cube", Vector(), holder);
	Quad("Cube", Vector());
	Quad(std::string(70, 'n').c_str(), Vector());
	Quad(std::string(70, 'n').c_str(), Vector());
	BaseObject* group = Add(Opolygongroup, "Group");
	group->SetRelPos(Vector(1000, 0, 0));
	BaseObject* inner = Add(Onull, "Inner", group);
	inner->SetRelPos(Vector(0, 10, 0));
	Quad("M1", Vector(5, 0, 0), inner);
	Quad("M2", Vector(0, 0, 7), group);
	doc->ExecutePasses(nullptr, true, true, true, 0);

	SdExportCandidates c(doc);
	const std::string n63(63, 'n');
	ASSERT_EQ(Names(c), (std::vector<std::string>{"Cube", "Cube {1}", "Cube {2}", n63, std::string(59, 'n') + " {1}",
							"Group", "M1", "M2"}));
	for (const SdExportEntry& e : c.Entries())
	{
		EXPECT_EQ(e.row_id, SdExportHash(e.name));
		EXPECT_EQ(c.FindRow(e.row_id), &e);
	}

	const SdExportEntry& g = c.Entries()[5];
	ASSERT_TRUE(g.group);
	EXPECT_EQ(g.object->GetType(), Onull);
	const std::string n70(70, 'n');
	EXPECT_EQ(g.identity, SdExportHash("Group|" + n70 + "|" + n70 + "|Cube|Holder|Cube"));
	EXPECT_EQ(g.PointCount(), 8);
	EXPECT_EQ(g.PolygonCount(), 2);
	std::vector<Vector> points;
	g.EachPoint([&](const Vector& p) { points.push_back(p); });
	// members' points in the head's space: the head's own place is its matrix's, not added again
	EXPECT_EQ(points[0], Vector(5, 10, 0));
	EXPECT_EQ(points[6], Vector(100, 100, 7));
	std::vector<CPolygon> polys;
	g.EachPolygon([&](const CPolygon& p) { polys.push_back(p); });
	EXPECT_EQ(polys[1].a, 4);
	EXPECT_EQ(polys[1].d, 7);
}

TEST_F(SdExportTest, WritesFramesByStepWithHeaderSizesGeometryAndMotion)
{
	PolygonObject* quad = Quad("Quad", Vector());
	UVWTag* uvw = UVWTag::Alloc(1);
	UVWTag::Set(uvw->GetDataAddressW(), 0,
		UVWStruct(Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 0.25, 0), Vector(0, 1, 0)));
	quad->InsertTag(uvw, nullptr);
	KeyX(quad, 0, 0.0);
	KeyX(quad, 6, 600.0);
	KeyX(quad, 10, 1000.0);
	PolygonObject* tri = Quad("Tri", Vector(0, 0, 200));
	tri->GetPolygonW()[0] = CPolygon(0, 1, 2, 2);
	tri->SetRelRot(Vector(0.5, 0, 0));
	BaseObject* cam = Add(Ocamera, "Cam");
	cam->SetRelPos(Vector(0, 0, -500));
	cam->SetRelRot(Vector(0, 0, 0.25));
	cam->GetDataInstance()->SetFloat(CAMERAOBJECT_FAR_CLIPPING, 5000.0);
	cam->GetDataInstance()->SetBool(CAMERAOBJECT_FAR_CLIPPING_ENABLE, true);
	doc->SetDocumentName(Filename("a-document-name-longer-than-the-title.c4d"));
	doc->ExecutePasses(nullptr, true, true, true, 0);

	SdExportSettings s = Settings({{"Quad", true}, {"Tri", false}});
	s.end = 10;
	s.step = 3;
	s.scale = 2.0;
	s.camera_on = true;
	ASSERT_TRUE(Run(s)) << LastMessage();
	EXPECT_EQ(statuses, (std::vector<std::string>{"Write header", "Write Quad header", "Write Tri header", "Export camera Cam",
							"Export frame 0", "Export frame 3", "Export frame 6", "Export frame 9", "Ready"}));
	EXPECT_EQ(doc->GetTime().GetFrame(25), 0);

	SdSceneReader* r = SdSceneOpen(s.path.c_str());
	ASSERT_NE(r, nullptr);
	SdFile* f = r->file;
	EXPECT_STREQ(f->title, "a-document-name-longer-than-t");
	EXPECT_EQ(f->first_frame, 0);
	EXPECT_EQ(f->last_frame, 3);
	EXPECT_EQ(f->object_count, 2);
	EXPECT_TRUE(f->has_camera);
	EXPECT_EQ(f->header_size, r->first_frame_offset);
	EXPECT_EQ(f->frame_size, r->frame_bytes);
	EXPECT_EQ(std::ifstream(s.path, std::ios::binary | std::ios::ate).tellg(), r->first_frame_offset + 4 * r->frame_bytes);
	EXPECT_EQ(r->descriptors[0].type, SD_OBJECT_DEFORMING);
	EXPECT_EQ(r->descriptors[0].triangle_count, 2); // a quad is two triangles
	EXPECT_EQ(r->descriptors[1].type, SD_OBJECT_RIGID);
	EXPECT_EQ(r->descriptors[1].triangle_count, 1); // (0, 1, 2, 2) is one

	ASSERT_TRUE(SdSceneReadFrame(r, 2));
	ASSERT_TRUE(r->valid);
	EXPECT_EQ(f->frame_number, 2);
	const float* t = r->frames[0].transform;
	EXPECT_FLOAT_EQ(t[0], 2.0f); // axes scaled
	EXPECT_FLOAT_EQ(t[9], 0.01f * 2.0f * 600.0f); // document frame 6: x keyed to 600
	const float* v = r->vertices[0];
	EXPECT_FLOAT_EQ(v[3], 0.02f * (600.0f + 100.0f)); // point 1 in global metres, scaled
	EXPECT_FLOAT_EQ(r->frames[1].vectors[SD_VECTOR_ROTATION][0], 0.5f);
	EXPECT_FLOAT_EQ(r->frames[1].vectors[SD_VECTOR_SCALE][1], 2.0f);
	EXPECT_FLOAT_EQ(r->frames[1].transform[11], 0.02f * 200.0f);
	const SdCameraFrame& cf = f->camera_frame;
	EXPECT_FLOAT_EQ(cf.position[2], -10.0f);
	EXPECT_FLOAT_EQ(cf.target[2], -8.0f);
	EXPECT_FLOAT_EQ(cf.matrix[11], -10.0f);
	EXPECT_NEAR(cf.roll, -0.25f * 180.0f / M_PI, 1e-4);
	SdSceneFree(r);

	// the descriptors' geometry, the camera's lens and clipping
	SdFile* g = SdOpen(s.path.c_str(), false);
	ASSERT_TRUE(g && SdReadHeader(g) && SdReadObjectDescriptor(g, &g->descriptor));
	float rest[12];
	ASSERT_TRUE(SdReadVertices(g, rest, 4));
	EXPECT_FLOAT_EQ(rest[7], 1.0f); // point 2 at rest, metres, unscaled
	ASSERT_TRUE(SdReadFace(g));
	EXPECT_EQ(std::vector<int32_t>(g->face.corners, g->face.corners + 3), (std::vector<int32_t>{0, 1, 2}));
	EXPECT_FLOAT_EQ(g->face.uvw[7], 0.75f); // v flipped
	EXPECT_EQ(g->face.edge_values[2], 1);
	EXPECT_EQ(g->face.face_value, 1);
	ASSERT_TRUE(SdReadFace(g));
	EXPECT_EQ(std::vector<int32_t>(g->face.corners, g->face.corners + 3), (std::vector<int32_t>{0, 2, 3}));
	EXPECT_FLOAT_EQ(g->face.uvw[6], 0.0f);
	EXPECT_FLOAT_EQ(g->face.uvw[7], 0.0f); // corner d: v 1 flipped
	ASSERT_TRUE(SdReadObjectDescriptor(g, &g->descriptor));
	for (int i = 0; i < 4 + 1; ++i)
		ASSERT_TRUE(i < 4 ? SdReadVertex(g) : SdReadFace(g));
	EXPECT_FLOAT_EQ(g->face.uvw[0], 0.0f); // no UVW tag: coordinates unset
	ASSERT_TRUE(SdReadCameraDescriptor(g));
	EXPECT_FLOAT_EQ(g->camera.near_clip, 0.0001f);
	EXPECT_FLOAT_EQ(g->camera.far_clip, 50.0f);
	EXPECT_FLOAT_EQ(g->camera.fov, 2.0f * std::atan((36.0f / (1280.0f / 720.0f)) / 72.0f));
	SdClose(g);
}

TEST_F(SdExportTest, TextureIsTheColourTextureFoundForTheDocument)
{
	WriteFile(dir / "wood.png", "png");
	doc->SetDocumentPath(Filename(dir.path()));
	PolygonObject* quad = Quad("Quad", Vector());
	PolygonObject* bare = Quad("Bare", Vector());
	Material* mat = static_cast<Material*>(BaseMaterial::Alloc(Mmaterial));
	BaseContainer color = mat->GetChannel(CHANNEL_COLOR)->GetData();
	color.SetString(BASECHANNEL_TEXTURE, String("wood.png"));
	mat->GetChannel(CHANNEL_COLOR)->SetData(color);
	doc->InsertMaterial(mat);
	for (BaseObject* op : {static_cast<BaseObject*>(quad), static_cast<BaseObject*>(bare)})
		op->MakeTag(Ttexture)->GetDataInstance()->SetLink(TEXTURETAG_MATERIAL, op == quad ? mat : nullptr);
	doc->ExecutePasses(nullptr, true, true, true, 0);

	SdExportSettings s = Settings({{"Quad", false}, {"Bare", false}});
	ASSERT_TRUE(Run(s));
	SdFile* f = SdOpen(s.path.c_str(), false);
	ASSERT_TRUE(f && SdReadHeader(f) && SdReadObjectDescriptor(f, &f->descriptor));
	EXPECT_STREQ(f->descriptor.texture, (dir / "wood.png").c_str());
	// the second object's tag has no material: no texture
	float xyz[12];
	ASSERT_TRUE(SdReadVertices(f, xyz, 4) && SdReadFace(f) && SdReadFace(f));
	ASSERT_TRUE(SdReadObjectDescriptor(f, &f->descriptor));
	EXPECT_EQ(f->descriptor.texture_length, 0);
	SdClose(f);
}

TEST_F(SdExportTest, CameraAloneWritesNumberAndCameraRecordPerFrame)
{
	Add(Ocamera, "Cam");
	doc->ExecutePasses(nullptr, true, true, true, 0);
	SdExportSettings s = Settings({});
	s.end = 4;
	s.camera_on = true;
	ASSERT_TRUE(Run(s));
	EXPECT_EQ(std::ifstream(s.path, std::ios::binary | std::ios::ate).tellg(),
		SD_HEADER_BYTES + SD_CAMERA_DESCRIPTOR_BYTES + 5 * (SD_FRAME_NUMBER_BYTES + SD_CAMERA_FRAME_BYTES));
}

TEST_F(SdExportTest, ChecksComeInOrderAndWriteNothing)
{
	Quad("Quad", Vector());
	doc->ExecutePasses(nullptr, true, true, true, 0);
	struct Case
	{
		const char* why;
		std::function<void(SdExportSettings&)> change;
		const char* message;
	};
	const Case cases[] = {
		{"no path", [](SdExportSettings& s) { s.path.clear(), s.step = 0; }, "Please set the path of the SD file!"},
		{"no camera to pick", [](SdExportSettings& s) { s.camera_on = true, s.camera = -1, s.step = 0; },
			"Please select a camera to export!"},
		{"nothing picked", [](SdExportSettings& s) { s.rows.clear(), s.step = 0; }, "Please select an object to export!"},
		{"step", [](SdExportSettings& s) { s.step = 0; }, "Inc frame must be greater than zero!"},
	};
	for (const Case& c : cases)
	{
		SdExportSettings s = Settings({{"Quad", false}});
		c.change(s);
		EXPECT_FALSE(Run(s)) << c.why;
		EXPECT_EQ(LastMessage(), c.message) << c.why;
		EXPECT_TRUE(statuses.empty()) << c.why;
		EXPECT_FALSE(std::ifstream(s.path).good()) << c.why;
	}
	SdExportSettings s = Settings({{"Quad", false}});
	s.path = dir / "missing/out.sd";
	EXPECT_FALSE(Run(s));
	EXPECT_EQ(LastMessage(), "Could not open file to write: " + s.path);
}

// fault: a write that failed (a full disk) went unnoticed and the run said "Ready"
TEST_F(SdExportTest, AFailedWriteIsReportedAndNeverReady)
{
	std::FILE* full = std::fopen("/dev/full", "wb");
	if (!full)
		GTEST_SKIP() << "no /dev/full here";
	std::fclose(full);
	Quad("Quad", Vector());
	doc->ExecutePasses(nullptr, true, true, true, 0);
	SdExportSettings s = Settings({{"Quad", true}});
	s.path = "/dev/full";
	s.end = 20;
	EXPECT_FALSE(Run(s));
	EXPECT_EQ(LastMessage().rfind("Could not write the SD file /dev/full: ", 0), 0u) << LastMessage();
	ASSERT_FALSE(statuses.empty());
	EXPECT_NE(statuses.back(), "Ready");
	EXPECT_EQ(doc->GetTime().GetFrame(25), 0);
}

// fault: a point count that changed after the header was written shifted every later record of the file
TEST_F(SdExportTest, PointCountsThatChangeKeepTheFileReadable)
{
	ASSERT_TRUE(RegisterObjectPlugin(kGrowing, "Growing", OBJECT_GENERATOR, Growing::Alloc, String(), nullptr, 0));
	BaseObject* op = Add(kGrowing, "Growing");
	op->SetRelPos(Vector(0, 0, 500));
	Quad("After", Vector());
	doc->SetTime(BaseTime(2, 25));
	doc->ExecutePasses(nullptr, true, true, true, 0); // three points when the export starts

	SdExportSettings s = Settings({{"Growing", true}, {"After", false}});
	s.end = 4;
	ASSERT_TRUE(Run(s));
	SdSceneReader* r = SdSceneOpen(s.path.c_str());
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(r->descriptors[0].vertex_count, 3);
	for (Int32 frame = 0; frame <= 4; ++frame)
	{
		ASSERT_TRUE(SdSceneReadFrame(r, frame)) << frame;
		ASSERT_TRUE(r->valid) << frame;
		EXPECT_STREQ(r->frames[1].name, "After") << frame;
	}
	ASSERT_TRUE(SdSceneReadFrame(r, 0)); // one point at frame 0: the rest filled with the object's place
	EXPECT_FLOAT_EQ(r->vertices[0][5], 5.0f);
	ASSERT_TRUE(SdSceneReadFrame(r, 4)); // five points at frame 4: cut to three
	EXPECT_FLOAT_EQ(r->vertices[0][6], 2.0f);
	SdSceneFree(r);
}

// fault: two objects whose identity texts hash alike were written with one object's motion
TEST_F(SdExportTest, ObjectsWithOneIdentityHashKeepTheirOwnMotion)
{
	// "X|Bz" and "X|C\x15" hash alike: both objects are X, under parents whose names collide
	ASSERT_EQ(SdExportHash("Bz"), SdExportHash("C\x15"));
	PolygonObject* a = Quad("X", Vector(), Add(Onull, "Bz"));
	PolygonObject* b = Quad("X", Vector(), Add(Onull, "C\x15"));
	KeyX(a, 0, 100.0);
	KeyX(a, 1, 100.0);
	KeyX(b, 0, 300.0);
	KeyX(b, 1, 300.0);
	doc->ExecutePasses(nullptr, true, true, true, 0);
	SdExportCandidates c(doc);
	ASSERT_EQ(Names(c), (std::vector<std::string>{"X", "X {1}"}));
	EXPECT_EQ(c.Entries()[0].identity, c.Entries()[1].identity);
	EXPECT_EQ(c.Match(c.Entries()[1].identity, "X {1}"), &c.Entries()[1]);
	EXPECT_EQ(c.Match(c.Entries()[1].identity, "Other"), nullptr);

	SdExportSettings s = Settings({{"X {1}", false}, {"X", false}});
	s.end = 1;
	ASSERT_TRUE(Run(s));
	SdSceneReader* r = SdSceneOpen(s.path.c_str());
	ASSERT_NE(r, nullptr);
	ASSERT_TRUE(SdSceneReadFrame(r, 1));
	EXPECT_STREQ(r->frames[0].name, "X {1}");
	EXPECT_FLOAT_EQ(r->frames[0].transform[9], 3.0f);
	EXPECT_FLOAT_EQ(r->frames[1].transform[9], 1.0f);
	SdSceneFree(r);
}

} // namespace
