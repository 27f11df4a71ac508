// render.cpp - twconnect render: a sequence or SD scene in a new document, rendered by the headless
// renderer into a PNG per frame; particles become render instances coloured by the particle shader.
#include "cli.h"
#include "host_session.h"
#include "scene_setup.h"
#include "view_path.h"

#include "TW_MeltMaterial.h"
#include "TW_ParticleShader.h"
#include "TW_Particle_Importer.h"
#include "plugin_ids.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct RenderOptions
{
	std::string file, out, plugins, shape = "disc", channel = "velocity", gradient = "blue-red", shader_channel;
	std::string melt;
	long long width = 960, height = 540;
	double size = 5.0, sharpness = 0.0;
	bool json = false, use_importer = false;
	FrameOptions frames;
	CLI::Option* size_given = nullptr;
	CLI::Option* melt_given = nullptr;
	CLI::Option* sharpness_given = nullptr;
	// the fluids' colours of --melt, fluid 1 first
	std::vector<Vector> fluids;
	// the particle-only options, refused for a mesh or a scene
	std::vector<CLI::Option*> particle_only;
};

// The importer's render shapes by name; "object" renders a copy of a linked object.
struct ShapeName
{
	const char* name;
	Int32 code;
};
const ShapeName kShapes[] = {{"disc", 0}, {"sphere", 1}, {"disc-sized", 2}, {"object", 10}};

// Named colour ramps, from the slowest (0) to the fastest (1); knots evenly spaced.
struct Ramp
{
	const char* name;
	std::vector<Vector> colours;
};
const Ramp kRamps[] = {
	{"blue-red", {Vector(0, 0, 1), Vector(1, 0, 0)}},
	{"grey", {Vector(0, 0, 0), Vector(1, 1, 1)}},
	{"heat", {Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 0), Vector(1, 1, 1)}},
	{"rainbow", {Vector(0, 0, 1), Vector(0, 1, 1), Vector(0, 1, 0), Vector(1, 1, 0), Vector(1, 0, 0)}},
	{"ice", {Vector(0, 0, 0.3), Vector(0, 0.6, 1), Vector(1, 1, 1)}},
};

const Ramp* FindRamp(const std::string& name)
{
	for (const Ramp& r : kRamps)
		if (name == r.name)
			return &r;
	return nullptr;
}

std::string RampNames()
{
	std::string names;
	for (const Ramp& r : kRamps)
		names += (names.empty() ? "" : ", ") + std::string(r.name);
	return names;
}

Gradient MakeGradient(const Ramp& ramp)
{
	Gradient g;
	const size_t n = ramp.colours.size();
	for (size_t i = 0; i < n; ++i)
		g.InsertKnot(ramp.colours[i], static_cast<Float>(i) / static_cast<Float>(n - 1), 1.0, 0.5,
			GRADIENT_INTERPOLATION_SMOOTHKNOT);
	return g;
}

Int32 ShapeCode(const std::string& name)
{
	for (const ShapeName& s : kShapes)
		if (name == s.name)
			return s.code;
	return 0;
}

// The shader of the particle material the importer's texture tags apply (the last one, as the
// importer itself picks it); null when it has none.
BaseList2D* ParticleShader(BaseObject* importer)
{
	BaseList2D* found = nullptr;
	for (Int32 i = 0;; ++i)
	{
		TextureTag* tag = static_cast<TextureTag*>(importer->GetTag(Ttexture, i));
		if (!tag)
			break;
		BaseMaterial* mat = tag->GetMaterial();
		BaseList2D* shader = mat ? mat->GetDataInstance()->GetLink(MATERIAL_COLOR_SHADER) : nullptr;
		if (shader && shader->GetType() == TW_ParticleShader)
			found = shader;
	}
	return found;
}

// A small sphere for the "object" shape. It sits under a null that is off in renders and in the
// editor, so that only the importer's copies of it are seen, not the original at the origin.
BaseObject* AddShapeObject(BaseDocument* doc, Float radius)
{
	BaseObject* holder = BaseObject::Alloc(Onull);
	BaseObject* sphere = BaseObject::Alloc(Osphere);
	if (!holder || !sphere)
	{
		BaseObject::Free(holder);
		BaseObject::Free(sphere);
		return nullptr;
	}
	holder->SetName("TW Render Shape");
	holder->SetRenderMode(MODE_OFF);
	holder->SetEditorMode(MODE_OFF);
	sphere->GetDataInstance()->SetFloat(PRIM_SPHERE_RAD, radius);
	sphere->GetDataInstance()->SetInt32(PRIM_SPHERE_SUB, 12);
	doc->InsertObject(holder, nullptr, nullptr);
	sphere->InsertUnder(holder);
	return sphere;
}

