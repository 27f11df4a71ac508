// sd_exporter_dialog_test.cpp - the SD Exporter's dialog driven as a user would: defaults, the two lists
// and their modes, the checks, the values kept with the document, and one export through the button.
#include "host_test.h"

#include "c4d_polygon.h"
#include "c4d_symbols.h"
#include "plugin_ids.h"
#include "sd_file.h"

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

class SdExporterDialog : public HostTest
{
protected:
	BaseObject* AddCube(const std::string& name, BaseObject* parent = nullptr)
	{
		PolygonObject* op = PolygonObject::Alloc(4, 1);
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
	static std::string Mode(headless::DialogDriver& d, Int32 row)
	{
		const bool vertex = d.RowCheck(TW_SDEXP_EXPORT_LIST, row, TW_SDEXP_COLUMN_VERTEX);
		const std::string image = d.RowImage(TW_SDEXP_EXPORT_LIST, row, TW_SDEXP_COLUMN_IMAGE);
		return image == (vertex ? "vertex" : "matrix") ? image : "check and image disagree";
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
		{"", "scene.c4d", "", false}, // never saved: no folder, no default
	};
	doc->SetMinTime(BaseTime(4.0, 25.0));
	doc->SetMaxTime(BaseTime(60.0, 25.0));
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.path);
		doc->SetDocumentPath(Filename(c.folder));
		doc->SetDocumentName(Filename(c.name));
		BaseObject* camera = c.camera ? AddCamera("Cam") : nullptr;
		Stored()->FlushAll();
		// a switch stored for a camera since deleted would be on, disabled and unanswerable
		Stored()->SetBool(TW_SDEXP_CAMERA_ON, true);

		headless::DialogDriver d = Open();
		EXPECT_EQ(d.GetText(TW_SDEXP_FILE), c.path);
		EXPECT_EQ((std::vector<Int32>{d.GetInt32(TW_SDEXP_START), d.GetInt32(TW_SDEXP_END), d.GetInt32(TW_SDEXP_STEP)}),
			(std::vector<Int32>{4, 60, 1}));
		EXPECT_DOUBLE_EQ(d.GetFloat(TW_SDEXP_SCALE), 1.0);
		EXPECT_EQ(d.GetCheck(TW_SDEXP_CAMERA_ON), c.camera);
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_CAMERA_ON), c.camera);
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_CAMERA), c.camera);
		EXPECT_EQ(d.GetSelectionText(TW_SDEXP_CAMERA), c.camera ? "Cam" : "");
		EXPECT_EQ(d.GetSelectionText(TW_SDEXP_ADD_MODE), "Matrix");
		EXPECT_FALSE(d.IsEnabled(TW_SDEXP_MODE));
		// a camera alone is something to export; nothing at all is not
		EXPECT_EQ(d.IsEnabled(TW_SDEXP_EXPORT), c.camera);
		if (c.camera)
		{
			ASSERT_TRUE(d.SetCheck(TW_SDEXP_CAMERA_ON, false));
			EXPECT_FALSE(d.IsEnabled(TW_SDEXP_EXPORT));
		}
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
	headless::DialogDriver d = Open();
	for (const auto& c : cases)
	{
		ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, c.typed));
		EXPECT_EQ(d.GetText(TW_SDEXP_FILE), c.shown) << c.typed;
	}
}

