// host_render_test.cpp - the headless renderer: primitives and instances where they project, materials
// and shaders with what they are handed, visibility, lights, clipping, and the picture it writes.
#include "host_test.h"
#include "picture_support.h"

#include "c4d_polygon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <set>

namespace
{

constexpr Int32 kProbeShader = 1999401;
constexpr Int32 kProbeMaterial = 1999402;
constexpr Int32 kScatter = 1999403;
constexpr Int32 kColour = 99999; // where the probe shader finds an object's colour

// A shader that answers the colour stored on the object a sample stands for, and notes what it saw.
class ProbeShader : public ShaderData
{
public:
	static NodeData* Alloc() { return new ProbeShader(); }
	static std::mutex mutex;
	static int inits, frees;
	static std::set<std::pair<const BaseObject*, const BaseObject*>> seen; // (op->link, instance's link)
	static std::set<const Vector*> arrays;
	static VolumeData* kept; // a copy of the last sample
	static Int32 watch_x, watch_y; // the pixel whose texture coordinate is noted
	static Vector watched_uvw;

	INITRENDERRESULT InitRender(BaseShader*, const InitRenderStruct&) override
	{
		++inits;
		return INITRENDERRESULT_OK;
	}
	void FreeRender(BaseShader*) override { ++frees; }
	Vector Output(BaseShader*, ChannelData* cd) override
	{
		const RayObject* op = cd->vd ? cd->vd->op : nullptr;
		if (!op)
			return Vector();
		const BaseObject* source = op->instance && op->instance->link ? op->instance->link : op->link;
		std::lock_guard<std::mutex> lock(mutex);
		seen.insert({op->link, op->instance ? op->instance->link : nullptr});
		arrays.insert(op->padr);
		if (!kept)
			kept = VolumeData::Alloc();
		cd->vd->CopyTo(kept);
		if (cd->vd->x == watch_x && cd->vd->y == watch_y)
			watched_uvw = cd->p;
		return source->GetDataInstance()->GetVector(kColour);
	}
	static void Clear()
	{
		inits = frees = 0;
		watch_x = watch_y = -1;
		seen.clear();
		arrays.clear();
		VolumeData::Free(kept);
	}
};
std::mutex ProbeShader::mutex;
int ProbeShader::inits = 0, ProbeShader::frees = 0;
std::set<std::pair<const BaseObject*, const BaseObject*>> ProbeShader::seen;
std::set<const Vector*> ProbeShader::arrays;
VolumeData* ProbeShader::kept = nullptr;
Int32 ProbeShader::watch_x = -1, ProbeShader::watch_y = -1;
Vector ProbeShader::watched_uvw;

// A material that logs the calls it gets (render with one thread) and shows white.
class ProbeMaterial : public MaterialData
{
public:
	static NodeData* Alloc() { return new ProbeMaterial(); }
	static std::vector<std::string> log;
	static Int32 info;
	static Int32 objects_at_init;

