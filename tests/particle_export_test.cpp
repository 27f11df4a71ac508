// particle_export_test.cpp - the Particle Exporter driven as a user drives it: dialog, settings, frames and files.
#include "host_test.h"
#include "test_support.h"

#include "TW_Particle_Importer.h"
#include "c4d_particles.h"
#include "c4d_symbols.h"
#include "particle_bin.h"
#include "particle_export.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

using FramePtr = std::unique_ptr<BinParticleFrame, decltype(&FreeParticleBin)>;

FramePtr ReadFrame(const std::string& path)
{
	FramePtr f(OpenParticleBin(path.c_str(), 0), &FreeParticleBin);
	if (f && !ReadParticleBin(f.get(), 100.0f))
		f.reset();
	return f;
}

// Every value differs per channel, particle and frame; positions move 0.125 m a frame on each axis.
float Value(int channel, int i, int frame)
{
	return static_cast<float>(channel) * 10.0f + static_cast<float>(i) * 0.5f + static_cast<float>(frame) * 0.125f;
}

// Frames 0 and 1 hold six particles, frame 2 the first five.
int RichCount(int frame)
{
	return frame < 2 ? 6 : 5;
}

void WriteRichFrame(const std::string& path, int frame)
{
	const int count = RichCount(frame);
	FramePtr f(OpenParticleBin(path.c_str(), 1), &FreeParticleBin);
	ASSERT_TRUE(f && AllocateChannels(f.get(), count));
	f->header.magic = PARTICLE_BIN_MAGIC;
	f->header.version = 12;
	f->header.particle_count = count;
	for (int i = 0; i < count; ++i)
	{
		float* vectors[] = {f->position, f->velocity, f->force, f->vorticity, f->normal, f->texture};
		for (int v = 0; v < 6; ++v)
			for (int a = 0; a < 3; ++a)
				vectors[v][3 * i + a] = Value(1 + 3 * v + a, i, frame) * (v >= 4 ? 0.01f : 1.0f);
		float* scalars[] = {f->age, f->isolation, f->viscosity, f->density, f->pressure, f->mass, f->temperature};
		for (int s = 0; s < 7; ++s)
			scalars[s][i] = Value(20 + s, i, frame);
		f->neighbors[i] = 100 + 7 * i + frame;
		f->info_bits[i] = static_cast<int16_t>(-3 - i);
		f->id[i] = 1000 + 3 * i;
	}
	ASSERT_TRUE(WriteParticleBin(f.get()));
}

// What a user enters before pressing Export; an empty source keeps the one shown.
struct Request
{
	std::string source, folder, name = "out";
	Int32 start = 0, end = 0, step = 1, padding = 5, version = 12;
	Float radius = 0.1;
	bool compute_velocity = false;
};

class ParticleExport : public HostTest
{
protected:
	void SetUp() override
	{
		HostTest::SetUp();
		headless::ClearMessageBoxes();
		headless::ClearConsole();
	}

	std::string Out(Int32 frame, const std::string& name = "out", Int32 padding = 5) const
	{
		char file[64];
		std::snprintf(file, sizeof file, "%s%0*d.bin", name.c_str(), static_cast<int>(padding), static_cast<int>(frame));
		return out / file;
	}

