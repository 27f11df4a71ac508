// mesh_export_test.cpp - the Mesh Exporter driven as a user would: its dialog, the frames it writes, and
// meshes that come back whole through the Mesh Importer.
#include "host_test.h"
#include "test_support.h"

#include "TW_Mesh_Importer.h"
#include "c4d_polygon.h"
#include "c4d_symbols.h"
#include "mesh_bin.h"
#include "plugin_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace
{

struct Settings
{
	std::string object; // entry of the object list, by text; empty = leave the selection
	std::string folder;
	std::string name; // empty = leave what the dialog shows
	Int32 padding = 5, first = 0, last = 0, step = 1;
	bool texture = true, velocity = true, compute = false;
};

class MeshExport : public HostTest
{
protected:
	PolygonObject* AddPolygon(const std::string& name, const std::vector<Vector>& points, const std::vector<CPolygon>& polygons,
		BaseObject* parent = nullptr)
	{
		PolygonObject* op = PolygonObject::Alloc(Int32(points.size()), Int32(polygons.size()));
		for (size_t i = 0; i < points.size(); ++i)
			op->GetPointW()[i] = points[i];
		for (size_t i = 0; i < polygons.size(); ++i)
			op->GetPolygonW()[i] = polygons[i];
		op->SetName(String(name));
		doc->InsertObject(op, parent, nullptr);
		return op;
	}
	static BaseTag* LastTag(BaseObject* op)
	{
		BaseTag* last = op->GetFirstTag();
		while (last && last->GetNext())
			last = last->GetNext();
		return last;
	}
	static void AddMap(BaseObject* op, const std::string& name, const std::vector<Float32>& values)
	{
		VertexMapTag* tag = VertexMapTag::Alloc(Int32(values.size()));
		for (size_t i = 0; i < values.size(); ++i)
			tag->GetDataAddressW()[i] = values[i];
		tag->SetName(String(name));
		op->InsertTag(tag, LastTag(op));
	}
	static void AddUvw(BaseObject* op, const std::vector<UVWStruct>& corners)
	{
		UVWTag* tag = UVWTag::Alloc(Int32(corners.size()));
		for (size_t i = 0; i < corners.size(); ++i)
			UVWTag::Set(tag->GetDataAddressW(), Int32(i), corners[i]);
		op->InsertTag(tag, LastTag(op));
	}

	// Opens the exporter as the user does, fills what `s` names, presses Export, and returns the status
	// line the run ended with; `more` may look at the dialog before the press.
	std::string Export(const Settings& s, const std::function<void(headless::DialogDriver&)>& more = nullptr)
	{
		std::string status;
		headless::SetModalDialogScript([&](headless::DialogDriver& d) {
			if (!s.object.empty())
			{
				EXPECT_TRUE(d.SelectText(TW_MEXP_OBJECT, s.object));
			}
			EXPECT_TRUE(d.SetFilename(TW_MEXP_FOLDER, s.folder));
			if (!s.name.empty())
			{
				EXPECT_TRUE(d.SetText(TW_MEXP_NAME, s.name));
			}
			EXPECT_TRUE(d.SetInt32(TW_MEXP_PADDING, s.padding));
			EXPECT_TRUE(d.SetInt32(TW_MEXP_START, s.first));
			EXPECT_TRUE(d.SetInt32(TW_MEXP_END, s.last));
			EXPECT_TRUE(d.SetInt32(TW_MEXP_STEP, s.step));
			EXPECT_TRUE(d.SetCheck(TW_MEXP_TEXTURE, s.texture));
			EXPECT_TRUE(d.SetCheck(TW_MEXP_VELOCITY, s.velocity));
			if (s.velocity)
			{
				EXPECT_TRUE(d.SetCheck(TW_MEXP_COMPUTE_VELOCITY, s.compute));
			}
			if (more)
				more(d);
			EXPECT_TRUE(d.Press(TW_MEXP_EXPORT));
			status = d.GetText(TW_MEXP_STATUS);
		});
		CallCommand(ID_TW_MESH_EXPORTER);
		headless::SetModalDialogScript(nullptr);
		return status;
	}

	static std::vector<std::string> Files(const std::string& folder)
	{
		std::vector<std::string> names;
		for (const auto& e : std::filesystem::directory_iterator(folder))
			names.push_back(e.path().filename().string());
		std::sort(names.begin(), names.end());
		return names;
	}
	static MeshHandle* Read(const std::string& path)
	{
		MeshHandle* h = MeshHandleOpen(path.c_str(), 2);
		EXPECT_NE(h, nullptr) << path;
		if (h && !MeshHandleRead(h, 100.0f))
		{
			ADD_FAILURE() << "cannot read " << path;
			MeshHandleFree(h);
			return nullptr;
		}
		MeshHandleCloseFile(h);
		return h;
	}
	static std::vector<uint32_t> Words(const std::string& path)
	{
		const std::string bytes = ReadFile(path);
		std::vector<uint32_t> words(bytes.size() / 4);
		std::memcpy(words.data(), bytes.data(), words.size() * 4);
		return words;
	}
	std::string LastBox() const { return headless::MessageBoxes().empty() ? "" : headless::MessageBoxes().back().text; }

	TempDir out;
};

TEST_F(MeshExport, DialogListsExportableObjectsDepthFirstWithDefaultsAndEnabling)
{
	doc->SetDocumentPath(Filename(out.path()));
	doc->SetMinTime(BaseTime(10.0, 25.0));
	doc->SetMaxTime(BaseTime(3.0, 1.0));
	BaseObject* group = BaseObject::Alloc(Onull);
	group->SetName(String("group"));
	doc->InsertObject(group, nullptr, nullptr);
	BaseObject* instance = BaseObject::Alloc(Oinstance);
	instance->SetName(String("copy"));
	doc->InsertObject(instance, nullptr, group);
	BaseObject* importer = BaseObject::Alloc(TW_Mesh_Importer);
	importer->SetName(String("liquid"));
	doc->InsertObject(importer, nullptr, instance);
	PolygonObject* leaf = AddPolygon("leaf", {{0, 0, 0}}, {}, group);
	AddPolygon("top", {{0, 0, 0}}, {}, group); // inserted first among the group's children
	instance->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, leaf);

	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		std::vector<std::string> listed;
		for (const headless::Gadget& g : d.Gadgets())
			if (g.id == TW_MEXP_OBJECT)
				for (const auto& child : g.children)
					listed.push_back(child.second);
		// the instance names its target where it stands; a null object is not offered
		EXPECT_EQ(listed, (std::vector<std::string>{"top", "leaf", "leaf", "liquid"}));
		EXPECT_EQ(d.GetSelection(TW_MEXP_OBJECT), 0);
		EXPECT_EQ(d.GetText(TW_MEXP_NAME), "top");
		EXPECT_EQ(d.GetText(TW_MEXP_FOLDER), out.path());
		EXPECT_EQ(d.GetInt32(TW_MEXP_PADDING), 5);
		EXPECT_EQ(d.GetInt32(TW_MEXP_START), 10);
		EXPECT_EQ(d.GetInt32(TW_MEXP_END), 75);
		EXPECT_EQ(d.GetInt32(TW_MEXP_STEP), 1);
		EXPECT_TRUE(d.GetCheck(TW_MEXP_TEXTURE));
		EXPECT_TRUE(d.GetCheck(TW_MEXP_VELOCITY));
		EXPECT_FALSE(d.GetCheck(TW_MEXP_COMPUTE_VELOCITY));
		EXPECT_TRUE(d.IsEnabled(TW_MEXP_EXPORT));
		EXPECT_TRUE(d.IsEnabled(TW_MEXP_COMPUTE_VELOCITY));

		EXPECT_TRUE(d.SelectText(TW_MEXP_OBJECT, "liquid"));
		EXPECT_EQ(d.GetText(TW_MEXP_NAME), "liquid");
		EXPECT_TRUE(d.SetCheck(TW_MEXP_VELOCITY, false));
		EXPECT_FALSE(d.IsEnabled(TW_MEXP_COMPUTE_VELOCITY));
		// frame digits stay within what a frame number can use
		EXPECT_TRUE(d.SetInt32(TW_MEXP_PADDING, 40));
		EXPECT_EQ(d.GetInt32(TW_MEXP_PADDING), 10);
		EXPECT_TRUE(d.Press(TW_MEXP_CANCEL));
		EXPECT_FALSE(d.IsOpen());
	});
	CallCommand(ID_TW_MESH_EXPORTER);

	// With nothing to export, Export cannot be pressed.
	BaseDocument* empty = BaseDocument::Alloc();
	headless::SetActiveDocument(empty);
	bool ran = false;
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		ran = true;
		EXPECT_FALSE(d.IsEnabled(TW_MEXP_EXPORT));
		EXPECT_FALSE(d.Press(TW_MEXP_EXPORT));
	});
	CallCommand(ID_TW_MESH_EXPORTER);
	EXPECT_TRUE(ran);
	headless::SetActiveDocument(doc);
	BaseDocument::Free(empty);
}

