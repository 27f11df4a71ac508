// TWMeltMaterial.cpp - the melt material: a mesh of several fluids shaded by one material per fluid,
// each scaled by the fluid's weight.
#include "TWMeltMaterial.h"

#include "TW_MeltMaterial.h"
#include "console.h"
#include "main.h"
#include "plugin_ids.h"

#include <cstring>

namespace
{

// The preview's render option the material switches on before it renders its preview.
constexpr Int32 PREVIEW_RENDER_OPTION = 5002;
constexpr Int32 PREVIEW_OBJECT_FLAGS = 0x20;

// The object's name as the console lines quote it: at most 255 bytes.
void ObjectName(const BaseObject* op, char* out, size_t size)
{
	std::snprintf(out, size, "%s", op ? op->GetName().Get().c_str() : "");
}

} // namespace

Bool TWMeltMaterial::Init(GeListNode* node)
{
	BaseMaterial* mat = static_cast<BaseMaterial*>(node);
	_weight_exponent = 0.0;
	_objects.clear();
	mat->GetDataInstance()->SetFloat(TW_MELT_SHARPNESS, 0.0);
	return true;
}

INITRENDERRESULT TWMeltMaterial::InitRender(BaseMaterial* mat, const InitRenderStruct& irs)
{
	BaseContainer* bc = mat->GetDataInstance();
	_weight_exponent = 1.0 - bc->GetFloat(TW_MELT_SHARPNESS);
	const Bool report = bc->GetBool(TW_MELT_REPORT);
	const Int32 count = irs.vd ? irs.vd->GetObjCount() : 0;
	_objects.reserve(static_cast<size_t>(count));
	for (Int32 i = 0; i < count; ++i)
	{
		const RayObject* ro = irs.vd->GetObj(i);
		if (!ro || !ro->link)
			continue;
		std::unique_ptr<MeltSlots> slots(new (std::nothrow) MeltSlots());
		if (!slots)
			continue;
		MeltCollect(ro, mat, slots.get());
		if (report)
		{
			char name[256];
			ObjectName(ro->link, name, sizeof(name));
			if (slots->material_count == 0)
				PrintConsole("[ERROR] TW MeltMaterial | %s has no materials. Please add a material to each particle sequence!", name);
			if (slots->weight_count == 0)
				PrintConsole("[ERROR] TW MeltMaterial | %s has no weight map. Please enable Weights channel!", name);
		}
		_objects[ro] = std::move(slots);
	}
	bc->SetBool(TW_MELT_REPORT, false);
	return INITRENDERRESULT_OK;
}

void TWMeltMaterial::FreeRender(BaseMaterial* mat)
{
	(void)mat;
	_objects.clear();
}

Int32 TWMeltMaterial::GetRenderInfo(BaseMaterial* mat)
{
	(void)mat;
	Int32 info = 0;
	for (const auto& entry : _objects)
		if (entry.second)
			for (Int32 k = 0; k < MELT_SLOT_COUNT; ++k)
				if (BaseMaterial* m = entry.second->materials[k])
					info |= m->GetRenderInfo();
	return info;
}

const MeltSlots* TWMeltMaterial::SlotsOf(const VolumeData* vd) const
{
	if (!vd || !vd->op)
		return nullptr;
	auto it = _objects.find(vd->op);
	return it != _objects.end() ? it->second.get() : nullptr;
}

void TWMeltMaterial::InitCalculation(BaseMaterial* mat, VolumeData* vd, INITCALCULATION type)
{
	(void)mat;
	if (const MeltSlots* slots = SlotsOf(vd))
		for (Int32 k = 0; k < MELT_SLOT_COUNT; ++k)
			if (BaseMaterial* m = slots->materials[k])
				m->InitCalculation(vd, type);
}

template <typename Request, typename Add>
void TWMeltMaterial::Blend(VolumeData* vd, Request request, Add add) const
{
	const MeltSlots* slots = SlotsOf(vd);
	if (!slots)
		return;
	RayPolyWeight bary;
	CPolygon poly;
	const RayObject* ro = vd->op;
	const Int32 p = vd->lhit.GetPolygon();
	const Bool on_polygon = ro->vadr && p >= 0 && p < ro->vcnt && vd->GetWeights(vd->lhit, vd->p, &bary);
	if (on_polygon)
		poly = ro->vadr[p];
	const Float32 exponent = static_cast<Float32>(_weight_exponent);
	VolumeData* copy = nullptr;
	for (Int32 k = 0; k < MELT_SLOT_COUNT; ++k)
	{
		BaseMaterial* m = slots->materials[k];
		if (!m)
			continue;
		if (!copy && !(copy = VolumeData::Alloc()))
			return;
		vd->CopyTo(copy);
		request(m, copy);
		const Float w = on_polygon ? MeltWeight(slots->weights[k], poly, bary, exponent) : 0.0;
		add(w, copy);
	}
	VolumeData::Free(copy);
}

void TWMeltMaterial::CalcSurface(BaseMaterial* mat, VolumeData* vd)
{
	(void)mat;
	Blend(vd, [](BaseMaterial* m, VolumeData* c) { m->CalcSurface(c); },
		[vd](Float w, const VolumeData* c) {
			vd->col = vd->col + c->col * w;
			vd->trans = vd->trans + c->trans * w;
			vd->refl = vd->refl + c->refl * w;
			if (c->tray)
				vd->tray = c->tray;
			if (c->rray)
				vd->rray = c->rray;
		});
}

void TWMeltMaterial::CalcTransparency(BaseMaterial* mat, VolumeData* vd)
{
	(void)mat;
	Blend(vd, [](BaseMaterial* m, VolumeData* c) { m->CalcTransparency(c); },
		[vd](Float w, const VolumeData* c) { vd->trans = vd->trans + c->trans * w; });
}

