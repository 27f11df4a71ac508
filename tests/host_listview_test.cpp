// host_listview_test.cpp - a non-modal dialog with two list views, opened by a command and driven as a user would.
#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

enum
{
	ID_PICKER = 1999200, // the command's plug-in ID, also the dialog resource's
	PICK_SCENE = 1001,
	PICK_CHOSEN = 1002,
	PICK_ADD = 1003,
	PICK_REMOVE = 1004,
	PICK_CLOSE = 1005,
	PICK_STATUS = 1006,
	COL_NAME = 1,
	COL_VERTEX = 2,
	COL_IMAGE = 3,
};

const char* const kResource = R"(DIALOG 1999200
{
	NAME IDS_PICKER_TITLE;
	GROUP
	{
		COLUMNS 2;
		LISTVIEW 1001 { SCALE_V; }
		LISTVIEW 1002 { SCALE_V; }
		BUTTON 1003 { NAME IDS_ADD; }
		BUTTON 1004 { NAME IDS_REMOVE; }
		BUTTON 1005 { NAME IDS_CLOSE; }
		STATICTEXT 1006 { }
	}
}
)";

const char* const kStrings = R"(DIALOGSTRINGS 1999200
{
	IDS_PICKER_TITLE "Picker";
	IDS_ADD "Add";
	IDS_REMOVE "Remove";
	IDS_CLOSE "Close";
}
)";

// An exporter's object picker in miniature: rows move between the scene list and the chosen list, and
// a chosen row's image follows its check box.
class PickerDialog : public GeDialog
{
public:
	std::vector<std::pair<Int32, Int32>> actions; // (gadget, action value)

	Bool CreateLayout() override
	{
		if (!LoadDialogResource(ID_PICKER, nullptr, 0) || !_scene.AttachListView(this, PICK_SCENE) ||
			!_chosen.AttachListView(this, PICK_CHOSEN))
			return false;
		BaseContainer one;
		one.SetInt32(COL_NAME, LV_COLUMN_TEXT);
		BaseContainer three;
		three.SetInt32(COL_NAME, LV_COLUMN_TEXT);
		three.SetInt32(COL_VERTEX, LV_COLUMN_CHECKBOX);
		three.SetInt32(COL_IMAGE, LV_COLUMN_BMP);
		return _scene.SetLayout(1, one) && _chosen.SetLayout(3, three);
	}
	Bool InitValues() override
	{
		const char* const names[] = {"Cube", "Sphere", "Cone"};
		for (Int32 i = 0; i < 3; ++i)
		{
			BaseContainer row;
			row.SetString(COL_NAME, names[i]);
			_scene.SetItem(10 + i, row);
		}
		return true;
	}
	Bool Command(Int32 id, const BaseContainer& msg) override
	{
		actions.emplace_back(id, msg.GetInt32(BFM_ACTION_VALUE));
		if (id == PICK_ADD)
			Move(_scene, _chosen, true);
		else if (id == PICK_REMOVE)
			Move(_chosen, _scene, false);
		else if (id == PICK_CHOSEN && msg.GetInt32(BFM_ACTION_VALUE) == LV_SIMPLE_CHECKBOXCHANGED)
		{
			const Int32 row = msg.GetInt32(LV_SIMPLE_ITEM_ID);
			BaseContainer data;
			if (_chosen.GetItem(row, &data))
			{
				data.SetVoid(COL_IMAGE, data.GetBool(COL_VERTEX) ? static_cast<BaseBitmap*>(_vertex) : _matrix);
				_chosen.SetItem(row, data);
			}
		}
		else if (id == PICK_CLOSE)
			Close();
		SetString(PICK_STATUS, String(std::to_string(_chosen.GetItemCount()) + " chosen"));
		return true;
	}

private:
	void Move(SimpleListView& from, SimpleListView& to, bool into_chosen)
	{
		BaseSelect* sel = BaseSelect::Alloc();
		from.GetSelection(sel);
		for (Int32 seg = 0; seg < sel->GetSegments(); ++seg)
		{
			Int32 a = 0, b = -1;
			sel->GetRange(seg, INT32_MAX, &a, &b);
			for (Int32 id = a; id <= b; ++id)
			{
				BaseContainer data;
				if (!from.GetItem(id, &data))
					continue;
				BaseContainer row;
				row.SetString(COL_NAME, data.GetString(COL_NAME));
				if (into_chosen)
				{
					row.SetBool(COL_VERTEX, false);
					row.SetVoid(COL_IMAGE, static_cast<BaseBitmap*>(_matrix));
				}
				from.RemoveItem(id);
				to.SetItem(id, row);
			}
		}
		BaseSelect::Free(sel);
		from.DataChanged();
		to.DataChanged();
	}

