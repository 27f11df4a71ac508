// main.h - module entry: version constants, the shared particle-system binding, and one Register per plug-in.
#pragma once

#include "c4d.h"

#define TW_VERSION_STRING "v6.0.2.0004"
#define TW_BANNER_FORMAT "== Corvanta Tidewell plug-in %s =="

// The host's particle-system library, bound once at the start of activity; null before, or when the host has none.
C4DLibrary* GetThinkingParticlesLibrary();

// Loads an icon from the module's res/ folder; null when it is missing or cannot be decoded.
BaseBitmap* LoadPluginIcon(const char* file_name);

// Frees the choice lists the Particle Importers' descriptions share (rebuilt when asked again).
void FreeParticleImporterChoices();

Bool RegisterTWParticleImporter();
Bool RegisterTWParticleExporter();
Bool RegisterTWParticleNode();
Bool RegisterTWSDImporter();
Bool RegisterTWSDAnim();
Bool RegisterTWSDReader();
Bool RegisterTWSDExporter();
Bool RegisterTWMeshImporter();
Bool RegisterTWMeshExporter();
Bool RegisterTWMeltMaterial();
Bool RegisterTWParticleShader();
