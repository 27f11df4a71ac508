// check_frames.cpp - reading every frame of a sequence for `twconnect check`, and what is wrong with it.
#include "check_frames.h"

#include "cache_types.h"
#include "info_sd.h"
#include "mesh_bin.h"
#include "mesh_md.h"
#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_tpc.h"
#include "sd_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace
{

std::string Text(int64_t v)
{
	return std::to_string(v);
}

std::string FloatText(float v)
{
	char text[32];
	std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
	return text;
}

// What a worker keeps from one frame to the next: the arrays of the last frame it read, handed to its
// next read so that a sequence of large frames does not fault in fresh memory for every one of them,
// and a buffer to read through.
struct Spare
{
	TpcParticleFrame* tpc = nullptr;
	MeshHandle* mesh = nullptr;
	std::vector<char> buffer;

	~Spare()
	{
		FreeTpc(tpc);
		MeshHandleFree(mesh);
	}
};

// Reads the rest of an open file through once, decoding nothing; an empty string when every byte up
// to its end read, else why not.
std::string ReadThrough(FILE* f, std::vector<char>& buffer)
{
	buffer.resize(static_cast<size_t>(1) << 20);
	while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size())
		;
	return std::ferror(f) ? std::string("read error: ") + std::strerror(errno) : std::string();
}

// The reason of a failed read; the errno of a file that would not open.
std::string OpenFailure()
{
	return errno == ENOENT ? "no such file" : errno ? std::strerror(errno) : "cannot open the file";
}

void ReadParticleBinFacts(const char* path, FrameFacts& facts, Spare& spare)
{
	errno = 0;
	BinParticleFrame* f = OpenParticleBin(path, 0);
	if (!f)
	{
		facts.failure = OpenFailure();
		return;
	}
	// Records hold nothing a reader could refuse but their count, which the reader checks against the
	// file's size: a share of none runs every check the importer's read runs, and the records are then
	// read through without being decoded, so that a block the disk cannot give back still shows.
	facts.read = ReadParticleBin(f, 0.0f) != 0;
	if (facts.read)
	{
		facts.failure = ReadThrough(f->file, spare.buffer);
		facts.read = facts.failure.empty();
	}
	const BinParticleHeader& h = f->header;
	if (facts.read)
	{
		facts.count = h.particle_count;
		facts.fields = {{"fps", Text(h.fps)}, {"version", Text(h.version)},
			{"fluid name", std::string(h.fluid_name, strnlen(h.fluid_name, sizeof h.fluid_name))}};
		facts.has_header_frame = true;
		facts.header_frame = h.frame;
	}
	else if (f->failure == CACHE_FAIL_COUNT)
		facts.failure = std::string(f->failure) + " (" + Text(h.particle_count) + " particles)";
	else if (facts.failure.empty())
		facts.failure = f->failure ? f->failure : CACHE_FAIL_DAMAGED;
	FreeParticleBin(f);
}

void ReadTpcFacts(const char* path, FrameFacts& facts, Spare& spare)
{
	errno = 0;
	TpcParticleFrame* f = OpenTpc(path);
	if (!f)
	{
		facts.failure = OpenFailure();
		return;
	}
	TpcReuse(f, spare.tpc);
	FreeTpc(spare.tpc);
	spare.tpc = nullptr;
	facts.read = ReadTpc(f, 100.0f) != 0;
	CloseTpcFile(f);
	if (facts.read)
	{
		facts.count = f->particle_count;
		facts.fields = {{"version", Text(f->version)}};
		std::string channels;
		for (int32_t c = 0; c < f->channel_count; ++c)
			channels += std::string(c ? " " : "") + f->channels[c].name;
		facts.fields.push_back({"channels", channels});
	}
	else
		facts.failure = f->failure ? f->failure : CACHE_FAIL_DAMAGED;
	spare.tpc = f;
}

void ReadPxyFacts(const char* path, FrameFacts& facts, Spare& spare)
{
	errno = 0;
	PxyParticleFrame* f = OpenPxy(path);
	if (!f)
	{
		facts.failure = OpenFailure();
		return;
	}
	// as for particle .bin files: the reader's checks, then the records read through
	facts.read = ReadPxy(f, 0.0f) != 0;
	if (facts.read)
	{
		facts.failure = ReadThrough(f->file, spare.buffer);
		facts.read = facts.failure.empty();
	}
	if (facts.read)
	{
		// a version that carries no particles has no records, whatever its count says
		facts.count = PxyRecordBytes(f->version) ? f->particle_count : 0;
		facts.fields = {{"version", FloatText(f->version)}};
	}
	else if (facts.failure.empty())
		facts.failure = f->failure ? f->failure : CACHE_FAIL_DAMAGED;
	FreePxy(f);
}

