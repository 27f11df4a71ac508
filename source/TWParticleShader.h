// TWParticleShader.h - the particle shader: surfaces coloured from the imported particles.
#pragma once

#include "c4d.h"

class TWParticleShader : public ShaderData
{
public:
	static NodeData* Alloc() { return new TWParticleShader(); }

	Bool Init(GeListNode* node) override;
	Bool GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc) override;
	INITRENDERRESULT InitRender(BaseShader* sh, const InitRenderStruct& irs) override;
	void FreeRender(BaseShader* sh) override;
	// The colour the importer stored on the object behind the sample; black without one.
	Vector Output(BaseShader* sh, ChannelData* cd) override;
};
