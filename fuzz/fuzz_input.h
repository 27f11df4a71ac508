// fuzz_input.h - the fuzz input as a file the readers can open: one temporary file per target,
// rewritten for every input and removed at exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

inline std::string& FuzzInputPath()
{
	static std::string path;
	return path;
}

// The file holding data, or "" when it cannot be written.
inline std::string WriteFuzzInput(const char* target, const uint8_t* data, size_t size)
{
	std::string& path = FuzzInputPath();
	if (path.empty())
	{
		std::string tmpl = std::string("/tmp/") + target + "_XXXXXX";
		const int fd = mkstemp(&tmpl[0]);
		if (fd < 0)
			std::abort();
		close(fd);
		path = tmpl;
		std::atexit([] { std::remove(FuzzInputPath().c_str()); });
	}
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return std::string();
	const bool written = !size || std::fwrite(data, 1, size, f) == size;
	return std::fclose(f) == 0 && written ? path : std::string();
}
