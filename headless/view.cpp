// view.cpp - the headless viewport: a camera, a depth-tested RGB image, the host's own drawing of polygon
// objects and particle groups, and the drawing calls objects make for themselves.
#include "camera.h"
#include "headless.h"
#include "host_state.h"

#include "c4d_camera.h"
#include "c4d_particles.h"
#include "c4d_polygon.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace
{

constexpr float kFar = std::numeric_limits<float>::infinity();
constexpr Float kNear = headless::kNearPlane;
const Vector kBackground(0.24, 0.24, 0.24);
const Vector kSurface(0.75, 0.75, 0.75);
// Particles the host draws itself, for groups whose display asks it to.
const Vector kHostParticle(1.0, 1.0, 1.0);

Vector Normalized(const Vector& v)
{
	const Float l = v.GetLength();
	return l > 0.0 ? v / l : v;
}

UChar Byte(Float c)
{
	return static_cast<UChar>(std::lround(std::min(1.0, std::max(0.0, c)) * 255.0));
}

// The same for a float colour, without the call: c * 255 is exact in a double, so adding a half and
// truncating rounds it as lround does. NaN reads as 0, as above.
UChar Byte(Float32 c)
{
	const double v = c > 0.0f ? (c < 1.0f ? static_cast<double>(c) * 255.0 : 255.0) : 0.0;
	return static_cast<UChar>(static_cast<int>(v + 0.5));
}

} // namespace

// What a view draws into and looks through.
struct BaseDraw::Port : headless::Lens
{
	std::vector<UChar> rgb;
	std::vector<float> depth;
	BaseDocument* doc = nullptr;
	BaseObject* scene_camera = nullptr;
	BaseObject* editor_camera = nullptr; // owned
	// A document's own view answers the document's first camera whenever it is asked.
	const BaseDocument* owner = nullptr;
	Matrix draw;
	Vector pen{1.0, 1.0, 1.0};
	// cosine and sine of each step round a circle of ring.size() segments
	std::vector<std::pair<Float, Float>> ring;

	void Plot(Int32 x, Int32 y, Float z, const Vector& col, bool test = true)
	{
		if (x < 0 || y < 0 || x >= w || y >= h)
			return;
		const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
		// lines and points on a surface show: a small allowance in front of what is there
		const float zf = static_cast<float>(z);
		if (test && !(zf <= depth[i] * 1.0001f + 0.001f))
			return;
		depth[i] = std::min(depth[i], zf);
		rgb[3 * i] = Byte(col.x);
		rgb[3 * i + 1] = Byte(col.y);
		rgb[3 * i + 2] = Byte(col.z);
	}

	void Line(const Vector& a, const Vector& b, const Vector& col, bool test)
	{
		Vector ea = Eye(a), eb = Eye(b);
		if (ea.z < kNear && eb.z < kNear)
			return;
		// cut at the near plane: the part behind the camera does not project
		if (ea.z < kNear)
			ea = ea + (eb - ea) * ((kNear - ea.z) / (eb.z - ea.z));
		else if (eb.z < kNear)
			eb = eb + (ea - eb) * ((kNear - eb.z) / (ea.z - eb.z));
		const Vector sa = Screen(ea), sb = Screen(eb);
		const Float dx = sb.x - sa.x, dy = sb.y - sa.y;
		const Float span = std::max(std::fabs(dx), std::fabs(dy));
		if (!(span < 1e6))
			return; // a line across a million pixels is off any image
		const Int32 steps = std::max<Int32>(1, static_cast<Int32>(std::ceil(span)));
		for (Int32 k = 0; k <= steps; ++k)
		{
			const Float t = static_cast<Float>(k) / steps;
			// depth is linear in 1/z across the screen
			const Float z = 1.0 / ((1.0 - t) / sa.z + t / sb.z);
			Plot(static_cast<Int32>(std::floor(sa.x + dx * t)), static_cast<Int32>(std::floor(sa.y + dy * t)), z, col, test);
		}
	}

