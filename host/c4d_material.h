// c4d_material.h - materials of a document, their channels and shaders, and the texture tag that applies
// a material to an object.
#pragma once

#include "c4d_baselist.h"
#include "c4d_tag.h"

#include <map>
#include <memory>

// Channels of the standard material and the channel parameter that holds a texture's file name.
enum
{
	CHANNEL_COLOR = 0,
	BASECHANNEL_TEXTURE = 1002,
	BASECHANNEL_SUGGESTEDFOLDER = 1017,
};

// Standard material parameters: the colour of its colour channel, and the shader that gives that colour
// instead when one is linked (a shader of the material's document).
enum
{
	MATERIAL_COLOR_COLOR = 2100,
	MATERIAL_COLOR_SHADER = 8000,
};

// Texture tag parameters: the material (a link) and how it is projected.
enum
{
	TEXTURETAG_PROJECTION = 1004,
	TEXTURETAG_PROJECTION_UVW = 6,
	TEXTURETAG_MATERIAL = 1010,
};

// One channel of a standard material; its settings are read and written as a whole.
class BaseChannel
{
public:
	BaseContainer GetData() const { return _bc; }
	void SetData(const BaseContainer& bc) { _bc = bc; }

private:
	BaseContainer _bc;
};

class VolumeData;
class BaseBitmap;
class BaseThread;
struct ChannelData;
struct InitRenderStruct;

// What a shader's or material's render preparation answers.
enum INITRENDERRESULT : Int32
{
	INITRENDERRESULT_OK = 0,
	INITRENDERRESULT_OUTOFMEMORY = -100,
	INITRENDERRESULT_ASSETMISSING = -101,
	INITRENDERRESULT_UNKNOWNERROR = -102,
	INITRENDERRESULT_USERBREAK = -103,
};

// A shader: a registered shader plug-in (ShaderData) that gives a colour per shading sample. Shaders live
// in a node's shader list (a document's or a material's, BaseList2D::InsertShader).
class BaseShader : public BaseList2D
{
public:
	// A shader of a registered shader plug-in; null when there is none.
	static BaseShader* Alloc(Int32 type);
	// Takes the shader out of its list, then frees it.
	static void Free(BaseShader*& sh);

	BaseShader* GetNext() const { return static_cast<BaseShader*>(GeListNode::GetNext()); }
	BaseShader* GetPred() const { return static_cast<BaseShader*>(GeListNode::GetPred()); }
	// Takes the shader out of its list; the caller owns it again.
	void Remove();
	Bool IsInstanceOf(Int32 type) const override { return type == Xbase || type == _type; }

	// Around a render: the plug-in's InitRender and FreeRender.
	INITRENDERRESULT InitRender(const InitRenderStruct& irs);
	void FreeRender();
	// The plug-in's Output for this sample.
	Vector Sample(ChannelData* cd);

	~BaseShader() override;

private:
	explicit BaseShader(Int32 type) : BaseList2D(type) {}
	BaseList2D* _owner = nullptr; // the node whose shader list holds it
	friend class BaseList2D;
};

// Render information flags of a material (GetRenderInfo): which of its calls the renderer makes.
enum
{
	VOLUMEINFO_TRANSPARENCY = 1 << 2,	 // CalcTransparency for shadow rays
	VOLUMEINFO_INITCALCULATION = 1 << 3, // InitCalculation before each sample
	VOLUMEINFO_ALPHA = 1 << 4,			 // CalcAlpha before the surface
	VOLUMEINFO_VOLUMETRIC = 1 << 7,		 // CalcVolumetric after the surface
};

// What InitCalculation prepares for: a surface sample or a shadow ray.
enum INITCALCULATION : Int32
{
	INITCALCULATION_SURFACE = 0,
	INITCALCULATION_TRANSPARENCY = 1,
};

class BaseMaterial : public BaseList2D
{
public:
	// A standard material (Mmaterial) or a registered material plug-in; null when there is none.
	static BaseMaterial* Alloc(Int32 type);
	// Takes the material out of its document, then frees it.
	static void Free(BaseMaterial*& mat);

