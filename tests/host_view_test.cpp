// host_view_test.cpp - the headless viewport: projection, the drawing calls, depth, what the host draws
// itself, and the host's gradient.
#include "host_test.h"
#include "picture_support.h"

#include "c4d_camera.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

// An object that draws, in whichever pass it is asked, what a test gives it.
class Sketch : public ObjectData
{
public:
	static NodeData* Alloc() { return new Sketch(); }
	static std::function<DRAWRESULT(BaseObject*, DRAWPASS, BaseDraw*)> draw;
	DRAWRESULT Draw(BaseObject* op, DRAWPASS pass, BaseDraw* bd, BaseDrawHelp* bh) override
	{
		(void)bh;
		return draw ? draw(op, pass, bd) : DRAWRESULT_SKIP;
	}
};
std::function<DRAWRESULT(BaseObject*, DRAWPASS, BaseDraw*)> Sketch::draw;
constexpr Int32 kSketch = 1999301;

class HostView : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		ASSERT_TRUE(RegisterObjectPlugin(kSketch, "Sketch", 0, Sketch::Alloc, String(), nullptr, 0));
	}
	void TearDown() override
	{
		Sketch::draw = nullptr;
		HostTest::TearDown();
	}
	// A camera at z = -100 looking along +z: the origin lands in the image's centre, and with the host's
	// lens (focus = aperture) a unit at distance d spans width / d pixels.
	BaseObject* Camera()
	{
		BaseObject* cam = BaseObject::Alloc(Ocamera);
		cam->SetRelPos(Vector(0, 0, -100));
		doc->InsertObject(cam, nullptr, nullptr);
		return cam;
	}
	BaseObject* SketchObject()
	{
		BaseObject* op = BaseObject::Alloc(kSketch);
		doc->InsertObject(op, nullptr, nullptr);
		return op;
	}
	PolygonObject* Square(Float z, Float half)
	{
		PolygonObject* op = PolygonObject::Alloc(4, 1);
		Vector* p = op->GetPointW();
		p[0] = Vector(-half, -half, z);
		p[1] = Vector(half, -half, z);
		p[2] = Vector(half, half, z);
		p[3] = Vector(-half, half, z);
		op->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
		doc->InsertObject(op, nullptr, nullptr);
		return op;
	}
	static Rgb At(const headless::View& v, Int32 x, Int32 y) { return PixelOf(v, x, y); }
	static Rgb Background() { return ViewBackground(); }
};

TEST(HostGradient, EvaluatesKnotsWithBrightnessBiasAndInterpolation)
{
	Gradient g; // the particle colour ramp's default: blue to red, smooth knots
	g.InsertKnot(Vector(1, 0, 0), 1.0, 1.0, 0.5, GRADIENT_INTERPOLATION_SMOOTHKNOT);
	g.InsertKnot(Vector(0, 0, 1), 0.0, 1.0, 0.5, GRADIENT_INTERPOLATION_SMOOTHKNOT);
	ASSERT_TRUE(g.InitRender());
	EXPECT_EQ(g.CalcGradientPixel(0.0), Vector(0, 0, 1));
	EXPECT_EQ(g.CalcGradientPixel(1.0), Vector(1, 0, 0));
	EXPECT_EQ(g.CalcGradientPixel(-3.0), Vector(0, 0, 1));
	EXPECT_EQ(g.CalcGradientPixel(7.0), Vector(1, 0, 0));
	EXPECT_NEAR(g.CalcGradientPixel(0.5).x, 0.5, 1e-12);
	EXPECT_NEAR(g.CalcGradientPixel(0.25).x, 0.15625, 1e-12); // eased, not linear
	g.FreeRender();

	struct Case
	{
		Float brightness, bias;
		Int32 interpolation;
		Float at, red;
	};
	const Case cases[] = {
		{1.0, 0.5, GRADIENT_INTERPOLATION_LINEAR, 0.25, 0.25},
		{1.0, 0.25, GRADIENT_INTERPOLATION_LINEAR, 0.25, 0.5}, // the bias is the half-way point
		{1.0, 0.5, GRADIENT_INTERPOLATION_NONE, 0.9, 0.0},
		{1.0, 0.5, GRADIENT_INTERPOLATION_EXP_UP, 0.5, 0.25},
		{0.5, 0.5, GRADIENT_INTERPOLATION_LINEAR, 0.0, 0.0},
	};
	for (const Case& c : cases)
	{
		Gradient h;
		h.InsertKnot(Vector(0, 0, 1), 0.0, c.brightness, c.bias, c.interpolation);
		h.InsertKnot(Vector(1, 0, 0), 1.0, 1.0, 0.5, c.interpolation);
		EXPECT_NEAR(h.CalcGradientPixel(c.at).x, c.red, 1e-12) << c.interpolation << " at " << c.at;
	}
	Gradient dim;
	dim.InsertKnot(Vector(0, 0, 1), 0.0, 0.5);
	EXPECT_EQ(dim.CalcGradientPixel(0.0), Vector(0, 0, 0.5));
	EXPECT_EQ(Gradient().CalcGradientPixel(0.5), Vector());
}

