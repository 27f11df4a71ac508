// export_sd.cpp - twconnect export sd: an SD scene imported through the SD Importer, then written again
// by the SD Exporter's dialog as a user fills it.
#include "export_cli.h"
#include "export_run.h"
#include "export_sd.h"
#include "host_session.h"

#include "c4d_symbols.h"
#include "plugin_ids.h"
#include "sd_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unistd.h>

namespace
{

struct SdExportOptions
{
	std::string scene, out, camera, plugins;
	std::vector<std::string> objects, vertex;
	long long start = 0, end = 0, step = 1;
	double scale = 1.0;
	bool no_camera = false, no_objects = false, json = false;
	CLI::Option* start_given = nullptr;
	CLI::Option* end_given = nullptr;
	CLI::Option* step_given = nullptr;
	CLI::Option* scale_given = nullptr;
	CLI::Option* objects_given = nullptr;
};

// The sample scenes' rate; an SD file numbers frames but does not say their rate.
constexpr Int32 kFps = 25;

// Whether the scene file opens and reads as an SD file, and whether it holds a camera.
bool ProbeScene(const std::string& path, bool* has_camera)
{
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
	{
		CliError("cannot open '%s': %s", path.c_str(), std::strerror(errno));
		return false;
	}
	std::fclose(f);
	SdSceneReader* reader = SdSceneOpen(path.c_str());
	if (!reader)
	{
		CliError("export sd: '%s' does not read as an SD file", path.c_str());
		return false;
	}
	*has_camera = reader->file->has_camera != 0;
	SdSceneFree(reader);
	return true;
}

// The SD Importer's dialog, filled as a user does: the scene file for the objects and, when it holds
// one, for the camera as well (a file without a camera would make its first object one).
bool ImportScene(const std::string& scene, bool camera)
{
	const size_t boxes_from = headless::MessageBoxes().size();
	bool pressed = false;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (d.ResourceId() != DLG_TW_SD_IMPORTER)
			return;
		if (camera)
			d.SetFilename(TW_SDIMP_CAMERA_FILE, scene);
		d.SetFilename(TW_SDIMP_SCENE_FILE, scene);
		pressed = d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	headless::SetModalDialogScript(nullptr);
	if (!pressed)
	{
		CliError("export sd: the module's SD Importer dialog did not open");
		return false;
	}
	bool ok = true;
	const auto& boxes = headless::MessageBoxes();
	for (size_t k = boxes_from; k < boxes.size(); ++k)
	{
		CliError("the importer says: %s", boxes[k].text.c_str());
		if (boxes[k].text.compare(0, 20, "Can not open SD file") == 0)
			ok = false;
	}
	return ok;
}

// A list's rows by the text of their name column, in list order.
std::vector<std::pair<std::string, Int32>> Rows(const headless::DialogDriver& d, Int32 list)
{
	std::vector<std::pair<std::string, Int32>> rows;
	for (Int32 id : d.RowIds(list))
		rows.emplace_back(d.RowText(list, id, TW_SDEXP_COLUMN_NAME), id);
	return rows;
}

std::string Joined(const std::vector<std::string>& names)
{
	std::string text;
	for (const std::string& n : names)
		text += (text.empty() ? "" : ", ") + n;
	return text.empty() ? "none" : text;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, Int32>>& rows)
{
	std::vector<std::string> names;
	for (const auto& r : rows)
		names.push_back(r.first);
	return names;
}

// The dialog's camera combo entries.
std::vector<std::string> CameraNames(const headless::DialogDriver& d)
{
	std::vector<std::string> names;
	for (const headless::Gadget& g : d.Gadgets())
		if (g.id == TW_SDEXP_CAMERA)
			for (const auto& entry : g.children)
				names.push_back(entry.second);
	return names;
}

// Why filling the dialog stopped: a name or value the user gave that does not fit the document
// (exit status 2), or a value the dialog did not take as given (1).
struct FillError
{
	int status = 0;
	std::string text;

