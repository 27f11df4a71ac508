// sd_objects_test.cpp - the SD Reader and SD Anim objects in the headless host: frames, placing, blending, baking.
#include "headless.h"
#include "test_support.h"

#include "TW_SD_Anim.h"
#include "TW_SD_Reader.h"
#include "c4d_animation.h"
#include "c4d_polygon.h"
#include "c4d_symbols.h"
#include "plugin_ids.h"
#include "sd_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct SceneObject
{
	const char* name;
	uint8_t type;
	int32_t vertex_count;
};

// Motion of the test scenes. Rigid object k at frame n turns by 0.1 n about Y and sits at
// (0.1 n, 1 + k, -0.01 n); vertex i of deforming object k sits at (0.5 i, 0.1 n, 0.25 k).
void RigidTransform(int k, double n, float* t)
{
	const float a = static_cast<float>(0.1 * n);
	const float values[12] = {std::cos(a), 0.0f, -std::sin(a), 0.0f, 1.0f, 0.0f, std::sin(a), 0.0f, std::cos(a),
		static_cast<float>(0.1 * n), 1.0f + k, static_cast<float>(-0.01 * n)};
	std::memcpy(t, values, sizeof(values));
}

Vector Vertex(int k, int i, double n)
{
	return Vector(0.5 * i, 0.1 * n, 0.25 * k);
}

void WriteScene(const std::string& path, const std::vector<SceneObject>& objects, int first, int last)
{
	SdFile* file = SdOpen(path.c_str(), true);
	ASSERT_NE(file, nullptr);
	file->version = SD_VERSION;
	file->axis_setup = SD_AXIS_SETUP;
	file->object_count = static_cast<int32_t>(objects.size());
	file->first_frame = first;
	file->last_frame = last;
	ASSERT_TRUE(SdWriteHeader(file));
	auto describe = [&](const SceneObject& o) {
		SdObjectDescriptor* d = &file->descriptor;
		d->type = o.type;
		SdDescriptorSetName(d, o.name);
		SdDescriptorSetTexture(d, nullptr);
		d->vertex_count = o.vertex_count;
		d->triangle_count = 0;
		SdDescriptorSetSizes(d);
	};
	for (const SceneObject& o : objects)
	{
		describe(o);
		ASSERT_TRUE(SdWriteObjectDescriptor(file));
		for (int i = 0; i < o.vertex_count; ++i)
			ASSERT_TRUE(SdWriteVertex(file));
	}
	for (int n = first; n <= last; ++n)
	{
		file->frame_number = n;
		ASSERT_TRUE(SdWriteFrameNumber(file));
		for (size_t k = 0; k < objects.size(); ++k)
		{
			const SceneObject& o = objects[k];
			describe(o);
			std::memset(&file->object_frame, 0, sizeof(file->object_frame) - sizeof(file->object_frame.double_vectors));
			RigidTransform(static_cast<int>(k), n, file->object_frame.transform);
			ASSERT_TRUE(SdWriteObjectFrame(file));
			for (int i = 0; o.type == SD_OBJECT_DEFORMING && i < o.vertex_count; ++i)
			{
				const Vector v = Vertex(static_cast<int>(k), i, n);
				file->vertex[0] = static_cast<float>(v.x);
				file->vertex[1] = static_cast<float>(v.y);
				file->vertex[2] = static_cast<float>(v.z);
				ASSERT_TRUE(SdWriteVertex(file));
			}
		}
	}
	ASSERT_EQ(SdClose(file), 1);
}

// What placing gives rigid object k at (fractional) frame n: the record blended linearly, in host units.
Matrix Placed(int k, double n, double scale = 1.0)
{
	const int whole = static_cast<int>(std::floor(n));
	float a[12], b[12], t[12];
	RigidTransform(k, whole, a);
	RigidTransform(k, whole + 1, b);
	const float f = static_cast<float>(n - whole);
	for (int i = 0; i < 12; ++i)
		t[i] = a[i] + (b[i] - a[i]) * f;
	return Matrix(Vector(t[9], t[10], t[11]) * (100.0 * scale), Vector(t[0], t[1], t[2]) * scale,
		Vector(t[3], t[4], t[5]) * scale, Vector(t[6], t[7], t[8]) * scale);
}

