// export_frames_test.cpp - frame file names of an export, and what a failed frame leaves behind.
#include "export_frames.h"
#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string PathOf(const ExportFileNames& names, Int32 frame)
{
	char path[600];
	names.PathOf(frame, path);
	return path;
}

TEST(ExportFileNames, PadsTheFrameAndNeverCutsALongerNumber)
{
	ExportFileNames names;
	ASSERT_TRUE(names.Init(Filename("D:/out"), String("splash"), 5));
	EXPECT_EQ(PathOf(names, 12), "D:/out/splash00012.bin");
	ASSERT_TRUE(names.Init(Filename("/out"), String("wave"), 3));
	EXPECT_EQ(PathOf(names, 1234), "/out/wave1234.bin");
	EXPECT_EQ(PathOf(names, -5), "/out/wave-05.bin");
}

TEST(ExportFileNames, RefusesAFolderOrNameThatDoesNotFit)
{
	headless::ClearMessageBoxes();
	ExportFileNames names;
	const std::string longest(TW_EXPORT_NAME_MAX, 'n');
	ASSERT_TRUE(names.Init(Filename(longest), String(longest), TW_EXPORT_PADDING_MAX));
	EXPECT_EQ(PathOf(names, INT32_MIN), longest + "/" + longest + "-2147483648.bin");
	EXPECT_TRUE(headless::MessageBoxes().empty());

	EXPECT_FALSE(names.Init(Filename(longest + "n"), String("x"), 5));
	EXPECT_FALSE(names.Init(Filename("/out"), String(longest + "n"), 5));
	ASSERT_EQ(headless::MessageBoxes().size(), 2u);
	EXPECT_NE(headless::MessageBoxes()[0].text.find("too long"), std::string::npos);
	headless::ClearMessageBoxes();
}

TEST(ExportFailures, SayWhichFramesFailed)
{
	headless::ClearConsole();
	ExportFailures failures;
	EXPECT_EQ(failures.Status(3).Get(), "Ready");
	failures.Failed(12, "/out/x00012.bin", "No space left on device");
	ASSERT_EQ(headless::ConsoleLines().size(), 1u);
	EXPECT_EQ(headless::ConsoleLines()[0], "[ERROR] Frame 12 not written to '/out/x00012.bin': No space left on device");
	EXPECT_EQ(failures.Status(3).Get(), "[ERROR] 1 of 3 frames not written: 12");

	for (Int32 f = 13; f < 25; ++f)
		failures.Failed(f, "/out/missing.bin", "cannot be created");
	EXPECT_EQ(failures.Count(), 13);
	EXPECT_EQ(failures.Status(20).Get(),
		"[ERROR] 13 of 20 frames not written: 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, ...");
	headless::ClearConsole();
}

// A failed frame once removed whatever its path named, an empty folder of the user's included.
TEST(RemovePartialFile, RemovesOnlyARegularFile)
{
	TempDir dir;
	const std::string partial = dir / "x00012.bin";
	WriteFile(partial, "half a frame");
	RemovePartialFile(partial.c_str());
	EXPECT_FALSE(FileExists(partial));

	const std::string folder = dir / "x00013.bin";
	ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
	RemovePartialFile(folder.c_str());
	EXPECT_TRUE(FileExists(folder));
	rmdir(folder.c_str());
}

} // namespace