	bool Bad(const std::string& t)
	{
		status = kExitBadArgument;
		text = t;
		return false;
	}
	bool Refused(const std::string& t)
	{
		status = kExitFailed;
		text = "the exporter's dialog did not take " + t;
		return false;
	}
};

bool FillRows(headless::DialogDriver& d, const SdExportOptions& o, SdExportRequest* request, FillError* error)
{
	const auto scene_rows = Rows(d, TW_SDEXP_SCENE_LIST);
	auto find = [&](const std::string& name) -> const std::pair<std::string, Int32>* {
		for (const auto& r : scene_rows)
			if (r.first == name)
				return &r;
		return nullptr;
	};
	for (const std::vector<std::string>* list : {&o.objects, &o.vertex})
		for (const std::string& name : *list)
			if (!find(name))
				return error->Bad("the scene has no object '" + name + "' (its objects: " + Joined(Names(scene_rows)) +
					")");
	if (o.objects_given->count())
	{
		for (const std::string& name : o.vertex)
			if (std::find(o.objects.begin(), o.objects.end(), name) == o.objects.end())
				return error->Bad("--vertex names '" + name + "', which is not among --objects");
	}
	// the rows to move, each once
	std::vector<Int32> ids;
	if (o.objects_given->count())
	{
		for (const std::string& name : o.objects)
			if (std::find(ids.begin(), ids.end(), find(name)->second) == ids.end())
				ids.push_back(find(name)->second);
		if (!d.SelectRows(TW_SDEXP_SCENE_LIST, ids) || !d.Press(TW_SDEXP_ADD))
			return error->Refused("the objects " + Joined(o.objects));
	}
	else if (!o.no_objects)
	{
		for (const auto& r : scene_rows)
			ids.push_back(r.second);
		if (!scene_rows.empty() && !d.Press(TW_SDEXP_ADD_ALL))
			return error->Refused("all objects");
	}

	const auto picked = Rows(d, TW_SDEXP_EXPORT_LIST);
	if (picked.size() != ids.size() || std::any_of(ids.begin(), ids.end(), [&](Int32 id) {
			return std::none_of(picked.begin(), picked.end(), [&](const auto& r) { return r.second == id; });
		}))
		return error->Refused("the objects (its export list shows " + Joined(Names(picked)) + ")");
	for (const auto& [name, id] : picked)
	{
		const bool vertex = std::find(o.vertex.begin(), o.vertex.end(), name) != o.vertex.end();
		if (d.RowCheck(TW_SDEXP_EXPORT_LIST, id, TW_SDEXP_COLUMN_VERTEX) != vertex &&
			!d.SetRowCheck(TW_SDEXP_EXPORT_LIST, id, TW_SDEXP_COLUMN_VERTEX, vertex))
			return error->Refused("the mode of '" + name + "'");
		if (d.RowCheck(TW_SDEXP_EXPORT_LIST, id, TW_SDEXP_COLUMN_VERTEX) != vertex)
			return error->Refused("the mode of '" + name + "'");
		request->objects.push_back(name);
		request->vertex.push_back(vertex);
	}
	return true;
}

bool FillCamera(headless::DialogDriver& d, const SdExportOptions& o, SdExportRequest* request, FillError* error)
{
	const std::vector<std::string> cameras = CameraNames(d);
	std::string refused;
	if (o.no_camera)
	{
		if (!SetExactCheck(d, TW_SDEXP_CAMERA_ON, false, "--no-camera", &refused))
			return error->Refused(refused);
		return true;
	}
	if (!o.camera.empty())
	{
		if (std::find(cameras.begin(), cameras.end(), o.camera) == cameras.end())
			return error->Bad("the scene has no camera '" + o.camera + "' (its cameras: " + Joined(cameras) + ")");
		if (!SetExactCheck(d, TW_SDEXP_CAMERA_ON, true, "--camera", &refused))
			return error->Refused(refused);
		if (!d.SelectText(TW_SDEXP_CAMERA, o.camera) || d.GetSelectionText(TW_SDEXP_CAMERA) != o.camera)
			return error->Refused("the camera '" + o.camera + "'");
	}
	if (d.GetCheck(TW_SDEXP_CAMERA_ON))
		request->camera = d.GetSelectionText(TW_SDEXP_CAMERA);
	return true;
}

bool FillDialog(headless::DialogDriver& d, const SdExportOptions& o, SdExportRequest* request, FillError* error)
{
	if (!d.SetFilename(TW_SDEXP_FILE, o.out) || d.GetText(TW_SDEXP_FILE).empty())
		return error->Refused("--out '" + o.out + "'");
	// the dialog may complete the name (".sd"); what it shows is what is written
	request->path = d.GetText(TW_SDEXP_FILE);
	std::string refused;
	if ((o.start_given->count() && !SetExactInt(d, TW_SDEXP_START, o.start, "--start", &refused)) ||
		(o.end_given->count() && !SetExactInt(d, TW_SDEXP_END, o.end, "--end", &refused)) ||
		(o.step_given->count() && !SetExactInt(d, TW_SDEXP_STEP, o.step, "--step", &refused)))
		return error->Refused(refused);
	if (o.scale_given->count() &&
		(!d.SetFloat(TW_SDEXP_SCALE, o.scale) || std::fabs(d.GetFloat(TW_SDEXP_SCALE) - o.scale) > 1e-12 * o.scale))
		return error->Refused("--scale " + d.GetText(TW_SDEXP_SCALE));
	request->start = d.GetInt32(TW_SDEXP_START);
	request->end = d.GetInt32(TW_SDEXP_END);
	request->step = d.GetInt32(TW_SDEXP_STEP);
	request->scale = d.GetFloat(TW_SDEXP_SCALE);
	if (request->end < request->start)
		return error->Bad("the last frame " + std::to_string(request->end) + " is before the first " +
			std::to_string(request->start));
	if (request->step < 1)
		return error->Bad("the frame step " + std::to_string(request->step) + " is not positive");
	return FillRows(d, o, request, error) && FillCamera(d, o, request, error);
}

// Closes the exporter's window when the run leaves it open (a value it refused, an export that kept it).
struct OpenExporter
{
	~OpenExporter()
	{
		headless::DialogDriver d(nullptr);
		if (headless::FindOpenDialog(ID_TW_SD_EXPORTER, &d))
			d.CloseWindow();
	}
};

int Export(const SdExportOptions& o, SdExportRequest* request)
{
	CallCommand(ID_TW_SD_EXPORTER);
	OpenExporter closer;
	headless::DialogDriver d(nullptr);
	if (!headless::FindOpenDialog(ID_TW_SD_EXPORTER, &d))
		return CliError("export sd: the module's SD Exporter did not open its dialog");
	FillError error;
	if (!FillDialog(d, o, request, &error))
		return error.status == kExitBadArgument ? CliBadArgument("export sd: %s", error.text.c_str())
												: CliError("export sd: %s", error.text.c_str());

	const size_t boxes_from = headless::MessageBoxes().size();
	ExportStatusWatch watch;
	// a bar only where a person watches it: never into a file or a pipe, never beside JSON
	watch.progress = !o.json && isatty(STDERR_FILENO);
	watch.total = request->FileFrames();
	headless::SetDialogTextObserver([&](Int32 dialog, Int32 gadget, const std::string& text) {
		if (dialog == DLG_TW_SD_EXPORTER && gadget == TW_SDEXP_STATUS)
			watch.Heard(text);
	});
	const bool pressed = d.Press(TW_SDEXP_EXPORT);
	headless::SetDialogTextObserver(nullptr);
	if (!pressed)
		return CliError("export sd: the exporter's Export button could not be pressed%s",
			request->objects.empty() ? " (it takes no export without an object)" : "");

	int status = 0;
	const auto& boxes = headless::MessageBoxes();
	for (size_t k = boxes_from; k < boxes.size(); ++k)
		status = CliError("export sd: the exporter says: %s", boxes[k].text.c_str());
	if (status == 0 && watch.last != "Ready")
		status = CliError("export sd: the export did not finish (its status line shows '%s')", watch.last.c_str());
	return status;
}

int RunExportSd(const SdExportOptions& o)
{
	bool has_camera = false;
	if (!ProbeScene(o.scene, &has_camera))
		return kExitFailed;

	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return kExitFailed;
	// The importer grows the range to the file's; from an empty one it becomes exactly the file's.
	BaseDocument* doc = NewActiveDocument(kFps, true);

	int status = kExitFailed;
	if (ImportScene(o.scene, has_camera))
	{
		// the refresh the import asked for: the scene stands at the start of its range as the exporter
		// opens, its SD objects reading their files
		doc->SetTime(doc->GetMinTime());
		doc->ExecutePasses(nullptr, true, true, true, 0);
		SdExportRequest request;
		status = Export(o, &request);
		if (status == 0)
			status = ReportSdExport(request, o.json);
	}
	FreeActiveDocument(doc);
	return status;
}

} // namespace

