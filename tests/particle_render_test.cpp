// particle_render_test.cpp - the Particle Importer while rendering: the objects it makes per particle,
// where they stand and the colours they carry for the particle shader.
#include "host_test.h"
#include "importer_files.h"
#include "picture_support.h"

#include "TW_ParticleShader.h"
#include "TW_Particle_Importer.h"
#include "c4d_material.h"
#include "c4d_particles.h"
#include "particle_display.h"
#include "particle_material.h"
#include "particle_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

struct P
{
	float x, y, z, vx;
};

const Vector kBlue(0, 0, 1), kRed(1, 0, 0);
// The velocity channel is the squared speed: speeds 0, 1 and 2 give 0, 1 and 4, so the middle one sits a
// quarter of the way up the range, where the default ramp's smooth knots give 0.15625 red.
const Vector kQuarter(0.15625, 0, 0.84375);

void ExpectNear(const Vector& a, const Vector& b, const char* what)
{
	EXPECT_NEAR(a.x, b.x, 1e-4) << what;
	EXPECT_NEAR(a.y, b.y, 1e-4) << what;
	EXPECT_NEAR(a.z, b.z, 1e-4) << what;
}

class ParticleRender : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
	}
	void Load(const std::vector<P>& particles)
	{
		const std::string path = dir / "drop_00000.bin";
		ASSERT_TRUE(WriteBinFrame(path, 0, static_cast<int>(particles.size()), [&](BinParticleFrame* f, int i) {
			const P& p = particles[static_cast<size_t>(i)];
			f->position[3 * i] = p.x;
			f->position[3 * i + 1] = p.y;
			f->position[3 * i + 2] = p.z;
			f->velocity[3 * i] = p.vx;
		}));
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(path)));
	}
	// Renders frame 0; the objects under the importer's render result, in order.
	std::vector<BaseObject*> Render()
	{
		headless::RenderDocument(doc, {BaseTime(0.0)});
		std::vector<BaseObject*> made;
		result = op->GetCache();
		if (result)
			for (BaseObject* c = result->GetDown(); c; c = c->GetNext())
				made.push_back(c);
		return made;
	}
	BaseShader* Shader()
	{
		headless::PressButton(op, TW_PI_CREATE_MATERIAL);
		return ParticleShaderOf(FindParticleMaterial(op));
	}
	static Vector Colour(const BaseObject* o) { return o->GetDataInstance()->GetVector(TW_PARTICLE_COLOUR); }
	std::vector<Vector> Colours()
	{
		std::vector<Vector> out;
		for (BaseObject* o : Render())
			out.push_back(Colour(o));
		return out;
	}

	// A particle of the importer's group that is not in the frame and dies at the next pass (ID mode).
	void AddDyingParticle(const Vector& at)
	{
		TP_MasterSystem* master = GetThinkingParticlesMaster(doc);
		TP_PGroup* group = nullptr;
		for (TP_PGroup* g : master->GetParticleGroups())
			if (g->GetName() == op->GetName())
				group = g;
		ASSERT_NE(group, nullptr);
		const Int32 extra = master->AllocParticle();
		master->SetGroup(extra, group);
		master->SetPosition(extra, at);
		master->SetLife(extra, BaseTime(0.0));
	}

	TempDir dir;
	BaseObject* op = nullptr;
	BaseObject* result = nullptr;
};

TEST_F(ParticleRender, NoParticlesAddNothing)
{
	Load({});
	EXPECT_TRUE(Render().empty());
	ASSERT_NE(result, nullptr);
	EXPECT_EQ(result->GetType(), Onull);
}

