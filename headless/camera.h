// camera.h - how the headless view and the renderer look at a document: a pinhole camera with the host's
// lens, the editor camera's framing, and which camera a document is seen through.
#pragma once

#include "c4d.h"

namespace headless
{

// Nothing nearer the camera than this (host units) is drawn: it would project to infinity.
constexpr Float kNearPlane = 0.01;

struct Lens
{
	Int32 w = 1, h = 1;
	Matrix camera;	  // orthonormal axes: x right, y up, z forward
	Matrix to_camera; // its inverse
	Float focal_px = 1.0;

	// Camera space (x right, y up, z forward) of a global position.
	Vector Eye(const Vector& p) const { return to_camera * p; }
	// Pixel position (x, y from the top left) and depth of a camera-space position in front of the camera.
	Vector Screen(const Vector& e) const
	{
		return Vector(w * 0.5 + focal_px * e.x / e.z, h * 0.5 - focal_px * e.y / e.z, e.z);
	}
	// Looks through cam with the image size already set: focal length from its lens (36 mm on 36 mm
	// spans the image's width at a distance of one width).
	void LookThrough(const BaseObject* cam);
};

// The editor camera's viewing direction: from the front, above and to the left.
Vector EditorDirection();
// The editor camera's axes (its position left at the origin).
Matrix EditorAxes();
// The editor camera placed to frame the box lo..hi (empty when lo.x > hi.x) on a w x h image.
Matrix FrameEditorCamera(const Vector& lo, const Vector& hi, Int32 w, Int32 h);
// The first camera object in hierarchy order (depth first) from op on, or null.
BaseObject* FirstCamera(BaseObject* op);

} // namespace headless
