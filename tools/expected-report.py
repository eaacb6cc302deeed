#!/usr/bin/env python3
"""Writes the expected report of each sample file, read with the `mediainfo` command.

For every regular file in --media, NAME.xml in --out holds the report that kqmediareport
must write for that one file, with the media directory replaced by @MEDIA@ (the tests put
the real absolute path back). The values are the library's texts for the same parameters
the report uses, asked through mediainfo's --Inform templates. NAME.csv and NAME.json hold
that file's rows of the CSV form and its line of the JSON form, with @N@ for its position
in the list and @MEDIA_URL@ for the media directory as a file URL.
"""

import argparse
import json
import os
import re
import urllib.parse
import subprocess
import sys

PLACEHOLDER = "@MEDIA@"

# (leaf, library parameter) in report order.
GENERAL = [("CompleteName", "CompleteName"), ("Format", "Format"),
           ("FileSize", "FileSize/String"), ("Duration", "Duration/String1"),
           ("Subtitlecount", "TextCount")]
VIDEO = [("Format", "Format"), ("FormatVersion", "Format_Version"), ("Width", "Width"),
         ("Height", "Height"), ("FrameRate", "FrameRate"), ("BitRate", "BitRate"),
         ("DisplayAspectRatio", "DisplayAspectRatio/String"), ("Standard", "Standard")]
AUDIO = [("Format", "Format"), ("BitRate", "BitRate"), ("Channels", "Channel(s)"),
         ("SamplingRate", "SamplingRate"), ("FormatVersion", "Format_Version"),
         ("Language", "Language")]

# The numbers behind values that the XML shows as text: (name, parameter), after the leaves.
GENERAL_NUMBERS = [("FileSizeBytes", "FileSize"), ("DurationMs", "Duration")]
VIDEO_NUMBERS = [("DisplayAspectRatioValue", "DisplayAspectRatio")]
CSV_COLUMNS = ["Format", "FormatVersion", "FileSize", "FileSizeBytes", "Duration", "DurationMs",
               "Subtitlecount", "Width", "Height", "FrameRate", "BitRate", "DisplayAspectRatio",
               "DisplayAspectRatioValue", "Standard", "Channels", "SamplingRate", "Language"]

# Markers that no value holds; they keep empty values and stream boundaries visible.
FIELD = "~~KQ-F~~"
RECORD = "~~KQ-R~~"


def inform(path, kind, parameters):
    """One list of values per stream of kind, in stream order."""
    template = kind + ";" + FIELD.join("%" + p + "%" for p in parameters) + RECORD
    done = subprocess.run(["mediainfo", "--Inform=" + template, path],
                          check=True, capture_output=True)
    text = done.stdout.decode("utf-8")
    records = text.split(RECORD)
    if records[-1].strip():
        sys.exit(f"unexpected mediainfo output for {path}: {text!r}")
    streams = []
    for record in records[:-1]:
        values = record.split(FIELD)
        if len(values) != len(parameters):
            sys.exit(f"unexpected mediainfo record for {path}: {record!r}")
        streams.append(values)
    return streams


def escape(value):
    """The report's escaping, byte by byte over UTF-8."""
    out = bytearray()
    names = {ord("&"): b"&amp;", ord("<"): b"&lt;", ord(">"): b"&gt;",
             ord('"'): b"&quot;", ord("'"): b"&apos;"}
    for byte in value.encode("utf-8"):
        if byte in names:
            out += names[byte]
        elif byte < 0x20:
            out += b"&#x%02X;" % byte
        else:
            out.append(byte)
    return bytes(out)


def leaves(lines, level, pairs):
    for name, value in pairs:
        lines.append(b"    " * level + b"<%s>%s</%s>" % (name.encode(), escape(value), name.encode()))


