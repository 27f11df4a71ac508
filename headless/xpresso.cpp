// xpresso.cpp - XPresso graphs of the headless host: the tag, its node master, operator nodes, ports and
// the calculation cycle.
#include "host_state.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>

using headless::State;

// What one Execute worked out before calculating: the order of the nodes and, per node (by its
// _index), what the calls during the calculation need without walking the graph again.
struct GvPlan
{
	std::vector<GvNode*> order;
	std::vector<char> live;		// took part: not dropped before the calculation
	std::vector<char> inited;	// InitCalculation succeeded, so FreeCalculation is owed
	std::vector<char> table;	// put itself in the calculation table
	std::vector<char> table_up; // a table node is upstream of it
	std::vector<std::vector<GvNode*>> down;	  // table nodes Recalculate(node) calculates, in order
	std::vector<std::vector<GvPort*>> forget; // outputs of plain nodes downstream, for SetRecalculate
	GvCalc calc;
	Int32 first_error = GV_CALC_ERR_NONE;

	bool Member(const GvNode* n) const
	{
		return n && n->GetNodeMaster() == calc.master && IndexOf(n) >= 0;
	}
	Int32 IndexOf(const GvNode* n) const;
};

// The host's side of the graph: what the node master does on its nodes and ports.
struct GvHost
{
	static Int32 Index(const GvNode* n) { return n->_index; }
	static void SetIndex(GvNode* n, Int32 i) { n->_index = i; }
	static GvPlan* Plan(const GvNodeMaster* m) { return m ? m->_plan : nullptr; }

	static void Fail(GvPlan& plan, GvNode* n, Int32 code)
	{
		if (n->_error == GV_CALC_ERR_NONE)
			n->_error = code;
		if (plan.first_error == GV_CALC_ERR_NONE)
			plan.first_error = n->_error;
	}

	// The operator nodes whose outputs feed n's inputs (each once per connection; never n itself).
	template <typename F> static void ForSources(const GvNode* n, F f)
	{
		for (const GvPort* in : n->_in)
			if (in->_source && in->_source->_node != n)
				f(in->_source->_node);
	}

	static Int32 FloatToInt(Float f)
	{
		if (std::isnan(f))
			return 0;
		if (f >= static_cast<Float>(std::numeric_limits<Int32>::max()))
			return std::numeric_limits<Int32>::max();
		if (f <= static_cast<Float>(std::numeric_limits<Int32>::min()))
			return std::numeric_limits<Int32>::min();
		return static_cast<Int32>(f);
	}

	// An output's value into an input: equal types copy, integer and float convert (a float is cut
	// toward zero), anything else leaves the input as it was.
	static void CopyValue(const GvPort* src, GvPort* dst, Int32 calc_id)
	{
		if (src->_type == dst->_type)
		{
			// only the field of the type: a pass hands on millions of values
			switch (src->_type)
			{
				case DTYPE_VECTOR: dst->_v = src->_v; break;
				case DTYPE_REAL: dst->_f = src->_f; break;
				case DTYPE_STRING: dst->_s = src->_s; break;
				default: dst->_i = src->_i; break;
			}
		}
		else if (src->_type == DTYPE_LONG && dst->_type == DTYPE_REAL)
			dst->_f = static_cast<Float>(src->_i);
		else if (src->_type == DTYPE_REAL && dst->_type == DTYPE_LONG)
			dst->_i = FloatToInt(src->_f);
		else
			return;
		dst->_calc_id = calc_id;
	}

	// Brings n's inputs: a plain node upstream whose output was not calculated in this pass is
	// calculated for that output first; a table node's outputs are its own to set.
	static void Bring(GvPlan& plan, GvNode* n, GvRun* run)
	{
		for (GvPort* in : n->_in)
		{
			GvPort* src = in->_source;
			if (!src)
				continue;
			GvNode* m = src->_node;
			if (src->_calc_id != run->GetCalculationID() && plan.Member(m) && !plan.table[m->_index])
			{
				Bring(plan, m, run);
				if (!m->GetOperatorData()->Calculate(m, src, run, &plan.calc))
					Fail(plan, m, GV_CALC_ERR_CALCULATION_FAILED);
			}
			CopyValue(src, in, run->GetCalculationID());
		}
	}

	static void CalculateTableNode(GvPlan& plan, GvNode* n, GvRun* run, GvCalc* calc)
	{
		Bring(plan, n, run);
		if (!n->GetOperatorData()->Calculate(n, nullptr, run, calc))
			Fail(plan, n, GV_CALC_ERR_CALCULATION_FAILED);
	}

