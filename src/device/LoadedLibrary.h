#pragma once
// Which device library the program bound, for the places that tell the user: its file, and
// whether it is the simulated one (which exports a marker function a vendor library lacks).
// Nothing is set while a test's call table stands in for a library.

#include <QString>

struct LoadedLibraryInfo
{
    QString path;
    bool simulated = false;
};

// The exported function by which the simulated library makes itself known; it answers 1.
constexpr char kSimulatedMarkerSymbol[] = "QRXSIM_IsSimulated";

const LoadedLibraryInfo &LoadedLibrary();
void SetLoadedLibrary(const LoadedLibraryInfo &info);
