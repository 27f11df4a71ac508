// host_emitter_test.cpp - the standard emitter: births, deaths and state bits, motion, independence of the path of time.
#include "headless.h"

#include "c4d_animation.h"
#include "c4d_particleobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

class Emitter : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		op = static_cast<ParticleObject*>(BaseObject::Alloc(Oparticle));
		ASSERT_NE(op, nullptr);
		doc->InsertObject(op, nullptr, nullptr);
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 2.0);
		bc->SetFloat(PARTICLEOBJECT_SPEED, 100.0);
		bc->SetTime(PARTICLEOBJECT_START, BaseTime(0, 25));
		bc->SetTime(PARTICLEOBJECT_STOP, BaseTime(10, 25));
		bc->SetTime(PARTICLEOBJECT_LIFETIME, BaseTime(5, 25));
	}
	void TearDown() override
	{
		BaseDocument::Free(doc);
		headless::Reset();
	}
	void At(Float frame)
	{
		doc->SetTime(BaseTime(frame, 25));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	std::vector<Particle> Particles() const
	{
		std::vector<Particle> out;
		const BaseTag* tag = op->GetTag(Tparticle);
		for (Int32 i = 0; i < op->GetParticleCount(); ++i)
			out.push_back(*op->GetParticleR(tag, i));
		return out;
	}

	BaseDocument* doc = nullptr;
	ParticleObject* op = nullptr;
};

bool Same(const std::vector<Particle>& a, const std::vector<Particle>& b)
{
	if (a.size() != b.size())
		return false;
	for (size_t i = 0; i < a.size(); ++i)
		if (!(a[i].off == b[i].off) || !(a[i].v3 == b[i].v3) || a[i].t != b[i].t || a[i].bits != b[i].bits)
			return false;
	return true;
}

TEST_F(Emitter, BirthsDeathsAndBitsFollowRateLifetimeAndStopFrame)
{
	// frame, particles listed, living ones: two born per frame 0..10, each living 5 frames
	const struct
	{
		Float frame;
		Int32 listed, alive;
	} cases[] = {{-1, 0, 0}, {0, 2, 2}, {3, 8, 8}, {4, 10, 10}, {5, 12, 10}, {10, 22, 10}, {12, 22, 6}, {15, 22, 0}, {40, 22, 0}};
	for (const auto& c : cases)
	{
		At(c.frame);
		const std::vector<Particle> ps = Particles();
		ASSERT_EQ(static_cast<Int32>(ps.size()), c.listed) << "frame " << c.frame;
		Int32 alive = 0;
		for (const Particle& p : ps)
		{
			EXPECT_TRUE(p.bits == (PARTICLEFLAGS_VISIBLE | PARTICLEFLAGS_ALIVE) || p.bits == 0);
			alive += p.bits != 0;
		}
		EXPECT_EQ(alive, c.alive) << "frame " << c.frame;
	}
	// the oldest die first, and a dead particle stays where its life ended
	At(7);
	const std::vector<Particle> ps = Particles();
	EXPECT_EQ(ps[0].bits, 0);
	EXPECT_EQ(ps[5].bits, 0); // born at frame 2, dead at 7
	EXPECT_NE(ps[6].bits, 0);
	EXPECT_NEAR(ps[0].off.z, 100.0 * 5 / 25, 1e-9);
	EXPECT_NEAR(ps[0].t.Get(), 5.0 / 25, 1e-9);
	Float dist = 0, speed = 0;
	EXPECT_NEAR(op->GetParticleDetails(doc, 0, &dist, &speed).Get(), 5.0 / 25, 1e-9);
	EXPECT_NEAR(dist, 100.0 * 5 / 25, 1e-9);
	EXPECT_EQ(speed, 100.0);
	EXPECT_EQ(op->GetParticleDetails(doc, 99, &dist).Get(), 0.0); // no such particle
	EXPECT_EQ(dist, 0.0);
	// a fractional rate: 0.5 per frame is one particle every second frame
	op->GetDataInstance()->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 0.5);
	At(3);
	EXPECT_EQ(op->GetParticleCount(), 2);
	// the emitter's own lifetime, before any particle is born
	At(-5);
	EXPECT_NEAR(op->GetParticleDetails(doc).Get(), 5.0 / 25, 1e-9);
}

