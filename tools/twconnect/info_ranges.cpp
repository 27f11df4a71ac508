// info_ranges.cpp - the per-channel minimum and maximum that `twconnect info` reports.
#include "info_ranges.h"

#include <cmath>
#include <cstdio>

std::string InfoNumber(double v)
{
	if (!std::isfinite(v))
		return std::isnan(v) ? "nan" : (v < 0 ? "-inf" : "inf");
	char text[64];
	// whole numbers (ids, counts) in full rather than rounded to a float's digits
	if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0)
		std::snprintf(text, sizeof(text), "%.0f", v);
	else
		std::snprintf(text, sizeof(text), "%.7g", v);
	return text;
}

void WidenRange(ChannelRange& r, int c, double v, bool first)
{
	if (first || v < r.min[c])
		r.min[c] = v;
	if (first || v > r.max[c])
		r.max[c] = v;
}

Json RangesJson(const std::vector<ChannelRange>& ranges)
{
	Json channels = Json::object();
	for (const ChannelRange& r : ranges)
	{
		if (r.components == 1)
			channels[r.name] = {{"min", JsonNumber(r.min[0])}, {"max", JsonNumber(r.max[0])}};
		else
			channels[r.name] = {
				{"min", {JsonNumber(r.min[0]), JsonNumber(r.min[1]), JsonNumber(r.min[2])}},
				{"max", {JsonNumber(r.max[0]), JsonNumber(r.max[1]), JsonNumber(r.max[2])}},
			};
	}
	return channels;
}

void PrintRanges(const std::vector<ChannelRange>& ranges)
{
	std::printf("  channel          minimum .. maximum\n");
	for (const ChannelRange& r : ranges)
	{
		if (r.components == 1)
			std::printf("    %-14s %s .. %s\n", r.name, InfoNumber(r.min[0]).c_str(), InfoNumber(r.max[0]).c_str());
		else
			std::printf("    %-14s %s %s %s .. %s %s %s\n", r.name, InfoNumber(r.min[0]).c_str(),
				InfoNumber(r.min[1]).c_str(), InfoNumber(r.min[2]).c_str(), InfoNumber(r.max[0]).c_str(),
				InfoNumber(r.max[1]).c_str(), InfoNumber(r.max[2]).c_str());
	}
}