	static void Collect(GvNode* parent, std::vector<GvNode*>& out)
	{
		for (GvNode* c = parent->GetDown(); c; c = c->GetNext())
		{
			if (c->GetOperatorData())
				out.push_back(c);
			Collect(c, out);
		}
	}

	static void Order(GvPlan& plan, std::vector<char>& cycle);
	static void Prepare(GvPlan& plan, GvRun& run, const std::vector<char>& cycle);
	static void Precompute(GvPlan& plan);

	static GvNode* CopyNode(const GvNode* src, GvNodeMaster* master, std::vector<std::pair<const GvPort*, GvPort*>>& ports);
	static bool CopyGraph(const GvNodeMaster& src, GvNodeMaster& dst);
	static void Forget(GvNode* n)
	{
		// the host's own operators are not the module's: unloading it need not free them
		if (headless::HostOperator(n->GetOperatorID()))
			State().plugin_nodes.erase(n);
	}
};

Int32 GvPlan::IndexOf(const GvNode* n) const
{
	Int32 i = GvHost::Index(n);
	return i >= 0 && i < static_cast<Int32>(order.size()) && order[static_cast<size_t>(i)] == n ? i : -1;
}

// --- ports

String GvPort::GetName(const GvNode* node) const
{
	(void)node;
	return _name;
}

static Bool Stamp(Int32& calc_id, GvRun* run)
{
	if (run)
		calc_id = run->GetCalculationID();
	return true;
}

Bool GvPort::SetVector(const Vector& v, GvRun* run)
{
	if (_type != DTYPE_VECTOR)
		return false;
	_v = v;
	return Stamp(_calc_id, run);
}

Bool GvPort::SetFloat(Float f, GvRun* run)
{
	if (_type != DTYPE_REAL)
		return false;
	_f = f;
	return Stamp(_calc_id, run);
}

Bool GvPort::SetInteger(Int32 i, GvRun* run)
{
	if (_type != DTYPE_LONG)
		return false;
	_i = i;
	return Stamp(_calc_id, run);
}

Bool GvPort::SetString(const String& s, GvRun* run)
{
	if (_type != DTYPE_STRING)
		return false;
	_s = s;
	return Stamp(_calc_id, run);
}

Bool GvPort::SetData(const void* data, Int32 type, GvRun* run)
{
	if (!data || type != _type)
		return false;
	switch (type)
	{
		case DTYPE_VECTOR: _v = *static_cast<const Vector*>(data); break;
		case DTYPE_REAL: _f = *static_cast<const Float*>(data); break;
		case DTYPE_LONG:
		case ID_TP_DATA_TYPE_PARTICLE: _i = *static_cast<const Int32*>(data); break;
		case DTYPE_STRING: _s = *static_cast<const String*>(data); break;
		default: return false;
	}
	return Stamp(_calc_id, run);
}

Bool GvPort::GetVector(Vector* v, GvRun* run) const
{
	(void)run;
	if (!v || _type != DTYPE_VECTOR)
		return false;
	*v = _v;
	return true;
}

Bool GvPort::GetFloat(Float* f, GvRun* run) const
{
	(void)run;
	if (!f || _type != DTYPE_REAL)
		return false;
	*f = _f;
	return true;
}

Bool GvPort::GetInteger(Int32* i, GvRun* run) const
{
	(void)run;
	if (!i || _type != DTYPE_LONG)
		return false;
	*i = _i;
	return true;
}

Bool GvPort::GetString(String* s, GvRun* run) const
{
	(void)run;
	if (!s || _type != DTYPE_STRING)
		return false;
	*s = _s;
	return true;
}

Bool GvPort::GetData(void* data, Int32 type, GvRun* run) const
{
	(void)run;
	if (!data || type != _type)
		return false;
	switch (type)
	{
		case DTYPE_VECTOR: *static_cast<Vector*>(data) = _v; break;
		case DTYPE_REAL: *static_cast<Float*>(data) = _f; break;
		case DTYPE_LONG:
		case ID_TP_DATA_TYPE_PARTICLE: *static_cast<Int32*>(data) = _i; break;
		case DTYPE_STRING: *static_cast<String*>(data) = _s; break;
		default: return false;
	}
	return true;
}