	INITRENDERRESULT InitRender(BaseMaterial*, const InitRenderStruct& irs) override
	{
		log.push_back("InitRender");
		objects_at_init = irs.vd ? irs.vd->GetObjCount() : -1;
		return INITRENDERRESULT_OK;
	}
	void FreeRender(BaseMaterial*) override { log.push_back("FreeRender"); }
	Int32 GetRenderInfo(BaseMaterial*) override { return info; }
	void InitCalculation(BaseMaterial*, VolumeData*, INITCALCULATION) override { Note("InitCalculation"); }
	void CalcAlpha(BaseMaterial*, VolumeData*) override { Note("CalcAlpha"); }
	void CalcSurface(BaseMaterial*, VolumeData* vd) override
	{
		Note("CalcSurface");
		vd->col = Vector(1.0, 1.0, 1.0);
	}
	void CalcVolumetric(BaseMaterial*, VolumeData*) override { Note("CalcVolumetric"); }

private:
	// the calls of the first sample only: the first CalcSurface ends it unless CalcVolumetric follows
	static void Note(const char* call)
	{
		const bool volumetric = info & VOLUMEINFO_VOLUMETRIC;
		if (std::count(log.begin(), log.end(), volumetric ? "CalcVolumetric" : "CalcSurface") == 0)
			log.push_back(call);
	}
};
std::vector<std::string> ProbeMaterial::log;
Int32 ProbeMaterial::info = 0;
Int32 ProbeMaterial::objects_at_init = 0;

// A generator whose result is a null holding a disc and instances of it in a row along +X, as the
// particle importer's render result is built.
class Scatter : public ObjectData
{
public:
	static NodeData* Alloc() { return new Scatter(); }
	static Int32 count;
	static std::vector<std::string> log;
	Bool Message(GeListNode*, Int32 type, void* data) override
	{
		if (type == MSG_MULTI_RENDERNOTIFICATION)
			log.push_back(static_cast<RenderNotificationData*>(data)->start ? "start" : "end");
		return true;
	}
	BaseObject* GetVirtualObjects(BaseObject*, HierarchyHelp*) override
	{
		log.push_back("evaluate");
		BaseObject* null = BaseObject::Alloc(Onull);
		BaseObject* disc = BaseObject::Alloc(Odisc);
		disc->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 1.0);
		disc->InsertUnder(null);
		BaseObject* last = disc;
		for (Int32 i = 1; i < count; ++i)
		{
			BaseObject* inst = BaseObject::Alloc(Oinstance);
			inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, disc);
			inst->GetDataInstance()->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, 1);
			inst->SetRelPos(Vector(3.0 * i, 0.0, 0.0));
			inst->InsertAfter(last);
			last = inst;
		}
		return null;
	}
};
Int32 Scatter::count = 1;
std::vector<std::string> Scatter::log;