	SimpleListView _scene, _chosen;
	AutoBitmap _matrix{String("matrix")}, _vertex{String("vertex")};
};

class PickerCommand : public CommandData
{
public:
	PickerDialog dialog;
	Bool Execute(BaseDocument* doc) override
	{
		(void)doc;
		return dialog.Open(DLG_TYPE_ASYNC, ID_PICKER);
	}
	Bool RestoreLayout(void* secret) override { return dialog.Restore(ID_PICKER, secret); }
};

class HostListView : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		CopyPluginFolder(plugin.path());
		WriteFile(plugin / "res/dialogs/picker.res", kResource);
		WriteFile(plugin / "res/strings_en-US/dialogs/picker.str", kStrings);
		ASSERT_TRUE(module.Load(plugin.path()));
		command = new PickerCommand(); // the host owns it once registered
		ASSERT_TRUE(RegisterCommandPlugin(ID_PICKER, String("Picker"), 0, nullptr, String(), command));
	}
	void TearDown() override
	{
		module.Unload();
		headless::Reset();
	}

	TempDir plugin;
	headless::Module module;
	PickerCommand* command = nullptr;
};

TEST_F(HostListView, CommandOpensANonModalDialogFoundByPluginId)
{
	headless::DialogDriver d(nullptr);
	EXPECT_FALSE(headless::FindOpenDialog(ID_PICKER, &d));
	CallCommand(ID_PICKER);
	EXPECT_EQ(headless::OpenDialogs(), std::vector<Int32>{ID_PICKER});
	ASSERT_TRUE(headless::FindOpenDialog(ID_PICKER, &d));
	EXPECT_EQ(d.Title(), "Picker");
	EXPECT_EQ(d.RowIds(PICK_SCENE), (std::vector<Int32>{10, 11, 12}));
	EXPECT_EQ(d.RowText(PICK_SCENE, 11, COL_NAME), "Sphere");

	// running the command again brings the open dialog forward: no second window, rows untouched
	ASSERT_TRUE(d.SelectRows(PICK_SCENE, {10}));
	ASSERT_TRUE(d.Press(PICK_ADD));
	CallCommand(ID_PICKER);
	EXPECT_EQ(headless::OpenDialogs().size(), 1u);
	EXPECT_EQ(d.RowIds(PICK_CHOSEN), std::vector<Int32>{10});

	// the dialog's own close button, then the window's close box after a reopening
	ASSERT_TRUE(d.Press(PICK_CLOSE));
	EXPECT_FALSE(d.IsOpen());
	EXPECT_TRUE(headless::OpenDialogs().empty());
	EXPECT_FALSE(headless::FindOpenDialog(ID_PICKER, &d));
	EXPECT_FALSE(d.Press(PICK_ADD)); // a closed dialog hears nothing
	CallCommand(ID_PICKER);
	ASSERT_TRUE(headless::FindOpenDialog(ID_PICKER, &d));
	EXPECT_EQ(d.RowIds(PICK_SCENE), (std::vector<Int32>{10, 11, 12})); // laid out afresh
	EXPECT_TRUE(d.CloseWindow());
	EXPECT_TRUE(headless::OpenDialogs().empty());
}