TEST_F(SdExporterDialog, ListsMoveRowsInOrderWithTheirModes)
{
	BaseObject* first = AddCube("Cube");
	AddCube("Cube", first);
	AddCube("Sphere");
	AddCube("Cube");
	headless::DialogDriver d = Open();
	const std::vector<Int32> all = {RowId("Cube"), RowId("Cube {1}"), RowId("Sphere"), RowId("Cube {2}")};
	const Int32 cube = all[0], cube1 = all[1], sphere = all[2], cube2 = all[3];
	ASSERT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), all);

	// selected rows enter in the scene list's order, whatever order they were picked in
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {cube2, cube}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), (std::vector<Int32>{cube1, sphere}));
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube, cube2}));
	EXPECT_EQ(d.RowText(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_NAME), "Cube {2}");
	EXPECT_EQ(Mode(d, cube2), "matrix");
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_EXPORT));
	EXPECT_TRUE(d.IsEnabled(TW_SDEXP_MODE));

	// the add mode reaches later rows only; the mode combo the selected rows only; a tick its row
	ASSERT_TRUE(d.Select(TW_SDEXP_ADD_MODE, TW_SDEXP_MODE_VERTEX));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	EXPECT_TRUE(d.RowIds(TW_SDEXP_SCENE_LIST).empty());
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube, cube2, cube1, sphere}));
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {cube, sphere}));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_MATRIX));
	ASSERT_TRUE(d.SetRowCheck(TW_SDEXP_EXPORT_LIST, cube2, TW_SDEXP_COLUMN_VERTEX, true));
	std::vector<std::string> modes;
	for (Int32 row : d.RowIds(TW_SDEXP_EXPORT_LIST))
		modes.push_back(Mode(d, row));
	EXPECT_EQ(modes, (std::vector<std::string>{"matrix", "vertex", "vertex", "matrix"}));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_VERTEX));
	EXPECT_EQ(Mode(d, sphere), "vertex");

	// rows going back take their place in the document's order
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {sphere, cube}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), (std::vector<Int32>{cube, sphere}));
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cube2, cube1}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE_ALL));
	EXPECT_EQ(d.RowIds(TW_SDEXP_SCENE_LIST), all);
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_EXPORT));
	EXPECT_FALSE(d.IsEnabled(TW_SDEXP_MODE));
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
		std::string message;
	} cases[] = {
		{"", 5, 0, "Please set the path of the SD file!"},
		{path, 5, 0, "Please select a camera to export!"}, // the stored camera is gone: none is picked
		{path, 0, 0, "Inc frame must be greater than zero!"},
		{path, 0, -2, "Inc frame must be greater than zero!"},
		{dir / "no/out.sd", 0, 1, "Could not open file to write: " + dir / "no/out.sd"},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.message);
		headless::ClearMessageBoxes();
		Stored()->SetInt32(TW_SDEXP_CAMERA, c.stored_camera);
		headless::DialogDriver d = Open();
		ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, c.file));
		ASSERT_TRUE(d.SetInt32(TW_SDEXP_STEP, c.step));
		ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
		ASSERT_TRUE(d.Press(TW_SDEXP_EXPORT));
		EXPECT_FALSE(d.IsOpen());
		EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
		EXPECT_FALSE(FileExists(path));
		EXPECT_FALSE(FileExists(".sd"));
	}
}

