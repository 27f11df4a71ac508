// c4d_camera.h - camera objects: lens and clipping parameters.
#pragma once

#include "c4d_object.h"

// Camera parameters (lengths in millimetres for the lens, host units for clipping).
enum
{
	CAMERA_FOCUS = 500,
	CAMERAOBJECT_APERTURE = 1006,
	CAMERAOBJECT_NEAR_CLIPPING = 1122,
	CAMERAOBJECT_NEAR_CLIPPING_ENABLE = 1123,
	CAMERAOBJECT_FAR_CLIPPING = 1128,
	CAMERAOBJECT_FAR_CLIPPING_ENABLE = 1129,
};