class HostRender : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		ASSERT_TRUE(RegisterShaderPlugin(kProbeShader, "Probe", 0, ProbeShader::Alloc, String(), 0));
		ASSERT_TRUE(RegisterMaterialPlugin(kProbeMaterial, "Probe", 0, ProbeMaterial::Alloc, String(), 0));
		ASSERT_TRUE(RegisterObjectPlugin(kScatter, "Scatter", OBJECT_GENERATOR, Scatter::Alloc, String(), nullptr, 0));
		ProbeShader::Clear();
		Scatter::log.clear();
		ProbeMaterial::log.clear();
		ProbeMaterial::info = 0;
		bmp = BaseBitmap::Alloc();
	}
	void TearDown() override
	{
		BaseBitmap::Free(bmp);
		ProbeShader::Clear();
		headless::SetRenderThreads(0);
		HostTest::TearDown();
	}

	// Above the origin looking down -Y: a disc at the origin faces it, and with the host's lens a unit
	// at distance d spans width / d pixels.
	void CameraAbove(Float height = 100.0)
	{
		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetMl(Matrix(Vector(0, height, 0), Vector(1, 0, 0), Vector(0, 0, 1), Vector(0, -1, 0)));
		doc->InsertObject(cam, nullptr, nullptr);
	}
	// At z = -100 looking along +Z.
	void CameraFront()
	{
		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetRelPos(Vector(0, 0, -100));
		doc->InsertObject(cam, nullptr, nullptr);
	}
	BaseObject* Add(Int32 type, const Vector& pos, BaseObject* parent = nullptr)
	{
		BaseObject* op = BaseObject::Alloc(type);
		op->SetRelPos(pos);
		doc->InsertObject(op, parent, nullptr);
		return op;
	}
	BaseMaterial* Plain(const Vector& colour)
	{
		BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
		mat->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, colour);
		doc->InsertMaterial(mat);
		return mat;
	}
	BaseMaterial* Shaded()
	{
		BaseShader* sh = BaseShader::Alloc(kProbeShader);
		doc->InsertShader(sh);
		BaseMaterial* mat = Plain(Vector());
		mat->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, sh);
		return mat;
	}
	static void Apply(BaseObject* op, BaseMaterial* mat)
	{
		static_cast<TextureTag*>(op->MakeTag(Ttexture))->SetMaterial(mat);
	}
	PolygonObject* Polygon(std::vector<Vector> pts, const Vector& pos = Vector())
	{
		PolygonObject* op = PolygonObject::Alloc(static_cast<Int32>(pts.size()), 1);
		std::copy(pts.begin(), pts.end(), op->GetPointW());
		op->GetPolygonW()[0] = pts.size() == 3 ? CPolygon(0, 1, 2) : CPolygon(0, 1, 2, 3);
		op->SetRelPos(pos);
		doc->InsertObject(op, nullptr, nullptr);
		return op;
	}
	RENDERRESULT Render(Int32 w = 200, Int32 h = 100, ProgressHook prog = nullptr, void* data = nullptr)
	{
		BaseContainer rd;
		rd.SetFloat(RDATA_XRES, w);
		rd.SetFloat(RDATA_YRES, h);
		return RenderDocument(doc, rd, prog, data, bmp, RENDERFLAGS_EXTERNAL, nullptr);
	}
	Rgb At(Int32 x, Int32 y) const
	{
		UChar c[4];
		bmp->GetPixel(x, y, c);
		return {c[0], c[1], c[2]};
	}
	// The pixel a global position lands on.
	Rgb AtPoint(const Vector& p, Int32* px = nullptr, Int32* py = nullptr) const
	{
		Float x = -1, y = -1;
		EXPECT_TRUE(headless::LastRender().Project(p, &x, &y));
		if (px)
			*px = static_cast<Int32>(x);
		if (py)
			*py = static_cast<Int32>(y);
		return At(static_cast<Int32>(x), static_cast<Int32>(y));
	}
	const BaseObject* SeenAtPoint(const Vector& p) const
	{
		Int32 x, y;
		AtPoint(p, &x, &y);
		return headless::LastRender().SeenAt(x, y);
	}

	BaseBitmap* bmp = nullptr;
	const Rgb kBlack{0, 0, 0};
};

TEST_F(HostRender, PrimitivesRenderWhereTheyProjectInTheirMaterialColour)
{
	CameraAbove();
	BaseObject* disc = Add(Odisc, Vector(-25, 0, 0));
	disc->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	Apply(disc, Plain(Vector(1, 0, 0)));
	BaseObject* sphere = Add(Osphere, Vector(25, 0, 0));
	sphere->GetDataInstance()->SetFloat(PRIM_SPHERE_RAD, 10.0);
	Apply(sphere, Plain(Vector(0, 0, 1)));
	Add(Odisc, Vector(0, 0, 15))->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 5.0); // no material

	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(bmp->GetBw(), 400);
	EXPECT_EQ(bmp->GetBh(), 200);
	// facing the default light from the camera: exactly the material's colour
	EXPECT_EQ(AtPoint(Vector(-25, 0, 0)), (Rgb{255, 0, 0}));
	EXPECT_EQ(AtPoint(Vector(-25, 0, 9)), (Rgb{255, 0, 0}));
	EXPECT_EQ(AtPoint(Vector(-25, 0, 11)), kBlack);
	const Rgb top = AtPoint(Vector(25, 10, 0));
	EXPECT_EQ(top.r, 0);
	EXPECT_GT(top.b, 240);
	EXPECT_EQ(SeenAtPoint(Vector(25, 10, 0)), sphere) << "a primitive's polygons stand for the primitive";
	EXPECT_EQ(AtPoint(Vector(0, 0, 15)), (Rgb{204, 204, 204})); // the default material's grey
	EXPECT_EQ(At(0, 0), kBlack);
	EXPECT_EQ(headless::LastRender().lights, 0);
}

