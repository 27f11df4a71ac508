// particle_pxy_fuzz.cpp - arbitrary bytes through the particle .pxy reader.
#include "particle_pxy.h"

#include "fuzz_input.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = WriteFuzzInput("particle_pxy_fuzz", data, size);
	if (path.empty())
		return 0;

	// the last byte picks the share (the first belongs to the version), so the selection sees
	// hostile ids too
	static const float percentages[] = {100.0f, 50.0f, 10.0f, 0.0f, 33.3f, 250.0f};
	const float percentage = percentages[size ? data[size - 1] % 6 : 0];
	PxyParticleFrame* frame = OpenPxy(path.c_str());
	if (frame && ReadPxy(frame, percentage))
	{
		float sum = 0.0f;
		for (int32_t i = 0; i < frame->kept_count; ++i)
		{
			for (int32_t code = 0; code <= 15; ++code)
				sum += GetPxyChannelValue(frame, i, code);
			sum += frame->records[i].position[0] + static_cast<float>(frame->records[i].id);
		}
		volatile float sum_sink = sum;
		(void)sum_sink;
		// a second read of the same record reuses its arrays
		ClosePxyFile(frame);
		PxyParticleFrame* again = OpenPxy(path.c_str());
		PxyReuse(again, frame);
		frame = again;
		if (frame)
			ReadPxy(frame, 100.0f);
	}
	FreePxy(frame);
	return 0;
}
