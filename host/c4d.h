// c4d.h - everything of the host layer that plug-in code includes.
#pragma once

#include "c4d_animation.h"
#include "c4d_baselist.h"
#include "c4d_bitmap.h"
#include "c4d_camera.h"
#include "c4d_container.h"
#include "c4d_description.h"
#include "c4d_document.h"
#include "c4d_general.h"
#include "c4d_gui.h"
#include "c4d_main.h"
#include "c4d_material.h"
#include "c4d_object.h"
#include "c4d_plugin.h"
#include "c4d_polygon.h"
#include "c4d_tag.h"
#include "ge_types.h"