TEST_F(HostView, PointsLineAndCircleLandWhereTheCameraProjectsThem)
{
	Camera();
	BaseObject* op = SketchObject();
	op->SetRelPos(Vector(10, 0, 0));
	Sketch::draw = [](BaseObject* o, DRAWPASS pass, BaseDraw* bd) {
		if (pass != DRAWPASS_OBJECT)
			return DRAWRESULT_SKIP;
		bd->SetMatrix_Matrix(o, o->GetMg());
		const Vector32 pts[2] = {{-10.0f, 0.0f, 0.0f}, {0.0f, 20.0f, 0.0f}};
		const Float32 cols[6] = {1, 0, 0, 0, 1, 0};
		bd->DrawPointArray(2, pts, cols, 3, nullptr);
		bd->SetPen(Vector(0, 0, 1));
		bd->DrawLine(Vector(-10, -20, 0), Vector(10, -20, 0), 0);
		bd->SetPen(Vector(1, 1, 0));
		bd->DrawCircle(Matrix(Vector(20, 20, 0), Vector(10, 0, 0), Vector(0, 10, 0), Vector(0, 0, 1)));
		return DRAWRESULT_OK;
	};
	doc->ExecutePasses(nullptr, true, true, true, 0);
	headless::View v(200, 100);
	v.DrawDocument(doc);

	// width 200 at distance 100: 2 pixels per unit, origin at (100, 50), y up
	Float x = 0, y = 0;
	ASSERT_TRUE(v.Project(Vector(0, 0, 0), &x, &y));
	EXPECT_DOUBLE_EQ(x, 100.0);
	EXPECT_DOUBLE_EQ(y, 50.0);
	EXPECT_EQ(At(v, 100, 50), (Rgb{255, 0, 0})); // first point: the object's origin moved back by 10
	EXPECT_EQ(At(v, 120, 10), (Rgb{0, 255, 0})); // (10, 20) in global space
	EXPECT_FLOAT_EQ(v.Depth(100, 50), 100.0f);
	for (Int32 px : {100, 110, 119})
		EXPECT_EQ(At(v, px, 90), (Rgb{0, 0, 255})) << px; // the line from x 0 to 20 at y -20
	EXPECT_EQ(At(v, 100, 91), Background());
	// the circle about (30, 20) with radius 10: its rim, not its middle
	EXPECT_EQ(At(v, 179, 10), (Rgb{255, 255, 0}));
	EXPECT_EQ(At(v, 159, 30), Background());
	EXPECT_EQ(At(v, 160, 20), Background()) << "the middle stays empty";

	ASSERT_EQ(v.DrawCalls().size(), 4u); // asked in the object, box, handles and highlights passes
	EXPECT_EQ(v.DrawCalls()[0].pass, DRAWPASS_OBJECT);
	EXPECT_EQ(v.DrawCalls()[0].result, DRAWRESULT_OK);
	EXPECT_EQ(v.DrawCalls()[1].result, DRAWRESULT_SKIP);
	EXPECT_EQ(v.GetBaseDraw()->GetDataInstance()->GetInt32(BASEDRAW_DRAWPORTTYPE), 2);
	EXPECT_NE(v.GetBaseDraw()->GetEditorCamera(), nullptr);
}

