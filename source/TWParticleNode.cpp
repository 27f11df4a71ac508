// TWParticleNode.cpp - XPresso node reading the imported particles.
#include "TWParticleNode.h"

#include "TW_Particle_Node.h"

#include "main.h"
#include "particle_load_tpc.h"
#include "plugin_ids.h"

namespace
{

// The object whose XPresso tag holds the node's graph; null when the graph is not on an object.
BaseObject* TagObject(GvNode* bn)
{
	GvNodeMaster* gm = bn ? bn->GetNodeMaster() : nullptr;
	BaseList2D* owner = gm ? gm->GetOwner() : nullptr;
	if (!owner || owner->GetType() != Texpresso)
		return nullptr;
	return static_cast<BaseTag*>(owner)->GetObject();
}

// The document of the graph's object; a graph off any object takes the document it is calculated for.
BaseDocument* NodeDocument(GvNode* bn, GvCalc* calc)
{
	if (BaseDocument* doc = bn->GetDocument())
		return doc;
	return calc ? calc->document : nullptr;
}

// One particle's values on every output port; flattened so that the master's reads are inlined into
// the loop, which runs for every particle and port.
__attribute__((flatten)) void WritePorts(const NodePortReader* readers, size_t count, const TP_MasterSystem* master, Int32 pid,
	GvRun* run)
{
	for (size_t i = 0; i < count; ++i)
		WriteNodePort(readers[i], master, pid, run);
}

} // namespace

Bool TWParticleNode::GetDDescription(GeListNode* node, Description* description, Int32& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	flags |= DESCFLAGS_DESC_LOADED;
	return true;
}

Bool TWParticleNode::iCreateOperator(GvNode* bn)
{
	if (!bn)
		return false;
	return bn->AddPort(GV_PORT_OUTPUT, TW_PN_PORT_PARTICLE) && bn->AddPort(GV_PORT_OUTPUT, TW_PN_PORT_POSITION);
}

Bool TWParticleNode::iGetPortList(GvNode* bn, GvPortIO port, GvPortList& portlist)
{
	(void)bn;
	if (port == GV_PORT_INPUT)
	{
		portlist.push_back(GvPortListEntry{TW_PN_PORT_GROUP});
		return true;
	}
	if (port != GV_PORT_OUTPUT)
		return false;
	for (const NodePort* p = NODE_PORTS; p->id != 0; ++p)
		portlist.push_back(GvPortListEntry{p->id});
	return true;
}

Bool TWParticleNode::iGetPortDescription(GvNode* bn, GvPortIO port, Int32 id, GvPortDescription* pd)
{
	(void)bn;
	if (!pd)
		return false;
	if (port == GV_PORT_INPUT && id == TW_PN_PORT_GROUP)
	{
		pd->name = String("TP Group");
		pd->data_id = DTYPE_STRING;
		return true;
	}
	const NodePort* entry = port == GV_PORT_OUTPUT ? FindNodePort(id) : nullptr;
	if (!entry)
		return false;
	pd->name = String(entry->name);
	pd->data_id = entry->value_type;
	return true;
}

// The same ports as the port list, numbered from first_menu_id.
Int32 TWParticleNode::FillPortsMenu(GvNode* bn, BaseContainer& names, BaseContainer& ids, Int32 value_type, GvPortIO port,
	Int32 first_menu_id)
{
	(void)bn;
	(void)value_type;
	Int32 count = 0;
	if (port == GV_PORT_INPUT)
	{
		names.SetString(first_menu_id, String("TP Group"));
		ids.SetInt32(first_menu_id, TW_PN_PORT_GROUP);
		return 1;
	}
	if (port != GV_PORT_OUTPUT)
		return 0;
	for (const NodePort* p = NODE_PORTS; p->id != 0; ++p, ++count)
	{
		names.SetString(first_menu_id + count, String(p->name));
		ids.SetInt32(first_menu_id + count, p->id);
	}
	return count;
}