// As a user would: the display, channel, gradient and render shape first (the file is given last).
void ConfigureParticles(BaseDocument* doc, BaseObject* op, const RenderOptions& o)
{
	// the channel applies only while the importer displays its particles
	headless::UserSetParameter(op, TW_PI_DISPLAY_MODE, GeData(static_cast<Int32>(1)));
	headless::UserSetParameter(op, TW_PI_COLOR_CHANNEL, GeData(static_cast<Int32>(ChannelCode(o.channel))));
	headless::UserSetParameter(op, TW_PI_COLOR_GRADIENT, GeData(MakeGradient(*FindRamp(o.gradient))));
	const Int32 shape = ShapeCode(o.shape);
	headless::UserSetParameter(op, TW_PI_RENDER_SHAPE, GeData(shape));
	if (o.size_given->count())
		headless::UserSetParameter(op, TW_PI_RENDER_SIZE, GeData(static_cast<Float>(o.size)));
	if (shape == 10)
		if (BaseObject* sphere = AddShapeObject(doc, static_cast<Float>(o.size)))
			headless::UserSetParameter(op, TW_PI_RENDER_OBJECT, GeData(static_cast<BaseList2D*>(sphere)));
}

// The melt material blends at most this many fluids.
constexpr size_t kMaxFluids = 10;

// "rrggbb,rrggbb,...": each colour exactly six hex digits. False with *error set for anything else.
bool ParseFluidColours(const std::string& text, std::vector<Vector>* colours, std::string* error)
{
	colours->clear();
	size_t start = 0;
	for (;;)
	{
		const size_t comma = text.find(',', start);
		const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
		const bool hex = item.size() == 6 && item.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
		if (!hex)
		{
			*error = "'" + item + "' is no colour of six hex digits such as ff0000";
			return false;
		}
		const unsigned long v = std::stoul(item, nullptr, 16);
		colours->emplace_back(static_cast<Float>((v >> 16) & 0xff) / 255.0, static_cast<Float>((v >> 8) & 0xff) / 255.0,
			static_cast<Float>(v & 0xff) / 255.0);
		if (comma == std::string::npos)
			break;
		start = comma + 1;
	}
	if (colours->size() > kMaxFluids)
	{
		*error = std::to_string(colours->size()) + " colours; the melt material blends at most " +
				 std::to_string(kMaxFluids);
		return false;
	}
	return true;
}

// One plain material per fluid and the melt material on top, on the importer whose texture tags
// apply to the mesh it builds. The melt material takes the materials below it from the last tag to
// the first and pairs the k-th taken with fluid k's weight map, so the last fluid's tag comes first.
bool EquipMelt(BaseDocument* doc, BaseObject* op, const RenderOptions& o)
{
	for (size_t i = o.fluids.size(); i-- > 0;)
	{
		BaseMaterial* plain = BaseMaterial::Alloc(Mmaterial);
		TextureTag* tag = static_cast<TextureTag*>(op->MakeTag(Ttexture));
		if (!plain || !tag)
		{
			BaseMaterial::Free(plain);
			CliError("render: no memory for the fluids' materials");
			return false;
		}
		plain->SetName(String(("Fluid " + std::to_string(i + 1)).c_str()));
		plain->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, o.fluids[i]);
		doc->InsertMaterial(plain);
		tag->SetMaterial(plain);
	}
	BaseMaterial* melt = BaseMaterial::Alloc(ID_TW_MELT_MATERIAL);
	if (!melt)
	{
		CliError("render: the module has no melt material");
		return false;
	}
	doc->InsertMaterial(melt);
	if (o.sharpness_given->count())
		melt->GetDataInstance()->SetFloat(TW_MELT_SHARPNESS, static_cast<Float>(o.sharpness));
	TextureTag* tag = static_cast<TextureTag*>(op->MakeTag(Ttexture));
	if (!tag)
	{
		CliError("render: no memory for the melt material's tag");
		return false;
	}
	tag->SetMaterial(melt);
	return true;
}