TEST_F(SdExporterDialog, ExportButtonWritesTheFileAndKeepsTheValues)
{
	TempDir dir;
	AddCube("Cube");
	AddCube("Cube");
	AddCamera("Cam");
	doc->SetDocumentName(Filename("shot.c4d"));
	headless::DialogDriver d = Open();
	ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, dir / "shot"));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_START, 0));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_END, 10));
	ASSERT_TRUE(d.SetInt32(TW_SDEXP_STEP, 3));
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {RowId("Cube {1}")}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD));
	ASSERT_TRUE(d.Press(TW_SDEXP_EXPORT));
	EXPECT_FALSE(d.IsOpen());
	EXPECT_TRUE(headless::MessageBoxes().empty());
	EXPECT_EQ(d.GetText(TW_SDEXP_STATUS), "Ready");

	SdFile* f = SdOpen((dir / "shot.sd").c_str(), false);
	ASSERT_TRUE(f && SdReadHeader(f) && SdReadObjectDescriptor(f, &f->descriptor));
	EXPECT_STREQ(f->title, "shot.c4d");
	EXPECT_EQ(f->first_frame, 0);
	EXPECT_EQ(f->last_frame, 3);
	EXPECT_EQ(f->has_camera, 1);
	EXPECT_EQ(f->object_count, 1);
	EXPECT_STREQ(f->descriptor.name, "Cube {1}");
	SdClose(f);
	EXPECT_EQ(Stored()->GetInt32(TW_SDEXP_ROW_BASE), RowId("Cube {1}"));
	EXPECT_EQ(Stored()->GetInt32(TW_SDEXP_STEP), 3);
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
	const std::pair<Int32, Int32> numbers[] = {{TW_SDEXP_START, 3}, {TW_SDEXP_END, 33}, {TW_SDEXP_STEP, 3}};
	ASSERT_TRUE(d.SetText(TW_SDEXP_FILE, "/tmp/kept"));
	for (const auto& n : numbers)
		ASSERT_TRUE(d.SetInt32(n.first, n.second));
	ASSERT_TRUE(d.SetFloat(TW_SDEXP_SCALE, 2.5));
	ASSERT_TRUE(d.SelectText(TW_SDEXP_CAMERA, "Top"));
	ASSERT_TRUE(d.SetCheck(TW_SDEXP_CAMERA_ON, false));
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_SCENE_LIST, {cone}));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD));
	ASSERT_TRUE(d.Select(TW_SDEXP_MODE, TW_SDEXP_MODE_VERTEX)); // no row selected: only the combo changes
	ASSERT_TRUE(d.Select(TW_SDEXP_ADD_MODE, TW_SDEXP_MODE_VERTEX));
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	ASSERT_TRUE(d.CloseWindow()); // the window's close box keeps them too

	// the host reopens it with a layout
	ASSERT_TRUE(headless::RestoreLayout(ID_TW_SD_EXPORTER));
	ASSERT_TRUE(headless::FindOpenDialog(ID_TW_SD_EXPORTER, &d));
	EXPECT_EQ(d.GetText(TW_SDEXP_FILE), "/tmp/kept.sd");
	for (const auto& n : numbers)
		EXPECT_EQ(d.GetInt32(n.first), n.second) << n.first;
	EXPECT_DOUBLE_EQ(d.GetFloat(TW_SDEXP_SCALE), 2.5);
	EXPECT_FALSE(d.GetCheck(TW_SDEXP_CAMERA_ON));
	EXPECT_EQ(d.GetSelectionText(TW_SDEXP_CAMERA), "Top");
	EXPECT_EQ(d.GetSelection(TW_SDEXP_ADD_MODE), TW_SDEXP_MODE_VERTEX);
	EXPECT_EQ(d.GetSelection(TW_SDEXP_MODE), TW_SDEXP_MODE_VERTEX);
	EXPECT_TRUE(d.RowIds(TW_SDEXP_SCENE_LIST).empty());
	ASSERT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{cone, cube, sphere}));
	EXPECT_EQ(Mode(d, cone), "matrix");
	EXPECT_EQ(Mode(d, cube), "vertex");

	// a shortened list stays short: rows stored for the longer one must not come back
	ASSERT_TRUE(d.SelectRows(TW_SDEXP_EXPORT_LIST, {cone, sphere}));
	ASSERT_TRUE(d.Press(TW_SDEXP_REMOVE));
	ASSERT_TRUE(d.Press(TW_SDEXP_CLOSE));
	d = Open();
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), std::vector<Int32>{cube});
	ASSERT_TRUE(d.Press(TW_SDEXP_ADD_ALL));
	ASSERT_TRUE(d.Press(TW_SDEXP_CLOSE));

	// a stored row whose object is gone is dropped; the others keep their order
	doomed->Remove();
	BaseObject::Free(doomed);
	d = Open();
	EXPECT_EQ(d.RowIds(TW_SDEXP_EXPORT_LIST), (std::vector<Int32>{sphere, cone}));
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

} // namespace