	void Triangle(const Vector& a, const Vector& b, const Vector& c)
	{
		const Vector ea = Eye(a), eb = Eye(b), ec = Eye(c);
		// a triangle reaching behind the camera is left out rather than clipped
		if (ea.z < kNear || eb.z < kNear || ec.z < kNear)
			return;
		const Vector sa = Screen(ea), sb = Screen(eb), sc = Screen(ec);
		const Float area = (sb.x - sa.x) * (sc.y - sa.y) - (sb.y - sa.y) * (sc.x - sa.x);
		if (area == 0.0 || !std::isfinite(area))
			return;
		const Vector n = Normalized(Cross(b - a, c - a));
		const Vector view = Normalized((a + b + c) / 3.0 - camera.off);
		const Vector col = kSurface * (0.2 + 0.8 * std::fabs(Dot(n, view)));
		const Int32 x0 = std::max<Int32>(0, static_cast<Int32>(std::floor(std::min({sa.x, sb.x, sc.x}))));
		const Int32 x1 = std::min<Int32>(w - 1, static_cast<Int32>(std::ceil(std::max({sa.x, sb.x, sc.x}))));
		const Int32 y0 = std::max<Int32>(0, static_cast<Int32>(std::floor(std::min({sa.y, sb.y, sc.y}))));
		const Int32 y1 = std::min<Int32>(h - 1, static_cast<Int32>(std::ceil(std::max({sa.y, sb.y, sc.y}))));
		for (Int32 y = y0; y <= y1; ++y)
			for (Int32 x = x0; x <= x1; ++x)
			{
				const Float px = x + 0.5, py = y + 0.5;
				const Float wa = ((sb.x - px) * (sc.y - py) - (sb.y - py) * (sc.x - px)) / area;
				const Float wb = ((sc.x - px) * (sa.y - py) - (sc.y - py) * (sa.x - px)) / area;
				const Float wc = 1.0 - wa - wb;
				if (wa < 0.0 || wb < 0.0 || wc < 0.0)
					continue;
				Plot(x, y, 1.0 / (wa / sa.z + wb / sb.z + wc / sc.z), col, true);
			}
	}

	void Clear()
	{
		rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
		depth.assign(static_cast<size_t>(w) * static_cast<size_t>(h), kFar);
		for (size_t i = 0; i < depth.size(); ++i)
		{
			rgb[3 * i] = Byte(kBackground.x);
			rgb[3 * i + 1] = Byte(kBackground.y);
			rgb[3 * i + 2] = Byte(kBackground.z);
		}
	}
};

struct ViewAccess
{
	static BaseDraw* Make() { return new BaseDraw(); }
	static BaseDraw::Port& PortOf(BaseDraw* bd) { return *bd->_port; }
	static const BaseDraw::Port& PortOf(const BaseDraw* bd) { return *bd->_port; }
};

BaseDraw::BaseDraw() : BaseList2D(0), _port(new Port())
{
	_bc.SetInt32(BASEDRAW_DRAWPORTTYPE, DRAWPORT_TYPE_ENHANCED);
	_port->editor_camera = BaseObject::Alloc(Ocamera);
}

BaseDraw::~BaseDraw()
{
	BaseObject::Free(_port->editor_camera);
	delete _port;
}

BaseObject* BaseDraw::GetSceneCamera(const BaseDocument* doc) const
{
	if (doc && doc == _port->owner)
		return headless::FirstCamera(doc->GetFirstObject());
	return doc && doc == _port->doc ? _port->scene_camera : nullptr;
}

BaseDraw* headless::NewDocumentDraw(const BaseDocument* doc)
{
	BaseDraw* bd = ViewAccess::Make();
	auto& p = ViewAccess::PortOf(bd);
	p.owner = doc;
	p.editor_camera->SetMg(headless::EditorAxes());
	return bd;
}

BaseObject* BaseDraw::GetEditorCamera() const
{
	return _port->editor_camera;
}

