// c4d_object.h - scene objects: matrices and hierarchy.
#pragma once

#include "c4d_baselist.h"
#include "c4d_tag.h"

class BaseObject;

// What the host hands a generator while it evaluates the document.
class HierarchyHelp
{
public:
	explicit HierarchyHelp(BaseDocument* doc) : _doc(doc) {}
	BaseDocument* GetDocument() const { return _doc; }

private:
	BaseDocument* _doc;
};

class AliasTrans;

// State bits of a standard emitter's particle: a living particle has both.
enum
{
	PARTICLEFLAGS_VISIBLE = 1 << 0,
	PARTICLEFLAGS_ALIVE = 1 << 1,
};

// Parameters of an instance object: the object it repeats, and how it renders (1 = a single render
// instance).
enum
{
	INSTANCEOBJECT_LINK = 1001,
	INSTANCEOBJECT_RENDERINSTANCE_MODE = 1002,
	INSTANCEOBJECT_RENDERINSTANCE_MODE_SINGLEINSTANCE = 1,
};

// An object's editor and render modes: MODE_OFF hides it (and its children that do not say MODE_ON),
// MODE_UNDEF follows its parent.
enum
{
	MODE_ON = 0,
	MODE_OFF = 1,
	MODE_UNDEF = 2,
};

// Parameters of the cube, sphere and disc primitives (generators of polygon objects). A disc lies in its
// own XZ plane facing +Y; its radial segments run from the inner to the outer radius, its rotation
// segments round it.
enum
{
	PRIM_CUBE_LEN = 1100, // the cube's edge lengths (a vector)
	PRIM_SPHERE_RAD = 1110,
	PRIM_SPHERE_SUB = 1111,
	PRIM_DISC_IRAD = 1120,
	PRIM_DISC_ORAD = 1121,
	PRIM_DISC_SUB = 1122,
	PRIM_DISC_SEG = 1123,
};

// Parameters of a light object (Olight): colour, brightness (1 = full) and kind.
enum
{
	LIGHT_COLOR = 90000,
	LIGHT_BRIGHTNESS = 90001,
	LIGHT_TYPE = 90002,
	LIGHT_TYPE_OMNI = 0,
	LIGHT_TYPE_SPOT = 1,
	LIGHT_TYPE_DISTANT = 3,
};

// An object's own switch: a switched-off generator or deformer does nothing (absent reads as on).
enum
{
	ID_BASEOBJECT_GENERATOR_FLAG = 906,
};

class BaseObject : public BaseList2D
{
public:
	// A built-in object type (Opolygon, Ocamera, Onull) or a registered object plug-in's ID.
	static BaseObject* Alloc(Int32 type);
	static void Free(BaseObject*& op);

	BaseObject* GetUp() const { return static_cast<BaseObject*>(GeListNode::GetUp()); }
	BaseObject* GetDown() const { return static_cast<BaseObject*>(GeListNode::GetDown()); }
	BaseObject* GetNext() const { return static_cast<BaseObject*>(GeListNode::GetNext()); }
	BaseObject* GetPred() const { return static_cast<BaseObject*>(GeListNode::GetPred()); }

	// A copy with container, name, matrix, tags, plug-in data (via CopyTo) and, unless
	// COPYFLAGS_NO_HIERARCHY, the children; not part of any document.
	BaseObject* GetClone(Int32 flags = COPYFLAGS_NONE) const;

	Matrix GetMl() const { return _ml; }
	void SetMl(const Matrix& m)
	{
		_ml = m;
		++_dirty_matrix;
	}
	// The global matrix: the parents' local matrices applied in turn.
	Matrix GetMg() const;
	void SetMg(const Matrix& m);
	// The local matrix as position, rotation (heading, pitch, bank in radians) and scale, as the
	// attribute manager and animation tracks see it; setting one part keeps the other two.
	Vector GetRelPos() const;
	Vector GetRelRot() const;
	Vector GetRelScale() const;
	void SetRelPos(const Vector& v);
	void SetRelRot(const Vector& v);
	void SetRelScale(const Vector& v);

	// MODE_ON, MODE_OFF or MODE_UNDEF (the default) in the editor and in renders.
	void SetEditorMode(Int32 mode) { _editor_mode = static_cast<Char>(mode); }
	Int32 GetEditorMode() const { return _editor_mode; }
	void SetRenderMode(Int32 mode) { _render_mode = static_cast<Char>(mode); }
	Int32 GetRenderMode() const { return _render_mode; }

	Bool IsInstanceOf(Int32 type) const override { return type == Obase || type == _type; }

	// Tags, in the order the object lists them.
	BaseTag* GetFirstTag() const { return _first_tag; }
	// The nr-th tag of this type (0 = first), or null.
	BaseTag* GetTag(Int32 type, Int32 nr = 0) const;
	// Inserts the tag after pred, or first when pred is null; the object owns it from then on.
	void InsertTag(BaseTag* tag, BaseTag* pred = nullptr);
	// Allocates a tag of this type and inserts it after pred (last when pred is null).
	BaseTag* MakeTag(Int32 type, BaseTag* pred = nullptr);
	// Takes the tag out of the object's list; the caller owns it again.
	void RemoveTag(BaseTag* tag);
	// Appends copies of this object's tags to dest. visible / variable: true = only such tags,
	// false = only the others, NOTOK = both. Copies of this object's children are not touched.
	Bool CopyTagsTo(BaseObject* dest, Int32 visible, Int32 variable, Int32 hierarchical, AliasTrans* trans) const;

	// The object's bounding box in its own coordinates as centre and half size: what it shows (its
	// deformed copy or its cache) when there is one, else its own points, else its plug-in's
	// GetDimension; zero for an object without extent (a null, a camera).
	Vector GetMp() const;
	Vector GetRad() const;

	// --- generator caches: the host keeps what GetVirtualObjects returned last.
	// The cache; null when there is none.
	BaseObject* GetCache(HierarchyHelp* hh = nullptr) const { (void)hh; return _cache; }
	// True when the cache must be rebuilt: there is none yet.
	Bool CheckCache(HierarchyHelp* hh) const { (void)hh; return _cache == nullptr; }
	// For DIRTYFLAGS_DATA: whether the parameters changed since the cache was built; for
	// DIRTYFLAGS_MATRIX whether the matrix did. A copy the host just made is dirty in both.
	Bool IsDirty(Int32 flags) const;
	// The deformed copy the object's modifiers made when they last ran; null without modifiers.
	BaseObject* GetDeformCache() const { return _deform_cache; }

	~BaseObject() override;

protected:
	explicit BaseObject(Int32 type) : BaseList2D(type) {}
	// The bare copy of the derived kind (a polygon object copies its points and polygons).
	virtual BaseObject* CloneSelf() const { return new BaseObject(_type); }

	Matrix _ml;
	Char _editor_mode = MODE_UNDEF;
	Char _render_mode = MODE_UNDEF;
	BaseTag* _first_tag = nullptr;
	BaseObject* _cache = nullptr;
	BaseObject* _deform_cache = nullptr;
	UInt32 _cache_dirty = 0;
	UInt32 _cache_dirty_matrix = 0;
	// What the deformers last ran on (see ExecutePasses); while it is unchanged the deform cache stays.
	// Only objects with deformers have one, so it is allocated when they first run.
	struct DeformRecord
	{
		std::vector<UInt64> inputs;
		Matrix mg;
	};
	std::unique_ptr<DeformRecord> _deform;

	friend class BaseDocument;
};
