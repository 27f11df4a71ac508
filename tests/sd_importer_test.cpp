// sd_importer_test.cpp - the SD Importer command driven through its dialog in the headless host.
#include "host_test.h"
#include "test_support.h"

#include "c4d_symbols.h"
#include "plugin_ids.h"
#include "sd_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

struct SdObject
{
	std::string name;
	int type = SD_OBJECT_RIGID;
	int vertices = 3;
	std::vector<int> corners = {0, 1, 2}; // one triangle per three
	std::string texture;
};

// Object k at frame f sits at (k + f, 2, 3) metres with axes X = (1, 0, 0), Y = (0, 1, 0), Z = (0, 0, 1);
// the camera record (when there is one) at (0, f, 10) looking down -Z.
void WriteScene(const std::string& path, const std::vector<SdObject>& objects, int first, int last, bool camera = false,
	float version = SD_VERSION, float fov = 0.8f)
{
	SdFile* f = SdOpen(path.c_str(), true);
	ASSERT_NE(f, nullptr);
	SdSetTitle(f, "test");
	f->version = version;
	f->has_camera = camera ? 1 : 0;
	f->axis_setup = SD_AXIS_SETUP;
	f->object_count = static_cast<int32_t>(objects.size());
	f->first_frame = first;
	f->last_frame = last;
	std::vector<SdObjectDescriptor> descs(objects.size());
	for (size_t k = 0; k < objects.size(); ++k)
	{
		SdObjectDescriptor* d = &descs[k];
		std::memset(d, 0, sizeof *d);
		d->type = static_cast<uint8_t>(objects[k].type);
		SdDescriptorSetName(d, objects[k].name.c_str());
		SdDescriptorSetTexture(d, objects[k].texture.c_str());
		d->vertex_count = objects[k].vertices;
		d->triangle_count = static_cast<int32_t>(objects[k].corners.size() / 3);
		SdDescriptorSetSizes(d);
	}
	f->header_size = static_cast<int32_t>(SdFirstFrameOffset(descs.data(), f->object_count, camera));
	f->frame_size = static_cast<int32_t>(SdFrameBytes(descs.data(), f->object_count, camera));
	ASSERT_TRUE(SdWriteHeader(f));
	for (size_t k = 0; k < objects.size(); ++k)
	{
		SdDescriptorFreeBuffers(&f->descriptor);
		f->descriptor = descs[k];
		ASSERT_TRUE(SdWriteObjectDescriptor(f));
		for (int v = 0; v < objects[k].vertices; ++v)
		{
			f->vertex[0] = static_cast<float>(v);
			f->vertex[1] = 0.5f;
			f->vertex[2] = -1.0f;
			ASSERT_TRUE(SdWriteVertex(f));
		}
		for (size_t t = 0; t * 3 < objects[k].corners.size(); ++t)
		{
			for (int c = 0; c < 3; ++c)
			{
				f->face.corners[c] = objects[k].corners[t * 3 + static_cast<size_t>(c)];
				f->face.uvw[3 * c] = 0.1f * static_cast<float>(c);
				f->face.uvw[3 * c + 1] = 0.25f;
				f->face.uvw[3 * c + 2] = 0.0f;
			}
			f->face.edge_values[0] = f->face.edge_values[1] = f->face.edge_values[2] = f->face.face_value = 1;
			ASSERT_TRUE(SdWriteFace(f));
		}
		f->descriptor.name = nullptr; // owned by descs
		f->descriptor.texture = nullptr;
	}
	if (camera)
	{
		f->camera.fov = fov;
		f->camera.near_clip = 0.1f;
		f->camera.far_clip = 100.0f;
		ASSERT_TRUE(SdWriteCameraDescriptor(f));
	}
	for (int fr = first; fr <= last; ++fr)
	{
		f->frame_number = fr;
		ASSERT_TRUE(SdWriteFrameNumber(f));
		for (size_t k = 0; k < objects.size(); ++k)
		{
			f->descriptor = descs[k];
			std::memset(f->object_frame.transform, 0, sizeof f->object_frame.transform);
			float* t = f->object_frame.transform;
			t[0] = t[4] = t[8] = 1.0f;
			t[9] = static_cast<float>(k) + static_cast<float>(fr);
			t[10] = 2.0f;
			t[11] = 3.0f;
			ASSERT_TRUE(SdWriteObjectFrame(f));
			for (int v = 0; objects[k].type == SD_OBJECT_DEFORMING && v < objects[k].vertices; ++v)
				ASSERT_TRUE(SdWriteVertex(f));
			f->descriptor.name = nullptr;
			f->descriptor.texture = nullptr;
		}
		if (camera)
		{
			std::memset(&f->camera_frame, 0, sizeof f->camera_frame);
			float* m = f->camera_frame.matrix;
			m[0] = -1.0f; // row 0 = -X
			m[5] = 1.0f;
			m[10] = -1.0f; // row 2 = -Z
			m[15] = 1.0f;
			f->camera_frame.position[1] = static_cast<float>(fr);
			f->camera_frame.position[2] = 10.0f;
			ASSERT_TRUE(SdWriteCameraFrame(f));
		}
	}
	std::memset(&f->descriptor, 0, sizeof f->descriptor);
	ASSERT_TRUE(SdClose(f));
	for (SdObjectDescriptor& d : descs)
		SdDescriptorFreeBuffers(&d);
}

