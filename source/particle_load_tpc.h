// particle_load_tpc.h - the Particle Importer's writes of a .tpc frame into Thinking Particles.
#pragma once

#include "c4d.h"
#include "c4d_particles.h"
#include "particle_tpc.h"

// The number of the master's data channel of this name (as added, or as the host reports it with
// its type in brackets), or -1.
Int32 FindDataChannel(const TP_MasterSystem* master, const char* name);

// The master's data channel of a number of the importer's channel table (1-6, 8-11, 13, 14), or -1.
Int32 FindStandardChannel(const TP_MasterSystem* master, Int32 number);

// The first group of the master, subgroups included, in list order, named exactly name; null when none.
// Importers and the particle node find their groups this way.
TP_PGroup* FindParticleGroup(const TP_MasterSystem* master, const String& name);

// The channel type code a custom .tpc channel of this value type is added with.
Int32 TpcCustomChannelType(Int32 value_type);

// Writes particle i of the frame into host particle pids[i] (skipped when negative), for i below n:
// group, life and transformed position always, then every channel of the frame in file order whose
// switch is on (load[k] for switch TW_PI_LOAD_VELOCITY + k). Channels the channel table does not
// know are added to the master by value type unless it has one of that name, and written always.
void WriteTpcFrame(TP_MasterSystem* master, TP_PGroup* group, const TpcParticleFrame* frame, const Int32* pids, Int32 n,
				   const bool* load, const Matrix& m, Float scale, const BaseTime& life);
