// importer_files.h - small particle and mesh .bin frames for tests that play them through the importers.
#pragma once

#include "mesh_bin.h"
#include "particle_bin.h"

#include <functional>
#include <memory>
#include <string>

struct ParticleFileCloser
{
	void operator()(BinParticleFrame* f) const { FreeParticleBin(f); }
};
using ParticleFile = std::unique_ptr<BinParticleFrame, ParticleFileCloser>;

// A particle .bin frame read whole, or null when it does not read.
inline ParticleFile ReadParticles(const std::string& path)
{
	ParticleFile f(OpenParticleBin(path.c_str(), 0));
	if (f && ReadParticleBin(f.get(), 100.0f) != 1)
		f.reset();
	return f;
}

// A v12 particle frame "test" of `count` particles, ids 1..count, 25 fps, numbered `frame`; fill(f, i) sets
// what else particle i holds. False when the file cannot be written.
inline bool WriteBinFrame(const std::string& path, int frame, int count, const std::function<void(BinParticleFrame*, int)>& fill)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	if (!f)
		return false;
	bool ok = AllocateChannels(f, count) != 0;
	if (ok)
	{
		f->header.magic = PARTICLE_BIN_MAGIC;
		SetParticleBinName(f, "test");
		f->header.version = 12;
		f->header.frame = frame;
		f->header.fps = 25;
		f->header.particle_count = count;
		for (int i = 0; i < count; ++i)
		{
			f->id[i] = i + 1;
			if (fill)
				fill(f, i);
		}
		ok = WriteParticleBin(f) != 0;
	}
	FreeParticleBin(f);
	return ok;
}

// A v12 particle frame of `count` particles, ids 1..count, at x = frame (metres).
inline bool WriteParticleFrameFile(const std::string& path, int frame, int count)
{
	return WriteBinFrame(path, frame, count, [frame](BinParticleFrame* f, int i) { f->position[3 * i] = static_cast<float>(frame); });
}

// Frames first..last of a sequence drop_NNNNN.bin in dir: three particles in a row along x, one metre
// apart, at speeds 0, 1 and 2 from left to right. False when a frame cannot be written.
inline bool WriteDrops(const std::string& dir, int first, int last)
{
	for (int frame = first; frame <= last; ++frame)
	{
		const std::string name = std::to_string(100000 + frame).substr(1);
		if (!WriteBinFrame(dir + "/drop_" + name + ".bin", frame, 3, [](BinParticleFrame* f, int i) {
				f->position[3 * i] = static_cast<float>(i - 1);
				f->velocity[3 * i] = static_cast<float>(i);
			}))
			return false;
	}
	return true;
}

// A mesh frame of four vertices at x = frame + i (metres), moving at 1 m/s along x, two faces.
inline bool WriteMeshFrameFile(const std::string& path, int frame)
{
	MeshBinFile* f = MeshBinCreate(path.c_str());
	if (!f)
		return false;
	bool ok = MeshBinAllocate(f, 4, 2, 0, false, true) != 0;
	if (ok)
	{
		for (int32_t i = 0; i < 4; ++i)
		{
			f->vertices[i].position[0] = static_cast<float>(frame + i);
			f->vertices[i].velocity[0] = 1.0f;
		}
		f->faces[0] = MeshFace{{0, 1, 2}};
		f->faces[1] = MeshFace{{1, 2, 3}};
		ok = MeshBinWrite(f) != 0;
	}
	MeshBinFree(f);
	return ok;
}
