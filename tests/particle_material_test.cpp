// particle_material_test.cpp - the particle shader's colours and settings, and the material the
// Particle Importer's button makes for it.
#include "host_test.h"

#include "TW_ParticleShader.h"
#include "TW_Particle_Importer.h"
#include "c4d_material.h"
#include "c4d_raytrace.h"
#include "particle_display.h"
#include "particle_material.h"
#include "particle_render.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class ParticleMaterial : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
	}
	int Count(Int32 tag_type) const
	{
		int n = 0;
		for (BaseTag* t = op->GetFirstTag(); t; t = t->GetNext())
			n += t->GetType() == tag_type;
		return n;
	}
	int Materials() const
	{
		int n = 0;
		for (BaseMaterial* m = doc->GetFirstMaterial(); m; m = m->GetNext())
			++n;
		return n;
	}
	int Shaders() const
	{
		int n = 0;
		for (BaseShader* s = doc->GetFirstShader(); s; s = s->GetNext())
			++n;
		return n;
	}
	TextureTag* AddTextureTag(BaseMaterial* mat)
	{
		TextureTag* tag = static_cast<TextureTag*>(op->MakeTag(Ttexture));
		tag->SetMaterial(mat);
		return tag;
	}

	BaseObject* op = nullptr;
};

TEST_F(ParticleMaterial, TheButtonMakesOneShaderMaterialAndTagHoweverOftenPressed)
{
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	EXPECT_EQ(Materials(), 1);
	EXPECT_EQ(Shaders(), 1);
	ASSERT_EQ(Count(Ttexture), 1);

	BaseMaterial* mat = FindParticleMaterial(op);
	ASSERT_NE(mat, nullptr);
	EXPECT_EQ(mat, doc->GetFirstMaterial());
	EXPECT_EQ(mat->GetType(), Mmaterial);
	EXPECT_EQ(mat->GetName(), String("TW Particle Material"));
	EXPECT_EQ(static_cast<TextureTag*>(op->GetTag(Ttexture))->GetMaterial(), mat);
	BaseShader* shader = ParticleShaderOf(mat);
	ASSERT_NE(shader, nullptr);
	EXPECT_EQ(shader, doc->GetFirstShader());
	EXPECT_EQ(shader->GetType(), ID_TW_PARTICLE_SHADER);
}

TEST_F(ParticleMaterial, AnotherMaterialOnTheObjectGetsASecondTagBesideIt)
{
	BaseMaterial* plain = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(plain);
	TextureTag* first = AddTextureTag(plain);
	EXPECT_EQ(FindParticleMaterial(op), nullptr);

	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	ASSERT_EQ(Count(Ttexture), 2);
	EXPECT_EQ(op->GetFirstTag(), first) << "the new tag goes after the object's last";
	EXPECT_EQ(first->GetMaterial(), plain);
	EXPECT_EQ(static_cast<TextureTag*>(op->GetTag(Ttexture, 1))->GetMaterial(), FindParticleMaterial(op));
	EXPECT_EQ(Materials(), 2);
}

TEST_F(ParticleMaterial, TheLastTagWithAParticleShaderIsTheObjectsMaterial)
{
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	BaseMaterial* made = FindParticleMaterial(op);
	BaseMaterial* later = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(later);
	BaseShader* shader = BaseShader::Alloc(ID_TW_PARTICLE_SHADER);
	doc->InsertShader(shader);
	later->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, shader);
	AddTextureTag(later);
	EXPECT_EQ(FindParticleMaterial(op), later);

	// a tag after it whose material links no particle shader changes nothing
	BaseMaterial* plain = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(plain);
	AddTextureTag(plain);
	EXPECT_EQ(FindParticleMaterial(op), later);
	EXPECT_NE(made, later);

	// the colour link must name a shader for the material's shader to be taken
	plain->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, op);
	EXPECT_EQ(ParticleShaderOf(plain), nullptr);
	EXPECT_EQ(ParticleShaderOf(nullptr), nullptr);
}