	// Two particles a frame over frames 0..4, each living 5 frames, at 50..150 cm/s along Z.
	ParticleObject* AddEmitter(const char* name = "Emitter", BaseObject* parent = nullptr)
	{
		auto* op = static_cast<ParticleObject*>(BaseObject::Alloc(Oparticle));
		op->SetName(String(name));
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 2.0);
		bc->SetFloat(PARTICLEOBJECT_SPEED, 100.0);
		bc->SetFloat(PARTICLEOBJECT_SPEEDVAR, 0.5);
		bc->SetTime(PARTICLEOBJECT_STOP, BaseTime(4, 25));
		bc->SetTime(PARTICLEOBJECT_LIFETIME, BaseTime(5, 25));
		doc->InsertObject(op, parent, nullptr);
		return op;
	}

	// A Particle Importer in ID mode playing rich_00000.bin .. rich_00002.bin; its group is "TW_rich".
	void AddRichImporter()
	{
		for (int k = 0; k <= 2; ++k)
		{
			char file[64];
			std::snprintf(file, sizeof file, "rich_%05d.bin", k);
			WriteRichFrame(in / file, k);
		}
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(in / "rich_00000.bin")));
		headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
		Evaluate(0);
	}

	void Evaluate(Int32 frame)
	{
		doc->SetTime(BaseTime(frame, doc->GetFps()));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}

	// Opens the dialog, enters the request and presses Export; keeps the status line and whether the
	// dialog stayed open.
	void Export(Request r)
	{
		if (r.folder.empty())
			r.folder = out.path();
		headless::SetModalDialogScript([this, r](headless::DialogDriver& d) {
			EXPECT_TRUE(r.source.empty() || d.SelectText(TW_PEXP_SOURCE, r.source)) << r.source;
			EXPECT_TRUE(d.SetFilename(TW_PEXP_FOLDER, r.folder == "-" ? "" : r.folder));
			EXPECT_TRUE(d.SetText(TW_PEXP_NAME, r.name));
			const std::pair<Int32, Int32> numbers[] = {{TW_PEXP_PADDING, r.padding}, {TW_PEXP_START, r.start},
				{TW_PEXP_END, r.end}, {TW_PEXP_STEP, r.step}};
			for (const auto& n : numbers)
				EXPECT_TRUE(d.SetInt32(n.first, n.second));
			EXPECT_TRUE(d.Select(TW_PEXP_VERSION, r.version == 9 ? TW_PEXP_VERSION_9 : TW_PEXP_VERSION_12));
			EXPECT_TRUE(d.SetFloat(TW_PEXP_RADIUS, r.radius));
			EXPECT_TRUE(d.SetCheck(TW_PEXP_COMPUTE_VELOCITY, r.compute_velocity));
			EXPECT_TRUE(d.Press(TW_PEXP_EXPORT));
			status = d.GetText(TW_PEXP_STATUS);
			stayed_open = d.IsOpen();
		});
		CallCommand(ID_TW_PARTICLE_EXPORTER);
		headless::SetModalDialogScript(nullptr);
	}
	std::vector<Int32> FramesWritten(Int32 last, Int32 padding = 5) const
	{
		std::vector<Int32> frames;
		for (Int32 k = 0; k <= last; ++k)
			if (FileExists(Out(k, "out", padding)))
				frames.push_back(k);
		return frames;
	}

	TempDir in, out;
	std::string status;
	bool stayed_open = false;
};

// --- through the importer and back

class ParticleExportRoundTrip : public ParticleExport, public ::testing::WithParamInterface<int>
{
};

TEST_P(ParticleExportRoundTrip, ImportedGroupComesBackWithEveryChannelOfEveryParticle)
{
	AddRichImporter();
	Request r;
	r.source = "TW_rich (tp)";
	r.name = "back";
	r.end = 2;
	r.version = GetParam();
	Export(r);
	EXPECT_EQ(status, "Ready");
	for (int k = 0; k <= 2; ++k)
	{
		FramePtr f = ReadFrame(Out(k, "back"));
		ASSERT_TRUE(f) << k;
		const BinParticleHeader& h = f->header;
		EXPECT_STREQ(h.fluid_name, "back");
		EXPECT_EQ(h.version, GetParam());
		EXPECT_EQ(h.frame, k);
		EXPECT_EQ(h.fps, 25);
		EXPECT_FLOAT_EQ(h.simulation_time_seconds, k / 25.0f);
		ASSERT_EQ(h.particle_count, RichCount(k));
		std::map<int64_t, int> row; // where each id was written
		for (int j = 0; j < h.particle_count; ++j)
			row[f->id[j]] = j;
		Float pressure_sum = 0.0;
		for (int i = 0; i < RichCount(k); ++i)
		{
			ASSERT_EQ(row.count(1000 + 3 * i), 1u) << "id of particle " << i;
			const int j = row[1000 + 3 * i];
			auto near = [&](float got, float want, const char* what) {
				EXPECT_NEAR(got, want, 1e-5 * std::fabs(want) + 1e-6) << what << " of particle " << i << " frame " << k;
			};
			const float* vectors[] = {f->position, f->velocity, f->force, f->vorticity, f->normal, f->texture};
			for (int v = 0; v < 6; ++v)
				for (int a = 0; a < 3; ++a)
					near(vectors[v][3 * j + a], Value(1 + 3 * v + a, i, k) * (v >= 4 ? 0.01f : 1.0f), "vector channel");
			const float* scalars[] = {f->age, f->isolation, f->viscosity, f->density, f->pressure, f->mass, f->temperature};
			for (int s = 0; s < 7; ++s)
				near(scalars[s][j], Value(20 + s, i, k), "scalar channel");
			EXPECT_EQ(f->neighbors[j], 100 + 7 * i + k);
			EXPECT_EQ(f->info_bits[j], -3 - i);
			pressure_sum += Value(24, i, k);
		}
		// range 1 is the pressure's [minimum, maximum, average], range 3 the temperature's
		EXPECT_NEAR(h.range1[0], Value(24, 0, k), 1e-4);
		EXPECT_NEAR(h.range1[1], Value(24, RichCount(k) - 1, k), 1e-4);
		EXPECT_NEAR(h.range1[2], pressure_sum / RichCount(k), 1e-4);
		EXPECT_NEAR(h.range3[0], Value(26, 0, k), 1e-4);
	}
}

