// TWSDExporter.h - the SD scene export command.
#pragma once

#include "c4d.h"

class TWSDExporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
};
