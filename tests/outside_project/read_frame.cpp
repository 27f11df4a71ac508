// read_frame.cpp - prints the particle count and the first position of a particle .bin frame.
#include <particle_bin.h>

#include <cstdio>

int main(int argc, char** argv)
{
	if (argc != 2)
		return 2;
	BinParticleFrame* frame = OpenParticleBin(argv[1], 0);
	if (!frame || !ReadParticleBin(frame, 100.0f))
	{
		std::fprintf(stderr, "cannot read %s\n", argv[1]);
		FreeParticleBin(frame);
		return 1;
	}
	std::printf("particles %d\n", frame->kept_count);
	FreeParticleBin(frame);
	return 0;
}
