// frame_sequence_test.cpp - patterns, range scans, environment references and the 255-character limit.
#include "frame_sequence.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

TEST(FrameSequence, DerivesPatternsFromNames)
{
	struct Case
	{
		const char* name;
		const char* pattern;
		int token;
	} cases[] = {
		{"splash_00010.bin", "splash_$F5.bin", 7},
		{"fluid12.bin", "fluid$F2.bin", 5},
		{"run_0000123.bin", "run_00$F5.bin", 6}, // seven digits: two stay literal
		{"mesh.md", "mesh$F0.md", 4},
		{"cache", "$F0cache", 0},
		{".bin", "$F0.bin", 0},
		{"D:/sim/a_$F4.bin", "D:/sim/a_$F4.bin", 9},
		{"a$Fx_01.bin", "a$Fx_$F2.bin", 5},
	};
	for (const Case& c : cases)
	{
		FrameSequence s;
		s.SetName(c.name, false, true);
		EXPECT_STREQ(s.pattern, c.pattern) << c.name;
		EXPECT_EQ(s.FindToken(), c.token) << c.name;
	}
	FrameSequence empty;
	EXPECT_EQ(empty.FindToken(), -1);
}

TEST(FrameSequence, FormatsFrameNumbers)
{
	struct Case
	{
		const char* pattern;
		int frame, offset;
		const char* out;
	} cases[] = {
		{"a_$F4.bin", 6, 0, "a_0006.bin"},
		{"a_$F4.bin", 8, 2, "a_0006.bin"},
		{"a_$F5.bin", -3, 0, "a_-0003.bin"},
		{"a_$F2.bin", 12345, 0, "a_12345.bin"},
		{"mesh$F0.md", 17, 0, "mesh.md"},
		{"plain.bin", 3, 0, "plain.bin"},
	};
	for (const Case& c : cases)
	{
		FrameSequence s;
		s.SetName(c.pattern, false, false);
		char out[SEQUENCE_PATH_SIZE];
		s.FormatPattern(c.frame, c.offset, out);
		EXPECT_STREQ(out, c.out) << c.pattern;
	}
}

// Counts existence tests so that the cost of a scan shows.
class CountingSequence : public FrameSequence
{
public:
	int probes = 0;

protected:
	bool FileExists(const char* path) override
	{
		++probes;
		return FrameSequence::FileExists(path);
	}
};

TEST(FrameSequence, ScansTheUnbrokenRunAroundTheChosenFile)
{
	TempDir dir;
	for (int f : {1, 3, 4, 5, 6, 7})
	{
		char name[32];
		std::snprintf(name, sizeof(name), "a_%04d.bin", f);
		WriteBytes(dir.File(name), {0});
	}
	struct Case
	{
		const char* chosen;
		int first, last;
	} cases[] = {
		{"a_0005.bin", 3, 7},
		{"a_0003.bin", 3, 7}, // a_0002 missing: the gap stops the downward probe
		{"a_0001.bin", 1, 1}, // a_0000 missing, a_0002 missing
	};
	for (const Case& c : cases)
	{
		FrameSequence s;
		s.SetName(dir.File(c.chosen).c_str(), true, true);
		EXPECT_EQ(s.first, c.first) << c.chosen;
		EXPECT_EQ(s.last, c.last) << c.chosen;
	}
	FrameSequence s;
	s.SetName(dir.File("a_0005.bin").c_str(), true, true);
	char out[SEQUENCE_PATH_SIZE];
	s.GetFileName(6, 0, out);
	EXPECT_EQ(std::string(out), dir.File("a_0006.bin"));
	s.GetFileName(8, 2, out);
	EXPECT_EQ(std::string(out), dir.File("a_0006.bin"));

	// same sequence, another file: pattern and range stay
	EXPECT_TRUE(s.SamePattern(dir.File("a_0006.bin").c_str()));
	EXPECT_FALSE(s.SamePattern(dir.File("b_0006.bin").c_str()));
	s.SetName(dir.File("a_0006.bin").c_str(), true, true);
	EXPECT_EQ(std::string(s.pattern), dir.File("a_$F4.bin"));
	EXPECT_EQ(s.first, 3);
	EXPECT_EQ(s.last, 7);
	FrameSequence cleared;
	EXPECT_FALSE(cleared.SamePattern("a_0001.bin"));
}

