// TWParticleNode.h - XPresso node reading the imported particles.
#pragma once

#include "c4d.h"
#include "c4d_particles.h"
#include "particle_node_ports.h"

#include <vector>

class TWParticleNode : public GvOperatorData
{
public:
	static NodeData* Alloc() { return new TWParticleNode(); }

	Bool GetDDescription(GeListNode* node, Description* description, Int32& flags) override;
	Bool iCreateOperator(GvNode* bn) override;
	Bool iGetPortList(GvNode* bn, GvPortIO port, GvPortList& portlist) override;
	Bool iGetPortDescription(GvNode* bn, GvPortIO port, Int32 id, GvPortDescription* pd) override;
	Int32 FillPortsMenu(GvNode* bn, BaseContainer& names, BaseContainer& ids, Int32 value_type, GvPortIO port,
		Int32 first_menu_id) override;
	String GetText(GvNode* bn) override;
	String GetDetailedText(GvNode* bn) override;
	String GetTitle(GvNode* bn) override;

	Bool InitCalculation(GvNode* bn, GvCalc* calc, GvRun* run) override;
	void FreeCalculation(GvNode* bn, GvCalc* calc) override;
	Bool AddToCalculationTable(GvNode* bn, GvRun* run) override;
	// Without a port: one pass per particle of the group, each handing the outputs downstream.
	Bool Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc) override;

private:
	TP_MasterSystem* _master = nullptr;
	TP_PGroup* _group = nullptr;
	const TP_ParticleNode* _current = nullptr;
	// the node's output ports, resolved once per calculation
	std::vector<NodePortReader> _readers;
};
