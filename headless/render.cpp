// render.cpp - the headless renderer: the render objects of the evaluated document rasterised into a
// z-buffer, then each covered pixel shaded once through its material.
//
// Why a z-buffer rather than a ray caster: the scenes it renders are up to a million small render
// instances of one shape. A rasteriser visits each render object once, in time linear in their count,
// with nothing to build beforehand and nothing to keep per instance beyond its render object; a ray
// caster would first need an acceleration structure over all instances (or their geometry flattened
// into one mesh, a copy per instance). Shading is deferred: the z-buffer keeps per pixel the depth,
// render object and polygon, and only the visible sample of each pixel is shaded.
#include "render_raster.h"

#include "c4d_polygon.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using headless::RenderShape;
using headless::ZBuffer;

namespace
{

// The largest picture the renderer makes; beyond it a render fails as out of memory.
constexpr Int64 kMaxPixels = Int64(1) << 25;
constexpr Int32 kMaxSide = 32768;

headless::RenderReport g_report;
Int32 g_threads = 0;

// Threads for a picture of this many rows: one per core unless set, at most one per row.
Int32 Threads(Int32 rows)
{
	const Int32 threads = g_threads > 0 ? g_threads : static_cast<Int32>(std::thread::hardware_concurrency());
	return std::max(1, std::min(threads, std::min(rows, 16)));
}

Vector Normalized(const Vector& v)
{
	const Float l = v.GetLength();
	return l > 0.0 ? v / l : v;
}

Vector Times(const Vector& a, const Vector& b)
{
	return Vector(a.x * b.x, a.y * b.y, a.z * b.z);
}

double SecondsSince(std::chrono::steady_clock::time_point t0)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Standard materials whose linked shader was prepared (InitRender), so that FreeRender reaches the same
// shader even when the link changed meanwhile.
std::mutex g_prepared_mutex;
std::map<const BaseMaterial*, std::pair<BaseShader*, UInt64>> g_prepared;

// Barycentric weights of p on triangle a, b, c (projected onto its plane); false for a degenerate one.
bool Barycentric(const Vector& a, const Vector& b, const Vector& c, const Vector& p, Float* wa, Float* wb, Float* wc)
{
	const Vector e0 = b - a, e1 = c - a, e2 = p - a;
	const Float d00 = Dot(e0, e0), d01 = Dot(e0, e1), d11 = Dot(e1, e1);
	const Float d20 = Dot(e2, e0), d21 = Dot(e2, e1);
	const Float den = d00 * d11 - d01 * d01;
	if (!(std::fabs(den) > 0.0))
		return false;
	*wb = (d11 * d20 - d01 * d21) / den;
	*wc = (d00 * d21 - d01 * d20) / den;
	*wa = 1.0 - *wb - *wc;
	return true;
}

// Fills the sample of pixel i from the z-buffer: the ray through the pixel centre meets the plane of the
// triangle the rasteriser kept there.
void Sample(const VolumeData::Render& scene, const ZBuffer& zb, size_t i, VolumeData* vd)
{
	const headless::Lens& lens = scene.lens;
	const Int32 index = zb.object[i], poly = zb.polygon[i];
	const RayObject& ro = scene.objects[static_cast<size_t>(index)];
	const RenderShape& shape = scene.shapes[static_cast<size_t>(scene.shape_of[static_cast<size_t>(index)])];
	const CPolygon& q = ro.vadr[poly];
	const Vector a = ro.mg * ro.padr[q.a];
	const Vector b = ro.mg * ro.padr[zb.half[i] ? q.c : q.b];
	const Vector c = ro.mg * ro.padr[zb.half[i] ? q.d : q.c];
	vd->x = static_cast<Int32>(i % static_cast<size_t>(zb.w));
	vd->y = static_cast<Int32>(i / static_cast<size_t>(zb.w));
	const Vector dir((vd->x + 0.5 - lens.w * 0.5) / lens.focal_px, -(vd->y + 0.5 - lens.h * 0.5) / lens.focal_px, 1.0);
	vd->ray_p = lens.camera.off;
	vd->ray_v = Normalized(lens.camera.TransformVector(dir));
	const Vector n = Cross(b - a, c - a);
	const Float den = Dot(n, vd->ray_v);
	if (std::fabs(den) > 1e-12 * n.GetLength())
		vd->p = vd->ray_p + vd->ray_v * (Dot(n, a - vd->ray_p) / den);
	else
		vd->p = vd->ray_p + vd->ray_v * (zb.depth[i] / Dot(vd->ray_v, lens.camera.v3));
	vd->orign = Normalized(n);
	vd->n = Dot(vd->orign, vd->ray_v) > 0.0 ? -vd->orign : vd->orign;
	vd->op = &ro;
	vd->lhit.object = index;
	vd->lhit.polygon = poly;
	vd->uvw = Vector();
	RayPolyWeight w;
	if (shape.uvw && vd->GetWeights(vd->lhit, vd->p, &w))
	{
		UVWStruct t;
		UVWTag::Get(shape.uvw->GetDataAddressR(), poly, t);
		vd->uvw = t.a * w.wa + t.b * w.wb + t.c * w.wc + t.d * w.wd;
	}
	vd->time = scene.time;
	vd->col = vd->trans = vd->refl = Vector();
	vd->alpha = 1.0;
	vd->tray = vd->rray = nullptr;
}

// The material that shows on a render object: the last of its list, else the render's default.
BaseMaterial* ShowingMaterial(const VolumeData::Render& scene, const RayObject& ro)
{
	return ro.texcnt > 0 && ro.texadr[ro.texcnt - 1] ? ro.texadr[ro.texcnt - 1]->mp : scene.default_material;
}

UChar Byte(Float c)
{
	return static_cast<UChar>(std::lround((c > 0.0 ? (c < 1.0 ? c : 1.0) : 0.0) * 255.0));
}

RENDERRESULT FromInit(INITRENDERRESULT r)
{
	switch (r)
	{
	case INITRENDERRESULT_OK:
		return RENDERRESULT_OK;
	case INITRENDERRESULT_ASSETMISSING:
		return RENDERRESULT_ASSETMISSING;
	case INITRENDERRESULT_USERBREAK:
		return RENDERRESULT_USERBREAK;
	default:
		return RENDERRESULT_OUTOFMEMORY;
	}
}

// A render from preparation to release: the materials prepared are released whatever happens.
class Render
{
public:
	Render(BaseDocument* doc, BaseBitmap* bmp, ProgressHook prog, void* prog_data)
		: _doc(doc), _bmp(bmp), _prog(prog), _prog_data(prog_data), _scene(std::make_shared<VolumeData::Render>())
	{
	}
	~Render()
	{
		for (BaseMaterial* mat : _prepared)
			mat->FreeRender();
		VolumeData::Free(_init_vd);
		BaseMaterial::Free(_scene->default_material);
	}

