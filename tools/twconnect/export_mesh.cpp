// export_mesh.cpp - twconnect export mesh: the polygon object a Mesh Importer builds, through the Mesh Exporter.
#include "export_cli.h"
#include "host_session.h"

#include "TW_Mesh_Importer.h"
#include "c4d_symbols.h"
#include "mesh_bin.h"
#include "plugin_ids.h"

#include "cache_types.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

struct MeshExportOptions
{
	ExportOptions common;
	std::string from, mesh_type = "auto";
	bool no_texture = false, no_velocity = false, compute_velocity = false;
};

// The sample meshes' rate; a mesh .bin does not say its own.
constexpr long long kDefaultFps = 25;

const ExporterDialog kMeshExporter = {"mesh", ID_TW_MESH_EXPORTER, DLG_TW_MESH_EXPORTER, TW_MEXP_STATUS, TW_MEXP_EXPORT};

// A Mesh Importer on the file, as play sets one up; its entry in the exporter's object list, or "" after
// an error.
std::string AddImporter(BaseDocument* doc, const MeshExportOptions& o, long long* first, long long* last)
{
	BaseObject* op = BaseObject::Alloc(TW_Mesh_Importer);
	if (!op)
	{
		CliError("export mesh: the module has no mesh importer");
		return std::string();
	}
	doc->InsertObject(op, nullptr, nullptr);
	const size_t boxes = headless::MessageBoxes().size();
	headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(o.from)));
	const int type = MeshTypeCode(o.mesh_type);
	if (type >= 0)
		headless::UserSetParameter(op, TW_MI_TYPE, GeData(static_cast<Int32>(type)));
	const BaseContainer* bc = op->GetDataInstance();
	// a file the importer does not know by its magic is still taken after a message; with --mesh-type
	// that message is expected
	if (ReportImporterBoxes(boxes, type >= 0 ? "Invalid mesh file: " : nullptr) ||
		bc->GetString(TW_MI_SEQUENCE_NAME).Get().empty())
	{
		CliError("export mesh: '%s' was not taken as a mesh sequence", o.from.c_str());
		return std::string();
	}
	*first = bc->GetInt32(TW_MI_FIRST_FRAME);
	*last = bc->GetInt32(TW_MI_LAST_FRAME);
	return op->GetName().Get();
}

bool ReadMeshFrame(const std::string& path, long long, Json* keys, std::string* why)
{
	MeshHandle* h = MeshHandleOpen(path.c_str(), CACHE_MESH_BIN);
	if (!h)
	{
		*why = std::string("cannot be opened: ") + std::strerror(errno);
		return false;
	}
	const bool read = MeshHandleRead(h, 100.0f) == 1;
	if (read)
		*keys = {{"points", MeshHandleVertexCount(h)}, {"triangles", MeshHandleFaceCount(h)}};
	else
		*why = "does not read as a mesh .bin file";
	MeshHandleFree(h);
	return read;
}

int RunExportMesh(const MeshExportOptions& o)
{
	const ExportOptions& c = o.common;
	FILE* probe = std::fopen(o.from.c_str(), "rb");
	if (!probe)
		return CliError("cannot open '%s': %s", o.from.c_str(), std::strerror(errno));
	std::fclose(probe);

	headless::Module module;
	if (!StartHost(module, PluginFolder(c.plugins)))
		return kExitFailed;
	BaseDocument* doc = NewActiveDocument(static_cast<Int32>(c.fps_given->count() ? c.fps : kDefaultFps), false);
	long long first = 0, last = 0;
	const std::string object = AddImporter(doc, o, &first, &last);
	ExportFrames frames;
	int status = kExitFailed;
	if (!object.empty() && PlanExport(c, first, last, "mesh", &frames, &status))
	{
		PrepareDocument(doc, frames);
		const DialogFill fill = [&](headless::DialogDriver& d, std::string* refused) {
			if (!d.SelectText(TW_MEXP_OBJECT, object))
			{
				*refused = "the object '" + object + "': it is not listed";
				return false;
			}
			// choosing the object names the sequence after it: the name comes after it; the velocity
			// switch before the one it enables
			return SetExactText(d, TW_MEXP_FOLDER, frames.folder, "--out", refused) &&
				SetExactText(d, TW_MEXP_NAME, frames.name, "--name", refused) &&
				SetExactInt(d, TW_MEXP_PADDING, frames.padding, "--padding", refused) &&
				SetExactInt(d, TW_MEXP_START, frames.start, "--start", refused) &&
				SetExactInt(d, TW_MEXP_END, frames.end, "--end", refused) &&
				SetExactInt(d, TW_MEXP_STEP, frames.step, "--step", refused) &&
				SetExactCheck(d, TW_MEXP_TEXTURE, !o.no_texture, "--no-texture", refused) &&
				SetExactCheck(d, TW_MEXP_VELOCITY, !o.no_velocity, "--no-velocity", refused) &&
				SetExactCheck(d, TW_MEXP_COMPUTE_VELOCITY, o.compute_velocity, "--compute-velocity", refused);
		};
		status = RunExport(kMeshExporter, frames, c.json, fill, ReadMeshFrame);
	}
	FreeActiveDocument(doc);
	return status;
}

} // namespace

CommandRun ExportMeshCommand(CLI::App& app)
{
	auto o = std::make_shared<MeshExportOptions>();
	app.footer("A Mesh Importer plays FILE's sequence in a new document; the polygon object it builds is\n"
			   "exported frame by frame (frames: the sequence's on disk unless --start / --end).");
	app.add_option("--from", o->from, "a file of the mesh sequence (mesh .bin, .md; chunked with --mesh-type)")
		->required()
		->check(NonEmpty().description(""))
		->type_name("FILE");
	AddExportOptions(app, o->common, "document frame rate (default: 25)");
	app.add_option("--mesh-type", o->mesh_type, "read FILE as this mesh type, as 'play --mesh-type' does")
		->check(MeshTypeName());
	app.add_flag("--no-texture", o->no_texture, "leave out texture coordinates and weights");
	CLI::Option* no_velocity = app.add_flag("--no-velocity", o->no_velocity, "leave out velocities");
	app.add_flag("--compute-velocity", o->compute_velocity,
		   "velocities from the motion to the next frame instead of the importer's speed maps")
		->excludes(no_velocity);
	return [o] { return RunExportMesh(*o); };
}
