// particle_export.cpp - the particle export run: sources, export items, the frame loop and the two frame writers.
#include "particle_export.h"

#include "c4d_symbols.h"
#include "console.h"
#include "export_frames.h"
#include "particle_bin_stream.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

// Host centimetres to file metres.
constexpr Float TO_METRES = 0.01;

// The channels a group's values are read from; -1 where the particle system has none of the name.
struct GroupChannels
{
	Int32 force = -1, vorticity = -1, normal = -1, texture = -1;
	Int32 neighbors = -1, infobit = -1, id = -1;
	Int32 isolation = -1, viscosity = -1, density = -1, pressure = -1, temperature = -1;
};

// The host has no lookup by name: walk the reported names once per frame.
GroupChannels FindChannels(const TP_MasterSystem* master)
{
	static const struct
	{
		const char* name;
		Int32 GroupChannels::*field;
	} wanted[] = {
		{"force(Vector)", &GroupChannels::force},
		{"vorticity(Vector)", &GroupChannels::vorticity},
		{"normal(Vector)", &GroupChannels::normal},
		{"texture(Vector)", &GroupChannels::texture},
		{"neighbors(Integer)", &GroupChannels::neighbors},
		{"infobit(Integer)", &GroupChannels::infobit},
		{"isolation(Float)", &GroupChannels::isolation},
		{"viscosity(Float)", &GroupChannels::viscosity},
		{"density(Float)", &GroupChannels::density},
		{"pressure(Float)", &GroupChannels::pressure},
		{"temperature(Float)", &GroupChannels::temperature},
		{"id(Integer)", &GroupChannels::id},
	};
	GroupChannels found;
	const Int32 n = master->NumDataChannels();
	for (Int32 c = 0; c < n; ++c)
	{
		char name[TW_EXPORT_NAME_MAX + 1];
		master->GetDataChannelName(c).GetCString(name, sizeof name);
		for (const auto& w : wanted)
			if (found.*w.field < 0 && std::strcmp(name, w.name) == 0)
				found.*w.field = c;
	}
	return found;
}

// Which particle this is from one evaluation to the next: the host may number a group's particles
// anew at every evaluation (an importer does), so the id the file gets is the better key.
int64_t Identity(const TP_MasterSystem* master, Int32 id, Int32 id_channel)
{
	if (id_channel < 0)
		return id;
	Int32 value = 0;
	master->GetData(id, id_channel, &value, DTYPE_LONG_VALUE);
	return value;
}

// Minimum, maximum and sum of one value over the written particles.
struct Range
{
	double min = 0.0, max = 0.0, sum = 0.0;
	int64_t count = 0;

	void Add(double v)
	{
		if (count == 0 || v < min)
			min = v;
		if (count == 0 || v > max)
			max = v;
		sum += v;
		++count;
	}
	double Average() const { return count > 0 ? sum / static_cast<double>(count) : 0.0; }
	// [minimum, maximum, average]; zeros without particles.
	void Store(float (&out)[3]) const
	{
		out[0] = static_cast<float>(min);
		out[1] = static_cast<float>(max);
		out[2] = static_cast<float>(Average());
	}
};

void StoreVector(float* out, const Vector& v)
{
	out[0] = static_cast<float>(v.x);
	out[1] = static_cast<float>(v.y);
	out[2] = static_cast<float>(v.z);
}

