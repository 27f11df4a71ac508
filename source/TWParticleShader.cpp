// TWParticleShader.cpp - the particle shader: surfaces coloured from the imported particles.
#include "TWParticleShader.h"

#include "TW_ParticleShader.h"
#include "c4d_raytrace.h"
#include "main.h"
#include "particle_display.h"
#include "particle_render.h"
#include "plugin_ids.h"

Bool TWParticleShader::Init(GeListNode* node)
{
	BaseContainer* bc = static_cast<BaseShader*>(node)->GetDataInstance();
	bc->SetBool(TW_PS_USE_IMPORTER, true);
	bc->SetInt32(TW_PS_CHANNEL, TW_PS_CHANNEL_NONE);
	bc->SetData(TW_PS_GRADIENT, GeData(DefaultParticleGradient()));
	return true;
}

Bool TWParticleShader::GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc)
{
	(void)t_data;
	(void)flags;
	(void)itemdesc;
	if (id == TW_PS_CHANNEL || id == TW_PS_GRADIENT)
		return !static_cast<BaseShader*>(node)->GetDataInstance()->GetBool(TW_PS_USE_IMPORTER);
	return true;
}

INITRENDERRESULT TWParticleShader::InitRender(BaseShader* sh, const InitRenderStruct& irs)
{
	// the colours were computed by the importer; a sample only reads them back
	(void)sh;
	(void)irs;
	return INITRENDERRESULT_OK;
}

void TWParticleShader::FreeRender(BaseShader* sh)
{
	(void)sh;
}

Vector TWParticleShader::Output(BaseShader* sh, ChannelData* cd)
{
	(void)sh;
	if (!cd || !cd->vd || !cd->vd->op)
		return Vector();
	const RayObject* ro = cd->vd->op;
	// a render instance names the instance object, which carries the particle's own colour
	const BaseObject* source = ro->instance && ro->instance->link ? ro->instance->link : ro->link;
	if (!source)
		return Vector();
	return source->GetDataInstance()->GetVector(TW_PARTICLE_COLOUR);
}

Bool RegisterTWParticleShader()
{
	String name = GeLoadString(ID_TW_PARTICLE_SHADER);
	if (!name.IsPopulated())
		return true;
	Bool ok = RegisterShaderPlugin(ID_TW_PARTICLE_SHADER, name, 0, TWParticleShader::Alloc, "TW_ParticleShader", 0);
	return ok;
}
