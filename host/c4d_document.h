// c4d_document.h - documents: their file, their objects and their time.
#pragma once

#include "c4d_baselist.h"

class BaseObject;
class BaseThread;
class BaseSceneHook;
class HierarchyHelp;
struct DocumentFileAccess;

// Render-setting parameters the module reads.
enum
{
	RDATA_XRES = 5008,
	RDATA_YRES = 5009,
	RDATA_RENDERENGINE = 5300,
};

// What a render answers.
enum RENDERRESULT : Int32
{
	RENDERRESULT_OK = 0,
	RENDERRESULT_OUTOFMEMORY = 1,
	RENDERRESULT_ASSETMISSING = 2,
	RENDERRESULT_SAVINGFAILED = 5,
	RENDERRESULT_USERBREAK = 6,
};

// How a render runs: RENDERFLAGS_EXTERNAL renders as the picture viewer does (a final render).
enum
{
	RENDERFLAGS_NONE = 0,
	RENDERFLAGS_EXTERNAL = 1 << 0,
};

// Called now and then while a render runs: the share done (0..1); answering false stops the render.
using ProgressHook = Bool (*)(Float done, void* private_data);

class BaseBitmap;

// A document's render settings; the active ones say which engine renders and at what size.
class RenderData : public BaseList2D
{
public:
	RenderData() : BaseList2D(110304)
	{
		_bc.SetFloat(RDATA_XRES, 1280.0);
		_bc.SetFloat(RDATA_YRES, 720.0);
	}
};

class BaseMaterial;
class BaseDraw;

// Document settings containers.
enum
{
	DOCUMENTSETTINGS_GENERAL = 0,
	DOCUMENTSETTINGS_MODELING = 1,
	DOCUMENTSETTINGS_DOCUMENT = 2,
};

class BaseDocument : public BaseList2D
{
public:
	static BaseDocument* Alloc();
	static void Free(BaseDocument*& doc);

	// The folder the document was saved in, and its file name.
	Filename GetDocumentPath() const { return _path; }
	Filename GetDocumentName() const { return _file; }
	void SetDocumentPath(const Filename& path) { _path = path; }
	void SetDocumentName(const Filename& name) { _file = name; }

	BaseObject* GetFirstObject() const;
	void InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred);
	// The first object of this name in hierarchy order, or null.
	BaseObject* SearchObject(const String& name) const;

	// Time: the current time, the frame rate, the document's range and its preview range.
	BaseTime GetTime() const { return _time; }
	void SetTime(const BaseTime& t) { _time = t; }
	Int32 GetFps() const { return _fps; }
	void SetFps(Int32 fps) { _fps = fps > 0 ? fps : 1; }
	BaseTime GetMinTime() const { return _min_time; }
	void SetMinTime(const BaseTime& t) { _min_time = t; }
	BaseTime GetMaxTime() const { return _max_time; }
	void SetMaxTime(const BaseTime& t) { _max_time = t; }
	BaseTime GetLoopMinTime() const { return _loop_min; }
	void SetLoopMinTime(const BaseTime& t) { _loop_min = t; }
	BaseTime GetLoopMaxTime() const { return _loop_max; }
	void SetLoopMaxTime(const BaseTime& t) { _loop_max = t; }

	// Settings containers (DOCUMENTSETTINGS_*); the exporters keep their dialog values in one. They are
	// saved and loaded with the document.
	BaseContainer* GetSettingsInstance(Int32 type);
	// The document's scene hook of this ID (the particle master is 1001428), or null.
	BaseSceneHook* FindSceneHook(Int32 id) const;
	RenderData* GetActiveRenderData() { return &_render_data; }
	// The view the user works in, and the view renders look through (one and the same in the headless
	// host, owned by the document): its scene camera is the document's first camera in hierarchy
	// order; its editor camera looks from the front, above and to the left. Never null.
	BaseDraw* GetActiveBaseDraw();
	BaseDraw* GetRenderBaseDraw();

	// The material list (c4d_material.h): inserts after pred, or first when pred is null; the
	// document owns inserted materials.
	void InsertMaterial(BaseMaterial* mat, BaseMaterial* pred = nullptr);
	BaseMaterial* GetFirstMaterial() const { return _first_material; }

	// Evaluates the document at its current time: with animation, the objects' position, rotation and
	// scale tracks set their matrices; particles whose life ran out are removed, emitters compute their
	// particles for the time (c4d_particleobject.h), then the
	// objects' generators and deformers run in hierarchy order (an object before its children). A
	// generator's result becomes its cache; deformer children deform a copy of their parent when they
	// (by CheckDirty) or the parent changed, and otherwise keep their last result.
	// bt may be null (no thread).
	Bool ExecutePasses(BaseThread* bt, Bool animation, Bool expressions, Bool caches, Int32 flags);
	// A new document holding what this one shows as last evaluated: every generator replaced by a copy
	// of its cache, every deformed object by its deformed copy (the deformers themselves left out),
	// every instance object by a copy of what it refers to; names, hierarchy, the time settings and the
	// settings containers kept. Animation tracks only with keepanimation. The caller frees it.
	BaseDocument* Polygonize(Bool keepanimation = false) const;

	~BaseDocument() override;

private:
	BaseDocument();
	// Runs the deformers under op when they or what they deform changed (headless host).
	void Deform(BaseObject* op, BaseThread* bt);
	// Builds op's cache when it is a generator, then those of the generators in it (headless host).
	void BuildCache(BaseObject* op, HierarchyHelp* hh, Int32 depth);

	Filename _path, _file;
	BaseObject* _first = nullptr;
	BaseTime _time, _min_time, _max_time{90.0, 30.0}, _loop_min, _loop_max{90.0, 30.0};
	Int32 _fps = 30;
	std::map<Int32, BaseContainer> _settings;
	mutable BaseSceneHook* _particles = nullptr;
	RenderData _render_data;
	Int32 _pass_depth = 0;
	BaseMaterial* _first_material = nullptr;
	BaseDraw* _draw = nullptr; // made on first use

	friend class GeListNode;
	friend class BaseMaterial;
	friend struct DocumentFileAccess; // the headless host saves and loads the settings containers
};

// Renders doc at its current time through its scene camera (the editor camera when it has none) into
// bmp, which is initialised to the size rdata gives (RDATA_XRES, RDATA_YRES): the render notification
// (start) to every object, the document evaluated, every visible object shaded through its material,
// the notification (end). The document itself is rendered, not a copy, and keeps what the render's
// evaluation built. prog may be null; th may be null.
RENDERRESULT RenderDocument(BaseDocument* doc, const BaseContainer& rdata, ProgressHook prog, void* private_data,
	BaseBitmap* bmp, Int32 renderflags, BaseThread* th);

// The document the user works in; the host always has one.
BaseDocument* GetActiveDocument();
