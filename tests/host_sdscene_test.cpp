// host_sdscene_test.cpp - what a scene exporter reads of the headless host: group heads in the
// polygonised copy, cameras, texture search, render resolution, object bounds.
#include "host_test.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>

#include <sys/stat.h>

namespace
{

class HostSdScene : public HostTest
{
protected:
	PolygonObject* Triangle(const char* name, const Vector& pos, Float size)
	{
		PolygonObject* op = PolygonObject::Alloc(3, 1);
		op->SetName(name);
		Vector* p = op->GetPointW();
		p[0] = Vector(0, 0, 0);
		p[1] = Vector(size, 0, 0);
		p[2] = Vector(0, size, -size);
		op->GetPolygonW()[0] = CPolygon(0, 1, 2);
		op->SetRelPos(pos);
		return op;
	}
};

bool Near(const Vector& a, const Vector& b, Float eps = 1e-9)
{
	return (a - b).GetLength() < eps;
}

TEST_F(HostSdScene, GroupHeadBecomesANullWithItsTagsAndItsPolygonObjectsBelowIt)
{
	BaseObject* group = BaseObject::Alloc(Opolygongroup);
	ASSERT_NE(group, nullptr);
	group->SetName("Group");
	group->SetRelPos(Vector(10, 0, 0));
	BaseTag* tex = group->MakeTag(Ttexture);
	ASSERT_NE(tex, nullptr);
	doc->InsertObject(group, nullptr, nullptr);
	Triangle("B", Vector(0, 5, 0), 2)->InsertUnderLast(group);
	Triangle("A", Vector(1, 0, 0), 1)->InsertUnder(group);
	doc->InsertObject(Triangle("Loose", Vector(), 1), nullptr, group);
	ASSERT_TRUE(doc->ExecutePasses(nullptr, true, true, true, 0));

	BaseDocument* copy = doc->Polygonize();
	BaseObject* head = copy->GetFirstObject();
	ASSERT_NE(head, nullptr);
	EXPECT_EQ(head->GetType(), Onull);
	EXPECT_EQ(head->GetName(), "Group");
	EXPECT_TRUE(Near(head->GetMg().off, Vector(10, 0, 0)));
	EXPECT_NE(head->GetTag(Ttexture), nullptr);

	BaseObject* a = head->GetDown();
	ASSERT_NE(a, nullptr);
	ASSERT_NE(a->GetNext(), nullptr);
	BaseObject* b = a->GetNext();
	EXPECT_EQ(a->GetName(), "A");
	EXPECT_EQ(b->GetName(), "B");
	for (BaseObject* member : {a, b})
	{
		EXPECT_EQ(member->GetType(), Opolygon);
		EXPECT_EQ(static_cast<PolygonObject*>(member)->GetPointCount(), 3);
		EXPECT_EQ(static_cast<PolygonObject*>(member)->GetPolygonCount(), 1);
	}
	EXPECT_TRUE(Near(b->GetRelPos(), Vector(0, 5, 0)));
	EXPECT_EQ(b->GetNext(), nullptr);
	ASSERT_NE(head->GetNext(), nullptr);
	EXPECT_EQ(head->GetNext()->GetName(), "Loose");
	BaseDocument::Free(copy);
}

TEST_F(HostSdScene, CameraHasTheHostsLensAndClippingDefaults)
{
	BaseObject* cam = BaseObject::Alloc(Ocamera);
	ASSERT_NE(cam, nullptr);
	doc->InsertObject(cam, nullptr, nullptr);
	const BaseContainer* bc = cam->GetDataInstance();
	EXPECT_DOUBLE_EQ(bc->GetFloat(CAMERA_FOCUS), 36.0);
	EXPECT_DOUBLE_EQ(bc->GetFloat(CAMERAOBJECT_APERTURE), 36.0);
	EXPECT_DOUBLE_EQ(bc->GetFloat(CAMERAOBJECT_NEAR_CLIPPING), 0.0);
	EXPECT_FALSE(bc->GetBool(CAMERAOBJECT_NEAR_CLIPPING_ENABLE, true));
	EXPECT_DOUBLE_EQ(bc->GetFloat(CAMERAOBJECT_FAR_CLIPPING), 20000.0);
	EXPECT_FALSE(bc->GetBool(CAMERAOBJECT_FAR_CLIPPING_ENABLE, true));

	// a camera keeps what was set through the copy an exporter takes of the document
	cam->SetParameter(CAMERAOBJECT_FAR_CLIPPING, GeData(5000.0));
	cam->SetParameter(CAMERAOBJECT_FAR_CLIPPING_ENABLE, GeData(true));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	BaseDocument* copy = doc->Polygonize();
	BaseObject* copied = copy->GetFirstObject();
	ASSERT_NE(copied, nullptr);
	EXPECT_EQ(copied->GetType(), Ocamera);
	EXPECT_DOUBLE_EQ(copied->GetDataInstance()->GetFloat(CAMERAOBJECT_FAR_CLIPPING), 5000.0);
	EXPECT_TRUE(copied->GetDataInstance()->GetBool(CAMERAOBJECT_FAR_CLIPPING_ENABLE));
	EXPECT_DOUBLE_EQ(copied->GetDataInstance()->GetFloat(CAMERAOBJECT_APERTURE), 36.0);
	BaseDocument::Free(copy);
}

TEST_F(HostSdScene, CameraUnderAParentHasItsGlobalMatrixAndRelativeRotation)
{
	BaseObject* rig = BaseObject::Alloc(Onull);
	rig->SetRelPos(Vector(0, 100, 0));
	rig->SetRelRot(Vector(M_PI / 2, 0, 0));
	doc->InsertObject(rig, nullptr, nullptr);
	BaseObject* cam = BaseObject::Alloc(Ocamera);
	doc->InsertObject(cam, rig, nullptr);
	cam->SetRelPos(Vector(0, 0, -50));
	cam->SetRelRot(Vector(0, 0, 0.3));

	EXPECT_TRUE(Near(cam->GetRelRot(), Vector(0, 0, 0.3), 1e-9));
	const Matrix mg = cam->GetMg();
	EXPECT_TRUE(Near(mg.off, rig->GetMg() * Vector(0, 0, -50), 1e-9));
	// the parent's heading turns the camera's up axis about Y only: it keeps the bank's tilt
	EXPECT_NEAR(mg.v2.y, std::cos(0.3), 1e-9);
	EXPECT_NEAR(mg.v2.GetLength(), 1.0, 1e-9);
}

TEST_F(HostSdScene, RenderResolutionHasTheHostsDefaultAndTheCopyKeepsIt)
{
	const BaseContainer* rd = doc->GetActiveRenderData()->GetDataInstance();
	EXPECT_EQ(rd->GetInt32(RDATA_XRES), 1280);
	EXPECT_EQ(rd->GetInt32(RDATA_YRES), 720);
	EXPECT_DOUBLE_EQ(rd->GetFloat(RDATA_XRES), 1280.0);

	// fault: the polygonised copy came with default render settings instead of the document's
	doc->GetActiveRenderData()->GetDataInstance()->SetFloat(RDATA_XRES, 640.0);
	doc->GetActiveRenderData()->GetDataInstance()->SetFloat(RDATA_YRES, 480.0);
	BaseDocument* copy = doc->Polygonize();
	EXPECT_EQ(copy->GetActiveRenderData()->GetDataInstance()->GetInt32(RDATA_XRES), 640);
	EXPECT_EQ(copy->GetActiveRenderData()->GetDataInstance()->GetInt32(RDATA_YRES), 480);
	BaseDocument::Free(copy);
}

TEST_F(HostSdScene, DocumentNameAndFolderAreKeptByThePolygonisedCopy)
{
	EXPECT_TRUE(doc->GetDocumentPath().IsEmpty());
	doc->SetDocumentPath(Filename("/proj"));
	doc->SetDocumentName(Filename("scene.c4d"));
	BaseDocument* copy = doc->Polygonize();
	EXPECT_EQ(copy->GetDocumentPath().Get(), "/proj");
	EXPECT_EQ(copy->GetDocumentName().Get(), "scene.c4d");
	BaseDocument::Free(copy);
}

TEST_F(HostSdScene, BoundsComeFromThePointsAndAreZeroForObjectsWithoutExtent)
{
	PolygonObject* tri = Triangle("T", Vector(100, 0, 0), 4);
	doc->InsertObject(tri, nullptr, nullptr);
	// in the object's own coordinates: its position plays no part
	EXPECT_TRUE(Near(tri->GetMp(), Vector(2, 2, -2)));
	EXPECT_TRUE(Near(tri->GetRad(), Vector(2, 2, 2)));

	for (Int32 type : {Onull, Ocamera, Opolygongroup})
	{
		BaseObject* op = BaseObject::Alloc(type);
		EXPECT_TRUE(Near(op->GetRad(), Vector())) << type;
		EXPECT_TRUE(Near(op->GetMp(), Vector())) << type;
		BaseObject::Free(op);
	}
	PolygonObject* empty = PolygonObject::Alloc(0, 0);
	EXPECT_TRUE(Near(empty->GetRad(), Vector()));
	BaseObject* op = empty;
	BaseObject::Free(op);
}

class TextureSearch : public HostSdScene
{
protected:
	void SetUp() override
	{
		HostSdScene::SetUp();
		for (const char* sub : {"proj", "proj/tex", "proj/maps", "shared", "library"})
			ASSERT_EQ(mkdir((dir / sub).c_str(), 0755), 0) << sub;
		WriteFile(dir / "proj/beside.png", "x");
		WriteFile(dir / "proj/tex/in_tex.png", "x");
		WriteFile(dir / "proj/maps/suggested.png", "x");
		WriteFile(dir / "shared/absolute.png", "x");
		WriteFile(dir / "library/preferred.png", "x");
		WriteFile(dir / "library/beside.png", "x");
		headless::SetTexturePaths({dir / "library"});
	}