TEST_F(MeshExport, SettingsComeBackWhenTheDialogOpensAgain)
{
	AddPolygon("a", {{0, 0, 0}}, {});
	AddPolygon("b", {{0, 0, 0}}, {});
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		EXPECT_TRUE(d.SelectText(TW_MEXP_OBJECT, "a"));
		EXPECT_TRUE(d.SetFilename(TW_MEXP_FOLDER, "/elsewhere"));
		EXPECT_TRUE(d.SetInt32(TW_MEXP_PADDING, 3));
		EXPECT_TRUE(d.SetInt32(TW_MEXP_START, -4));
		EXPECT_TRUE(d.SetInt32(TW_MEXP_END, 44));
		EXPECT_TRUE(d.SetInt32(TW_MEXP_STEP, 0));
		EXPECT_TRUE(d.SetCheck(TW_MEXP_TEXTURE, false));
		EXPECT_TRUE(d.SetCheck(TW_MEXP_COMPUTE_VELOCITY, true));
		EXPECT_TRUE(d.SetCheck(TW_MEXP_VELOCITY, false));
		EXPECT_TRUE(d.CloseWindow());
	});
	CallCommand(ID_TW_MESH_EXPORTER);
	headless::SetModalDialogScript([&](headless::DialogDriver& d) {
		EXPECT_EQ(d.GetSelectionText(TW_MEXP_OBJECT), "a");
		EXPECT_EQ(d.GetText(TW_MEXP_NAME), "a");
		EXPECT_EQ(d.GetText(TW_MEXP_FOLDER), "/elsewhere");
		EXPECT_EQ(d.GetInt32(TW_MEXP_PADDING), 3);
		EXPECT_EQ(d.GetInt32(TW_MEXP_START), -4);
		EXPECT_EQ(d.GetInt32(TW_MEXP_END), 44);
		EXPECT_EQ(d.GetInt32(TW_MEXP_STEP), 0);
		EXPECT_FALSE(d.GetCheck(TW_MEXP_TEXTURE));
		EXPECT_FALSE(d.GetCheck(TW_MEXP_VELOCITY));
		EXPECT_TRUE(d.GetCheck(TW_MEXP_COMPUTE_VELOCITY));
		EXPECT_FALSE(d.IsEnabled(TW_MEXP_COMPUTE_VELOCITY));
		EXPECT_TRUE(d.Press(TW_MEXP_CANCEL));
	});
	CallCommand(ID_TW_MESH_EXPORTER);
	const BaseContainer* bc = doc->GetSettingsInstance(DOCUMENTSETTINGS_DOCUMENT);
	EXPECT_EQ(bc->GetInt32(TW_MEXP_RESERVED), 1);
}

