// TWParticleExporter.h - the particle export command.
#pragma once

#include "c4d.h"

class TWParticleExporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
};