String TWParticleNode::GetText(GvNode* bn)
{
	(void)bn;
	return String("Tidewell Particle Node Text");
}

String TWParticleNode::GetDetailedText(GvNode* bn)
{
	(void)bn;
	return String("Tidewell Particle Node Detailed Text");
}

String TWParticleNode::GetTitle(GvNode* bn)
{
	String title("TW Node");
	if (BaseObject* op = TagObject(bn))
		title += String(" (") + op->GetName() + String(")");
	return title;
}

Bool TWParticleNode::InitCalculation(GvNode* bn, GvCalc* calc, GvRun* run)
{
	(void)run;
	FreeCalculation(bn, calc);
	if (!bn)
		return false;
	BaseDocument* doc = NodeDocument(bn, calc);
	_master = doc ? GetThinkingParticlesMaster(doc) : nullptr;
	if (!_master)
		return false;

	BaseContainer* data = bn->GetOpContainerInstance();
	String name = data ? data->GetString(TW_PN_GROUP) : String();
	if (name.IsEmpty())
	{
		BaseObject* op = TagObject(bn);
		name = op ? op->GetName() : String();
	}
	// Without a name there is nothing to look for; an unnamed group is no one's.
	_group = name.IsPopulated() ? FindParticleGroup(_master, name) : nullptr;
	if (!_group)
	{
		_master = nullptr;
		bn->SetError(GV_CALC_ERR_INIT_FAILED);
		return false;
	}
	_current = _group->GetFirstNode();

	for (Int32 i = 0; i < bn->GetOutPortCount(); ++i)
	{
		NodePortReader r;
		if (ResolveNodePort(_master, bn->GetOutPort(i), &r))
			_readers.push_back(r);
	}
	return true;
}

void TWParticleNode::FreeCalculation(GvNode* bn, GvCalc* calc)
{
	(void)bn;
	(void)calc;
	_master = nullptr;
	_group = nullptr;
	_current = nullptr;
	_readers.clear();
}

Bool TWParticleNode::AddToCalculationTable(GvNode* bn, GvRun* run)
{
	return run && run->AddNodeToCalculationTable(bn);
}

Bool TWParticleNode::Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc)
{
	if (!bn || !run)
		return false;
	if (port)
	{
		if (port->GetIO() != GV_PORT_OUTPUT || !_current)
			return true;
		for (const NodePortReader& r : _readers)
			if (r.port == port)
			{
				WriteNodePort(r, _master, _current->GetParticleID(), run);
				return true;
			}
		NodePortReader r;
		if (ResolveNodePort(_master, port, &r))
			WriteNodePort(r, _master, _current->GetParticleID(), run);
		return true;
	}

	if (!calc || !calc->master)
		return false;
	const TP_MasterSystem* master = _master;
	const NodePortReader* readers = _readers.data();
	const size_t count = _readers.size();
	for (; _current; _current = _current->GetNext())
	{
		run->IncrementID();
		bn->SetRecalculate(run, true);
		WritePorts(readers, count, master, _current->GetParticleID(), run);
		calc->master->Recalculate(bn, run, calc);
	}
	return true;
}

Bool RegisterTWParticleNode()
{
	BaseBitmap* icon = LoadPluginIcon("TW_Particle_Importer.png");
	if (!icon)
		return false;
	String name = GeLoadString(ID_TW_PARTICLE_NODE);
	if (!name.IsPopulated())
	{
		BaseBitmap::Free(icon);
		// Without its name the node cannot be offered, and start-up stops here.
		return false;
	}
	Bool ok = GvRegisterOperatorPlugin(ID_TW_PARTICLE_NODE, name, 16, TWParticleNode::Alloc, "TW_Particle_Node", 1, ID_GV_OPCLASS_TYPE_GENERAL,
		ID_GV_OPGROUP_TYPE_XPRESSO, 0, icon);
	BaseBitmap::Free(icon);
	return ok;
}