TEST_F(MeshExport, ChecksStopTheExportInOrderAndKeepTheDialogOpen)
{
	AddPolygon("tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {CPolygon(0, 1, 2)});
	const struct
	{
		std::string folder, name;
		Int32 step;
		std::string message;
	} cases[] = {
		{"", "", 0, "Please set the folder of the mesh sequence!"},
		{out.path(), "", 0, "Please set a name for the mesh sequence!"},
		{out.path(), "wave", 0, "Inc frame must be greater than zero!"},
		{out.path(), "wave", -2, "Inc frame must be greater than zero!"},
		// never cut to another path
		{out.path(), std::string(256, 'n'), 1,
			"The folder or the name of the sequence is too long. Only folders and names of at most 255 characters are "
			"accepted."},
	};
	for (const auto& c : cases)
	{
		headless::ClearMessageBoxes();
		headless::SetModalDialogScript([&](headless::DialogDriver& d) {
			EXPECT_TRUE(d.SetFilename(TW_MEXP_FOLDER, c.folder));
			EXPECT_TRUE(d.SetText(TW_MEXP_NAME, c.name));
			EXPECT_TRUE(d.SetInt32(TW_MEXP_STEP, c.step));
			EXPECT_TRUE(d.Press(TW_MEXP_EXPORT));
			EXPECT_TRUE(d.IsOpen());
		});
		CallCommand(ID_TW_MESH_EXPORTER);
		EXPECT_EQ(LastBox(), c.message);
		EXPECT_TRUE(Files(out.path()).empty());
	}
}

TEST_F(MeshExport, FramesAreNamedAndSteppedAndTheTimeComesBack)
{
	AddPolygon("tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {CPolygon(0, 1, 2)});
	doc->SetTime(BaseTime(7.0, 25.0));
	Settings s;
	s.folder = out.path();
	s.name = "wave";
	s.padding = 4;
	s.first = 1;
	s.last = 3;
	EXPECT_EQ(Export(s), "Ready");
	EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"wave0001.bin", "wave0002.bin", "wave0003.bin"}));
	EXPECT_EQ(doc->GetTime(), BaseTime(7.0, 25.0));

	TempDir stepped;
	s.folder = stepped.path();
	s.padding = 2;
	s.first = 0;
	s.last = 10;
	s.step = 4;
	EXPECT_EQ(Export(s), "Ready");
	EXPECT_EQ(Files(stepped.path()), (std::vector<std::string>{"wave00.bin", "wave04.bin", "wave08.bin"}));

	// the first frame after the last writes nothing and still ends ready
	TempDir none;
	s.folder = none.path();
	s.first = 5;
	s.last = 4;
	EXPECT_EQ(Export(s), "Ready");
	EXPECT_TRUE(Files(none.path()).empty());
	EXPECT_EQ(doc->GetTime(), BaseTime(7.0, 25.0));
}