TEST_F(HostRender, ShaderSeesTheRayObjectAndAnInstanceRecordNamingTheInstanceObject)
{
	CameraAbove();
	BaseObject* disc = Add(Odisc, Vector(-25, 0, 0));
	disc->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	disc->GetDataInstance()->SetVector(kColour, Vector(1, 0, 0));
	Apply(disc, Shaded());
	BaseObject* inst = Add(Oinstance, Vector(25, 0, 0));
	inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, disc);
	inst->GetDataInstance()->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, 1);
	inst->GetDataInstance()->SetVector(kColour, Vector(0, 1, 0));

	ProbeShader::watch_x = 300; // by the instance's centre
	ProbeShader::watch_y = 100;
	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(AtPoint(Vector(-25, 0, 0)), (Rgb{255, 0, 0}));
	EXPECT_EQ(AtPoint(Vector(25, 0, 0)), (Rgb{0, 255, 0}));
	// the pixel centre (300.5, 100.5) lies at x = 25.125, z = -0.125 on the disc of radius 10
	EXPECT_NEAR(ProbeShader::watched_uvw.x, 0.5 + 0.125 / 20.0, 1e-9);
	EXPECT_NEAR(ProbeShader::watched_uvw.y, 0.5 - 0.125 / 20.0, 1e-9);
	EXPECT_EQ(SeenAtPoint(Vector(25, 0, 0)), inst);
	std::set<std::pair<const BaseObject*, const BaseObject*>> expected{{disc, nullptr}, {disc, inst}};
	EXPECT_EQ(ProbeShader::seen, expected);
	EXPECT_EQ(ProbeShader::arrays.size(), 1u) << "a render instance shares the linked object's points";
	EXPECT_EQ(ProbeShader::inits, 1);
	EXPECT_EQ(ProbeShader::frees, 1);
	EXPECT_EQ(headless::LastRender().instances, 1);
}

TEST_F(HostRender, InstancesRenderTheLinkedShapeAtTheirPlaceAndTheirOwnTagWins)
{
	CameraAbove();
	BaseObject* disc = Add(Odisc, Vector(-25, 0, 0));
	disc->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	Apply(disc, Plain(Vector(1, 0, 0)));
	for (Int32 mode : {0, 1})
	{
		BaseObject* inst = Add(Oinstance, Vector(mode ? 25 : 0, 0, 20));
		inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, disc);
		inst->GetDataInstance()->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, mode);
		if (mode)
			Apply(inst, Plain(Vector(0, 0, 1)));
	}
	disc->SetRenderMode(MODE_OFF); // an instance shows its shape even when the shape itself is off

	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(AtPoint(Vector(-25, 0, 0)), kBlack);
	EXPECT_EQ(AtPoint(Vector(0, 0, 20)), (Rgb{255, 0, 0}));
	EXPECT_EQ(AtPoint(Vector(25, 0, 20)), (Rgb{0, 0, 255}));
	EXPECT_EQ(AtPoint(Vector(25, 0, 31)), kBlack);
	EXPECT_EQ(headless::LastRender().render_objects, 2);
	EXPECT_EQ(headless::LastRender().instances, 1);
}

TEST_F(HostRender, AGeneratorsResultOfInstancesRendersEachAtItsPlace)
{
	CameraAbove();
	Scatter::count = 1000;
	BaseObject* gen = Add(kScatter, Vector(-40, 0, 0));
	Apply(gen, Plain(Vector(0, 1, 0)));
	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(Scatter::log, (std::vector<std::string>{"start", "evaluate", "end"})) << "not evaluated again afterwards";
	EXPECT_EQ(headless::LastRender().render_objects, 1000);
	EXPECT_EQ(headless::LastRender().instances, 999);
	BaseObject* disc = gen->GetCache()->GetDown();
	ASSERT_NE(disc->GetCache(), nullptr) << "a primitive inside a result builds its own cache";
	for (Float x : {-40.0, -37.0, -34.0, 20.0})
		EXPECT_EQ(AtPoint(Vector(x, 0, 0)), (Rgb{0, 255, 0})) << x;
	EXPECT_EQ(AtPoint(Vector(-38.5, 0, 0)), kBlack);
}

