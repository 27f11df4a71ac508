// c4d_graphview.h - XPresso: node masters, operator nodes, ports and the calculation cycle.
#pragma once

#include "c4d_baselist.h"
#include "c4d_plugin.h"
#include "c4d_tag.h"

#include <vector>

class BaseThread;
class GvNode;
class GvNodeMaster;
class GvOperatorData;
struct GvHost;
struct GvPlan;

// The XPresso tag: an object's graph.
constexpr Int32 Texpresso = 1001149;

// Operator classes and groups an operator plug-in registers under.
constexpr Int32 ID_GV_OPCLASS_TYPE_GENERAL = 1001111;
constexpr Int32 ID_GV_OPGROUP_TYPE_XPRESSO = 1001117;

// The sub-container of a node's container that holds the operator's own parameters.
constexpr Int32 GV_OPERATOR_CONTAINER = 1000;

// Port value types are the description's data types (DTYPE_VECTOR, DTYPE_LONG, DTYPE_REAL,
// DTYPE_STRING) and ID_TP_DATA_TYPE_PARTICLE for a Thinking Particles particle.

enum GvPortIO
{
	GV_PORT_INVALID = 0,
	GV_PORT_INPUT = 1,
	GV_PORT_OUTPUT = 2,
};

enum
{
	GV_PORT_FLAG_NONE = 0,
	GV_PORT_FLAG_IS_VISIBLE = 1 << 0,
};

// Error codes of a node's calculation (GvNode::SetError). A node that fails its calculation start
// without naming a reason gets GV_CALC_ERR_INIT_FAILED.
enum GvCalcError
{
	GV_CALC_ERR_NONE = 0,
	GV_CALC_ERR_NOT_IMPLEMENTED = 1,
	GV_CALC_ERR_NO_MEMORY = 2,
	GV_CALC_ERR_UNDEFINED = 3,
	GV_CALC_ERR_INVALID = 4,
	GV_CALC_ERR_NOT_VALID = 5,
	GV_CALC_ERR_INIT_FAILED = 6,
	GV_CALC_ERR_CALCULATION_FAILED = 7,
};

// What an operator offers the user: the IDs of the ports that can be added.
struct GvPortListEntry
{
	Int32 id = 0;
};
using GvPortList = std::vector<GvPortListEntry>;

// A port's description as the operator gives it for one port ID.
struct GvPortDescription
{
	String name;
	Int32 data_id = 0; // value type
	Int32 flags = GV_PORT_FLAG_IS_VISIBLE;
	Int32 ports_min = 0;
	Int32 ports_max = 1;
};

// One calculation of a node master: each pass through the graph has its own ID, and a value set on a
// port belongs to the pass it was set in.
class GvRun
{
public:
	Int32 GetCalculationID() const { return _id; }
	// Starts a new pass (an iterating node calls it per element).
	Bool IncrementID();
	// Asks the host to call the node's Calculate with a null port in this calculation.
	Bool AddNodeToCalculationTable(GvNode* node, Bool force_add = false);

private:
	Int32 _id = 0;
	std::vector<GvNode*> _table;
	friend class GvNodeMaster;
	friend struct GvHost;
};

// What a calculation is done for.
struct GvCalc
{
	GvNodeMaster* master = nullptr;
	BaseDocument* document = nullptr;
	BaseTime time;
	BaseThread* thread = nullptr;
};

// Passed to QueryCalculation; the host asks nothing of it yet.
struct GvQuery
{
	Int32 flags = 0;
};

class GvPort
{
public:
	Int32 GetMainID() const { return _id; }
	GvPortIO GetIO() const { return _io; }
	Int32 GetValueType() const { return _type; }
	String GetName(const GvNode* node) const;
	GvNode* GetNode() const { return _node; }

	// Values. A setter fails when the value does not fit the port's type; the particle type takes an
	// Int32 particle ID through SetData/GetData.
	Bool SetVector(const Vector& v, GvRun* run);
	Bool SetFloat(Float f, GvRun* run);
	Bool SetInteger(Int32 i, GvRun* run);
	Bool SetString(const String& s, GvRun* run);
	Bool SetData(const void* data, Int32 type, GvRun* run);
	Bool GetVector(Vector* v, GvRun* run) const;
	Bool GetFloat(Float* f, GvRun* run) const;
	Bool GetInteger(Int32* i, GvRun* run) const;
	Bool GetString(String* s, GvRun* run) const;
	Bool GetData(void* data, Int32 type, GvRun* run) const;

	// Connections go from an output port to input ports; an input port has at most one source.
	Bool Connect(GvPort* input);
	void Remove(); // removes the port's connections
	GvPort* GetSource() const { return _source; }
	Bool IsConnected() const;

private:
	GvPort() = default;
	GvNode* _node = nullptr;
	Int32 _id = 0;
	GvPortIO _io = GV_PORT_INVALID;
	Int32 _type = 0;
	String _name;
	// the value: vector, float, integer (and particle ID) share the record; a string stands beside it
	Vector _v;
	Float _f = 0.0;
	Int32 _i = 0;
	String _s;
	Int32 _calc_id = -1; // the pass the value was set in
	GvPort* _source = nullptr;
	std::vector<GvPort*> _targets;
	friend class GvNode;
	friend class GvNodeMaster;
	friend struct GvHost;
};

// A node of a graph: an operator of a registered operator plug-in, or a group of nodes.
class GvNode : public BaseList2D
{
public:
	~GvNode() override;

	GvOperatorData* GetOperatorData() const;
	Int32 GetOperatorID() const { return _op_id; }
	GvNodeMaster* GetNodeMaster() const { return _master; }
	// The document of the object the graph's tag is on, at the time of asking.
	BaseDocument* GetDocument() const;
	// The operator's own parameters (sub-container GV_OPERATOR_CONTAINER of the node's container).
	BaseContainer* GetOpContainerInstance();