double Length(const Vector& v)
{
	return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// The item's mass factor: particles are as heavy as their volume against one of radius 0.1.
double MassFactor(float radius)
{
	const double r = static_cast<double>(radius) / 0.1;
	return r * r * r;
}

// Why a file could not be created or written, from the last system error when there is one.
const char* SystemReason(const char* fallback)
{
	return errno != 0 ? std::strerror(errno) : fallback;
}

// Positions one frame later by the particle's identity, sorted.
using LaterPositions = std::vector<std::pair<int64_t, Vector>>;

const Vector* LaterPosition(const LaterPositions& later, int64_t identity)
{
	auto it = std::lower_bound(later.begin(), later.end(), identity, [](const auto& a, int64_t key) { return a.first < key; });
	return it != later.end() && it->first == identity ? &it->second : nullptr;
}

// Particles per piece the group writer reads from the host before the piece's records may be written.
constexpr Int32 GATHER_CHUNK = 8192;

// Reads a group's living particles from the host into the channel arrays, a piece at a time, in
// particle order, and keeps the statistics of what it read.
struct GroupGather
{
	const TP_MasterSystem* m;
	const LaterPositions* later; // null without compute velocity
	GroupChannels c;
	const Int32* ids;
	BinParticleFrame* f;
	Float fps;
	double mass_factor;
	Range speed, range1, range3;

	// Particles [first, end); pieces are filled in order, so the ranges add their values in order.
	// Flattened: the host's reads inlined into the loops cost about half of what a call each does.
	__attribute__((flatten)) void Fill(Int32 first, Int32 end)
	{
		for (Int32 i = first; i < end; ++i)
		{
			const Int32 id = ids[i];
			const Vector p = m->Position(id);
			Vector v = m->Velocity(id);
			// A particle gone one frame later keeps the particle system's own velocity.
			if (later)
				if (const Vector* q = LaterPosition(*later, Identity(m, id, c.id)))
					v = (*q - p) * (fps * TO_METRES);
			StoreVector(f->position + 3 * i, p * TO_METRES);
			StoreVector(f->velocity + 3 * i, v);
			speed.Add(Length(v));
			f->age[i] = static_cast<float>(m->Age(id).Get());
			f->mass[i] = static_cast<float>(m->Mass(id) * mass_factor);
		}
		FillVectors(c.force, f->force, first, end);
		FillVectors(c.vorticity, f->vorticity, first, end);
		FillVectors(c.normal, f->normal, first, end);
		FillVectors(c.texture, f->texture, first, end);
		FillIntegers(c.neighbors, f->neighbors, first, end);
		FillIntegers(c.infobit, f->info_bits, first, end);
		// without an id channel a particle is known by its own number
		if (c.id >= 0)
			FillIntegers(c.id, f->id, first, end);
		else
			for (Int32 i = first; i < end; ++i)
				f->id[i] = ids[i];
		FillReals(c.isolation, f->isolation, first, end, nullptr);
		FillReals(c.viscosity, f->viscosity, first, end, nullptr);
		FillReals(c.density, f->density, first, end, nullptr);
		FillReals(c.pressure, f->pressure, first, end, &range1);
		FillReals(c.temperature, f->temperature, first, end, &range3);
	}

	void FillVectors(Int32 channel, float* out, Int32 first, Int32 end) const
	{
		if (channel < 0)
		{
			std::memset(out + 3 * static_cast<size_t>(first), 0, 12 * static_cast<size_t>(end - first));
			return;
		}
		for (Int32 i = first; i < end; ++i)
		{
			Vector v;
			m->GetData(ids[i], channel, &v, DTYPE_VECTOR_VALUE);
			StoreVector(out + 3 * i, v);
		}
	}

	template <typename T>
	void FillIntegers(Int32 channel, T* out, Int32 first, Int32 end) const
	{
		for (Int32 i = first; i < end; ++i)
		{
			Int32 value = 0;
			if (channel >= 0)
				m->GetData(ids[i], channel, &value, DTYPE_LONG_VALUE);
			out[i] = static_cast<T>(value);
		}
	}

	void FillReals(Int32 channel, float* out, Int32 first, Int32 end, Range* range) const
	{
		if (channel < 0)
		{
			std::memset(out + first, 0, sizeof(float) * static_cast<size_t>(end - first));
			// no channel: zeros, which the range counts once
			if (range && first == 0)
				range->Add(0.0);
			return;
		}
		for (Int32 i = first; i < end; ++i)
		{
			Float value = 0.0;
			m->GetData(ids[i], channel, &value, DTYPE_REAL_VALUE);
			out[i] = static_cast<float>(value);
			if (range)
				range->Add(out[i]);
		}
	}
};

void AddObjects(BaseObject* op, std::vector<ParticleObject*>& emitters)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == Oparticle)
			emitters.push_back(static_cast<ParticleObject*>(op));
		AddObjects(op->GetDown(), emitters);
	}
}

} // namespace