TEST_F(ParticleRender, EachShapeValueGivesItsObject)
{
	BaseObject* custom = BaseObject::Alloc(Onull);
	custom->SetName(String("custom"));
	doc->InsertObject(custom, nullptr, nullptr);
	Load({{0, 0, 0, 0}, {1, 0, 0, 0}});
	struct Case
	{
		Int32 shape;
		bool link;
		Int32 type; // 0: nothing made
		Int32 radius_id;
		Float radius;
	} cases[] = {
		{TW_PI_RENDER_SHAPE_DISC, false, Odisc, PRIM_DISC_ORAD, 1.0},
		{TW_PI_RENDER_SHAPE_SPHERE, false, Osphere, PRIM_SPHERE_RAD, 7.5},
		{TW_PI_RENDER_SHAPE_SIZED_DISC, false, Odisc, PRIM_DISC_ORAD, 7.5},
		{TW_PI_RENDER_SHAPE_OBJECT, true, Onull, 0, 0.0},
		{TW_PI_RENDER_SHAPE_OBJECT, false, 0, 0, 0.0},
		{7, true, 0, 0, 0.0},
	};
	op->GetDataInstance()->SetFloat(TW_PI_RENDER_SIZE, 7.5);
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.shape);
		op->GetDataInstance()->SetInt32(TW_PI_RENDER_SHAPE, c.shape);
		if (c.link)
			op->GetDataInstance()->SetLink(TW_PI_RENDER_OBJECT, custom);
		else
			op->GetDataInstance()->RemoveData(TW_PI_RENDER_OBJECT);
		const std::vector<BaseObject*> made = Render();
		if (c.type == 0)
		{
			EXPECT_TRUE(made.empty());
			continue;
		}
		ASSERT_EQ(made.size(), 2u);
		BaseObject* shape = made[0];
		EXPECT_EQ(shape->GetType(), c.type);
		EXPECT_NE(shape, custom) << "a copy, never the linked object itself";
		if (c.radius_id)
		{
			EXPECT_DOUBLE_EQ(shape->GetDataInstance()->GetFloat(c.radius_id), c.radius);
		}
		if (c.type == Odisc)
		{
			EXPECT_DOUBLE_EQ(shape->GetDataInstance()->GetFloat(PRIM_DISC_IRAD, -1.0), 0.0);
			EXPECT_EQ(shape->GetDataInstance()->GetInt32(PRIM_DISC_SEG), 24);
		}
		if (c.type == Onull)
		{
			EXPECT_EQ(shape->GetName(), String("custom"));
		}
		EXPECT_EQ(made[1]->GetType(), Oinstance);
	}
}

// fault: linking the importer itself as the custom shape copied the importer into its own result
TEST_F(ParticleRender, TheImporterAsItsOwnShapeAddsNothing)
{
	Load({{0, 0, 0, 0}});
	op->GetDataInstance()->SetInt32(TW_PI_RENDER_SHAPE, TW_PI_RENDER_SHAPE_OBJECT);
	op->GetDataInstance()->SetLink(TW_PI_RENDER_OBJECT, op);
	EXPECT_TRUE(Render().empty());
}

TEST_F(ParticleRender, ShapeForTheFirstParticleInstancesForTheRestInTheObjectsSpace)
{
	const std::vector<P> particles = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 0}};
	Load(particles);
	Matrix mg = HPBToMatrix(Vector(0.5, 0.2, 0.1));
	mg.off = Vector(10, 20, 30);
	op->SetMl(mg);
	Shader();
	const std::vector<BaseObject*> made = Render();
	ASSERT_EQ(made.size(), particles.size());
	BaseObject* shape = made[0];
	EXPECT_EQ(shape->GetType(), Osphere);
	EXPECT_NE(shape->GetTag(Ttexture), nullptr) << "the importer's tags apply to the shape";
	for (size_t i = 0; i < made.size(); ++i)
	{
		SCOPED_TRACE(i);
		const BaseContainer* bc = made[i]->GetDataInstance();
		EXPECT_TRUE(bc->GetBool(TW_PARTICLE_INSTANCE));
		// under the importer, each stands where its particle is
		const P& p = particles[i];
		ExpectNear(made[i]->GetMl().off, Vector(p.x, p.y, p.z) * 100.0, "position");
		EXPECT_EQ(made[i]->GetRenderMode(), MODE_UNDEF);
		if (i == 0)
			continue;
		EXPECT_EQ(made[i]->GetType(), Oinstance);
		EXPECT_EQ(bc->GetLink(INSTANCEOBJECT_LINK), shape);
		EXPECT_EQ(bc->GetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE), INSTANCEOBJECT_RENDERINSTANCE_MODE_SINGLEINSTANCE);
		EXPECT_EQ(made[i]->GetTag(Ttexture), nullptr) << "instances carry no copies of the tags";
	}
}

