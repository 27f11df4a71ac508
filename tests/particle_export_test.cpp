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

// What a user enters before pressing Export; an empty source keeps the one shown.
struct Request
{
	std::string source;
	std::string folder, name;
	Int32 start = 0, end = 0, step = 1, padding = 5;
	Int32 version = 12;
	Float radius = 0.1;
	bool compute_velocity = false;
};

// Rich frames: every value differs per particle, per channel and per frame.
float Value(int channel, int i, int frame)
{
	return static_cast<float>(channel) * 10.0f + static_cast<float>(i) * 0.5f + static_cast<float>(frame) * 0.125f;
}

void WriteRichFrame(const std::string& path, int frame, int count)
{
	FramePtr f(OpenParticleBin(path.c_str(), 1), &FreeParticleBin);
	ASSERT_TRUE(f && AllocateChannels(f.get(), count));
	f->header.magic = PARTICLE_BIN_MAGIC;
	SetParticleBinName(f.get(), "rich");
	f->header.version = 12;
	f->header.frame = frame;
	f->header.fps = 25;
	f->header.particle_count = count;
	for (int i = 0; i < count; ++i)
	{
		for (int a = 0; a < 3; ++a)
		{
			f->position[3 * i + a] = Value(1 + a, i, frame);
			f->velocity[3 * i + a] = Value(4 + a, i, frame);
			f->force[3 * i + a] = -Value(7 + a, i, frame);
			f->vorticity[3 * i + a] = Value(10 + a, i, frame);
			f->normal[3 * i + a] = Value(13 + a, i, frame) * 0.01f;
			f->texture[3 * i + a] = Value(16 + a, i, frame) * 0.01f;
		}
		f->neighbors[i] = 100 + 7 * i + frame;
		f->info_bits[i] = static_cast<int16_t>(-3 - i);
		f->age[i] = Value(20, i, frame);
		f->isolation[i] = Value(21, i, frame);
		f->viscosity[i] = Value(22, i, frame);
		f->density[i] = Value(23, i, frame);
		f->pressure[i] = Value(24, i, frame);
		f->mass[i] = Value(25, i, frame);
		f->temperature[i] = Value(26, i, frame);
		f->id[i] = 1000 + 3 * i;
	}
	ASSERT_TRUE(WriteParticleBin(f.get()));
}

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

	// An emitter of two particles a frame over frames 0..4, each living 5 frames, at 100 cm/s along Z.
	ParticleObject* AddEmitter(BaseObject* parent = nullptr, const char* name = "Emitter")
	{
		auto* op = static_cast<ParticleObject*>(BaseObject::Alloc(Oparticle));
		op->SetName(String(name));
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFloat(PARTICLEOBJECT_BIRTHEDITOR, 2.0);
		bc->SetFloat(PARTICLEOBJECT_SPEED, 100.0);
		bc->SetFloat(PARTICLEOBJECT_SPEEDVAR, 0.5);
		bc->SetTime(PARTICLEOBJECT_START, BaseTime(0, 25));
		bc->SetTime(PARTICLEOBJECT_STOP, BaseTime(4, 25));
		bc->SetTime(PARTICLEOBJECT_LIFETIME, BaseTime(5, 25));
		doc->InsertObject(op, parent, nullptr);
		return op;
	}

	// A Particle Importer playing rich_00000.bin .. rich_<last>.bin.
	BaseObject* AddRichImporter(int last, int count)
	{
		for (int k = 0; k <= last; ++k)
		{
			char file[64];
			std::snprintf(file, sizeof file, "rich_%05d.bin", k);
			WriteRichFrame(in / file, k, count);
		}
		BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
		doc->InsertObject(op, nullptr, nullptr);
		headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(in / "rich_00000.bin")));
		headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
		Evaluate(0);
		return op;
	}

	void Evaluate(Int32 frame)
	{
		doc->SetTime(BaseTime(frame, doc->GetFps()));
		doc->ExecutePasses(nullptr, true, true, true, 0);
	}

	// Opens the dialog, enters the request and presses Export; keeps the status line and whether the
	// dialog stayed open.
	void Export(const Request& r)
	{
		headless::SetModalDialogScript([this, r](headless::DialogDriver& d) {
			if (!r.source.empty())
			{
				EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, r.source)) << r.source;
			}
			EXPECT_TRUE(d.SetFilename(TW_PEXP_FOLDER, r.folder));
			EXPECT_TRUE(d.SetText(TW_PEXP_NAME, r.name));
			EXPECT_TRUE(d.SetInt32(TW_PEXP_PADDING, r.padding));
			EXPECT_TRUE(d.SetInt32(TW_PEXP_START, r.start));
			EXPECT_TRUE(d.SetInt32(TW_PEXP_END, r.end));
			EXPECT_TRUE(d.SetInt32(TW_PEXP_STEP, r.step));
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
	Request Basic(const std::string& source, Int32 start, Int32 end) const
	{
		Request r;
		r.source = source;
		r.folder = out.path();
		r.name = "out";
		r.start = start;
		r.end = end;
		return r;
	}
	std::vector<Int32> FramesWritten(Int32 first, Int32 last) const
	{
		std::vector<Int32> frames;
		for (Int32 k = first; k <= last; ++k)
			if (FileExists(Out(k)))
				frames.push_back(k);
		return frames;
	}
	std::string LastBox() const
	{
		return headless::MessageBoxes().empty() ? std::string() : headless::MessageBoxes().back().text;
	}

	TempDir in, out;
	std::string status;
	bool stayed_open = false;
};