TEST_F(MeshExport, QuadsSplitWeightMapsAndTextureAreWrittenAsTheFileExpects)
{
	PolygonObject* op = AddPolygon("quad", {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}}, {CPolygon(0, 1, 2, 3)});
	AddMap(op, "TW_Mesh_Weight_1", {0.1f, 0.2f, 0.3f, 0.4f});
	AddMap(op, "other", {9, 9, 9, 9});
	AddMap(op, "weight_second", {0.5f, 0.5f, 0.5f, 0.5f});
	AddUvw(op, {UVWStruct({0.1, 0.2, 0}, {0.3, 0.4, 0}, {0.5, 0.6, 0}, {0.7, 0.8, 0})});
	AddUvw(op, {UVWStruct({1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1})}); // only the first counts
	Settings s;
	s.folder = out.path();
	s.name = "q";
	s.padding = 1;
	s.velocity = false;
	ASSERT_EQ(Export(s), "Ready");

	const std::vector<uint32_t> w = Words(out / "q0.bin");
	ASSERT_GE(w.size(), 4u + 12 + 1 + 6);
	EXPECT_EQ(w[3], 4u); // V
	const size_t faces = 4 + 12;
	EXPECT_EQ(w[faces], 2u);
	EXPECT_EQ(std::vector<uint32_t>(w.begin() + faces + 1, w.begin() + faces + 7), (std::vector<uint32_t>{2, 1, 0, 3, 2, 0}));

	MeshHandle* h = Read(out / "q0.bin");
	ASSERT_NE(h, nullptr);
	const MeshBinFile* f = MeshHandleBinFile(h);
	EXPECT_EQ(f->weight_count, 2);
	EXPECT_EQ(f->velocity_marker, 0u);
	const float first_map[] = {0.1f, 0.2f, 0.3f, 0.4f};
	const float u[] = {0.1f, 0.3f, 0.5f, 0.7f}, v[] = {0.2f, 0.4f, 0.6f, 0.8f};
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_FLOAT_EQ(f->vertices[i].position[0], i == 1 || i == 2 ? 1.0f : 0.0f) << i;
		EXPECT_FLOAT_EQ(f->vertices[i].weights[0], first_map[i]) << i;
		EXPECT_FLOAT_EQ(f->vertices[i].texture[0], u[i]) << i;
		EXPECT_FLOAT_EQ(f->vertices[i].texture[1], 1.0f - v[i]) << i;
	}
	MeshHandleFree(h);

	// without weight maps one weight, all implied
	while (BaseTag* t = op->GetFirstTag())
	{
		op->RemoveTag(t);
		BaseTag::Free(t);
	}
	s.name = "plain";
	ASSERT_EQ(Export(s), "Ready");
	h = Read(out / "plain0.bin");
	ASSERT_NE(h, nullptr);
	EXPECT_EQ(MeshHandleBinFile(h)->texture_marker, MESH_BIN_TEXTURE_MARKER);
	EXPECT_EQ(MeshHandleBinFile(h)->weight_count, 1);
	EXPECT_FLOAT_EQ(MeshHandleBinFile(h)->vertices[3].texture[1], 0.0f);
	MeshHandleFree(h);
}

