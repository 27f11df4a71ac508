// view_path.cpp - picture file names: one printf-style frame number checked before it is ever formatted.
#include "view_path.h"

#include <cstdio>
#include <cstring>

namespace
{

// Reads up to two digits at path[k]; false for a third one.
bool SmallNumber(const std::string& path, size_t* k)
{
	size_t digits = 0;
	while (*k < path.size() && path[*k] >= '0' && path[*k] <= '9')
	{
		++*k;
		if (++digits > 2)
			return false;
	}
	return true;
}

} // namespace

bool PicturePath::Parse(const std::string& path, std::string* error)
{
	_path = path;
	_format.clear();
	_literal.clear();
	_conversion = false;
	for (size_t k = 0; k < path.size(); ++k)
	{
		if (path[k] != '%')
		{
			_format += path[k];
			_literal += path[k];
			continue;
		}
		if (k + 1 < path.size() && path[k + 1] == '%')
		{
			_format += "%%";
			_literal += '%';
			++k;
			continue;
		}
		// the format only ever sees a conversion it was checked to take one long long
		const size_t start = k++;
		while (k < path.size() && std::strchr("-+ 0", path[k]))
			++k;
		bool ok = SmallNumber(path, &k);
		if (ok && k < path.size() && path[k] == '.')
		{
			++k;
			ok = SmallNumber(path, &k);
		}
		ok = ok && k < path.size() && (path[k] == 'd' || path[k] == 'i');
		if (!ok || _conversion)
		{
			*error = ok ? "'" + path + "' holds more than one frame number conversion"
						: "'" + path + "' holds a '%' that is not a frame number conversion such as %04d (write %% for a percent sign)";
			return false;
		}
		_format += path.substr(start, k - start) + "lld";
		_conversion = true;
	}
	return true;
}

std::string PicturePath::For(long long frame, bool numbered) const
{
	if (_conversion)
	{
		char text[4096];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
		const int n = std::snprintf(text, sizeof text, _format.c_str(), frame);
#pragma GCC diagnostic pop
		if (n >= 0 && static_cast<size_t>(n) < sizeof text)
			return text;
		// a path too long for any file system: the write then says so
		return _path;
	}
	if (!numbered)
		return _literal;
	char number[32];
	std::snprintf(number, sizeof number, "_%04lld", frame);
	const size_t slash = _literal.rfind('/');
	const size_t dot = _literal.rfind('.');
	// a dot that starts the file name (".png") is no extension
	const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
	if (dot == std::string::npos || dot <= name_start)
		return _literal + number;
	return _literal.substr(0, dot) + number + _literal.substr(dot);
}