// --- items and sources

Int32 DefaultExportFps(Int32 document_fps)
{
	return document_fps == 24 || document_fps == 25 ? document_fps : 30;
}

ExportItem NewExportItem(Int32 kind, Int32 source_index, const String& name, Int32 version_entry, Int32 document_fps)
{
	ExportItem item;
	item.kind = kind;
	item.source_index = source_index;
	item.fluid_name = name;
	item.label = name;
	BinParticleHeader& h = item.header;
	h.magic = PARTICLE_BIN_MAGIC;
	h.version = static_cast<int16_t>(version_entry == TW_PEXP_VERSION_9 ? 9 : 12);
	h.fluid_type = 5;
	h.fps = DefaultExportFps(document_fps);
	h.scale = 1.0f;
	h.radius = 0.1f;
	const float range1[3] = {-100.0f, 100.0f, 0.0f}, speed[3] = {-100.0f, 100.0f, 0.0f}, range3[3] = {-1000.0f, 1000.0f, 0.0f};
	std::memcpy(h.range1, range1, sizeof range1);
	std::memcpy(h.speed_range, speed, sizeof speed);
	std::memcpy(h.range3, range3, sizeof range3);
	for (int i = 0; i < 3; ++i)
		h.emitter_scale[i] = 1.0f;
	return item;
}

ParticleSources CollectParticleSources(BaseDocument* doc)
{
	ParticleSources s;
	if (!doc)
		return s;
	AddObjects(doc->GetFirstObject(), s.emitters);
	if (TP_MasterSystem* master = GetThinkingParticlesMaster(doc))
		s.groups = master->GetParticleGroups();
	return s;
}

String ParticleSources::Name(Int32 index) const
{
	const Int32 emitter_count = static_cast<Int32>(emitters.size());
	if (index >= 0 && index < emitter_count)
		return emitters[static_cast<size_t>(index)]->GetName();
	if (index >= emitter_count && index < Count())
		return groups[static_cast<size_t>(index - emitter_count)]->GetName();
	return String();
}

String ParticleSources::EntryText(Int32 index) const
{
	return Name(index) + String(Kind(index) == PEXP_KIND_EMITTER ? " (emitter)" : " (tp)");
}

// --- the frame writers

ParticleFrameWriter::~ParticleFrameWriter()
{
	GiveChannelStorage(nullptr, _storage, _storage_bytes);
}

BinParticleFrame* ParticleFrameWriter::Open(const char* path, Int32 count, Bool zeroed, const char** reason)
{
	errno = 0;
	BinParticleFrame* f = OpenParticleBin(path, 1);
	if (!f)
	{
		*reason = std::strlen(path) >= sizeof f->path ? "the path is longer than 511 characters"
													   : SystemReason("the file cannot be created");
		return nullptr;
	}
	// The block of the frame before, when large enough, saves faulting in new memory.
	GiveChannelStorage(f, _storage, _storage_bytes);
	_storage = nullptr;
	_storage_bytes = 0;
	if (!(zeroed ? AllocateChannels(f, count) : AllocateChannelsUnfilled(f, count)))
	{
		FreeParticleBin(f);
		RemovePartialFile(path);
		*reason = "out of memory";
		return nullptr;
	}
	return f;
}