void ReadMeshFacts(const char* path, int32_t format, FrameFacts& facts, Spare& spare)
{
	errno = 0;
	MeshHandle* h = MeshHandleOpen(path, format);
	if (!h)
	{
		facts.failure = OpenFailure();
		return;
	}
	MeshHandleReuse(h, spare.mesh);
	spare.mesh = nullptr;
	facts.read = MeshHandleRead(h, 100.0f) != 0;
	MeshHandleCloseFile(h);
	const char* failure = nullptr;
	if (const MeshBinFile* m = MeshHandleBinFile(h))
	{
		failure = m->failure;
		if (facts.read && format == CACHE_MESH_BIN)
			facts.fields = {{"version", Text(m->version)}};
	}
	else if (const MdMeshFile* md = MeshHandleMdFile(h))
	{
		failure = md->failure;
		if (facts.read)
			facts.fields = {{"version", Text(md->version)}, {"name", md->name ? md->name : ""}};
	}
	if (facts.read)
		facts.count = MeshHandleVertexCount(h);
	else
		facts.failure = failure ? failure : CACHE_FAIL_DAMAGED;
	spare.mesh = h;
}

void ReadFacts(int32_t format, const std::string& path, FrameFacts& facts, Spare& spare)
{
	switch (format)
	{
	case CACHE_PARTICLE_BIN: ReadParticleBinFacts(path.c_str(), facts, spare); break;
	case CACHE_PARTICLE_TPC: ReadTpcFacts(path.c_str(), facts, spare); break;
	case CACHE_PARTICLE_PXY: ReadPxyFacts(path.c_str(), facts, spare); break;
	default: ReadMeshFacts(path.c_str(), format, facts, spare); break;
	}
}

// The frames of an SD scene: all in one file, each read from it as a player would.
std::vector<FrameFacts> ReadSdFacts(const std::string& path, int32_t first, int32_t last,
	const std::function<void(int64_t, int64_t)>& progress)
{
	std::vector<FrameFacts> facts;
	SdSceneReader* r = SdSceneOpen(path.c_str());
	if (!r)
	{
		FrameFacts whole;
		whole.present = true;
		std::string out;
		InfoSd(path.c_str(), false, out, whole.failure);
		if (whole.failure.empty())
			whole.failure = CACHE_FAIL_DAMAGED;
		facts.push_back(whole);
		return facts;
	}
	SdCloseStream(r->file);
	const int64_t file_first = r->file->first_frame, file_last = r->file->last_frame;
	const int64_t from = std::max<int64_t>(first, file_first), to = std::min<int64_t>(last, file_last);
	const int64_t total = to >= from ? to - from + 1 : 0;
	for (int64_t frame = from; frame <= to; ++frame)
	{
		FrameFacts f;
		f.frame = static_cast<int32_t>(frame);
		const int64_t i = frame - file_first;
		// a frame whose record the file does not reach is missing from it, not damaged
		const int64_t at = SdSceneFrameOffset(r, i);
		f.present = at >= 0 && at + r->frame_bytes <= r->file->file_size;
		if (f.present)
		{
			f.read = SdSceneReadFrame(r, f.frame) != 0 && r->valid;
			if (f.read)
			{
				f.has_header_frame = true;
				f.header_frame = r->file->frame_number;
			}
			else
				f.failure = CACHE_FAIL_DAMAGED;
		}
		facts.push_back(f);
		if (progress)
			progress(frame - from + 1, total);
	}
	SdSceneFree(r);
	return facts;
}

template <typename T>
std::string ValueOrNothing(const T& v)
{
	return v.empty() ? "(none)" : v;
}

} // namespace

const char* CountNoun(int32_t format)
{
	return IsMeshSequence(format) ? "vertices" : "particles";
}