// --- round trip through the importer

class ParticleExportRoundTrip : public ParticleExport, public ::testing::WithParamInterface<int>
{
};

TEST_P(ParticleExportRoundTrip, ImportedGroupComesBackWithEveryChannelOfEveryParticle)
{
	const int version = GetParam(), count = 6;
	AddRichImporter(2, count);
	Request r = Basic("TW_rich (tp)", 0, 2);
	r.version = version;
	r.name = "back";
	Export(r);
	EXPECT_EQ(status, "Ready");
	for (int k = 0; k <= 2; ++k)
	{
		FramePtr f = ReadFrame(Out(k, "back"));
		ASSERT_TRUE(f) << k;
		const BinParticleHeader& h = f->header;
		EXPECT_STREQ(h.fluid_name, "back");
		EXPECT_EQ(h.version, version);
		EXPECT_EQ(h.frame, k);
		EXPECT_EQ(h.fps, 25);
		EXPECT_FLOAT_EQ(h.simulation_time_seconds, k / 25.0f);
		EXPECT_FLOAT_EQ(h.radius, 0.1f);
		ASSERT_EQ(h.particle_count, count);
		std::map<int64_t, int> row; // file particle of each id
		for (int i = 0; i < count; ++i)
			row[f->id[i]] = i;
		float pmin = 1e30f, pmax = -1e30f, psum = 0.0f;
		for (int i = 0; i < count; ++i)
		{
			ASSERT_TRUE(row.count(1000 + 3 * i)) << "id of particle " << i;
			const int j = row[1000 + 3 * i];
			auto near = [&](float got, float want, const char* what) {
				EXPECT_NEAR(got, want, 1e-5 * std::fabs(want) + 1e-6) << what << " of particle " << i << " frame " << k;
			};
			for (int a = 0; a < 3; ++a)
			{
				near(f->position[3 * j + a], Value(1 + a, i, k), "position");
				near(f->velocity[3 * j + a], Value(4 + a, i, k), "velocity");
				near(f->force[3 * j + a], -Value(7 + a, i, k), "force");
				near(f->vorticity[3 * j + a], Value(10 + a, i, k), "vorticity");
				near(f->normal[3 * j + a], Value(13 + a, i, k) * 0.01f, "normal");
				near(f->texture[3 * j + a], Value(16 + a, i, k) * 0.01f, "texture");
			}
			EXPECT_EQ(f->neighbors[j], 100 + 7 * i + k);
			EXPECT_EQ(f->info_bits[j], -3 - i);
			near(f->age[j], Value(20, i, k), "age");
			near(f->isolation[j], Value(21, i, k), "isolation");
			near(f->viscosity[j], Value(22, i, k), "viscosity");
			near(f->density[j], Value(23, i, k), "density");
			near(f->pressure[j], Value(24, i, k), "pressure");
			near(f->mass[j], Value(25, i, k), "mass");
			near(f->temperature[j], Value(26, i, k), "temperature");
			pmin = std::min(pmin, Value(24, i, k));
			pmax = std::max(pmax, Value(24, i, k));
			psum += Value(24, i, k);
		}
		// range 1 is the pressure's [minimum, maximum, average]
		EXPECT_NEAR(h.range1[0], pmin, 1e-4);
		EXPECT_NEAR(h.range1[1], pmax, 1e-4);
		EXPECT_NEAR(h.range1[2], psum / count, 1e-4);
		EXPECT_LT(h.range3[0], h.range3[1]);
		EXPECT_GT(h.speed_range[0], 0.0f);
	}
}