std::vector<SdObject> Named(std::initializer_list<const char*> names)
{
	std::vector<SdObject> out;
	for (const char* n : names)
	{
		SdObject o;
		o.name = n;
		out.push_back(o);
	}
	return out;
}

template <typename F>
void EachObject(BaseObject* op, F&& f)
{
	for (; op; op = op->GetNext())
	{
		f(op);
		EachObject(op->GetDown(), f);
	}
}

class SdImporter : public HostTest
{
protected:

	// The user picks the files and options in the dialog, then presses the import button.
	void Import(const std::string& camera, const std::string& scene, bool create = true, bool uvw = true, bool bake = false)
	{
		headless::SetModalDialogScript([=](headless::DialogDriver& d) {
			d.SetCheck(TW_SDIMP_BAKE_KEYS, bake);
			if (!camera.empty())
				d.SetFilename(TW_SDIMP_CAMERA_FILE, camera);
			if (!scene.empty())
				d.SetFilename(TW_SDIMP_SCENE_FILE, scene);
			d.SetCheck(TW_SDIMP_CREATE_OBJECTS, create);
			d.SetCheck(TW_SDIMP_UVW, uvw);
			d.Press(TW_SDIMP_OK);
		});
		CallCommand(ID_TW_SD_IMPORTER);
	}
	int Count(Int32 type)
	{
		int n = 0;
		EachObject(doc->GetFirstObject(), [&](BaseObject* op) { n += op->GetType() == type; });
		return n;
	}
	void EvaluateAt(int frame)
	{
		doc->SetTime(BaseTime(frame, doc->GetFps()));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}

	TempDir dir;
};