// "Create material", then the shader's own channel and gradient when asked for.
bool EquipParticles(BaseObject* op, const RenderOptions& o)
{
	headless::PressButton(op, TW_PI_CREATE_MATERIAL);
	BaseList2D* shader = ParticleShader(op);
	if (!shader)
	{
		CliError("render: the importer made no particle material");
		return false;
	}
	if (o.shader_channel.empty())
		return true;
	headless::UserSetParameter(shader, TW_PS_USE_IMPORTER, GeData(false));
	headless::UserSetParameter(shader, TW_PS_CHANNEL, GeData(static_cast<Int32>(ChannelCode(o.shader_channel))));
	headless::UserSetParameter(shader, TW_PS_GRADIENT, GeData(MakeGradient(*FindRamp(o.gradient))));
	return true;
}

int RenderFrames(const RenderOptions& o, BaseDocument* doc, SceneKind kind, const PicturePath& path)
{
	BaseObject* op = nullptr;
	long long first = 0, last = 0;
	const auto configure = [&](BaseObject* importer) { ConfigureParticles(doc, importer, o); };
	if (kind == SceneKind::SD ? !ImportScene("render", doc, o.file, &first, &last)
							  : !AddImporter("render", doc, o.file, kind, configure, &op, &first, &last))
		return kExitFailed;
	if (kind == SceneKind::PARTICLES && !EquipParticles(op, o))
		return kExitFailed;
	if (!o.fluids.empty() && !EquipMelt(doc, op, o))
		return kExitFailed;
	bool ranged = false;
	if (!o.frames.Choose(&first, &last, &ranged))
		return CliBadArgument("render: the range %lld to %lld is empty", first, last);

	RenderData* rd = doc->GetActiveRenderData();
	BaseContainer* rdata = rd->GetDataInstance();
	rdata->SetFloat(RDATA_XRES, static_cast<Float>(o.width));
	rdata->SetFloat(RDATA_YRES, static_cast<Float>(o.height));
	BaseBitmap* bmp = BaseBitmap::Alloc();
	if (!bmp)
		return CliError("render: no memory for the picture");

	// A bar only where it does not tangle with the frame lines: stderr on a terminal, stdout not.
	const bool progress = ranged && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
	size_t shown = headless::MessageBoxes().size();
	long long written = 0;
	int status = 0;
	const auto t0 = std::chrono::steady_clock::now();
	for (long long f = first; f <= last && status == 0; ++f)
	{
		const auto frame_start = std::chrono::steady_clock::now();
		doc->SetTime(BaseTime(static_cast<Float>(f), static_cast<Float>(doc->GetFps())));
		const RENDERRESULT result = RenderDocument(doc, *rdata, nullptr, nullptr, bmp, RENDERFLAGS_EXTERNAL, nullptr);
		ReportBoxes(&shown);
		if (result != RENDERRESULT_OK)
		{
			status = CliError("render: frame %lld did not render (result %d)", f, static_cast<int>(result));
			break;
		}
		const headless::RenderReport& report = headless::LastRender();
		// the shape stands for the first particle, the instances for the others
		const long long instances = kind == SceneKind::PARTICLES ? report.render_objects : report.instances;
		const std::string file = path.For(f, ranged);
		if (!MakePictureFolder("render", file))
		{
			status = kExitFailed;
			break;
		}
		errno = 0;
		if (bmp->Save(Filename(file), FILTER_PNG) != IMAGERESULT_OK)
		{
			status = CliError("render: cannot write '%s'%s%s", file.c_str(), errno ? ": " : "",
				errno ? std::strerror(errno) : "");
			break;
		}
		++written;
		const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - frame_start).count();
		if (o.json)
			PrintJson({{"frame", f}, {"file", file}, {"instances", instances}, {"seconds", JsonNumber(seconds)}});
		else if (kind == SceneKind::PARTICLES)
			std::printf("%8lld  %s  %lld instances  %.3f s\n", f, file.c_str(), instances, seconds);
		else
			std::printf("%8lld  %s  %.3f s\n", f, file.c_str(), seconds);
		std::fflush(stdout);
		if (progress)
			CliProgress(f - first + 1, last - first + 1);
	}
	BaseBitmap::Free(bmp);
	if (status != 0)
		return status;
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	if (o.json)
		PrintJson({{"summary", true}, {"frames", written}, {"seconds", JsonNumber(seconds)}});
	else
		std::printf("%lld pictures of %lld x %lld in %.3f s\n", written, o.width, o.height, seconds);
	std::fflush(stdout);
	return 0;
}

