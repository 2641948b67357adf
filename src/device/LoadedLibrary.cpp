#include "device/LoadedLibrary.h"

namespace {

LoadedLibraryInfo g_loaded;

} // namespace

const LoadedLibraryInfo &LoadedLibrary()
{
    return g_loaded;
}

void SetLoadedLibrary(const LoadedLibraryInfo &info)
{
    g_loaded = info;
}
