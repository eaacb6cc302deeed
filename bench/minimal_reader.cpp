// Yardstick for bench/run.sh: opens each file with the MediaInfo library's C interface and
// asks the same parameters as the report, doing nothing else. Prints only how many files
// opened, so its run time is (nearly) the library's own cost.
//
//   kq_bench_minimal_reader [--files-from LIST] [FILE...]
//
// The library is bound at run time by the same file name as the program does.

#include "media/MediaFields.h"

#include <dlfcn.h>

#include <clocale>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

using namespace kq;

namespace {

using NewFn = void* (*)();
using DeleteFn = void (*)(void*);
using OpenFn = std::size_t (*)(void*, const wchar_t*);
using CloseFn = void (*)(void*);
using GetFn = const wchar_t* (*)(void*, int, std::size_t, const wchar_t*, int, int);
using OptionFn = const wchar_t* (*)(void*, const wchar_t*, const wchar_t*);

// The report's parameters (MediaFields.h), as the library takes them.
std::vector<std::wstring> Parameters(const MediaSection& section) {
    std::vector<std::wstring> parameters;
    for (int i = 0; i < section.valueCount; ++i) {
        const std::string parameter = section.fields[i].parameter;
        parameters.emplace_back(parameter.begin(), parameter.end());
    }
    return parameters;
}

template <typename Fn> Fn Symbol(void* module, const char* name) {
    return reinterpret_cast<Fn>(dlsym(module, name));
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const std::size_t n = std::mbstowcs(wide.data(), text.c_str(), wide.size());
    wide.resize(n == static_cast<std::size_t>(-1) ? 0 : n);
    return wide;
}

} // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files-from") == 0 && i + 1 < argc) {
            std::ifstream list(argv[++i]);
            for (std::string line; std::getline(list, line);) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!line.empty())
                    paths.push_back(line);
            }
        } else {
            paths.emplace_back(argv[i]);
        }
    }

    void* module = dlopen("libmediainfo.so.0", RTLD_NOW);
    if (!module) {
        std::fprintf(stderr, "kq_bench_minimal_reader: %s\n", dlerror());
        return 2;
    }
    const auto create = Symbol<NewFn>(module, "MediaInfo_New");
    const auto destroy = Symbol<DeleteFn>(module, "MediaInfo_Delete");
    const auto open = Symbol<OpenFn>(module, "MediaInfo_Open");
    const auto close = Symbol<CloseFn>(module, "MediaInfo_Close");
    const auto get = Symbol<GetFn>(module, "MediaInfo_Get");
    const auto option = Symbol<OptionFn>(module, "MediaInfo_Option");
    if (!create || !destroy || !open || !close || !get || !option) {
        std::fprintf(stderr, "kq_bench_minimal_reader: entry point missing\n");
        return 2;
    }

    void* handle = create();
    option(handle, L"Internet", L"No");
    std::size_t opened = 0;
    std::size_t replyChars = 0; // keeps the replies observably used
    const auto ask = [&](int kind, std::size_t n, const wchar_t* parameter) {
        const wchar_t* reply = get(handle, kind, n, parameter, 1, 0);
        const std::size_t length = reply ? std::wcslen(reply) : 0;
        replyChars += length;
        return reply;
    };
    const std::vector<std::wstring> general = Parameters(kGeneralSection);
    const std::wstring streamCount(kStreamCountParameter,
                                   kStreamCountParameter + std::strlen(kStreamCountParameter));
    const std::pair<const MediaSection*, std::vector<std::wstring>> streams[] = {
        {&kVideoSection, Parameters(kVideoSection)}, {&kAudioSection, Parameters(kAudioSection)}};
    for (const std::string& path : paths) {
        if (open(handle, Wide(path).c_str()) == 0)
            continue;
        ++opened;
        for (const std::wstring& parameter : general)
            ask(kGeneralSection.streamKind, 0, parameter.c_str());
        for (const auto& [section, parameters] : streams) {
            const wchar_t* count = ask(section->streamKind, 0, streamCount.c_str());
            const long n = count ? std::wcstol(count, nullptr, 10) : 0;
            for (long s = 0; s < n; ++s)
                for (const std::wstring& parameter : parameters)
                    ask(section->streamKind, static_cast<std::size_t>(s), parameter.c_str());
        }
        close(handle);
    }
    destroy(handle);
    std::printf("%zu\n", opened);
    return replyChars == static_cast<std::size_t>(-1) ? 1 : 0;
}