void TWMeltMaterial::CalcAlpha(BaseMaterial* mat, VolumeData* vd)
{
	(void)mat;
	Blend(vd, [](BaseMaterial* m, VolumeData* c) { m->CalcAlpha(c); },
		[vd](Float w, const VolumeData* c) { vd->alpha = vd->alpha + c->alpha * w; });
}

void TWMeltMaterial::CalcVolumetric(BaseMaterial* mat, VolumeData* vd)
{
	(void)mat;
	Blend(vd, [](BaseMaterial* m, VolumeData* c) { m->CalcVolumetric(c); },
		[vd](Float w, const VolumeData* c) {
			vd->col = vd->col + c->col * w;
			vd->trans = vd->trans + c->trans * w;
		});
}

// --- messages and the material's own preview

void TWMeltMaterial::BuildPreviewScene(BaseDocument* doc)
{
	if (!doc)
		return;
	if (BaseObject* cube = BaseObject::Alloc(Ocube))
	{
		cube->SetName(String("cube"));
		cube->GetDataInstance()->SetVector(PRIM_CUBE_LEN, Vector(200.0, 200.0, 200.0));
		doc->InsertObject(cube, nullptr, nullptr);
	}
	if (BaseObject* light = BaseObject::Alloc(Olight))
	{
		light->SetName(String("Light"));
		light->SetRelPos(Vector(-400.0, 400.0, -400.0));
		light->GetDataInstance()->SetVector(LIGHT_COLOR, Vector(0.0, 0.0, 1.0));
		doc->InsertObject(light, nullptr, nullptr);
	}
	BaseDraw* bd = doc->GetRenderBaseDraw();
	if (BaseObject* camera = bd ? bd->GetSceneCamera(doc) : nullptr)
	{
		camera->SetRelPos(Vector(0.0, 0.0, -400.0));
		camera->SetRelRot(Vector(0.0, 0.0, 0.0));
	}
}

Bool TWMeltMaterial::PreparePreview(BaseMaterial* mat, MatPreviewPrepareScene* prep)
{
	BaseDocument* doc = prep ? prep->pDoc : nullptr;
	BaseObject* cube = doc ? doc->SearchObject(String("cube")) : nullptr;
	BaseMaterial* clone = doc ? mat->GetClone() : nullptr;
	if (!clone)
		return false;
	doc->InsertMaterial(clone);
	// a preview scene built by someone else may lack the tag: the material must still show on the cube
	TextureTag* tag = cube ? static_cast<TextureTag*>(cube->GetTag(Ttexture)) : nullptr;
	if (cube && !tag)
		tag = static_cast<TextureTag*>(cube->MakeTag(Ttexture));
	if (tag)
		tag->SetMaterial(clone);
	prep->bScenePrepared = true;
	return true;
}

void TWMeltMaterial::RenderPreview(MatPreviewGenerateImage* gen)
{
	if (!gen || !gen->pDoc || gen->bSkip)
		return;
	BaseContainer rdata = gen->pDoc->GetActiveRenderData()->GetData();
	if (gen->pDest)
	{
		rdata.SetFloat(RDATA_XRES, gen->pDest->GetBw());
		rdata.SetFloat(RDATA_YRES, gen->pDest->GetBh());
	}
	rdata.SetInt32(PREVIEW_RENDER_OPTION, 1);
	gen->pDoc->GetActiveRenderData()->SetData(rdata);
	gen->pDoc->ExecutePasses(gen->pThread, true, true, true, 0);
	gen->lResult = RenderDocument(gen->pDoc, rdata, nullptr, nullptr, gen->pDest, RENDERFLAGS_NONE, gen->pThread);
}

Bool TWMeltMaterial::Message(GeListNode* node, Int32 type, void* data)
{
	BaseMaterial* mat = static_cast<BaseMaterial*>(node);
	switch (type)
	{
		case MSG_MULTI_RENDERNOTIFICATION:
			if (const RenderNotificationData* rn = static_cast<const RenderNotificationData*>(data))
				mat->GetDataInstance()->SetBool(TW_MELT_REPORT, rn->start);
			return true;
		case MATPREVIEW_FREE_THREAD:
		case MATPREVIEW_COPY_USERDATA: return true;
		case MATPREVIEW_GET_OBJECT_INFO:
			if (MatPreviewObjectInfo* info = static_cast<MatPreviewObjectInfo*>(data))
			{
				info->bHandlePreview = true;
				info->bNeedsOwnScene = true;
				info->bNoStandardScene = true;
				info->lFlags = PREVIEW_OBJECT_FLAGS;
			}
			return true;
		case MATPREVIEW_MODIFY_CACHE_SCENE:
			if (MatPreviewModifyCacheScene* scene = static_cast<MatPreviewModifyCacheScene*>(data))
				BuildPreviewScene(scene->pDoc);
			return true;
		case MATPREVIEW_PREPARE_SCENE: return PreparePreview(mat, static_cast<MatPreviewPrepareScene*>(data));
		case MATPREVIEW_GENERATE_IMAGE: RenderPreview(static_cast<MatPreviewGenerateImage*>(data)); return true;
		default: return MaterialData::Message(node, type, data);
	}
}

Bool RegisterTWMeltMaterial()
{
	String name = GeLoadString(ID_TW_MELT_MATERIAL);
	if (!name.IsPopulated())
		return true;
	Bool ok = RegisterMaterialPlugin(ID_TW_MELT_MATERIAL, GeGetMenuGroupPrefix(ID_MELT_MATERIAL_MENU_GROUP) + name, 0, TWMeltMaterial::Alloc,
		"TW_MeltMaterial", 0);
	return ok;
}
