// export_particles.cpp - twconnect export particles: a played sequence's group, or a host emitter, through the Particle Exporter.
#include "export_cli.h"
#include "host_session.h"

#include "TW_Particle_Importer.h"
#include "c4d_particleobject.h"
#include "c4d_symbols.h"
#include "frame_sequence.h"
#include "particle_bin.h"
#include "plugin_ids.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

struct ParticleExportOptions
{
	ExportOptions common;
	std::string from;
	long long version = 12, lifetime = 0;
	double radius = 0.1, birth_rate = 10.0, speed = 150.0;
	bool emitter = false, compute_velocity = false;
	CLI::Option* emitter_given = nullptr;
	CLI::Option* birth_rate_given = nullptr;
	CLI::Option* speed_given = nullptr;
	CLI::Option* lifetime_given = nullptr;
};

constexpr long long kDefaultFps = 30;
constexpr long long kEmitterFirst = 0, kEmitterLast = 90;

const ExporterDialog kParticleExporter = {
	"particles", ID_TW_PARTICLE_EXPORTER, DLG_TW_PARTICLE_EXPORTER, TW_PEXP_STATUS, TW_PEXP_EXPORT};

// The rate the sequence was simulated at, from its first frame's header, so that document frames and
// file frames agree; 0 when that is no .bin frame or holds no usable rate.
long long SequenceFps(const std::string& file)
{
	FrameSequence sequence;
	sequence.SetName(file.c_str(), false, true);
	sequence.ScanRange();
	char first[SEQUENCE_PATH_SIZE];
	sequence.GetFileName(sequence.first, 0, first);
	BinParticleFrame* frame = OpenParticleBin(first[0] ? first : file.c_str(), 0);
	if (!frame)
		return 0;
	// the header is all it takes: no particle is read at 0 percent
	const int32_t stored = ReadParticleBin(frame, 0.0f) == 1 ? frame->header.fps : 0;
	FreeParticleBin(frame);
	return stored >= 1 && stored <= 1000 ? stored : 0;
}

// A Particle Importer on the file; its group's entry in the exporter's source list, or "" after an error.
std::string AddImporter(BaseDocument* doc, const std::string& file, long long* first, long long* last)
{
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	if (!op)
	{
		CliError("export particles: the module has no particle importer");
		return std::string();
	}
	doc->InsertObject(op, nullptr, nullptr);
	const size_t boxes = headless::MessageBoxes().size();
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(file)));
	const BaseContainer* bc = op->GetDataInstance();
	if (ReportImporterBoxes(boxes) || bc->GetString(TW_PI_NAME).Get().empty())
	{
		CliError("export particles: '%s' was not taken as a particle sequence", file.c_str());
		return std::string();
	}
	*first = bc->GetInt32(TW_PI_FIRST_FRAME);
	*last = bc->GetInt32(TW_PI_LAST_FRAME);
	// the importer names its group after itself
	return op->GetName().Get() + " (tp)";
}

std::string AddEmitter(BaseDocument* doc, const ParticleExportOptions& o)
{
	BaseObject* op = BaseObject::Alloc(Oparticle);
	if (!op)
	{
		CliError("export particles: the host has no particle emitter");
		return std::string();
	}
	BaseContainer* bc = op->GetDataInstance();
	if (o.birth_rate_given->count())
	{
		bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, o.birth_rate);
		bc->SetFloat(PARTICLEOBJECT_BIRTHRAYTRACER, o.birth_rate);
	}
	if (o.speed_given->count())
		bc->SetFloat(PARTICLEOBJECT_SPEED, o.speed);
	if (o.lifetime_given->count())
		bc->SetTime(PARTICLEOBJECT_LIFETIME,
			BaseTime(static_cast<Float>(o.lifetime), static_cast<Float>(doc->GetFps())));
	doc->InsertObject(op, nullptr, nullptr);
	return op->GetName().Get() + " (emitter)";
}

bool ReadParticleFrame(const std::string& path, long long frame, Json* keys, std::string* why)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
	if (!f)
	{
		*why = std::string("cannot be opened: ") + std::strerror(errno);
		return false;
	}
	const bool read = ReadParticleBin(f, 100.0f) == 1;
	const long long count = f->header.particle_count, stored = f->header.frame;
	FreeParticleBin(f);
	if (!read)
		*why = "does not read as a particle .bin file";
	else if (stored != frame)
		*why = "holds frame " + std::to_string(stored);
	else
		*keys = {{"particles", count}};
	return read && stored == frame;
}

