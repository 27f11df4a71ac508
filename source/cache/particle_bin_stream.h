// particle_bin_stream.h - writing a particle .bin frame on a second thread while its arrays are still being filled.
//
// Writing a large frame costs about as much as gathering its values; a stream lets the two run at
// once. The caller fills the channel arrays in order and publishes how far it got; the stream's
// thread encodes and writes the records published so far. The file is byte for byte the one
// WriteParticleBin writes.
#pragma once

#include "particle_bin.h"

#include <cstdint>

struct ParticleBinStream;

// Starts writing frame: open for writing, channel arrays for header.particle_count particles
// (header.version and particle_count stay as they are until the stream finishes). Writes the header
// as it stands now. With second_thread the records are written on a thread of the stream's own;
// without it, or when that thread cannot start, each publication writes its records on the caller's
// thread. nullptr, with errno set, when the header cannot be written or memory runs out.
ParticleBinStream* StartParticleBinStream(BinParticleFrame* frame, int second_thread);

// Particles [0, filled) hold their final values; the caller does not touch them again. 0 once a
// write has failed: the caller may stop filling and finish the stream.
int PublishParticleBinStream(ParticleBinStream* stream, int64_t filled);

// Every particle holds its final values and header holds the statistics: writes what is left, the
// trailer and the header again, and frees the stream. 1 when the whole file was written; 0 (errno
// from the failed write) otherwise, also when a write failed on the stream's thread.
int FinishParticleBinStream(ParticleBinStream* stream);