bool Near(const Vector& a, const Vector& b, double tolerance = 1e-3)
{
	return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

::testing::AssertionResult SameMatrix(const Matrix& a, const Matrix& b)
{
	if (Near(a.off, b.off) && Near(a.v1, b.v1, 1e-5) && Near(a.v2, b.v2, 1e-5) && Near(a.v3, b.v3, 1e-5))
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << "off (" << a.off.x << ", " << a.off.y << ", " << a.off.z << ") vs ("
										 << b.off.x << ", " << b.off.y << ", " << b.off.z << "), v1.x " << a.v1.x
										 << " vs " << b.v1.x;
}

const std::vector<SceneObject> BOX_AND_FLAG = {{"Box", SD_OBJECT_RIGID, 8}, {"Flag", SD_OBJECT_DEFORMING, 4}};

class SdObjects : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		ASSERT_TRUE(module.Load(BuiltPluginFolder()));
		doc = BaseDocument::Alloc();
		doc->SetFps(24);
		headless::SetActiveDocument(doc);
		scene = dir / "scene.sd";
		WriteScene(scene, BOX_AND_FLAG, 0, 60);
	}
	void TearDown() override
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		module.Unload();
		headless::Reset();
	}

	BaseObject* AddReader(const std::string& path)
	{
		BaseObject* reader = BaseObject::Alloc(TW_SD_Reader);
		doc->InsertObject(reader, nullptr, nullptr);
		headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(path)));
		return reader;
	}
	PolygonObject* AddPolygon(const char* name, BaseObject* parent, Int32 points)
	{
		PolygonObject* op = PolygonObject::Alloc(points, 0);
		op->SetName(String(name));
		doc->InsertObject(op, parent, nullptr);
		return op;
	}
	BaseObject* AddAnim(BaseObject* parent)
	{
		BaseObject* anim = BaseObject::Alloc(TW_SD_Anim);
		doc->InsertObject(anim, parent, nullptr);
		return anim;
	}
	// A Box whose SD Anim plays the scene itself, with no SD Reader above it.
	BaseObject* AddLoneAnim(PolygonObject** box)
	{
		*box = AddPolygon("Box", nullptr, 8);
		BaseObject* anim = AddAnim(*box);
		headless::UserSetParameter(anim, TW_SD_FILE, GeData(Filename(scene)));
		return anim;
	}
	void EvaluateAt(double frame)
	{
		doc->SetTime(BaseTime(frame * 1000.0, 24000.0));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	static Matrix DeformedMl(const BaseObject* op)
	{
		return op->GetDeformCache() ? op->GetDeformCache()->GetMl() : Matrix(Vector(-1.0), Vector(), Vector(), Vector());
	}
	static Vector DeformedPoint(const BaseObject* op, Int32 i)
	{
		const PointObject* p = dynamic_cast<const PointObject*>(op->GetDeformCache());
		return p && i < p->GetPointCount() ? p->GetPointR()[i] : Vector(-1.0);
	}
	static Int32 SdFrame(const BaseObject* op) { return op->GetDataInstance()->GetInt32(TW_SD_SD_FRAME); }

	headless::Module module;
	BaseDocument* doc = nullptr;
	TempDir dir;
	std::string scene;
};

TEST_F(SdObjects, ReaderMapsDocumentFramesToSdFrames)
{
	BaseObject* reader = AddReader(scene);
	struct Case
	{
		Int32 start, end, offset;
		bool reverse, hold;
		double frame;
		Int32 sd;
	};
	const Case cases[] = {
		{0, 60, 0, false, false, 30, 30},
		{0, 60, 0, false, false, 61, -1},
		{0, 60, 0, false, true, 61, 60},
		{0, 60, 0, false, true, 500, 60},
		{0, 60, 5, false, false, 3, -1}, // maps to -2, before the file
		{10, 20, 5, true, false, 10, 15},
		{10, 20, 5, true, false, 20, 5},
		{10, 20, 5, true, false, 21, -1},
		{10, 20, 5, true, true, 21, 5},
		{10, 20, 5, true, false, 9, -1},
	};
	for (const Case& c : cases)
	{
		headless::UserSetParameter(reader, TW_SD_START, GeData(c.start));
		headless::UserSetParameter(reader, TW_SD_END, GeData(c.end));
		headless::UserSetParameter(reader, TW_SD_OFFSET, GeData(c.offset));
		headless::UserSetParameter(reader, TW_SD_REVERSE, GeData(c.reverse));
		headless::UserSetParameter(reader, TW_SD_HOLD, GeData(c.hold));
		EvaluateAt(c.frame);
		EXPECT_EQ(SdFrame(reader), c.sd) << c.start << ".." << c.end << " offset " << c.offset << " reverse " << c.reverse
										 << " hold " << c.hold << " frame " << c.frame;
	}
}

TEST_F(SdObjects, ReaderRangeFollowsTheFileButSurvivesReloading)
{
	BaseObject* reader = AddReader(scene);
	EXPECT_EQ(reader->GetDataInstance()->GetInt32(TW_SD_START), 0);
	EXPECT_EQ(reader->GetDataInstance()->GetInt32(TW_SD_END), 60);

	const std::string other = dir / "other.sd";
	WriteScene(other, BOX_AND_FLAG, 3, 9);
	headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(other)));
	EXPECT_EQ(reader->GetDataInstance()->GetInt32(TW_SD_START), 3);
	EXPECT_EQ(reader->GetDataInstance()->GetInt32(TW_SD_END), 9);

	// The user's narrower range of the same file is kept when a loaded copy opens it again.
	headless::UserSetParameter(reader, TW_SD_START, GeData(Int32(5)));
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	loaded->SetTime(BaseTime(4.0, 24.0));
	loaded->ExecutePasses(nullptr, true, true, true, 0);
	BaseObject* copy = loaded->GetFirstObject();
	EXPECT_EQ(copy->GetDataInstance()->GetInt32(TW_SD_START), 5);
	EXPECT_EQ(SdFrame(copy), -1);
	BaseDocument::Free(loaded);
}