	BaseMaterial* GetNext() const { return static_cast<BaseMaterial*>(GeListNode::GetNext()); }
	BaseMaterial* GetPred() const { return static_cast<BaseMaterial*>(GeListNode::GetPred()); }
	// Takes the material out of its document; the caller owns it again.
	void Remove();
	// A copy with container, name and plug-in data (via CopyTo), in no document.
	BaseMaterial* GetClone(Int32 flags = COPYFLAGS_NONE) const;
	Bool IsInstanceOf(Int32 type) const override { return type == Mbase || type == _type; }

	// --- while rendering: a standard material is the host's own; a plug-in material answers through its
	// MaterialData. The renderer calls them in the order of c4d_plugin.h.
	INITRENDERRESULT InitRender(const InitRenderStruct& irs);
	void FreeRender();
	Int32 GetRenderInfo();
	void InitCalculation(VolumeData* vd, INITCALCULATION type);
	// Sets vd->col (and for the standard material vd->trans, vd->refl) for the sample in vd.
	void CalcSurface(VolumeData* vd);
	void CalcTransparency(VolumeData* vd);
	void CalcAlpha(VolumeData* vd);
	void CalcVolumetric(VolumeData* vd);

	~BaseMaterial() override;

protected:
	explicit BaseMaterial(Int32 type) : BaseList2D(type) {}
	friend class BaseDocument;
};

// The standard material, with its channels.
class Material : public BaseMaterial
{
public:
	// The channel (CHANNEL_COLOR, ...); made on first use.
	BaseChannel* GetChannel(Int32 id);

protected:
	// The host's default material colour: a light grey.
	Material() : BaseMaterial(Mmaterial) { _bc.SetVector(MATERIAL_COLOR_COLOR, Vector(0.8, 0.8, 0.8)); }
	std::map<Int32, std::unique_ptr<BaseChannel>> _channels;
	friend class BaseMaterial;
};

// The material preview: the host asks a material how it wants its preview, lets it build its own
// preview scene in a preview document that has a scene camera, put itself into it, and render it.
enum
{
	MATPREVIEW_FREE_THREAD = 1011141,
	MATPREVIEW_PREPARE_SCENE = 1011142,
	MATPREVIEW_COPY_USERDATA = 1011144,
	MATPREVIEW_GET_OBJECT_INFO = 1011147,
	MATPREVIEW_GENERATE_IMAGE = 1011148,
	MATPREVIEW_MODIFY_CACHE_SCENE = 1011149,
};

// MATPREVIEW_GET_OBJECT_INFO: the material answers whether it handles its preview, needs a scene of its
// own and wants none of the host's standard scene objects.
struct MatPreviewObjectInfo
{
	Bool bHandlePreview = false;
	Bool bNeedsOwnScene = false;
	Bool bNoStandardScene = false;
	Int32 lFlags = 0;
};

// MATPREVIEW_MODIFY_CACHE_SCENE: the preview document to build the scene in.
struct MatPreviewModifyCacheScene
{
	BaseDocument* pDoc = nullptr;
};

// MATPREVIEW_PREPARE_SCENE: the material puts itself into the preview document and says so.
struct MatPreviewPrepareScene
{
	BaseDocument* pDoc = nullptr;
	Bool bScenePrepared = false;
};

// MATPREVIEW_GENERATE_IMAGE: render the preview document into pDest, unless bSkip is set (the host only
// wants the scene ready); the render's result goes into lResult.
struct MatPreviewGenerateImage
{
	BaseDocument* pDoc = nullptr;
	BaseBitmap* pDest = nullptr;
	BaseThread* pThread = nullptr;
	Bool bSkip = false;
	Int32 lResult = 0;
};

// A texture tag: applies its material to the object it sits on (and to the children that have none).
class TextureTag : public BaseTag
{
public:
	// The material linked under TEXTURETAG_MATERIAL, resolved in the tag's document; null when none.
	BaseMaterial* GetMaterial() const;
	void SetMaterial(BaseMaterial* mat);

protected:
	TextureTag() : BaseTag(Ttexture) {}
	BaseTag* CloneSelf() const override { return new TextureTag(); }
	friend class BaseTag;
};

// The host's texture search: the file a texture name stands for, looked for beside the document
// (docpath), in the suggested folder and in the texture paths of the preferences. False, with
// *dstname untouched, when no such file exists.
Bool GenerateTexturePath(const Filename& docpath, const Filename& srcname, const Filename& suggestedpath, Filename* dstname);