Bool GvPort::Connect(GvPort* input)
{
	if (!input || _io != GV_PORT_OUTPUT || input->_io != GV_PORT_INPUT || !_node || !input->_node || _node == input->_node ||
		_node->GetNodeMaster() != input->_node->GetNodeMaster())
		return false;
	if (input->_source == this)
		return true;
	input->Remove();
	input->_source = this;
	_targets.push_back(input);
	return true;
}

void GvPort::Remove()
{
	if (_source)
	{
		auto& t = _source->_targets;
		t.erase(std::remove(t.begin(), t.end(), this), t.end());
		_source = nullptr;
	}
	for (GvPort* target : _targets)
		target->_source = nullptr;
	_targets.clear();
}

Bool GvPort::IsConnected() const
{
	return _source || !_targets.empty();
}

// --- nodes

GvNode::GvNode(Int32 op_id) : BaseList2D(op_id), _op_id(op_id)
{
}

GvNode::~GvNode()
{
	// the operator's Free still sees the whole node
	FreeNodeData();
	while (GvNode* child = GetDown())
	{
		child->Remove();
		delete child;
	}
	for (GvPort* p : _in)
	{
		p->Remove();
		delete p;
	}
	for (GvPort* p : _out)
	{
		p->Remove();
		delete p;
	}
}

GvOperatorData* GvNode::GetOperatorData() const
{
	return static_cast<GvOperatorData*>(_data);
}

BaseDocument* GvNode::GetDocument() const
{
	return _master ? _master->GetDocument() : nullptr;
}

BaseContainer* GvNode::GetOpContainerInstance()
{
	BaseContainer* sub = _bc.GetContainerInstance(GV_OPERATOR_CONTAINER);
	if (!sub)
	{
		_bc.SetContainer(GV_OPERATOR_CONTAINER, BaseContainer());
		sub = _bc.GetContainerInstance(GV_OPERATOR_CONTAINER);
	}
	return sub;
}

GvPort* GvNode::AddPort(GvPortIO io, Int32 id, Int32 flags, Bool message)
{
	(void)message;
	GvOperatorData* op = GetOperatorData();
	if (!op || (io != GV_PORT_INPUT && io != GV_PORT_OUTPUT))
		return nullptr;
	GvPortDescription pd;
	if (!op->iGetPortDescription(this, io, id, &pd))
		return nullptr;
	(void)flags;
	GvPort* port = new GvPort();
	port->_node = this;
	port->_id = id;
	port->_io = io;
	port->_type = pd.data_id;
	port->_name = pd.name;
	(io == GV_PORT_INPUT ? _in : _out).push_back(port);
	return port;
}

Bool GvNode::RemovePort(GvPort* port, Bool message)
{
	(void)message;
	if (!port || port->_node != this)
		return false;
	auto& list = port->_io == GV_PORT_INPUT ? _in : _out;
	auto it = std::find(list.begin(), list.end(), port);
	if (it == list.end())
		return false;
	list.erase(it);
	port->Remove();
	delete port;
	return true;
}

GvPort* GvNode::GetInPort(Int32 index) const
{
	return index >= 0 && index < GetInPortCount() ? _in[static_cast<size_t>(index)] : nullptr;
}

GvPort* GvNode::GetOutPort(Int32 index) const
{
	return index >= 0 && index < GetOutPortCount() ? _out[static_cast<size_t>(index)] : nullptr;
}

GvPort* GvNode::GetInPortFirstMainID(Int32 id) const
{
	for (GvPort* p : _in)
		if (p->_id == id)
			return p;
	return nullptr;
}

GvPort* GvNode::GetOutPortFirstMainID(Int32 id) const
{
	for (GvPort* p : _out)
		if (p->_id == id)
			return p;
	return nullptr;
}

String GvNode::GetTitle() const
{
	GvOperatorData* op = GetOperatorData();
	String title = op ? op->GetTitle(const_cast<GvNode*>(this)) : String();
	if (title.IsEmpty())
		if (const headless::Registration* reg = headless::FindRegistration(_op_id))
			title = String(reg->display_name);
	return title;
}

String GvNode::GetText() const
{
	GvOperatorData* op = GetOperatorData();
	return op ? op->GetText(const_cast<GvNode*>(this)) : String();
}

String GvNode::GetDetailedText() const
{
	GvOperatorData* op = GetOperatorData();
	return op ? op->GetDetailedText(const_cast<GvNode*>(this)) : String();
}