TEST_F(HostView, SurfacesHideWhatIsBehindThemAndShowWhereTheCameraSeesThem)
{
	Camera();
	Square(0.0, 10.0); // in front
	BaseObject* op = SketchObject();
	Sketch::draw = [](BaseObject*, DRAWPASS pass, BaseDraw* bd) {
		if (pass != DRAWPASS_OBJECT)
			return DRAWRESULT_SKIP;
		const Vector32 pts[2] = {{0.0f, 0.0f, 50.0f}, {0.0f, 0.0f, -50.0f}}; // behind the square, in front of it
		bd->SetPen(Vector(1, 0, 1));
		bd->DrawPointArray(1, pts);
		bd->SetPen(Vector(0, 1, 1));
		bd->DrawPointArray(1, pts + 1);
		return DRAWRESULT_OK;
	};
	(void)op;
	doc->ExecutePasses(nullptr, true, true, true, 0);
	headless::View v(200, 100);
	v.DrawDocument(doc);
	// the square spans x and y -10..10: pixels 80..119 and 30..69, facing the camera: fully lit grey
	EXPECT_EQ(At(v, 81, 31), (Rgb{191, 191, 191}));
	EXPECT_EQ(At(v, 118, 68), (Rgb{191, 191, 191}));
	EXPECT_EQ(At(v, 78, 50), Background());
	EXPECT_FLOAT_EQ(v.Depth(90, 40), 100.0f);
	EXPECT_EQ(At(v, 100, 50), (Rgb{0, 255, 255})); // the near point; the far one stayed hidden
}

TEST_F(HostView, ParticlesOfGroupsThatLeaveTheirDrawingToTheHostAreDrawn)
{
	Camera();
	TP_MasterSystem* master = GetThinkingParticlesMaster(doc);
	ASSERT_NE(master, nullptr);
	TP_PGroup* shown = master->AllocParticleGroup();
	TP_PGroup* hidden = master->AllocParticleGroup();
	master->InsertParticleGroup(nullptr, shown, 0);
	master->InsertParticleGroup(nullptr, hidden, 0);
	hidden->SetViewType(TP_PGROUP_VIEW_NONE);
	const Int32 a = master->AllocParticle(), b = master->AllocParticle();
	master->SetGroup(a, shown);
	master->SetGroup(b, hidden);
	master->SetPosition(a, Vector(-10, 0, 0));
	master->SetPosition(b, Vector(10, 0, 0));
	headless::View v(200, 100);
	v.DrawDocument(doc);
	EXPECT_EQ(At(v, 80, 50), (Rgb{255, 255, 255}));
	EXPECT_EQ(At(v, 120, 50), Background());
}

TEST_F(HostView, WithoutASceneCameraTheEditorCameraFramesEverything)
{
	PolygonObject* far = Square(0.0, 50.0);
	far->SetRelPos(Vector(5000, -300, 9000));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	headless::View v(320, 180);
	v.DrawDocument(doc);
	EXPECT_EQ(v.GetBaseDraw()->GetSceneCamera(doc), nullptr);
	for (const Vector& corner : {Vector(-50, -50, 0), Vector(50, 50, 0)})
	{
		Float x = -1, y = -1;
		ASSERT_TRUE(v.Project(far->GetMg() * corner, &x, &y));
		EXPECT_TRUE(x >= 0 && x < 320 && y >= 0 && y < 180) << x << ", " << y;
	}
	Float cx = 0, cy = 0;
	ASSERT_TRUE(v.Project(far->GetMg().off, &cx, &cy));
	EXPECT_NE(At(v, static_cast<Int32>(cx), static_cast<Int32>(cy)), Background());

	// the picture on disk is the image
	TempDir dir;
	ASSERT_TRUE(v.WritePng(dir / "view.png"));
	BaseBitmap* bmp = BaseBitmap::Alloc();
	ASSERT_EQ(bmp->Init(Filename(dir / "view.png")), IMAGERESULT_OK);
	EXPECT_EQ(bmp->GetBw(), 320);
	UChar rgba[4];
	bmp->GetPixel(static_cast<Int32>(cx), static_cast<Int32>(cy), rgba);
	EXPECT_EQ((Rgb{rgba[0], rgba[1], rgba[2]}), At(v, static_cast<Int32>(cx), static_cast<Int32>(cy)));
	BaseBitmap::Free(bmp);
	std::string error;
	EXPECT_FALSE(v.WritePng(dir / "missing/view.png", &error));
	EXPECT_FALSE(error.empty());
}

} // namespace
