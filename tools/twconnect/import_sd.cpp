// import_sd.cpp - twconnect import-sd: the SD Importer's dialog in a new document, then the scene played.
#include "cli.h"
#include "host_session.h"

#include "c4d_symbols.h"
#include "plugin_ids.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

struct ImportOptions
{
	std::string scene, camera, plugins;
	long long fps = 25;
	bool bake = false, json = false;
};

bool Readable(const std::string& path)
{
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
	{
		CliError("cannot open '%s': %s", path.c_str(), std::strerror(errno));
		return false;
	}
	std::fclose(f);
	return true;
}

// The matrix the evaluated document shows for op: a deformed copy stands in for the object in its
// parent's space.
Matrix ShownMatrix(const BaseObject* op)
{
	const BaseObject* cache = op->GetDeformCache();
	if (!cache)
		return op->GetMg();
	const Matrix up = op->GetUp() ? op->GetUp()->GetMg() : Matrix();
	return up * cache->GetMl();
}

bool HasAnimChild(const BaseObject* op)
{
	for (const BaseObject* c = op->GetDown(); c; c = c->GetNext())
		if (c->GetType() == ID_TW_SD_ANIM)
			return true;
	return false;
}

// The imported objects: those under an SD Reader and any object an SD Anim object drives, in
// hierarchy order.
void Collect(BaseObject* op, bool under_reader, std::vector<BaseObject*>* out)
{
	for (; op; op = op->GetNext())
	{
		const Int32 type = op->GetType();
		if (type != ID_TW_SD_ANIM && type != ID_TW_SD_READER && (under_reader || HasAnimChild(op)))
			out->push_back(op);
		Collect(op->GetDown(), type == ID_TW_SD_READER, out);
	}
}

Json Position(const BaseObject* op)
{
	const Vector p = ShownMatrix(op).off;
	return Json::array({p.x, p.y, p.z});
}

void PrintFrame(bool json, long long frame, const std::vector<BaseObject*>& objects, const BaseObject* camera)
{
	if (json)
	{
		Json positions = Json::object();
		for (const BaseObject* op : objects)
			positions[op->GetName().Get()] = Position(op);
		Json line = {{"frame", frame}, {"objects", positions}};
		if (camera)
			line["camera"] = Position(camera);
		PrintJson(line);
		return;
	}
	std::printf("frame %lld\n", frame);
	for (const BaseObject* op : objects)
	{
		const Vector p = ShownMatrix(op).off;
		std::printf("  %-24s %12.4f %12.4f %12.4f\n", op->GetName().Get().c_str(), p.x, p.y, p.z);
	}
	if (camera)
	{
		const Vector p = ShownMatrix(camera).off;
		std::printf("  camera %-17s %12.4f %12.4f %12.4f\n", camera->GetName().Get().c_str(), p.x, p.y, p.z);
	}
}

} // namespace

int RunImportSd(const ImportOptions& o)
{
	if (!Readable(o.scene) || (!o.camera.empty() && !Readable(o.camera)))
		return kExitFailed;

	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return kExitFailed;
	// The range grows to the files'; start from an empty one so that only theirs is played.
	BaseDocument* doc = NewActiveDocument(static_cast<Int32>(o.fps), true);

	bool pressed = false;
	std::string preview;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (d.ResourceId() != DLG_TW_SD_IMPORTER)
			return;
		if (!o.camera.empty())
			d.SetFilename(TW_SDIMP_CAMERA_FILE, o.camera);
		d.SetFilename(TW_SDIMP_SCENE_FILE, o.scene);
		preview = d.GetText(TW_SDIMP_INFO_NAMES);
		d.SetCheck(TW_SDIMP_BAKE_KEYS, o.bake);
		pressed = d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	headless::SetModalDialogScript(nullptr);
	int status = 0;
	if (!pressed)
		status = CliError("import-sd: the module's SD Importer dialog did not open");
	for (const headless::MessageBoxRecord& box : headless::MessageBoxes())
	{
		CliError("the importer says: %s", box.text.c_str());
		if (box.text.compare(0, 20, "Can not open SD file") == 0)
			status = 1;
	}
	if (status == 0 && preview == "Invalid SD file format")
		CliError("warning: '%s' is not a version-6 SD file", o.scene.c_str());

	if (status == 0)
	{
		// The refresh the import asked for (EventAdd): the host evaluates the document once, which is
		// when new SD Anim objects open their files and bake their keys.
		doc->ExecutePasses(nullptr, true, true, true, 0);
		std::vector<BaseObject*> objects;
		Collect(doc->GetFirstObject(), false, &objects);
		const BaseObject* camera = nullptr;
		for (const BaseObject* op = doc->GetFirstObject(); op && !camera; op = op->GetNext())
			if (op->GetType() == Ocamera)
				camera = op;
		const Int32 fps = doc->GetFps();
		const long long first = doc->GetMinTime().GetFrame(fps), last = doc->GetMaxTime().GetFrame(fps);
		if (!o.json)
			std::printf("%zu objects%s, frames %lld to %lld at %d fps\n", objects.size(), camera ? " and a camera" : "",
				first, last, fps);
		for (long long f = first; f <= last; ++f)
		{
			doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(fps)));
			doc->ExecutePasses(nullptr, true, true, true, 0);
			PrintFrame(o.json, f, objects, camera);
		}
		std::fflush(stdout);
	}
	FreeActiveDocument(doc);
	return status;
}

CommandRun ImportSdCommand(CLI::App& app)
{
	auto o = std::make_shared<ImportOptions>();
	app.footer("Runs the SD Importer in a new document as a user would (picks the files in its dialog and\n"
			   "presses import), then plays the document's range and prints per frame the global position\n"
			   "of each imported object as the evaluated document shows it, and the camera's.");
	app.add_option("--scene", o->scene, "SD file of the objects")->required()->check(NonEmpty());
	app.add_option("--camera", o->camera, "SD file of the camera")->check(NonEmpty());
	app.add_flag("--bake", o->bake, "let the animation objects bake their motion into keys");
	app.add_option("--fps", o->fps, "document frame rate")->transform(Integer(1, 1000));
	app.add_flag("--json", o->json, "one JSON object per frame: frame, objects (name -> [x, y, z]), camera");
	AddPluginsOption(app, o->plugins);
	return [o] { return RunImportSd(*o); };
}
