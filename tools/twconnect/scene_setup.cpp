// scene_setup.cpp - the importer that fits a file, in a new document, for twconnect view and render.
#include "scene_setup.h"

#include "cli.h"
#include "host_session.h"
#include "info_mesh.h"

#include "TW_Mesh_Importer.h"
#include "TW_Particle_Importer.h"
#include "c4d_symbols.h"
#include "frame_sequence.h"
#include "mesh_bin.h"
#include "plugin_ids.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace
{

// The display channels by their codes; "none" (0) colours nothing by channel.
const char* const kChannels[] = {"none", "velocity", "normal", "force", "texture U", "texture V", "neighbors", "age",
	"isolation", "viscosity", "density", "pressure", "mass", "temperature", "vorticity"};

// Letters and digits only, lower case: "Texture-U", "texture_u" and "texture U" are one name.
std::string Folded(const std::string& name)
{
	std::string out;
	for (unsigned char c : name)
		if (std::isalnum(c))
			out += static_cast<char>(std::tolower(c));
	return out;
}

} // namespace

int ChannelCode(const std::string& name)
{
	const std::string folded = Folded(name);
	for (int code = 0; code < static_cast<int>(sizeof kChannels / sizeof *kChannels); ++code)
		if (!folded.empty() && folded == Folded(kChannels[code]))
			return code;
	return -1;
}

std::string ChannelNames()
{
	std::string names;
	for (const char* c : kChannels)
		names += (names.empty() ? "" : ", ") + std::string(c);
	return names;
}

SceneKind SceneKindOf(const std::string& file)
{
	if (HasExtension(file.c_str(), ".sd"))
		return SceneKind::SD;
	if (MeshIsBinFile(file.c_str()) || HasExtension(file.c_str(), ".md"))
		return SceneKind::MESH;
	return SceneKind::PARTICLES;
}

bool ReportBoxes(size_t* shown)
{
	const auto& boxes = headless::MessageBoxes();
	const bool any = *shown < boxes.size();
	for (; *shown < boxes.size(); ++*shown)
		CliError("the importer says: %s", boxes[*shown].text.c_str());
	return any;
}

bool AddImporter(const char* command, BaseDocument* doc, const std::string& file, SceneKind kind,
	const std::function<void(BaseObject*)>& configure, BaseObject** importer, long long* first, long long* last)
{
	const bool particles = kind == SceneKind::PARTICLES;
	const char* noun = particles ? "particle" : "mesh";
	// the importer's type, and the parameters of its sequence name and frame range
	const Int32 ids[2][4] = {{TW_Mesh_Importer, TW_MI_SEQUENCE_NAME, TW_MI_FIRST_FRAME, TW_MI_LAST_FRAME},
		{TW_Particle_Importer, TW_PI_NAME, TW_PI_FIRST_FRAME, TW_PI_LAST_FRAME}};
	const Int32* id = ids[particles ? 1 : 0];
	BaseObject* op = BaseObject::Alloc(id[0]);
	if (!op)
	{
		CliError("%s: the module has no %s importer", command, noun);
		return false;
	}
	doc->InsertObject(op, nullptr, nullptr);
	if (particles)
	{
		if (configure)
			configure(op);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(file)));
	}
	else
		headless::UserSetParameter(op, TW_MI_FILE, GeData(Filename(file)));
	size_t shown = 0;
	const BaseContainer* bc = op->GetDataInstance();
	if (ReportBoxes(&shown) || bc->GetString(id[1]).Get().empty())
	{
		if (particles && InfoMeshChunkDetect(file.c_str()))
			CliError("%s: '%s' is a chunked mesh file; play it with 'twconnect play --mesh-type chunked'", command,
				file.c_str());
		else
			CliError("%s: '%s' was not taken as a %s sequence", command, file.c_str(), noun);
		return false;
	}
	*importer = op;
	*first = bc->GetInt32(id[2]);
	*last = bc->GetInt32(id[3]);
	return true;
}