INSTANTIATE_TEST_SUITE_P(Versions, ParticleExportRoundTrip, ::testing::Values(9, 12));

TEST_F(ParticleExport, ComputedVelocityIsTheMotionOverOneFrameAndAGoneParticleKeepsItsOwn)
{
	// frame 0: ids 1 and 2 at x = 0 m; frame 1: only id 1, 0.1 m further (2.5 m/s at 25 fps)
	for (int k = 0; k <= 1; ++k)
	{
		char file[64];
		std::snprintf(file, sizeof file, "move_%05d.bin", k);
		FramePtr f(OpenParticleBin((in / file).c_str(), 1), &FreeParticleBin);
		const int n = k == 0 ? 2 : 1;
		ASSERT_TRUE(f && AllocateChannels(f.get(), n));
		f->header.magic = PARTICLE_BIN_MAGIC;
		f->header.version = 12;
		f->header.particle_count = n;
		for (int i = 0; i < n; ++i)
		{
			f->id[i] = i + 1;
			f->position[3 * i] = 0.1f * static_cast<float>(k);
			f->velocity[3 * i + 1] = 7.0f;
		}
		ASSERT_TRUE(WriteParticleBin(f.get()));
	}
	BaseObject* op = BaseObject::Alloc(TW_Particle_Importer);
	doc->InsertObject(op, nullptr, nullptr);
	headless::UserSetParameter(op, TW_PI_FILE, GeData(Filename(in / "move_00000.bin")));
	headless::UserSetParameter(op, TW_PI_USE_IDS, GeData(true));
	Evaluate(0);
	Request r = Basic("TW_move (tp)", 0, 0);
	r.compute_velocity = true;
	Export(r);
	FramePtr f = ReadFrame(Out(0));
	ASSERT_TRUE(f);
	ASSERT_EQ(f->header.particle_count, 2);
	for (int i = 0; i < 2; ++i)
	{
		const float* v = f->velocity + 3 * i;
		if (f->id[i] == 1)
			EXPECT_NEAR(v[0], 2.5f, 1e-4) << "moved particle";
		else
			EXPECT_FLOAT_EQ(v[1], 7.0f) << "particle gone one frame later";
	}
	EXPECT_EQ(doc->GetTime(), BaseTime(0, 25));
}

// --- groups made by hand: liveness, missing channels, the mass rule