INSTANTIATE_TEST_SUITE_P(Versions, ParticleExportRoundTrip, ::testing::Values(9, 12));

// The importer numbers its host particles anew between evaluations: particles are matched by their id.
TEST_F(ParticleExport, ComputedVelocityIsTheMotionOverOneFrameAndAGoneParticleKeepsItsOwn)
{
	AddRichImporter();
	Request r;
	r.source = "TW_rich (tp)";
	r.start = r.end = 1;
	r.compute_velocity = true;
	Export(r);
	FramePtr f = ReadFrame(Out(1));
	ASSERT_TRUE(f);
	ASSERT_EQ(f->header.particle_count, 6);
	for (int j = 0; j < 6; ++j)
	{
		const int i = static_cast<int>((f->id[j] - 1000) / 3);
		// 0.125 m a frame at 25 fps; particle 5 is not in frame 2
		EXPECT_NEAR(f->velocity[3 * j], i < 5 ? 3.125f : Value(4, 5, 1), 1e-4) << "particle " << i;
	}
	EXPECT_EQ(doc->GetTime(), BaseTime(0, 25));
}

// --- a group made by hand: liveness, missing channels, the mass rule

TEST_F(ParticleExport, GroupWritesLivingParticlesOnlyWithOwnNumbersWhenThereIsNoIdChannel)
{
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	ASSERT_TRUE(m->AddDataChannel(DTYPE_REAL, String("pressure")));
	TP_PGroup* groups[2] = {m->AllocParticleGroup(), m->AllocParticleGroup()};
	groups[0]->SetName(String("hand"));
	groups[1]->SetName(String("empty"));
	for (TP_PGroup* g : groups)
		ASSERT_TRUE(m->InsertParticleGroup(nullptr, g, TP_INSERT_UNDERLAST));
	Int32 ids[5];
	ASSERT_EQ(m->AllocParticles(5, ids), 5);
	const Float pressure[5] = {4.0, -2.0, 100.0, 6.0, 1.0};
	for (int i = 0; i < 5; ++i)
	{
		m->SetGroup(ids[i], groups[0]);
		m->SetLife(ids[i], BaseTime(i == 2 ? 0.0 : 1000.0)); // particle 2 dies in the first pass and stays listed
		m->SetPosition(ids[i], Vector(100.0 * i, 0, 0));
		m->SetVelocity(ids[i], Vector(0, 3.0 * i, 4.0 * i));
		m->SetMass(ids[i], 0.5);
		m->SetData(ids[i], 0, &pressure[i], DTYPE_REAL_VALUE);
	}
	Request r;
	r.source = "hand (tp)";
	r.radius = 0.2;
	Export(r);
	FramePtr f = ReadFrame(Out(0));
	ASSERT_TRUE(f);
	ASSERT_EQ(f->header.particle_count, 4);
	const int living[4] = {0, 1, 3, 4};
	for (int j = 0; j < 4; ++j)
	{
		const int i = living[j];
		EXPECT_EQ(f->id[j], ids[i]);
		EXPECT_FLOAT_EQ(f->position[3 * j], static_cast<float>(i));
		EXPECT_FLOAT_EQ(f->velocity[3 * j + 2], 4.0f * i) << "the group's velocity is written unscaled";
		EXPECT_FLOAT_EQ(f->mass[j], 4.0f) << "0.5 at radius 0.2: eight times the volume";
		EXPECT_EQ(f->force[3 * j] + f->density[j] + f->temperature[j], 0.0f) << "channels the system lacks";
	}
	// over the living: pressures 4, -2, 6, 1; speeds 0, 5, 15, 20; no temperature channel
	const float expected[3][3] = {{-2.0f, 6.0f, 2.25f}, {0.0f, 20.0f, 10.0f}, {0, 0, 0}};
	const float* got[3] = {f->header.range1, f->header.speed_range, f->header.range3};
	for (int range = 0; range < 3; ++range)
		for (int a = 0; a < 3; ++a)
			EXPECT_FLOAT_EQ(got[range][a], expected[range][a]) << "range " << range << " element " << a;

	// a group without living particles: a valid file of none with zero ranges
	r.source = "empty (tp)";
	Export(r);
	FramePtr e = ReadFrame(Out(0));
	ASSERT_TRUE(e);
	EXPECT_EQ(e->header.particle_count, 0);
	EXPECT_EQ(e->header.range1[2] + e->header.speed_range[2] + e->header.range3[2], 0.0f);
}

