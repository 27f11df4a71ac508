// particle_test_util.h - temporary folders and small particle files for the cache tests.
#pragma once

#include "particle_bin.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

class TempDir
{
public:
	TempDir()
	{
		char tmpl[] = "/tmp/twcache_test_XXXXXX";
		const char* made = mkdtemp(tmpl);
		path_ = made ? made : "/tmp";
	}
	~TempDir()
	{
		std::string cmd = "rm -rf '" + path_ + "'";
		if (std::system(cmd.c_str()) != 0)
			std::fprintf(stderr, "could not remove %s\n", path_.c_str());
	}
	std::string File(const std::string& name) const { return path_ + "/" + name; }
	const std::string& Path() const { return path_; }

private:
	std::string path_;
};

inline std::vector<unsigned char> ReadBytes(const std::string& path)
{
	std::vector<unsigned char> bytes;
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
		return bytes;
	int c;
	while ((c = std::fgetc(f)) != EOF)
		bytes.push_back(static_cast<unsigned char>(c));
	std::fclose(f);
	return bytes;
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return;
	if (!bytes.empty())
		std::fwrite(bytes.data(), 1, bytes.size(), f);
	std::fclose(f);
}

// Fills every channel of particle i with values derived from i and salt, so that a swapped or
// shifted field shows up.
inline void FillParticle(BinParticleFrame* f, int i, int64_t id)
{
	float base = static_cast<float>(i) * 16.0f;
	float* vectors[] = {f->position, f->velocity, f->force, f->vorticity, f->normal, f->texture};
	for (int v = 0; v < 6; ++v)
		for (int c = 0; c < 3; ++c)
			vectors[v][3 * i + c] = base + static_cast<float>(v * 3 + c) * 0.25f + 0.5f;
	f->neighbors[i] = 1000 + i;
	f->info_bits[i] = static_cast<int16_t>(-7 - i);
	float* scalars[] = {f->age, f->isolation, f->viscosity, f->density, f->pressure, f->mass, f->temperature};
	for (int s = 0; s < 7; ++s)
		scalars[s][i] = -base - static_cast<float>(s) - 0.125f;
	f->id[i] = id;
}

// Writes a frame of count particles with the given ids (i when ids is empty). Returns 1 on success.
inline int WriteTestFrame(const std::string& path, int version, int count, const std::vector<int64_t>& ids = {},
	int frame_number = 7)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	if (!f)
		return 0;
	BinParticleHeader& h = f->header;
	h.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f, "splash");
	h.version = static_cast<int16_t>(version);
	h.scale = 1.0f;
	h.fluid_type = 5;
	h.frame = frame_number;
	h.fps = 25;
	h.simulation_time_seconds = static_cast<float>(frame_number) / 25.0f;
	h.particle_count = count;
	h.radius = 0.1f;
	for (int c = 0; c < 3; ++c)
	{
		h.range1[c] = 1.0f + c;
		h.speed_range[c] = 4.0f + c;
		h.range3[c] = 7.0f + c;
		h.emitter_position[c] = 10.0f + c;
		h.emitter_rotation[c] = 13.0f + c;
		h.emitter_scale[c] = 16.0f + c;
	}
	int ok = AllocateChannels(f, count);
	for (int i = 0; ok && i < count; ++i)
		FillParticle(f, i, ids.empty() ? i : ids[static_cast<size_t>(i)]);
	ok = ok && WriteParticleBin(f);
	FreeParticleBin(f);
	return ok;
}
