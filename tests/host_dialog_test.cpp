// host_dialog_test.cpp - a modal dialog with every gadget kind, driven as a user would, and its settings kept with the document.
#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace
{

enum
{
	DLG_PROBE = 1999100,
	PROBE_SOURCE = 1001,
	PROBE_PADDING = 1002,
	PROBE_RADIUS = 1003,
	PROBE_NAME = 1004,
	PROBE_VELOCITY = 1005,
	PROBE_FOLDER = 1006,
	PROBE_STATUS = 1007,
	PROBE_EXPORT = 1008,
	PROBE_SETTINGS = 1999100, // the dialog's container inside the document's settings
};

const char* const kResource = R"(// probe.res - every gadget kind
DIALOG 1999100
{
	NAME IDS_PROBE_TITLE;
	GROUP
	{
		COLUMNS 2;
		COMBOBOX 1001 { CHILDS { 0, IDS_FIRST; 1, IDS_SECOND; } }
		EDITNUMBERARROWS 1002 { }
		EDITNUMBERARROWS 1003 { }
		EDITTEXT 1004 { SCALE_H; }
		CHECKBOX 1005 { NAME IDS_VELOCITY; }
		FILENAME 1006 { }
		STATICTEXT 1007 { }
		BUTTON 1008 { NAME IDS_EXPORT; }
	}
	DLGGROUP { OK; CANCEL; }
}
)";

const char* const kStrings = R"(DIALOGSTRINGS 1999100
{
	IDS_PROBE_TITLE "Probe";
	IDS_FIRST "first";
	IDS_SECOND "second";
	IDS_VELOCITY "Velocity";
	IDS_EXPORT "Export";
}
)";

// An exporter's dialog in miniature: the values come from the document's settings and go back there.
class ProbeDialog : public GeModalDialog
{
public:
	std::vector<Int32> commands;

	Bool CreateLayout() override
	{
		if (!LoadDialogResource(DLG_PROBE, nullptr, 0))
			return false;
		return AddChild(PROBE_SOURCE, 2, String("third")); // an entry the dialog adds itself
	}
	Bool InitValues() override
	{
		const BaseContainer bc = Settings()->GetContainer(PROBE_SETTINGS);
		SetInt32(PROBE_SOURCE, bc.GetInt32(PROBE_SOURCE, 0));
		SetInt32(PROBE_PADDING, bc.GetInt32(PROBE_PADDING, 5), 1, 9);
		SetFloat(PROBE_RADIUS, bc.GetFloat(PROBE_RADIUS, 0.1), 0.0, 1.0);
		SetString(PROBE_NAME, bc.GetString(PROBE_NAME));
		SetBool(PROBE_VELOCITY, bc.GetBool(PROBE_VELOCITY, true));
		SetFilename(PROBE_FOLDER, bc.GetFilename(PROBE_FOLDER));
		SetString(PROBE_STATUS, "Ready");
		return true;
	}
	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		(void)msg;
		commands.push_back(id);
		if (id == PROBE_SOURCE)
			SetString(PROBE_STATUS, "source changed");
		if (id == PROBE_EXPORT)
		{
			BaseContainer bc;
			Int32 i = 0;
			Float f = 0;
			Bool b = false;
			String s;
			Filename fn;
			GetInt32(PROBE_SOURCE, i);
			bc.SetInt32(PROBE_SOURCE, i);
			GetInt32(PROBE_PADDING, i);
			bc.SetInt32(PROBE_PADDING, i);
			GetFloat(PROBE_RADIUS, f);
			bc.SetFloat(PROBE_RADIUS, f);
			GetString(PROBE_NAME, s);
			bc.SetString(PROBE_NAME, s);
			GetBool(PROBE_VELOCITY, b);
			bc.SetBool(PROBE_VELOCITY, b);
			GetFilename(PROBE_FOLDER, fn);
			bc.SetFilename(PROBE_FOLDER, fn);
			Settings()->SetContainer(PROBE_SETTINGS, bc);
			Close(true);
		}
		return true;
	}

private:
	static BaseContainer* Settings() { return GetActiveDocument()->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT); }
};

class HostDialog : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		CopyPluginFolder(plugin.path());
		WriteFile(plugin / "res/dialogs/probe.res", kResource);
		WriteFile(plugin / "res/strings_en-US/dialogs/probe.str", kStrings);
		ASSERT_TRUE(module.Load(plugin.path()));
		doc = BaseDocument::Alloc();
		headless::SetActiveDocument(doc);
	}
	void TearDown() override
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		module.Unload();
		headless::Reset();
	}

	TempDir plugin;
	headless::Module module;
	BaseDocument* doc = nullptr;
};