// One writer over two groups: the first fills every value of the block the second one reuses.
TEST_F(ParticleExport, GroupWriterReadsEveryPieceAndZeroesChannelsTheNextGroupLacks)
{
	const Int32 n = 20000; // several of the pieces the writer reads at a time
	BaseDocument* rich = BaseDocument::Alloc();
	TP_MasterSystem* m = GetThinkingParticlesMaster(rich);
	ASSERT_TRUE(m);
	const std::pair<Int32, const char*> channels[] = {{DTYPE_VECTOR, "force"}, {DTYPE_LONG, "neighbors"},
		{DTYPE_REAL, "pressure"}, {DTYPE_REAL, "temperature"}, {DTYPE_LONG, "id"}};
	for (const auto& c : channels)
		ASSERT_TRUE(m->AddDataChannel(c.first, String(c.second)));
	TP_MasterSystem* bare = GetThinkingParticlesMaster(doc);
	TP_PGroup* groups[2] = {m->AllocParticleGroup(), bare->AllocParticleGroup()};
	ASSERT_TRUE(m->InsertParticleGroup(nullptr, groups[0], TP_INSERT_UNDERLAST));
	ASSERT_TRUE(bare->InsertParticleGroup(nullptr, groups[1], TP_INSERT_UNDERLAST));
	std::vector<Int32> ids(static_cast<size_t>(n));
	ASSERT_EQ(m->AllocParticles(n, ids.data()), n);
	for (Int32 i = 0; i < n; ++i)
	{
		const Int32 id = ids[static_cast<size_t>(i)];
		m->SetGroup(id, groups[0]);
		m->SetLife(id, BaseTime(1000.0));
		m->SetPosition(id, Vector(i, 0, 0));
		m->SetVelocity(id, Vector(0, 0, i % 7));
		const Vector force(i, -i, 1);
		const Int32 neighbors = i % 5, number = 5 * i;
		const Float pressure = i, temperature = -i;
		m->SetData(id, 0, &force, DTYPE_VECTOR_VALUE);
		m->SetData(id, 1, &neighbors, DTYPE_LONG_VALUE);
		m->SetData(id, 2, &pressure, DTYPE_REAL_VALUE);
		m->SetData(id, 3, &temperature, DTYPE_REAL_VALUE);
		m->SetData(id, 4, &number, DTYPE_LONG_VALUE);
	}
	ASSERT_EQ(bare->AllocParticles(n, ids.data()), n);
	for (Int32 i = 0; i < n; ++i)
	{
		bare->SetGroup(ids[static_cast<size_t>(i)], groups[1]);
		bare->SetLife(ids[static_cast<size_t>(i)], BaseTime(1000.0));
	}

	ParticleFrameWriter writer;
	const ExportItem item = NewExportItem(PEXP_KIND_GROUP, 0, String("g"), TW_PEXP_VERSION_12, 25);
	EXPECT_EQ(writer.WriteGroup(rich, groups[0], item, 0, Out(0).c_str()), nullptr);
	EXPECT_EQ(writer.WriteGroup(doc, groups[1], item, 1, Out(1).c_str()), nullptr);
	BaseDocument::Free(rich);

	FramePtr f = ReadFrame(Out(0));
	ASSERT_TRUE(f);
	ASSERT_EQ(f->header.particle_count, n);
	int wrong = 0;
	for (Int32 i = 0; i < n; ++i)
		wrong += f->position[3 * i] != static_cast<float>(i * 0.01) || f->force[3 * i + 1] != static_cast<float>(-i) ||
			f->neighbors[i] != i % 5 || f->pressure[i] != static_cast<float>(i) || f->id[i] != 5 * i;
	EXPECT_EQ(wrong, 0);
	const float expected[3][3] = {{0.0f, n - 1.0f, (n - 1) / 2.0f}, {0.0f, 6.0f, 0.0f}, {1.0f - n, 0.0f, (1 - n) / 2.0f}};
	const float* got[3] = {f->header.range1, f->header.speed_range, f->header.range3};
	for (int range = 0; range < 3; ++range)
		for (int a = 0; a < 2; ++a)
			EXPECT_FLOAT_EQ(got[range][a], expected[range][a]) << "range " << range << " element " << a;
	EXPECT_FLOAT_EQ(f->header.range1[2], expected[0][2]);
	EXPECT_FLOAT_EQ(f->header.range3[2], expected[2][2]);

	FramePtr e = ReadFrame(Out(1));
	ASSERT_TRUE(e);
	ASSERT_EQ(e->header.particle_count, n);
	wrong = 0;
	for (Int32 i = 0; i < n; ++i)
	{
		float sum = 0.0f;
		for (const float* v : {e->force, e->vorticity, e->normal, e->texture})
			sum += std::fabs(v[3 * i]) + std::fabs(v[3 * i + 1]) + std::fabs(v[3 * i + 2]);
		for (const float* v : {e->isolation, e->viscosity, e->density, e->pressure, e->temperature})
			sum += std::fabs(v[i]);
		wrong += sum != 0.0f || e->neighbors[i] != 0 || e->info_bits[i] != 0 || e->id[i] != ids[static_cast<size_t>(i)];
	}
	EXPECT_EQ(wrong, 0) << "values of the group before, or no own numbers";
}

