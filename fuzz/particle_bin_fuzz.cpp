// particle_bin_fuzz.cpp - arbitrary bytes through the particle .bin reader.
#include "particle_bin.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

static std::string g_path;

static void RemoveInput()
{
	std::remove(g_path.c_str());
}

static std::string InputPath()
{
	std::string& path = g_path;
	if (path.empty())
	{
		char tmpl[] = "/tmp/particle_bin_fuzz_XXXXXX";
		int fd = mkstemp(tmpl);
		if (fd < 0)
			std::abort();
		close(fd);
		path = tmpl;
		std::atexit(RemoveInput);
	}
	return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = InputPath();
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return 0;
	if (size && std::fwrite(data, 1, size, f) != size)
	{
		std::fclose(f);
		return 0;
	}
	std::fclose(f);

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
