// sd_exporter_dialog_test.cpp - the SD Exporter's dialog driven as a user would: defaults, the two lists
// and their modes, the checks, the values kept with the document, and one export through the button.
#include "host_test.h"

#include "c4d_polygon.h"
#include "c4d_symbols.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// The row ID of a display name, written out here rather than borrowed, so that a change of the rule
// shows: h = h * 101 + c over the bytes taken as signed, wrapping.
Int32 RowId(const std::string& name)
{
	uint32_t h = 0;
	for (char c : name)
		h = h * 101u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
	return static_cast<Int32>(h);
}

std::vector<Int32> RowIds(const std::vector<std::string>& names)
{
	std::vector<Int32> ids;
	for (const std::string& n : names)
		ids.push_back(RowId(n));
	return ids;
}

class SdExporterDialog : public HostTest
{
protected:
	BaseObject* AddCube(const std::string& name, BaseObject* parent = nullptr)
	{
		PolygonObject* op = PolygonObject::Alloc(4, 1);
		const Vector points[] = {Vector(0, 0, 0), Vector(100, 0, 0), Vector(100, 100, 0), Vector(0, 100, 0)};
		for (Int32 i = 0; i < 4; ++i)
			op->GetPointW()[i] = points[i];
		op->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
		op->SetName(String(name));
		Append(op, parent);
		return op;
	}
	BaseObject* AddCamera(const std::string& name)
	{
		BaseObject* op = BaseObject::Alloc(Ocamera);
		op->SetName(String(name));
		Append(op, nullptr);
		return op;
	}
	// Below the last object of its level, as a user builds a scene top down.
	void Append(BaseObject* op, BaseObject* parent)
	{
		BaseObject* last = parent ? parent->GetDown() : doc->GetFirstObject();
		while (last && last->GetNext())
			last = last->GetNext();
		doc->InsertObject(op, parent, last);
	}
	// Runs the command and finds its window, as a user sees it open.
	headless::DialogDriver Open()
	{
		CallCommand(ID_TW_SD_EXPORTER);
		headless::DialogDriver d(nullptr);
		EXPECT_TRUE(headless::FindOpenDialog(ID_TW_SD_EXPORTER, &d));
		return d;
	}
	BaseContainer* Stored() { return doc->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT); }
	static std::vector<std::string> Messages()
	{
		std::vector<std::string> texts;
		for (const auto& m : headless::MessageBoxes())
			texts.push_back(m.text);
		return texts;
	}
};

TEST_F(SdExporterDialog, DefaultsFollowTheDocument)
{
	const struct
	{
		const char *folder, *name, *path;
		bool camera;
	} cases[] = {
		{"/proj", "scene.c4d", "/proj/scene.sd", true},
		{"/proj", "scene", "/proj/scene", false}, // no dot: unchanged
		{"", "scene.c4d", "", false},			  // never saved: no folder, no default
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.path);
		doc->SetDocumentPath(Filename(c.folder));
		doc->SetDocumentName(Filename(c.name));
		doc->SetMinTime(BaseTime(4.0, 25.0));
		doc->SetMaxTime(BaseTime(60.0, 25.0));
		BaseObject* camera = c.camera ? AddCamera("Cam") : nullptr;
		Stored()->FlushAll();

		headless::DialogDriver d = Open();
		EXPECT_EQ(d.GetText(TW_SDEXP_FILE), c.path);
		EXPECT_EQ(d.GetInt32(TW_SDEXP_START), 4);
		EXPECT_EQ(d.GetInt32(TW_SDEXP_END), 60);
		EXPECT_EQ(d.GetInt32(TW_SDEXP_STEP), 1);
		EXPECT_DOUBLE_EQ(d.GetFloat(TW_SDEXP_SCALE), 1.0);
		EXPECT_EQ(d.GetCheck(TW_SDEXP_CAMERA_ON), c.camera);
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_CAMERA_ON), c.camera);
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_CAMERA), c.camera);
		EXPECT_EQ(d.GetSelection(TW_SDEXP_CAMERA), 0);
		EXPECT_EQ(d.GetSelectionText(TW_SDEXP_CAMERA), c.camera ? "Cam" : "");
		EXPECT_EQ(d.GetSelection(TW_SDEXP_ADD_MODE), TW_SDEXP_MODE_MATRIX);
		EXPECT_EQ(d.GetSelection(TW_SDEXP_MODE), TW_SDEXP_MODE_MATRIX);
		EXPECT_EQ(d.GetSelectionText(TW_SDEXP_ADD_MODE), "Matrix");
		EXPECT_TRUE(d.RowIds(TW_SDEXP_EXPORT_LIST).empty());
		EXPECT_FALSE(d.IsEnabled(TW_SDEXP_MODE));
		// a camera alone is something to export; nothing at all is not
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_EXPORT), c.camera);
		ASSERT_TRUE(d.CloseWindow());
		if (camera)
		{
			camera->Remove();
			BaseObject::Free(camera);
		}
	}
}

