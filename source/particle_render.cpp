// particle_render.cpp - the Particle Importer while rendering: one render object per particle, each
// carrying its colour for the particle shader.
#include "TWParticleImporter.h"

#include "TW_ParticleShader.h"
#include "TW_Particle_Importer.h"
#include "particle_material.h"
#include "particle_render.h"

#include <cmath>

namespace
{

constexpr Float HALF_PI = 1.5707963267948966;

// The rotation (no offset, no scale) of m.
Matrix RotationOf(const Matrix& m)
{
	return HPBToMatrix(MatrixToHPB(m));
}

// The local rotation that turns a disc under op to face the camera the render looks through: the
// camera's rotation with a quarter turn added to its pitch lays the disc's normal along the view axis.
// It is taken in op's space, so that a turned importer still shows its discs face on.
Matrix FacingCamera(const BaseObject* op, BaseDocument* doc)
{
	BaseDraw* bd = doc->GetRenderBaseDraw();
	BaseObject* camera = bd ? bd->GetSceneCamera(doc) : nullptr;
	if (bd && !camera)
		camera = bd->GetEditorCamera();
	Vector hpb = camera ? MatrixToHPB(camera->GetMg()) : Vector();
	hpb.y += HALF_PI;
	return ~RotationOf(op->GetMg()) * HPBToMatrix(hpb);
}

BaseObject* Disc(Float outer_radius, const Matrix& rotation)
{
	BaseObject* disc = BaseObject::Alloc(Odisc);
	if (!disc)
		return nullptr;
	BaseContainer* bc = disc->GetDataInstance();
	bc->SetFloat(PRIM_DISC_ORAD, outer_radius);
	bc->SetFloat(PRIM_DISC_IRAD, 0.0);
	bc->SetInt32(PRIM_DISC_SEG, 24);
	disc->SetMl(rotation);
	return disc;
}

} // namespace

BaseObject* TWParticleImporter::MakeRenderShape(BaseObject* op, BaseDocument* doc) const
{
	const BaseContainer* bc = op->GetDataInstance();
	switch (bc->GetInt32(TW_PI_RENDER_SHAPE))
	{
		case TW_PI_RENDER_SHAPE_DISC: return Disc(1.0, FacingCamera(op, doc));
		case TW_PI_RENDER_SHAPE_SIZED_DISC: return Disc(bc->GetFloat(TW_PI_RENDER_SIZE), FacingCamera(op, doc));
		case TW_PI_RENDER_SHAPE_SPHERE:
		{
			BaseObject* sphere = BaseObject::Alloc(Osphere);
			if (sphere)
				sphere->GetDataInstance()->SetFloat(PRIM_SPHERE_RAD, bc->GetFloat(TW_PI_RENDER_SIZE));
			return sphere;
		}
		case TW_PI_RENDER_SHAPE_OBJECT:
		{
			const BaseObject* linked = dynamic_cast<const BaseObject*>(bc->GetLink(TW_PI_RENDER_OBJECT, doc));
			// the importer itself, or an object holding it, would copy the importer into its own result
			for (const BaseObject* up = op; up && linked; up = up->GetUp())
				if (up == linked)
					return nullptr;
			return linked ? linked->GetClone() : nullptr;
		}
		default: return nullptr;
	}
}

BaseObject* TWParticleImporter::BuildRenderInstances(BaseObject* op, BaseDocument* doc, ParticleFrame* frame)
{
	BaseObject* null = BaseObject::Alloc(Onull);
	if (!null || !_master || !_group || _group->NumParticles() <= 0)
		return null;
	BaseObject* shape = MakeRenderShape(op, doc);
	if (!shape)
		return null;

	BaseMaterial* mat = FindParticleMaterial(op);
	const Vector grey(0.8, 0.8, 0.8);
	const Vector base = mat ? mat->GetDataInstance()->GetVector(MATERIAL_COLOR_COLOR, grey) : grey;
	const BaseShader* shader = ParticleShaderOf(mat);

	// This pass's own source and colouriser: the viewport's keep the frame they show.
	ParticleFrameSource source;
	ParticleColouriser colours;
	Int32 frame_count = 0;
	if (shader)
	{
		colours.AttachSource(&source, false);
		ConfigureColouriser(colours, op, doc);
		colours.generation = _cache ? _cache->render.generation : 0;
		const BaseContainer* sc = shader->GetDataInstance();
		const Bool use_importer = sc->GetBool(TW_PS_USE_IMPORTER);
		if (!use_importer)
		{
			colours.channel = sc->GetInt32(TW_PS_CHANNEL);
			const Gradient* gradient = sc->GetData(TW_PS_GRADIENT).GetGradient();
			colours.has_gradient = gradient != nullptr;
			colours.gradient = gradient ? *gradient : Gradient();
		}
		source.SetFrame(frame, false);
		frame_count = source.ParticleCount();
		if (!use_importer || op->GetDataInstance()->GetBool(TW_PI_AUTO_RANGE))
			colours.UseChannelRange();
		if (colours.has_gradient)
			colours.gradient.InitRender();
	}

	// The shape stands for the first particle, instances of it for the rest. They all keep the shape's
	// axes, so that every disc faces the camera; the master's positions are global.
	op->CopyTagsTo(shape, NOTOK, NOTOK, false, nullptr);
	const Matrix to_local = ~op->GetMg();
	Matrix place = shape->GetMl();
	BaseObject* last = nullptr;
	Int32 k = 0;
	for (Int32 id = _master->GetFirstParticle(_group); id >= 0; id = _master->GetNextParticle(_group, id), ++k)
	{
		BaseObject* obj = last ? BaseObject::Alloc(Oinstance) : shape;
		if (!obj)
			break; // out of memory: the particles made so far render
		BaseContainer* bc = obj->GetDataInstance();
		bc->SetBool(TW_PARTICLE_INSTANCE, true);
		if (last)
		{
			bc->SetLink(INSTANCEOBJECT_LINK, shape);
			bc->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, INSTANCEOBJECT_RENDERINSTANCE_MODE_SINGLEINSTANCE);
		}
		place.off = to_local * _master->Position(id);
		obj->SetMl(place);
		if (!_master->Alive(id))
		{
			obj->SetRenderMode(MODE_OFF);
			obj->SetEditorMode(MODE_OFF);
		}
		if (shader)
		{
			// a group may hold more particles than the frame: those past its end take the base colour
			const bool by_channel = colours.channel != 0 && k < frame_count;
			bc->SetVector(TW_PARTICLE_COLOUR, by_channel ? colours.ParticleColour(0, k) : base);
		}
		if (last)
			obj->InsertAfter(last);
		else
			obj->InsertUnder(null);
		last = obj;
	}
	if (!last)
		BaseObject::Free(shape); // the group had no particle after all
	if (shader && colours.has_gradient)
		colours.gradient.FreeRender();
	return null;
}