// Fault: a frame whose file could not be created was skipped without a word, and a polygon naming a
// point the mesh does not have was written into a file every reader refuses.
TEST_F(MeshExport, FramesThatCannotBeWrittenAreReportedWhileTheOthersAreWritten)
{
	PolygonObject* op = AddPolygon("tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {CPolygon(0, 1, 2)});
	std::filesystem::create_directories(out / "wave2.bin/kept");
	Settings s;
	s.folder = out.path();
	s.name = "wave";
	s.padding = 1;
	s.first = 1;
	s.last = 3;
	EXPECT_EQ(Export(s), "[ERROR] 1 of 3 frames not written: 2");
	EXPECT_TRUE(FileExists(out / "wave1.bin"));
	EXPECT_TRUE(FileExists(out / "wave3.bin"));
	const auto& console = headless::ConsoleLines();
	ASSERT_FALSE(console.empty());
	EXPECT_EQ(console.back().rfind("[ERROR] Frame 2 not written to '" + (out / "wave2.bin") + "': cannot create the file", 0), 0u)
		<< console.back();

	op->GetPolygonW()[0] = CPolygon(0, 1, 3);
	TempDir bad;
	s.folder = bad.path();
	s.last = 1;
	EXPECT_EQ(Export(s), "[ERROR] 1 of 1 frames not written: 1");
	EXPECT_TRUE(Files(bad.path()).empty());
	EXPECT_NE(headless::ConsoleLines().back().find("polygon 0 refers to a point outside the mesh's 3 points"), std::string::npos);
}

// Fault: of two objects with one name, the second exported the first one's mesh.
TEST_F(MeshExport, OfTwoObjectsWithOneNameTheChosenOneIsWritten)
{
	// listed as: the grouped twin of four points, then the twin of three
	AddPolygon("twin", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}, {CPolygon(0, 1, 2)});
	BaseObject* group = BaseObject::Alloc(Onull);
	doc->InsertObject(group, nullptr, nullptr);
	AddPolygon("twin", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 100, 0}}, {CPolygon(0, 1, 3, 2)}, group);
	Settings s;
	s.folder = out.path();
	s.name = "t";
	s.padding = 1;
	ASSERT_EQ(Export(s,
				  [](headless::DialogDriver& d) {
					  EXPECT_TRUE(d.Select(TW_MEXP_OBJECT, 1));
					  EXPECT_TRUE(d.SetText(TW_MEXP_NAME, "t"));
				  }),
		"Ready");
	const std::vector<uint32_t> w = Words(out / "t0.bin");
	ASSERT_GT(w.size(), 3u);
	EXPECT_EQ(w[3], 3u);
}

class MeshExportRoundTrip : public MeshExport
{
protected:
	// Frame k: vertex i at (k + i, i / 2, -i) / 10 m, moving at (i, 2, -k) m/s, texture (i / 10, 1 - i / 20, 0.5),
	// three weights of which two are stored; faces over a strip, corners in varied order.
	static constexpr int32_t kVertices = 6, kFaces = 4, kWeights = 3;
	std::string WriteSource(int frame)
	{
		char file[32];
		std::snprintf(file, sizeof file, "src_%05d.bin", frame);
		const std::string path = in / file;
		MeshBinFile* f = MeshBinCreate(path.c_str());
		EXPECT_NE(f, nullptr);
		EXPECT_TRUE(MeshBinAllocate(f, kVertices, kFaces, kWeights, true, true));
		for (int32_t i = 0; i < kVertices; ++i)
		{
			MeshVertex& v = f->vertices[i];
			v.position[0] = float(frame + i) / 10;
			v.position[1] = float(i) / 20;
			v.position[2] = -float(i) / 10;
			v.velocity[0] = float(i);
			v.velocity[1] = 2;
			v.velocity[2] = -float(frame);
			v.texture[0] = float(i) / 10;
			v.texture[1] = 1.0f - float(i) / 20;
			v.texture[2] = 0.5f;
			v.weights[0] = 0.125f * float(i % 3);
			v.weights[1] = 0.25f;
		}
		const uint32_t corners[kFaces][3] = {{0, 1, 2}, {2, 1, 3}, {4, 3, 2}, {3, 4, 5}};
		for (int32_t k = 0; k < kFaces; ++k)
			std::memcpy(f->faces[k].index, corners[k], sizeof corners[k]);
		EXPECT_TRUE(MeshBinWrite(f));
		MeshBinFree(f);
		return path;
	}

