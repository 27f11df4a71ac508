// render_scene.h - what the headless renderer builds from an evaluated document: render objects (render
// instances share the arrays of the object they repeat), the shapes behind them, materials and lights.
#pragma once

#include "camera.h"
#include "host_state.h"

#include <deque>
#include <unordered_map>
#include <vector>

namespace headless
{

// The polygon arrays render objects share, with what rasterising and shading them needs once per array.
struct RenderShape
{
	const Vector* padr = nullptr;
	const CPolygon* vadr = nullptr;
	Int32 pcnt = 0, vcnt = 0;
	Vector lo, hi;				   // bounds of the points
	const UVWTag* uvw = nullptr;   // texture coordinates, one entry per polygon, or null
	bool valid = false;			   // every polygon's corners are points of the array
};

struct RenderLight
{
	Int32 type = LIGHT_TYPE_OMNI;
	Vector position;
	Vector direction; // the way a distant light travels: its +Z axis
	Vector colour;	  // colour x brightness
};

} // namespace headless

struct VolumeData::Render
{
	std::deque<RayObject> objects;
	std::vector<Int32> shape_of; // per render object: its shape
	std::vector<headless::RenderShape> shapes;
	std::deque<RayObjectInstanceData> instances;
	std::deque<TexData> texdata;
	std::deque<std::vector<TexData*>> texlists;
	std::vector<headless::RenderLight> lights; // none: the default light from the camera
	headless::Lens lens;
	BaseMaterial* default_material = nullptr; // for objects without a texture tag; owned by the render
	// per material: its GetRenderInfo, and for a standard material the shader linked to its colour
	std::unordered_map<const BaseMaterial*, Int32> render_info;
	std::unordered_map<const BaseMaterial*, BaseShader*> colour_shader;
	Float time = 0.0;
};

namespace headless
{

// Turns the evaluated document into render objects and lights, in hierarchy order.
void BuildRenderScene(BaseDocument* doc, VolumeData::Render& scene);
// The shader linked to a standard material's colour, or null.
BaseShader* ColourShaderOf(const BaseMaterial* mat);

} // namespace headless
