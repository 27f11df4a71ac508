// TWSDExporter.h - the SD scene export command and its non-modal dialog.
#pragma once

#include "c4d.h"

#include <string>
#include <vector>

// Picks objects, a frame range, a scale and a camera, and writes them into one SD file. It keeps
// display names and row IDs only, never object pointers: the document may change while it stays open,
// so every action works on the active document of that moment.
class TWSDExporterDialog : public GeDialog
{
public:
	Bool CreateLayout() override;
	Bool InitValues() override;
	Bool Command(Int32 id, const BaseContainer& msg) override;
	Bool AskClose() override;

	// Formats a status line printf-style into the dialog's status field, cut at its bound.
	void SdExportStatus(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
	struct Candidate
	{
		Int32 row_id = 0;
		std::string name;
	};

	void Enabling();
	void Store();
	void Export();
	void FixFileName();
	void Move(Bool into_export, Bool all);
	void ApplyMode();
	void ShowMode(Int32 row);
	void FillSceneList();
	BaseContainer ExportRow(const std::string& name, Bool vertex) const;
	const Candidate* FindCandidate(Int32 row_id) const;
	Int32 Int(Int32 id) const;
	Bool Check(Int32 id) const;

	SimpleListView _scene, _export;
	AutoBitmap _matrix{String("matrix")}, _vertex{String("vertex")};
	std::vector<Candidate> _candidates; // in the document's order, as the scene list shows them
	Int32 _camera_count = 0;
};

class TWSDExporter : public CommandData
{
public:
	Bool Execute(BaseDocument* doc) override;
	Bool RestoreLayout(void* secret) override;

private:
	TWSDExporterDialog _dialog;
};
