// TWMeshImporter.h - mesh sequence rebuilt as a polygon object.
#pragma once

#include "c4d.h"
#include "c4d_polygon.h"
#include "importer_cache.h"
#include "mesh_bin.h"
#include "remote_frame_sequence.h"

#include <vector>

class TWMeshImporter : public ObjectData
{
public:
	static NodeData* Alloc() { return new TWMeshImporter(); }
	TWMeshImporter();
	~TWMeshImporter() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Read(GeListNode* node, HyperFile* hf, Int32 level) override;
	Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override;
	Bool GetDEnabling(GeListNode* node, Int32 id, const GeData& t_data, Int32 flags, const BaseContainer* itemdesc) override;
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;
	void GetDimension(BaseObject* op, Vector* mp, Vector* rad) override;

	// The frame of the last build, or null once its table let it go.
	MeshHandle* CurrentHandle() const;

private:
	void ChooseFile(BaseObject* op);
	Bool CheckFile(const char* path);
	void RefreshSettings(BaseObject* op);
	// False, with out empty, when the file parameter's path does not fit the module's buffers.
	Bool ResolvedPath(BaseObject* op, char* out) const;
	void ResetViewport();
	void CollectAssets(BaseObject* op, AssetData* assets);
	FrameCacheSettings RenderSettings() const;
	PolygonObject* BuildFrame(BaseObject* op, Int32 used_frame, Float t_sec, Int32 fps);

	ImporterCache* _cache = nullptr;
	RemoteFrameSequence _sequence;
	FrameCacheSettings _settings;
	std::vector<MeshVelocityScaleEntry> _velocity_scales;
	Int32 _last_frame = -1;
	Float _last_time = -1.0;
	Bool _last_rendering = false; // whether the last build was for a render
	MeshHandle* _current_handle = nullptr;
	// The table _current_handle came from: the handle is only trusted while that table still holds it.
	const FrameCache* _handle_table = nullptr;
	PolygonObject* _built = nullptr;
};