TEST_F(HostRender, PrimitivesAndTheGeneratorsInAResultPolygonizeToPolygons)
{
	BaseObject* sphere = Add(Osphere, Vector());
	Scatter::count = 3;
	Add(kScatter, Vector(10, 0, 0));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	const BaseObject* cache = sphere->GetCache();
	ASSERT_NE(cache, nullptr);
	EXPECT_NEAR(sphere->GetRad().y, 100.0, 1e-9);
	doc->ExecutePasses(nullptr, true, true, true, 0);
	EXPECT_EQ(sphere->GetCache(), cache) << "an unchanged primitive keeps its polygons";
	sphere->SetParameter(PRIM_SPHERE_RAD, 50.0);
	doc->ExecutePasses(nullptr, true, true, true, 0);
	EXPECT_NEAR(sphere->GetRad().y, 50.0, 1e-9);

	BaseDocument* shown = doc->Polygonize();
	std::vector<Int32> points;
	std::function<void(const BaseObject*)> walk = [&](const BaseObject* op) {
		for (; op; op = op->GetNext())
		{
			if (op->GetType() == Opolygon)
				points.push_back(static_cast<const PolygonObject*>(op)->GetPointCount());
			EXPECT_NE(op->GetType(), Odisc);
			EXPECT_NE(op->GetType(), Oinstance);
			walk(op->GetDown());
		}
	};
	walk(shown->GetFirstObject());
	// the scatter's disc and its two instances (36 segments and a centre), then the sphere
	EXPECT_EQ(points, (std::vector<Int32>{37, 37, 37, 2 + 11 * 24}));
	BaseDocument::Free(shown);
}

// Corners that are not points of the object, a texture tag without a material and an instance that
// repeats its own parent would read out of bounds, shade through no material or never end.
TEST_F(HostRender, FaultyObjectsAreLeftOutAndTheRestRenders)
{
	CameraAbove();
	PolygonObject* bad = Polygon({{-10, 0, -10}, {10, 0, -10}, {10, 0, 10}});
	bad->GetPolygonW()[0] = CPolygon(0, 1, 7);
	BaseObject* null = Add(Onull, Vector());
	BaseObject* disc = Add(Odisc, Vector(25, 0, 0), null);
	disc->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	disc->MakeTag(Ttexture); // no material
	BaseObject* loop = Add(Oinstance, Vector(-50, 0, 0), null);
	loop->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, null);
	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(AtPoint(Vector(5, 0, 0)), kBlack);
	EXPECT_EQ(AtPoint(Vector(25, 0, 0)), (Rgb{204, 204, 204}));
	EXPECT_EQ(SeenAtPoint(Vector(-25, 0, 0)), disc) << "the instance repeats the disc once, as a plain copy";
	EXPECT_EQ(headless::LastRender().render_objects, 2);
}

TEST_F(HostRender, ModeOffHidesAnObjectAndItsChildrenUnlessTheySayOn)
{
	CameraAbove();
	BaseObject* null = Add(Onull, Vector());
	null->SetRenderMode(MODE_OFF);
	BaseObject* hidden = Add(Odisc, Vector(-25, 0, 0), null);
	hidden->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	BaseObject* shown = Add(Odisc, Vector(25, 0, 0), null);
	shown->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 10.0);
	shown->SetRenderMode(MODE_ON);
	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	EXPECT_EQ(AtPoint(Vector(-25, 0, 0)), kBlack);
	EXPECT_EQ(SeenAtPoint(Vector(25, 0, 0)), shown);
	EXPECT_EQ(headless::LastRender().render_objects, 1);
}