void ParticleFrameWriter::SetHeader(BinParticleFrame* f, const ExportItem& item, Int32 frame, Int32 count)
{
	BinParticleHeader& h = f->header;
	h.magic = PARTICLE_BIN_MAGIC;
	char name[TW_EXPORT_NAME_MAX + 1];
	item.fluid_name.GetCString(name, sizeof name);
	SetParticleBinName(f, name);
	h.version = item.header.version;
	h.scale = item.header.scale;
	h.fluid_type = item.header.fluid_type;
	h.fps = item.header.fps;
	h.radius = item.header.radius;
	h.frame = frame;
	h.simulation_time_seconds = h.fps > 0 ? static_cast<float>(static_cast<double>(frame) / h.fps) : 0.0f;
	h.particle_count = count;
	std::memcpy(h.emitter_position, item.header.emitter_position, sizeof h.emitter_position);
	std::memcpy(h.emitter_rotation, item.header.emitter_rotation, sizeof h.emitter_rotation);
	std::memcpy(h.emitter_scale, item.header.emitter_scale, sizeof h.emitter_scale);
}

const char* ParticleFrameWriter::Close(BinParticleFrame* f, Bool written)
{
	const char* reason = written ? nullptr : SystemReason("the file could not be written completely");
	if (!written)
		RemovePartialFile(f->path);
	_storage = TakeChannelStorage(f, &_storage_bytes);
	FreeParticleBin(f);
	return reason;
}