std::vector<FrameFacts> ReadFrameFacts(const SequenceFiles& files, int32_t first, int32_t last, int threads,
	const std::function<void(int64_t, int64_t)>& progress)
{
	if (files.format == kFormatSd)
		return ReadSdFacts(files.pattern, first, last, progress);
	std::vector<FrameFacts> facts;
	std::vector<size_t> work; // indices into facts of the frames on disk
	size_t on_disk = 0;
	for (int64_t frame = first; frame <= last; ++frame)
	{
		FrameFacts f;
		f.frame = static_cast<int32_t>(frame);
		while (on_disk < files.frames.size() && files.frames[on_disk] < frame)
			++on_disk;
		f.present = on_disk < files.frames.size() && files.frames[on_disk] == frame;
		if (f.present)
			work.push_back(facts.size());
		facts.push_back(f);
	}
	if (threads <= 0)
		threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
	threads = static_cast<int>(std::min<size_t>(static_cast<size_t>(threads), std::max<size_t>(work.size(), 1)));

	// One frame per task: each worker, the calling thread among them, takes the next frame not yet taken.
	std::atomic<size_t> next{0};
	std::mutex lock;
	int64_t done = 0;
	auto worker = [&] {
		Spare spare;
		for (size_t k; (k = next.fetch_add(1)) < work.size();)
		{
			FrameFacts& f = facts[work[k]];
			ReadFacts(files.format, files.Path(f.frame), f, spare);
			std::lock_guard<std::mutex> hold(lock);
			++done;
			if (progress)
				progress(done, static_cast<int64_t>(work.size()));
		}
	};
	std::vector<std::thread> pool;
	for (int t = 1; t < threads; ++t)
		pool.emplace_back(worker);
	worker();
	for (std::thread& t : pool)
		t.join();
	return facts;
}

std::vector<Finding> FindProblems(const SequenceFiles& files, const std::vector<FrameFacts>& facts, double jump)
{
	std::vector<Finding> findings;
	// The value of each header field that most frames hold; the earliest frame's wins a tie.
	std::map<std::string, std::string> expected;
	{
		std::map<std::string, std::map<std::string, std::pair<int, size_t>>> seen; // field -> value -> count, first
		std::vector<std::string> order;
		for (size_t k = 0; k < facts.size(); ++k)
			for (const auto& [field, value] : facts[k].fields)
			{
				auto& values = seen[field];
				if (values.empty())
					order.push_back(field);
				auto [it, added] = values.emplace(value, std::make_pair(0, k));
				++it->second.first;
			}
		for (const std::string& field : order)
		{
			const std::string* best = nullptr;
			std::pair<int, size_t> best_seen = {0, 0};
			for (const auto& [value, count_first] : seen[field])
				if (!best || count_first.first > best_seen.first ||
					(count_first.first == best_seen.first && count_first.second < best_seen.second))
				{
					best = &value;
					best_seen = count_first;
				}
			expected[field] = *best;
		}
	}

	const FrameFacts* previous = nullptr;
	for (const FrameFacts& f : facts)
	{
		Finding base;
		base.frame = f.frame;
		if (!f.present)
		{
			base.kind = "missing";
			base.message = "missing";
			findings.push_back(base);
			continue;
		}
		if (!f.read)
		{
			base.kind = "unreadable";
			base.message = "cannot be read: " + f.failure;
			findings.push_back(base);
			continue;
		}
		for (const auto& [field, value] : f.fields)
		{
			const std::string& want = expected[field];
			if (value == want)
				continue;
			Finding d = base;
			d.kind = "header";
			d.field = field;
			d.value = value;
			d.expected = want;
			d.message = field + " is " + ValueOrNothing(value) + " where the sequence has " + ValueOrNothing(want);
			findings.push_back(d);
		}
		if (f.has_header_frame && files.numbered && f.header_frame != f.frame)
		{
			Finding d = base;
			d.kind = "frame-number";
			d.message = "holds frame " + Text(f.header_frame) + " under the name of frame " + Text(f.frame);
			findings.push_back(d);
		}
		if (previous && files.format != kFormatSd)
		{
			const int64_t a = previous->count, b = f.count;
			const bool grew = b > a && a > 0 && static_cast<double>(b) > jump * static_cast<double>(a);
			const bool fell = b < a && static_cast<double>(a) > jump * static_cast<double>(b);
			if (grew || fell)
			{
				Finding d = base;
				d.kind = "count-jump";
				d.previous_frame = previous->frame;
				d.previous_count = a;
				d.count = b;
				char factor[64];
				if (b > 0 && a > 0)
					std::snprintf(factor, sizeof factor, " (x%.3g)", static_cast<double>(b) / static_cast<double>(a));
				else
					factor[0] = '\0';
				d.message = std::string(CountNoun(files.format)) + " jump from " + Text(a) + " in frame " +
					Text(previous->frame) + " to " + Text(b) + factor;
				findings.push_back(d);
			}
		}
		previous = &f;
	}
	return findings;
}
