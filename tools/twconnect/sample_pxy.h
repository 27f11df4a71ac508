// sample_pxy.h - the procedural particle .pxy sequence written by `twconnect sample pxy`.
#pragma once

#include "cli.h"

#include <string>

// Writes frames start .. end of a particle swirl as .pxy files of `version` (2.5: 32-bit ids, 3.0:
// 64-bit ids) with `count` particles each: dir/name_FFFFF.pxy. The module only reads .pxy, so the
// writer lives here. False, with the reason in `error`, for bad arguments or a file not written whole.
bool WriteSamplePxy(const char* dir, const char* name, int start, int end, int count, float version, std::string& error);

// The options of `twconnect sample pxy DIR`, and what writes the files.
CommandRun SamplePxyCommand(CLI::App& app);