int RunExportParticles(const ParticleExportOptions& o)
{
	const ExportOptions& c = o.common;
	if (o.from.empty() && !o.emitter)
		return CliBadArgument("export particles: give --from FILE or --emitter");
	if (!o.from.empty())
	{
		FILE* probe = std::fopen(o.from.c_str(), "rb");
		if (!probe)
			return CliError("cannot open '%s': %s", o.from.c_str(), std::strerror(errno));
		std::fclose(probe);
	}
	const long long sequence_fps = o.from.empty() ? 0 : SequenceFps(o.from);
	const long long fps = c.fps_given->count() ? c.fps : sequence_fps ? sequence_fps : kDefaultFps;

	headless::Module module;
	if (!StartHost(module, PluginFolder(c.plugins)))
		return kExitFailed;
	BaseDocument* doc = NewActiveDocument(static_cast<Int32>(fps), false);
	long long first = kEmitterFirst, last = kEmitterLast;
	const std::string source = o.emitter ? AddEmitter(doc, o) : AddImporter(doc, o.from, &first, &last);
	ExportFrames frames;
	int status = kExitFailed;
	if (!source.empty() && PlanExport(c, first, last, "particles", &frames, &status))
	{
		PrepareDocument(doc, frames);
		const DialogFill fill = [&](headless::DialogDriver& d, std::string* refused) {
			if (!d.SelectText(TW_PEXP_SOURCE, source))
			{
				*refused = "the source '" + source + "': it is not listed";
				return false;
			}
			// a source chosen for the first time names the sequence after itself: the name comes after it
			const Int32 version = o.version == 9 ? TW_PEXP_VERSION_9 : TW_PEXP_VERSION_12;
			if (!(SetExactText(d, TW_PEXP_FOLDER, frames.folder, "--out", refused) &&
					SetExactText(d, TW_PEXP_NAME, frames.name, "--name", refused) &&
					SetExactInt(d, TW_PEXP_PADDING, frames.padding, "--padding", refused) &&
					SetExactInt(d, TW_PEXP_START, frames.start, "--start", refused) &&
					SetExactInt(d, TW_PEXP_END, frames.end, "--end", refused) &&
					SetExactInt(d, TW_PEXP_STEP, frames.step, "--step", refused) &&
					SetExactInt(d, TW_PEXP_FPS, fps, "--fps", refused)))
				return false;
			if (!d.Select(TW_PEXP_VERSION, version) || d.GetSelection(TW_PEXP_VERSION) != version)
			{
				*refused = "--version " + std::to_string(o.version);
				return false;
			}
			if (!d.SetFloat(TW_PEXP_RADIUS, o.radius) || std::fabs(d.GetFloat(TW_PEXP_RADIUS) - o.radius) > 1e-9)
			{
				*refused = "--radius " + std::to_string(o.radius);
				return false;
			}
			return SetExactCheck(d, TW_PEXP_COMPUTE_VELOCITY, o.compute_velocity, "--compute-velocity", refused);
		};
		status = RunExport(kParticleExporter, frames, c.json, fill, ReadParticleFrame);
	}
	FreeActiveDocument(doc);
	return status;
}

} // namespace

CommandRun ExportParticlesCommand(CLI::App& app)
{
	auto o = std::make_shared<ParticleExportOptions>();
	app.footer("With --from, a Particle Importer plays FILE's sequence in a new document and its Thinking\n"
			   "Particles group is exported (frames: the sequence's on disk unless --start / --end). With\n"
			   "--emitter, a host particle emitter is exported (frames 0 to 90 unless --start / --end).");
	app.add_option("--from", o->from, "a file of the particle sequence to play (.bin, .pxy or .tpc)")
		->check(NonEmpty().description(""))
		->type_name("FILE");
	o->emitter_given = app.add_flag("--emitter", o->emitter, "export a host particle emitter instead")->excludes("--from");
	AddExportOptions(app, o->common,
		"document and header frame rate (default: the sequence's first frame's, else 30)");
	app.add_option("--version", o->version, "file version, 9 or 12")
		->transform(Integer(9, 12).description(""))
		->check(CLI::IsMember({9, 12}));
	app.add_option("--radius", o->radius, "header radius in metres; sets the mass of emitter particles")
		->check(Decimal(0.0, 1e18));
	app.add_flag("--compute-velocity", o->compute_velocity, "velocities from the motion over one frame (--from)")
		->excludes(o->emitter_given);
	o->birth_rate_given =
		app.add_option("--birth-rate", o->birth_rate, "emitter: particles born per frame")->check(Decimal(0.0, 100000.0));
	o->speed_given = app.add_option("--speed", o->speed,
						   "emitter: speed along its Z axis in centimetres per second (the host's unit; 100 = 1 m/s)")
						 ->check(Decimal(-1e9, 1e9));
	o->lifetime_given = app.add_option("--lifetime", o->lifetime, "emitter: how long a particle lives, in frames")
							->transform(Integer(0, 9999999));
	o->lifetime_given->default_str("the emitter's own, 20 s");
	for (CLI::Option* emitter_only : {o->birth_rate_given, o->speed_given, o->lifetime_given})
		emitter_only->needs(o->emitter_given);
	return [o] { return RunExportParticles(*o); };
}