TEST_F(ParticleExport, GroupWritesLivingParticlesOnlyWithOwnNumbersWhenThereIsNoIdChannel)
{
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	ASSERT_NE(m, nullptr);
	ASSERT_TRUE(m->AddDataChannel(DTYPE_REAL, String("pressure")));
	ASSERT_TRUE(m->AddDataChannel(DTYPE_REAL, String("temperature")));
	TP_PGroup* g = m->AllocParticleGroup();
	g->SetName(String("hand"));
	ASSERT_TRUE(m->InsertParticleGroup(nullptr, g, TP_INSERT_UNDERLAST));
	TP_PGroup* empty = m->AllocParticleGroup();
	empty->SetName(String("empty"));
	ASSERT_TRUE(m->InsertParticleGroup(nullptr, empty, TP_INSERT_UNDERLAST));
	Int32 ids[5];
	ASSERT_EQ(m->AllocParticles(5, ids), 5);
	const Float pressure[5] = {4.0, -2.0, 100.0, 6.0, 1.0};
	for (int i = 0; i < 5; ++i)
	{
		m->SetGroup(ids[i], g);
		m->SetLife(ids[i], BaseTime(i == 2 ? 0.0 : 1000.0)); // particle 2 dies in the first pass and stays listed
		m->SetPosition(ids[i], Vector(100.0 * i, 0, 0));
		m->SetVelocity(ids[i], Vector(0, 3.0 * i, 4.0 * i));
		m->SetMass(ids[i], 0.5);
		m->SetData(ids[i], 0, &pressure[i], DTYPE_REAL_VALUE);
	}
	Request r = Basic("hand (tp)", 0, 0);
	r.radius = 0.2;
	Export(r);
	FramePtr f = ReadFrame(Out(0));
	ASSERT_TRUE(f);
	const BinParticleHeader& h = f->header;
	ASSERT_EQ(h.particle_count, 4);
	const int living[4] = {0, 1, 3, 4};
	for (int j = 0; j < 4; ++j)
	{
		const int i = living[j];
		EXPECT_EQ(f->id[j], ids[i]);
		EXPECT_FLOAT_EQ(f->position[3 * j], static_cast<float>(i));
		EXPECT_FLOAT_EQ(f->velocity[3 * j + 2], 4.0f * i) << "the group's velocity is written unscaled";
		EXPECT_FLOAT_EQ(f->mass[j], 4.0f) << "0.5 at radius 0.2: eight times the volume";
		EXPECT_EQ(f->force[3 * j], 0.0f);
		EXPECT_EQ(f->density[j], 0.0f);
	}
	// ranges over the living: pressure 4, -2, 6, 1; speeds 0, 5, 15, 20; no temperature values
	const float range1[3] = {-2.0f, 6.0f, 2.25f}, speed[3] = {0.0f, 20.0f, 10.0f}, range3[3] = {0, 0, 0};
	for (int a = 0; a < 3; ++a)
	{
		EXPECT_FLOAT_EQ(h.range1[a], range1[a]) << a;
		EXPECT_FLOAT_EQ(h.speed_range[a], speed[a]) << a;
		EXPECT_FLOAT_EQ(h.range3[a], range3[a]) << a;
	}

	// a group without living particles: a valid file of none, zero ranges
	Request r2 = Basic("empty (tp)", 1, 1);
	Export(r2);
	FramePtr e = ReadFrame(Out(1));
	ASSERT_TRUE(e);
	EXPECT_EQ(e->header.particle_count, 0);
	for (int a = 0; a < 3; ++a)
		EXPECT_EQ(e->header.range1[a] + e->header.speed_range[a] + e->header.range3[a], 0.0f);
}

// --- the emitter

