#include "Utf8Locale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>

namespace kq::platform {

namespace {
bool CodesetIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}
} // namespace

bool EnsureUtf8Locale() {
    std::setlocale(LC_ALL, "");
    if (CodesetIsUtf8())
        return true;

    // Qt's application object calls setlocale(LC_ALL, "") again, so the fix has to live in
    // the environment. LC_ALL would override LC_CTYPE: keep its value for the other
    // categories through LANG, the weakest of the variables.
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        const std::string keep = all;
        setenv("LANG", keep.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
    return CodesetIsUtf8();
}

} // namespace kq::platform
