// remote_file.h - turning a cache file name into a local path: relative names and network-render fetching.
#pragma once

#include "c4d_document.h"

// out (256 bytes) is path made absolute against the render job's folder (on a render client or
// server) or else the document's folder; unchanged when it is absolute or there is no base.
// A result that would not fit 255 characters leaves out empty rather than naming another file.
void ResolveRelativePath(const char* path, BaseDocument* doc, char* out);

// out (256 bytes) is a path that can be opened for path: path itself when the file is there;
// on a render client with downloads allowed, the job's local copy or a copy fetched from the server.
void FetchFile(const char* path, char* out, bool downloads_allowed);
