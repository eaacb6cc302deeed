#pragma once

namespace kq {

// The values of the report, each described once: the element it goes into, in the order in
// which they are written, and the library parameter (asked for text by name) that gives it.
// Reading a file, writing its report, checking a report and the benchmark's reader all work
// from these tables. Plain C++: the benchmark's reader includes it without Qt.

struct MediaField {
    const char* leaf;      // element name in the report
    const char* parameter; // what the library is asked
};

// Which fields a report section has, and of which of the library's stream kinds. General
// has one section per file; Video and Audio one per stream, as many as the library's
// StreamCount of that kind says. The first fieldCount fields are the XML report's; the rest,
// up to valueCount, are the numbers behind values that it shows only as text (a size in
// bytes, a duration in milliseconds), which the other forms of the report carry beside them.
struct MediaSection {
    const char* element;
    int streamKind; // as MediaStreamKind numbers it
    const MediaField* fields;
    int fieldCount;
    int valueCount;
};

inline constexpr MediaField kGeneralFields[] = {{"CompleteName", "CompleteName"},
                                                {"Format", "Format"},
                                                {"FileSize", "FileSize/String"},
                                                {"Duration", "Duration/String1"},
                                                {"Subtitlecount", "TextCount"},
                                                {"FileSizeBytes", "FileSize"},
                                                {"DurationMs", "Duration"}};
inline constexpr MediaField kVideoFields[] = {{"Format", "Format"},
                                              {"FormatVersion", "Format_Version"},
                                              {"Width", "Width"},
                                              {"Height", "Height"},
                                              {"FrameRate", "FrameRate"},
                                              {"BitRate", "BitRate"},
                                              {"DisplayAspectRatio", "DisplayAspectRatio/String"},
                                              {"Standard", "Standard"},
                                              {"DisplayAspectRatioValue", "DisplayAspectRatio"}};
inline constexpr MediaField kAudioFields[] = {{"Format", "Format"},
                                              {"BitRate", "BitRate"},
                                              {"Channels", "Channel(s)"},
                                              {"SamplingRate", "SamplingRate"},
                                              {"FormatVersion", "Format_Version"},
                                              {"Language", "Language"}};

inline constexpr MediaSection kGeneralSection{"GeneralInfo", 0, kGeneralFields, 5, 7};
inline constexpr MediaSection kVideoSection{"Video", 1, kVideoFields, 8, 9};
inline constexpr MediaSection kAudioSection{"Audio", 2, kAudioFields, 6, 6};
// The parameter that tells how many streams of a kind there are.
inline constexpr const char* kStreamCountParameter = "StreamCount";

} // namespace kq
