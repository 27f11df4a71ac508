// TWMeshExporter.h - the mesh export command.
#pragma once

#include "c4d.h"

class TWMeshExporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
};