Bool GvNode::SetRecalculate(GvRun* run, Bool force_set)
{
	(void)run;
	(void)force_set;
	GvPlan* plan = GvHost::Plan(_master);
	if (!plan)
		return false;
	Int32 i = plan->IndexOf(this);
	if (i < 0)
		return false;
	for (GvPort* p : plan->forget[static_cast<size_t>(i)])
		p->_calc_id = -1;
	return true;
}

// --- runs

Bool GvRun::IncrementID()
{
	++_id;
	return true;
}

Bool GvRun::AddNodeToCalculationTable(GvNode* node, Bool force_add)
{
	(void)force_add;
	if (!node)
		return false;
	if (std::find(_table.begin(), _table.end(), node) == _table.end())
		_table.push_back(node);
	return true;
}

// --- the node master

GvNodeMaster::GvNodeMaster(BaseList2D* owner) : _owner(owner), _root(new GvNode(0))
{
	_root->_master = this;
}

GvNodeMaster::~GvNodeMaster()
{
	delete _root;
}

BaseDocument* GvNodeMaster::GetDocument() const
{
	const BaseTag* tag = dynamic_cast<const BaseTag*>(_owner);
	const BaseObject* op = tag ? tag->GetObject() : nullptr;
	return op ? op->GetDocument() : nullptr;
}

GvNode* GvNodeMaster::CreateNode(GvNode* parent, Int32 id, GvNode* insert, Int32 x, Int32 y)
{
	(void)x;
	(void)y;
	const headless::Registration* reg = headless::FindRegistration(id);
	if (!reg || reg->kind != headless::KIND_OPERATOR || !reg->alloc)
		return nullptr;
	if (!parent)
		parent = _root;
	if (parent->_master != this)
		return nullptr;
	GvNode* node = new GvNode(id);
	node->_master = this;
	if (!node->AttachNodeData())
	{
		delete node;
		return nullptr;
	}
	GvHost::Forget(node);
	if (insert && insert->GetUp() == parent)
		node->InsertAfter(insert);
	else
		node->InsertUnderLast(parent);
	if (!node->GetOperatorData()->iCreateOperator(node))
	{
		node->Remove();
		delete node;
		return nullptr;
	}
	return node;
}

void GvNodeMaster::FreeNode(GvNode*& node)
{
	// a node stays while a calculation may still reach it
	if (!node || node->_master != this || node == _root || _plan)
		return;
	node->Remove();
	delete node;
	node = nullptr;
}

// Upstream first, tree order among the nodes free to go; the nodes left over are on a cycle or
// downstream of one.
void GvHost::Order(GvPlan& plan, std::vector<char>& cycle)
{
	std::vector<GvNode*> tree = plan.order;
	const size_t n = tree.size();
	for (size_t i = 0; i < n; ++i)
		SetIndex(tree[i], static_cast<Int32>(i));
	auto in_tree = [&](const GvNode* m) {
		Int32 i = Index(m);
		return i >= 0 && static_cast<size_t>(i) < n && tree[static_cast<size_t>(i)] == m;
	};
	std::vector<std::vector<Int32>> succ(n);
	std::vector<Int32> indegree(n, 0);
	for (size_t i = 0; i < n; ++i)
		ForSources(tree[i], [&](const GvNode* m) {
			if (!in_tree(m))
				return;
			succ[static_cast<size_t>(Index(m))].push_back(static_cast<Int32>(i));
			++indegree[i];
		});
	std::priority_queue<Int32, std::vector<Int32>, std::greater<Int32>> ready;
	for (size_t i = 0; i < n; ++i)
		if (indegree[i] == 0)
			ready.push(static_cast<Int32>(i));
	std::vector<char> placed(n, 0);
	std::vector<GvNode*> order;
	order.reserve(n);
	while (!ready.empty())
	{
		Int32 i = ready.top();
		ready.pop();
		placed[static_cast<size_t>(i)] = 1;
		order.push_back(tree[static_cast<size_t>(i)]);
		for (Int32 s : succ[static_cast<size_t>(i)])
			if (--indegree[static_cast<size_t>(s)] == 0)
				ready.push(s);
	}
	// Of what is left, a node that reaches itself is on a cycle; the others only hang below one.
	cycle.assign(n, 0);
	std::vector<char> was_cycle(n, 0);
	for (size_t i = 0; i < n; ++i)
	{
		if (placed[i])
			continue;
		std::vector<char> seen(n, 0);
		std::vector<Int32> stack(succ[i].begin(), succ[i].end());
		while (!stack.empty() && !was_cycle[i])
		{
			size_t s = static_cast<size_t>(stack.back());
			stack.pop_back();
			if (s == i)
				was_cycle[i] = 1;
			else if (!seen[s] && !placed[s])
			{
				seen[s] = 1;
				stack.insert(stack.end(), succ[s].begin(), succ[s].end());
			}
		}
	}
	for (size_t i = 0; i < n; ++i)
		if (!placed[i])
		{
			cycle[order.size()] = was_cycle[i];
			order.push_back(tree[i]);
		}
	plan.order = std::move(order);
	for (size_t i = 0; i < n; ++i)
		SetIndex(plan.order[i], static_cast<Int32>(i));
}

