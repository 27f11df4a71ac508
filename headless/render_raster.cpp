// render_raster.cpp - the z-buffer pass of the headless renderer.
#include "render_raster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace headless
{

void ZBuffer::Init(Int32 width, Int32 height)
{
	w = width;
	h = height;
	const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
	depth.assign(n, std::numeric_limits<float>::infinity());
	object.assign(n, -1);
	polygon.assign(n, -1);
	half.assign(n, 0);
}

namespace
{

class Rasteriser
{
public:
	// Draws into the rows top .. bottom - 1 only.
	Rasteriser(const VolumeData::Render& scene, ZBuffer& zb, Int32 top, Int32 bottom)
		: _scene(scene), _lens(scene.lens), _zb(zb), _top(top), _bottom(bottom)
	{
	}

	Int64 triangles = 0;

	void Object(Int32 index)
	{
		const RayObject& ro = _scene.objects[static_cast<size_t>(index)];
		const RenderShape& shape = _scene.shapes[static_cast<size_t>(_scene.shape_of[static_cast<size_t>(index)])];
		const Matrix m = _lens.to_camera * ro.mg;
		if (!Visible(shape, m))
			return;
		_eye.resize(static_cast<size_t>(ro.pcnt));
		for (Int32 i = 0; i < ro.pcnt; ++i)
			_eye[static_cast<size_t>(i)] = m * ro.padr[i];
		for (Int32 i = 0; i < ro.vcnt; ++i)
		{
			const CPolygon& q = ro.vadr[i];
			Triangle(_eye[static_cast<size_t>(q.a)], _eye[static_cast<size_t>(q.b)], _eye[static_cast<size_t>(q.c)], index, i, 0);
			if (q.c != q.d)
				Triangle(_eye[static_cast<size_t>(q.a)], _eye[static_cast<size_t>(q.c)], _eye[static_cast<size_t>(q.d)], index, i, 1);
		}
	}

private:
	const VolumeData::Render& _scene;
	const Lens& _lens;
	ZBuffer& _zb;
	const Int32 _top, _bottom;
	std::vector<Vector> _eye;

	// Whether the shape's bounding sphere (in camera space through m) can cover a pixel centre: most of
	// a million small instances are settled here without touching their points.
	bool Visible(const RenderShape& shape, const Matrix& m) const
	{
		const Vector c = m * ((shape.lo + shape.hi) * 0.5);
		const Float scale = std::max({m.v1.GetLength(), m.v2.GetLength(), m.v3.GetLength()});
		const Float r = (shape.hi - shape.lo).GetLength() * 0.5 * scale * 1.0001 + 1e-9;
		if (!(c.z + r >= kNearPlane))
			return false;
		if (c.z - r <= kNearPlane)
			return true; // reaches the near plane: left to clipping
		// x / z over the sphere's box is extreme at its corners (z > 0 throughout)
		const Float z0 = c.z - r, z1 = c.z + r;
		const Float xl = std::min((c.x - r) / z0, (c.x - r) / z1), xh = std::max((c.x + r) / z0, (c.x + r) / z1);
		const Float yl = std::min((c.y - r) / z0, (c.y - r) / z1), yh = std::max((c.y + r) / z0, (c.y + r) / z1);
		const Float sx0 = _lens.w * 0.5 + _lens.focal_px * xl, sx1 = _lens.w * 0.5 + _lens.focal_px * xh;
		const Float sy0 = _lens.h * 0.5 - _lens.focal_px * yh, sy1 = _lens.h * 0.5 - _lens.focal_px * yl;
		const Float px0 = std::max(0.0, std::ceil(sx0 - 0.5)), px1 = std::min(_lens.w - 1.0, std::floor(sx1 - 0.5));
		const Float py0 = std::max<Float>(_top, std::ceil(sy0 - 0.5)), py1 = std::min<Float>(_bottom - 1, std::floor(sy1 - 0.5));
		return px0 <= px1 && py0 <= py1;
	}

	// A camera-space triangle; the part behind the near plane is cut away, so a triangle reaching
	// behind the camera still shows its front part.
	void Triangle(const Vector& a, const Vector& b, const Vector& c, Int32 object, Int32 polygon, UChar half)
	{
		const Float n = kNearPlane;
		if (a.z >= n && b.z >= n && c.z >= n)
		{
			Screen(_lens.Screen(a), _lens.Screen(b), _lens.Screen(c), object, polygon, half);
			return;
		}
		const Vector in[3] = {a, b, c};
		Vector out[4];
		Int32 k = 0;
		for (Int32 i = 0; i < 3; ++i)
		{
			const Vector& p = in[i];
			const Vector& q = in[(i + 1) % 3];
			const bool pin = p.z >= n, qin = q.z >= n;
			if (pin)
				out[k++] = p;
			if (pin != qin)
				out[k++] = p + (q - p) * ((n - p.z) / (q.z - p.z));
		}
		for (Int32 i = 1; i + 1 < k; ++i)
			Screen(_lens.Screen(out[0]), _lens.Screen(out[i]), _lens.Screen(out[i + 1]), object, polygon, half);
	}

	// One sample at each pixel centre inside the triangle; the nearest stays (the first drawn on a tie).
	void Screen(const Vector& sa, const Vector& sb, const Vector& sc, Int32 object, Int32 polygon, UChar half)
	{
		const Float area = (sb.x - sa.x) * (sc.y - sa.y) - (sb.y - sa.y) * (sc.x - sa.x);
		if (area == 0.0 || !std::isfinite(area))
			return;
		const Float x0 = std::max(0.0, std::ceil(std::min({sa.x, sb.x, sc.x}) - 0.5));
		const Float x1 = std::min(_zb.w - 1.0, std::floor(std::max({sa.x, sb.x, sc.x}) - 0.5));
		const Float first = std::max(0.0, std::ceil(std::min({sa.y, sb.y, sc.y}) - 0.5));
		const Float last = std::min(_zb.h - 1.0, std::floor(std::max({sa.y, sb.y, sc.y}) - 0.5));
		if (!(x0 <= x1 && first <= last))
			return;
		if (first >= _top && first < _bottom) // counted once, by the band of its first row
			++triangles;
		const Float y0 = std::max<Float>(first, _top), y1 = std::min<Float>(last, _bottom - 1);
		if (!(y0 <= y1))
			return;
		const Float inv_area = 1.0 / area;
		for (Int32 y = static_cast<Int32>(y0); y <= static_cast<Int32>(y1); ++y)
		{
			const Float py = y + 0.5;
			size_t i = static_cast<size_t>(y) * static_cast<size_t>(_zb.w) + static_cast<size_t>(x0);
			for (Int32 x = static_cast<Int32>(x0); x <= static_cast<Int32>(x1); ++x, ++i)
			{
				const Float px = x + 0.5;
				const Float wa = ((sb.x - px) * (sc.y - py) - (sb.y - py) * (sc.x - px)) * inv_area;
				const Float wb = ((sc.x - px) * (sa.y - py) - (sc.y - py) * (sa.x - px)) * inv_area;
				const Float wc = 1.0 - wa - wb;
				if (wa < 0.0 || wb < 0.0 || wc < 0.0)
					continue;
				// 1 / depth is linear across the screen
				const float z = static_cast<float>(1.0 / (wa / sa.z + wb / sb.z + wc / sc.z));
				if (z < _zb.depth[i])
				{
					_zb.depth[i] = z;
					_zb.object[i] = object;
					_zb.polygon[i] = polygon;
					_zb.half[i] = half;
				}
			}
		}
	}
};

} // namespace

bool Rasterise(const VolumeData::Render& scene, ZBuffer& zb, Int32 threads, Int64* triangles,
	const std::function<bool(Float)>& progress)
{
	// Each thread draws every object into a band of rows of its own: a pixel sees the objects in the
	// same order whatever the thread count, and an object outside a band costs that band one test.
	const Int32 bands = std::max(1, std::min(threads, zb.h));
	const Int32 count = static_cast<Int32>(scene.objects.size());
	std::vector<Int64> counted(static_cast<size_t>(bands), 0);
	std::atomic<bool> stop{false};
	auto band = [&](Int32 b) {
		Rasteriser raster(scene, zb, zb.h * b / bands, zb.h * (b + 1) / bands);
		for (Int32 i = 0; i < count && !stop; ++i)
		{
			raster.Object(i);
			if (b == 0 && (i & 0xffff) == 0xffff && !progress(static_cast<Float>(i) / count))
				stop = true;
		}
		counted[static_cast<size_t>(b)] = raster.triangles;
	};
	std::vector<std::thread> helpers;
	for (Int32 b = 1; b < bands; ++b)
		helpers.emplace_back(band, b);
	band(0);
	for (std::thread& t : helpers)
		t.join();
	*triangles = 0;
	for (Int64 n : counted)
		*triangles += n;
	return !stop;
}

} // namespace headless
