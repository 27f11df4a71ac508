// particle_node_ports.h - the particle node's ports: the table of outputs and the per-particle value of each.
#pragma once

#include "c4d.h"
#include "c4d_particles.h"

enum
{
	TW_PN_PORT_GROUP = 8000, // input: name of the group to read
	TW_PN_PORT_PARTICLE = 8001,
	TW_PN_PORT_POSITION = 8002,
	TW_PN_PORT_VELOCITY = 8003,
	TW_PN_PORT_FORCE = 8004,
	TW_PN_PORT_VORTICITY = 8005,
	TW_PN_PORT_NORMAL = 8006,
	TW_PN_PORT_NEIGHBORS = 8007,
	TW_PN_PORT_TEXTURE = 8008,
	TW_PN_PORT_INFOBIT = 8009,
	TW_PN_PORT_AGE = 8010,
	TW_PN_PORT_ISOLATION = 8011,
	TW_PN_PORT_VISCOSITY = 8012,
	TW_PN_PORT_DENSITY = 8013,
	TW_PN_PORT_PRESSURE = 8014,
	TW_PN_PORT_MASS = 8015,
	TW_PN_PORT_TEMPERATURE = 8016,
	TW_PN_PORT_ID = 8017,
};

// Where an output port's value comes from.
enum class NodePortSource : Int32
{
	PARTICLE, // the particle's ID, as the host's particle type
	POSITION,
	VELOCITY,
	AGE, // seconds
	MASS,
	VECTOR_CHANNEL,
	INTEGER_CHANNEL,
	FLOAT_CHANNEL,
};

// One output port: ID, name and the host's value type of the port, and what it reads.
struct NodePort
{
	Int32 id;
	char name[64];
	Int32 value_type;
	NodePortSource source;
	Int32 channel; // number of the importer's channel table for the *_CHANNEL sources, else 0
};

// The output ports in the order they are offered, ended by an entry of ID 0.
extern const NodePort NODE_PORTS[];
// The table entry of an output port ID; null for any other ID.
const NodePort* FindNodePort(Int32 id);

// A port resolved against one master at the start of a calculation, so that a particle costs no
// lookup: the source and the master's data channel (-1 when the master has none for it).
struct NodePortReader
{
	GvPort* port = nullptr;
	NodePortSource source = NodePortSource::PARTICLE;
	Int32 channel = -1;
};

// The reader of port for master; false when the port's ID is not one of the table's outputs.
Bool ResolveNodePort(const TP_MasterSystem* master, GvPort* port, NodePortReader* reader);

// Writes particle pid's value of the reader's source to its port. A value the particle does not hold
// (no channel, or nothing written there) goes out as zero rather than as the previous particle's.
inline void WriteNodePort(const NodePortReader& r, const TP_MasterSystem* master, Int32 pid, GvRun* run)
{
	switch (r.source)
	{
		case NodePortSource::PARTICLE: r.port->SetData(&pid, ID_TP_DATA_TYPE_PARTICLE, run); break;
		case NodePortSource::POSITION: r.port->SetVector(master->Position(pid), run); break;
		case NodePortSource::VELOCITY: r.port->SetVector(master->Velocity(pid), run); break;
		case NodePortSource::AGE:
		{
			const BaseTime age = master->Age(pid);
			const Float den = age.GetDenominator();
			r.port->SetFloat(den != 0.0 ? age.GetNumerator() / den : 0.0, run);
			break;
		}
		case NodePortSource::MASS: r.port->SetFloat(master->Mass(pid), run); break;
		case NodePortSource::VECTOR_CHANNEL:
		{
			Vector v;
			master->GetData(pid, r.channel, &v, DTYPE_VECTOR_VALUE);
			r.port->SetVector(v, run);
			break;
		}
		case NodePortSource::INTEGER_CHANNEL:
		{
			Int32 i = 0;
			master->GetData(pid, r.channel, &i, DTYPE_LONG_VALUE);
			r.port->SetInteger(i, run);
			break;
		}
		case NodePortSource::FLOAT_CHANNEL:
		{
			Float f = 0.0;
			master->GetData(pid, r.channel, &f, DTYPE_REAL_VALUE);
			r.port->SetFloat(f, run);
			break;
		}
	}
}