int RunRender(RenderOptions& o)
{
	std::string error;
	if (o.melt_given->count() && !ParseFluidColours(o.melt, &o.fluids, &error))
		return CliBadArgument("render: --melt %s", error.c_str());
	if (o.sharpness_given->count() && !o.melt_given->count())
		return CliBadArgument("render: --sharpness applies with --melt only");
	if (ChannelCode(o.channel) < 0)
		return CliBadArgument("render: '%s' is no display channel; the channels are %s", o.channel.c_str(),
			ChannelNames().c_str());
	if (!o.shader_channel.empty() && ChannelCode(o.shader_channel) < 0)
		return CliBadArgument("render: '%s' is no display channel; the channels are %s", o.shader_channel.c_str(),
			ChannelNames().c_str());
	if (!FindRamp(o.gradient))
		return CliBadArgument("render: '%s' is no gradient; the gradients are %s", o.gradient.c_str(),
			RampNames().c_str());
	PicturePath path;
	const SceneKind kind = SceneKindOf(o.file);
	if (const int refused = CheckPictureArguments("render", o.out, kind, o.particle_only, &path))
		return refused;
	if (kind != SceneKind::MESH && o.melt_given->count())
		return CliBadArgument("render: --melt applies to mesh sequences only");
	return RunInNewDocument("render", o.file, o.plugins, [&](BaseDocument* doc) { return RenderFrames(o, doc, kind, path); });
}

} // namespace

CommandRun RenderCommand(CLI::App& app)
{
	auto o = std::make_shared<RenderOptions>();
	app.footer("Puts the importer that fits FILE into a new document (a particle .bin, .tpc or .pxy sequence the\n"
			   "Particle Importer, a mesh .bin or .md sequence the Mesh Importer, an .sd scene the SD Importer's\n"
			   "dialog) and renders the frame through the scene's camera, or else a camera that frames\n"
			   "everything, into a PNG. Particles render as one instance of the shape per particle, coloured\n"
			   "by a channel through the gradient by the particle material that \"create material\" makes;\n"
			   "meshes and scenes render in the default grey. --melt gives a mesh one plain material per\n"
			   "fluid in the colours listed (fluid 1 first) and the melt material on top, which blends them\n"
			   "by the fluids' weights; --sharpness sets how fully a fluid of small weight counts. With --start or --end one picture per frame:\n"
			   "--out holds a frame number such as %04d, or _NNNN is added before its extension.");
	app.add_option("FILE", o->file, "a file of the sequence, or an SD scene")->required()->check(NonEmpty());
	app.add_option("--out", o->out, "the PNG to write")->required()->check(NonEmpty());
	o->frames.Add(app, "render");
	app.add_option("--width", o->width, "picture width in pixels")->transform(Integer(1, 8192));
	app.add_option("--height", o->height, "picture height in pixels")->transform(Integer(1, 8192));
	std::vector<std::string> shapes;
	for (const ShapeName& s : kShapes)
		shapes.push_back(s.name);
	o->size_given = app.add_option("--size", o->size, "the shape's radius (sphere, disc-sized, object)")
						->check(Decimal(0.0, 1e6));
	CLI::Option* use_importer = app.add_flag("--use-importer", o->use_importer,
		"colour by the importer's channel and gradient (the default)");
	CLI::Option* shader_channel = app.add_option("--shader-channel", o->shader_channel,
		"colour by this channel through the particle shader's own settings instead");
	use_importer->excludes(shader_channel);
	o->particle_only = {
		app.add_option("--shape", o->shape, "what each particle renders as")->check(CLI::IsMember(shapes)),
		o->size_given,
		app.add_option("--channel", o->channel, "the channel that colours the particles: " + ChannelNames()),
		app.add_option("--gradient", o->gradient, "the colour ramp: " + RampNames()),
		use_importer,
		shader_channel,
	};
	o->melt_given = app.add_option("--melt", o->melt, "COLOR,COLOR,...: one colour per fluid, six hex digits each");
	o->sharpness_given = app.add_option("--sharpness", o->sharpness, "0 blends by the weights, 1 counts every fluid fully")
							 ->check(Decimal(0.0, 1.0));
	app.add_flag("--json", o->json, "one JSON object per picture (frame, file, instances, seconds), then a summary");
	AddPluginsOption(app, o->plugins);
	return [o] { return RunRender(*o); };
}