// Calculation start of every node in order; what fails, and what hangs below it, drops out.
void GvHost::Prepare(GvPlan& plan, GvRun& run, const std::vector<char>& cycle)
{
	const size_t n = plan.order.size();
	plan.live.assign(n, 0);
	plan.inited.assign(n, 0);
	plan.table.assign(n, 0);
	plan.table_up.assign(n, 0);
	for (size_t i = 0; i < n; ++i)
	{
		GvNode* node = plan.order[i];
		node->_error = GV_CALC_ERR_NONE;
		if (cycle[i])
		{
			Fail(plan, node, GV_CALC_ERR_INVALID);
			continue;
		}
		bool upstream_dropped = false;
		ForSources(node, [&](const GvNode* m) {
			Int32 j = plan.IndexOf(m);
			if (j >= 0 && (static_cast<size_t>(j) >= i || !plan.live[static_cast<size_t>(j)]))
				upstream_dropped = true; // a source after the node is one of the left-over ones
		});
		if (upstream_dropped)
			continue;
		GvOperatorData* op = node->GetOperatorData();
		GvQuery query;
		if (!op->QueryCalculation(node, &query))
			continue;
		if (!op->InitCalculation(node, &plan.calc, &run))
		{
			Fail(plan, node, GV_CALC_ERR_INIT_FAILED);
			continue;
		}
		plan.inited[i] = 1;
		plan.live[i] = 1;
		op->AddToCalculationTable(node, &run);
	}
	for (GvNode* t : run._table)
	{
		Int32 i = plan.IndexOf(t);
		if (i >= 0 && plan.live[static_cast<size_t>(i)])
			plan.table[static_cast<size_t>(i)] = 1;
	}
	for (size_t i = 0; i < n; ++i)
		if (plan.live[i])
			ForSources(plan.order[i], [&](const GvNode* m) {
				Int32 j = plan.IndexOf(m);
				if (j >= 0 && (plan.table[static_cast<size_t>(j)] || plan.table_up[static_cast<size_t>(j)]))
					plan.table_up[i] = 1;
			});
}

// Per live node: the table nodes below it up to and including the first table node on each path,
// and the outputs of the plain nodes passed on the way.
void GvHost::Precompute(GvPlan& plan)
{
	const size_t n = plan.order.size();
	std::vector<std::vector<Int32>> succ(n);
	for (size_t i = 0; i < n; ++i)
		if (plan.live[i])
			ForSources(plan.order[i], [&](const GvNode* m) {
				Int32 j = plan.IndexOf(m);
				if (j >= 0)
					succ[static_cast<size_t>(j)].push_back(static_cast<Int32>(i));
			});
	plan.down.assign(n, {});
	plan.forget.assign(n, {});
	std::vector<size_t> seen(n, n);
	std::vector<Int32> stack;
	for (size_t i = 0; i < n; ++i)
	{
		if (!plan.live[i])
			continue;
		stack.assign(succ[i].begin(), succ[i].end());
		std::vector<Int32> tables;
		while (!stack.empty())
		{
			size_t s = static_cast<size_t>(stack.back());
			stack.pop_back();
			if (seen[s] == i || !plan.live[s])
				continue;
			seen[s] = i;
			if (plan.table[s])
			{
				tables.push_back(static_cast<Int32>(s));
				continue;
			}
			for (GvPort* p : plan.order[s]->_out)
				plan.forget[i].push_back(p);
			stack.insert(stack.end(), succ[s].begin(), succ[s].end());
		}
		std::sort(tables.begin(), tables.end());
		for (Int32 t : tables)
			plan.down[i].push_back(plan.order[static_cast<size_t>(t)]);
	}
}