TEST_F(HostListView, LayoutRestoreReopensOnlyWithTheHostsSecret)
{
	EXPECT_FALSE(command->dialog.Restore(ID_PICKER, nullptr));
	EXPECT_FALSE(headless::RestoreLayout(4242)); // no command of that ID
	ASSERT_TRUE(headless::RestoreLayout(ID_PICKER));
	EXPECT_TRUE(command->dialog.IsOpen());
	EXPECT_EQ(headless::OpenDialogs(), std::vector<Int32>{ID_PICKER});
	// a modal type is not a window of its own
	PickerDialog other;
	EXPECT_FALSE(other.Open(DLG_TYPE_MODAL, ID_PICKER + 1));
	// a second dialog cannot take a plug-in ID an open window holds
	EXPECT_FALSE(other.Open(DLG_TYPE_ASYNC, ID_PICKER));
	EXPECT_FALSE(other.IsOpen());
	// a dialog destroyed while open leaves the window list (no dangling window to find)
	{
		PickerDialog brief;
		ASSERT_TRUE(brief.Open(DLG_TYPE_ASYNC, ID_PICKER + 2));
		EXPECT_EQ(headless::OpenDialogs().size(), 2u);
	}
	EXPECT_EQ(headless::OpenDialogs(), std::vector<Int32>{ID_PICKER});
}

TEST_F(HostListView, RowsMoveBetweenListsAndTheTickSwapsTheImage)
{
	CallCommand(ID_PICKER);
	headless::DialogDriver d(nullptr);
	ASSERT_TRUE(headless::FindOpenDialog(ID_PICKER, &d));

	// several rows at once, kept in the list's order
	ASSERT_TRUE(d.SelectRows(PICK_SCENE, {12, 10}));
	EXPECT_EQ(d.SelectedRows(PICK_SCENE), (std::vector<Int32>{10, 12}));
	EXPECT_FALSE(d.SelectRows(PICK_SCENE, {10, 99})); // a row the list lacks: nothing changes
	EXPECT_EQ(d.SelectedRows(PICK_SCENE), (std::vector<Int32>{10, 12}));
	ASSERT_TRUE(d.Press(PICK_ADD));
	EXPECT_EQ(d.RowIds(PICK_SCENE), std::vector<Int32>{11});
	EXPECT_TRUE(d.SelectedRows(PICK_SCENE).empty()); // removed rows leave the selection
	EXPECT_EQ(d.RowIds(PICK_CHOSEN), (std::vector<Int32>{10, 12}));
	EXPECT_EQ(d.RowText(PICK_CHOSEN, 12, COL_NAME), "Cone");
	EXPECT_EQ(d.GetText(PICK_STATUS), "2 chosen");
	for (Int32 row : {10, 12})
	{
		EXPECT_FALSE(d.RowCheck(PICK_CHOSEN, row, COL_VERTEX));
		EXPECT_EQ(d.RowImage(PICK_CHOSEN, row, COL_IMAGE), "matrix");
	}

	// the tick reaches Command as a check box change, and the dialog swaps the row's image
	ASSERT_TRUE(d.SetRowCheck(PICK_CHOSEN, 12, COL_VERTEX, true));
	EXPECT_EQ(command->dialog.actions.back(), std::make_pair(Int32(PICK_CHOSEN), Int32(LV_SIMPLE_CHECKBOXCHANGED)));
	EXPECT_TRUE(d.RowCheck(PICK_CHOSEN, 12, COL_VERTEX));
	EXPECT_EQ(d.RowImage(PICK_CHOSEN, 12, COL_IMAGE), "vertex");
	EXPECT_EQ(d.RowImage(PICK_CHOSEN, 10, COL_IMAGE), "matrix");
	ASSERT_TRUE(d.SetRowCheck(PICK_CHOSEN, 12, COL_VERTEX, false));
	EXPECT_EQ(d.RowImage(PICK_CHOSEN, 12, COL_IMAGE), "matrix");

	// clicks that a user cannot make send nothing
	const size_t heard = command->dialog.actions.size();
	EXPECT_FALSE(d.SetRowCheck(PICK_CHOSEN, 12, COL_NAME, true)); // a text cell
	EXPECT_FALSE(d.SetRowCheck(PICK_CHOSEN, 11, COL_VERTEX, true)); // a row of the other list
	EXPECT_FALSE(d.SetRowCheck(PICK_SCENE, 11, COL_VERTEX, true));	// a list without check boxes
	EXPECT_FALSE(d.SelectRows(PICK_STATUS, {}));					// not a list
	command->dialog.Enable(PICK_CHOSEN, false);
	EXPECT_FALSE(d.SelectRows(PICK_CHOSEN, {10}));
	EXPECT_FALSE(d.SetRowCheck(PICK_CHOSEN, 10, COL_VERTEX, true));
	command->dialog.Enable(PICK_CHOSEN, true);
	EXPECT_EQ(command->dialog.actions.size(), heard);
	EXPECT_FALSE(d.RowCheck(PICK_CHOSEN, 10, COL_VERTEX));

	// a selection reaches Command as such; back to the scene list, appended below its rows
	ASSERT_TRUE(d.SelectRows(PICK_CHOSEN, {10}));
	EXPECT_EQ(command->dialog.actions.back(), std::make_pair(Int32(PICK_CHOSEN), Int32(LV_SIMPLE_SELECTIONCHANGED)));
	ASSERT_TRUE(d.Press(PICK_REMOVE));
	EXPECT_EQ(d.RowIds(PICK_SCENE), (std::vector<Int32>{11, 10}));
	EXPECT_EQ(d.RowIds(PICK_CHOSEN), std::vector<Int32>{12});
	EXPECT_EQ(d.RowImage(PICK_SCENE, 10, COL_IMAGE), ""); // the scene list has no image column
}

