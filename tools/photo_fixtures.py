#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes tiny photos with EXIF dates for the tests and the benchmark.

  photo_fixtures.py PATH FORMAT [original=TEXT] [digitized=TEXT] [datetime=TEXT]

FORMAT is jpeg, png, tiff, webp or heic; with no date given the file has no
EXIF at all. TEXT is an EXIF date ("2021:05:06 07:08:09"). The images are
made here: JPEG and WebP with Pillow, EXIF put in with piexif; PNG and the
HEIF box structure by our own writers; PNG and TIFF get their EXIF from the
exiv2 tool, an implementation other than the library the program reads with.
"""
import struct
import subprocess
import sys
import zlib

try:
    import piexif
    from PIL import Image
except ImportError:  # Debian's packages, when another interpreter is first on PATH
    sys.path.append("/usr/lib/python3/dist-packages")
    import piexif
    from PIL import Image

KEYS = {
    "original": ("Exif", piexif.ExifIFD.DateTimeOriginal, "Exif.Photo.DateTimeOriginal"),
    "digitized": ("Exif", piexif.ExifIFD.DateTimeDigitized, "Exif.Photo.DateTimeDigitized"),
    "datetime": ("0th", piexif.ImageIFD.DateTime, "Exif.Image.DateTime"),
}


def exif_bytes(dates):
    d = {"0th": {}, "Exif": {}}
    for key, text in dates.items():
        ifd, tag, _ = KEYS[key]
        d[ifd][tag] = text.encode("ascii")
    return piexif.dump(d)  # starts with "Exif\0\0"


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path):
    raw = b"".join(b"\x00" + b"\x80\x40\x20" * 4 for _ in range(4))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0)) +
                png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


def box(kind, payload, version=None):
    if version is not None:
        payload = struct.pack(">I", version << 24) + payload
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def write_heic(path, dates):
    picture = b"\x00" * 16
    exif = struct.pack(">I", 6) + exif_bytes(dates) if dates else b""
    items = [(1, b"hvc1", picture)] + ([(2, b"Exif", exif)] if exif else [])
    ftyp = box(b"ftyp", b"heic" + struct.pack(">I", 0) + b"mif1heic")

    def meta(offsets):
        hdlr = box(b"hdlr", struct.pack(">I", 0) + b"pict" + b"\x00" * 12 + b"\x00", 0)
        pitm = box(b"pitm", struct.pack(">H", 1), 0)
        infe = b"".join(box(b"infe", struct.pack(">HH", i, 0) + t + b"\x00", 2) for i, t, _ in items)
        iinf = box(b"iinf", struct.pack(">H", len(items)) + infe, 0)
        locs = b"".join(struct.pack(">HHHII", i, 0, 1, off, len(data)) for (i, _, data), off in zip(items, offsets))
        iloc = box(b"iloc", bytes([0x44, 0x00]) + struct.pack(">H", len(items)) + locs, 0)
        return box(b"meta", hdlr + pitm + iinf + iloc, 0)

    head = len(ftyp) + len(meta([0] * len(items))) + 8
    offsets, at = [], head
    for _, _, data in items:
        offsets.append(at)
        at += len(data)
    with open(path, "wb") as f:
        f.write(ftyp + meta(offsets) + box(b"mdat", b"".join(d for _, _, d in items)))


def main():
    path, fmt = sys.argv[1], sys.argv[2]
    dates = dict(a.split("=", 1) for a in sys.argv[3:])
    if fmt == "heic":
        write_heic(path, dates)
        return
    if fmt == "png":
        write_png(path)
    else:
        image = Image.new("RGB", (4, 4), (128, 64, 32))
        image.save(path, {"jpeg": "JPEG", "webp": "WEBP", "tiff": "TIFF"}[fmt])
    if not dates:
        return
    if fmt in ("jpeg", "webp"):
        piexif.insert(exif_bytes(dates), path)
    else:
        cmds = [f"set {KEYS[k][2]} Ascii {v}" for k, v in dates.items()]
        subprocess.run(["exiv2", "-q"] + [a for c in cmds for a in ("-M", c)] + [path], check=True)


if __name__ == "__main__":
    main()