TEST_F(ParticleExport, EmitterWritesItsLivingParticlesNumberedFromOneWithFixedValues)
{
	ParticleObject* emitter = AddEmitter();
	Request r = Basic("Emitter (emitter)", 7, 7);
	r.radius = 0.2;
	Export(r);
	// at frame 7 the ten particles of frames 0..4 are listed; those of frames 3 and 4 live
	Evaluate(7);
	ASSERT_EQ(emitter->GetParticleCount(), 10);
	std::vector<const Particle*> living;
	for (Int32 k = 0; k < 10; ++k)
	{
		const Particle* p = emitter->GetParticleR(emitter->GetTag(Tparticle), k);
		if ((p->bits & 3) == 3)
			living.push_back(p);
	}
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
		const double s = std::sqrt(p->v3.x * p->v3.x + p->v3.y * p->v3.y + p->v3.z * p->v3.z) * 0.01;
		max = std::max(max, s);
		min = std::min(min, s);
		sum += s;
	}
	// Fault fixed: the speed range summed the dead particles too and divided by 0.01 where the
	// velocities are multiplied by it; now it covers the living, in m/s, largest first.
	EXPECT_FLOAT_EQ(f->header.speed_range[0], static_cast<float>(max));
	EXPECT_FLOAT_EQ(f->header.speed_range[1], static_cast<float>(min));
	EXPECT_FLOAT_EQ(f->header.speed_range[2], static_cast<float>(sum / 4));
	EXPECT_LT(min, max) << "speeds vary, so the order is visible";
	EXPECT_EQ(f->header.range1[1], 0.0f);

	// No living particle left: an empty file with zero ranges, never a division by zero.
	Export(Basic("Emitter (emitter)", 20, 20));
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
		Int32 start, end, step;
		std::vector<Int32> frames;
	} cases[] = {{10, 20, 5, {10, 15, 20}}, {10, 20, 4, {10, 14, 18}}, {20, 10, 1, {}}, {3, 3, 7, {3}}};
	for (const auto& c : cases)
	{
		TempDir fresh;
		doc->SetTime(BaseTime(2, 25));
		Request r = Basic("", c.start, c.end);
		r.folder = fresh.path();
		r.step = c.step;
		Export(r);
		std::vector<Int32> written;
		for (Int32 k = 0; k <= 30; ++k)
		{
			char file[32];
			std::snprintf(file, sizeof file, "out%05d.bin", static_cast<int>(k));
			if (FileExists(fresh / file))
				written.push_back(k);
		}
		EXPECT_EQ(written, c.frames) << c.start << ".." << c.end << " by " << c.step;
		EXPECT_EQ(status, "Ready");
		EXPECT_FALSE(stayed_open);
		EXPECT_EQ(doc->GetTime(), BaseTime(2, 25));
	}
}

TEST_F(ParticleExport, FrameNumberLongerThanThePaddingIsWrittenWhole)
{
	AddEmitter();
	Request r = Basic("", 1234, 1234);
	r.padding = 3;
	Export(r);
	EXPECT_TRUE(FileExists(out / "out1234.bin"));
	FramePtr f = ReadFrame(out / "out1234.bin");
	ASSERT_TRUE(f);
	EXPECT_EQ(f->header.frame, 1234);
}

TEST_F(ParticleExport, FrameThatCannotBeWrittenIsReportedAndTheOthersAreWritten)
{
	AddEmitter();
	ASSERT_EQ(mkdir(Out(11).c_str(), 0755), 0); // a folder where frame 11's file would go
	Export(Basic("", 10, 12));
	EXPECT_EQ(FramesWritten(10, 12), (std::vector<Int32>{10, 12}));
	EXPECT_EQ(status, "[ERROR] 1 of 3 frames not written: 11");
	bool reported = false;
	for (const std::string& line : headless::ConsoleLines())
		reported |= line.find("[ERROR] Frame 11 not written to '" + Out(11) + "'") == 0;
	EXPECT_TRUE(reported);
}

TEST_F(ParticleExport, RefusedSettingsExplainThemselvesInOrderAndKeepTheDialogOpen)
{
	AddEmitter();
	const std::string long_name(300, 'n');
	const struct
	{
		std::string folder, name;
		Int32 step;
		const char* message;
	} cases[] = {
		{"", "", 0, "Please set the folder of the particle sequence!"},
		{out.path(), "", 0, "Please set a name for the particle sequence!"},
		{out.path(), "out", 0, "Inc frame must be greater than zero!"},
		{out.path(), "out", -2, "Inc frame must be greater than zero!"},
		{out.path(), long_name, 1, "The folder or the name of the sequence is too long."},
	};
	for (const auto& c : cases)
	{
		headless::ClearMessageBoxes();
		Request r = Basic("", 0, 2);
		r.folder = c.folder;
		r.name = c.name;
		r.step = c.step;
		Export(r);
		EXPECT_EQ(LastBox().find(c.message), 0u) << LastBox();
		EXPECT_TRUE(stayed_open) << c.message;
	}
	EXPECT_TRUE(FramesWritten(0, 2).empty());
}

// --- the dialog

class ParticleExportFps : public ParticleExport, public ::testing::WithParamInterface<std::pair<Int32, Int32>>
{
};