	// What the search finds for a name with this suggested folder, "" when nothing.
	std::string Find(const std::string& name, const std::string& suggested)
	{
		Filename found("untouched");
		if (!GenerateTexturePath(Filename(dir / "proj"), Filename(name), Filename(suggested), &found))
		{
			EXPECT_EQ(found.Get(), "untouched") << name;
			return "";
		}
		return found.Get();
	}

	TempDir dir;
};

TEST_F(TextureSearch, ResolvesANameAgainstDocumentSuggestedFolderAndTexturePathsInThatOrder)
{
	struct Case
	{
		std::string name, suggested, found;
	} cases[] = {
		{"beside.png", "", "proj/beside.png"}, // the document's folder wins over the texture paths
		{"in_tex.png", "", "proj/tex/in_tex.png"},
		{"suggested.png", dir / "proj/maps", "proj/maps/suggested.png"},
		{"suggested.png", "maps", "proj/maps/suggested.png"}, // relative to the document
		{"suggested.png", "", ""},
		{"preferred.png", "", "library/preferred.png"},
		{"tex/in_tex.png", "", "proj/tex/in_tex.png"},
		{dir / "shared/absolute.png", "", "shared/absolute.png"},
		// a path from another machine: its file name is looked for where the scene keeps textures
		{"/elsewhere/in_tex.png", "", "proj/tex/in_tex.png"},
		{"missing.png", dir / "shared", ""},
		{"", dir / "proj", ""},
	};
	for (const Case& c : cases)
		EXPECT_EQ(Find(c.name, c.suggested), c.found.empty() ? "" : dir / c.found) << c.name << " in " << c.suggested;
}

TEST_F(TextureSearch, WithoutDocumentFolderOnlyAbsoluteFoldersAreSearched)
{
	Filename found;
	EXPECT_FALSE(GenerateTexturePath(Filename(), Filename("in_tex.png"), Filename("proj/tex"), &found));
	EXPECT_TRUE(GenerateTexturePath(Filename(), Filename("suggested.png"), Filename(dir / "proj/maps"), &found));
	EXPECT_EQ(found.Get(), dir / "proj/maps/suggested.png");
	EXPECT_TRUE(GenerateTexturePath(Filename(), Filename("preferred.png"), Filename(), &found));
	EXPECT_EQ(found.Get(), dir / "library/preferred.png");
}

TEST_F(TextureSearch, TextureTagLeadsThroughItsMaterialsColourChannelToTheFile)
{
	doc->SetDocumentPath(Filename(dir / "proj"));
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(mat);
	BaseContainer channel;
	channel.SetString(BASECHANNEL_TEXTURE, "suggested.png");
	channel.SetString(BASECHANNEL_SUGGESTEDFOLDER, "maps");
	static_cast<Material*>(mat)->GetChannel(CHANNEL_COLOR)->SetData(channel);
	PolygonObject* op = Triangle("T", Vector(), 1);
	doc->InsertObject(op, nullptr, nullptr);
	op->MakeTag(Ttexture)->GetDataInstance()->SetLink(TEXTURETAG_MATERIAL, mat);

	const BaseTag* tag = op->GetTag(Ttexture);
	ASSERT_NE(tag, nullptr);
	auto* linked = dynamic_cast<Material*>(tag->GetDataInstance()->GetLink(TEXTURETAG_MATERIAL, doc));
	ASSERT_EQ(linked, mat);
	const BaseContainer data = linked->GetChannel(CHANNEL_COLOR)->GetData();
	Filename found;
	ASSERT_TRUE(GenerateTexturePath(doc->GetDocumentPath(), data.GetFilename(BASECHANNEL_TEXTURE),
		data.GetFilename(BASECHANNEL_SUGGESTEDFOLDER), &found));
	EXPECT_EQ(found.Get(), dir / "proj/maps/suggested.png");
}

} // namespace