// --- the emitter

TEST_F(ParticleExport, EmitterWritesItsLivingParticlesNumberedFromOneWithFixedValues)
{
	ParticleObject* emitter = AddEmitter();
	Request r;
	r.start = r.end = 7;
	r.radius = 0.2;
	Export(r);
	// at frame 7 the ten particles of frames 0..4 are listed; those of frames 3 and 4 live
	Evaluate(7);
	ASSERT_EQ(emitter->GetParticleCount(), 10);
	std::vector<const Particle*> living;
	for (Int32 k = 0; k < 10; ++k)
		if (const Particle* p = emitter->GetParticleR(emitter->GetTag(Tparticle), k); (p->bits & 3) == 3)
			living.push_back(p);
	ASSERT_EQ(living.size(), 4u);
	FramePtr f = ReadFrame(Out(7));
	ASSERT_TRUE(f);
	ASSERT_EQ(f->header.particle_count, 4);
	double max = 0, min = 1e30, sum = 0;
	for (int i = 0; i < 4; ++i)
	{
		const Particle* p = living[static_cast<size_t>(i)];
		EXPECT_EQ(f->id[i], i + 1);
		EXPECT_FLOAT_EQ(f->position[3 * i + 2], static_cast<float>(p->off.z * 0.01));
		EXPECT_FLOAT_EQ(f->velocity[3 * i + 2], static_cast<float>(p->v3.z * 0.01));
		EXPECT_FLOAT_EQ(f->age[i], static_cast<float>(p->t.Get()));
		const float fixed[] = {f->viscosity[i], f->density[i], f->pressure[i], f->mass[i], f->temperature[i], f->isolation[i]};
		const float want[] = {3.0f, 1000.0f, 1.0f, 8.0f, 1000.0f, 0.0f};
		for (int c = 0; c < 6; ++c)
			EXPECT_FLOAT_EQ(fixed[c], want[c]) << "fixed value " << c;
		const double s = p->v3.z * 0.01; // along Z only
		max = std::max(max, s);
		min = std::min(min, s);
		sum += s;
	}
	// Fault fixed: the speed range summed the dead particles too and divided by 0.01 where the
	// velocities are multiplied by it; now it covers the living, in m/s, largest first.
	ASSERT_LT(min, max);
	EXPECT_FLOAT_EQ(f->header.speed_range[0], static_cast<float>(max));
	EXPECT_FLOAT_EQ(f->header.speed_range[1], static_cast<float>(min));
	EXPECT_FLOAT_EQ(f->header.speed_range[2], static_cast<float>(sum / 4));
	EXPECT_EQ(f->header.range1[1], 0.0f);

	// no living particle left: an empty file with zero ranges, never a division by zero
	r.start = r.end = 20;
	Export(r);
	FramePtr none = ReadFrame(Out(20));
	ASSERT_TRUE(none);
	EXPECT_EQ(none->header.particle_count, 0);
	EXPECT_EQ(none->header.speed_range[2], 0.0f);
}

