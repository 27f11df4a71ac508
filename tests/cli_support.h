// cli_support.h - running twconnect from a test and reading its --json output.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>
#include <sys/wait.h>

using Json = nlohmann::ordered_json;

struct CliRun
{
	int status;
	std::string out;
};

// Runs twconnect with the arguments (in the folder cwd when given); stdout is captured, stderr goes to
// a file the test may read.
inline CliRun Twconnect(const std::string& args, const std::string& err_file = "/dev/null", const std::string& cwd = "")
{
	std::string cmd = (cwd.empty() ? "" : "cd '" + cwd + "' && ") + TW_TWCONNECT + " " + args + " 2>" + err_file;
	FILE* p = popen(cmd.c_str(), "r");
	CliRun r{-1, ""};
	if (!p)
		return r;
	char buf[4096];
	size_t n;
	while ((n = fread(buf, 1, sizeof buf, p)) > 0)
		r.out.append(buf, n);
	int st = pclose(p);
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	return r;
}

// Each line of --json output as one JSON value; a line that does not parse fails the test.
inline std::vector<Json> JsonLines(const std::string& out)
{
	std::vector<Json> values;
	size_t at = 0;
	while (at < out.size())
	{
		size_t end = out.find('\n', at);
		if (end == std::string::npos)
			end = out.size();
		const std::string line = out.substr(at, end - at);
		at = end + 1;
		if (line.empty())
			continue;
		Json v = Json::parse(line, nullptr, false);
		EXPECT_FALSE(v.is_discarded()) << "not JSON: " << line;
		values.push_back(v);
	}
	return values;
}
