// render_scene.cpp - the render objects of an evaluated document: what each object shows (its deformed
// copy, its generator's result, its polygons, what an instance repeats), its materials and the lights.
#include "render_scene.h"

#include "c4d_polygon.h"

#include <algorithm>
#include <limits>
#include <map>

namespace headless
{

namespace
{

constexpr Int32 kMaxNesting = 8; // caches in caches, instances of instances

Vector Normalized(const Vector& v)
{
	const Float l = v.GetLength();
	return l > 0.0 ? v / l : v;
}

class SceneBuilder
{
public:
	explicit SceneBuilder(VolumeData::Render& scene) : _scene(scene)
	{
		_scene.texlists.emplace_back();
		_empty = &_scene.texlists.back();
	}

	void Run(BaseObject* first)
	{
		for (BaseObject* op = first; op; op = op->GetNext())
			Walk(op, Matrix(), true, _empty, 0, false);
	}

private:
	using List = const std::vector<TexData*>*;

	// What an instance repeats: each polygon object of the linked object, placed relative to it.
	struct Piece
	{
		BaseObject* link;
		const PolygonObject* poly;
		Matrix local;
		List tex; // materials from the linked object down
	};

	VolumeData::Render& _scene;
	List _empty;
	std::vector<Piece>* _collecting = nullptr; // set while an instance's pieces are gathered
	std::unordered_map<const BaseObject*, std::vector<Piece>> _pieces;
	std::map<std::vector<TexData*>, List> _interned;
	std::map<std::pair<List, List>, List> _joined;
	std::unordered_map<const BaseTag*, TexData*> _texdata;
	std::unordered_map<const Vector*, std::vector<Int32>> _shapes_by_points;

	// One list per distinct content, so that a million instances share theirs.
	List Intern(std::vector<TexData*>&& v)
	{
		if (v.empty())
			return _empty;
		auto it = _interned.find(v);
		if (it != _interned.end())
			return it->second;
		_scene.texlists.push_back(v);
		List l = &_scene.texlists.back();
		_interned.emplace(std::move(v), l);
		return l;
	}

	List Join(List a, List b)
	{
		if (b->empty())
			return a;
		if (a->empty())
			return b;
		auto key = std::make_pair(a, b);
		auto it = _joined.find(key);
		if (it != _joined.end())
			return it->second;
		std::vector<TexData*> v(*a);
		v.insert(v.end(), b->begin(), b->end());
		List l = Intern(std::move(v));
		_joined.emplace(key, l);
		return l;
	}

	// The materials of op's own texture tags; a tag without a material applies nothing.
	List OwnTags(const BaseObject* op)
	{
		std::vector<TexData*> v;
		for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext())
		{
			if (tag->GetType() != Ttexture)
				continue;
			auto it = _texdata.find(tag);
			if (it == _texdata.end())
			{
				BaseMaterial* mat = static_cast<TextureTag*>(tag)->GetMaterial();
				TexData* td = nullptr;
				if (mat)
				{
					_scene.texdata.push_back(TexData{mat, tag});
					td = &_scene.texdata.back();
				}
				it = _texdata.emplace(tag, td).first;
			}
			if (it->second)
				v.push_back(it->second);
		}
		return Intern(std::move(v));
	}

	Int32 ShapeOf(const PolygonObject* poly)
	{
		const Vector* padr = poly->GetPointR();
		const CPolygon* vadr = poly->GetPolygonR();
		std::vector<Int32>& known = _shapes_by_points[padr];
		for (Int32 i : known)
		{
			const RenderShape& s = _scene.shapes[static_cast<size_t>(i)];
			if (s.vadr == vadr && s.pcnt == poly->GetPointCount() && s.vcnt == poly->GetPolygonCount())
				return i;
		}
		RenderShape s;
		s.padr = padr;
		s.vadr = vadr;
		s.pcnt = poly->GetPointCount();
		s.vcnt = poly->GetPolygonCount();
		s.lo = Vector(std::numeric_limits<Float>::max());
		s.hi = Vector(-std::numeric_limits<Float>::max());
		for (Int32 i = 0; i < s.pcnt; ++i)
		{
			const Vector& p = padr[i];
			s.lo = Vector(std::min(s.lo.x, p.x), std::min(s.lo.y, p.y), std::min(s.lo.z, p.z));
			s.hi = Vector(std::max(s.hi.x, p.x), std::max(s.hi.y, p.y), std::max(s.hi.z, p.z));
		}
		s.valid = s.pcnt > 0 && s.vcnt > 0 && padr && vadr;
		for (Int32 i = 0; s.valid && i < s.vcnt; ++i)
		{
			const CPolygon& q = vadr[i];
			s.valid = q.a >= 0 && q.b >= 0 && q.c >= 0 && q.d >= 0 && q.a < s.pcnt && q.b < s.pcnt && q.c < s.pcnt &&
				q.d < s.pcnt;
		}
		if (const UVWTag* uvw = static_cast<const UVWTag*>(poly->GetTag(Tuvw)))
			if (uvw->GetDataCount() == s.vcnt)
				s.uvw = uvw;
		_scene.shapes.push_back(s);
		known.push_back(static_cast<Int32>(_scene.shapes.size() - 1));
		return known.back();
	}