void ParticleFrameWriter::RecordLaterPositions(BaseDocument* doc, TP_MasterSystem* master, TP_PGroup* group)
{
	const BaseTime now = doc->GetTime();
	EvaluateAt(doc, now + BaseTime(1.0, static_cast<Float>(doc->GetFps())));
	const Int32 id_channel = FindChannels(master).id;
	_later.clear();
	// a particle that died by then has no later position
	for (Int32 id = master->GetFirstParticle(group); id >= 0; id = master->GetNextParticle(group, id))
		if (master->Alive(id))
			_later.emplace_back(Identity(master, id, id_channel), master->Position(id));
	std::sort(_later.begin(), _later.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
	EvaluateAt(doc, now);
}

const char* ParticleFrameWriter::WriteGroup(BaseDocument* doc, TP_PGroup* group, const ExportItem& item, Int32 frame, const char* path)
{
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	if (!m || !group)
		return "the particle group no longer exists";
	if (item.compute_velocity)
		RecordLaterPositions(doc, m, group);

	std::vector<Int32>& ids = _ids;
	ids.clear();
	for (Int32 id = m->GetFirstParticle(group); id >= 0; id = m->GetNextParticle(group, id))
		if (m->Alive(id))
			ids.push_back(id);
	const Int32 count = static_cast<Int32>(ids.size());

	const char* reason = nullptr;
	// every value of every array is set below, a missing channel's as zeros
	BinParticleFrame* f = Open(path, count, false, &reason);
	if (!f)
		return reason;
	SetHeader(f, item, frame, count);
	errno = 0;
	ParticleBinStream* stream = StartParticleBinStream(f, 1);
	if (!stream)
		return Close(f, false);

	GroupGather gather{m, item.compute_velocity ? &_later : nullptr, FindChannels(m), ids.data(), f,
		static_cast<Float>(doc->GetFps()), MassFactor(item.header.radius), {}, {}, {}};
	// The file of the chunks already filled is written while the next ones are read from the host.
	for (Int32 first = 0; first < count; first += GATHER_CHUNK)
	{
		const Int32 end = count - first < GATHER_CHUNK ? count : first + GATHER_CHUNK;
		gather.Fill(first, end);
		if (!PublishParticleBinStream(stream, end))
			break;
	}
	gather.speed.Store(f->header.speed_range);
	gather.range1.Store(f->header.range1);
	gather.range3.Store(f->header.range3);
	return Close(f, FinishParticleBinStream(stream) != 0);
}

const char* ParticleFrameWriter::WriteEmitter(BaseDocument* doc, ParticleObject* emitter, const ExportItem& item, Int32 frame, const char* path)
{
	(void)doc;
	if (!emitter)
		return "the emitter no longer exists";
	const BaseTag* tag = emitter->GetTag(Tparticle);
	const Int32 n = tag ? emitter->GetParticleCount() : 0;
	const Int32 living_bits = PARTICLEFLAGS_VISIBLE | PARTICLEFLAGS_ALIVE;

	Int32 count = 0;
	for (Int32 k = 0; k < n; ++k)
	{
		const Particle* p = emitter->GetParticleR(tag, k);
		count += p && (p->bits & living_bits) == living_bits ? 1 : 0;
	}
	const char* reason = nullptr;
	// the channels an emitter lacks stay zero
	BinParticleFrame* f = Open(path, count, true, &reason);
	if (!f)
		return reason;

	// Fixed values: the emitter knows nothing of these channels, so they take a calm fluid's.
	const float mass = static_cast<float>(MassFactor(item.header.radius));
	Range speed;
	Int32 i = 0;
	for (Int32 k = 0; k < n && i < count; ++k)
	{
		const Particle* p = emitter->GetParticleR(tag, k);
		if (!p || (p->bits & living_bits) != living_bits)
			continue;
		const Vector v = p->v3 * TO_METRES;
		StoreVector(f->position + 3 * i, p->off * TO_METRES);
		StoreVector(f->velocity + 3 * i, v);
		speed.Add(Length(v));
		f->age[i] = static_cast<float>(p->t.Get());
		f->viscosity[i] = 3.0f;
		f->density[i] = 1000.0f;
		f->pressure[i] = 1.0f;
		f->mass[i] = mass;
		f->temperature[i] = 1000.0f;
		f->id[i] = i + 1;
		++i;
	}

	// The emitter's speed range is kept largest first.
	float (&s)[3] = f->header.speed_range;
	s[0] = static_cast<float>(speed.max);
	s[1] = static_cast<float>(speed.min);
	s[2] = static_cast<float>(speed.Average());
	std::memset(f->header.range1, 0, sizeof f->header.range1);
	std::memset(f->header.range3, 0, sizeof f->header.range3);
	SetHeader(f, item, frame, i);
	errno = 0;
	return Close(f, WriteParticleBin(f) != 0);
}

// --- the run

ParticleExportResult RunParticleExport(
	BaseDocument* doc, const ParticleExportSettings& settings, const ExportItem& item, ParticleExportStatus* status)
{
	if (settings.folder.IsEmpty())
	{
		ShowMessage("Please set the folder of the particle sequence!");
		return PEXP_REFUSED;
	}
	if (settings.name.IsEmpty())
	{
		ShowMessage("Please set a name for the particle sequence!");
		return PEXP_REFUSED;
	}
	if (settings.step < 1)
	{
		ShowMessage("Inc frame must be greater than zero!");
		return PEXP_REFUSED;
	}
	const ParticleSources sources = CollectParticleSources(doc);
	if (settings.source < 0 || settings.source >= sources.Count())
		return PEXP_NO_SOURCE;
	ExportFileNames names;
	if (!names.Init(settings.folder, settings.name, settings.padding))
		return PEXP_REFUSED;

	const Int32 emitter_count = static_cast<Int32>(sources.emitters.size());
	const BaseTime saved = doc->GetTime();
	const Float fps = static_cast<Float>(doc->GetFps());
	ParticleFrameWriter writer;
	ExportFailures failures;
	Int32 tried = 0;
	// 64 bits: a range ending near the largest frame must not wrap around.
	for (int64_t frame64 = settings.start; frame64 <= settings.end; frame64 += settings.step)
	{
		const Int32 frame = static_cast<Int32>(frame64);
		char text[64];
		std::snprintf(text, sizeof text, "Export frame %d", static_cast<int>(frame));
		if (status)
			status->Set(String(text));
		EvaluateAt(doc, BaseTime(static_cast<Float>(frame), fps));
		char path[600];
		names.PathOf(frame, path);
		const char* reason = settings.source < emitter_count
			? writer.WriteEmitter(doc, sources.emitters[static_cast<size_t>(settings.source)], item, frame, path)
			: writer.WriteGroup(doc, sources.groups[static_cast<size_t>(settings.source - emitter_count)], item, frame, path);
		++tried;
		if (reason)
			failures.Failed(frame, path, reason);
	}
	EvaluateAt(doc, saved);
	if (status)
		status->Set(failures.Status(tried));
	return PEXP_RAN;
}