TEST_P(ParticleExportFps, NewItemsTakeTheDocumentRateOnlyAt24Or25)
{
	doc->SetFps(GetParam().first);
	AddEmitter();
	Int32 shown = 0;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) { shown = d.GetInt32(TW_PEXP_FPS); });
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	EXPECT_EQ(shown, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Rates, ParticleExportFps,
	::testing::Values(std::make_pair(24, 24), std::make_pair(25, 25), std::make_pair(30, 30), std::make_pair(60, 30)));

TEST_F(ParticleExport, DialogListsEmittersDepthFirstThenGroupsWithDefaults)
{
	AddEmitter(nullptr, "Last");
	BaseObject* null = BaseObject::Alloc(Onull);
	doc->InsertObject(null, nullptr, nullptr); // first at the top, before "Last"
	AddEmitter(null, "Nested");
	TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
	TP_PGroup* g = m->AllocParticleGroup();
	g->SetName(String("Foam"));
	m->InsertParticleGroup(nullptr, g, TP_INSERT_UNDERLAST);
	doc->SetDocumentPath(Filename(out.path()));
	doc->SetMinTime(BaseTime(5, 25));
	doc->SetMaxTime(BaseTime(80, 25));
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		std::vector<std::string> entries;
		for (const headless::Gadget& gadget : d.Gadgets())
			if (gadget.id == TW_PEXP_SOURCE)
				for (const auto& child : gadget.children)
					entries.push_back(child.second);
		EXPECT_EQ(entries, (std::vector<std::string>{"Nested (emitter)", "Last (emitter)", "Foam (tp)"}));
		EXPECT_EQ(d.GetText(TW_PEXP_FOLDER), out.path());
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), "Nested");
		EXPECT_EQ(d.GetText(TW_PEXP_LABEL), "Nested");
		EXPECT_EQ(d.GetInt32(TW_PEXP_START), 5);
		EXPECT_EQ(d.GetInt32(TW_PEXP_END), 80);
		EXPECT_EQ(d.GetInt32(TW_PEXP_STEP), 1);
		EXPECT_EQ(d.GetInt32(TW_PEXP_PADDING), 5);
		EXPECT_EQ(d.GetSelection(TW_PEXP_VERSION), TW_PEXP_VERSION_12);
		EXPECT_EQ(d.GetInt32(TW_PEXP_FLUID_TYPE), 5);
		EXPECT_DOUBLE_EQ(d.GetFloat(TW_PEXP_SCALE), 1.0);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_RADIUS), 0.1, 1e-7);
		EXPECT_DOUBLE_EQ(d.GetFloat(TW_PEXP_EMITTER_SCALE_Y), 1.0);
		EXPECT_DOUBLE_EQ(d.GetFloat(TW_PEXP_EMITTER_POS_X), 0.0);
		EXPECT_FALSE(d.GetCheck(TW_PEXP_COMPUTE_VELOCITY));
		EXPECT_TRUE(d.IsEnabled(TW_PEXP_EXPORT));
		// the user's bounds: padding 0..10
		EXPECT_TRUE(d.SetInt32(TW_PEXP_PADDING, 40));
		EXPECT_EQ(d.GetInt32(TW_PEXP_PADDING), 10);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Foam (tp)"));
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), "Foam");
		EXPECT_TRUE(d.Press(TW_PEXP_CANCEL));
		EXPECT_FALSE(d.IsOpen());
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);

	// without any source there is nothing to export
	BaseDocument* bare = BaseDocument::Alloc();
	headless::SetActiveDocument(bare);
	bool enabled = true;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) { enabled = d.IsEnabled(TW_PEXP_EXPORT); });
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	EXPECT_FALSE(enabled);
	headless::SetActiveDocument(doc);
	BaseDocument::Free(bare);
}

