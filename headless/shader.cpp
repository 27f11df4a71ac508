// shader.cpp - shaders and shader lists, texture tags, and the render calls of materials.
#include "host_state.h"

#include "c4d_material.h"
#include "c4d_plugin.h"

BaseShader* BaseShader::Alloc(Int32 type)
{
	const headless::Registration* reg = headless::FindRegistration(type);
	if (!reg || reg->kind != headless::KIND_SHADER)
		return nullptr;
	BaseShader* sh = new BaseShader(type);
	if (!sh->AttachNodeData())
	{
		delete sh;
		return nullptr;
	}
	return sh;
}

void BaseShader::Free(BaseShader*& sh)
{
	if (!sh)
		return;
	sh->Remove();
	delete sh;
	sh = nullptr;
}

void BaseShader::Remove()
{
	if (_owner && _owner->_first_shader == this)
		_owner->_first_shader = GetNext();
	if (_pred)
		_pred->_next = _next;
	if (_next)
		_next->_pred = _pred;
	_pred = _next = nullptr;
	_owner = nullptr;
	_doc = nullptr;
}

BaseShader::~BaseShader()
{
	Remove();
}

INITRENDERRESULT BaseShader::InitRender(const InitRenderStruct& irs)
{
	ShaderData* data = dynamic_cast<ShaderData*>(GetNodeData());
	return data ? data->InitRender(this, irs) : INITRENDERRESULT_OK;
}

void BaseShader::FreeRender()
{
	if (ShaderData* data = dynamic_cast<ShaderData*>(GetNodeData()))
		data->FreeRender(this);
}

Vector BaseShader::Sample(ChannelData* cd)
{
	ShaderData* data = dynamic_cast<ShaderData*>(GetNodeData());
	return data && cd ? data->Output(this, cd) : Vector();
}

void BaseList2D::InsertShader(BaseShader* shader, BaseShader* pred)
{
	if (!shader || shader == this)
		return;
	shader->Remove();
	shader->_owner = this;
	shader->_doc = dynamic_cast<BaseDocument*>(this) ? static_cast<BaseDocument*>(this) : _doc;
	if (pred && pred->_owner == this)
	{
		shader->_pred = pred;
		shader->_next = pred->_next;
		if (shader->_next)
			shader->_next->_pred = shader;
		pred->_next = shader;
		return;
	}
	shader->_next = _first_shader;
	if (_first_shader)
		_first_shader->_pred = shader;
	_first_shader = shader;
}

void headless::FreeShaders(BaseList2D* node)
{
	while (BaseShader* sh = node->GetFirstShader())
		BaseShader::Free(sh);
}

BaseMaterial* TextureTag::GetMaterial() const
{
	return dynamic_cast<BaseMaterial*>(_bc.GetLink(TEXTURETAG_MATERIAL, GetDocument()));
}

void TextureTag::SetMaterial(BaseMaterial* mat)
{
	_bc.SetLink(TEXTURETAG_MATERIAL, mat);
}

// --- materials while rendering: a plug-in material answers through its MaterialData; the standard
// material is the renderer's own (render.cpp).

namespace
{

MaterialData* PluginOf(BaseMaterial* mat)
{
	return dynamic_cast<MaterialData*>(mat->GetNodeData());
}

} // namespace

INITRENDERRESULT BaseMaterial::InitRender(const InitRenderStruct& irs)
{
	if (MaterialData* data = PluginOf(this))
		return data->InitRender(this, irs);
	return headless::StandardInitRender(this, irs);
}

void BaseMaterial::FreeRender()
{
	if (MaterialData* data = PluginOf(this))
		data->FreeRender(this);
	else
		headless::StandardFreeRender(this);
}

Int32 BaseMaterial::GetRenderInfo()
{
	MaterialData* data = PluginOf(this);
	return data ? data->GetRenderInfo(this) : 0;
}

void BaseMaterial::InitCalculation(VolumeData* vd, INITCALCULATION type)
{
	if (MaterialData* data = PluginOf(this))
		data->InitCalculation(this, vd, type);
}

void BaseMaterial::CalcSurface(VolumeData* vd)
{
	if (!vd)
		return;
	if (MaterialData* data = PluginOf(this))
		data->CalcSurface(this, vd);
	else
		headless::StandardSurface(this, vd);
}

void BaseMaterial::CalcTransparency(VolumeData* vd)
{
	if (!vd)
		return;
	if (MaterialData* data = PluginOf(this))
		data->CalcTransparency(this, vd);
	else
		vd->trans = Vector();
}

void BaseMaterial::CalcAlpha(VolumeData* vd)
{
	if (!vd)
		return;
	if (MaterialData* data = PluginOf(this))
		data->CalcAlpha(this, vd);
}

void BaseMaterial::CalcVolumetric(VolumeData* vd)
{
	if (!vd)
		return;
	if (MaterialData* data = PluginOf(this))
		data->CalcVolumetric(this, vd);
}