TEST(FrameSequence, ChosenInTheMiddleScansDownToFrameZero)
{
	TempDir dir;
	for (int f = 0; f <= 3; ++f)
	{
		char name[32];
		std::snprintf(name, sizeof(name), "b_%04d.bin", f);
		WriteBytes(dir.File(name), {0});
	}
	for (const char* chosen : {"b_0002.bin", "b_0001.bin", "b_0000.bin", "b_0003.bin"})
	{
		FrameSequence s;
		s.SetName(dir.File(chosen).c_str(), true, true);
		EXPECT_EQ(s.first, 0) << chosen;
		EXPECT_EQ(s.last, 3) << chosen;
	}
}

// Files named by their frame number alone, as "0007.bin" in the current folder: the token stands
// at index 0 of the name.
class NamedFiles : public FrameSequence
{
public:
	std::vector<std::string> files;

protected:
	bool FileExists(const char* path) override
	{
		for (const std::string& f : files)
			if (f == path)
				return true;
		return false;
	}
};

TEST(FrameSequence, TokenAtTheStartOfTheName)
{
	NamedFiles s;
	s.files = {"0005.bin", "0006.bin", "0007.bin", "0008.bin", "0010.bin"};
	s.SetName("0007.bin", true, true);
	EXPECT_STREQ(s.pattern, "$F4.bin");
	EXPECT_EQ(s.FindToken(), 0);
	EXPECT_EQ(s.first, 5);
	EXPECT_EQ(s.last, 8);
	char out[SEQUENCE_PATH_SIZE];
	s.GetFileName(12, 0, out);
	EXPECT_STREQ(out, "0012.bin");
	s.GetFileName(12, 5, out);
	EXPECT_STREQ(out, "0007.bin");
	EXPECT_TRUE(s.SamePattern("0006.bin"));
	EXPECT_FALSE(s.SamePattern("00006.bin"));

	// The importers set the stored pattern as the name again at every evaluation: it must stay the
	// pattern, not become a pattern of a pattern.
	s.SetName("$F4.bin", false, true);
	EXPECT_STREQ(s.pattern, "$F4.bin");
	s.GetFileName(6, 0, out);
	EXPECT_STREQ(out, "0006.bin");
	s.SetName("$F4.bin", true, true); // a pattern names no file: the scan starts at frame 0
	EXPECT_EQ(s.first, 0);
	EXPECT_EQ(s.last, 0);
}

TEST(FrameSequence, SingleFileCostsOneExistenceTest)
{
	TempDir dir;
	WriteBytes(dir.File("scene.md"), {0});
	CountingSequence s;
	s.SetName(dir.File("scene.md").c_str(), true, true);
	EXPECT_EQ(s.probes, 1);
	EXPECT_EQ(s.first, 0);
	EXPECT_EQ(s.last, SEQUENCE_FRAME_LIMIT - 1);
	char out[SEQUENCE_PATH_SIZE];
	s.GetFileName(12345, 0, out);
	EXPECT_EQ(std::string(out), dir.File("scene.md"));

	CountingSequence missing;
	missing.SetName(dir.File("gone.md").c_str(), true, true);
	EXPECT_EQ(missing.probes, 1);
	EXPECT_EQ(missing.last, 0);

	FrameSequence bare;
	bare.SetName("cache", false, true);
	bare.GetFileName(4, 0, out);
	EXPECT_STREQ(out, "cache");
	EXPECT_EQ(bare.ScanRange(), 0);
	bare.SetName("x", false, false);
	EXPECT_EQ(bare.ScanRange(), -1);
	EXPECT_EQ(bare.last, 100000);
}

