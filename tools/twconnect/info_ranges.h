// info_ranges.h - the per-channel minimum and maximum that `twconnect info` reports for particle
// files, as text lines and as JSON.
#pragma once

#include "cli_output.h"

#include <string>
#include <vector>

// A value as info prints it: whole numbers in full, others to a float's digits.
std::string InfoNumber(double v);

// Minimum and maximum of one channel (components components per particle).
struct ChannelRange
{
	const char* name;
	int components;
	double min[3];
	double max[3];
};

// Takes v into component c of r; the first value sets both ends.
void WidenRange(ChannelRange& r, int c, double v, bool first);

// {name: {"min": .., "max": ..}} with scalars or three-component arrays.
Json RangesJson(const std::vector<ChannelRange>& ranges);
// The "channel  minimum .. maximum" table of the text report.
void PrintRanges(const std::vector<ChannelRange>& ranges);
