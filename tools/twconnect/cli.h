// cli.h - the subcommands of twconnect; main.cpp holds the table that dispatches to them.
#pragma once

#include <string>
#include <vector>

// Each subcommand gets its arguments after the subcommand name and returns the exit status.
int CmdInfo(const std::vector<std::string>& args);
int CmdSample(const std::vector<std::string>& args);
int CmdPlugins(const std::vector<std::string>& args);
int CmdPlay(const std::vector<std::string>& args);
int CmdImportSd(const std::vector<std::string>& args);

// Shared helpers of the subcommands (main.cpp).
// Prints "twconnect: <text>" on stderr; returns the exit status for a failure (1).
int CliError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Whole-string number parsing within [low, high]; false for anything else.
bool ParseInt(const std::string& text, long long low, long long high, long long* out);
bool ParseFloat(const std::string& text, double low, double high, double* out);
// Minimal JSON string escaping for --json output.
std::string JsonString(const std::string& s);
