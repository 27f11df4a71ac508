// check.cpp - twconnect check: every frame of a sequence read with the library's readers, and what is
// wrong with the sequence before it goes to a render.
#include "cli.h"

#include "check_frames.h"
#include "sequence_files.h"

#include <climits>
#include <cstdio>

#include <unistd.h>

namespace
{

struct CheckOptions
{
	std::string file;
	bool json = false;
	double jump = 2.0;
};

// The name a finding is printed under: the frame's file, or the SD file and its frame.
std::string FindingName(const SequenceFiles& files, int32_t frame)
{
	if (files.format == kFormatSd)
		return files.pattern + " frame " + std::to_string(frame);
	return files.Name(frame);
}

Json FindingJson(const SequenceFiles& files, const Finding& f)
{
	Json j = {
		{"frame", f.frame},
		{"file", files.format == kFormatSd ? files.pattern : files.Path(f.frame)},
		{"kind", f.kind},
		{"message", f.message},
	};
	if (f.kind == "header")
	{
		j["field"] = f.field;
		j["value"] = f.value;
		j["expected"] = f.expected;
	}
	else if (f.kind == "count-jump")
	{
		j["previous_frame"] = f.previous_frame;
		j["previous_count"] = f.previous_count;
		j["count"] = f.count;
	}
	return j;
}

int RunCheck(const CheckOptions& o)
{
	SequenceFiles files;
	std::string error;
	if (!FindSequence(o.file, files, error))
		return CliError("cannot check '%s': %s", o.file.c_str(), error.c_str());
	const int32_t first = files.format == kFormatSd ? INT32_MIN : files.frames.front();
	const int32_t last = files.format == kFormatSd ? INT32_MAX : files.frames.back();
	const bool bar = isatty(fileno(stderr)) != 0;
	const std::vector<FrameFacts> facts = ReadFrameFacts(files, first, last, 0,
		bar ? std::function<void(int64_t, int64_t)>(CliProgress) : std::function<void(int64_t, int64_t)>());
	const std::vector<Finding> findings = FindProblems(files, facts, o.jump);

	int64_t on_disk = 0, read = 0;
	for (const FrameFacts& f : facts)
	{
		on_disk += f.present;
		read += f.read;
	}
	const int32_t shown_first = facts.empty() ? 0 : facts.front().frame;
	const int32_t shown_last = facts.empty() ? -1 : facts.back().frame;
	const bool whole = findings.empty();
	if (o.json)
	{
		Json list = Json::array();
		for (const Finding& f : findings)
			list.push_back(FindingJson(files, f));
		PrintJson({
			{"file", o.file},
			{"pattern", files.pattern},
			{"format", FormatName(files.format)},
			{"first", shown_first},
			{"last", shown_last},
			{"frames", static_cast<int64_t>(facts.size())},
			{"on_disk", on_disk},
			{"read", read},
			{"jump", o.jump},
			{"findings", list},
			{"whole", whole},
		});
	}
	else
	{
		for (const Finding& f : findings)
			std::printf("%s: %s\n", FindingName(files, f.frame).c_str(), f.message.c_str());
		std::printf("%s: %s, frames %d .. %d: %lld on disk, %lld read; %s\n", files.pattern.c_str(),
			FormatName(files.format), shown_first, shown_last, static_cast<long long>(on_disk),
			static_cast<long long>(read),
			whole ? "whole" : (std::to_string(findings.size()) + (findings.size() == 1 ? " finding" : " findings")).c_str());
	}
	return whole ? 0 : kExitFailed;
}

} // namespace

CommandRun CheckCommand(CLI::App& app)
{
	auto o = std::make_shared<CheckOptions>();
	app.add_option("FILE", o->file, "any frame of the sequence (particle .bin, .pxy or .tpc, mesh .bin, chunked or .md) "
									"or an SD file")
		->required();
	app.add_flag("--json", o->json, "print the findings and the summary as one JSON object");
	app.add_option("--jump", o->jump,
		   "report a particle or vertex count that grows or falls by more than this factor from one frame to the next")
		->check(Decimal(1.0, 1e9));
	app.footer("Reads every frame on disk once, on all cores, with the readers the importers use, and reports frames\n"
			   "missing inside the range, frames that do not read (with the reason where the reader can tell),\n"
			   "header fields that differ from what most frames hold (fps, version, fluid name, channels),\n"
			   "a frame number that does not match the file name, and count jumps (growth from no particles at\n"
			   "all is not one). Exit status 0 when the sequence is whole, 1 otherwise.");
	return [o] { return RunCheck(*o); };
}
