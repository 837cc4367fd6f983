#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes and reads ID3 tags with mutagen, an implementation independent of ours.

Texts travel as hex so that no shell quoting or locale gets in the way.

  write PATH VERSION ENCODING [unsync] [exthdr] KEY=HEX...
      VERSION 2, 3 or 4; ENCODING 0-3; HEX is UTF-8. KEY is a frame id
      (TIT2 ...), COMM:DESC for a comment with a description, TXXX:DESC or
      USLT:DESC. Extra frames for carry-over checks: PCNT=N, APIC=HEX or
      APIC:DESC=HEX (PNG picture bytes, not UTF-8).
  v1 PATH [cut] KEY=HEX...
      Appends a raw ID3v1.1 block, texts encoded as GBK (title, artist,
      album, year, comment; track and genre as decimal). "cut" stores the
      first 30 bytes of a longer text, splitting a character if it falls so.
  read PATH
      Prints "ID<TAB>ENC<TAB>HEX" per text frame (HEX: the stored bytes for
      encoding 0, UTF-8 otherwise), "COMM:DESC", "TXXX:DESC", "USLT:DESC",
      "WXXX", "APIC:DESC" (HEX: the picture's bytes) with "APICMIME:DESC",
      "IDS" with every frame id, and "VERSION". Exit status 2 when mutagen
      cannot read the tag.
  readv1 PATH
      Prints "KEY<TAB>HEX" (raw bytes) for mutagen's view of the ID3v1 block.
  frames PATH
      Prints "HASHKEY<TAB>HEX" for every frame mutagen reads (HEX: its
      pprint() in UTF-8, sub-frames of chapters included, the encoding left
      out), then "UNKNOWN<TAB>HEX" for each frame mutagen keeps unread.
"""
import struct
import sys

try:
    import mutagen.id3 as id3
except ImportError:  # Debian's package, when another interpreter is first on PATH
    sys.path.append("/usr/lib/python3/dist-packages")
    import mutagen.id3 as id3
from mutagen.id3 import _id3v1, _util


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def unsyncsafe(b):
    return (b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]


def parse_pairs(args):
    out = []
    for a in args:
        k, _, v = a.partition("=")
        out.append((k, v))
    return out


def text_of(hexv):
    return bytes.fromhex(hexv).decode("utf-8")


def build_v22(pairs, enc):
    def encode(s):
        return s.encode("latin-1") if enc == 0 else s.encode("utf-16")

    term = b"\0" if enc == 0 else b"\0\0"
    frames = b""
    names = {"TIT2": "TT2", "TPE1": "TP1", "TALB": "TAL", "TRCK": "TRK", "TYER": "TYE", "TCON": "TCO",
             "TCOM": "TCM", "TOPE": "TOA", "TCOP": "TCR", "TENC": "TEN", "TPE2": "TP2"}
    for k, v in pairs:
        if k.startswith("APIC"):
            desc = k.partition(":")[2] or "cover"
            body = bytes([enc]) + b"PNG\x03" + encode(desc) + term + bytes.fromhex(v)
            frames += b"PIC" + struct.pack(">I", len(body))[1:] + body
            continue
        s = text_of(v)
        if k.startswith("COMM") or k.startswith("USLT"):
            desc = k.partition(":")[2]
            body = bytes([enc]) + b"eng" + encode(desc) + term + encode(s)
            fid = b"COM" if k.startswith("COMM") else b"ULT"
        elif k.startswith("TXXX"):
            body = bytes([enc]) + encode(k.partition(":")[2]) + term + encode(s)
            fid = b"TXX"
        elif k == "WXXX":
            body = bytes([enc]) + term + s.encode("latin-1")
            fid = b"WXX"
        else:
            body = bytes([enc]) + encode(s)
            fid = names[k].encode()
        frames += fid + struct.pack(">I", len(body))[1:] + body
    frames += b"\0" * 64
    return b"ID3\x02\x00\x00" + syncsafe(len(frames)) + frames


def strip_v2(data):
    if data[:3] == b"ID3":
        return data[10 + unsyncsafe(data[6:10]):]
    return data


def write(path, version, enc, opts, pairs):
    with open(path, "rb") as f:
        audio = strip_v2(f.read())
    if version == 2:
        with open(path, "wb") as f:
            f.write(build_v22(pairs, enc) + audio)
        return
    tags = id3.ID3()
    for k, v in pairs:
        if k.startswith("COMM"):
            tags.add(id3.COMM(encoding=enc, lang="eng", desc=k.partition(":")[2], text=[text_of(v)]))
        elif k.startswith("TXXX"):
            tags.add(id3.TXXX(encoding=enc, desc=k.partition(":")[2], text=[text_of(v)]))
        elif k.startswith("USLT"):
            tags.add(id3.USLT(encoding=enc, lang="eng", desc=k.partition(":")[2], text=text_of(v)))
        elif k == "WXXX":
            tags.add(id3.WXXX(encoding=enc, desc="", url=text_of(v)))
        elif k == "PCNT":
            tags.add(id3.PCNT(count=int(v)))
        elif k.startswith("APIC"):
            desc = k.partition(":")[2] or "cover"
            tags.add(id3.APIC(encoding=enc, mime="image/png", type=3, desc=desc, data=bytes.fromhex(v)))
        else:
            tags.add(id3.Frames[k](encoding=enc, text=text_of(v).split("\0")))
    tags.save(path, v1=0, v2_version=version, padding=lambda info: 32)
    if not opts:
        return
    with open(path, "rb") as f:
        data = f.read()
    flags = data[5]
    body = data[10:10 + unsyncsafe(data[6:10])]
    rest = data[10 + len(body):]
    if "exthdr" in opts:
        flags |= 0x40
        body = (b"\0\0\0\x06\0\0\0\0\0\0" if version == 3 else b"\0\0\0\x06\x01\0") + body
    if "unsync" in opts:
        if version != 3:
            sys.exit("unsync is only built for ID3v2.3")
        flags |= 0x80
        body = _util.unsynch.encode(body)
    with open(path, "wb") as f:
        f.write(b"ID3" + bytes([version, 0, flags]) + syncsafe(len(body)) + body + rest)


def write_v1(path, cut, pairs):
    values = dict(pairs)

    def field(key, size):
        raw = text_of(values.get(key, "")).encode("gbk")
        if len(raw) > size and not cut:
            sys.exit("text too long for its field: " + key)
        return raw[:size].ljust(size, b"\0")

    track = int(text_of(values.get("track", "")) or 0)
    genre = int(text_of(values.get("genre", "")) or 0)
    block = (b"TAG" + field("title", 30) + field("artist", 30) + field("album", 30) + field("year", 4) +
             field("comment", 28) + b"\0" + bytes([track, genre]))
    with open(path, "ab") as f:
        f.write(block)


def stored_hex(frame, s):
    if getattr(frame, "encoding", 3) == 0:
        return s.encode("latin-1").hex()
    return s.encode("utf-8").hex()


def read(path):
    try:
        tags = id3.ID3(path, translate=False, load_v1=False)
    except Exception as e:  # a tag mutagen rejects is a failure of ours
        print("ERROR\t" + repr(e))
        sys.exit(2)
    print("VERSION\t%d" % tags.version[1])
    print("IDS\t" + " ".join(f.FrameID for f in tags.values()))
    for frame in tags.values():
        fid = frame.FrameID
        if fid in ("COMM", "TXXX"):
            print("%s:%s\t%d\t%s" % (fid, frame.desc, frame.encoding, stored_hex(frame, "/".join(frame.text))))
        elif fid == "USLT":
            print("USLT:%s\t%d\t%s" % (frame.desc, frame.encoding, stored_hex(frame, frame.text)))
        elif fid == "APIC":
            print("APIC:%s\t%d\t%s" % (frame.desc, frame.encoding, frame.data.hex()))
            print("APICMIME:%s\t0\t%s" % (frame.desc, frame.mime.encode("utf-8").hex()))
        elif fid == "WXXX":
            print("WXXX\t0\t%s" % frame.url.encode("latin-1").hex())
        elif fid.startswith("T") and fid != "TXXX":
            print("%s\t%d\t%s" % (fid, frame.encoding, stored_hex(frame, "/".join(str(t) for t in frame.text))))


def read_v1(path):
    with open(path, "rb") as f:
        data = f.read()
    frames = _id3v1.ParseID3v1(data[-128:]) or {}
    for fid, frame in sorted(frames.items()):
        text = frame.text[0] if hasattr(frame, "text") else str(frame)
        print("%s\t%s" % (fid, str(text).encode("latin-1", "replace").hex()))


def frames(path):
    try:
        tags = id3.ID3(path)
    except id3.ID3NoHeaderError:
        return
    for key in sorted(tags.keys()):
        print("%s\t%s" % (key, tags[key].pprint().encode("utf-8").hex()))
    for raw in tags.unknown_frames:
        print("UNKNOWN\t%s" % raw.hex())


def main(argv):
    cmd, path = argv[1], argv[2]
    if cmd == "write":
        opts = [a for a in argv[5:] if "=" not in a]
        write(path, int(argv[3]), int(argv[4]), opts, parse_pairs(a for a in argv[5:] if "=" in a))
    elif cmd == "v1":
        write_v1(path, "cut" in argv[3:], parse_pairs(a for a in argv[3:] if "=" in a))
    elif cmd == "read":
        read(path)
    elif cmd == "readv1":
        read_v1(path)
    elif cmd == "frames":
        frames(path)
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main(sys.argv)