TEST_F(SdObjects, AnimUnderReaderPlacesRigidAndDeformingObjects)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* flag = AddPolygon("Flag", reader, 4);
	BaseObject* box_anim = AddAnim(box);
	BaseObject* flag_anim = AddAnim(flag);
	EvaluateAt(12);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 12)));
	for (Int32 i = 0; i < 4; ++i)
		EXPECT_TRUE(Near(DeformedPoint(flag, i), Vertex(1, i, 12) * 100.0)) << i;
	EXPECT_EQ(SdFrame(box_anim), 12);
	EXPECT_EQ(SdFrame(flag_anim), 12);

	// The SD Reader's scale rules, and its parameters are not the objects' own to change.
	headless::UserSetParameter(reader, TW_SD_SCALE, GeData(2.0));
	EvaluateAt(13);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 13, 2.0)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 3), Vertex(1, 3, 13) * 200.0));
	// Both objects show the same parameters.
	for (BaseObject* op : {reader, box_anim})
	{
		const std::vector<DescElement> desc = headless::GetDescription(op);
		int found = 0;
		for (const DescElement& e : desc)
			found += (e.id == TW_SD_FILE && e.dtype == DTYPE_FILENAME) + (e.id == TW_SD_BAKE && e.dtype == DTYPE_BUTTON) +
				(e.id == TW_SD_SD_FRAME && e.name == "SD frame");
		EXPECT_EQ(found, 3) << op->GetName().Get();
	}
	EXPECT_FALSE(headless::IsEnabled(box_anim, TW_SD_SCALE));
	EXPECT_FALSE(headless::IsEnabled(box_anim, TW_SD_FILE));
	EXPECT_TRUE(headless::IsEnabled(box_anim, TW_SD_BAKE));
	EXPECT_TRUE(headless::IsEnabled(box_anim, TW_SD_UNBAKE));

	// Outside the range the objects keep their own shape and matrix.
	EvaluateAt(70);
	EXPECT_EQ(SdFrame(reader), -1);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix()));
	EXPECT_TRUE(Near(DeformedPoint(flag, 2), Vector()));

	// A file with the objects in another order: each object is picked again by its name.
	const std::string swapped = dir / "swapped.sd";
	WriteScene(swapped, {{"Flag", SD_OBJECT_DEFORMING, 4}, {"Box", SD_OBJECT_RIGID, 8}}, 0, 60);
	headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(swapped)));
	headless::UserSetParameter(reader, TW_SD_SCALE, GeData(1.0));
	EvaluateAt(14);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(1, 14)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 3), Vertex(0, 3, 14) * 100.0));
}

TEST_F(SdObjects, SampleSceneWithItsCameraPlaysUnderAReader)
{
	// The command-line tool's sample: a cube "Box", a deforming "Flag" and a camera after them.
	const std::string sample = dir / "sample.sd";
	const std::string cmd = std::string(TW_TWCONNECT) + " sample sd " + sample + " --start 0 --end 24 >/dev/null";
	ASSERT_EQ(std::system(cmd.c_str()), 0);
	BaseObject* reader = AddReader(sample);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* flag = AddPolygon("Flag", reader, 45);
	AddAnim(box);
	AddAnim(flag);
	EvaluateAt(0);
	// At rest the cube sits at (-1.5, 0.5, 0) m, unturned; the flag's pole corner at (0.5, 1, 0) m.
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix(Vector(-150.0, 50.0, 0.0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1))));
	EXPECT_TRUE(Near(DeformedPoint(flag, 0), Vector(50.0, 100.0, 0.0)));
	// Half a second in (frame 12 at 24 fps, the file's frame 12) the cube is at the top of its bounce.
	EvaluateAt(12);
	const Matrix m = DeformedMl(box);
	EXPECT_NEAR(m.off.x, -150.0, 1e-3);
	EXPECT_NEAR(m.off.y, 50.0 + 50.0 * std::fabs(std::sin(3.14159265 * 12.0 / 25.0)), 1e-2);
	EXPECT_NEAR(m.v1.x, std::cos(0.25 * 3.14159265 * 12.0 / 25.0), 1e-5);
	EXPECT_TRUE(Near(DeformedPoint(flag, 0), Vector(50.0, 100.0, 0.0)));
}

