// remote_file_test.cpp - console texts, relative cache paths and files fetched from a render server.
#include "console.h"
#include "headless.h"
#include "remote_file.h"
#include "remote_frame_sequence.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace
{

class RemoteFile : public ::testing::Test
{
protected:
	void SetUp() override { headless::Reset(); }
	void TearDown() override
	{
		BaseDocument::Free(doc);
		headless::Reset();
	}

	std::string Resolve(const char* path, BaseDocument* d)
	{
		char out[256];
		std::memset(out, 'x', sizeof out);
		ResolveRelativePath(path, d, out);
		return out;
	}

	std::string Fetch(const std::string& path, bool allowed = true)
	{
		char out[256];
		FetchFile(path.c_str(), out, allowed);
		return out;
	}

	BaseDocument* Document(const char* folder)
	{
		BaseDocument::Free(doc);
		doc = BaseDocument::Alloc();
		doc->SetDocumentPath(Filename(folder));
		return doc;
	}

	BaseDocument* doc = nullptr;
};

TEST_F(RemoteFile, ResolvesRelativeNamesAgainstTheDocumentFolder)
{
	struct Case
	{
		const char* folder; // nullptr: no document
		const char* path;
		const char* want;
	};
	const Case cases[] = {
		{"D:/proj", "frames/a_0001.bin", "D:/proj/frames/a_0001.bin"},
		{"D:/proj/", "frames/a_0001.bin", "D:/proj/frames/a_0001.bin"},
		{"D:\\proj\\", "a.bin", "D:\\proj\\a.bin"},
		{"D:/proj", "E:/x.bin", "E:/x.bin"},
		{"D:/proj", "/mnt/x.bin", "/mnt/x.bin"},
		{"D:/proj", "\\\\server\\x.bin", "\\\\server\\x.bin"},
		{"", "frames/a.bin", "frames/a.bin"},
		{nullptr, "frames/a.bin", "frames/a.bin"},
		{"D:/proj", "", ""},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.path);
		EXPECT_EQ(Resolve(c.path, c.folder ? Document(c.folder) : nullptr), c.want);
	}
}

TEST_F(RemoteFile, RenderJobFolderIsTheBaseInNetworkModes)
{
	headless::FolderNetRenderService service;
	service.job_folder = "/jobs/17";
	headless::SetNetRenderService(&service);
	Document("/home/artist/proj");
	for (Int32 mode : {8, 9, 10})
	{
		headless::SetVersionType(mode);
		EXPECT_EQ(Resolve("a.bin", doc), "/jobs/17/a.bin") << mode;
	}
	headless::SetVersionType(0);
	EXPECT_EQ(Resolve("a.bin", doc), "/home/artist/proj/a.bin");
	// A job that reports no folder falls back to the document.
	service.job_folder.clear();
	headless::SetVersionType(8);
	EXPECT_EQ(Resolve("a.bin", doc), "/home/artist/proj/a.bin");
}

TEST_F(RemoteFile, ResultsThatDoNotFitAreEmptyNotCut)
{
	std::string folder(200, 'd');
	std::string name(60, 'n');
	EXPECT_EQ(Resolve(name.c_str(), Document(folder.c_str())), "");
	std::string long_absolute = "/" + std::string(300, 'a');
	EXPECT_EQ(Resolve(long_absolute.c_str(), nullptr), "");
	EXPECT_EQ(Fetch(long_absolute), "");
}

TEST_F(RemoteFile, FetchOnAWorkstationNeverDownloads)
{
	TempDir dir;
	WriteFile(dir / "here.bin", "x");
	headless::FolderNetRenderService service;
	headless::SetNetRenderService(&service);
	EXPECT_EQ(Fetch(dir / "here.bin"), dir / "here.bin");
	EXPECT_EQ(Fetch(dir / "missing.bin"), dir / "missing.bin");
	EXPECT_EQ(service.calls, 0);
	EXPECT_TRUE(headless::ConsoleLines().empty());
}

