// TWSDImporter.h - the SD scene import command.
#pragma once

#include "c4d.h"

class TWSDImporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
};