TEST_F(HostDialog, EveryGadgetKindTakesOnlyWhatAUserCanEnter)
{
	headless::SetModalDialogScript([](headless::DialogDriver& d) {
		EXPECT_EQ(d.Title(), "Probe");
		// combo box: only its entries, the dialog's own included
		EXPECT_EQ(d.GetSelectionText(PROBE_SOURCE), "first");
		EXPECT_TRUE(d.Select(PROBE_SOURCE, 2));
		EXPECT_EQ(d.GetSelectionText(PROBE_SOURCE), "third");
		EXPECT_EQ(d.GetText(PROBE_STATUS), "source changed");
		EXPECT_FALSE(d.Select(PROBE_SOURCE, 7));
		EXPECT_FALSE(d.SetInt32(PROBE_SOURCE, 7));
		EXPECT_TRUE(d.SelectText(PROBE_SOURCE, "second"));
		EXPECT_EQ(d.GetSelection(PROBE_SOURCE), 1);
		EXPECT_FALSE(d.SelectText(PROBE_SOURCE, "fourth"));
		// numbers: held to the bounds the dialog gave, whole numbers in an integer gadget
		const struct
		{
			Int32 id;
			Float entered, shown;
		} numbers[] = {{PROBE_PADDING, 500, 9}, {PROBE_PADDING, -3, 1}, {PROBE_PADDING, 2.6, 3}, {PROBE_RADIUS, 2.0, 1.0},
			{PROBE_RADIUS, 0.25, 0.25}};
		for (const auto& n : numbers)
		{
			EXPECT_TRUE(d.SetFloat(n.id, n.entered));
			EXPECT_DOUBLE_EQ(d.GetFloat(n.id), n.shown) << n.id << " " << n.entered;
		}
		EXPECT_FALSE(d.SetFloat(PROBE_RADIUS, std::nan("")));
		EXPECT_TRUE(d.SetInt32(PROBE_PADDING, 4));
		EXPECT_EQ(d.GetInt32(PROBE_PADDING), 4);
		// text, check box, file name; a static text and a check box take no text, only a button a press
		EXPECT_TRUE(d.SetText(PROBE_NAME, "splash"));
		EXPECT_FALSE(d.SetText(PROBE_STATUS, "typed"));
		EXPECT_FALSE(d.SetCheck(PROBE_NAME, true));
		EXPECT_FALSE(d.Press(PROBE_NAME));
		EXPECT_FALSE(d.SetFloat(PROBE_NAME, 1.0));
		EXPECT_TRUE(d.SetCheck(PROBE_VELOCITY, false));
		EXPECT_TRUE(d.SetFilename(PROBE_FOLDER, "/out"));
		EXPECT_TRUE(d.Press(PROBE_EXPORT));
		EXPECT_FALSE(d.IsOpen());
	});
	ProbeDialog first;
	ASSERT_TRUE(first.Open());
	// only the accepted changes reached the dialog
	EXPECT_EQ(std::count(first.commands.begin(), first.commands.end(), PROBE_SOURCE), 2);
	EXPECT_EQ(std::count(first.commands.begin(), first.commands.end(), PROBE_PADDING), 4);
	EXPECT_EQ(first.commands.back(), PROBE_EXPORT);

	// the settings travel with the saved document and fill the dialog when it opens again there
	BaseDocument* loaded = headless::LoadDocument(headless::SaveDocument(doc));
	ASSERT_NE(loaded, nullptr);
	headless::SetActiveDocument(loaded);
	headless::SetModalDialogScript([](headless::DialogDriver& d) {
		EXPECT_EQ(d.GetSelection(PROBE_SOURCE), 1);
		EXPECT_EQ(d.GetInt32(PROBE_PADDING), 4);
		EXPECT_DOUBLE_EQ(d.GetFloat(PROBE_RADIUS), 0.25);
		EXPECT_EQ(d.GetText(PROBE_NAME), "splash");
		EXPECT_FALSE(d.GetCheck(PROBE_VELOCITY));
		EXPECT_EQ(d.GetText(PROBE_FOLDER), "/out");
		EXPECT_TRUE(d.Press(2)); // the host's Cancel
	});
	ProbeDialog second;
	EXPECT_FALSE(second.Open());
	headless::SetActiveDocument(doc);
	BaseDocument::Free(loaded);
}

TEST_F(HostDialog, TextObserverHearsTheDialogsOwnTextsNotTheUsers)
{
	std::vector<std::string> heard;
	headless::SetDialogTextObserver([&](Int32 dialog, Int32 gadget, const std::string& text) {
		EXPECT_EQ(dialog, DLG_PROBE);
		heard.push_back(std::to_string(gadget) + " " + text);
	});
	headless::SetModalDialogScript([](headless::DialogDriver& d) {
		d.SetText(PROBE_NAME, "typed by the user");
		d.Select(PROBE_SOURCE, 1);
	});
	ProbeDialog dialog;
	dialog.Open();
	headless::SetDialogTextObserver(nullptr);
	// InitValues' empty name and "Ready", then the status the source change wrote
	const std::vector<std::string> expected = {"1004 ", "1007 Ready", "1007 source changed"};
	EXPECT_EQ(heard, expected);
}

} // namespace