// --- the loop

TEST_F(ParticleExport, FramesFollowStartStepAndEndAndTheTimeComesBack)
{
	AddEmitter();
	const struct
	{
		Int32 start, end, step, padding;
		std::vector<Int32> frames;
	} cases[] = {{10, 20, 5, 5, {10, 15, 20}}, {10, 20, 4, 5, {10, 14, 18}}, {20, 10, 1, 5, {}}, {3, 3, 7, 2, {3}},
		{1234, 1234, 1, 3, {1234}}}; // a number longer than the padding is written whole
	for (const auto& c : cases)
	{
		doc->SetTime(BaseTime(2, 25));
		Request r;
		r.folder = (out / std::to_string(c.start) + "_" + std::to_string(c.step));
		ASSERT_EQ(mkdir(r.folder.c_str(), 0755), 0);
		r.start = c.start;
		r.end = c.end;
		r.step = c.step;
		r.padding = c.padding;
		Export(r);
		std::vector<Int32> written;
		for (Int32 k = 0; k <= 1234; ++k)
		{
			char file[32];
			std::snprintf(file, sizeof file, "/out%0*d.bin", static_cast<int>(c.padding), static_cast<int>(k));
			if (FileExists(r.folder + file))
				written.push_back(k);
		}
		EXPECT_EQ(written, c.frames) << c.start << ".." << c.end << " by " << c.step;
		EXPECT_EQ(status, "Ready");
		EXPECT_FALSE(stayed_open);
		EXPECT_EQ(doc->GetTime(), BaseTime(2, 25));
	}
}

TEST_F(ParticleExport, FrameThatCannotBeWrittenIsReportedAndTheOthersAreWritten)
{
	AddEmitter();
	ASSERT_EQ(mkdir(Out(11).c_str(), 0755), 0); // a folder where frame 11's file would go
	Request r;
	r.start = 10;
	r.end = 12;
	Export(r);
	EXPECT_EQ(FramesWritten(12), (std::vector<Int32>{10, 11, 12}));
	struct stat st;
	ASSERT_EQ(stat(Out(11).c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode)); // the user's folder is left alone
	EXPECT_EQ(status, "[ERROR] 1 of 3 frames not written: 11");
	ASSERT_FALSE(headless::ConsoleLines().empty());
	EXPECT_EQ(headless::ConsoleLines().back().find("[ERROR] Frame 11 not written to '" + Out(11) + "'"), 0u);
}

