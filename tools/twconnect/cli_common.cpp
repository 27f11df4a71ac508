// cli_common.cpp - error lines, progress bar, option checks and JSON output shared by the subcommands.
#include "cli.h"

#include "cache_types.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

namespace
{

// Whether the last thing on stderr is an unfinished progress bar.
bool g_progress_open = false;

void ErrorLine(const char* fmt, va_list args)
{
	char text[2048];
	std::vsnprintf(text, sizeof text, fmt, args);
	std::string line = text;
	// a reason from below may bring its own line end; the line gets exactly one
	while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
		line.pop_back();
	std::fprintf(stderr, "%stwconnect: %s\n", g_progress_open ? "\n" : "", line.c_str());
	g_progress_open = false;
}

} // namespace

int CliError(const char* fmt, ...)
{
	va_list args;
	va_start(args, fmt);
	ErrorLine(fmt, args);
	va_end(args);
	return kExitFailed;
}

int CliBadArgument(const char* fmt, ...)
{
	va_list args;
	va_start(args, fmt);
	ErrorLine(fmt, args);
	va_end(args);
	return kExitBadArgument;
}

void CliProgress(long long done, long long total)
{
	const int width = 40;
	const int filled = total > 0 ? static_cast<int>(width * done / total) : width;
	std::fprintf(stderr, "\r[%.*s%*s] %lld/%lld", filled, "########################################", width - filled, "",
		done, total);
	g_progress_open = done != total;
	if (!g_progress_open)
		std::fputc('\n', stderr);
	std::fflush(stderr);
}

bool MakeFolder(const std::string& dir)
{
	for (size_t k = 0; k <= dir.size(); ++k)
	{
		if (k == dir.size() || (dir[k] == '/' && k > 0))
		{
			const std::string partial = dir.substr(0, k);
			if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
				return false;
		}
	}
	struct stat st;
	if (stat(dir.c_str(), &st) != 0)
		return false;
	if (!S_ISDIR(st.st_mode))
	{
		errno = ENOTDIR;
		return false;
	}
	return true;
}

CLI::Validator Integer(long long low, long long high)
{
	const std::string range = "[" + std::to_string(low) + ", " + std::to_string(high) + "]";
	return CLI::Validator(
		[low, high, range](std::string& text) -> std::string {
			size_t digits = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
			if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos)
				return "'" + text + "' is not a whole number";
			errno = 0;
			const long long v = std::strtoll(text.c_str(), nullptr, 10);
			if (errno || v < low || v > high)
				return text + " is outside " + range;
			// the parser would read a leading 0 as octal
			text = std::to_string(v);
			return std::string();
		},
		range);
}

CLI::Validator Decimal(double low, double high)
{
	const std::string range = "[" + CLI::detail::to_string(low) + ", " + CLI::detail::to_string(high) + "]";
	return CLI::Validator(
		[low, high, range](std::string& text) -> std::string {
			char* end = nullptr;
			errno = 0;
			const double v = std::strtod(text.c_str(), &end);
			if (text.empty() || errno || *end != '\0' || !std::isfinite(v))
				return "'" + text + "' is not a number";
			if (!(v >= low && v <= high))
				return text + " is outside " + range;
			return std::string();
		},
		range);
}

CLI::Validator NonEmpty()
{
	return CLI::Validator([](std::string& text) { return text.empty() ? std::string("an empty value") : std::string(); },
		"TEXT");
}

CLI::Validator SequenceName()
{
	return CLI::Validator(
		[](std::string& name) {
			return !name.empty() && name.size() <= 200 && name.find('/') == std::string::npos
				? std::string()
				: std::string("a name of 1 to 200 characters without '/'");
		},
		"NAME");
}

namespace
{

struct MeshType
{
	const char* name;
	int code;
};

const MeshType kMeshTypes[] = {
	{"auto", -1},
	{"bin", CACHE_MESH_BIN},
	{"chunked", CACHE_MESH_CHUNK},
	{"md", CACHE_MESH_MD},
};

} // namespace

CLI::Validator MeshTypeName()
{
	return CLI::Validator(
		[](std::string& name) {
			for (const MeshType& t : kMeshTypes)
				if (name == t.name)
					return std::string();
			return "'" + name + "' is not auto, bin, chunked or md";
		},
		"auto|bin|chunked|md");
}

int MeshTypeCode(const std::string& name)
{
	for (const MeshType& t : kMeshTypes)
		if (name == t.name)
			return t.code;
	return -1;
}

std::string JsonText(const Json& value)
{
	return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void PrintJson(const Json& value)
{
	const std::string text = JsonText(value);
	std::fwrite(text.data(), 1, text.size(), stdout);
	std::fputc('\n', stdout);
}

double JsonFloat(float value)
{
	char text[32];
	const auto r = std::to_chars(text, text + sizeof text - 1, value);
	*r.ptr = '\0';
	return std::strtod(text, nullptr);
}

Json JsonNumber(double value)
{
	if (!std::isfinite(value))
		return nullptr;
	// ids and counts in full rather than rounded to a float's digits
	if (value == std::floor(value) && std::fabs(value) < 9007199254740992.0)
		return static_cast<long long>(value);
	return JsonFloat(static_cast<float>(value));
}

Json JsonVector(const float* v)
{
	return Json::array({JsonNumber(v[0]), JsonNumber(v[1]), JsonNumber(v[2])});
}