TEST_F(ParticleRender, ColoursByTheImportersOrTheShadersChannelAndRamp)
{
	Load({{-1, 0, 0, 0}, {0, 0, 0, 1}, {1, 0, 0, 2}});
	BaseContainer* bc = op->GetDataInstance();
	bc->SetInt32(TW_PI_COLOR_CHANNEL, 1);
	for (BaseObject* o : Render())
		EXPECT_EQ(o->GetDataInstance()->GetDataPointer(TW_PARTICLE_COLOUR), nullptr) << "no particle material";

	BaseContainer* sc = Shader()->GetDataInstance();
	Gradient green;
	green.InsertKnot(Vector(0, 1, 0), 0.0);
	sc->SetInt32(TW_PS_CHANNEL, 0);
	sc->SetData(TW_PS_GRADIENT, GeData(green));
	std::vector<Vector> c = Colours();
	ASSERT_EQ(c.size(), 3u);
	ExpectNear(c[0], kBlue, "slowest");
	ExpectNear(c[1], kQuarter, "middle");
	ExpectNear(c[2], kRed, "fastest");

	// a fixed range when the automatic one is off
	bc->SetBool(TW_PI_AUTO_RANGE, false);
	bc->SetFloat(TW_PI_RANGE_MIN, 1.0);
	bc->SetFloat(TW_PI_RANGE_MAX, 3.0);
	c = Colours();
	ExpectNear(c[1], kBlue, "at the range's start");
	ExpectNear(c[2], kRed, "past its end");

	// the shader's own channel and ramp, over the frame's range whatever the importer's says
	sc->SetBool(TW_PS_USE_IMPORTER, false);
	sc->SetInt32(TW_PS_CHANNEL, 1);
	bc->SetInt32(TW_PI_COLOR_CHANNEL, 0);
	for (const Vector& v : Colours())
		ExpectNear(v, Vector(0, 1, 0), "the shader's ramp");
	sc->SetData(TW_PS_GRADIENT, GeData(DefaultParticleGradient()));
	ExpectNear(Colours()[1], kQuarter, "the frame's range");

	// channel 0: the material's own colour
	FindParticleMaterial(op)->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, Vector(0.1, 0.2, 0.3));
	sc->SetInt32(TW_PS_CHANNEL, 0);
	for (const Vector& v : Colours())
		ExpectNear(v, Vector(0.1, 0.2, 0.3), "base colour");
}

// fault: a group holding more particles than the frame read colours past the frame's end
TEST_F(ParticleRender, ADeadParticleIsSwitchedOffAndOneBeyondTheFrameTakesTheBaseColour)
{
	Load({{-1, 0, 0, 0}, {1, 0, 0, 2}});
	op->GetDataInstance()->SetInt32(TW_PI_COLOR_CHANNEL, 1);
	op->GetDataInstance()->SetBool(TW_PI_USE_IDS, true);
	Shader();
	FindParticleMaterial(op)->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, Vector(0.1, 0.2, 0.3));
	doc->ExecutePasses(nullptr, true, true, true, 0);
	AddDyingParticle(Vector(0, 500, 0));

	const std::vector<BaseObject*> made = Render();
	ASSERT_EQ(made.size(), 3u);
	EXPECT_EQ(made[0]->GetRenderMode(), MODE_UNDEF);
	EXPECT_EQ(made[1]->GetRenderMode(), MODE_UNDEF);
	EXPECT_EQ(made[2]->GetRenderMode(), MODE_OFF);
	EXPECT_EQ(made[2]->GetEditorMode(), MODE_OFF);
	ExpectNear(Colour(made[0]), kBlue, "in the frame");
	ExpectNear(Colour(made[1]), kRed, "in the frame");
	ExpectNear(Colour(made[2]), Vector(0.1, 0.2, 0.3), "past the frame");
}

