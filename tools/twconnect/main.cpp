// main.cpp - twconnect: inspect cache files, play them through the module in the headless host, export.
#include "cli.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#define TW_CLI_VERSION "v6.0.2.0004"

struct Command
{
	const char* name;
	const char* args;
	const char* summary;
	int (*run)(const std::vector<std::string>& args);
};

static const Command kCommands[] = {
	{"info", "[--json] FILE...", "describe cache files: header, counts, ranges", CmdInfo},
	{"sample", "particles DIR [OPTIONS]", "write a procedural sample sequence", CmdSample},
	{"plugins", "[--json]", "load the module in the headless host and list what it registers", CmdPlugins},
	{"play", "FILE [OPTIONS]", "play a sequence through its importer in the headless host", CmdPlay},
	{"import-sd", "--scene FILE [OPTIONS]", "import an SD scene through its dialog and play it", CmdImportSd},
};

static void Usage(FILE* out)
{
	std::fprintf(out,
		"usage: twconnect [--help] [--version] COMMAND [ARGS...]\n"
		"\n"
		"Inspect Tidewell cache files and run them through the module in the headless host.\n"
		"\n"
		"commands:\n");
	for (const Command& c : kCommands)
		std::fprintf(out, "  %-8s %-34s %s\n", c.name, c.args, c.summary);
	std::fprintf(out,
		"\n"
		"Run 'twconnect COMMAND --help' for a command's options. Exit status is 0 on success,\n"
		"1 when the work failed and 2 after a bad argument.\n");
}

int CliError(const char* fmt, ...)
{
	std::fputs("twconnect: ", stderr);
	va_list args;
	va_start(args, fmt);
	std::vfprintf(stderr, fmt, args);
	va_end(args);
	std::fputc('\n', stderr);
	return 1;
}

bool ParseInt(const std::string& text, long long low, long long high, long long* out)
{
	if (text.empty())
		return false;
	char* end = nullptr;
	errno = 0;
	long long v = std::strtoll(text.c_str(), &end, 10);
	if (errno || *end != '\0' || v < low || v > high)
		return false;
	*out = v;
	return true;
}

bool ParseFloat(const std::string& text, double low, double high, double* out)
{
	if (text.empty())
		return false;
	char* end = nullptr;
	errno = 0;
	double v = std::strtod(text.c_str(), &end);
	if (errno || *end != '\0' || !(v >= low && v <= high))
		return false;
	*out = v;
	return true;
}

std::string JsonString(const std::string& s)
{
	std::string out = "\"";
	for (unsigned char c : s)
	{
		switch (c)
		{
			case '"': out += "\\\""; break;
			case '\\': out += "\\\\"; break;
			case '\n': out += "\\n"; break;
			case '\r': out += "\\r"; break;
			case '\t': out += "\\t"; break;
			default:
				if (c < 0x20)
				{
					char buf[8];
					std::snprintf(buf, sizeof buf, "\\u%04x", c);
					out += buf;
				}
				else
					out += static_cast<char>(c);
		}
	}
	return out + "\"";
}

int main(int argc, char** argv)
{
	if (argc < 2)
	{
		Usage(stderr);
		return 2;
	}
	std::string first = argv[1];
	if (first == "--help" || first == "-h" || first == "help")
	{
		Usage(stdout);
		return 0;
	}
	if (first == "--version")
	{
		std::printf("twconnect %s\n", TW_CLI_VERSION);
		return 0;
	}
	for (const Command& c : kCommands)
		if (first == c.name)
			return c.run(std::vector<std::string>(argv + 2, argv + argc));
	CliError("unknown command '%s'", first.c_str());
	Usage(stderr);
	return 2;
}