TEST_F(SdImporter, PreviewCountsAndNamesTheFirstObjects)
{
	struct Case
	{
		std::vector<SdObject> objects;
		float version;
		const char* count;
		const char* names;
	};
	const Case cases[] = {
		{Named({"A", "B", "C", "D", "E"}), SD_VERSION, "5", "A, B, C, D..."},
		{Named({"A", "B", "C", "D"}), SD_VERSION, "4", "A, B, C, D..."},
		{Named({"A", "B", "C"}), SD_VERSION, "3", "A, B, C"},
		{Named({"A"}), 5.0f, "", "Invalid SD file format"},
	};
	for (const Case& c : cases)
	{
		const std::string path = dir / "preview.sd";
		WriteScene(path, c.objects, 0, 2, false, c.version);
		std::string count, names;
		headless::SetModalDialogScript([&](headless::DialogDriver& d) {
			d.SetFilename(TW_SDIMP_SCENE_FILE, path);
			count = d.GetText(TW_SDIMP_INFO_COUNT);
			names = d.GetText(TW_SDIMP_INFO_NAMES);
			d.Press(TW_SDIMP_CANCEL);
		});
		CallCommand(ID_TW_SD_IMPORTER);
		EXPECT_EQ(count, c.count);
		EXPECT_EQ(names, c.names);
	}
	// a file that is not there previews as invalid; cancelling built nothing
	std::string names;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		d.SetFilename(TW_SDIMP_SCENE_FILE, dir / "missing.sd");
		names = d.GetText(TW_SDIMP_INFO_NAMES);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	EXPECT_EQ(names, "Invalid SD file format");
	EXPECT_EQ(doc->GetFirstObject(), nullptr);
	EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SdImporter, CameraComesFromObjectZeroOrFromTheCameraRecords)
{
	// without the camera flag: object 0 is the camera, keyed on six tracks per frame
	std::vector<SdObject> objects = Named({"Cam", "Other"});
	objects[1].type = SD_OBJECT_DEFORMING;
	WriteScene(dir / "cam0.sd", objects, 0, 4);
	Import(dir / "cam0.sd", "");
	BaseObject* cam = doc->GetFirstObject();
	ASSERT_NE(cam, nullptr);
	EXPECT_EQ(cam->GetType(), Ocamera);
	EXPECT_EQ(cam->GetName(), "Cam");
	for (Int32 param : {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION})
		for (Int32 c : {VECTOR_X, VECTOR_Y, VECTOR_Z})
		{
			CTrack* t = cam->FindCTrack(DescID(DescLevel(param), DescLevel(c)));
			ASSERT_NE(t, nullptr);
			EXPECT_EQ(t->GetCurve()->GetKeyCount(), 5);
		}
	EXPECT_EQ(cam->FindCTrack(DescID(DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_X))), nullptr);
	cam->SetMl(Matrix());
	EvaluateAt(3);
	const Matrix m = cam->GetMl();
	EXPECT_NEAR(m.off.x, 300.0, 1e-6); // object 0 at x = 3 m
	EXPECT_NEAR(m.off.y, 200.0, 1e-6);
	EXPECT_NEAR(m.v1.x, -1.0, 1e-9);
	EXPECT_NEAR(m.v3.z, -1.0, 1e-9);
	BaseObject::Free(cam);

	// with the camera flag: named TW_Camera, placed from the camera records past the objects' data
	WriteScene(dir / "cam1.sd", objects, 2, 6, true, SD_VERSION, 0.8f);
	Import(dir / "cam1.sd", "");
	cam = doc->GetFirstObject();
	ASSERT_NE(cam, nullptr);
	EXPECT_EQ(cam->GetName(), "TW_Camera");
	EXPECT_NEAR(cam->GetDataInstance()->GetFloat(CAMERA_FOCUS), 36.0 * 0.5 / std::tan(0.4f), 1e-4);
	EvaluateAt(5);
	EXPECT_NEAR(cam->GetMl().off.y, 500.0, 1e-4);
	EXPECT_NEAR(cam->GetMl().off.z, 1000.0, 1e-4);
	EXPECT_NEAR(cam->GetMl().v1.x, 1.0, 1e-9); // X = -(row 0) = (1, 0, 0)
	EXPECT_TRUE(headless::MessageBoxes().empty());
	BaseObject::Free(cam);

	// a field of view of 0 has no finite focal length: the lens is left as it was
	WriteScene(dir / "cam2.sd", objects, 0, 1, true, SD_VERSION, 0.0f);
	Import(dir / "cam2.sd", "");
	cam = doc->GetFirstObject();
	ASSERT_NE(cam, nullptr);
	EXPECT_DOUBLE_EQ(cam->GetDataInstance()->GetFloat(CAMERA_FOCUS), 36.0);
}

TEST_F(SdImporter, TimeRangeIsWidenedAndNeverNarrowed)
{
	doc->SetMaxTime(BaseTime(90, 25));
	doc->SetLoopMaxTime(BaseTime(90, 25));
	WriteScene(dir / "long.sd", Named({"Box"}), 10, 200);
	Import("", dir / "long.sd");
	EXPECT_EQ(doc->GetMinTime().GetFrame(25), 0);
	EXPECT_EQ(doc->GetLoopMinTime().GetFrame(25), 0);
	EXPECT_EQ(doc->GetMaxTime().GetFrame(25), 200);
	EXPECT_EQ(doc->GetLoopMaxTime().GetFrame(25), 200);

	WriteScene(dir / "early.sd", Named({"Box"}), -5, 20);
	Import("", dir / "early.sd");
	EXPECT_EQ(doc->GetMinTime().GetFrame(25), -5);
	EXPECT_EQ(doc->GetMaxTime().GetFrame(25), 200);
}

