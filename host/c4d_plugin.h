// c4d_plugin.h - the plug-in data classes and the registration of plug-ins with the host.
#pragma once

#include "c4d_basedraw.h"
#include "c4d_bitmap.h"
#include "c4d_document.h"
#include "c4d_material.h"
#include "c4d_object.h"
#include "c4d_raytrace.h"

class HierarchyHelp;
class HyperFile;
class Description;
class BaseShader;
class BaseMaterial;

// Behaviour of one scene node, supplied by a plug-in; the host owns the node, the node owns this.
class NodeData
{
public:
	virtual ~NodeData() = default;
	virtual Bool Init(GeListNode* node) { (void)node; return true; }
	virtual void Free(GeListNode* node) { (void)node; }
	virtual Bool Message(GeListNode* node, Int32 type, void* data)
	{
		(void)node; (void)type; (void)data;
		return true;
	}
	// Reads what the node stored beyond its container; level is the disk level the document was saved at.
	virtual Bool Read(GeListNode* node, HyperFile* hf, Int32 level)
	{
		(void)node; (void)hf; (void)level;
		return true;
	}
	// Adds the node's elements to its description (the static one is loaded first by the plug-in).
	virtual Bool GetDDescription(GeListNode* node, Description* description, Int32& flags)
	{
		(void)node; (void)description; (void)flags;
		return true;
	}
	// Whether the description element id is enabled.
	virtual Bool GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc)
	{
		(void)node; (void)id; (void)t_data; (void)flags; (void)itemdesc;
		return true;
	}
	// Called on the copy's data after the host copied the node's container into the copy.
	virtual Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode)
	{
		(void)dest; (void)snode; (void)dnode;
		return true;
	}
};

using DataAllocator = NodeData*();

// Object info flags.
enum
{
	OBJECT_MODIFIER = 1,
	OBJECT_GENERATOR = 4,
	PLUGINFLAG_HIDEPLUGINMENU = 1 << 28, // registered, but not offered in the plug-in menu
	PLUGINFLAG_HIDE = 1 << 29,			 // not offered anywhere
};

class ObjectData : public NodeData
{
public:
	// A generator's result for this evaluation; the host owns what it returns.
	virtual BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
	{
		(void)op; (void)hh;
		return nullptr;
	}
	// The object's extent for the views: centre and half size.
	virtual void GetDimension(BaseObject* op, Vector* mp, Vector* rad)
	{
		(void)op;
		*mp = Vector();
		*rad = Vector();
	}
	// Asked at every evaluation: a modifier whose result must change (time moved, a file changed) marks
	// op (itself) dirty; otherwise the host keeps what it deformed last.
	virtual void CheckDirty(BaseObject* op, BaseDocument* doc)
	{
		(void)op; (void)doc;
	}
	// Draws the object into a view, once per pass; what it drew shows in the view's image. SKIP when it
	// draws nothing in this pass.
	virtual DRAWRESULT Draw(BaseObject* op, DRAWPASS drawpass, BaseDraw* bd, BaseDrawHelp* bh)
	{
		(void)op; (void)drawpass; (void)bd; (void)bh;
		return DRAWRESULT_SKIP;
	}
	// A modifier deforms the copy of its parent that the host hands it. The host calls it only when the
	// modifier (after CheckDirty) or what it deforms changed, and otherwise keeps the last result.
	// thread may be null.
	virtual Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg,
		Float lod, Int32 flags, BaseThread* thread)
	{
		(void)mod; (void)doc; (void)op; (void)op_mg; (void)mod_mg; (void)lod; (void)flags; (void)thread;
		return true;
	}
};

class CommandData
{
public:
	virtual ~CommandData() = default;
	virtual Bool Execute(BaseDocument* doc) { (void)doc; return true; }
	// The host restores a layout that held this command's dialog: reopen it with GeDialog::Restore.
	virtual Bool RestoreLayout(void* secret) { (void)secret; return false; }
};

// A shader plug-in. While rendering the host calls InitRender once before the first sample, Output per
// sample, FreeRender after the last; Output may be called from several threads at once.
class ShaderData : public NodeData
{
public:
	virtual INITRENDERRESULT InitRender(BaseShader* sh, const InitRenderStruct& irs)
	{
		(void)sh; (void)irs;
		return INITRENDERRESULT_OK;
	}
	virtual void FreeRender(BaseShader* sh) { (void)sh; }
	// The colour of the sample in cd (cd->vd may be null).
	virtual Vector Output(BaseShader* sh, ChannelData* cd)
	{
		(void)sh; (void)cd;
		return Vector();
	}
};

// A material plug-in. Around a render: InitRender (irs.vd lists the render objects), FreeRender. Per
// surface sample: InitCalculation, CalcAlpha, CalcSurface, CalcVolumetric; per shadow ray:
// InitCalculation, CalcAlpha, CalcTransparency. All but CalcSurface only when GetRenderInfo asks for
// them (VOLUMEINFO_INITCALCULATION, _ALPHA, _VOLUMETRIC, _TRANSPARENCY): a material whose volumetric
// call would add its surface colour once more is not asked.
class MaterialData : public NodeData
{
public:
	virtual INITRENDERRESULT InitRender(BaseMaterial* mat, const InitRenderStruct& irs)
	{
		(void)mat; (void)irs;
		return INITRENDERRESULT_OK;
	}
	virtual void FreeRender(BaseMaterial* mat) { (void)mat; }
	virtual Int32 GetRenderInfo(BaseMaterial* mat) { (void)mat; return 0; }
	virtual void InitCalculation(BaseMaterial* mat, VolumeData* vd, INITCALCULATION type)
	{
		(void)mat; (void)vd; (void)type;
	}
	virtual void CalcSurface(BaseMaterial* mat, VolumeData* vd) { (void)mat; (void)vd; }
	virtual void CalcTransparency(BaseMaterial* mat, VolumeData* vd) { (void)mat; (void)vd; }
	virtual void CalcAlpha(BaseMaterial* mat, VolumeData* vd) { (void)mat; (void)vd; }
	virtual void CalcVolumetric(BaseMaterial* mat, VolumeData* vd) { (void)mat; (void)vd; }
};

// Operator plug-ins derive from GvOperatorData (c4d_graphview.h).
using GvOperatorID = Int32;
using GvOpClassID = Int32;
using GvOpGroupID = Int32;

Bool RegisterObjectPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel);
Bool RegisterCommandPlugin(Int32 id, const String& str, Int32 info, BaseBitmap* icon, const String& help, CommandData* dat);
Bool RegisterShaderPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	Int32 disklevel);
Bool RegisterMaterialPlugin(Int32 id, const String& str, Int32 info, DataAllocator* g, const String& description,
	Int32 disklevel);
Bool GvRegisterOperatorPlugin(GvOperatorID id, const String& str, Int32 info, DataAllocator* at, const String& description,
	Int32 disklevel, GvOpClassID op_class, GvOpGroupID op_group, Int32 op_owner, BaseBitmap* icon);
