#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes tiny videos with recording dates for the tests.

  video_fixtures.py DIR

ffmpeg writes each container with the creation time 2021-05-06 07:08:09 UTC;
apple.mov also carries com.apple.quicktime.creationdate 2021-05-06T09:08:09+0200,
icrd.avi ffmpeg's ICRD 2021-05-06 07:08:09, and idit.avi an IDIT chunk
(what cameras write, and ffmpeg does not) put by us into ffmpeg's padding.
big.avi (over 256 KiB) has the ICRD too. cut.mp4 stops before its header
box, damaged.mp4 has it turned to noise; wmv.wmv and asf.asf keep the
creation time in ASF's file properties, dv.dv in its recording date packs; cut-frames.avi keeps its header,
cut-header.avi does not, damaged.avi has it overwritten.
"""
import os
import struct
import subprocess
import sys

UTC = "2021-05-06T07:08:09Z"
# One run of ffmpeg writes them all, from three pictures: a tiny one, one of
# the size MXF takes, and one for a file over 256 KiB.
SOURCES = ["color=c=red:s=16x16:r=5:d=0.4", "color=s=720x576:r=25:d=0.08", "testsrc=s=320x240:r=4:d=1"]
MPEG4 = ["-c:v", "mpeg4"]
OUTPUTS = [
    ("mov.mov", 0, MPEG4),
    ("mp4.mp4", 0, MPEG4),
    ("m4v.m4v", 0, MPEG4 + ["-f", "ipod"]),
    ("3gp.3gp", 0, ["-c:v", "h263", "-s", "128x96"]),
    ("apple.mov", 0, MPEG4 + ["-movflags", "use_metadata_tags",
                              "-metadata", "com.apple.quicktime.creationdate=2021-05-06T09:08:09+0200"]),
    ("mkv.mkv", 0, MPEG4),
    ("icrd.avi", 0, MPEG4 + ["-metadata", "date=2021-05-06 07:08:09"]),
    ("wmv.wmv", 0, ["-c:v", "wmv2"]),
    ("asf.asf", 0, ["-c:v", "wmv2"]),
    ("m2ts.m2ts", 0, ["-c:v", "mpeg2video"]),
    ("mts.mts", 0, ["-c:v", "mpeg2video"]),
    ("dv.dv", 1, ["-c:v", "dvvideo", "-pix_fmt", "yuv420p"]),
    ("mxf.mxf", 1, ["-c:v", "mpeg2video"]),
    ("big.avi", 2, ["-c:v", "rawvideo", "-pix_fmt", "yuv420p", "-metadata", "date=2021-05-06 07:08:09"]),
]


def put_idit(path, out):
    """Replaces the JUNK chunk inside LIST hdrl by IDIT and a smaller JUNK."""
    data = bytearray(open(path, "rb").read())
    at = 12  # past RIFF....AVI_
    assert data[at:at + 4] == b"LIST" and data[at + 8:at + 12] == b"hdrl"
    end = at + 8 + struct.unpack("<I", data[at + 4:at + 8])[0]
    pos = at + 12
    while pos < end:
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"JUNK":
            idit = b"Thu May 06 07:08:09 2021\n\0"
            chunk = b"IDIT" + struct.pack("<I", len(idit)) + idit
            rest = size - len(chunk) - 8
            data[pos:pos + 8 + size] = chunk + b"JUNK" + struct.pack("<I", rest) + bytes(rest)
            break
        pos += 8 + size + (size & 1)
    else:
        raise SystemExit("no JUNK in hdrl")
    icrd = data.find(b"ICRD")
    if icrd >= 0:
        data[icrd:icrd + 4] = b"IXXX"  # so that only IDIT tells
    open(out, "wb").write(data)


def main():
    d = sys.argv[1]
    p = lambda name: os.path.join(d, name)
    args = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
    for source in SOURCES:
        args += ["-f", "lavfi", "-i", source]
    for name, source, options in OUTPUTS:
        args += ["-map", str(source), "-metadata", "creation_time=" + UTC, *options, p(name)]
    subprocess.run(args, check=True)
    put_idit(p("icrd.avi"), p("idit.avi"))
    mp4 = open(p("mp4.mp4"), "rb").read()
    moov = mp4.find(b"moov") - 4
    open(p("cut.mp4"), "wb").write(mp4[:moov])  # the recording stopped before its index
    damaged = bytearray(mp4)
    state = 12345
    for at in range(moov + 8, len(damaged)):  # the header's boxes turned to noise
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        damaged[at] = state >> 16 & 0xFF
    open(p("damaged.mp4"), "wb").write(damaged)
    avi = open(p("idit.avi"), "rb").read()
    open(p("cut-frames.avi"), "wb").write(avi[:avi.find(b"movi") + 20])  # its header whole
    open(p("cut-header.avi"), "wb").write(avi[:100])
    damaged = bytearray(avi)
    damaged[12:avi.find(b"movi")] = b"\xff" * (avi.find(b"movi") - 12)
    open(p("damaged.avi"), "wb").write(damaged)


if __name__ == "__main__":
    main()
