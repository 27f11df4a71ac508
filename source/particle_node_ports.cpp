// particle_node_ports.cpp - the particle node's table of output ports and their resolution against a master.
#include "particle_node_ports.h"

#include "particle_load_tpc.h"

// Constant data: in place as soon as the module is loaded, never rebuilt.
const NodePort NODE_PORTS[] = {
	{TW_PN_PORT_PARTICLE, "Particle", ID_TP_DATA_TYPE_PARTICLE, NodePortSource::PARTICLE, 0},
	{TW_PN_PORT_POSITION, "Position", DTYPE_VECTOR, NodePortSource::POSITION, 0},
	{TW_PN_PORT_VELOCITY, "Velocity", DTYPE_VECTOR, NodePortSource::VELOCITY, 0},
	{TW_PN_PORT_FORCE, "Force", DTYPE_VECTOR, NodePortSource::VECTOR_CHANNEL, 1},
	{TW_PN_PORT_VORTICITY, "Vorticity", DTYPE_VECTOR, NodePortSource::VECTOR_CHANNEL, 2},
	{TW_PN_PORT_NORMAL, "Normal", DTYPE_VECTOR, NodePortSource::VECTOR_CHANNEL, 3},
	{TW_PN_PORT_NEIGHBORS, "Number of Neighbors", DTYPE_LONG, NodePortSource::INTEGER_CHANNEL, 5},
	{TW_PN_PORT_TEXTURE, "Texture", DTYPE_VECTOR, NodePortSource::VECTOR_CHANNEL, 4},
	{TW_PN_PORT_INFOBIT, "Info bit", DTYPE_LONG, NodePortSource::INTEGER_CHANNEL, 6},
	{TW_PN_PORT_AGE, "Age", DTYPE_REAL, NodePortSource::AGE, 0},
	{TW_PN_PORT_ISOLATION, "Isolation time", DTYPE_REAL, NodePortSource::FLOAT_CHANNEL, 8},
	{TW_PN_PORT_VISCOSITY, "Viscosity", DTYPE_REAL, NodePortSource::FLOAT_CHANNEL, 9},
	{TW_PN_PORT_DENSITY, "Density", DTYPE_REAL, NodePortSource::FLOAT_CHANNEL, 10},
	{TW_PN_PORT_PRESSURE, "Pressure", DTYPE_REAL, NodePortSource::FLOAT_CHANNEL, 11},
	{TW_PN_PORT_MASS, "Mass", DTYPE_REAL, NodePortSource::MASS, 0},
	{TW_PN_PORT_TEMPERATURE, "Temperature", DTYPE_REAL, NodePortSource::FLOAT_CHANNEL, 13},
	{TW_PN_PORT_ID, "Id", DTYPE_LONG, NodePortSource::INTEGER_CHANNEL, 14},
	{0, "", 0, NodePortSource::PARTICLE, 0},
};

const NodePort* FindNodePort(Int32 id)
{
	for (const NodePort* p = NODE_PORTS; p->id != 0; ++p)
		if (p->id == id)
			return p;
	return nullptr;
}

Bool ResolveNodePort(const TP_MasterSystem* master, GvPort* port, NodePortReader* reader)
{
	const NodePort* entry = port ? FindNodePort(port->GetMainID()) : nullptr;
	if (!entry || !master)
		return false;
	reader->port = port;
	reader->source = entry->source;
	reader->channel = entry->channel != 0 ? FindStandardChannel(master, entry->channel) : -1;
	return true;
}