TEST(HostImages, NamedImagesAreRealBitmapsOfTheirOwn)
{
	AutoBitmap matrix(String("matrix")), vertex(String("vertex")), none(String("nothing"));
	ASSERT_NE(static_cast<BaseBitmap*>(matrix), nullptr);
	ASSERT_NE(static_cast<BaseBitmap*>(vertex), nullptr);
	EXPECT_EQ(static_cast<BaseBitmap*>(none), nullptr);
	EXPECT_GT(static_cast<BaseBitmap*>(matrix)->GetBw(), 0);
	EXPECT_EQ(headless::HostImageName(matrix), "matrix");
	EXPECT_EQ(headless::HostImageName(vertex), "vertex");
	// a copy shows the same image; a drawn-over one is no host image
	std::unique_ptr<BaseBitmap, void (*)(BaseBitmap*)> copy(
		static_cast<BaseBitmap*>(vertex)->GetClone(), [](BaseBitmap* b) { BaseBitmap::Free(b); });
	EXPECT_EQ(headless::HostImageName(copy.get()), "vertex");
	copy->SetPixel(0, 0, 1, 2, 3);
	EXPECT_EQ(headless::HostImageName(copy.get()), "");
	UChar rgba[4];
	copy->GetPixel(0, 0, rgba);
	EXPECT_EQ(rgba[2], 3);
}

// Row IDs are often hashes: negative ones and runs crossing zero must come out whole.
TEST(HostSelection, SegmentsAreRunsOfConsecutiveIds)
{
	BaseSelect* s = BaseSelect::Alloc();
	for (Int32 id : {7, -1, 0, 1, -5, 9, 8})
		s->Select(id);
	EXPECT_EQ(s->GetCount(), 7);
	EXPECT_EQ(s->GetSegments(), 3);
	const struct
	{
		Int32 seg, max, a, b;
		bool found;
	} cases[] = {{0, 100, -5, -5, true}, {1, 100, -1, 1, true}, {2, 100, 7, 9, true}, {2, 9, 7, 8, true},
		{2, 7, 0, 0, false}, {3, 100, 0, 0, false}, {-1, 100, 0, 0, false}};
	for (const auto& c : cases)
	{
		Int32 a = 0, b = 0;
		ASSERT_EQ(s->GetRange(c.seg, c.max, &a, &b), c.found) << c.seg << " " << c.max;
		if (c.found)
		{
			EXPECT_EQ(a, c.a) << c.seg;
			EXPECT_EQ(b, c.b) << c.seg;
		}
	}
	EXPECT_TRUE(s->Deselect(0));
	EXPECT_FALSE(s->Deselect(0));
	EXPECT_EQ(s->GetSegments(), 4);
	BaseSelect::Free(s);
	EXPECT_EQ(s, nullptr);
}

} // namespace