// fault: only the first disc faced the camera (an instance takes its own axes, not the shape's), and
// none did once the importer was turned
TEST_F(ParticleRender, DiscsFaceTheCameraHoweverTheImporterIsTurned)
{
	BaseObject* cam = BaseObject::Alloc(Ocamera);
	cam->SetMl(HPBToMatrix(Vector(0.4, -0.3, 0.0)));
	doc->InsertObject(cam, nullptr, nullptr);
	op->SetMl(HPBToMatrix(Vector(-0.7, 0.2, 0.5)));
	Load({{0, 0, 0, 0}, {1, 0, 0, 0}});
	op->GetDataInstance()->SetInt32(TW_PI_RENDER_SHAPE, TW_PI_RENDER_SHAPE_DISC);
	const std::vector<BaseObject*> made = Render();
	ASSERT_EQ(made.size(), 2u);
	const Vector view = cam->GetMg().v3;
	for (BaseObject* o : made)
	{
		// a disc faces along its Y axis
		Vector normal = op->GetMg().TransformVector(o->GetMl().v2);
		normal = normal / normal.GetLength();
		EXPECT_NEAR(std::fabs(Dot(normal, view)), 1.0, 1e-6);
	}
}

// The picture: each particle's disc in its channel colour where it projects, the dead one nowhere.
TEST_F(ParticleRender, RenderedDiscsShowTheirChannelColoursWhereTheParticlesAre)
{
	BaseObject* cam = BaseObject::Alloc(Ocamera);
	cam->SetRelPos(Vector(0, 0, -500));
	doc->InsertObject(cam, nullptr, nullptr);
	const std::vector<P> particles = {{-1, 0, 0, 0}, {0, 0, 0, 1}, {1, 0, 0, 2}};
	Load(particles);
	BaseContainer* bc = op->GetDataInstance();
	bc->SetInt32(TW_PI_COLOR_CHANNEL, 1);
	bc->SetBool(TW_PI_USE_IDS, true);
	bc->SetInt32(TW_PI_RENDER_SHAPE, TW_PI_RENDER_SHAPE_SIZED_DISC);
	bc->SetFloat(TW_PI_RENDER_SIZE, 15.0);
	Shader();
	doc->ExecutePasses(nullptr, true, true, true, 0);
	const Vector dead_at(0, 60, 0);
	AddDyingParticle(dead_at);

	BaseBitmap* bmp = BaseBitmap::Alloc();
	BaseContainer rd;
	rd.SetFloat(RDATA_XRES, 200);
	rd.SetFloat(RDATA_YRES, 100);
	ASSERT_EQ(RenderDocument(doc, rd, nullptr, nullptr, bmp, RENDERFLAGS_EXTERNAL, nullptr), RENDERRESULT_OK);
	const headless::RenderReport& report = headless::LastRender();
	EXPECT_EQ(report.instances, 2);
	auto pixel = [&](const Vector& at, bool* seen) {
		Float x = -1, y = -1;
		EXPECT_TRUE(report.Project(at, &x, &y));
		*seen = report.SeenAt(static_cast<Int32>(x), static_cast<Int32>(y)) != nullptr;
		UChar c[4] = {};
		bmp->GetPixel(static_cast<Int32>(x), static_cast<Int32>(y), c);
		return Vector(c[0], c[1], c[2]) / 255.0;
	};
	const Vector expected[] = {kBlue, kQuarter, kRed};
	for (size_t i = 0; i < particles.size(); ++i)
	{
		SCOPED_TRACE(i);
		bool seen = false;
		// lit by the default light from the camera, a little off the discs' axis
		const Vector c = pixel(Vector(particles[i].x, particles[i].y, particles[i].z) * 100.0, &seen);
		EXPECT_TRUE(seen);
		EXPECT_NEAR(c.x, expected[i].x, 0.04);
		EXPECT_NEAR(c.y, expected[i].y, 0.04);
		EXPECT_NEAR(c.z, expected[i].z, 0.04);
	}
	bool seen = true;
	EXPECT_EQ(pixel(dead_at, &seen), Vector());
	EXPECT_FALSE(seen) << "a dead particle's disc";
	BaseBitmap::Free(bmp);
}

} // namespace
