// particle_material.cpp - the material that gives a Particle Importer's render instances their colours.
#include "particle_material.h"

#include "plugin_ids.h"

namespace
{

const BaseList2D* ColourLink(const BaseMaterial* mat)
{
	return mat ? mat->GetDataInstance()->GetLink(MATERIAL_COLOR_SHADER, mat->GetDocument()) : nullptr;
}

} // namespace

BaseMaterial* FindParticleMaterial(const BaseObject* op)
{
	if (!op)
		return nullptr;
	BaseMaterial* found = nullptr;
	for (const BaseTag* t = op->GetFirstTag(); t; t = t->GetNext())
	{
		const TextureTag* tag = t->GetType() == Ttexture ? dynamic_cast<const TextureTag*>(t) : nullptr;
		BaseMaterial* mat = tag ? tag->GetMaterial() : nullptr;
		const BaseList2D* shader = ColourLink(mat);
		// the last tag wins, as the last material on an object is the one that shows
		if (shader && shader->GetType() == ID_TW_PARTICLE_SHADER)
			found = mat;
	}
	return found;
}

BaseShader* ParticleShaderOf(const BaseMaterial* mat)
{
	const BaseList2D* link = ColourLink(mat);
	if (!link || !link->IsInstanceOf(Xbase))
		return nullptr;
	return const_cast<BaseShader*>(static_cast<const BaseShader*>(link));
}

void CreateParticleMaterial(BaseObject* op)
{
	if (!op || FindParticleMaterial(op))
		return;
	// The tag links the material within the object's document: that is where both must live. An
	// object in no document yet equips the active one.
	BaseDocument* doc = op->GetDocument();
	if (!doc)
		doc = GetActiveDocument();
	if (!doc)
		return;
	BaseShader* shader = BaseShader::Alloc(ID_TW_PARTICLE_SHADER);
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	TextureTag* tag = shader && mat ? static_cast<TextureTag*>(op->MakeTag(Ttexture)) : nullptr;
	if (!tag)
	{
		BaseShader::Free(shader);
		BaseMaterial::Free(mat);
		return;
	}
	mat->SetName(String("TW Particle Material"));
	mat->GetDataInstance()->SetLink(MATERIAL_COLOR_SHADER, shader);
	doc->InsertShader(shader);
	doc->InsertMaterial(mat);
	tag->SetMaterial(mat);
}