	void Emit(BaseObject* link, const PolygonObject* poly, const Matrix& mg, List tex,
		const RayObjectInstanceData* record = nullptr)
	{
		if (_collecting)
		{
			_collecting->push_back(Piece{link, poly, mg, tex});
			return;
		}
		const Int32 shape = ShapeOf(poly);
		if (!_scene.shapes[static_cast<size_t>(shape)].valid)
			return; // nothing to show, or corners that are not points of the object
		RayObject ro;
		ro.link = link;
		ro.instance = record;
		ro.mg = mg;
		ro.padr = poly->GetPointR();
		ro.pcnt = poly->GetPointCount();
		ro.vadr = poly->GetPolygonR();
		ro.vcnt = poly->GetPolygonCount();
		ro.texadr = tex->empty() ? nullptr : const_cast<TexData**>(tex->data());
		ro.texcnt = static_cast<Int32>(tex->size());
		_scene.objects.push_back(ro);
		_scene.shape_of.push_back(shape);
	}

	void Light(const BaseObject* op, const Matrix& mg)
	{
		const BaseContainer* bc = op->GetDataInstance();
		RenderLight l;
		l.type = bc->GetInt32(LIGHT_TYPE, LIGHT_TYPE_OMNI);
		l.position = mg.off;
		l.direction = Normalized(mg.v3);
		l.colour = bc->GetVector(LIGHT_COLOR, Vector(1.0, 1.0, 1.0)) * bc->GetFloat(LIGHT_BRIGHTNESS, 1.0);
		_scene.lights.push_back(l);
	}

	// op and its children. A linked object's own place and mode do not count: the instance places it.
	void Walk(BaseObject* op, const Matrix& parent_mg, bool parent_shown, List parent_tex, Int32 depth, bool linked)
	{
		const Int32 mode = op->GetRenderMode();
		const bool shown = linked || mode == MODE_ON || (mode == MODE_UNDEF && parent_shown);
		const Matrix mg = linked ? parent_mg : parent_mg * op->GetMl();
		const List tex = op->GetFirstTag() ? Join(parent_tex, OwnTags(op)) : parent_tex;
		if (op->GetType() == Olight && shown && !_collecting)
			Light(op, mg);
		const BaseObject* deformed = op->GetDeformCache();
		BaseObject* cache = op->GetCache();
		if (deformed)
		{
			if (shown && deformed->GetType() == Opolygon)
				Emit(op, static_cast<const PolygonObject*>(deformed), (cache ? mg : parent_mg) * deformed->GetMl(), tex);
		}
		else if (cache && IsPrimitive(op) && cache->GetType() == Opolygon)
		{
			// a primitive's polygons stand for the primitive itself: shaders read the primitive's
			// parameters from the render object's link
			if (shown)
				Emit(op, static_cast<const PolygonObject*>(cache), mg * cache->GetMl(), tex);
		}
		else if (cache)
		{
			// the generator counts as the parent of its result
			if (depth < kMaxNesting)
				Walk(cache, mg, shown, tex, depth + 1, false);
		}
		else if (op->GetType() == Opolygon)
		{
			if (shown)
				Emit(op, static_cast<const PolygonObject*>(op), mg, tex);
		}
		else if (op->GetType() == Oinstance && shown)
			Instance(op, mg, parent_tex, depth);
		for (BaseObject* c = op->GetDown(); c; c = c->GetNext())
			Walk(c, mg, shown, tex, depth, false);
	}

	// Materials: the instance's ancestors', the linked object's, then the instance's own.
	void Instance(BaseObject* op, const Matrix& mg, List ancestors, Int32 depth)
	{
		BaseObject* target = dynamic_cast<BaseObject*>(op->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK));
		if (!target || depth >= kMaxNesting)
			return;
		const std::vector<Piece>& pieces = PiecesOf(target, depth);
		if (pieces.empty())
			return;
		const List own = op->GetFirstTag() ? OwnTags(op) : _empty;
		const RayObjectInstanceData* record = nullptr;
		if (!_collecting &&
			op->GetDataInstance()->GetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE) == INSTANCEOBJECT_RENDERINSTANCE_MODE_SINGLEINSTANCE)
		{
			_scene.instances.push_back(RayObjectInstanceData{op, mg});
			record = &_scene.instances.back();
		}
		for (const Piece& piece : pieces)
			Emit(piece.link, piece.poly, mg * piece.local, Join(Join(ancestors, piece.tex), own), record);
	}

	// Gathered once per linked object; an object that (through its hierarchy) links itself gives nothing
	// the second time round.
	const std::vector<Piece>& PiecesOf(BaseObject* target, Int32 depth)
	{
		auto it = _pieces.find(target);
		if (it != _pieces.end())
			return it->second;
		std::vector<Piece>& pieces = _pieces[target];
		std::vector<Piece> gathered;
		std::vector<Piece>* outer = _collecting;
		_collecting = &gathered;
		Walk(target, Matrix(), true, _empty, depth + 1, true);
		_collecting = outer;
		pieces = std::move(gathered);
		return pieces;
	}
};

} // namespace

void BuildRenderScene(BaseDocument* doc, VolumeData::Render& scene)
{
	SceneBuilder builder(scene);
	builder.Run(doc->GetFirstObject());
}

BaseShader* ColourShaderOf(const BaseMaterial* mat)
{
	if (!mat || mat->GetType() != Mmaterial)
		return nullptr;
	return dynamic_cast<BaseShader*>(mat->GetDataInstance()->GetLink(MATERIAL_COLOR_SHADER, mat->GetDocument()));
}

} // namespace headless