void BaseDraw::SetMatrix_Matrix(BaseObject* op, const Matrix& mg)
{
	(void)op;
	_port->draw = mg;
}

void BaseDraw::SetPen(const Vector& col, Int32 flags)
{
	(void)flags;
	_port->pen = col;
}

void BaseDraw::DrawPointArray(Int32 cnt, const Vector32* vp, const Float32* vc, Int32 colcnt, const Vector32* vn)
{
	(void)vn;
	if (!vp || cnt <= 0)
		return;
	Port& p = *_port;
	const Matrix m = p.to_camera * p.draw;
	const bool coloured = vc && colcnt >= 3;
	const UChar pen[3] = {Byte(p.pen.x), Byte(p.pen.y), Byte(p.pen.z)};
	// A million points land all over a large image: each batch is projected first and its pixels fetched
	// ahead, then plotted in the order given, so that what a later point covers is the same as one by one.
	constexpr Int32 kBatch = 64;
	struct Hit
	{
		size_t pixel;
		float z;
		Int32 point;
	};
	Hit hits[kBatch];
	for (Int32 start = 0; start < cnt; start += kBatch)
	{
		const Int32 stop = std::min(cnt, start + kBatch);
		Int32 found = 0;
		for (Int32 i = start; i < stop; ++i)
		{
			const Vector e = m * Vector(vp[i].x, vp[i].y, vp[i].z);
			if (e.z < kNear)
				continue;
			const Vector s = p.Screen(e);
			if (!(std::fabs(s.x) < 1e9 && std::fabs(s.y) < 1e9))
				continue;
			const Int32 x = static_cast<Int32>(std::floor(s.x)), y = static_cast<Int32>(std::floor(s.y));
			if (x < 0 || y < 0 || x >= p.w || y >= p.h)
				continue;
			const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(p.w) + static_cast<size_t>(x);
			__builtin_prefetch(&p.depth[pixel], 1);
			__builtin_prefetch(&p.rgb[3 * pixel], 1);
			hits[found++] = {pixel, static_cast<float>(s.z), i};
		}
		for (Int32 k = 0; k < found; ++k)
		{
			const Hit& h = hits[k];
			float& depth = p.depth[h.pixel];
			// as Plot: a small allowance in front of what is there
			if (!(h.z <= depth * 1.0001f + 0.001f))
				continue;
			depth = std::min(depth, h.z);
			UChar* out = &p.rgb[3 * h.pixel];
			if (coloured)
			{
				const Float32* c = &vc[static_cast<size_t>(h.point) * static_cast<size_t>(colcnt)];
				out[0] = Byte(c[0]);
				out[1] = Byte(c[1]);
				out[2] = Byte(c[2]);
			}
			else
				std::copy(pen, pen + 3, out);
		}
	}
}

void BaseDraw::DrawCircle(const Matrix& m)
{
	Port& p = *_port;
	const Matrix g = p.draw * m;
	// enough segments that the outline stays round at its size on the image
	const Vector c = p.Eye(g.off);
	Int32 segments = 32;
	if (c.z > kNear)
	{
		const Float r = p.focal_px * std::max(g.v1.GetLength(), g.v2.GetLength()) / c.z;
		segments = std::max<Int32>(8, std::min<Int32>(256, static_cast<Int32>(r)));
	}
	// a million small circles share a few segment counts: their angles are worked out once per count
	if (static_cast<Int32>(p.ring.size()) != segments)
	{
		p.ring.resize(static_cast<size_t>(segments));
		for (Int32 k = 1; k <= segments; ++k)
		{
			const Float a = 2.0 * M_PI * k / segments;
			p.ring[static_cast<size_t>(k - 1)] = {std::cos(a), std::sin(a)};
		}
	}
	Vector last = g.off + g.v1;
	for (Int32 k = 1; k <= segments; ++k)
	{
		const auto& [cos_a, sin_a] = p.ring[static_cast<size_t>(k - 1)];
		const Vector next = g.off + g.v1 * cos_a + g.v2 * sin_a;
		p.Line(last, next, p.pen, true);
		last = next;
	}
}

