// particle_bin_fuzz.cpp - arbitrary bytes through the particle .bin reader.
#include "particle_bin.h"

#include "fuzz_input.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("particle_bin_fuzz", data, size);
	if (path.empty())
		return 0;

	IsParticleBin(path.c_str());
	// the first byte picks the share, so the selection sees hostile ids too
	static const float percentages[] = {100.0f, 50.0f, 10.0f, 0.0f, 33.3f, 250.0f};
	float percentage = percentages[size ? data[0] % 6 : 0];
	BinParticleFrame* frame = OpenParticleBin(path.c_str(), 0);
	if (frame && ReadParticleBin(frame, percentage))
	{
		float sum = 0.0f;
		for (int32_t i = 0; i < frame->kept_count; ++i)
			for (int32_t code = 0; code <= 15; ++code)
				sum += GetBinChannelValue(frame, i, code);
		volatile float sink = sum;
		(void)sink;
	}
	FreeParticleBin(frame);
	return 0;
}