	RENDERRESULT Run(Int32 w, Int32 h)
	{
		using clock = std::chrono::steady_clock;
		headless::RenderReport& rep = g_report;
		rep = headless::RenderReport();
		rep.width = w;
		rep.height = h;
		if (!Progress(0.0))
			return RENDERRESULT_USERBREAK;

		auto t0 = clock::now();
		_scene->time = _doc->GetTime().Get();
		headless::BuildRenderScene(_doc, *_scene);
		LookThrough(w, h);
		rep.render_objects = static_cast<Int64>(_scene->objects.size());
		for (const RayObject& ro : _scene->objects)
			rep.instances += ro.instance ? 1 : 0;
		rep.lights = static_cast<Int64>(_scene->lights.size());
		rep.camera = _scene->lens.camera;
		rep.focal_px = _scene->lens.focal_px;
		rep.seconds_geometry = SecondsSince(t0);

		const RENDERRESULT prepared = Prepare();
		if (prepared != RENDERRESULT_OK)
			return prepared;
		if (!Progress(0.1))
			return RENDERRESULT_USERBREAK;

		t0 = clock::now();
		headless::ZBuffer zb;
		zb.Init(w, h);
		if (!headless::Rasterise(*_scene, zb, Threads(h), &rep.triangles, [this](Float done) { return Progress(0.1 + 0.4 * done); }))
			return RENDERRESULT_USERBREAK;
		rep.seconds_raster = SecondsSince(t0);

		t0 = clock::now();
		std::vector<Vector> colour;
		if (!Shade(zb, &colour))
			return RENDERRESULT_USERBREAK;
		rep.seconds_shade = SecondsSince(t0);

		rep.seen.assign(zb.object.size(), nullptr);
		rep.depth = zb.depth;
		for (size_t i = 0; i < zb.object.size(); ++i)
		{
			const Int32 x = static_cast<Int32>(i % static_cast<size_t>(w)), y = static_cast<Int32>(i / static_cast<size_t>(w));
			if (zb.object[i] < 0)
				continue;
			++rep.samples;
			const RayObject& ro = _scene->objects[static_cast<size_t>(zb.object[i])];
			rep.seen[i] = ro.instance && ro.instance->link ? ro.instance->link : ro.link;
			const Vector& c = colour[i];
			_bmp->SetPixel(x, y, Byte(c.x), Byte(c.y), Byte(c.z));
		}
		Progress(1.0);
		return RENDERRESULT_OK;
	}

private:
	BaseDocument* _doc;
	BaseBitmap* _bmp;
	ProgressHook _prog;
	void* _prog_data;
	std::shared_ptr<VolumeData::Render> _scene;
	std::vector<BaseMaterial*> _prepared;
	VolumeData* _init_vd = nullptr;

