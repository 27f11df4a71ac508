// c4d_material.h - materials of a document, their channels, and the texture tag that applies one.
#pragma once

#include "c4d_baselist.h"

#include <map>
#include <memory>

// Channels of the standard material and the channel parameter that holds a texture's file name.
enum
{
	CHANNEL_COLOR = 0,
	BASECHANNEL_TEXTURE = 1002,
	BASECHANNEL_SUGGESTEDFOLDER = 1017,
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
	Material() : BaseMaterial(Mmaterial) {}
	std::map<Int32, std::unique_ptr<BaseChannel>> _channels;
	friend class BaseMaterial;
};

// The host's texture search: the file a texture name stands for, looked for beside the document
// (docpath), in the suggested folder and in the texture paths of the preferences. False, with
// *dstname untouched, when no such file exists.
Bool GenerateTexturePath(const Filename& docpath, const Filename& srcname, const Filename& suggestedpath, Filename* dstname);
