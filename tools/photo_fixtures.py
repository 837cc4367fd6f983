#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes tiny photos with dates for the tests and the benchmark.

  photo_fixtures.py PATH FORMAT [KEY=TEXT]...
  photo_fixtures.py -          (one such PATH FORMAT [KEY=TEXT]... a line on stdin)

FORMAT is jpeg, png, tiff, webp, heic or crw; with no date given the file has
no EXIF at all. KEY is one of KEYS below with an EXIF text ("2021:05:06
07:08:09", sub-seconds as "5"), or for a JPEG an XMP property
(Xmp.exif.DateTimeOriginal=2021-05-06T07:08:09.5+08:00) or an IPTC dataset
(Iptc.DateCreated=20210506, Iptc.TimeCreated=070809+0800). A CRW gets its
"original" as the camera's clock in seconds since 1970.
The images are made here: JPEG and WebP with Pillow, EXIF put in with piexif;
PNG, the HEIF box structure, the CRW heap, XMP packets and IPTC records by our
own writers; PNG and TIFF get their EXIF from the exiv2 tool.
"""
import calendar
import shlex
import struct
import subprocess
import sys
import zlib
from xml.sax.saxutils import quoteattr

try:
    import piexif
    from PIL import Image
except ImportError:  # Debian's packages, when another interpreter is first on PATH
    sys.path.append("/usr/lib/python3/dist-packages")
    import piexif
    from PIL import Image

# DateTimeOriginal in IFD0 is a tag piexif does not list there.
IFD0_ORIGINAL = 0x9003
piexif._exif.TAGS["Image"].setdefault(IFD0_ORIGINAL, {"name": "DateTimeOriginal", "type": piexif.TYPES.Ascii})

KEYS = {
    "original": ("Exif", piexif.ExifIFD.DateTimeOriginal, "Exif.Photo.DateTimeOriginal"),
    "digitized": ("Exif", piexif.ExifIFD.DateTimeDigitized, "Exif.Photo.DateTimeDigitized"),
    "datetime": ("0th", piexif.ImageIFD.DateTime, "Exif.Image.DateTime"),
    "ifd0original": ("0th", IFD0_ORIGINAL, "Exif.Image.DateTimeOriginal"),
    "subsecoriginal": ("Exif", piexif.ExifIFD.SubSecTimeOriginal, "Exif.Photo.SubSecTimeOriginal"),
    "subsecdigitized": ("Exif", piexif.ExifIFD.SubSecTimeDigitized, "Exif.Photo.SubSecTimeDigitized"),
    "subsec": ("Exif", piexif.ExifIFD.SubSecTime, "Exif.Photo.SubSecTime"),
}
IPTC_DATASETS = {"DateCreated": 55, "TimeCreated": 60}
XMP_NAMESPACES = {
    "exif": "http://ns.adobe.com/exif/1.0/",
    "photoshop": "http://ns.adobe.com/photoshop/1.0/",
    "xmp": "http://ns.adobe.com/xap/1.0/",
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


def ciff_heap(entries):
    """A CIFF heap: the entries' data, then their table, then the table's offset."""
    data, table = b"", b""
    for tag, payload in entries:
        table += struct.pack("<HII", tag, len(payload), len(data))
        data += payload + b"\x00" * (len(payload) % 2)
    return data + struct.pack("<H", len(entries)) + table + struct.pack("<I", len(data))


def write_crw(path, dates):
    entries = []
    if "original" in dates:
        clock = calendar.timegm(time_parts(dates["original"]))
        entries.append((0x180E, struct.pack("<III", clock, 0, 0)))  # time stamp, zone code, zone info
    root = ciff_heap([(0x300A, ciff_heap(entries))])  # image properties
    with open(path, "wb") as f:
        f.write(b"II" + struct.pack("<I", 26) + b"HEAPCCDR" + struct.pack("<I", 0x00010002) + b"\x00" * 8 + root)


def time_parts(text):
    d, t = text.split(" ")
    return tuple(int(x) for x in d.split(":") + t.split(":")) + (0, 0, 0)


def segment(marker, payload):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(payload) + 2) + payload


def xmp_segment(props):
    attrs = "".join(f" {k.split('.', 1)[1].replace('.', ':')}={quoteattr(v)}" for k, v in props.items())
    ns = "".join(f' xmlns:{p}="{u}"' for p, u in XMP_NAMESPACES.items())
    packet = ('<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">'
              '<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
              f'<rdf:Description rdf:about=""{ns}{attrs}/></rdf:RDF></x:xmpmeta><?xpacket end="w"?>')
    return segment(0xE1, b"http://ns.adobe.com/xap/1.0/\x00" + packet.encode("utf-8"))


def iptc_segment(sets):
    iim = b"\x1c\x02\x00" + struct.pack(">H", 2) + struct.pack(">H", 4)  # record version
    for k, v in sets.items():
        iim += b"\x1c\x02" + bytes([IPTC_DATASETS[k.split(".", 1)[1]]]) + struct.pack(">H", len(v)) + v.encode()
    block = b"8BIM" + struct.pack(">H", 0x0404) + b"\x00\x00" + struct.pack(">I", len(iim)) + iim
    return segment(0xED, b"Photoshop 3.0\x00" + block + b"\x00" * (len(iim) % 2))


def write(path, fmt, dates):
    xmp = {k: v for k, v in dates.items() if k.startswith("Xmp.")}
    iptc = {k: v for k, v in dates.items() if k.startswith("Iptc.")}
    dates = {k: v for k, v in dates.items() if k in KEYS or k not in xmp and k not in iptc}
    if (xmp or iptc) and fmt != "jpeg":
        sys.exit("XMP and IPTC are written into JPEG only")
    if fmt == "heic":
        write_heic(path, dates)
        return
    if fmt == "crw":
        write_crw(path, dates)
        return
    if fmt == "png":
        write_png(path)
    else:
        image = Image.new("RGB", (4, 4), (128, 64, 32))
        image.save(path, {"jpeg": "JPEG", "webp": "WEBP", "tiff": "TIFF"}[fmt])
    if dates and fmt in ("jpeg", "webp"):
        piexif.insert(exif_bytes(dates), path)
    elif dates:
        cmds = [f"set {KEYS[k][2]} Ascii {v}" for k, v in dates.items()]
        subprocess.run(["exiv2", "-q"] + [a for c in cmds for a in ("-M", c)] + [path], check=True)
    if xmp or iptc:
        with open(path, "rb") as f:
            jpeg = f.read()
        extra = (xmp_segment(xmp) if xmp else b"") + (iptc_segment(iptc) if iptc else b"")
        with open(path, "wb") as f:
            f.write(jpeg[:2] + extra + jpeg[2:])


def main():
    if sys.argv[1:] == ["-"]:
        for line in sys.stdin:
            if line.strip():
                args = shlex.split(line)
                write(args[0], args[1], dict(a.split("=", 1) for a in args[2:]))
        return
    write(sys.argv[1], sys.argv[2], dict(a.split("=", 1) for a in sys.argv[3:]))


if __name__ == "__main__":
    main()
