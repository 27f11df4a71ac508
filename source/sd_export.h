// sd_export.h - what the SD Exporter offers from a document, and the run that writes picked objects and a
// camera over a frame range into one SD file.
#pragma once

#include "c4d.h"
#include "c4d_polygon.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Longest display name of an object, in bytes; the same bound as the names stored in the file.
constexpr Int32 TW_SDEXP_NAME_MAX = 63;
// Longest texture path written, in bytes.
constexpr Int32 TW_SDEXP_TEXTURE_MAX = 255;

// The 32-bit hash the exporter identifies objects and rows by: h = h * 101 + c over the bytes (each taken
// as signed), wrapping.
Int32 SdExportHash(const char* text, size_t length);
inline Int32 SdExportHash(const std::string& text) { return SdExportHash(text.data(), text.size()); }

// The text an object's identity hash is taken over: its name, then "|" and each preceding sibling's name
// (nearest first), then "|" and each ancestor's name (parent first).
std::string SdIdentityText(const BaseObject* op);

// One object a user may export: a polygon object or a Mesh Importer, or a group of polygon objects taken
// together under the null that heads it.
struct SdExportEntry
{
	const BaseObject* object = nullptr; // the single object, or the null heading the group
	// A group's polygon objects, in hierarchy order, each with the offset of its points in the group's
	// position (relative to the heading null, translation only). Empty for a single object.
	std::vector<std::pair<const PolygonObject*, Vector>> members;
	Bool group = false;
	std::string name; // display name, at most TW_SDEXP_NAME_MAX bytes
	Int32 row_id = 0; // hash of the display name
	Int32 identity = 0; // hash of SdIdentityText(object)

	// The entry's points and polygons: the object's own (a Mesh Importer's are those of the object it
	// built), or the members' with points shifted and corner indices offset. Either may be empty.
	Int32 PointCount() const;
	Int32 PolygonCount() const;
	// Calls f(point) for every point, in order.
	void EachPoint(const std::function<void(const Vector&)>& f) const;
	// Calls f(polygon) for every polygon with corner indices into the entry's points, in order.
	void EachPolygon(const std::function<void(const CPolygon&)>& f) const;
};

// The candidates of a document as it stands: collected depth first from a polygonised copy that this
// object owns, so the entries stay valid as long as it lives. Objects behind nulls of the copy (a Mesh
// Importer the copy cannot show, the head of a polygon group) are looked up in the live document.
class SdExportCandidates
{
public:
	explicit SdExportCandidates(BaseDocument* doc);
	~SdExportCandidates();
	SdExportCandidates(const SdExportCandidates&) = delete;
	SdExportCandidates& operator=(const SdExportCandidates&) = delete;

	const std::vector<SdExportEntry>& Entries() const { return _entries; }
	// The entry of a row ID, or null.
	const SdExportEntry* FindRow(Int32 row_id) const;
	// The entry with this identity hash; when several share it, the one with this display name. Null when
	// none matches, so that one object is never written with another's motion.
	const SdExportEntry* Match(Int32 identity, const std::string& name) const;

private:
	BaseDocument* _copy = nullptr;
	std::vector<SdExportEntry> _entries;
};

// The document's camera objects, depth first.
std::vector<BaseObject*> SdExportCameras(BaseDocument* doc);

// The file name the dialog offers: the document's folder and name joined by "/", everything after the
// last dot replaced by "sd"; empty when the document has no folder.
std::string SdExportDefaultPath(BaseDocument* doc);
// A typed file name as the dialog keeps it: ".sd" appended when it is shorter than 3 characters or does
// not end in ".sd".
std::string SdExportFixPath(const std::string& typed);

// One row of the export list.
struct SdExportRow
{
	Int32 row_id = 0;
	Bool vertex_mode = false;
};

// Everything one export needs, as the dialog holds it.
struct SdExportSettings
{
	std::string path;
	Int32 start = 0;
	Int32 end = 0;
	Int32 step = 1;
	Float scale = 1.0;
	Bool camera_on = false;
	Int32 camera = 0; // index into SdExportCameras
	std::vector<SdExportRow> rows;
};

// Where the time of a run went, for those who measure it.
struct SdExportTimes
{
	double evaluate = 0.0; // seconds setting the time, evaluating, copying and collecting
	double write = 0.0; // seconds building and writing records
	double transfer = 0.0; // the part of `write` spent handing bytes to the file (the system's share)
	int64_t bytes = 0; // bytes written
	Int32 frames = 0;
};

// The whole export: the checks (each failing one shows its message box and stops), the file, the header,
// descriptors and geometry, the camera descriptor and the frames; then the document's time is restored and
// evaluated again. `status` receives each status line ("Write header", ..., "Ready"). True only when the
// file was written whole; a failed write shows a message box, removes the partial file and never says
// "Ready".
Bool SdExport(BaseDocument* doc, const SdExportSettings& settings, const std::function<void(const char*)>& status,
	SdExportTimes* times = nullptr);
