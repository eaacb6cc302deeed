#include "Utf8Locale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>

namespace kq::platform {

namespace {

struct Category {
    int mask;
    const char* variable;
};
const Category kCategories[] = {
    {LC_CTYPE_MASK, "LC_CTYPE"},
    {LC_NUMERIC_MASK, "LC_NUMERIC"},
    {LC_TIME_MASK, "LC_TIME"},
    {LC_COLLATE_MASK, "LC_COLLATE"},
    {LC_MONETARY_MASK, "LC_MONETARY"},
    {LC_MESSAGES_MASK, "LC_MESSAGES"},
    {LC_PAPER_MASK, "LC_PAPER"},
    {LC_NAME_MASK, "LC_NAME"},
    {LC_ADDRESS_MASK, "LC_ADDRESS"},
    {LC_TELEPHONE_MASK, "LC_TELEPHONE"},
    {LC_MEASUREMENT_MASK, "LC_MEASUREMENT"},
    {LC_IDENTIFICATION_MASK, "LC_IDENTIFICATION"},
};
constexpr const char* kFallback = "C.UTF-8";

bool IsUtf8(const char* codeset) {
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// The locale that setlocale(category, "") takes from the environment.
std::string Requested(const char* variable) {
    for (const char* name : {"LC_ALL", variable, "LANG"})
        if (const char* value = std::getenv(name); value && *value)
            return value;
    return "C";
}

// Whether this machine has that locale for the category (and, if asked, in UTF-8).
bool Available(int mask, const std::string& name, bool utf8) {
    const locale_t locale = ::newlocale(mask, name.c_str(), nullptr);
    if (!locale)
        return false;
    const bool ok = !utf8 || IsUtf8(::nl_langinfo_l(CODESET, locale));
    ::freelocale(locale);
    return ok;
}

} // namespace

bool EnsureUtf8Locale() {
    // An ssh session or a container often names a locale that this machine lacks; then
    // setlocale(LC_ALL, "") fails as a whole and leaves everything "C". So each category gets
    // what the environment asks for where the machine has it, C.UTF-8 elsewhere, and character
    // handling is UTF-8 in every case. The fix goes into the environment, which Qt's
    // application object reads again and the programs we start inherit.
    std::string chosen[std::size(kCategories)];
    bool changed = false;
    for (std::size_t i = 0; i < std::size(kCategories); ++i) {
        chosen[i] = Requested(kCategories[i].variable);
        if (!Available(kCategories[i].mask, chosen[i], kCategories[i].mask == LC_CTYPE_MASK)) {
            chosen[i] = kFallback;
            changed = true;
        }
    }
    if (changed) {
        unsetenv("LC_ALL");
        for (std::size_t i = 0; i < std::size(kCategories); ++i)
            setenv(kCategories[i].variable, chosen[i].c_str(), 1);
    }
    std::setlocale(LC_ALL, "");
    return IsUtf8(::nl_langinfo(CODESET));
}

} // namespace kq::platform