TEST_F(SdObjects, ReaderBlendsFromTheFrameAsReadAndReadsEachFrameOnce)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* flag = AddPolygon("Flag", reader, 4);
	AddAnim(box);
	AddAnim(flag);
	EvaluateAt(10.5);
	EXPECT_EQ(SdFrame(reader), 10);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 10.5)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 1), Vertex(1, 1, 10.5) * 100.0));

	// Frames 10 and 11 are in memory: without the file the same and nearby times still show.
	ASSERT_EQ(std::remove(scene.c_str()), 0);
	EvaluateAt(10.5);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 10.5)));
	// Each blend starts from frame 10 as read, not from the previous blend.
	EvaluateAt(10.25);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 10.25)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 1), Vertex(1, 1, 10.25) * 100.0));
	// and the whole frame shows unblended again.
	EvaluateAt(10);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 10)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 3), Vertex(1, 3, 10) * 100.0));

	// A frame that must be read now is not there: nothing is placed, and no message is shown.
	EvaluateAt(11);
	EXPECT_EQ(SdFrame(reader), -1);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix()));
	EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SdObjects, StandAloneAnimPlacesBlendsAndCompensatesItsParent)
{
	PolygonObject* box = AddPolygon("Box", nullptr, 8);
	BaseObject* anim = AddAnim(box);
	headless::UserSetParameter(anim, TW_SD_FILE, GeData(Filename(scene)));
	EvaluateAt(7);
	EXPECT_EQ(anim->GetName(), "Box Animation");
	EXPECT_EQ(anim->GetDataInstance()->GetInt32(TW_SD_END), 60);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 7)));
	EXPECT_EQ(SdFrame(anim), 7);
	EvaluateAt(7.5);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 7.5)));
	EvaluateAt(7.75);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 7.75)));

	// The parent's position is not compensated, its axes are.
	box->SetMl(Matrix(Vector(5.0, 0.0, 0.0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
	EvaluateAt(8);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 8)));
	const Matrix turned(Vector(5.0, 0.0, 0.0), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0));
	box->SetMl(turned);
	EvaluateAt(9);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), ~turned * Placed(0, 9)));

	// Disabled: nothing is loaded and the parent is not changed.
	box->SetMl(Matrix());
	headless::UserSetParameter(anim, TW_SD_DISABLE, GeData(true));
	EvaluateAt(10);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix()));
	EXPECT_EQ(SdFrame(anim), -1);
	headless::UserSetParameter(anim, TW_SD_DISABLE, GeData(false));

	// Past the file's frames the parent keeps its own matrix; a missing next frame only stops the blend.
	headless::UserSetParameter(anim, TW_SD_END, GeData(Int32(80)));
	EvaluateAt(60.5);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 60)));
	EvaluateAt(61);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix()));
	EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SdObjects, AnimIsNamedAfterItsParentAndFollowsAMove)
{
	BaseObject* lone = AddAnim(nullptr);
	EvaluateAt(0);
	EXPECT_EQ(lone->GetName(), "Tidewell SD Animation");

	PolygonObject* box = AddPolygon("Box", nullptr, 8);
	PolygonObject* flag = AddPolygon("Flag", nullptr, 4);
	BaseObject* anim = AddAnim(box);
	headless::UserSetParameter(anim, TW_SD_FILE, GeData(Filename(scene)));
	EvaluateAt(5);
	EXPECT_EQ(anim->GetName(), "Box Animation");
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 5)));

	doc->InsertObject(anim, flag, nullptr);
	EvaluateAt(5);
	EXPECT_EQ(anim->GetName(), "Flag Animation");
	EXPECT_EQ(box->GetDeformCache(), nullptr);
	for (Int32 i = 0; i < 4; ++i)
		EXPECT_TRUE(Near(DeformedPoint(flag, i), Vertex(1, i, 5) * 100.0)) << i;
}

TEST_F(SdObjects, BakingKeysEveryFrameOnNineTracksAndUnbakingRemovesExactlyThose)
{
	WriteScene(scene, BOX_AND_FLAG, 0, 10);
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* plain = AddPolygon("Plain", reader, 3); // no SD Anim object: the button skips it
	BaseObject* anim = AddAnim(box);
	EvaluateAt(0);
	EXPECT_EQ(reader->GetDataInstance()->GetInt32(TW_SD_END), 10);

	// A key of the user's own, outside the baked range.
	const DescID pos_x(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_X, DTYPE_REAL, 0));
	CTrack* own = CTrack::Alloc(box, pos_x);
	ASSERT_NE(own, nullptr);
	box->InsertTrackSorted(own);
	own->GetCurve()->AddKey(BaseTime(20.0, 24.0))->SetValue(own->GetCurve(), 1.0);

	headless::PressButton(reader, TW_SD_BAKE);
	EXPECT_EQ(plain->GetFirstCTrack(), nullptr);
	Int32 tracks = 0;
	for (CTrack* t = box->GetFirstCTrack(); t; t = t->GetNext())
	{
		++tracks;
		const bool own_track = t->GetDescriptionID() == pos_x;
		ASSERT_EQ(t->GetCurve()->GetKeyCount(), own_track ? 12 : 11);
		for (Int32 f = 0; f <= 10; ++f)
			EXPECT_NE(t->GetCurve()->FindKey(BaseTime(f, 24.0)), nullptr) << f;
	}
	EXPECT_EQ(tracks, 9);
	EXPECT_NEAR(box->FindCTrack(pos_x)->GetCurve()->FindKey(BaseTime(3.0, 24.0))->GetValue(), 30.0, 1e-3);

	// A baked rigid object is played by its keys; the SD Anim object leaves it alone.
	EvaluateAt(4);
	EXPECT_TRUE(SameMatrix(box->GetMl(), Placed(0, 4)));
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 4)));
	EXPECT_EQ(SdFrame(anim), -1);

	headless::PressButton(reader, TW_SD_UNBAKE);
	tracks = 0;
	for (CTrack* t = box->GetFirstCTrack(); t; t = t->GetNext())
	{
		++tracks;
		EXPECT_EQ(t->GetCurve()->GetKeyCount(), t->GetDescriptionID() == pos_x ? 1 : 0);
	}
	EXPECT_EQ(tracks, 9);
	ASSERT_NE(own->GetCurve()->FindKey(BaseTime(20.0, 24.0)), nullptr);
	EXPECT_TRUE(SameMatrix(box->GetMl(), Matrix()));
	// Driving again once the keys are gone.
	EvaluateAt(6);
	EXPECT_EQ(SdFrame(anim), 6);
}