TEST_F(SdExporterDialog, TypedFileNameEndsInSd)
{
	const struct
	{
		const char *typed, *shown;
	} cases[] = {
		{"/tmp/out", "/tmp/out.sd"}, {"/tmp/out.sd", "/tmp/out.sd"}, {"sd", "sd.sd"}, {"/tmp/out.SD", "/tmp/out.SD.sd"},
		{"", ""}, // an emptied field stays empty rather than naming a hidden file ".sd"
	};
	AddCube("Cube");
	headless::DialogDriver d = Open();
	for (const auto& c : cases)
	{
		ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, c.typed));
		EXPECT_EQ(d.GetText(TW_SDEXP_FILE), c.shown) << c.typed;
	}
}

TEST_F(SdExporterDialog, EmptiedFileNameIsAskedForNotWrittenAsDotSd)
{
	AddCube("Cube");
	headless::DialogDriver d = Open();
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, ""));
	ASSERT_TRUE(d.Press(TW_SDEXP_EXPORT));
	EXPECT_EQ(Messages(), std::vector<std::string>{"Please set the path of the SD file!"});
	EXPECT_FALSE(FileExists(".sd"));
}

TEST_F(SdExporterDialog, ListsMoveRowsInOrderWithTheirModes)
{
	BaseObject* first = AddCube("Cube");
	AddCube("Cube", first);
	AddCube("Sphere");
	AddCube("Cube");
	headless::DialogDriver d = Open();
	const std::vector<Int32> all = RowIds({"Cube", "Cube {1}", "Sphere", "Cube {2}"});
	const Int32 cube = all[0], cube1 = all[1], sphere = all[2], cube2 = all[3];
	ASSERT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), all);
	EXPECT_EQ(d.RowText(TW_SDEXP_SCENE_LIST, cube2, TW_SDEXP_COLUMN_NAME), "Cube {2}");
	EXPECT_EQ(d.RowText(TW_SDEXP_SCENE_LIST, cube1, TW_SDEXP_COLUMN_NAME), "Cube {1}");
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_EXPORT));

	// selected rows enter in the scene list's order, whatever order they were picked in
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {cube2, cube}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), (std::vector<Int32>{cube1, sphere}));
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube, cube2}));
	EXPECT_EQ(d.RowText(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_NAME), "Cube {2}");
	for (Int32 row : {cube, cube2})
	{
		EXPECT_FALSE(d.RowCheck(TW_SDEXP_EXPORT_LIST, row, TW_SDEXP_COLUMN_VERTEX));
		EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, row, TW_SDEXP_COLUMN_IMAGE), "matrix");
	}
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_EXPORT));
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_MODE));

	// the add mode gives later rows the vertex check and image; rows already there keep theirs
	ASSERT_TRUE(d.Select(TW_SDEXP_ADD_MODE, TW_SDEXP_MODE_VERTEX));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	EXPECT_TRUE(d.RowIds(TW_SDEXP_SCENE_LIST).empty());
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube, cube2, cube1, sphere}));
	EXPECT_TRUE(d.RowCheck(TW_SDEXP_EXPORT_LIST, sphere, TW_SDEXP_COLUMN_VERTEX));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube1, TW_SDEXP_COLUMN_IMAGE), "vertex");
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube, TW_SDEXP_COLUMN_IMAGE), "matrix");

	// the mode combo sets the selected rows only
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {cube, sphere}));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_VERTEX));
	EXPECT_TRUE(d.RowCheck(TW_SDEXP_EXPORT_LIST, cube, TW_SDEXP_COLUMN_VERTEX));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube, TW_SDEXP_COLUMN_IMAGE), "vertex");
	EXPECT_FALSE(d.RowCheck(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_VERTEX));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_MATRIX));
	EXPECT_FALSE(d.RowCheck(TW_SDEXP_EXPORT_LIST, sphere, TW_SDEXP_COLUMN_VERTEX));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, sphere, TW_SDEXP_COLUMN_IMAGE), "matrix");
	EXPECT_TRUE(d.RowCheck(TW_SDEXP_EXPORT_LIST, cube1, TW_SDEXP_COLUMN_VERTEX));

	// a tick in the list swaps that row's image, both ways
	ASSERT_TRUE(d.SetRowCheck(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_VERTEX, true));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_IMAGE), "vertex");
	ASSERT_TRUE(d.SetRowCheck(TW_SDEXP_EXPORT_LIST, cube1, TW_SDEXP_COLUMN_VERTEX, false));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube1, TW_SDEXP_COLUMN_IMAGE), "matrix");

	// rows going back take their place in the document's order
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {sphere, cube}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), (std::vector<Int32>{cube, sphere}));
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube2, cube1}));
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {sphere}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE_ALL));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), all);
	EXPECT_EQ(d.SelectedRows(TW_SDEXP_SCENE_LIST), std::vector<Int32>{sphere});
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_EXPORT));
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_MODE));
}

