#include "SharedLibrary.h"

#include <QFile>

#include <dlfcn.h>

namespace kq::platform {

LibraryHandle LoadSharedLibrary(const QString& fileName) {
    if (fileName.isEmpty())
        return nullptr;
    return dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
}

void* ResolveSymbol(LibraryHandle library, const char* name) {
    if (!library)
        return nullptr;
    return dlsym(library, name);
}

void FreeSharedLibrary(LibraryHandle library) {
    if (library)
        dlclose(library);
}

} // namespace kq::platform
