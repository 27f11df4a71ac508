// export_sd.h - twconnect export sd: what the dialog run hands to the report of the written file.
#pragma once

#include <string>
#include <vector>

// What the user asked the SD Exporter for, as its dialog showed it when Export was pressed.
struct SdExportRequest
{
	std::string path; // the file name gadget's text: the file written
	long long start = 0, end = 0, step = 1;
	double scale = 1.0;
	std::vector<std::string> objects; // display names, in export list order
	std::vector<bool> vertex;		  // per object: vertex mode
	std::string camera;				  // the camera picked, empty for none

	// Frames of the file: (end - start) / step + 1.
	long long FileFrames() const { return (end - start) / step + 1; }
};

// Reads the written file back with the SD library and checks it holds what was asked (objects in
// order with their modes, the camera flag, the file frames); prints one JSON object per frame and a
// summary with json, else a short summary. 0, or kExitFailed after an error line.
int ReportSdExport(const SdExportRequest& request, bool json);