TEST_F(SdExporterDialog, CameraSwitchDecidesWhetherAnEmptyListMayExport)
{
	AddCamera("Cam");
	AddCamera("Top");
	headless::DialogDriver d = Open();
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_EXPORT));
	ASSERT_TRUE(d.SelectText(TW_SDEXP_CAMERA, "Top"));
	EXPECT_EQ(d.GetSelection(TW_SDEXP_CAMERA), 1);
	ASSERT_TRUE(d.SetCheck(TW_SDEXP_CAMERA_ON, false));
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_EXPORT));
	EXPECT_FALSE(d.Press(TW_SDEXP_EXPORT));
	EXPECT_TRUE(headless::MessageBoxes().empty());
	ASSERT_TRUE(d.SetCheck(TW_SDEXP_CAMERA_ON, true));
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_EXPORT));
}

// Each failed check shows its message, writes nothing and closes the dialog like any export.
TEST_F(SdExporterDialog, ChecksAnswerInOrder)
{
	TempDir dir;
	AddCube("Cube");
	AddCamera("Cam");
	const std::string path = dir / "out.sd";
	const struct
	{
		std::string file;
		Int32 stored_camera, step;
		const char* message;
	} cases[] = {
		{"", 5, 0, "Please set the path of the SD file!"},
		{path, 5, 0, "Please select a camera to export!"}, // the stored camera is gone: none is picked
		{path, 0, 0, "Inc frame must be greater than zero!"},
		{path, 0, -2, "Inc frame must be greater than zero!"},
		{dir / "missing/out.sd", 0, 1, nullptr},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.file + " " + std::to_string(c.step));
		headless::ClearMessageBoxes();
		Stored()->SetInt32(TW_SDEXP_CAMERA, c.stored_camera);
		headless::DialogDriver d = Open();
		ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, c.file));
		ASSERT_TRUE(d.SetInt32(TW_SDEXP_STEP, c.step));
		ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
		ASSERT_TRUE(d.Press(TW_SDEXP_EXPORT));
		EXPECT_FALSE(d.IsOpen());
		const std::string expected = c.message ? c.message : "Could not open file to write: " + c.file;
		EXPECT_EQ(Messages(), std::vector<std::string>{expected});
		EXPECT_FALSE(FileExists(path));
	}
}

