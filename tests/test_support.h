// test_support.h - temporary folders, files and a copy of the built plug-in folder for host tests.
#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir
{
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir&) = delete;
	TempDir& operator=(const TempDir&) = delete;
	const std::string& path() const { return _path; }
	std::string operator/(const std::string& name) const { return _path + "/" + name; }

private:
	std::string _path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The built plug-in folder (module and res/), or a copy of it in dst that a test may alter.
std::string BuiltPluginFolder();
void CopyPluginFolder(const std::string& dst);