TEST_F(SdObjects, ImportedAnimsTakeTheHandOverAndBakeOnce)
{
	WriteScene(scene, BOX_AND_FLAG, 0, 4);
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		d.SetFilename(TW_SDIMP_SCENE_FILE, scene);
		d.SetCheck(TW_SDIMP_BAKE_KEYS, true);
		d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	BaseObject* reader = doc->GetFirstObject();
	ASSERT_NE(reader, nullptr);
	ASSERT_EQ(reader->GetType(), ID_TW_SD_READER);
	EXPECT_EQ(reader->GetNext(), nullptr); // every SD Anim object went under its object
	BaseObject* flag = reader->GetDown();
	ASSERT_NE(flag, nullptr);
	BaseObject* box = flag->GetNext();
	ASSERT_NE(box, nullptr);
	ASSERT_NE(box->GetDown(), nullptr);
	EXPECT_EQ(box->GetDown()->GetType(), ID_TW_SD_ANIM);
	EXPECT_EQ(box->GetDown()->GetDataInstance()->GetInt32(TW_SD_END), 4);

	EvaluateAt(2);
	EXPECT_EQ(box->GetDown()->GetName(), "Box Animation");
	const DescID pos_y(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_Y, DTYPE_REAL, 0));
	CTrack* track = box->FindCTrack(pos_y);
	ASSERT_NE(track, nullptr);
	EXPECT_EQ(track->GetCurve()->GetKeyCount(), 5);
	// The keys play the rigid object from the next evaluation on; the deforming one is keyed too and
	// still gets its points, less the keyed position.
	EvaluateAt(3);
	EXPECT_TRUE(SameMatrix(box->GetMl(), Placed(0, 3)));
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 3)));
	EXPECT_TRUE(SameMatrix(flag->GetMl(), Placed(1, 3)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 2), Vertex(1, 2, 3) * 100.0 - Placed(1, 3).off));
	// Baked once only: a second evaluation adds no keys and the keys stay put.
	EvaluateAt(4);
	EXPECT_EQ(track->GetCurve()->GetKeyCount(), 5);
}