TEST_F(HostRender, TheNearerSurfaceHidesTheFartherWhicheverComesFirst)
{
	for (bool near_first : {true, false})
	{
		SCOPED_TRACE(near_first);
		CameraAbove();
		const std::vector<Vector> square{{-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, {10, 0, -10}};
		PolygonObject* a = Polygon(square, Vector(0, near_first ? 20 : 0, 0));
		PolygonObject* b = Polygon(square, Vector(0, near_first ? 0 : 20, 0));
		const PolygonObject* nearer = near_first ? a : b; // a is inserted first, so listed last
		ASSERT_EQ(Render(), RENDERRESULT_OK);
		EXPECT_EQ(SeenAtPoint(Vector(0, 0, 0)), nearer);
		EXPECT_NEAR(headless::LastRender().depth[50 * 200 + 100], 80.0, 1e-3);
		for (BaseObject* op : {static_cast<BaseObject*>(a), static_cast<BaseObject*>(b)})
			BaseObject::Free(op);
	}
}

TEST_F(HostRender, LightsShineOnTheSurfacesFacingThemOnly)
{
	struct Case
	{
		Int32 type;
		Matrix ml;
		Rgb expected;
	};
	const Vector down(0, -1, 0), up(0, 1, 0);
	const Case cases[] = {
		{LIGHT_TYPE_DISTANT, Matrix(Vector(), Vector(1, 0, 0), Vector(0, 0, 1), down), {255, 0, 0}},
		{LIGHT_TYPE_DISTANT, Matrix(Vector(), Vector(1, 0, 0), Vector(0, 0, -1), up), kBlack},
		{LIGHT_TYPE_OMNI, Matrix(Vector(0, 50, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)), {255, 0, 0}},
		{LIGHT_TYPE_OMNI, Matrix(Vector(0, -50, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)), kBlack},
	};
	CameraAbove();
	const std::vector<Vector> square{{-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, {10, 0, -10}};
	Apply(Polygon(square), Plain(Vector(1, 0, 0)));
	for (const Case& c : cases)
	{
		BaseObject* light = BaseObject::Alloc(Olight);
		light->GetDataInstance()->SetInt32(LIGHT_TYPE, c.type);
		light->SetMl(c.ml);
		doc->InsertObject(light, nullptr, nullptr);
		ASSERT_EQ(Render(), RENDERRESULT_OK);
		EXPECT_EQ(At(100, 50), c.expected) << c.type;
		EXPECT_EQ(headless::LastRender().lights, 1);
		BaseObject::Free(light);
	}
}

TEST_F(HostRender, ATriangleReachingBehindTheCameraShowsItsFrontPart)
{
	CameraFront();
	PolygonObject* floor = Polygon({{-100, -20, 100}, {100, -20, 100}, {0, -20, -300}});
	ASSERT_EQ(Render(), RENDERRESULT_OK);
	EXPECT_EQ(SeenAtPoint(Vector(0, -20, 50)), floor);
	EXPECT_EQ(SeenAtPoint(Vector(0, -20, 0)), floor);
	EXPECT_EQ(At(100, 10), kBlack);
}

TEST_F(HostRender, WeightsOfAPointOnATriangleAndOnAQuad)
{
	CameraAbove();
	BaseMaterial* mat = Shaded();
	const Vector ta(-30, 0, -10), tb(-10, 0, -10), tc(-30, 0, 10);
	Apply(Polygon({ta, tb, tc}), mat);
	const Vector qa(10, 0, -10), qb(30, 0, -10), qc(30, 0, 10), qd(10, 0, 10);
	PolygonObject* quad = Polygon({qa, qb, qc, qd});
	Apply(quad, mat);
	headless::SetRenderThreads(1);
	ASSERT_EQ(Render(400, 200), RENDERRESULT_OK);
	ASSERT_NE(ProbeShader::kept, nullptr);
	const VolumeData* vd = ProbeShader::kept;
	ASSERT_EQ(vd->GetObjCount(), 2);
	RayPolyWeight w;
	const RayHitID q{0, 0}, tri{1, 0}; // the quad was inserted last, so it comes first
	ASSERT_TRUE(vd->GetWeights(tri, ta * 0.5 + tb * 0.25 + tc * 0.25, &w));
	EXPECT_NEAR(w.wa, 0.5, 1e-9);
	EXPECT_NEAR(w.wb, 0.25, 1e-9);
	EXPECT_NEAR(w.wc, 0.25, 1e-9);
	EXPECT_EQ(w.wd, 0.0);
	// in the quad's second triangle (a, c, d): b has no share
	ASSERT_TRUE(vd->GetWeights(q, qa * 0.2 + qc * 0.3 + qd * 0.5, &w));
	EXPECT_NEAR(w.wa, 0.2, 1e-9);
	EXPECT_EQ(w.wb, 0.0);
	EXPECT_NEAR(w.wc, 0.3, 1e-9);
	EXPECT_NEAR(w.wd, 0.5, 1e-9);
	ASSERT_TRUE(vd->GetWeights(q, qa * 0.6 + qb * 0.3 + qc * 0.1, &w));
	EXPECT_NEAR(w.wb, 0.3, 1e-9);
	EXPECT_EQ(w.wd, 0.0);
	EXPECT_FALSE(vd->GetWeights(RayHitID{2, 0}, qa, &w));
	EXPECT_FALSE(vd->GetWeights(RayHitID{0, 1}, qa, &w));
}

TEST_F(HostRender, AMaterialIsCalledInTheDocumentedOrderAroundTheRender)
{
	CameraAbove();
	BaseMaterial* mat = BaseMaterial::Alloc(kProbeMaterial);
	doc->InsertMaterial(mat);
	const std::vector<Vector> square{{-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, {10, 0, -10}};
	Apply(Polygon(square), mat);
	headless::SetRenderThreads(1);
	// the calls besides the surface come only when the material's render information asks for them
	for (Int32 info : {0, VOLUMEINFO_INITCALCULATION | VOLUMEINFO_ALPHA | VOLUMEINFO_VOLUMETRIC})
	{
		ProbeMaterial::log.clear();
		ProbeMaterial::info = info;
		ASSERT_EQ(Render(), RENDERRESULT_OK);
		std::vector<std::string> expected{"InitRender", "CalcSurface", "FreeRender"};
		if (info)
			expected = {"InitRender", "InitCalculation", "CalcAlpha", "CalcSurface", "CalcVolumetric", "FreeRender"};
		EXPECT_EQ(ProbeMaterial::log, expected);
		EXPECT_EQ(ProbeMaterial::objects_at_init, 1);
		EXPECT_EQ(At(100, 50), (Rgb{255, 255, 255}));
	}
}

TEST_F(HostRender, AStoppedRenderStillReleasesWhatItPrepared)
{
	CameraAbove();
	Apply(Add(Odisc, Vector()), Shaded());
	int calls = 0;
	auto stop_second = [](Float, void* data) -> Bool { return ++*static_cast<int*>(data) < 2; };
	EXPECT_EQ(Render(200, 100, stop_second, &calls), RENDERRESULT_USERBREAK);
	EXPECT_EQ(ProbeShader::inits, 1);
	EXPECT_EQ(ProbeShader::frees, 1);
}

TEST_F(HostRender, ImpossibleSizesAreRefusedWithoutAPicture)
{
	Apply(Add(Odisc, Vector()), Shaded());
	for (auto [w, h] : {std::pair<Int32, Int32>{0, 100}, {100, -1}, {100000, 100000}, {30000, 30000}})
	{
		EXPECT_EQ(Render(w, h), RENDERRESULT_OUTOFMEMORY) << w << " x " << h;
		EXPECT_EQ(bmp->GetBw(), 0);
	}
	EXPECT_EQ(ProbeShader::inits, 0);
}

TEST_F(HostRender, ThePictureIsTheSameWhateverTheThreadCount)
{
	CameraAbove();
	Apply(Add(Osphere, Vector(0, -50, 0)), Shaded());
	Add(Odisc, Vector(30, 0, 0))->GetDataInstance()->SetFloat(PRIM_DISC_ORAD, 20.0);
	std::vector<std::vector<UChar>> pictures;
	std::set<Int64> triangles;
	for (Int32 threads : {1, 2, 3})
	{
		headless::SetRenderThreads(threads);
		ASSERT_EQ(Render(), RENDERRESULT_OK);
		triangles.insert(headless::LastRender().triangles);
		std::vector<UChar> px;
		for (Int32 y = 0; y < 100; ++y)
			for (Int32 x = 0; x < 200; ++x)
			{
				UChar c[4];
				bmp->GetPixel(x, y, c);
				px.insert(px.end(), c, c + 3);
			}
		pictures.push_back(px);
	}
	EXPECT_EQ(pictures[0], pictures[1]);
	EXPECT_EQ(pictures[0], pictures[2]);
	EXPECT_EQ(triangles.size(), 1u) << "a triangle across bands of rows counts once";
}

TEST_F(HostRender, TheDocumentsViewAnswersItsFirstCameraAtTheTimeOfAsking)
{
	BaseDraw* bd = doc->GetActiveBaseDraw();
	ASSERT_NE(bd, nullptr);
	EXPECT_EQ(doc->GetRenderBaseDraw(), bd);
	EXPECT_EQ(bd->GetSceneCamera(doc), nullptr);
	BaseObject* null = Add(Onull, Vector());
	BaseObject* deep = Add(Ocamera, Vector(), null);
	Add(Ocamera, Vector()); // inserted first: now the first object, but the null's camera stays behind
	BaseObject* first = doc->GetFirstObject();
	EXPECT_EQ(bd->GetSceneCamera(doc), first);
	BaseObject::Free(first);
	EXPECT_EQ(bd->GetSceneCamera(doc), deep);
	const Matrix editor = bd->GetEditorCamera()->GetMg();
	const Vector z = editor.v3 / editor.v3.GetLength();
	const Vector expected = Vector(0.5, -0.4, 1.0) / Vector(0.5, -0.4, 1.0).GetLength();
	EXPECT_NEAR((z - expected).GetLength(), 0.0, 1e-12);
}

TEST_F(HostRender, APictureIsSavedWholeOrNotAtAll)
{
	CameraAbove();
	Apply(Add(Odisc, Vector()), Plain(Vector(0.2, 0.4, 0.6)));
	ASSERT_EQ(Render(), RENDERRESULT_OK);
	TempDir dir;
	ASSERT_EQ(bmp->Save(dir / "out.png", FILTER_PNG), IMAGERESULT_OK);
	BaseBitmap* back = BaseBitmap::Alloc();
	ASSERT_EQ(back->Init(Filename(dir / "out.png")), IMAGERESULT_OK);
	for (auto [x, y] : {std::pair<Int32, Int32>{100, 50}, {0, 0}})
	{
		UChar a[4], b[4];
		bmp->GetPixel(x, y, a);
		back->GetPixel(x, y, b);
		EXPECT_TRUE(std::equal(a, a + 4, b)) << x << ", " << y;
	}
	BaseBitmap::Free(back);
	EXPECT_NE(bmp->Save(dir / "missing/out.png", FILTER_PNG), IMAGERESULT_OK);
	EXPECT_FALSE(FileExists(dir / "missing/out.png.part"));
	EXPECT_NE(bmp->Save(dir / "other.png", 0), IMAGERESULT_OK);
	EXPECT_FALSE(FileExists(dir / "other.png"));
}

} // namespace