TEST_F(ParticleExport, RefusedSettingsExplainThemselvesInOrderAndKeepTheDialogOpen)
{
	AddEmitter();
	const struct
	{
		std::string folder, name;
		Int32 step;
		const char* message;
	} cases[] = {
		{"-", "", 0, "Please set the folder of the particle sequence!"},
		{"", "", 0, "Please set a name for the particle sequence!"},
		{"", "out", 0, "Inc frame must be greater than zero!"},
		{"", "out", -2, "Inc frame must be greater than zero!"},
		{"", std::string(300, 'n'), 1, "The folder or the name of the sequence is too long."},
	};
	for (const auto& c : cases)
	{
		headless::ClearMessageBoxes();
		Request r;
		r.folder = c.folder;
		r.name = c.name;
		r.step = c.step;
		r.end = 2;
		Export(r);
		ASSERT_EQ(headless::MessageBoxes().size(), 1u) << c.message;
		EXPECT_EQ(headless::MessageBoxes()[0].text.find(c.message), 0u) << headless::MessageBoxes()[0].text;
		EXPECT_TRUE(stayed_open) << c.message;
	}
	EXPECT_TRUE(FramesWritten(2).empty());
}

// --- the dialog

class ParticleExportDefaults : public ParticleExport, public ::testing::WithParamInterface<std::pair<Int32, Int32>>
{
};

TEST_P(ParticleExportDefaults, NewItemTakesTheDocumentRateOnlyAt24Or25AndTheDefaults)
{
	doc->SetFps(GetParam().first);
	doc->SetDocumentPath(Filename(out.path()));
	doc->SetMinTime(BaseTime(5, GetParam().first));
	doc->SetMaxTime(BaseTime(80, GetParam().first));
	AddEmitter("Spray");
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		const std::pair<Int32, Float> numbers[] = {{TW_PEXP_FPS, GetParam().second}, {TW_PEXP_START, 5}, {TW_PEXP_END, 80},
			{TW_PEXP_STEP, 1}, {TW_PEXP_PADDING, 5}, {TW_PEXP_FLUID_TYPE, 5}, {TW_PEXP_SCALE, 1}, {TW_PEXP_RADIUS, 0.1f},
			{TW_PEXP_EMITTER_POS_X, 0}, {TW_PEXP_EMITTER_ROT_Y, 0}, {TW_PEXP_EMITTER_SCALE_Z, 1}};
		for (const auto& n : numbers)
			EXPECT_DOUBLE_EQ(d.GetFloat(n.first), n.second) << n.first;
		EXPECT_EQ(d.GetText(TW_PEXP_FOLDER), out.path());
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), "Spray");
		EXPECT_EQ(d.GetText(TW_PEXP_LABEL), "Spray");
		EXPECT_EQ(d.GetSelection(TW_PEXP_VERSION), TW_PEXP_VERSION_12);
		EXPECT_FALSE(d.GetCheck(TW_PEXP_COMPUTE_VELOCITY));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_PADDING, 40));
		EXPECT_EQ(d.GetInt32(TW_PEXP_PADDING), 10);
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);
}

INSTANTIATE_TEST_SUITE_P(Rates, ParticleExportDefaults,
	::testing::Values(std::make_pair(24, 24), std::make_pair(25, 25), std::make_pair(30, 30), std::make_pair(60, 30)));

TEST_F(ParticleExport, SourcesAreEmittersDepthFirstThenGroupsAndWithoutAnyExportIsDisabled)
{
	bool enabled = false;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) { enabled = d.IsEnabled(TW_PEXP_EXPORT); });
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	EXPECT_FALSE(enabled);

	AddEmitter("Last");
	BaseObject* null = BaseObject::Alloc(Onull);
	doc->InsertObject(null, nullptr, nullptr); // first at the top, before "Last"
	AddEmitter("Nested", null);
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	TP_PGroup* g = m->AllocParticleGroup();
	g->SetName(String("Foam"));
	m->InsertParticleGroup(nullptr, g, TP_INSERT_UNDERLAST);
	std::vector<std::string> entries;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		enabled = d.IsEnabled(TW_PEXP_EXPORT);
		for (const headless::Gadget& gadget : d.Gadgets())
			if (gadget.id == TW_PEXP_SOURCE)
				for (const auto& child : gadget.children)
					entries.push_back(child.second);
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	EXPECT_TRUE(enabled);
	EXPECT_EQ(entries, (std::vector<std::string>{"Nested (emitter)", "Last (emitter)", "Foam (tp)"}));
}