	bool Progress(Float done)
	{
		return !_prog || _prog(done, _prog_data);
	}

	// The scene camera, else the editor camera framing every render object.
	void LookThrough(Int32 w, Int32 h)
	{
		headless::Lens& lens = _scene->lens;
		lens.w = w;
		lens.h = h;
		BaseDraw* bd = _doc->GetRenderBaseDraw();
		if (BaseObject* cam = bd->GetSceneCamera(_doc))
		{
			lens.LookThrough(cam);
			return;
		}
		Vector lo(std::numeric_limits<Float>::max()), hi(-std::numeric_limits<Float>::max());
		for (size_t i = 0; i < _scene->objects.size(); ++i)
		{
			const RayObject& ro = _scene->objects[i];
			const RenderShape& s = _scene->shapes[static_cast<size_t>(_scene->shape_of[i])];
			for (Int32 k = 0; k < 8; ++k)
			{
				const Vector v = ro.mg * Vector(k & 1 ? s.hi.x : s.lo.x, k & 2 ? s.hi.y : s.lo.y, k & 4 ? s.hi.z : s.lo.z);
				lo = Vector(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
				hi = Vector(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
			}
		}
		BaseObject* editor = bd->GetEditorCamera();
		editor->SetMg(headless::FrameEditorCamera(lo, hi, w, h));
		lens.LookThrough(editor);
	}

	// InitRender on every material of the document, those the render objects use and the default one.
	RENDERRESULT Prepare()
	{
		_scene->default_material = BaseMaterial::Alloc(Mmaterial);
		std::vector<BaseMaterial*> mats;
		std::set<const BaseMaterial*> seen;
		auto add = [&](BaseMaterial* m) {
			if (m && seen.insert(m).second)
				mats.push_back(m);
		};
		for (BaseMaterial* m = _doc->GetFirstMaterial(); m; m = m->GetNext())
			add(m);
		for (const TexData& td : _scene->texdata)
			add(td.mp);
		add(_scene->default_material);
		for (BaseMaterial* m : mats)
			_scene->colour_shader[m] = headless::ColourShaderOf(m);
		// kept until the end of the render: a material may hold on to what InitRender handed it
		_init_vd = VolumeData::Alloc();
		VolumeData* vd = _init_vd;
		vd->render = _scene;
		InitRenderStruct irs;
		irs.doc = _doc;
		irs.time = _doc->GetTime();
		irs.fps = _doc->GetFps();
		irs.vd = vd;
		RENDERRESULT result = RENDERRESULT_OK;
		for (BaseMaterial* m : mats)
		{
			_prepared.push_back(m);
			const INITRENDERRESULT r = m->InitRender(irs);
			if (r != INITRENDERRESULT_OK)
			{
				result = FromInit(r);
				break;
			}
			_scene->render_info[m] = m->GetRenderInfo();
		}
		return result;
	}

	// Each covered pixel once, rows shared among the threads; every pixel's colour depends on that
	// pixel alone, so the picture is the same whatever the thread count.
	bool Shade(const ZBuffer& zb, std::vector<Vector>* colour)
	{
		colour->assign(zb.object.size(), Vector());
		const Int32 h = zb.h;
		std::atomic<Int32> next{0}, done{0};
		std::atomic<bool> stop{false};
		auto work = [&](bool main) {
			VolumeData* vd = VolumeData::Alloc();
			vd->render = _scene;
			for (Int32 y = next++; y < h && !stop; y = next++)
			{
				for (size_t i = static_cast<size_t>(y) * static_cast<size_t>(zb.w); i < static_cast<size_t>(y + 1) * static_cast<size_t>(zb.w); ++i)
				{
					if (zb.object[i] < 0)
						continue;
					Sample(*_scene, zb, i, vd);
					BaseMaterial* mat = ShowingMaterial(*_scene, *vd->op);
					auto found = _scene->render_info.find(mat);
					const Int32 info = found != _scene->render_info.end() ? found->second : 0;
					if (info & VOLUMEINFO_INITCALCULATION)
						mat->InitCalculation(vd, INITCALCULATION_SURFACE);
					if (info & VOLUMEINFO_ALPHA)
						mat->CalcAlpha(vd);
					mat->CalcSurface(vd);
					if (info & VOLUMEINFO_VOLUMETRIC)
						mat->CalcVolumetric(vd);
					(*colour)[i] = vd->col;
				}
				++done;
				if (main && !Progress(0.5 + 0.5 * done / h))
					stop = true;
			}
			VolumeData::Free(vd);
		};
		const Int32 threads = Threads(h);
		std::vector<std::thread> helpers;
		for (Int32 t = 1; t < threads; ++t)
			helpers.emplace_back(work, false);
		work(true);
		for (std::thread& t : helpers)
			t.join();
		return !stop;
	}
};

} // namespace

// --- a sample and the render behind it

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
	return render ? static_cast<Int32>(render->objects.size()) : 0;
}

const RayObject* VolumeData::GetObj(Int32 i) const
{
	if (!render || i < 0 || i >= GetObjCount())
		return nullptr;
	return &render->objects[static_cast<size_t>(i)];
}

Bool VolumeData::GetWeights(const RayHitID& hit, const Vector& point, RayPolyWeight* wgt) const
{
	const RayObject* ro = GetObj(hit.object);
	if (!ro || !wgt || hit.polygon < 0 || hit.polygon >= ro->vcnt)
		return false;
	const CPolygon& q = ro->vadr[hit.polygon];
	const Vector a = ro->mg * ro->padr[q.a], b = ro->mg * ro->padr[q.b], c = ro->mg * ro->padr[q.c];
	Float wa, wb, wc;
	const bool first = Barycentric(a, b, c, point, &wa, &wb, &wc);
	*wgt = RayPolyWeight();
	if (q.c == q.d)
	{
		if (!first)
			return false;
		wgt->wa = wa;
		wgt->wb = wb;
		wgt->wc = wc;
		return true;
	}
	// a quad: the triangle (a, b, c) or (a, c, d) that holds the point, the nearer one when neither does
	const Vector d = ro->mg * ro->padr[q.d];
	Float xa, xc, xd;
	const bool second = Barycentric(a, c, d, point, &xa, &xc, &xd);
	if (!first && !second)
		return false;
	const Float worst1 = first ? std::min({wa, wb, wc}) : -std::numeric_limits<Float>::infinity();
	const Float worst2 = second ? std::min({xa, xc, xd}) : -std::numeric_limits<Float>::infinity();
	if (worst1 >= worst2)
	{
		wgt->wa = wa;
		wgt->wb = wb;
		wgt->wc = wc;
	}
	else
	{
		wgt->wa = xa;
		wgt->wc = xc;
		wgt->wd = xd;
	}
	return true;
}

Vector VolumeData::Illuminate(const Vector& point, const Vector& normal) const
{
	if (!render)
		return Vector(1.0, 1.0, 1.0);
	if (render->lights.empty())
		return Vector(std::max(0.0, -Dot(normal, render->lens.camera.v3)));
	Vector sum;
	for (const headless::RenderLight& l : render->lights)
	{
		// a spot lights as an omni light: no cone
		const Vector to_light = l.type == LIGHT_TYPE_DISTANT ? -l.direction : Normalized(l.position - point);
		sum += l.colour * std::max(0.0, Dot(normal, to_light));
	}
	return sum;
}

// --- the standard material

INITRENDERRESULT headless::StandardInitRender(BaseMaterial* mat, const InitRenderStruct& irs)
{
	BaseShader* sh = ColourShaderOf(mat);
	if (!sh)
		return INITRENDERRESULT_OK;
	{
		std::lock_guard<std::mutex> lock(g_prepared_mutex);
		g_prepared[mat] = {sh, NodeSerial(sh)};
	}
	return sh->InitRender(irs);
}

void headless::StandardFreeRender(BaseMaterial* mat)
{
	BaseShader* sh = nullptr;
	{
		std::lock_guard<std::mutex> lock(g_prepared_mutex);
		auto it = g_prepared.find(mat);
		if (it == g_prepared.end())
			return;
		if (NodeSerial(it->second.first) == it->second.second)
			sh = it->second.first;
		g_prepared.erase(it);
	}
	if (sh)
		sh->FreeRender();
}

void headless::StandardSurface(BaseMaterial* mat, VolumeData* vd)
{
	BaseShader* sh = nullptr;
	if (vd->render)
	{
		auto it = vd->render->colour_shader.find(mat);
		sh = it != vd->render->colour_shader.end() ? it->second : ColourShaderOf(mat);
	}
	else
		sh = ColourShaderOf(mat);
	Vector col;
	if (sh)
	{
		ChannelData cd;
		cd.p = vd->uvw;
		cd.n = vd->n;
		cd.d = vd->ray_v;
		cd.t = vd->time;
		cd.vd = vd;
		col = sh->Sample(&cd);
	}
	else
		col = mat->GetDataInstance()->GetVector(MATERIAL_COLOR_COLOR, Vector(0.8, 0.8, 0.8));
	vd->col = Times(col, vd->Illuminate(vd->p, vd->n));
	vd->trans = Vector();
	vd->refl = Vector();
}

// --- the render

RENDERRESULT RenderDocument(BaseDocument* doc, const BaseContainer& rdata, ProgressHook prog, void* private_data,
	BaseBitmap* bmp, Int32 renderflags, BaseThread* th)
{
	(void)renderflags;
	const Float xres = rdata.GetFloat(RDATA_XRES, 0.0), yres = rdata.GetFloat(RDATA_YRES, 0.0);
	if (!doc || !bmp || !(xres >= 1.0 && yres >= 1.0 && xres <= kMaxSide && yres <= kMaxSide))
		return RENDERRESULT_OUTOFMEMORY;
	const Int32 w = static_cast<Int32>(std::lround(xres)), h = static_cast<Int32>(std::lround(yres));
	if (static_cast<Int64>(w) * h > kMaxPixels || bmp->Init(w, h, 24) != IMAGERESULT_OK)
		return RENDERRESULT_OUTOFMEMORY;
	RENDERRESULT result = RENDERRESULT_OK;
	headless::NotifyRender(doc, true);
	try
	{
		const auto t0 = std::chrono::steady_clock::now();
		doc->ExecutePasses(th, true, true, true, 0);
		const double evaluate = SecondsSince(t0);
		Render render(doc, bmp, prog, private_data);
		result = render.Run(w, h);
		g_report.seconds_evaluate = evaluate;
	}
	catch (const std::bad_alloc&)
	{
		result = RENDERRESULT_OUTOFMEMORY;
	}
	headless::NotifyRender(doc, false);
	return result;
}

void headless::SetRenderThreads(Int32 threads)
{
	g_threads = threads;
}

BaseDraw* BaseDocument::GetActiveBaseDraw()
{
	if (!_draw)
		_draw = headless::NewDocumentDraw(this);
	return _draw;
}

BaseDraw* BaseDocument::GetRenderBaseDraw()
{
	return GetActiveBaseDraw();
}

const headless::RenderReport& headless::LastRender()
{
	return g_report;
}

bool headless::RenderReport::Project(const Vector& global, Float* x, Float* y) const
{
	const Vector e = ~camera * global;
	if (e.z < kNearPlane)
		return false;
	*x = width * 0.5 + focal_px * e.x / e.z;
	*y = height * 0.5 - focal_px * e.y / e.z;
	return true;
}

const BaseObject* headless::RenderReport::SeenAt(Int32 x, Int32 y) const
{
	if (x < 0 || y < 0 || x >= width || y >= height || seen.empty())
		return nullptr;
	return seen[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}
