#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (fuzz/corpus/) from the program's own output: the
frames the real worker sends for the sample media, the reports the tool writes for them, and
lists and names like those of the tests' fixtures.

    tools/make-fuzz-corpus.py BUILD_DIR   (e.g. build/dev)
"""
import os
import socket
import struct
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1])
media = os.path.join(root, "tests/data/media")
corpus = os.path.join(root, "fuzz/corpus")
samples = sorted(os.path.join(media, name) for name in os.listdir(media))


def write(target, name, data):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
    with open(os.path.join(corpus, target, name), "wb") as out:
        out.write(data)


# The worker's frames: its greeting and a reply for each sample; a payload each.
requests = b"".join(struct.pack("<I", len(p.encode())) + p.encode() for p in samples)
ours, theirs = socket.socketpair()
worker = subprocess.Popen([os.path.join(build, "bin/kqmediaworker")], stdin=theirs,
                          stdout=theirs)
theirs.close()
ours.sendall(requests)
ours.shutdown(socket.SHUT_WR)
frames = b""
while chunk := ours.recv(65536):
    frames += chunk
worker.wait()
write("reply", "frames", frames[:4096])
at = 0
for index in range(len(samples) + 1):
    (length,) = struct.unpack_from("<I", frames, at)
    write("reply", "payload-%d" % index, frames[at + 4:at + 4 + length])
    at += 4 + length
write("reply", "ended", b"\x04" + struct.pack("<I", 0x8b))

# The tool's reports: one of all the samples, one of one, the empty one.
def report(*paths):
    return subprocess.run([os.path.join(build, "bin/kqmediareport"), *paths],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
write("merge", "samples.xml", report(media))
write("merge", "one.xml", report(os.path.join(media, "multi.mkv")))
write("merge", "empty.xml", b"<AllFileInfo />\r\n")
for form in ("csv", "json"):
    write("merge", "samples." + form, report("--format", form, media, "/nowhere"))
    write("merge", "empty." + form, report("--format", form, os.path.join(root, "fuzz")))
write("report", "streams", bytes([0b11011]) + b"\xff".join(
    v.encode() for v in ["/m/a&b.mp4", "MPEG-4", "5.20 KiB", "1 s 0 ms", "0", "AVC", "",
                         "320", "240", "25.000", "", "4:3", "", "AAC", "", "2", "48000",
                         "Version 4", "en", "\t<\"x\">\r\n", "\x01"]))

# Lists as find writes them (lines, CR LF, NUL), through a file and a pipe, with names that
# are not UTF-8 or start with U+FEFF.
names = [b"/m/sample.mp4", b"rel/caf\xe9.mp4", b"\xef\xbb\xbfbom.png", b"line\nbreak.mkv"]
write("list", "lines", b"\x00" + b"\n".join(names[:3]) + b"\n")
write("list", "crlf-pipe", b"\x02" + b"\r\n".join(names[:3]) + b"\r\n\r\n")
write("list", "nul-pipe", b"\x03" + b"\0".join(names) + b"\0")
for index, name in enumerate(names + [b"over\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80.avi", "é 日本 😀".encode()]):
    write("names", "name-%d" % index, name)