CommandRun ExportSdCommand(CLI::App& app)
{
	auto o = std::make_shared<SdExportOptions>();
	app.footer("The SD Importer brings FILE's objects (and its camera, when it holds one) into a new document;\n"
			   "the SD Exporter's dialog then writes them again as a user fills it: the objects named (all by\n"
			   "default; names as its list shows them), those under --vertex with every vertex per frame, the\n"
			   "camera picked, the document's range unless --start / --end. The written file is read back;\n"
			   "a message of the exporter or an export that did not finish makes the exit status 1.");
	app.add_option("--scene", o->scene, "SD file to import")->required()->check(NonEmpty())->type_name("FILE");
	app.add_option("--out", o->out, "SD file to write (the exporter appends .sd when missing)")
		->required()
		->check(NonEmpty())
		->type_name("FILE");
	o->objects_given = app.add_option("--objects", o->objects, "objects to export (default: all)")
						   ->delimiter(',')
						   ->type_name("NAME,...")
						   ->default_str("");
	app.add_option("--vertex", o->vertex, "of those, the ones written with every vertex per frame")
		->delimiter(',')
		->type_name("NAME,...")
		->default_str("");
	app.add_flag("--no-objects", o->no_objects, "export no object (the camera alone)")
		->excludes(o->objects_given)
		->excludes("--vertex");
	CLI::Option* camera = app.add_option("--camera", o->camera, "camera to write (default: the first, when any)")
							  ->check(NonEmpty())
							  ->type_name("NAME");
	app.add_flag("--no-camera", o->no_camera, "write no camera")->excludes(camera);
	o->start_given = app.add_option("--start", o->start, "first document frame (default: the document's)")
						 ->transform(Integer(-9999999, 9999999));
	o->end_given = app.add_option("--end", o->end, "last document frame (default: the document's)")
					   ->transform(Integer(-9999999, 9999999));
	o->step_given = app.add_option("--step", o->step, "frame step")->transform(Integer(1, 9999999));
	o->scale_given = app.add_option("--scale", o->scale, "export scale")->transform(Decimal(1e-6, 1e6));
	o->start_given->default_str("");
	o->end_given->default_str("");
	app.add_flag("--json", o->json, "one JSON object per file frame (frame, objects, camera), then a summary");
	AddPluginsOption(app, o->plugins);
	return [o] { return RunExportSd(*o); };
}