def report(path, media_dir):
    general = inform(path, "General", [p for _, p in GENERAL])
    if not general:
        return b"<AllFileInfo />\r\n"
    if len(general) != 1:
        sys.exit(f"{path}: {len(general)} general records")
    values = general[0]
    prefix = media_dir + os.sep
    if not values[0].startswith(prefix):
        sys.exit(f"{path}: complete name {values[0]!r} is not under {media_dir}")
    values[0] = PLACEHOLDER + "/" + values[0][len(prefix):]

    counts = inform(path, "General", ["VideoCount", "AudioCount"])[0]
    video = inform(path, "Video", [p for _, p in VIDEO])
    audio = inform(path, "Audio", [p for _, p in AUDIO])
    if [len(video), len(audio)] != [int(c or 0) for c in counts]:
        sys.exit(f"{path}: stream records {len(video)}/{len(audio)} but counts {counts}")

    lines = [b"<AllFileInfo>", b"    <FileInfo>", b"        <GeneralInfo>"]
    leaves(lines, 3, zip([n for n, _ in GENERAL], values))
    lines.append(b"        </GeneralInfo>")
    for kind, table, streams in (("Video", VIDEO, video), ("Audio", AUDIO, audio)):
        for stream in streams:
            lines.append(b"        <%s>" % kind.encode())
            leaves(lines, 3, zip([n for n, _ in table], stream))
            lines.append(b"        </%s>" % kind.encode())
    lines += [b"    </FileInfo>", b"</AllFileInfo>"]
    return b"".join(line + b"\r\n" for line in lines)


def is_number(text):
    return re.fullmatch(r"-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?", text) is not None


def csv_field(value):
    if any(c in value for c in ',"\r\n'):
        return '"' + value.replace('"', '""') + '"'
    return value


def other_forms(path, media_dir):
    """The file's CSV rows and JSON line."""
    general = inform(path, "General", [p for _, p in GENERAL + GENERAL_NUMBERS])[0]
    video = inform(path, "Video", [p for _, p in VIDEO + VIDEO_NUMBERS])
    audio = inform(path, "Audio", [p for _, p in AUDIO])
    relative = os.path.relpath(path, media_dir)
    name = PLACEHOLDER + "/" + relative
    url = "@MEDIA_URL@/" + urllib.parse.quote(relative.encode(), safe="/")
    general[0] = name
    sections = [("general", GENERAL, GENERAL_NUMBERS, [general]), ("video", VIDEO, VIDEO_NUMBERS, video),
                ("audio", AUDIO, [], audio)]
    rows = []
    objects = {}
    for kind, leaves, numbers, streams in sections:
        objects[kind] = []
        for number, values in enumerate(streams, 1):
            by_name = dict(zip([n for n, _ in leaves + numbers], values))
            for n, _ in numbers:
                if not is_number(by_name[n]):
                    by_name[n] = None
            fields = ["@N@", csv_field(name), url, kind, "" if kind == "general" else str(number), ""]
            fields += [csv_field(by_name.get(c) or "") for c in CSV_COLUMNS]
            rows.append(",".join(fields) + "\r\n")
            parts = [json.dumps(n) + ":" + json.dumps(v, ensure_ascii=False) for n, v in by_name.items()
                     if n not in dict(numbers)]
            parts += [json.dumps(n) + ":" + (by_name[n] if by_name[n] is not None else "null")
                      for n, _ in numbers]
            objects[kind].append("{" + ",".join(parts) + "}")
    line = ('{"file":@N@,"name":' + json.dumps(name, ensure_ascii=False) + ',"name_url":"' + url +
            '","general":' + objects["general"][0] + ',"video":[' + ",".join(objects["video"]) +
            '],"audio":[' + ",".join(objects["audio"]) + "]}")
    return "".join(rows).encode(), line.encode()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--media", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    media_dir = os.path.abspath(args.media)
    for name in sorted(os.listdir(media_dir)):
        path = os.path.join(media_dir, name)
        if not os.path.isfile(path) or name.startswith("."):
            continue
        with open(os.path.join(args.out, name + ".xml"), "wb") as out:
            out.write(report(path, media_dir))
        if not inform(path, "General", ["CompleteName"]):
            continue  # not a media file: no report, nothing in the other forms either
        rows, line = other_forms(path, media_dir)
        with open(os.path.join(args.out, name + ".csv"), "wb") as out:
            out.write(rows)
        with open(os.path.join(args.out, name + ".json"), "wb") as out:
            out.write(line + b"\n")


if __name__ == "__main__":
    main()
