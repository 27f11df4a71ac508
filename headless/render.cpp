// render.cpp - the headless renderer. (Placeholder: the renderer is being built.)
#include "host_state.h"

#include "c4d_material.h"
#include "c4d_plugin.h"

struct VolumeData::Render
{
};

VolumeData* VolumeData::Alloc()
{
	return new VolumeData();
}

void VolumeData::Free(VolumeData*& vd)
{
	delete vd;
	vd = nullptr;
}

void VolumeData::CopyTo(VolumeData* dst) const
{
	if (dst && dst != this)
		*dst = *this;
}

Int32 VolumeData::GetObjCount() const
{
	return 0;
}

const RayObject* VolumeData::GetObj(Int32 i) const
{
	(void)i;
	return nullptr;
}

Bool VolumeData::GetWeights(const RayHitID& hit, const Vector& point, RayPolyWeight* wgt) const
{
	(void)hit;
	(void)point;
	(void)wgt;
	return false;
}

Vector VolumeData::Illuminate(const Vector& point, const Vector& normal) const
{
	(void)point;
	(void)normal;
	return Vector(1.0, 1.0, 1.0);
}

INITRENDERRESULT headless::StandardInitRender(BaseMaterial* mat, const InitRenderStruct& irs)
{
	(void)mat;
	(void)irs;
	return INITRENDERRESULT_OK;
}

void headless::StandardFreeRender(BaseMaterial* mat)
{
	(void)mat;
}

void headless::StandardSurface(BaseMaterial* mat, VolumeData* vd)
{
	(void)mat;
	vd->col = Vector();
}

RENDERRESULT RenderDocument(BaseDocument* doc, const BaseContainer& rdata, ProgressHook prog, void* private_data,
	BaseBitmap* bmp, Int32 renderflags, BaseThread* th)
{
	(void)doc;
	(void)rdata;
	(void)prog;
	(void)private_data;
	(void)bmp;
	(void)renderflags;
	(void)th;
	return RENDERRESULT_OUTOFMEMORY;
}

BaseDraw* BaseDocument::GetActiveBaseDraw()
{
	return nullptr;
}

BaseDraw* BaseDocument::GetRenderBaseDraw()
{
	return nullptr;
}

namespace
{
headless::RenderReport g_report;
}

const headless::RenderReport& headless::LastRender()
{
	return g_report;
}

bool headless::RenderReport::Project(const Vector& global, Float* x, Float* y) const
{
	(void)global;
	(void)x;
	(void)y;
	return false;
}

const BaseObject* headless::RenderReport::SeenAt(Int32 x, Int32 y) const
{
	if (x < 0 || y < 0 || x >= width || y >= height)
		return nullptr;
	return seen[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}
