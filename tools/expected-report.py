#!/usr/bin/env python3
"""Writes the expected report of each sample file, read with the `mediainfo` command.

For every regular file in --media, NAME.xml in --out holds the report that kqmediareport
must write for that one file, with the media directory replaced by @MEDIA@ (the tests put
the real absolute path back). The values are the library's texts for the same parameters
the report uses, asked through mediainfo's --Inform templates.
"""

import argparse
import os
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


if __name__ == "__main__":
    main()