TEST(FrameSequence, ExpandsEnvironmentReferences)
{
	setenv("TW_TEST_SIMROOT", "D:/sims", 1);
	unsetenv("TW_TEST_UNSET");
	struct Case
	{
		const char* in;
		const char* out;
	} cases[] = {
		{"$(TW_TEST_SIMROOT)/a_0001.bin", "D:/sims/a_0001.bin"},
		{"$(TW_TEST_UNSET)/a_0001.bin", "/a_0001.bin"},
		{"x/$F4/$(TW_TEST_SIMROOT)", "x/$F4/D:/sims"},
		{"a/$(TW_TEST_SIMROOT", "a/$(TW_TEST_SIMROOT"}, // unclosed: copied unchanged
		{"cost$", "cost$"},
		{"$(", "$("},
	};
	for (const Case& c : cases)
	{
		char out[SEQUENCE_PATH_SIZE];
		EXPECT_TRUE(ExpandEnvironment(c.in, out)) << c.in;
		EXPECT_STREQ(out, c.out) << c.in;
	}
	FrameSequence s;
	s.SetName("$(TW_TEST_SIMROOT)/a_$F4.bin", false, true);
	char out[SEQUENCE_PATH_SIZE];
	s.GetFileName(1, 0, out);
	EXPECT_STREQ(out, "D:/sims/a_0001.bin");
	unsetenv("TW_TEST_SIMROOT");
	s.GetFileName(1, 0, out);
	EXPECT_STREQ(out, "/a_0001.bin");
}

TEST(FrameSequence, ResultsBeyond255CharactersAreEmptyNotCut)
{
	char out[SEQUENCE_PATH_SIZE];
	std::string long_value(200, 'v');
	setenv("TW_TEST_LONG", long_value.c_str(), 1);
	std::string in = "$(TW_TEST_LONG)/" + std::string(60, 'p');
	EXPECT_FALSE(ExpandEnvironment(in.c_str(), out));
	EXPECT_STREQ(out, "");
	unsetenv("TW_TEST_LONG");

	// a name of 255 characters fits; 256 clears the descriptor
	std::string fits = std::string(247, 'n') + "_001.bin"; // 255
	FrameSequence s;
	s.SetName(fits.c_str(), false, true);
	EXPECT_EQ(std::string(s.name), fits);
	EXPECT_EQ(std::string(s.pattern), std::string(247, 'n') + "_$F3.bin");
	s.SetName((fits + "x").c_str(), false, true);
	EXPECT_STREQ(s.name, "");

	// derived pattern one longer than the name: no room for the token
	std::string no_digits = std::string(251, 'm') + ".bin"; // 255
	s.SetName(no_digits.c_str(), false, true);
	EXPECT_STREQ(s.pattern, "");

	// a frame number wider than the token pushes the path past 255 characters
	s.SetName((std::string(250, 'w') + "$F1.b").c_str(), false, false);
	s.FormatPattern(999, 0, out);
	EXPECT_EQ(std::strlen(out), 255u);
	s.FormatPattern(1000, 0, out);
	EXPECT_STREQ(out, "");

	ExpandPath(std::string(256, 'q').c_str(), out);
	EXPECT_STREQ(out, "");
	ExpandPath("plain/x.bin", out);
	EXPECT_STREQ(out, "plain/x.bin");
}

TEST(FrameSequence, BaseNamesAndExtensions)
{
	struct Case
	{
		const char* name;
		const char* base;
	} cases[] = {
		{"D:/sim/splash_00010.bin", "splash_"},
		{"D:/sim/mesh.md", "mesh"},
		{"C:\\sim\\fluid12.bin", "fluid"},
		{"splash_00010.bin", "splash_"}, // a file in the current folder had no base name
		{"D:/sim.v2/cache", ""}, // no "." after the separator
	};
	for (const Case& c : cases)
	{
		FrameSequence s;
		s.SetName(c.name, false, true);
		char out[SEQUENCE_PATH_SIZE];
		s.GetBaseName(out);
		EXPECT_STREQ(out, c.base) << c.name;
	}
	EXPECT_TRUE(HasExtension("A/SPLASH.BIN", ".bin"));
	EXPECT_TRUE(HasExtension(".md", ".md"));
	EXPECT_FALSE(HasExtension("md", ".md"));
	EXPECT_FALSE(HasExtension("a.bin", ".BIN"));
	EXPECT_FALSE(HasExtension("a.pxy1", ".pxy"));
}

} // namespace