TEST_F(SdObjects, CutScenesShowWholeFramesOrNothing)
{
	WriteScene(scene, BOX_AND_FLAG, 0, 12);
	const std::string bytes = ReadFile(scene);
	const std::string cut = dir / "cut.sd";
	WriteFile(cut, "");
	BaseObject* reader = AddReader(cut);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* flag = AddPolygon("Flag", reader, 4);
	AddAnim(box);
	AddAnim(flag);
	PolygonObject* lone = AddPolygon("Box", nullptr, 8);
	BaseObject* lone_anim = AddAnim(lone);
	for (size_t n = 0; n <= bytes.size(); n += n < 400 ? 7 : 61)
	{
		WriteFile(cut, bytes.substr(0, n));
		headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(cut)));
		headless::UserSetParameter(lone_anim, TW_SD_FILE, GeData(Filename(dir / "other")));
		headless::UserSetParameter(lone_anim, TW_SD_FILE, GeData(Filename(cut)));
		for (double frame : {0.0, 5.5, 11.0})
		{
			EvaluateAt(frame);
			const double whole = std::floor(frame);
			for (const BaseObject* op : {static_cast<const BaseObject*>(box), static_cast<const BaseObject*>(lone)})
			{
				const Matrix m = DeformedMl(op);
				EXPECT_TRUE(SameMatrix(m, Matrix()) || SameMatrix(m, Placed(0, whole)) || SameMatrix(m, Placed(0, frame)))
					<< n << " bytes, frame " << frame;
			}
			const Vector p = DeformedPoint(flag, 3);
			EXPECT_TRUE(Near(p, Vector()) || Near(p, Vertex(1, 3, whole) * 100.0) || Near(p, Vertex(1, 3, frame) * 100.0))
				<< n << " bytes, frame " << frame;
		}
	}
	// The whole file shows every frame.
	WriteFile(cut, bytes);
	headless::UserSetParameter(reader, TW_SD_FILE, GeData(Filename(cut)));
	headless::UserSetParameter(lone_anim, TW_SD_FILE, GeData(Filename(dir / "other")));
	headless::UserSetParameter(lone_anim, TW_SD_FILE, GeData(Filename(cut)));
	EvaluateAt(11);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 11)));
	EXPECT_TRUE(SameMatrix(DeformedMl(lone), Placed(0, 11)));
	EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SdObjects, FilesAreReportedOnlyWhenAskedForAndNotTwice)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	BaseObject* anim = AddAnim(box);
	anim->GetDataInstance()->SetBool(TW_SD_COLLECT, true);
	EXPECT_TRUE(headless::CollectAssets(doc, ASSETDATA_FLAG_NET).empty());
	reader->GetDataInstance()->SetBool(TW_SD_COLLECT, true);
	EXPECT_TRUE(headless::CollectAssets(doc, 0).empty());
	std::vector<AssetEntry> assets = headless::CollectAssets(doc, ASSETDATA_FLAG_NET);
	ASSERT_EQ(assets.size(), 1u); // the SD Anim object beneath leaves it to the SD Reader
	EXPECT_EQ(assets[0].file.Get(), scene);
	EXPECT_EQ(assets[0].owner, reader);
	EXPECT_EQ(assets[0].param_id, -1);
}

// Fault: a chosen path of 256 characters or more wiped the scene an SD object played.
TEST_F(SdObjects, PathTooLongIsRefusedAndTheSceneStays)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	AddAnim(box);
	PolygonObject* lone = nullptr;
	BaseObject* lone_anim = AddLoneAnim(&lone);
	EvaluateAt(3);
	headless::ClearMessageBoxes();
	for (BaseObject* op : {reader, lone_anim})
	{
		headless::UserSetParameter(op, TW_SD_FILE, GeData(Filename(dir / std::string(300, 's') + ".sd")));
		EXPECT_EQ(op->GetDataInstance()->GetFilename(TW_SD_FILE).Get(), scene);
		EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_SD_END), 60);
	}
	ASSERT_EQ(headless::MessageBoxes().size(), 2u);
	for (const headless::MessageBoxRecord& box_shown : headless::MessageBoxes())
		EXPECT_EQ(box_shown.text, "The selected file's path is too long. Only paths of at most 255 characters are accepted.");
	EvaluateAt(4);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 4)));
	EXPECT_TRUE(SameMatrix(DeformedMl(lone), Placed(0, 4)));
}

// Fault: choosing the file again after it was simulated anew kept the old range, and the new frames
// showed nothing.
TEST_F(SdObjects, ChoosingTheFileAgainReadsItsRangeAgain)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", nullptr, 8);
	BaseObject* anim = AddAnim(box);
	headless::UserSetParameter(anim, TW_SD_FILE, GeData(Filename(scene)));
	for (BaseObject* op : {reader, anim})
		headless::UserSetParameter(op, TW_SD_END, GeData(Int32(30)));
	WriteScene(scene, BOX_AND_FLAG, 0, 90);

	// Opening the saved document keeps the user's range.
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	loaded->SetTime(BaseTime(80.0, 24.0));
	loaded->ExecutePasses(nullptr, true, true, true, 0);
	for (BaseObject* op = loaded->GetFirstObject(); op; op = op->GetNext())
	{
		const BaseObject* sd = op->GetType() == ID_TW_SD_READER ? op : op->GetDown();
		EXPECT_EQ(sd->GetDataInstance()->GetInt32(TW_SD_END), 30) << sd->GetName().Get();
	}
	BaseDocument::Free(loaded);

	for (BaseObject* op : {reader, anim})
	{
		headless::UserSetParameter(op, TW_SD_FILE, GeData(Filename(scene)));
		EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_SD_START), 0);
		EXPECT_EQ(op->GetDataInstance()->GetInt32(TW_SD_END), 90);
	}
	EvaluateAt(80);
	EXPECT_EQ(SdFrame(reader), 80);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 80)));
}

// Fault: unbaking an object that never baked moved it to the origin.
TEST_F(SdObjects, UnbakeWithoutBakedKeysLeavesTheObjectWhereItIs)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	AddAnim(box);
	PolygonObject* lone = nullptr;
	BaseObject* lone_anim = AddLoneAnim(&lone);
	EvaluateAt(3);
	const Matrix placed(Vector(5.0, 6.0, 7.0), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0));
	box->SetMl(placed);
	lone->SetMl(placed);
	headless::PressButton(reader, TW_SD_UNBAKE);
	headless::PressButton(lone_anim, TW_SD_UNBAKE);
	for (const BaseObject* op : {static_cast<BaseObject*>(box), static_cast<BaseObject*>(lone)})
	{
		EXPECT_TRUE(SameMatrix(op->GetMl(), placed));
		EXPECT_EQ(op->GetFirstCTrack(), nullptr);
	}
	// Still driven from the file.
	EvaluateAt(4);
	EXPECT_TRUE(SameMatrix(DeformedMl(lone), ~placed * Placed(0, 4)));
}

