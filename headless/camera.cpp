// camera.cpp - the camera shared by the headless view and the renderer.
#include "camera.h"

#include "c4d_camera.h"

#include <algorithm>
#include <cmath>

namespace headless
{

namespace
{

Vector Normalized(const Vector& v)
{
	const Float l = v.GetLength();
	return l > 0.0 ? v / l : v;
}

} // namespace

void Lens::LookThrough(const BaseObject* cam)
{
	const Matrix mg = cam->GetMg();
	camera = Matrix(mg.off, Normalized(mg.v1), Normalized(mg.v2), Normalized(mg.v3));
	to_camera = ~camera;
	const BaseContainer* bc = cam->GetDataInstance();
	const Float focus = bc->GetFloat(CAMERA_FOCUS, 36.0), aperture = bc->GetFloat(CAMERAOBJECT_APERTURE, 36.0);
	focal_px = focus > 0.0 && aperture > 0.0 ? w * focus / aperture : static_cast<Float>(w);
}

Vector EditorDirection()
{
	return Normalized(Vector(0.5, -0.4, 1.0));
}

Matrix EditorAxes()
{
	const Vector z = EditorDirection();
	const Vector x = Normalized(Cross(Vector(0, 1, 0), z));
	const Vector y = Cross(z, x);
	return Matrix(Vector(), x, y, z);
}

Matrix FrameEditorCamera(const Vector& lo, const Vector& hi, Int32 w, Int32 h)
{
	const bool empty = lo.x > hi.x;
	const Vector centre = empty ? Vector() : (lo + hi) * 0.5;
	const Float radius = empty ? 0.0 : (hi - lo).GetLength() * 0.5;
	Matrix m = EditorAxes();
	const Float half = std::atan(0.5 * std::min(w, h) / w); // of the narrower side, at focus = aperture
	const Float distance = 1.1 * std::max(radius, 100.0) / std::sin(half);
	m.off = centre - m.v3 * distance;
	return m;
}

BaseObject* FirstCamera(BaseObject* op)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == Ocamera)
			return op;
		if (BaseObject* c = FirstCamera(op->GetDown()))
			return c;
	}
	return nullptr;
}

} // namespace headless