Int32 GvNodeMaster::Execute(BaseThread* thread)
{
	if (_plan)
		return GV_CALC_ERR_UNDEFINED; // a graph does not run inside its own calculation
	GvPlan plan;
	BaseDocument* doc = GetDocument();
	plan.calc.master = this;
	plan.calc.document = doc;
	plan.calc.time = doc ? doc->GetTime() : BaseTime();
	plan.calc.thread = thread;
	GvHost::Collect(_root, plan.order);
	std::vector<char> cycle;
	GvHost::Order(plan, cycle);
	_plan = &plan;
	GvRun run;
	GvHost::Prepare(plan, run, cycle);
	GvHost::Precompute(plan);

	run.IncrementID();
	for (size_t i = 0; i < plan.order.size(); ++i)
		if (plan.live[i] && plan.table[i] && !plan.table_up[i])
			GvHost::CalculateTableNode(plan, plan.order[i], &run, &plan.calc);

	for (size_t i = 0; i < plan.order.size(); ++i)
		if (plan.inited[i])
			plan.order[i]->GetOperatorData()->FreeCalculation(plan.order[i], &plan.calc);
	for (GvNode* node : plan.order)
		GvHost::SetIndex(node, -1);
	_plan = nullptr;
	return plan.first_error;
}

Bool GvNodeMaster::Recalculate(GvNode* node, GvRun* run, GvCalc* calc)
{
	if (!_plan || !run)
		return false;
	Int32 i = _plan->IndexOf(node);
	if (i < 0)
		return false;
	for (GvNode* t : _plan->down[static_cast<size_t>(i)])
		GvHost::CalculateTableNode(*_plan, t, run, calc ? calc : &_plan->calc);
	return true;
}

// --- copies

GvNode* GvHost::CopyNode(const GvNode* src, GvNodeMaster* master, std::vector<std::pair<const GvPort*, GvPort*>>& ports)
{
	GvNode* copy = new GvNode(src->_op_id);
	copy->_master = master;
	copy->_bc = src->_bc;
	copy->_name = src->_name;
	if (!src->CopyNodeDataTo(copy))
	{
		delete copy;
		return nullptr;
	}
	Forget(copy);
	copy->_error = src->_error;
	for (const auto* list : {&src->_in, &src->_out})
		for (const GvPort* p : *list)
		{
			// the port as it is, without its place in the original's graph
			GvPort* q = new GvPort(*p);
			q->_node = copy;
			q->_calc_id = -1;
			q->_source = nullptr;
			q->_targets.clear();
			(p->_io == GV_PORT_INPUT ? copy->_in : copy->_out).push_back(q);
			ports.emplace_back(p, q);
		}
	for (const GvNode* c = src->GetDown(); c; c = c->GetNext())
	{
		GvNode* cc = CopyNode(c, master, ports);
		if (!cc)
		{
			delete copy;
			return nullptr;
		}
		cc->InsertUnderLast(copy);
	}
	return copy;
}

// The nodes with their operator data, containers and ports, then the connections between the copies.
bool GvHost::CopyGraph(const GvNodeMaster& src, GvNodeMaster& dst)
{
	std::vector<std::pair<const GvPort*, GvPort*>> ports;
	for (const GvNode* c = src._root->GetDown(); c; c = c->GetNext())
	{
		GvNode* cc = CopyNode(c, &dst, ports);
		if (!cc)
			return false;
		cc->InsertUnderLast(dst._root);
	}
	std::sort(ports.begin(), ports.end());
	auto find = [&](const GvPort* p) -> GvPort* {
		auto it = std::lower_bound(ports.begin(), ports.end(), std::make_pair(p, static_cast<GvPort*>(nullptr)));
		return it != ports.end() && it->first == p ? it->second : nullptr;
	};
	for (const auto& [from, to] : ports)
		if (from->_source)
			if (GvPort* source = find(from->_source))
				source->Connect(to);
	return true;
}

// --- the tag

XPressoTag::XPressoTag() : BaseTag(Texpresso), _master(new GvNodeMaster(this))
{
}

XPressoTag::~XPressoTag()
{
	delete _master;
	_master = nullptr;
}

XPressoTag* XPressoTag::Alloc()
{
	if (headless::TagAllocationRefused(Texpresso))
		return nullptr;
	return new XPressoTag();
}

BaseTag* XPressoTag::CloneSelf() const
{
	XPressoTag* copy = new XPressoTag();
	if (!GvHost::CopyGraph(*_master, *copy->_master))
	{
		delete copy;
		return nullptr;
	}
	return copy;
}