void BaseDraw::DrawLine(const Vector& p1, const Vector& p2, Int32 flags)
{
	Port& p = *_port;
	p.Line(p.draw * p1, p.draw * p2, p.pen, !(flags & (NOCLIP_D | NOCLIP_Z)));
}

Vector BaseDraw::WS(const Vector& q) const
{
	const Vector e = _port->Eye(q);
	return e.z > 0.0 ? _port->Screen(e) : Vector(0.0, 0.0, e.z);
}

Matrix BaseDrawHelp::GetMg() const
{
	return _op ? _op->GetMg() : Matrix();
}

// --- the driver's side

namespace headless
{

namespace
{

template <typename F>
void EachPolygonObject(const BaseObject* op, const F& f)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == Opolygon)
			f(static_cast<const PolygonObject*>(op));
		EachPolygonObject(op->GetDown(), f);
	}
}

template <typename F>
void EachLivingParticle(BaseDocument* doc, const F& f)
{
	TP_MasterSystem* master = GetThinkingParticlesMaster(doc);
	if (!master)
		return;
	for (Int32 id = 0; id < master->NumParticles(); ++id)
		if (master->Alive(id))
			f(master, id);
}

template <typename F>
void EachObject(BaseObject* op, const F& f)
{
	for (; op; op = op->GetNext())
	{
		f(op);
		EachObject(op->GetDown(), f);
	}
}

} // namespace

View::View(Int32 width, Int32 height) : _bd(ViewAccess::Make())
{
	auto& p = ViewAccess::PortOf(_bd);
	p.w = std::max<Int32>(1, width);
	p.h = std::max<Int32>(1, height);
	p.Clear();
}

View::~View()
{
	delete _bd;
}

Int32 View::Width() const
{
	return ViewAccess::PortOf(_bd).w;
}

Int32 View::Height() const
{
	return ViewAccess::PortOf(_bd).h;
}