bool ImportScene(const char* command, BaseDocument* doc, const std::string& file, long long* first, long long* last)
{
	doc->SetMinTime(BaseTime(0.0));
	doc->SetMaxTime(BaseTime(0.0));
	bool opened = false, pressed = false;
	std::string preview;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (d.ResourceId() != DLG_TW_SD_IMPORTER)
			return;
		opened = true;
		d.SetFilename(TW_SDIMP_SCENE_FILE, file);
		// a file the dialog cannot read would import nothing, and an empty picture is no answer
		preview = d.GetText(TW_SDIMP_INFO_NAMES);
		if (preview != "Invalid SD file format")
			pressed = d.Press(TW_SDIMP_OK);
	});
	CallCommand(ID_TW_SD_IMPORTER);
	headless::SetModalDialogScript(nullptr);
	size_t shown = 0;
	if (ReportBoxes(&shown) || !pressed)
	{
		if (!opened)
			CliError("%s: the module's SD Importer dialog did not open", command);
		else if (!pressed)
			CliError("%s: the SD Importer's dialog says: %s", command, preview.c_str());
		CliError("%s: '%s' was not imported as an SD scene", command, file.c_str());
		return false;
	}
	// the refresh the import asked for, in which the animation objects open their files
	doc->ExecutePasses(nullptr, true, true, true, 0);
	const Int32 fps = doc->GetFps();
	*first = doc->GetMinTime().GetFrame(fps);
	*last = doc->GetMaxTime().GetFrame(fps);
	return true;
}

bool MakePictureFolder(const char* command, const std::string& file)
{
	const size_t slash = file.rfind('/');
	if (slash == std::string::npos || slash == 0)
		return true;
	const std::string dir = file.substr(0, slash);
	if (MakeFolder(dir))
		return true;
	CliError("%s: cannot make the folder '%s': %s", command, dir.c_str(), std::strerror(errno));
	return false;
}

void FrameOptions::Add(CLI::App& app, const char* what, bool every)
{
	every_frame = every;
	const std::string range = every_frame ? std::string("of the frames to ") + what : "of a picture sequence";
	frame_given = app.add_option("--frame", frame, std::string("the one frame to ") + what +
						  (every_frame ? " (default: every frame)" : " (default: the first)"))
					  ->transform(Integer(-9999999, 9999999));
	start_given = app.add_option("--start", start, "first frame " + range + " (default: the first)")
					  ->transform(Integer(-9999999, 9999999));
	end_given = app.add_option("--end", end, "last frame " + range + " (default: the last)")
					->transform(Integer(-9999999, 9999999));
	for (CLI::Option* opt : {frame_given, start_given, end_given})
		opt->default_str("");
	frame_given->excludes(start_given)->excludes(end_given);
}

bool FrameOptions::Choose(long long* first, long long* last, bool* ranged) const
{
	*ranged = start_given->count() || end_given->count() || (every_frame && !frame_given->count());
	if (frame_given->count())
		*first = *last = frame;
	else if (*ranged)
	{
		*first = start_given->count() ? start : *first;
		*last = end_given->count() ? end : *last;
	}
	else
		*last = *first;
	return *first <= *last;
}

int CheckPictureArguments(const char* command, const std::string& out, SceneKind kind,
	const std::vector<CLI::Option*>& particle_only, PicturePath* path)
{
	std::string error;
	if (!path->Parse(out, &error))
		return CliBadArgument("%s: --out %s", command, error.c_str());
	if (kind != SceneKind::PARTICLES)
		for (const CLI::Option* opt : particle_only)
			if (opt->count())
				return CliBadArgument("%s: %s applies to particle sequences only", command, opt->get_name().c_str());
	return 0;
}

int RunInNewDocument(const char* command, const std::string& file, const std::string& plugins,
	const std::function<int(BaseDocument*)>& run)
{
	FILE* f = std::fopen(file.c_str(), "rb");
	if (!f)
		return CliError("%s: cannot open '%s': %s", command, file.c_str(), std::strerror(errno));
	std::fclose(f);
	headless::Module module;
	if (!StartHost(module, PluginFolder(plugins)))
		return kExitFailed;
	BaseDocument* doc = NewActiveDocument(25, false);
	const int status = run(doc);
	FreeActiveDocument(doc);
	return status;
}
