// recorder.cpp - the recording node: an operator of the host's own that keeps what its inputs receive.
#include "host_state.h"

#include <algorithm>

namespace
{

class RecordingNode : public GvOperatorData
{
public:
	static NodeData* Alloc() { return new RecordingNode(); }

	headless::RecordedValues values;
	std::vector<Int32> port_ids; // the input port ID of each column
	Int32 next_id = 1;
	bool keep = true;

	Bool iGetPortDescription(GvNode* bn, GvPortIO port, Int32 id, GvPortDescription* pd) override
	{
		(void)bn;
		size_t c = Column(id);
		if (port != GV_PORT_INPUT || c == port_ids.size())
			return false;
		pd->name = String(values.columns[c].name);
		pd->data_id = values.columns[c].type;
		return true;
	}

	Bool AddToCalculationTable(GvNode* bn, GvRun* run) override { return run->AddNodeToCalculationTable(bn); }

	Bool Calculate(GvNode* bn, GvPort* port, GvRun* run, GvCalc* calc) override
	{
		(void)calc;
		if (port)
			return true;
		++values.calculations;
		if (!keep)
			return true;
		for (Int32 i = 0; i < bn->GetInPortCount(); ++i)
		{
			GvPort* in = bn->GetInPort(i);
			size_t c = Column(in->GetMainID());
			if (c == port_ids.size())
				continue;
			headless::RecordedColumn& col = values.columns[c];
			switch (col.type)
			{
				case DTYPE_VECTOR:
				{
					Vector v;
					in->GetVector(&v, run);
					col.vectors.push_back(v);
					break;
				}
				case DTYPE_REAL:
				{
					Float f = 0.0;
					in->GetFloat(&f, run);
					col.floats.push_back(f);
					break;
				}
				case DTYPE_STRING:
				{
					String s;
					in->GetString(&s, run);
					col.strings.push_back(s.Get());
					break;
				}
				default:
				{
					Int32 v = 0;
					in->GetData(&v, col.type, run);
					col.integers.push_back(v);
					break;
				}
			}
		}
		return true;
	}

	Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode) override
	{
		(void)snode;
		(void)dnode;
		*static_cast<RecordingNode*>(dest) = *this;
		return true;
	}

	size_t Column(Int32 id) const
	{
		return static_cast<size_t>(std::find(port_ids.begin(), port_ids.end(), id) - port_ids.begin());
	}
};

RecordingNode* Recorder(const GvNode* node)
{
	if (!node || node->GetOperatorID() != headless::ID_RECORDING_NODE)
		return nullptr;
	return static_cast<RecordingNode*>(node->GetOperatorData());
}

bool Recordable(Int32 type)
{
	return type == DTYPE_VECTOR || type == DTYPE_REAL || type == DTYPE_LONG || type == DTYPE_STRING ||
		type == ID_TP_DATA_TYPE_PARTICLE;
}

} // namespace

namespace headless
{

const Registration* HostOperator(Int32 id)
{
	static const Registration recorder = [] {
		Registration r;
		r.kind = KIND_OPERATOR;
		r.id = ID_RECORDING_NODE;
		r.name = r.display_name = "Recording";
		r.alloc = RecordingNode::Alloc;
		r.op_class = ID_GV_OPCLASS_TYPE_GENERAL;
		r.op_group = ID_GV_OPGROUP_TYPE_XPRESSO;
		return r;
	}();
	return id == ID_RECORDING_NODE ? &recorder : nullptr;
}

size_t RecordedColumn::Size() const
{
	return std::max({vectors.size(), floats.size(), integers.size(), strings.size()});
}

GvNode* AddRecordingNode(GvNodeMaster* master)
{
	return master ? master->CreateNode(nullptr, ID_RECORDING_NODE) : nullptr;
}

GvPort* RecordPort(GvNode* recorder, GvPort* output)
{
	RecordingNode* data = Recorder(recorder);
	if (!data || !output || output->GetIO() != GV_PORT_OUTPUT || !output->GetNode() || output->GetNode() == recorder ||
		output->GetNode()->GetNodeMaster() != recorder->GetNodeMaster() || !Recordable(output->GetValueType()))
		return nullptr;
	RecordedColumn col;
	col.name = output->GetName(output->GetNode()).Get();
	col.type = output->GetValueType();
	Int32 id = data->next_id++;
	data->values.columns.push_back(col);
	data->port_ids.push_back(id);
	GvPort* port = recorder->AddPort(GV_PORT_INPUT, id);
	if (port && output->Connect(port))
		return port;
	if (port)
		recorder->RemovePort(port);
	data->values.columns.pop_back();
	data->port_ids.pop_back();
	return nullptr;
}

const RecordedValues* Recording(const GvNode* recorder)
{
	RecordingNode* data = Recorder(recorder);
	return data ? &data->values : nullptr;
}

void ClearRecording(GvNode* recorder)
{
	if (RecordingNode* data = Recorder(recorder))
	{
		for (RecordedColumn& c : data->values.columns)
		{
			c.vectors.clear();
			c.floats.clear();
			c.integers.clear();
			c.strings.clear();
		}
		data->values.calculations = 0;
	}
}

void SetRecordingKeeps(GvNode* recorder, bool keep)
{
	if (RecordingNode* data = Recorder(recorder))
		data->keep = keep;
}

} // namespace headless