TEST_F(SdImporter, SceneBuildsTexturedObjectsUnderItsReader)
{
	std::vector<SdObject> objects = Named({"Box", "Flag"});
	objects[0].texture = "/textures/wood.png";
	objects[1].vertices = 4;
	objects[1].corners = {0, 1, 2, 2, 3, 0};
	WriteScene(dir / "scene.sd", objects, 0, 3);
	Import("", dir / "scene.sd");

	BaseObject* reader = doc->GetFirstObject();
	ASSERT_NE(reader, nullptr);
	EXPECT_EQ(reader->GetNext(), nullptr); // the SD Anim objects went under their objects
	EXPECT_EQ(reader->GetType(), ID_TW_SD_READER);
	EXPECT_EQ(reader->GetName().Get(), "scene.sd Reader");
	EXPECT_EQ(reader->GetDataInstance()->GetFilename(6001).Get(), dir / "scene.sd");
	// each new object goes first under the reader: Flag, then Box
	PolygonObject* flag = static_cast<PolygonObject*>(reader->GetDown());
	ASSERT_NE(flag, nullptr);
	ASSERT_EQ(flag->GetType(), Opolygon);
	EXPECT_EQ(flag->GetName(), "Flag");
	PolygonObject* box = static_cast<PolygonObject*>(flag->GetNext());
	ASSERT_NE(box, nullptr);
	EXPECT_EQ(box->GetName(), "Box");

	ASSERT_EQ(flag->GetPointCount(), 4);
	EXPECT_EQ(flag->GetPointR()[3], Vector(300.0, 50.0, -100.0));
	ASSERT_EQ(flag->GetPolygonCount(), 2);
	EXPECT_EQ(flag->GetPolygonR()[1].a, 2);
	EXPECT_EQ(flag->GetPolygonR()[1].d, 0);
	BaseTag* phong = flag->GetTag(Tphong);
	ASSERT_NE(phong, nullptr);
	EXPECT_DOUBLE_EQ(phong->GetDataInstance()->GetFloat(PHONGTAG_PHONG_ANGLE), 1.3962634015954636);
	EXPECT_EQ(flag->GetTag(Ttexture), nullptr); // no texture in the file

	UVWTag* uvw = static_cast<UVWTag*>(box->GetTag(Tuvw));
	ASSERT_NE(uvw, nullptr);
	UVWStruct s;
	UVWTag::Get(uvw->GetDataAddressR(), 0, s);
	EXPECT_NEAR(s.b.x, 0.1, 1e-6);
	EXPECT_NEAR(s.b.y, 0.75, 1e-6); // 1 - t
	EXPECT_EQ(s.d, s.c);
	BaseTag* tex = box->GetTag(Ttexture);
	ASSERT_NE(tex, nullptr);
	EXPECT_EQ(tex->GetDataInstance()->GetInt32(TEXTURETAG_PROJECTION), TEXTURETAG_PROJECTION_UVW);
	Material* mat = static_cast<Material*>(doc->GetFirstMaterial());
	ASSERT_NE(mat, nullptr);
	EXPECT_EQ(tex->GetDataInstance()->GetLink(TEXTURETAG_MATERIAL), mat);
	EXPECT_EQ(mat->GetChannel(CHANNEL_COLOR)->GetData().GetString(BASECHANNEL_TEXTURE), "/textures/wood.png");
	// one SD Anim object first under each object, with the file's settings from the hand-over
	for (BaseObject* op : {static_cast<BaseObject*>(flag), static_cast<BaseObject*>(box)})
	{
		BaseObject* anim = op->GetDown();
		ASSERT_NE(anim, nullptr);
		EXPECT_EQ(anim->GetType(), ID_TW_SD_ANIM);
		EXPECT_EQ(anim->GetDataInstance()->GetFilename(6001).Get(), dir / "scene.sd");
		EXPECT_EQ(anim->GetDataInstance()->GetInt32(6003), 3);
	}
	EXPECT_EQ(Count(ID_TW_SD_ANIM), 2);

	// played: the rigid Box follows its file position (k + f, 2, 3) metres
	EvaluateAt(2);
	ASSERT_NE(box->GetDeformCache(), nullptr);
	EXPECT_NEAR(box->GetDeformCache()->GetMl().off.x, 200.0, 1e-4);
	EXPECT_NEAR(box->GetDeformCache()->GetMl().off.z, 300.0, 1e-4);
	EXPECT_GE(headless::EventAddCount(), 1);
}

TEST_F(SdImporter, MatchedObjectsWithoutMatchingPolygonsGetAnAnimationButNoUvw)
{
	BaseObject* lamp = BaseObject::Alloc(Onull);
	lamp->SetName("Lamp");
	doc->InsertObject(lamp, nullptr, nullptr);
	WriteScene(dir / "lamp.sd", Named({"Lamp", "Ghost"}), 0, 1);

	Import("", dir / "lamp.sd", false);
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_EQ(headless::MessageBoxes()[0].text,
		"Can not add UVW tag to Lamp because it's polygon number do not match the number of triangles in the SD file.");
	EXPECT_EQ(headless::MessageBoxes()[0].flags, GEMB_ICONEXCLAMATION);
	EXPECT_EQ(lamp->GetFirstTag(), nullptr);
	EXPECT_EQ(Count(Opolygon), 0); // Ghost is not created with creation off
	EXPECT_EQ(Count(ID_TW_SD_ANIM), 1);
	ASSERT_NE(lamp->GetDown(), nullptr);
	EXPECT_EQ(lamp->GetDown()->GetType(), ID_TW_SD_ANIM);
}

