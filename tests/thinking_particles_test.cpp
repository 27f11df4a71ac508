// thinking_particles_test.cpp - the headless particle engine: aging with the document, the alive bit, channel names.
#include "headless.h"

#include "c4d_particles.h"

#include <gtest/gtest.h>

namespace
{

class ThinkingParticles : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		master = GetThinkingParticlesMaster(doc);
		ASSERT_NE(master, nullptr);
	}
	void TearDown() override
	{
		BaseDocument::Free(doc);
		headless::Reset();
	}
	void PassAt(Float seconds)
	{
		doc->SetTime(BaseTime(seconds));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}
	Int32 Born(Float life_seconds, Float age_seconds = 0.0)
	{
		const Int32 id = master->AllocParticle();
		master->SetLife(id, BaseTime(life_seconds));
		master->SetAge(id, BaseTime(age_seconds));
		return id;
	}

	BaseDocument* doc = nullptr;
	TP_MasterSystem* master = nullptr;
};

TEST_F(ThinkingParticles, ParticlesAgeWithTheDocumentAndDieWhenAgeReachesLife)
{
	PassAt(1.0);
	const Int32 a = Born(0.5), b = Born(2.0, 1.0);
	PassAt(1.25); // a 0.25 of 0.5, b 1.25 of 2
	EXPECT_DOUBLE_EQ(master->Age(a).Get(), 0.25);
	EXPECT_DOUBLE_EQ(master->Age(b).Get(), 1.25);
	EXPECT_TRUE(master->Alive(a) && master->Alive(b));
	PassAt(1.0); // back in time: nobody ages
	EXPECT_DOUBLE_EQ(master->Age(a).Get(), 0.25);
	PassAt(1.25);
	EXPECT_DOUBLE_EQ(master->Age(a).Get(), 0.5);
	EXPECT_FALSE(master->Alive(a)); // exactly at its life
	EXPECT_TRUE(master->Alive(b));
	EXPECT_EQ(master->Life(a).Get(), 0.5); // dead, not yet freed
	PassAt(1.25); // the next pass frees it
	EXPECT_EQ(master->Life(a).Get(), 0.0);
	EXPECT_DOUBLE_EQ(master->Age(b).Get(), 1.5);
}

TEST_F(ThinkingParticles, TheAliveBitChangesOnlyInThePassExceptForANegativeLife)
{
	PassAt(0.0);
	const Int32 a = Born(1.0), b = Born(1.0);
	master->SetLife(a, BaseTime(0.0));
	master->SetAge(b, BaseTime(5.0));
	EXPECT_TRUE(master->Alive(a)); // not asked of the values: the pass decides
	EXPECT_TRUE(master->Alive(b));
	const Int32 c = Born(1.0);
	master->SetLife(c, BaseTime(-1.0));
	EXPECT_FALSE(master->Alive(c)); // killed at once
	PassAt(0.0);
	EXPECT_FALSE(master->Alive(a));
	EXPECT_FALSE(master->Alive(b));
	// a dead particle stays dead whatever life it is given
	master->SetLife(a, BaseTime(100.0));
	PassAt(0.04);
	EXPECT_FALSE(master->Alive(a));
}

TEST_F(ThinkingParticles, NumParticlesCountsAllocatedSlots)
{
	Int32 ids[3];
	ASSERT_EQ(master->AllocParticles(3, ids), 3);
	master->FreeParticle(ids[0]);
	master->FreeParticle(ids[1]);
	EXPECT_EQ(master->NumParticles(), 3);
	for (Int32 id : ids)
		EXPECT_LT(id, master->NumParticles());
	EXPECT_FALSE(master->Alive(ids[0]));
	EXPECT_TRUE(master->Alive(ids[2]));
}

TEST_F(ThinkingParticles, ChannelNamesAreReportedWithTheirType)
{
	EXPECT_TRUE(master->AddDataChannel(DTYPE_VECTOR, String("force")));
	EXPECT_TRUE(master->AddDataChannel(DTYPE_LONG, String("id")));
	EXPECT_TRUE(master->AddDataChannel(DTYPE_REAL, String("density")));
	EXPECT_TRUE(master->AddDataChannel(DTYPE_BOOL, String("wet")));
	EXPECT_FALSE(master->AddDataChannel(DTYPE_STRING, String("label")));
	ASSERT_EQ(master->NumDataChannels(), 4);
	EXPECT_EQ(master->GetDataChannelName(0).Get(), "force(Vector)");
	EXPECT_EQ(master->GetDataChannelName(1).Get(), "id(Integer)");
	EXPECT_EQ(master->GetDataChannelName(2).Get(), "density(Float)");
	EXPECT_EQ(master->GetDataChannelName(3).Get(), "wet(Bool)");
	EXPECT_EQ(master->GetDataChannelNumber(String("density")), 2);
	EXPECT_EQ(master->GetDataChannelNumber(String("density(Float)")), 2);
	EXPECT_EQ(master->GetDataChannelNumber(String("density(Vector)")), -1);
}

TEST_F(ThinkingParticles, ANewParticleStartsFromTheDefaultsWhateverItsSlotHeld)
{
	Int32 ids[2];
	ASSERT_EQ(master->AllocParticles(2, ids), 2);
	for (Int32 id : ids)
	{
		master->SetLife(id, BaseTime(9.0));
		master->SetAge(id, BaseTime(3.0));
		master->SetMass(id, 4.0);
		master->SetPosition(id, Vector(1, 2, 3));
		master->SetVelocity(id, Vector(4, 5, 6));
		master->FreeParticle(id);
	}
	const Int32 one = master->AllocParticle();
	Int32 two = -1;
	ASSERT_EQ(master->AllocParticles(1, &two), 1);
	for (Int32 id : {one, two})
	{
		EXPECT_EQ(master->Life(id).Get(), 0.0);
		EXPECT_EQ(master->Age(id).Get(), 0.0);
		EXPECT_EQ(master->Mass(id), 1.0);
		EXPECT_EQ(master->Position(id), Vector());
		EXPECT_EQ(master->Velocity(id), Vector());
		EXPECT_EQ(master->Group(id), nullptr);
	}
	// an unset life of 0 ends at the first pass; a life set later keeps it
	master->SetLife(two, BaseTime(1.0));
	PassAt(0.0);
	EXPECT_FALSE(master->Alive(one));
	EXPECT_TRUE(master->Alive(two));
	EXPECT_EQ(master->Mass(two), 1.0);
}

} // namespace
