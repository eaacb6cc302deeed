#pragma once

#include <QString>

// Run-time loading of shared libraries by name; the ordinary dynamic-linker search
// (LD_LIBRARY_PATH, the ld.so cache) decides where a bare name is found.
namespace kq::platform {

using LibraryHandle = void*;

// Returns an empty handle when the library cannot be loaded.
LibraryHandle LoadSharedLibrary(const QString& fileName);
// Returns nullptr when the library has no such exported name.
void* ResolveSymbol(LibraryHandle library, const char* name);
void FreeSharedLibrary(LibraryHandle library);

} // namespace kq::platform