TEST_F(SdExporterDialog, ValuesComeBackWithTheDocument)
{
	AddCamera("Cam");
	AddCamera("Top");
	BaseObject* doomed = AddCube("Cube");
	AddCube("Sphere");
	AddCube("Cone");
	const Int32 cube = RowId("Cube"), sphere = RowId("Sphere"), cone = RowId("Cone");
	headless::DialogDriver d = Open();
	ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, "/tmp/kept"));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_START, 3));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_END, 33));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_STEP, 3));
	ASSERT_TRUE(d.SetFloat(TW_SDEXP_SCALE, 2.5));
	ASSERT_TRUE(d.SelectText(TW_SDEXP_CAMERA, "Top"));
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {cone}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_VERTEX)); // no row selected: only the combo changes
	ASSERT_TRUE(d.Select(TW_SDEXP_ADD_MODE, TW_SDEXP_MODE_VERTEX));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	ASSERT_TRUE(d.SetCheck(TW_SDEXP_CAMERA_ON, false));
	ASSERT_TRUE(d.CloseWindow()); // the window's close box keeps them too

	// the host reopens it with a layout
	ASSERT_TRUE(headless::RestoreLayout(ID_TW_SD_EXPORTER));
	ASSERT_TRUE(headless::FindOpenDialog(ID_TW_SD_EXPORTER, &d));
	EXPECT_EQ(d.GetText(TW_SDEXP_FILE), "/tmp/kept.sd");
	EXPECT_EQ(d.GetInt32(TW_SDEXP_START), 3);
	EXPECT_EQ(d.GetInt32(TW_SDEXP_END), 33);
	EXPECT_EQ(d.GetInt32(TW_SDEXP_STEP), 3);
	EXPECT_DOUBLE_EQ(d.GetFloat(TW_SDEXP_SCALE), 2.5);
	EXPECT_FALSE(d.GetCheck(TW_SDEXP_CAMERA_ON));
	EXPECT_EQ(d.GetSelectionText(TW_SDEXP_CAMERA), "Top");
	EXPECT_EQ(d.GetSelection(TW_SDEXP_ADD_MODE), TW_SDEXP_MODE_VERTEX);
	EXPECT_EQ(d.GetSelection(TW_SDEXP_MODE), TW_SDEXP_MODE_VERTEX);
	EXPECT_TRUE(d.RowIds(TW_SDEXP_SCENE_LIST).empty());
	ASSERT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cone, cube, sphere}));
	EXPECT_FALSE(d.RowCheck(TW_SDEXP_EXPORT_LIST, cone, TW_SDEXP_COLUMN_VERTEX));
	EXPECT_EQ(d.RowImage(TW_SDEXP_EXPORT_LIST, cube, TW_SDEXP_COLUMN_IMAGE), "vertex");
	EXPECT_EQ(d.RowText(TW_SDEXP_EXPORT_LIST, sphere, TW_SDEXP_COLUMN_NAME), "Sphere");
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_MODE));

	// the Close button keeps a shorter list: no row left over from the longer one comes back
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {cone, sphere}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE));
	ASSERT_TRUE(d.Press(TW_SDEXP_CLOSE));
	EXPECT_FALSE(d.IsOpen());
	d = Open();
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), std::vector<Int32>{cube});
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), (std::vector<Int32>{sphere, cone}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	ASSERT_TRUE(d.Press(TW_SDEXP_CLOSE));

	// a stored row whose object is gone is dropped; the others keep their order
	doomed->Remove();
	BaseObject::Free(doomed);
	d = Open();
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{sphere, cone}));
	EXPECT_TRUE(d.RowIds(TW_SDEXP_SCENE_LIST).empty());
}

TEST_F(SdExporterDialog, StoredCameraSwitchIsDroppedWhenTheDocumentHasNoCamera)
{
	AddCube("Cube");
	Stored()->SetBool(TW_SDEXP_CAMERA_ON, true);
	headless::DialogDriver d = Open();
	EXPECT_FALSE(d.GetCheck(TW_SDEXP_CAMERA_ON));
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_CAMERA_ON));
}

// The dialog outlives the document it was opened on: it acts on the one active when the user acts.
TEST_F(SdExporterDialog, DocumentChangeWhileOpenActsOnTheActiveDocument)
{
	AddCube("Cube");
	headless::DialogDriver d = Open();
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	BaseDocument* other = BaseDocument::Alloc();
	headless::SetActiveDocument(other);
	BaseDocument::Free(doc);
	doc = other;
	ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, "/tmp/other"));
	ASSERT_TRUE(d.Press(TW_SDEXP_CLOSE));
	EXPECT_EQ(Stored()->GetFilename(TW_SDEXP_FILE).Get(), "/tmp/other.sd");
	EXPECT_EQ(Stored()->GetInt32(TW_SDEXP_ROW_BASE), RowId("Cube"));
}

TEST_F(SdExporterDialog, CommandKeepsOneWindow)
{
	AddCube("Cube");
	headless::DialogDriver d = Open();
	EXPECT_EQ(d.Title(), "Tidewell SD Exporter");
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	CallCommand(ID_TW_SD_EXPORTER);
	EXPECT_EQ(headless::OpenDialogs(), std::vector<Int32>{ID_TW_SD_EXPORTER});
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), std::vector<Int32>{RowId("Cube")}); // brought forward, untouched
}

} // namespace
