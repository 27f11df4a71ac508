// test_support.cpp - temporary folders and files for the tests.
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir()
{
	std::string tmpl = (fs::temp_directory_path() / "twtest-XXXXXX").string();
	if (!mkdtemp(tmpl.data()))
		throw std::runtime_error("cannot make a temporary folder");
	_path = tmpl;
}

TempDir::~TempDir()
{
	std::error_code ec;
	fs::remove_all(_path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

bool FileExists(const std::string& path)
{
	return fs::exists(path);
}

std::string BuiltPluginFolder()
{
	return TW_DEFAULT_PLUGIN_DIR;
}

void CopyPluginFolder(const std::string& dst)
{
	fs::copy(BuiltPluginFolder(), dst, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}