TEST_F(ParticleExport, EachSourceKeepsItsValuesAcrossSelectionsReopeningAndSaving)
{
	AddEmitter("Spray");
	AddEmitter("Mist");
	// per source: name, label, compute velocity and the numbers fluid type, fps, scale, radius, emitter vectors
	struct Values
	{
		std::string name, label;
		bool compute;
		std::vector<std::pair<Int32, Float>> numbers;
	};
	const Values spray{"spray_seq", "left", true,
		{{TW_PEXP_FLUID_TYPE, 7}, {TW_PEXP_FPS, 48}, {TW_PEXP_SCALE, 2.5}, {TW_PEXP_RADIUS, 0.25}, {TW_PEXP_EMITTER_POS_Y, -4},
			{TW_PEXP_EMITTER_ROT_Z, 90}, {TW_PEXP_EMITTER_SCALE_X, 3}}};
	const Values mist{"mist_seq", "right", false,
		{{TW_PEXP_FLUID_TYPE, 2}, {TW_PEXP_FPS, 12}, {TW_PEXP_SCALE, 0.5}, {TW_PEXP_RADIUS, 0.5}, {TW_PEXP_EMITTER_POS_Y, 8},
			{TW_PEXP_EMITTER_ROT_Z, -45}, {TW_PEXP_EMITTER_SCALE_X, 0.25}}};
	auto enter = [](headless::DialogDriver& d, const Values& v) {
		EXPECT_TRUE(d.SetText(TW_PEXP_NAME, v.name) && d.SetText(TW_PEXP_LABEL, v.label));
		EXPECT_TRUE(d.SetCheck(TW_PEXP_COMPUTE_VELOCITY, v.compute));
		for (const auto& n : v.numbers)
			EXPECT_TRUE(d.SetFloat(n.first, n.second));
	};
	auto check = [](headless::DialogDriver& d, const Values& v) {
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), v.name);
		EXPECT_EQ(d.GetText(TW_PEXP_LABEL), v.label);
		EXPECT_EQ(d.GetCheck(TW_PEXP_COMPUTE_VELOCITY), v.compute);
		for (const auto& n : v.numbers)
			EXPECT_DOUBLE_EQ(d.GetFloat(n.first), n.second) << n.first;
	};
	const std::pair<Int32, Int32> shared[] = {{TW_PEXP_PADDING, 3}, {TW_PEXP_START, -4}, {TW_PEXP_END, 44}, {TW_PEXP_STEP, 2}};
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Spray (emitter)"));
		enter(d, spray);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Mist (emitter)"));
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), "Mist");
		enter(d, mist);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Spray (emitter)"));
		check(d, spray);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Mist (emitter)"));
		EXPECT_TRUE(d.SetFilename(TW_PEXP_FOLDER, "/tmp/elsewhere"));
		for (const auto& n : shared)
			EXPECT_TRUE(d.SetInt32(n.first, n.second));
		EXPECT_TRUE(d.Select(TW_PEXP_VERSION, TW_PEXP_VERSION_9));
		EXPECT_TRUE(d.CloseWindow());
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);

	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		EXPECT_EQ(d.GetSelectionText(TW_PEXP_SOURCE), "Mist (emitter)");
		check(d, mist);
		EXPECT_EQ(d.GetText(TW_PEXP_FOLDER), "/tmp/elsewhere");
		for (const auto& n : shared)
			EXPECT_EQ(d.GetInt32(n.first), n.second) << n.first;
		EXPECT_EQ(d.GetSelection(TW_PEXP_VERSION), TW_PEXP_VERSION_9);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Spray (emitter)"));
		check(d, spray);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Mist (emitter)"));
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	headless::SetActiveDocument(loaded);
	CallCommand(ID_TW_PARTICLE_EXPORTER); // the same script: the values travel with the document
	headless::SetModalDialogScript(nullptr);
	headless::SetActiveDocument(doc);
	BaseDocument::Free(loaded);
}

} // namespace
