// node.cpp - twconnect node: a Particle Node in an XPresso tag on a particle importer; what its chosen
// output ports give per particle, recorded while the frames play, as CSV or JSON lines.
#include "cli.h"
#include "host_session.h"
#include "scene_setup.h"

#include "TW_Particle_Node.h"
#include "c4d_graphview.h"
#include "plugin_ids.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct NodeOptions
{
	std::string file, plugins, group, ports = "Position,Velocity,Id";
	bool json = false;
	FrameOptions frames;
	CLI::Option* group_given = nullptr;
};

// An output port the node offers: its ID, name and value type.
struct PortChoice
{
	Int32 id = 0;
	std::string name;
	Int32 type = 0;
};

std::string Lower(std::string s)
{
	for (char& c : s)
		c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
	return s;
}

// The output ports the node's operator offers, in its order.
std::vector<PortChoice> OfferedPorts(GvNode* node)
{
	std::vector<PortChoice> offered;
	GvOperatorData* op = node->GetOperatorData();
	GvPortList list;
	if (!op || !op->iGetPortList(node, GV_PORT_OUTPUT, list))
		return offered;
	for (const GvPortListEntry& e : list)
	{
		GvPortDescription pd;
		if (op->iGetPortDescription(node, GV_PORT_OUTPUT, e.id, &pd))
			offered.push_back({e.id, pd.name.Get(), pd.data_id});
	}
	return offered;
}

// --ports "Position,Number of Neighbors": names of offered ports, in any case; false after saying which
// name is unknown.
bool ChoosePorts(const std::string& names, const std::vector<PortChoice>& offered, std::vector<PortChoice>* chosen)
{
	size_t from = 0;
	while (from <= names.size())
	{
		size_t comma = names.find(',', from);
		if (comma == std::string::npos)
			comma = names.size();
		std::string name = names.substr(from, comma - from);
		while (!name.empty() && name.front() == ' ')
			name.erase(0, 1);
		while (!name.empty() && name.back() == ' ')
			name.pop_back();
		from = comma + 1;
		if (name.empty())
			continue;
		const PortChoice* found = nullptr;
		for (const PortChoice& p : offered)
			if (Lower(p.name) == Lower(name))
				found = &p;
		if (!found)
		{
			std::string list;
			for (const PortChoice& p : offered)
				list += (list.empty() ? "" : ", ") + p.name;
			CliBadArgument("node: the particle node has no output port '%s'; its ports are: %s", name.c_str(),
				list.c_str());
			return false;
		}
		chosen->push_back(*found);
	}
	if (chosen->empty())
	{
		CliBadArgument("node: --ports names no port");
		return false;
	}
	return true;
}

void AppendNumber(std::string& out, double v)
{
	char text[32];
	const auto r = std::to_chars(text, text + sizeof text, v);
	out.append(text, r.ptr);
}

void AppendNumber(std::string& out, long long v)
{
	char text[24];
	const auto r = std::to_chars(text, text + sizeof text, v);
	out.append(text, r.ptr);
}

// One recorded value of a port into CSV cells or a JSON value.
void AppendValue(std::string& out, const headless::RecordedColumn& port, size_t row, bool json)
{
	if (port.type == DTYPE_VECTOR)
	{
		const Vector& v = port.vectors[row];
		out += json ? "[" : "";
		AppendNumber(out, v.x);
		out += ',';
		AppendNumber(out, v.y);
		out += ',';
		AppendNumber(out, v.z);
		out += json ? "]" : "";
	}
	else if (port.type == DTYPE_REAL)
		AppendNumber(out, port.floats[row]);
	else
		AppendNumber(out, static_cast<long long>(port.integers[row]));
}

// The CSV header: a vector port gives three columns, "Position.x" to "Position.z".
std::string CsvHeader(const std::vector<PortChoice>& ports)
{
	std::string line = "frame";
	for (const PortChoice& p : ports)
	{
		if (p.type == DTYPE_VECTOR)
			for (const char* axis : {".x", ".y", ".z"})
				line += "," + p.name + axis;
		else
			line += "," + p.name;
	}
	return line + "\n";
}

// What the recorder kept of one frame, on stdout; false when stdout failed.
bool PrintFrame(long long frame, const std::vector<headless::RecordedColumn>& recorded,
	const std::vector<std::string>& json_keys, bool json)
{
	const size_t rows = recorded.empty() ? 0 : recorded.front().Size();
	std::string out;
	out.reserve(1 << 20);
	if (json)
	{
		out += "{\"frame\":";
		AppendNumber(out, frame);
		out += ",\"particles\":[";
	}
	for (size_t row = 0; row < rows; ++row)
	{
		if (json)
		{
			out += row ? ",{" : "{";
			for (size_t k = 0; k < recorded.size(); ++k)
			{
				out += k ? "," : "";
				out += json_keys[k];
				AppendValue(out, recorded[k], row, true);
			}
			out += '}';
		}
		else
		{
			AppendNumber(out, frame);
			for (const headless::RecordedColumn& port : recorded)
			{
				out += ',';
				AppendValue(out, port, row, false);
			}
			out += '\n';
		}
		if (out.size() > (1 << 20) - 256)
		{
			if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
				return false;
			out.clear();
		}
	}
	if (json)
		out += "]}\n";
	return std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
}