void View::DrawDocument(BaseDocument* doc)
{
	auto& p = ViewAccess::PortOf(_bd);
	p.Clear();
	p.doc = doc;
	p.scene_camera = doc ? FirstCamera(doc->GetFirstObject()) : nullptr;
	BaseDocument* shown = doc ? doc->Polygonize() : nullptr;

	// The editor camera looks from the front, above and to the left at everything there is to see.
	Vector lo(std::numeric_limits<Float>::max()), hi(-std::numeric_limits<Float>::max());
	auto grow = [&](const Vector& v) {
		lo = Vector(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
		hi = Vector(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
	};
	if (shown)
		EachPolygonObject(shown->GetFirstObject(), [&](const PolygonObject* op) {
			const Matrix mg = op->GetMg();
			for (Int32 i = 0; i < op->GetPointCount(); ++i)
				grow(mg * op->GetPointR()[i]);
		});
	if (doc)
		EachLivingParticle(doc, [&](TP_MasterSystem* m, Int32 id) { grow(m->Position(id)); });
	p.editor_camera->SetMg(FrameEditorCamera(lo, hi, p.w, p.h));
	p.LookThrough(p.scene_camera ? p.scene_camera : p.editor_camera);

	// what the host draws itself: surfaces, then the particles of groups that leave their drawing to it
	if (shown)
		EachPolygonObject(shown->GetFirstObject(), [&](const PolygonObject* op) {
			const Matrix mg = op->GetMg();
			const Vector* pts = op->GetPointR();
			const Int32 n = op->GetPointCount();
			const CPolygon* polys = op->GetPolygonR();
			for (Int32 i = 0; i < op->GetPolygonCount(); ++i)
			{
				const CPolygon& q = polys[i];
				if (q.a < 0 || q.b < 0 || q.c < 0 || q.d < 0 || q.a >= n || q.b >= n || q.c >= n || q.d >= n)
					continue;
				p.Triangle(mg * pts[q.a], mg * pts[q.b], mg * pts[q.c]);
				if (q.c != q.d)
					p.Triangle(mg * pts[q.a], mg * pts[q.c], mg * pts[q.d]);
			}
		});
	BaseDocument::Free(shown);
	if (doc)
		EachLivingParticle(doc, [&](TP_MasterSystem* m, Int32 id) {
			const TP_PGroup* g = m->Group(id);
			if (g && g->GetViewType() == TP_PGROUP_VIEW_DEFAULT)
			{
				const Vector e = p.Eye(m->Position(id));
				if (e.z >= kNear)
				{
					const Vector s = p.Screen(e);
					p.Plot(static_cast<Int32>(std::floor(s.x)), static_cast<Int32>(std::floor(s.y)), s.z, kHostParticle);
				}
			}
		});

	// then every object draws itself, in every pass, as the host asks
	_results.clear();
	if (doc)
		EachObject(doc->GetFirstObject(), [&](BaseObject* op) {
			ObjectData* data = dynamic_cast<ObjectData*>(op->GetNodeData());
			if (!data)
				return;
			BaseDrawHelp bh(_bd, op);
			for (DRAWPASS pass : {DRAWPASS_OBJECT, DRAWPASS_BOX, DRAWPASS_HANDLES, DRAWPASS_HIGHLIGHTS})
			{
				_bd->SetMatrix_Matrix(op, Matrix());
				_bd->SetPen(Vector(1.0, 1.0, 1.0));
				_results.push_back({op, pass, data->Draw(op, pass, _bd, &bh)});
			}
		});
	p.scene_camera = nullptr;
	p.doc = nullptr;
}

bool View::Pixel(Int32 x, Int32 y, UChar rgb[3]) const
{
	const auto& p = ViewAccess::PortOf(_bd);
	if (x < 0 || y < 0 || x >= p.w || y >= p.h)
		return false;
	const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(p.w) + static_cast<size_t>(x));
	std::copy(&p.rgb[i], &p.rgb[i] + 3, rgb);
	return true;
}

float View::Depth(Int32 x, Int32 y) const
{
	const auto& p = ViewAccess::PortOf(_bd);
	if (x < 0 || y < 0 || x >= p.w || y >= p.h)
		return kFar;
	return p.depth[static_cast<size_t>(y) * static_cast<size_t>(p.w) + static_cast<size_t>(x)];
}

bool View::Project(const Vector& global, Float* x, Float* y) const
{
	const auto& p = ViewAccess::PortOf(_bd);
	const Vector e = p.Eye(global);
	if (e.z < kNear)
		return false;
	const Vector s = p.Screen(e);
	*x = s.x;
	*y = s.y;
	return true;
}

Matrix View::Camera() const
{
	return ViewAccess::PortOf(_bd).camera;
}

void View::Background(UChar rgb[3])
{
	rgb[0] = Byte(kBackground.x);
	rgb[1] = Byte(kBackground.y);
	rgb[2] = Byte(kBackground.z);
}

bool View::WritePng(const std::string& path, std::string* error) const
{
	const auto& p = ViewAccess::PortOf(_bd);
	return WritePngFile(path, p.w, p.h, p.rgb.data(), error);
}

bool WritePngFile(const std::string& path, Int32 w, Int32 h, const UChar* rgb, std::string* error)
{
	// written under a temporary name and renamed when whole: an interrupted write leaves no broken picture
	const std::string part = path + ".part";
	png_image image{};
	image.version = PNG_IMAGE_VERSION;
	image.width = static_cast<png_uint_32>(w);
	image.height = static_cast<png_uint_32>(h);
	image.format = PNG_FORMAT_RGB;
	const bool ok = png_image_write_to_file(&image, part.c_str(), 0, rgb, 0, nullptr) != 0;
	const std::string reason = image.message;
	png_image_free(&image);
	if (!ok || std::rename(part.c_str(), path.c_str()) != 0)
	{
		std::remove(part.c_str());
		if (error)
			*error = ok ? "cannot rename the written picture into place" : reason;
		return false;
	}
	return true;
}

} // namespace headless
