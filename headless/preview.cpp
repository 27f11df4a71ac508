// preview.cpp - a material's preview: the preview document with its scene camera, the messages that let
// the material build its own scene, and the render into a bitmap.
#include "headless.h"
#include "host_state.h"

namespace
{

// The host's standard preview scene: a sphere carrying the material, lit from the upper left.
void StandardScene(BaseDocument* doc, BaseMaterial* mat)
{
	BaseObject* sphere = BaseObject::Alloc(Osphere);
	if (!sphere)
		return;
	sphere->SetName(String("Sphere"));
	doc->InsertObject(sphere, nullptr, nullptr);
	BaseMaterial* copy = mat->GetClone();
	if (copy)
	{
		doc->InsertMaterial(copy);
		if (TextureTag* tag = static_cast<TextureTag*>(sphere->MakeTag(Ttexture)))
			tag->SetMaterial(copy);
	}
	if (BaseObject* light = BaseObject::Alloc(Olight))
	{
		light->SetName(String("Light"));
		light->SetRelPos(Vector(-400.0, 400.0, -400.0));
		doc->InsertObject(light, nullptr, nullptr);
	}
}

} // namespace

RENDERRESULT headless::RenderMaterialPreview(BaseMaterial* mat, BaseBitmap* bmp)
{
	if (!mat || !bmp || bmp->GetBw() < 1 || bmp->GetBh() < 1)
		return RENDERRESULT_OUTOFMEMORY;
	BaseDocument* doc = BaseDocument::Alloc();
	if (!doc)
		return RENDERRESULT_OUTOFMEMORY;
	// the preview document always has a scene camera, looking at the origin from the front
	if (BaseObject* camera = BaseObject::Alloc(Ocamera))
	{
		camera->SetName(String("Camera"));
		camera->SetRelPos(Vector(0.0, 0.0, -400.0));
		doc->InsertObject(camera, nullptr, nullptr);
	}
	MatPreviewObjectInfo info;
	mat->Message(MATPREVIEW_GET_OBJECT_INFO, &info);
	RENDERRESULT result = RENDERRESULT_OK;
	if (info.bHandlePreview && info.bNeedsOwnScene)
	{
		MatPreviewModifyCacheScene scene;
		scene.pDoc = doc;
		mat->Message(MATPREVIEW_MODIFY_CACHE_SCENE, &scene);
		MatPreviewPrepareScene prep;
		prep.pDoc = doc;
		mat->Message(MATPREVIEW_PREPARE_SCENE, &prep);
		MatPreviewGenerateImage gen;
		gen.pDoc = doc;
		gen.pDest = bmp;
		mat->Message(MATPREVIEW_GENERATE_IMAGE, &gen);
		result = static_cast<RENDERRESULT>(gen.lResult);
	}
	else
	{
		StandardScene(doc, mat);
		BaseContainer rdata = doc->GetActiveRenderData()->GetData();
		rdata.SetFloat(RDATA_XRES, bmp->GetBw());
		rdata.SetFloat(RDATA_YRES, bmp->GetBh());
		doc->ExecutePasses(nullptr, true, true, true, 0);
		result = RenderDocument(doc, rdata, nullptr, nullptr, bmp, RENDERFLAGS_NONE, nullptr);
	}
	BaseDocument::Free(doc);
	return result;
}