int RunNode(const NodeOptions& o, BaseDocument* doc)
{
	if (SceneKindOf(o.file) != SceneKind::PARTICLES)
		return CliBadArgument("node: '%s' is not a particle sequence", o.file.c_str());
	BaseObject* importer = nullptr;
	long long first = 0, last = 0;
	if (!AddImporter("node", doc, o.file, SceneKind::PARTICLES, nullptr, &importer, &first, &last))
		return kExitFailed;
	bool ranged = false;
	if (!o.frames.Choose(&first, &last, &ranged))
		return CliBadArgument("node: the frame range %lld to %lld is empty", first, last);

	// As a user builds it: the tag, the node, the ports, and the wires to what shows the values.
	XPressoTag* tag = static_cast<XPressoTag*>(importer->MakeTag(Texpresso));
	GvNodeMaster* master = tag ? tag->GetNodeMaster() : nullptr;
	GvNode* node = master ? master->CreateNode(master->GetRoot(), ID_TW_PARTICLE_NODE) : nullptr;
	if (!node)
		return CliError("node: the module has no particle node");
	if (o.group_given->count())
		node->GetOpContainerInstance()->SetString(TW_PN_GROUP, String(o.group));
	std::vector<PortChoice> chosen;
	if (!ChoosePorts(o.ports, OfferedPorts(node), &chosen))
		return kExitBadArgument;
	GvNode* recorder = headless::AddRecordingNode(master);
	if (!recorder)
		return CliError("node: the host cannot record port values");
	std::vector<std::string> json_keys;
	for (const PortChoice& p : chosen)
	{
		GvPort* port = node->GetOutPortFirstMainID(p.id);
		if (!port)
			port = node->AddPort(GV_PORT_OUTPUT, p.id);
		if (!port || !headless::RecordPort(recorder, port))
			return CliError("node: the port '%s' cannot be connected", p.name.c_str());
		json_keys.push_back(JsonText(Json(p.name)) + ":");
	}

	// The importer prepares Thinking Particles at its first evaluation, and away from time 0 that
	// evaluates the document (and runs the graph) twice more; done here at the start, every frame below
	// runs the graph once.
	doc->ExecutePasses(nullptr, true, true, true, 0);
	if (!o.json && std::fputs(CsvHeader(chosen).c_str(), stdout) < 0)
		return CliError("node: cannot write the output");
	const bool progress = isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO) && ranged;
	const std::string group = o.group_given->count() ? o.group : importer->GetName().Get();
	size_t shown = 0;
	for (long long f = first; f <= last; ++f)
	{
		headless::ClearRecording(recorder);
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(doc->GetFps())));
		doc->ExecutePasses(nullptr, true, true, true, 0);
		ReportBoxes(&shown);
		if (node->GetError() == GV_CALC_ERR_INIT_FAILED)
			return CliError("node: there is no particle group named '%s'", group.c_str());
		if (!PrintFrame(f, headless::Recording(recorder)->columns, json_keys, o.json))
			return CliError("node: cannot write the output");
		if (progress)
			CliProgress(f - first + 1, last - first + 1);
	}
	return std::fflush(stdout) == 0 ? 0 : CliError("node: cannot write the output");
}

} // namespace

CommandRun NodeCommand(CLI::App& app)
{
	auto o = std::make_shared<NodeOptions>();
	app.footer("Puts a Particle Importer on the sequence of FILE, gives it an XPresso tag holding a Particle\n"
			   "Node whose chosen output ports feed a recording node, plays the frames (all of them unless\n"
			   "--frame, --start or --end say otherwise) and prints per particle the values the node gave:\n"
			   "CSV with a header row (a vector as three columns), or with --json one object per frame with\n"
			   "\"frame\" and \"particles\", each particle an object keyed by port name. Positions and\n"
			   "velocities are in the host's units (the file's metres times 100).");
	app.add_option("FILE", o->file, "a file of the particle sequence")->required();
	o->frames.Add(app, "play", true);
	o->group_given = app.add_option("--group", o->group,
		"the Thinking Particles group the node reads (default: empty, the importer's own group)");
	app.add_option("--ports", o->ports,
		   "output ports to record, by name, comma separated: Particle, Position, Velocity, Force, Vorticity, "
		   "Normal, Number of Neighbors, Texture, Info bit, Age, Isolation time, Viscosity, Density, Pressure, "
		   "Mass, Temperature, Id")
		->capture_default_str();
	app.add_flag("--json", o->json, "one JSON object per frame instead of CSV");
	AddPluginsOption(app, o->plugins);
	return [o] { return RunInNewDocument("node", o->file, o->plugins, [o](BaseDocument* doc) { return RunNode(*o, doc); }); };
}