TEST_F(SdImporter, WithCreationOffAndNoMatchesOnlyTheReaderArrives)
{
	WriteScene(dir / "none.sd", Named({"A", "B"}), 0, 1);
	Import("", dir / "none.sd", false);
	ASSERT_NE(doc->GetFirstObject(), nullptr);
	EXPECT_EQ(doc->GetFirstObject()->GetType(), ID_TW_SD_READER);
	EXPECT_EQ(doc->GetFirstObject()->GetNext(), nullptr);
	EXPECT_EQ(doc->GetFirstObject()->GetDown(), nullptr);
}

TEST_F(SdImporter, BakeKeysReachesTheNewAnimationObjects)
{
	WriteScene(dir / "bake.sd", Named({"Box"}), 0, 3);
	Import("", dir / "bake.sd", true, true, true);
	BaseObject* box = doc->SearchObject("Box");
	ASSERT_NE(box, nullptr);
	EvaluateAt(0); // the SD Anim object bakes at its first dirty check
	for (Int32 param : {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION, ID_BASEOBJECT_REL_SCALE})
	{
		CTrack* t = box->FindCTrack(DescID(DescLevel(param), DescLevel(VECTOR_X)));
		ASSERT_NE(t, nullptr) << param;
		EXPECT_EQ(t->GetCurve()->GetKeyCount(), 4);
	}
	EvaluateAt(2); // driven by its keys now: x = 2 m
	EXPECT_NEAR(box->GetMl().off.x, 200.0, 1e-3);
}

TEST_F(SdImporter, UnreadableFilesAreReportedAndTheOtherImportStillRuns)
{
	WriteScene(dir / "ok.sd", Named({"Box"}), 0, 1);
	Import(dir / "missing.sd", dir / "ok.sd");
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_EQ(headless::MessageBoxes()[0].text, "Can not open SD file " + (dir / "missing.sd"));
	EXPECT_EQ(Count(Opolygon), 1);

	// a path longer than the module's 255 characters is refused, not opened shortened
	headless::ClearMessageBoxes();
	Import("", std::string(300, 'x') + ".sd");
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_NE(headless::MessageBoxes()[0].text.find("path is too long"), std::string::npos);
}

TEST_F(SdImporter, FilesCutAtEveryLengthImportWhatTheyHoldAndNoMore)
{
	std::vector<SdObject> objects = Named({"Box", "Flag"});
	objects[1].type = SD_OBJECT_DEFORMING;
	objects[1].texture = "t.png";
	WriteScene(dir / "whole.sd", objects, 0, 2, true);
	const std::string bytes = ReadFile(dir / "whole.sd");
	for (size_t n = 0; n < bytes.size(); ++n)
	{
		WriteFile(dir / "cut.sd", bytes.substr(0, n));
		BaseDocument* cut = BaseDocument::Alloc();
		headless::SetActiveDocument(cut);
		Import(dir / "cut.sd", dir / "cut.sd");
		// never more than the whole file makes: a reader, two objects, one camera keyed per frame
		int polygons = 0, cameras = 0;
		EachObject(cut->GetFirstObject(), [&](BaseObject* op) {
			polygons += op->GetType() == Opolygon;
			if (op->GetType() == Ocamera)
			{
				++cameras;
				CTrack* t = op->FindCTrack(DescID(DescLevel(ID_BASEOBJECT_REL_POSITION), DescLevel(VECTOR_X)));
				EXPECT_LE(t ? t->GetCurve()->GetKeyCount() : 0, 3) << n;
			}
		});
		EXPECT_LE(polygons, 2) << n;
		EXPECT_LE(cameras, 1) << n;
		cut->ExecutePasses(nullptr, true, true, true, 0);
		headless::SetActiveDocument(doc);
		BaseDocument::Free(cut);
	}
}

// fault: a triangle naming a point the object lacks made a polygon object that indexes past its points
TEST_F(SdImporter, TriangleOutsideItsPointsIsNotBuilt)
{
	std::vector<SdObject> objects = Named({"Bad", "Good"});
	objects[0].corners = {0, 1, 7};
	WriteScene(dir / "bad.sd", objects, 0, 1);
	Import("", dir / "bad.sd");
	EXPECT_EQ(doc->SearchObject("Bad"), nullptr);
	ASSERT_NE(doc->SearchObject("Good"), nullptr);
	bool reported = false;
	for (const std::string& line : headless::ConsoleLines())
		reported |= line.find("[ERROR] SD object Bad") != std::string::npos;
	EXPECT_TRUE(reported);
}

} // namespace
