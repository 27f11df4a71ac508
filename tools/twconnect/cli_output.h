// cli_output.h - what twconnect prints: error lines on stderr, progress, JSON on stdout.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Keys stay in the order a report sets them.
using Json = nlohmann::ordered_json;

constexpr int kExitFailed = 1;
constexpr int kExitBadArgument = 2;

// Prints "twconnect: <text>" as one line on stderr; returns kExitFailed.
int CliError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same line for an argument that parsed but does not make sense; returns kExitBadArgument.
int CliBadArgument(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A progress bar on stderr; an error line printed while it shows starts on a line of its own.
void CliProgress(long long done, long long total);

// One JSON value as one line of stdout; bytes that are not UTF-8 (names from files) become U+FFFD.
void PrintJson(const Json& value);
std::string JsonText(const Json& value);
// A float as the shortest decimal that reads back as the same float (0.05f prints as 0.05).
double JsonFloat(float value);
// A number from a file: whole numbers as integers, others as floats, infinities and NaN as null.
Json JsonNumber(double value);
Json JsonVector(const float* v);