TEST_F(ParticleMaterial, ARefusedTagMakesNothing)
{
	headless::RefuseTagAllocation(Ttexture);
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	headless::RefuseTagAllocation(0);
	EXPECT_EQ(Materials(), 0);
	EXPECT_EQ(Shaders(), 0);
	EXPECT_EQ(Count(Ttexture), 0);
}

TEST_F(ParticleMaterial, TheShadersSettingsAndTheirEnabling)
{
	BaseShader* shader = BaseShader::Alloc(ID_TW_PARTICLE_SHADER);
	ASSERT_NE(shader, nullptr);
	doc->InsertShader(shader);
	const BaseContainer* bc = shader->GetDataInstance();
	EXPECT_TRUE(bc->GetBool(TW_PS_USE_IMPORTER));
	EXPECT_EQ(bc->GetInt32(TW_PS_CHANNEL, -1), 0);
	ASSERT_NE(bc->GetData(TW_PS_GRADIENT).GetGradient(), nullptr);
	EXPECT_TRUE(*bc->GetData(TW_PS_GRADIENT).GetGradient() == DefaultParticleGradient());

	EXPECT_FALSE(headless::IsEnabled(shader, TW_PS_CHANNEL));
	EXPECT_FALSE(headless::IsEnabled(shader, TW_PS_GRADIENT));
	EXPECT_TRUE(headless::IsEnabled(shader, TW_PS_USE_IMPORTER));
	headless::UserSetParameter(shader, TW_PS_USE_IMPORTER, GeData(false));
	EXPECT_TRUE(headless::IsEnabled(shader, TW_PS_CHANNEL));
	EXPECT_TRUE(headless::IsEnabled(shader, TW_PS_GRADIENT));

	// the channel choice offers every display channel, "none" first
	for (const DescElement& e : headless::GetDescription(shader))
		if (e.id == TW_PS_CHANNEL)
		{
			ASSERT_EQ(e.cycle.size(), 15u);
			EXPECT_EQ(e.cycle.front().first, 0);
			EXPECT_EQ(e.cycle.back().first, 14);
		}
}

TEST_F(ParticleMaterial, OutputIsTheColourOfTheObjectBehindTheSample)
{
	BaseShader* shader = BaseShader::Alloc(ID_TW_PARTICLE_SHADER);
	ASSERT_NE(shader, nullptr);
	doc->InsertShader(shader);
	BaseObject* shape = BaseObject::Alloc(Odisc);
	BaseObject* instance = BaseObject::Alloc(Oinstance);
	BaseObject* bare = BaseObject::Alloc(Onull);
	shape->GetDataInstance()->SetVector(TW_PARTICLE_COLOUR, Vector(0.1, 0.2, 0.3));
	instance->GetDataInstance()->SetVector(TW_PARTICLE_COLOUR, Vector(0.7, 0.6, 0.5));
	RayObjectInstanceData of_instance, of_nothing;
	of_instance.link = instance;

	struct Case
	{
		const char* what;
		bool has_vd, has_op;
		BaseObject* link;
		const RayObjectInstanceData* record;
		Vector expected;
	} cases[] = {
		{"no sample", false, false, shape, nullptr, Vector()},
		{"no ray object", true, false, shape, nullptr, Vector()},
		{"no object behind it", true, true, nullptr, nullptr, Vector()},
		{"the object's colour", true, true, shape, nullptr, Vector(0.1, 0.2, 0.3)},
		{"the instance record's object wins", true, true, shape, &of_instance, Vector(0.7, 0.6, 0.5)},
		{"a record naming nothing", true, true, shape, &of_nothing, Vector(0.1, 0.2, 0.3)},
		{"an object without a colour", true, true, bare, nullptr, Vector()},
	};
	VolumeData* vd = VolumeData::Alloc();
	for (const Case& c : cases)
	{
		RayObject ro;
		ro.link = c.link;
		ro.instance = c.record;
		vd->op = c.has_op ? &ro : nullptr;
		ChannelData cd;
		cd.vd = c.has_vd ? vd : nullptr;
		EXPECT_EQ(shader->Sample(&cd), c.expected) << c.what;
	}
	VolumeData::Free(vd);
	BaseObject::Free(shape);
	BaseObject::Free(instance);
	BaseObject::Free(bare);
}

} // namespace