	// Adds a port of an ID the operator describes (its name and type come from the operator's port
	// description); null when the operator does not describe that ID.
	GvPort* AddPort(GvPortIO io, Int32 id, Int32 flags = GV_PORT_FLAG_IS_VISIBLE, Bool message = false);
	Bool RemovePort(GvPort* port, Bool message = false);
	Int32 GetInPortCount() const { return static_cast<Int32>(_in.size()); }
	Int32 GetOutPortCount() const { return static_cast<Int32>(_out.size()); }
	GvPort* GetInPort(Int32 index) const;
	GvPort* GetOutPort(Int32 index) const;
	GvPort* GetInPortFirstMainID(Int32 id) const;
	GvPort* GetOutPortFirstMainID(Int32 id) const;

	// The node's error of its last calculation (GvCalcError), GV_CALC_ERR_NONE when it had none.
	void SetError(Int32 code) { _error = code; }
	Int32 GetError() const { return _error; }

	// The operator's title, text and detailed text.
	String GetTitle() const;
	String GetText() const;
	String GetDetailedText() const;

	// In an iteration: the node's outputs hold new values in this pass, so what is downstream must
	// be calculated again.
	Bool SetRecalculate(GvRun* run, Bool force_set = false);

	GvNode* GetNext() const { return static_cast<GvNode*>(GeListNode::GetNext()); }
	GvNode* GetDown() const { return static_cast<GvNode*>(GeListNode::GetDown()); }

private:
	explicit GvNode(Int32 op_id);
	Int32 _op_id = 0;
	GvNodeMaster* _master = nullptr;
	std::vector<GvPort*> _in, _out;
	Int32 _error = GV_CALC_ERR_NONE;
	Int32 _index = -1; // place in the calculation order of the running Execute
	friend class GvNodeMaster;
	friend struct GvHost;
};

// The graph of an XPresso tag: a root group holding the nodes.
class GvNodeMaster
{
public:
	~GvNodeMaster();
	GvNode* GetRoot() const { return _root; }
	// The tag the graph belongs to.
	BaseList2D* GetOwner() const { return _owner; }
	BaseDocument* GetDocument() const;

	// A new node of a registered operator (the operator's iCreateOperator adds its first ports),
	// inserted under parent (the root when null) after insert, or last.
	GvNode* CreateNode(GvNode* parent, Int32 id, GvNode* insert = nullptr, Int32 x = -1, Int32 y = -1);
	void FreeNode(GvNode*& node);

	// Runs the whole calculation cycle once: QueryCalculation and InitCalculation of every node,
	// upstream first (a node that fails, and what depends on it, drop out), then the calculation,
	// then FreeCalculation. The first failing node's error, GV_CALC_ERR_NONE when none failed.
	Int32 Execute(BaseThread* thread);

	// Passes the values node set in this pass on: calculates the nodes downstream of it.
	Bool Recalculate(GvNode* node, GvRun* run, GvCalc* calc);

private:
	explicit GvNodeMaster(BaseList2D* owner);
	BaseList2D* _owner = nullptr;
	GvNode* _root = nullptr;
	GvPlan* _plan = nullptr; // set while Execute runs
	friend class XPressoTag;
	friend struct GvHost;
};

class XPressoTag : public BaseTag
{
public:
	static XPressoTag* Alloc();
	GvNodeMaster* GetNodeMaster() const { return _master; }
	~XPressoTag() override;

private:
	XPressoTag();
	BaseTag* CloneSelf() const override;
	GvNodeMaster* _master = nullptr;
	friend class BaseTag;
};

class GvOperatorData : public NodeData
{
public:
	// A new node: add its first ports.
	virtual Bool iCreateOperator(GvNode* bn) { (void)bn; return true; }
	// The ports the user may add.
	virtual Bool iGetPortList(GvNode* bn, GvPortIO port, GvPortList& portlist)
	{
		(void)bn; (void)port; (void)portlist;
		return false;
	}
	// Name and type of port id; false leaves the host's default.
	virtual Bool iGetPortDescription(GvNode* bn, GvPortIO port, Int32 id, GvPortDescription* pd)
	{
		(void)bn; (void)port; (void)id; (void)pd;
		return false;
	}
	// A numbered menu of the ports: names and ids receive one entry per port under first_menu_id,
	// first_menu_id + 1, ...; the number of entries.
	virtual Int32 FillPortsMenu(GvNode* bn, BaseContainer& names, BaseContainer& ids, Int32 value_type, GvPortIO port,
		Int32 first_menu_id)
	{
		(void)bn; (void)names; (void)ids; (void)value_type; (void)port; (void)first_menu_id;
		return 0;
	}
	virtual String GetText(GvNode* bn) { (void)bn; return String(); }
	virtual String GetDetailedText(GvNode* bn) { (void)bn; return String(); }
	virtual String GetTitle(GvNode* bn) { (void)bn; return String(); }

	virtual Bool QueryCalculation(GvNode* bn, GvQuery* query) { (void)bn; (void)query; return true; }
	virtual Bool InitCalculation(GvNode* bn, GvCalc* calc, GvRun* run) { (void)bn; (void)calc; (void)run; return true; }
	virtual void FreeCalculation(GvNode* bn, GvCalc* calc) { (void)bn; (void)calc; }
	// port null: the node was put in the calculation table and is called for itself.
	virtual Bool Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc)
	{
		(void)bn; (void)port; (void)run; (void)calc;
		return false;
	}
	// Called after InitCalculation: a node that drives a calculation adds itself to the table.
	virtual Bool AddToCalculationTable(GvNode* bn, GvRun* run) { (void)bn; (void)run; return false; }
};
