// export_run.cpp - running an exporter's dialog in the headless host and reporting only what reached the disk.
#include "export_run.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <unistd.h>

std::vector<long long> ExportFrames::List() const
{
	std::vector<long long> frames;
	for (long long f = start; step > 0 && f <= end; f += step)
		frames.push_back(f);
	return frames;
}

std::string ExportFrames::PathOf(long long frame) const
{
	char number[32];
	std::snprintf(number, sizeof number, "%0*lld", static_cast<int>(padding), frame);
	return folder + "/" + name + number + ".bin";
}

std::string ExportFolder(const std::string& out)
{
	std::string folder = out;
	while (folder.size() > 1 && folder.back() == '/')
		folder.pop_back();
	return folder;
}

bool SetExactInt(headless::DialogDriver& d, Int32 id, long long value, const char* option, std::string* refused)
{
	if (d.SetInt32(id, static_cast<Int32>(value)) && d.GetInt32(id) == value)
		return true;
	*refused = std::string(option) + " " + std::to_string(value) + " (it shows " + d.GetText(id) + ")";
	return false;
}

bool SetExactText(headless::DialogDriver& d, Int32 id, const std::string& text, const char* option, std::string* refused)
{
	if (d.SetText(id, text) && d.GetText(id) == text)
		return true;
	*refused = std::string(option) + " '" + text + "'";
	return false;
}

bool SetExactCheck(headless::DialogDriver& d, Int32 id, bool on, const char* option, std::string* refused)
{
	if (d.GetCheck(id) == on || (d.SetCheck(id, on) && d.GetCheck(id) == on))
		return true;
	*refused = option;
	return false;
}

namespace
{

bool StartsWith(const std::string& text, const char* prefix)
{
	return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The frame of a "[ERROR] Frame 12 not written to ..." console line, or false for another line.
bool FailedFrame(const std::string& line, long long* frame)
{
	int end = 0;
	return std::sscanf(line.c_str(), "[ERROR] Frame %lld not written%n", frame, &end) == 1 && end > 0;
}


} // namespace

void ExportStatusWatch::Heard(const std::string& text)
{
	last = text;
	long long frame = 0;
	int end = 0;
	if (std::sscanf(text.c_str(), "Export frame %lld%n", &frame, &end) == 1 && end == static_cast<int>(text.size()))
	{
		announced.push_back(frame);
		if (progress)
			CliProgress(static_cast<long long>(announced.size()) - 1, total);
	}
	else if (progress && !announced.empty())
		CliProgress(static_cast<long long>(announced.size()), total);
}

int RunExport(const ExporterDialog& kind, const ExportFrames& frames, bool json, const DialogFill& fill,
	const FrameReadBack& read)
{
	const std::vector<long long> expected = frames.List();
	const size_t console_from = headless::ConsoleLines().size();
	const size_t boxes_from = headless::MessageBoxes().size();

	ExportStatusWatch watch;
	// A bar only where a person watches it: never into a file or a pipe, never beside JSON.
	watch.progress = !json && isatty(STDERR_FILENO);
	watch.total = static_cast<long long>(expected.size());
	headless::SetDialogTextObserver([&](Int32 dialog, Int32 gadget, const std::string& text) {
		if (dialog == kind.dialog && gadget == kind.status)
			watch.Heard(text);
	});
	bool opened = false, pressed = false;
	std::string refused;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		if (d.ResourceId() != kind.dialog)
			return;
		opened = true;
		if (fill(d, &refused))
			pressed = d.Press(kind.export_button);
		else if (refused.empty())
			refused = "the values";
	});
	CallCommand(kind.command);
	headless::SetModalDialogScript(nullptr);
	headless::SetDialogTextObserver(nullptr);

	if (!opened)
		return CliError("export %s: the module's exporter did not open its dialog", kind.noun);
	if (!refused.empty())
		return CliError("export %s: the exporter's dialog did not take %s", kind.noun, refused.c_str());
	if (!pressed)
		return CliError("export %s: the exporter's Export button could not be pressed", kind.noun);

	int status = 0;
	const auto& boxes = headless::MessageBoxes();
	for (size_t k = boxes_from; k < boxes.size(); ++k)
		status = CliError("export %s: the exporter says: %s", kind.noun, boxes[k].text.c_str());
	const bool boxed = boxes.size() > boxes_from;
	std::set<long long> failed;
	const auto& console = headless::ConsoleLines();
	for (size_t k = console_from; k < console.size(); ++k)
	{
		if (!StartsWith(console[k], "[ERROR]"))
			continue;
		long long frame = 0;
		if (FailedFrame(console[k], &frame))
			failed.insert(frame);
		status = CliError("%s", console[k].c_str());
	}
	if (StartsWith(watch.last, "[ERROR]"))
		status = CliError("export %s: %s", kind.noun, watch.last.c_str());
	else if (!boxed && watch.last != "Ready")
		status = CliError("export %s: the export did not finish (its status line shows '%s')", kind.noun,
			watch.last.c_str());

	// Only what the exporter began in this run, did not report and reads back counts as written: a file
	// left from an earlier run is not this run's.
	std::set<long long> begun;
	for (long long frame : watch.announced)
	{
		if (!begun.insert(frame).second || failed.count(frame))
			continue;
		const std::string path = frames.PathOf(frame);
		Json keys;
		std::string why;
		if (!read(path, frame, &keys, &why))
		{
			status = CliError("export %s: frame %lld: '%s' %s", kind.noun, frame, path.c_str(), why.c_str());
			continue;
		}
		if (json)
		{
			Json line = {{"frame", frame}, {"file", path}};
			line.update(keys);
			PrintJson(line);
		}
		else
			std::printf("%s\n", path.c_str());
	}
	if (!boxed)
		for (long long frame : expected)
			if (!begun.count(frame))
				status = CliError("export %s: frame %lld was not exported", kind.noun, frame);
	std::fflush(stdout);
	return status;
}