TEST_F(SdObjects, ReversedBlendRunsTowardTheFrameBefore)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	PolygonObject* flag = AddPolygon("Flag", reader, 4);
	AddAnim(box);
	AddAnim(flag);
	PolygonObject* lone = nullptr;
	BaseObject* lone_anim = AddLoneAnim(&lone);
	for (BaseObject* op : {reader, lone_anim})
		headless::UserSetParameter(op, TW_SD_REVERSE, GeData(true));
	// Document frame 10.5 of 0-60 reversed: SD frame 50, half-way toward 49.
	EvaluateAt(10.5);
	EXPECT_EQ(SdFrame(reader), 50);
	EXPECT_EQ(SdFrame(lone_anim), 50);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 49.5)));
	EXPECT_TRUE(SameMatrix(DeformedMl(lone), Placed(0, 49.5)));
	EXPECT_TRUE(Near(DeformedPoint(flag, 2), Vertex(1, 2, 49.5) * 100.0));
	EvaluateAt(10.25);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 49.75)));
}

TEST_F(SdObjects, BakingWithAnOffsetKeysTheShiftedFrames)
{
	WriteScene(scene, BOX_AND_FLAG, 0, 10);
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	AddAnim(box);
	headless::UserSetParameter(reader, TW_SD_OFFSET, GeData(Int32(2)));
	EvaluateAt(0);
	headless::PressButton(reader, TW_SD_BAKE);
	const DescID pos_x(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_X, DTYPE_REAL, 0));
	const DescID pos_y(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_Y, DTYPE_REAL, 0));
	ASSERT_NE(box->FindCTrack(pos_x), nullptr);
	const CCurve* x = box->FindCTrack(pos_x)->GetCurve();
	const CCurve* y = box->FindCTrack(pos_y)->GetCurve();
	// The key at document frame 5 holds SD frame 3; frames 0 and 1 map before the file and rest.
	struct Key
	{
		Int32 frame;
		double x, y;
	};
	for (const Key& k : {Key{5, 30.0, 100.0}, Key{10, 80.0, 100.0}, Key{2, 0.0, 100.0}, Key{1, 0.0, 0.0}})
	{
		ASSERT_NE(x->FindKey(BaseTime(k.frame, 24.0)), nullptr) << k.frame;
		EXPECT_NEAR(x->FindKey(BaseTime(k.frame, 24.0))->GetValue(), k.x, 1e-3) << k.frame;
		EXPECT_NEAR(y->FindKey(BaseTime(k.frame, 24.0))->GetValue(), k.y, 1e-3) << k.frame;
	}
}

// Little-endian fields of a hand-built file.
struct Bytes
{
	std::string b;
	Bytes& u8(uint8_t v)
	{
		b.push_back(static_cast<char>(v));
		return *this;
	}
	Bytes& i32(int32_t v)
	{
		const uint32_t u = static_cast<uint32_t>(v);
		for (int k = 0; k < 4; ++k)
			b.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
		return *this;
	}
	Bytes& f32(float v)
	{
		uint32_t u;
		std::memcpy(&u, &v, 4);
		return i32(static_cast<int32_t>(u));
	}
	Bytes& text(const std::string& s)
	{
		b += s;
		return *this;
	}
};

