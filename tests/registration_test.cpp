// registration_test.cpp - the module as the host loads it: what it registers, in which order, and when it stops.
#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace
{

struct Expected
{
	Int32 id;
	headless::PluginKind kind;
	Int32 info;
	const char* description;
	bool icon;
	Int32 disklevel;
};

const Expected kTable[] = {
	{1026261, headless::KIND_OBJECT, 4, "TW_Particle_Importer", true, 1},
	{1026262, headless::KIND_COMMAND, 0, "", true, -1},
	{1026267, headless::KIND_OPERATOR, 16, "TW_Particle_Node", true, 1},
	{1026263, headless::KIND_COMMAND, 0, "", true, -1},
	{1026265, headless::KIND_OBJECT, 0x10000001, "TW_SD_Anim", true, 1},
	{1028472, headless::KIND_OBJECT, 0x10000004, "TW_SD_Reader", true, 1},
	{1026264, headless::KIND_COMMAND, 0, "", true, -1},
	{1026266, headless::KIND_OBJECT, 4, "TW_Mesh_Importer", true, 1},
	{1026928, headless::KIND_COMMAND, 0, "", true, -1},
	{1031575, headless::KIND_MATERIAL, 0, "TW_MeltMaterial", false, 0},
	{1031723, headless::KIND_SHADER, 0, "TW_ParticleShader", false, 0},
};

std::vector<Int32> RegisteredIds()
{
	std::vector<Int32> ids;
	for (const auto& r : headless::Registrations())
		ids.push_back(r.id);
	return ids;
}

std::vector<Int32> TableIds(size_t from, size_t to)
{
	std::vector<Int32> ids;
	for (size_t i = from; i < to; ++i)
		ids.push_back(kTable[i].id);
	return ids;
}

class Registration : public ::testing::Test
{
protected:
	void SetUp() override { headless::Reset(); }
	void TearDown() override
	{
		module.Unload();
		headless::Reset();
	}

	// A copy of the plug-in folder whose string table lacks one name.
	std::string FolderWithoutName(const char* identifier)
	{
		CopyPluginFolder(dir.path());
		std::string table = dir / "res/strings_en-US/c4d_strings.str";
		std::string text = ReadFile(table), kept;
		size_t pos = 0;
		while (pos < text.size())
		{
			size_t end = text.find('\n', pos);
			end = end == std::string::npos ? text.size() : end + 1;
			std::string line = text.substr(pos, end - pos);
			if (line.find(std::string(identifier) + " ") == std::string::npos)
				kept += line;
			pos = end;
		}
		WriteFile(table, kept);
		return dir.path();
	}

	TempDir dir;
	headless::Module module;
};

TEST_F(Registration, AllElevenInTableOrderWithTheirArguments)
{
	ASSERT_TRUE(module.Load(BuiltPluginFolder()));
	const auto& regs = headless::Registrations();
	ASSERT_EQ(regs.size(), std::size(kTable));
	for (size_t i = 0; i < regs.size(); ++i)
	{
		SCOPED_TRACE(kTable[i].id);
		EXPECT_EQ(regs[i].id, kTable[i].id);
		EXPECT_EQ(regs[i].kind, kTable[i].kind);
		EXPECT_EQ(regs[i].info, kTable[i].info);
		EXPECT_EQ(regs[i].description, kTable[i].description);
		EXPECT_EQ(regs[i].has_icon, kTable[i].icon);
		EXPECT_EQ(regs[i].icon_width, kTable[i].icon ? 32 : 0);
		EXPECT_EQ(regs[i].disklevel, kTable[i].disklevel);
		EXPECT_FALSE(regs[i].display_name.empty());
		bool command = regs[i].kind == headless::KIND_COMMAND;
		EXPECT_EQ(regs[i].command != nullptr, command);
		EXPECT_EQ(regs[i].alloc != nullptr, !command);
		EXPECT_EQ(regs[i].help, "");
	}
	const headless::Registration* node = headless::FindRegistration(1026267);
	EXPECT_EQ(node->op_class, 1001111);
	EXPECT_EQ(node->op_group, 1001117);
	EXPECT_EQ(node->op_owner, 0);

	// The material is filed into menu group 1003 under its own name.
	const headless::Registration* melt = headless::FindRegistration(1031575);
	EXPECT_EQ(melt->menu_group, 1003);
	EXPECT_EQ(melt->display_name, "MeltMaterial");
}

TEST_F(Registration, BannerOncePerStartOfActivity)
{
	ASSERT_TRUE(module.Load(BuiltPluginFolder()));
	ASSERT_EQ(headless::ConsoleLines().size(), 1u);
	EXPECT_EQ(headless::ConsoleLines()[0], "== Corvanta Tidewell plug-in v6.0.2.0004 ==");
	EXPECT_TRUE(headless::MessageBoxes().empty());

	// Loading again is a new start of activity: one more banner, and the same eleven plug-ins.
	module.Unload();
	ASSERT_TRUE(module.Load(BuiltPluginFolder()));
	EXPECT_EQ(headless::ConsoleLines().size(), 2u);
	EXPECT_EQ(headless::Registrations().size(), 11u);
}

TEST_F(Registration, MissingNameSkipsThatPluginOnly)
{
	ASSERT_TRUE(module.Load(FolderWithoutName("IDS_TW_PARTICLE_EXPORTER")));
	std::vector<Int32> want = TableIds(0, 1);
	for (Int32 id : TableIds(2, 11))
		want.push_back(id);
	EXPECT_EQ(RegisteredIds(), want);
}

TEST_F(Registration, MissingNodeNameStopsStartUp)
{
	EXPECT_FALSE(module.Load(FolderWithoutName("IDS_TW_PARTICLE_NODE")));
	EXPECT_EQ(RegisteredIds(), TableIds(0, 2));
	// No banner: the host never started the activity of a module that failed to start.
	EXPECT_TRUE(headless::ConsoleLines().empty());
}

TEST_F(Registration, UnusableIconStopsAtItsFirstUser)
{
	for (bool corrupt : {false, true})
	{
		SCOPED_TRACE(corrupt ? "corrupt icon" : "missing icon");
		module.Unload();
		headless::Reset();
		TempDir folder;
		CopyPluginFolder(folder.path());
		std::string icon = folder / "res/TW_SD_Importer.png";
		if (corrupt)
			WriteFile(icon, ReadFile(icon).substr(0, 60));
		else
			std::filesystem::remove(icon);
		EXPECT_FALSE(module.Load(folder.path()));
		EXPECT_EQ(RegisteredIds(), TableIds(0, 3));
	}
}

TEST_F(Registration, HostRefusalStopsStartUp)
{
	headless::RefuseRegistration(1026266);
	EXPECT_FALSE(module.Load(BuiltPluginFolder()));
	EXPECT_EQ(RegisteredIds(), TableIds(0, 7));
}

TEST_F(Registration, MissingStringTableFailsSystemInitialisation)
{
	CopyPluginFolder(dir.path());
	std::filesystem::remove(dir / "res/strings_en-US/c4d_strings.str");
	std::string error;
	EXPECT_FALSE(module.Load(dir.path(), &error));
	EXPECT_NE(error.find("resources"), std::string::npos);
	EXPECT_TRUE(headless::Registrations().empty());
}

TEST_F(Registration, ObjectPluginsMakeNodesWithTheirData)
{
	ASSERT_TRUE(module.Load(BuiltPluginFolder()));
	for (Int32 id : {1026261, 1026265, 1028472, 1026266})
	{
		BaseObject* op = BaseObject::Alloc(id);
		ASSERT_NE(op, nullptr) << id;
		EXPECT_NE(op->GetNodeData(), nullptr);
		GetActiveDocument()->InsertObject(op, nullptr, nullptr);
	}
	// Unloading frees the document's plug-in objects before the module's code goes away.
	module.Unload();
	EXPECT_EQ(BaseObject::Alloc(1026261), nullptr);
}

} // namespace