	TempDir in;
};

TEST_F(MeshExportRoundTrip, AnImportedSequenceComesBackWhole)
{
	WriteSource(0);
	const std::string first = WriteSource(1);
	BaseObject* importer = BaseObject::Alloc(TW_Mesh_Importer);
	doc->InsertObject(importer, nullptr, nullptr);
	headless::UserSetParameter(importer, TW_MI_FILE, GeData(Filename(first)));
	ASSERT_EQ(importer->GetName().Get(), "src");

	Settings s;
	s.object = "src";
	s.folder = out.path();
	s.first = 0;
	s.last = 1;
	ASSERT_EQ(Export(s), "Ready");

	for (int frame = 0; frame <= 1; ++frame)
	{
		char file[32];
		std::snprintf(file, sizeof file, "src%05d.bin", frame);
		MeshHandle* original = Read(WriteSource(frame));
		MeshHandle* exported = Read(out / file);
		ASSERT_TRUE(original && exported) << file;
		const MeshBinFile* a = MeshHandleBinFile(original);
		const MeshBinFile* b = MeshHandleBinFile(exported);
		ASSERT_EQ(b->vertex_count, a->vertex_count);
		ASSERT_EQ(b->kept_face_count, a->kept_face_count);
		ASSERT_EQ(b->weight_count, a->weight_count);
		for (int32_t i = 0; i < a->vertex_count; ++i)
			for (int c = 0; c < 3; ++c)
			{
				EXPECT_FLOAT_EQ(b->vertices[i].position[c], a->vertices[i].position[c]) << file << " vertex " << i;
				EXPECT_NEAR(b->vertices[i].texture[c], a->vertices[i].texture[c], 1e-6) << file << " vertex " << i;
				EXPECT_FLOAT_EQ(b->vertices[i].velocity[c], a->vertices[i].velocity[c]) << file << " vertex " << i;
				EXPECT_NEAR(b->vertices[i].weights[c], a->vertices[i].weights[c], 1e-6) << file << " vertex " << i;
			}
		for (int32_t k = 0; k < a->kept_face_count; ++k)
			for (int c = 0; c < 3; ++c)
				EXPECT_EQ(b->faces[k].index[c], a->faces[k].index[c]) << file << " face " << k;
		MeshHandleFree(original);
		MeshHandleFree(exported);
	}
}

TEST_F(MeshExportRoundTrip, ComputedVelocitiesComeFromTheNextFrameAtTheDocumentsRate)
{
	// frame k at x = (k + i) / 10 m: 0.1 m a frame at 25 fps is 2.5 m/s, whatever the file's own velocities
	for (int frame = 0; frame <= 2; ++frame)
		WriteSource(frame);
	BaseObject* importer = BaseObject::Alloc(TW_Mesh_Importer);
	doc->InsertObject(importer, nullptr, nullptr);
	headless::UserSetParameter(importer, TW_MI_FILE, GeData(Filename(in / "src_00000.bin")));
	Settings s;
	s.folder = out.path();
	s.name = "moved";
	s.padding = 1;
	s.first = 0;
	s.last = 3;
	s.compute = true;
	// past the sequence the importer builds nothing: that frame is reported, not written
	ASSERT_EQ(Export(s), "[ERROR] 1 of 4 frames not written: 3");
	EXPECT_FALSE(FileExists(out / "moved3.bin"));
	for (int frame = 0; frame <= 2; ++frame)
	{
		const std::string file = out / ("moved" + std::to_string(frame) + ".bin");
		MeshHandle* h = Read(file);
		ASSERT_NE(h, nullptr);
		// the last frame has no next one: its velocities come from the speed maps
		const bool last = frame == 2;
		for (int32_t i = 0; i < kVertices; ++i)
		{
			const float* v = MeshHandleVelocity(h, i);
			EXPECT_NEAR(v[0], last ? float(i) : 2.5f, 1e-5f) << file << " vertex " << i;
			EXPECT_NEAR(v[1], last ? 2.0f : 0.0f, 1e-6f) << file << " vertex " << i;
			EXPECT_NEAR(v[2], last ? -2.0f : 0.0f, 1e-6f) << file << " vertex " << i;
		}
		MeshHandleFree(h);
	}
}

} // namespace
