// particle_material.h - the material that gives a Particle Importer's render instances their particle
// colours: a standard material whose colour comes from the particle shader.
#pragma once

#include "c4d.h"
#include "c4d_material.h"

// The material of the object's last texture tag whose material links a particle shader as its colour;
// null when none does.
BaseMaterial* FindParticleMaterial(const BaseObject* op);
// The shader the material links as its colour, when it is a shader; null otherwise.
BaseShader* ParticleShaderOf(const BaseMaterial* mat);
// Gives the object a particle shader, a standard material "TW Particle Material" coloured by it and a
// texture tag applying it, unless it already has such a material. Nothing is made when any of the
// three cannot be allocated.
void CreateParticleMaterial(BaseObject* op);