TEST_F(RemoteFile, FetchOnARenderClient)
{
	TempDir server, local;
	WriteFile(server / "a_0001.bin", "frame one");
	headless::FolderNetRenderService service;
	service.server_folder = server.path();
	service.local_folder = local.path();
	headless::SetNetRenderService(&service);
	headless::SetVersionType(8);

	// An existing file never talks to the service.
	WriteFile(local / "present.bin", "x");
	EXPECT_EQ(Fetch(local / "present.bin"), local / "present.bin");
	EXPECT_EQ(service.calls, 0);

	// Downloads not allowed (while a sequence is scanned): the path as given, no request.
	EXPECT_EQ(Fetch("/sim/a_0001.bin", false), "/sim/a_0001.bin");
	EXPECT_EQ(service.calls, 0);

	// A missing file is fetched into the job's local folder under its own name.
	EXPECT_EQ(Fetch("/sim/a_0001.bin"), local / "a_0001.bin");
	EXPECT_EQ(ReadFile(local / "a_0001.bin"), "frame one");
	ASSERT_EQ(headless::ConsoleLines().size(), 1u);
	EXPECT_EQ(headless::ConsoleLines()[0], "Downloaded from server: /sim/a_0001.bin");

	// The next request for it finds the job's local copy without a transfer.
	std::remove((local / "a_0001.bin").c_str());
	WriteFile(local / "kept/a_0001.bin", "");
	service.local_assets = {local / "kept/a_0001.bin"};
	service.requested.clear();
	EXPECT_EQ(Fetch("/sim/a_0001.bin"), local / "kept/a_0001.bin");
	EXPECT_TRUE(service.requested.empty());

	// A refused transfer keeps the path and says so.
	headless::ClearConsole();
	service.refuse_requests = true;
	EXPECT_EQ(Fetch("/sim/a_0002.bin"), "/sim/a_0002.bin");
	ASSERT_EQ(headless::ConsoleLines().size(), 1u);
	EXPECT_EQ(headless::ConsoleLines()[0], "[ERROR] Failed to download file: /sim/a_0002.bin");
}

TEST(Console, LinesAndMessageBoxesAreFormattedAndCutToTheirBuffer)
{
	headless::Reset();
	PrintConsole("frame %d of %s", 7, "splash");
	ShowMessage("No file name given");
	ASSERT_EQ(headless::ConsoleLines().size(), 1u);
	EXPECT_EQ(headless::ConsoleLines()[0], "frame 7 of splash");
	ASSERT_EQ(headless::MessageBoxes().size(), 1u);
	EXPECT_EQ(headless::MessageBoxes()[0].text, "No file name given");
	EXPECT_EQ(headless::MessageBoxes()[0].flags, 48);

	// A long text is cut to 1023 bytes, and never in the middle of a character.
	PrintConsole("%s", std::string(2000, 'a').c_str());
	EXPECT_EQ(headless::ConsoleLines()[1].size(), 1023u);
	std::string accents;
	for (int i = 0; i < 600; ++i)
		accents += "\xC3\xA9";
	PrintConsole("%s", accents.c_str());
	const std::string& cut = headless::ConsoleLines()[2];
	EXPECT_EQ(cut.size(), 1022u);
	EXPECT_EQ(cut.substr(cut.size() - 2), "\xC3\xA9");
	headless::Reset();
}

// Fault: a host path that did not fit was handed on as an empty one, which callers took for "no
// file chosen" and cleared what they played.
TEST_F(RemoteFile, HostPathsThatDoNotFitAreReportedNotEmptied)
{
	setenv("TW_TEST_LONG_ROOT", ("/" + std::string(199, 'r')).c_str(), 1);
	struct Case
	{
		const char* folder; // of the document
		std::string name;
		bool fits;
		size_t length; // of the resolved path when it fits
	};
	const Case cases[] = {
		{"/p", "", true, 0},
		{"/p", "/" + std::string(254, 'a'), true, 255},
		{"/p", "/" + std::string(255, 'a'), false, 0},
		{"/p", "/" + std::string(600, 'a'), false, 0},
		{"/p", "$(TW_TEST_LONG_ROOT)/" + std::string(54, 'b'), true, 255},
		{"/p", "$(TW_TEST_LONG_ROOT)/" + std::string(55, 'b'), false, 0},
		{"/p", std::string(252, 'c'), true, 255}, // relative: "/p/" in front
		{"/p", std::string(253, 'c'), false, 0},
	};
	for (const Case& c : cases)
	{
		char out[256];
		std::memset(out, 'x', sizeof out);
		EXPECT_EQ(ResolveHostPath(Filename(c.name), Document(c.folder), out), c.fits) << c.name.size();
		EXPECT_EQ(std::strlen(out), c.length) << c.name.size();
		char plain[256];
		EXPECT_EQ(HostPathToBuffer(Filename(c.name), plain), c.name.size() < 256) << c.name.size();
	}
	unsetenv("TW_TEST_LONG_ROOT");
}

} // namespace