TEST_F(Emitter, ParticlesMoveAlongTheEmittersZAxisWithTheirAge)
{
	// an emitter at (10, 20, 30) turned so that its Z axis points along world X, and scaled by 3
	op->SetMl(Matrix(Vector(10, 20, 30), Vector(0, 0, -3), Vector(0, 3, 0), Vector(3, 0, 0)));
	At(2.5);
	const std::vector<Particle> ps = Particles();
	ASSERT_EQ(ps.size(), 6u);
	for (size_t i = 0; i < ps.size(); ++i)
	{
		const Float age = (2.5 - static_cast<Float>(i / 2)) / 25.0;
		EXPECT_NEAR(ps[i].t.Get(), age, 1e-9);
		EXPECT_NEAR((ps[i].v3 - Vector(100, 0, 0)).GetLength(), 0.0, 1e-9); // speed is not scaled
		EXPECT_NEAR((ps[i].off - Vector(10 + 100 * age, 20, 30)).GetLength(), 0.0, 1e-9);
	}
}

TEST_F(Emitter, AMovingEmitterLeavesATrail)
{
	// keyed along x from 0 at frame 0 to 100 at frame 10, under a parent raised by 7
	BaseObject* parent = BaseObject::Alloc(Onull);
	doc->InsertObject(parent, nullptr, nullptr);
	parent->SetMl(Matrix(Vector(0, 7, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
	doc->InsertObject(op, parent, nullptr);
	const DescID x(DescLevel(ID_BASEOBJECT_REL_POSITION, DTYPE_VECTOR, 0), DescLevel(VECTOR_X, DTYPE_REAL, 0));
	CTrack* track = CTrack::Alloc(op, x);
	op->InsertTrackSorted(track);
	track->GetCurve()->AddKey(BaseTime(0, 25))->SetValue(track->GetCurve(), 0.0);
	track->GetCurve()->AddKey(BaseTime(10, 25))->SetValue(track->GetCurve(), 100.0);
	op->GetDataInstance()->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 1.0);
	op->GetDataInstance()->SetTime(PARTICLEOBJECT_LIFETIME, BaseTime(100, 25));
	At(3);
	At(10);
	const std::vector<Particle> ps = Particles();
	ASSERT_EQ(ps.size(), 11u);
	for (size_t k = 0; k < ps.size(); ++k)
		EXPECT_NEAR((ps[k].off - Vector(10.0 * k, 7, 100.0 * (10 - k) / 25)).GetLength(), 0.0, 1e-9) << k;
}

TEST_F(Emitter, AnyPathOfTimeGivesTheSameParticles)
{
	BaseContainer* bc = op->GetDataInstance();
	bc->SetFloat(PARTICLEOBJECT_SPEEDVAR, 0.5);
	bc->SetFloat(PARTICLEOBJECT_LIFETIMEVAR, 0.5);
	bc->SetInt32(PARTICLEOBJECT_SEED, 7);
	bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 3.7);
	At(9);
	const std::vector<Particle> direct = Particles();
	ASSERT_EQ(direct.size(), 37u);
	// forwards frame by frame, from the far end backwards, and by a jump past the end and back
	for (const std::vector<Float>& path : {std::vector<Float>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, std::vector<Float>{20, 15, 9},
			 std::vector<Float>{100, 0.5, 9}})
	{
		for (Float f : path)
			At(f);
		EXPECT_TRUE(Same(Particles(), direct));
	}
	// the variations are real: speeds differ, and a copy of the document evaluates alike
	Float lo = 1e9, hi = 0;
	for (const Particle& p : direct)
	{
		lo = std::min(lo, p.v3.GetLength());
		hi = std::max(hi, p.v3.GetLength());
	}
	EXPECT_GE(lo, 50.0);
	EXPECT_LE(hi, 150.0);
	EXPECT_GT(hi - lo, 10.0);
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	loaded->SetTime(BaseTime(9, 25));
	loaded->ExecutePasses(nullptr, true, true, true, 0);
	ParticleObject* again = static_cast<ParticleObject*>(loaded->GetFirstObject());
	ASSERT_EQ(again->GetParticleCount(), 37);
	EXPECT_EQ(again->GetParticleR(again->GetTag(Tparticle), 36)->off, direct[36].off);
	BaseDocument::Free(loaded);
}

TEST_F(Emitter, AHostileBirthRateIsCappedAndForeignTagsReadNothing)
{
	op->GetDataInstance()->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 1e30);
	At(0);
	EXPECT_EQ(op->GetParticleCount(), 1000000);
	op->GetDataInstance()->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, std::nan(""));
	At(0);
	EXPECT_EQ(op->GetParticleCount(), 0);
	op->GetDataInstance()->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 1.0);
	At(0);
	BaseObject* other = BaseObject::Alloc(Oparticle);
	EXPECT_EQ(op->GetParticleR(other->GetTag(Tparticle), 0), nullptr);
	EXPECT_EQ(op->GetParticleR(op->GetTag(Tparticle), 1), nullptr);
	EXPECT_NE(op->GetParticleR(op->GetTag(Tparticle), 0), nullptr);
	BaseObject::Free(other);
}

} // namespace