// Fault: the SD Reader and object reader skipped version-6 faces of 64 bytes in a version-2 file,
// whose faces are 28 bytes, so the objects the importer built from it never moved.
TEST_F(SdObjects, VersionTwoScenesImportAndPlay)
{
	Bytes f;
	f.text(std::string(30, '\0')).f32(2.0f); // title, version
	f.u8(0).i32(6); // camera flag (from 2.0), axis setup; no header and frame sizes before 5.0
	for (int k = 0; k < 6; ++k)
		f.i32(0); // reserved
	f.i32(2).i32(0).i32(2); // N, first frame, last frame
	const std::vector<SceneObject> objects = {{"Box", SD_OBJECT_RIGID, 3}, {"Flag", SD_OBJECT_DEFORMING, 3}};
	for (size_t k = 0; k < objects.size(); ++k)
	{
		const SceneObject& o = objects[k];
		f.u8(o.type).f32(0).f32(0).f32(0); // type, host vector
		f.i32(static_cast<int32_t>(std::strlen(o.name))).text(o.name); // name; no texture before 3.0
		f.i32(3).i32(1); // V, T
		for (int i = 0; i < 3; ++i)
			f.f32(0.5f * i).f32(0.0f).f32(0.25f * k); // rest positions
		f.i32(0).i32(1).i32(2).i32(1).i32(1).i32(1).i32(1); // corners, edge values, face value: 28 bytes
	}
	for (int n = 0; n <= 2; ++n)
	{
		f.i32(n); // frame number
		for (size_t k = 0; k < objects.size(); ++k)
		{
			float t[12];
			RigidTransform(static_cast<int>(k), n, t);
			for (float v : t)
				f.f32(v); // transform; no name before 5.0
			for (int i = 0; i < 12; ++i)
				f.f32(0.0f); // four vectors; no double vectors before 4.0
			for (int i = 0; objects[k].type == SD_OBJECT_DEFORMING && i < 3; ++i)
			{
				const Vector v = Vertex(static_cast<int>(k), i, n);
				f.f32(static_cast<float>(v.x)).f32(static_cast<float>(v.y)).f32(static_cast<float>(v.z));
			}
		}
	}
	const std::string old = dir / "old.sd";
	WriteFile(old, f.b);

	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		d.SetFilename(TW_SDIMP_SCENE_FILE, old);
		d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	BaseObject* reader = doc->GetFirstObject();
	ASSERT_NE(reader, nullptr);
	ASSERT_EQ(reader->GetType(), ID_TW_SD_READER);

	PolygonObject* flag = dynamic_cast<PolygonObject*>(reader->GetDown());
	ASSERT_NE(flag, nullptr);
	PolygonObject* box = dynamic_cast<PolygonObject*>(flag->GetNext());
	ASSERT_NE(box, nullptr);
	EXPECT_EQ(flag->GetPolygonCount(), 1);
	EXPECT_EQ(flag->GetPointR()[2], Vector(100.0, 0.0, 25.0));
	PolygonObject* lone = AddPolygon("Box", nullptr, 3);
	BaseObject* lone_anim = AddAnim(lone);
	headless::UserSetParameter(lone_anim, TW_SD_FILE, GeData(Filename(old)));
	EXPECT_EQ(lone_anim->GetDataInstance()->GetInt32(TW_SD_END), 2);

	EvaluateAt(1.5);
	EXPECT_EQ(SdFrame(reader), 1);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 1.5)));
	EXPECT_TRUE(SameMatrix(DeformedMl(lone), Placed(0, 1.5)));
	for (Int32 i = 0; i < 3; ++i)
		EXPECT_TRUE(Near(DeformedPoint(flag, i), Vertex(1, i, 1.5) * 100.0)) << i;
	EXPECT_TRUE(headless::MessageBoxes().empty());

	// Without a camera flag object 0 is the camera; each frame skips the other object's record.
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		d.SetFilename(TW_SDIMP_CAMERA_FILE, old);
		d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	const BaseObject* camera = doc->GetFirstObject();
	ASSERT_EQ(camera->GetType(), Ocamera);
	const DescID pos_x(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_X, DTYPE_REAL, 0));
	ASSERT_NE(camera->FindCTrack(pos_x), nullptr);
	const CKey* key = camera->FindCTrack(pos_x)->GetCurve()->FindKey(BaseTime(2.0, 24.0));
	ASSERT_NE(key, nullptr);
	EXPECT_NEAR(key->GetValue(), 20.0, 1e-3);
}

} // namespace

// Fault: back from a sub-frame to the whole frame, a stand-alone SD Anim object did not mark itself
// dirty, so a host that keeps the last deformed result went on showing the blend.
TEST_F(SdObjects, StandAloneAnimLeavesTheBlendWhenTimeReturnsToTheWholeFrame)
{
	PolygonObject* box = AddPolygon("Box", nullptr, 8);
	BaseObject* anim = AddAnim(box);
	headless::UserSetParameter(anim, TW_SD_FILE, GeData(Filename(scene)));
	for (double frame : {7.0, 7.5, 7.0, 7.25, 8.0, 8.0})
	{
		EvaluateAt(frame);
		EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, frame))) << frame;
	}
}

// Fault: a change of the SD Reader's scale or disable switch by code (no user messages) did not mark
// the SD Anim objects below it dirty, so a host that keeps the last deformed result showed the old one.
TEST_F(SdObjects, AnimFollowsItsReadersSettingsWithoutBeingTold)
{
	BaseObject* reader = AddReader(scene);
	PolygonObject* box = AddPolygon("Box", reader, 8);
	BaseObject* anim = AddAnim(box);
	EvaluateAt(12);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 12)));
	reader->SetParameter(TW_SD_SCALE, GeData(2.0));
	EvaluateAt(12);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 12, 2.0)));
	reader->SetParameter(TW_SD_DISABLE, GeData(true));
	EvaluateAt(12);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Matrix()));
	EXPECT_EQ(SdFrame(anim), -1);
	reader->SetParameter(TW_SD_DISABLE, GeData(false));
	EvaluateAt(12);
	EXPECT_TRUE(SameMatrix(DeformedMl(box), Placed(0, 12, 2.0)));
}