TEST_F(ParticleExport, EachSourceKeepsItsValuesAcrossSelectionsReopeningAndSaving)
{
	AddEmitter(nullptr, "Spray");
	AddEmitter(nullptr, "Mist");
	struct Values
	{
		std::string name, label;
		Int32 fluid_type, fps;
		Float scale, radius, pos_y, rot_z, scale_x;
		bool compute;
	};
	const Values spray{"spray_seq", "left", 7, 48, 2.5, 0.3, -4.0, 90.0, 3.0, true};
	const Values mist{"mist_seq", "right", 2, 12, 0.5, 0.05, 8.0, -45.0, 0.25, false};
	auto enter = [](headless::DialogDriver& d, const Values& v) {
		EXPECT_TRUE(d.SetText(TW_PEXP_NAME, v.name));
		EXPECT_TRUE(d.SetText(TW_PEXP_LABEL, v.label));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_FLUID_TYPE, v.fluid_type));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_FPS, v.fps));
		EXPECT_TRUE(d.SetFloat(TW_PEXP_SCALE, v.scale));
		EXPECT_TRUE(d.SetFloat(TW_PEXP_RADIUS, v.radius));
		EXPECT_TRUE(d.SetFloat(TW_PEXP_EMITTER_POS_Y, v.pos_y));
		EXPECT_TRUE(d.SetFloat(TW_PEXP_EMITTER_ROT_Z, v.rot_z));
		EXPECT_TRUE(d.SetFloat(TW_PEXP_EMITTER_SCALE_X, v.scale_x));
		EXPECT_TRUE(d.SetCheck(TW_PEXP_COMPUTE_VELOCITY, v.compute));
	};
	auto check = [](headless::DialogDriver& d, const Values& v) {
		EXPECT_EQ(d.GetText(TW_PEXP_NAME), v.name);
		EXPECT_EQ(d.GetText(TW_PEXP_LABEL), v.label);
		EXPECT_EQ(d.GetInt32(TW_PEXP_FLUID_TYPE), v.fluid_type);
		EXPECT_EQ(d.GetInt32(TW_PEXP_FPS), v.fps);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_SCALE), v.scale, 1e-6);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_RADIUS), v.radius, 1e-6);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_EMITTER_POS_Y), v.pos_y, 1e-6);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_EMITTER_ROT_Z), v.rot_z, 1e-6);
		EXPECT_NEAR(d.GetFloat(TW_PEXP_EMITTER_SCALE_X), v.scale_x, 1e-6);
		EXPECT_EQ(d.GetCheck(TW_PEXP_COMPUTE_VELOCITY), v.compute);
	};
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
		EXPECT_TRUE(d.SetInt32(TW_PEXP_PADDING, 3));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_START, -4));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_END, 44));
		EXPECT_TRUE(d.SetInt32(TW_PEXP_STEP, 2));
		EXPECT_TRUE(d.Select(TW_PEXP_VERSION, TW_PEXP_VERSION_9));
		EXPECT_TRUE(d.CloseWindow());
	});
	CallCommand(ID_TW_PARTICLE_EXPORTER);

	auto reopened = [&](headless::DialogDriver& d) {
		EXPECT_EQ(d.GetSelectionText(TW_PEXP_SOURCE), "Mist (emitter)");
		check(d, mist);
		EXPECT_EQ(d.GetText(TW_PEXP_FOLDER), "/tmp/elsewhere");
		EXPECT_EQ(d.GetInt32(TW_PEXP_PADDING), 3);
		EXPECT_EQ(d.GetInt32(TW_PEXP_START), -4);
		EXPECT_EQ(d.GetInt32(TW_PEXP_END), 44);
		EXPECT_EQ(d.GetInt32(TW_PEXP_STEP), 2);
		EXPECT_EQ(d.GetSelection(TW_PEXP_VERSION), TW_PEXP_VERSION_9);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Spray (emitter)"));
		check(d, spray);
		EXPECT_TRUE(d.SelectText(TW_PEXP_SOURCE, "Mist (emitter)"));
	};
	headless::SetModalDialogScript(reopened);
	CallCommand(ID_TW_PARTICLE_EXPORTER);

	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	headless::SetActiveDocument(loaded);
	CallCommand(ID_TW_PARTICLE_EXPORTER);
	headless::SetModalDialogScript(nullptr);
	headless::SetActiveDocument(doc);
	BaseDocument::Free(loaded);
}

} // namespace
