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
	template <typename T>
	static int Length(const T* first)
	{
		int n = 0;
		for (; first; first = first->GetNext())
			++n;
		return n;
	}
	int Materials() const { return Length(doc->GetFirstMaterial()); }
	int Shaders() const { return Length(doc->GetFirstShader()); }
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
	ASSERT_EQ(mat, doc->GetFirstMaterial());
	EXPECT_EQ(mat->GetName(), String("TW Particle Material"));
	EXPECT_EQ(static_cast<TextureTag*>(op->GetTag(Ttexture))->GetMaterial(), mat);
	EXPECT_EQ(ParticleShaderOf(mat), doc->GetFirstShader());
}

TEST_F(ParticleMaterial, AnotherMaterialGetsASecondTagAndTheLastParticleMaterialCounts)
{
	BaseMaterial* plain = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(plain);
	TextureTag* first = AddTextureTag(plain);
	EXPECT_EQ(FindParticleMaterial(op), nullptr);
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	ASSERT_EQ(Count(Ttexture), 2);
	EXPECT_EQ(op->GetFirstTag(), first) << "the new tag goes after the object's last";
	EXPECT_EQ(static_cast<TextureTag*>(op->GetTag(Ttexture, 1))->GetMaterial(), FindParticleMaterial(op));

	// a later tag with a particle shader wins; one without changes nothing
	BaseMaterial* later = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(later);
	BaseShader* shader = BaseShader::Alloc(ID_TW_PARTICLE_SHADER);
	doc->InsertShader(shader);
	later->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, shader);
	AddTextureTag(later);
	AddTextureTag(plain);
	EXPECT_EQ(FindParticleMaterial(op), later);
	// the colour link must name a shader
	plain->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, op);
	EXPECT_EQ(ParticleShaderOf(plain), nullptr);
}

TEST_F(ParticleMaterial, TheMaterialGoesToTheObjectsOwnDocument)
{
	BaseDocument* other = BaseDocument::Alloc();
	BaseObject* there = BaseObject::Alloc(TW_Particle_Importer);
	other->InsertObject(there, nullptr, nullptr);
	headless::PressButton(there, TW_PI_CREATE_MATERIAL);
	EXPECT_EQ(Materials(), 0) << "not into the active document";
	EXPECT_EQ(Length(other->GetFirstMaterial()), 1);
	EXPECT_EQ(Length(other->GetFirstShader()), 1);
	EXPECT_EQ(FindParticleMaterial(there), other->GetFirstMaterial());
	BaseDocument::Free(other);
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
	const Gradient* ramp = bc->GetData(TW_PS_GRADIENT).GetGradient();
	EXPECT_TRUE(ramp && *ramp == DefaultParticleGradient());
	for (bool own : {false, true})
	{
		headless::UserSetParameter(shader, TW_PS_USE_IMPORTER, GeData(!own));
		EXPECT_EQ(headless::IsEnabled(shader, TW_PS_CHANNEL), own);
		EXPECT_EQ(headless::IsEnabled(shader, TW_PS_GRADIENT), own);
	}

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
