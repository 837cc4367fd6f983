#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes tiny audio files of the formats TagLib reads and tags them with mutagen.

The containers are built here (no samples worth hearing, just what the
formats and both libraries need); mutagen writes the tags.

  make FORMAT PATH [KEY=HEX...]
      FORMAT: flac, ogg, opus, oga (Ogg FLAC), spx, m4a, ape, mpc, wv, tta,
      wma, wav, aiff, aifc, mod. KEY: artist, title, album, track, date,
      genre; HEX is UTF-8. No KEY: a file without a tag.
      raw-KEY=HEX stores the bytes as they are where the format has no word
      on them: in a FLAC Vorbis comment or an APE item (written under a
      placeholder of the same length that is then overwritten), or as an
      encoding-0 frame of the ID3 chunk of a WAV or AIFF file.
      chunk-ID=HEX adds a text chunk of the container's own, built here:
      an entry of a WAV's LIST INFO (chunk-INAM), a chunk of an AIFF
      (chunk-NAME). A MOD file takes title= alone, into its header.
  batch
      Each line of the standard input is FORMAT PATH [KEY=HEX...] as above:
      many files for one start of the interpreter.
"""
import struct
import sys

try:
    import mutagen
except ImportError:  # Debian's package, when another interpreter is first on PATH
    sys.path.append("/usr/lib/python3/dist-packages")
    import mutagen
from mutagen import (aiff, apev2, asf, flac, id3, monkeysaudio, mp4, musepack, oggflac, oggopus, oggspeex,
                     oggvorbis, trueaudio, wave, wavpack)
from mutagen.asf._objects import FilePropertiesObject, HeaderObject, StreamPropertiesObject
from mutagen.asf._util import guid2bytes
from mutagen.ogg import OggPage


def ogg_pages(packets):
    """One page a packet, the last one ending the stream."""
    out = b""
    for i, packet in enumerate(packets):
        page = OggPage()
        page.serial = 0x51
        page.sequence = i
        page.first = i == 0
        page.last = i == len(packets) - 1
        page.position = 0 if i < 2 else 4800
        page.packets = [packet]
        out += page.write()
    return out


def vorbis_comment(magic):
    return magic + struct.pack("<I", 6) + b"qorin!" + struct.pack("<I", 0)


def flac_block(kind, body):
    return bytes([kind]) + struct.pack(">I", len(body))[1:] + body


def riff_info(chunks):
    """A LIST INFO chunk of the entries, each NUL-ended and padded to an even size."""
    body = b"INFO"
    for cid, value in chunks:
        value += b"\0"
        body += cid + struct.pack("<I", len(value)) + value + b"\0" * (len(value) % 2)
    return b"LIST" + struct.pack("<I", len(body)) + body


def aiff_chunks(chunks):
    out = b""
    for cid, value in chunks:
        out += cid + struct.pack(">I", len(value)) + value + b"\0" * (len(value) % 2)
    return out


STREAMINFO = struct.pack(">HH", 4096, 4096) + b"\0" * 6 + struct.pack(
    ">Q", (44100 << 44) | (1 << 41) | (15 << 36) | 4800) + b"\0" * 16


def container(fmt, chunks=()):
    if fmt == "flac":
        return b"fLaC" + flac_block(0x80, STREAMINFO) + b"\xff\xf8" + b"\0" * 30
    if fmt == "oga":
        head = b"\x7fFLAC\x01\x00" + struct.pack(">H", 1) + b"fLaC" + flac_block(0, STREAMINFO)
        return ogg_pages([head, flac_block(0x84, vorbis_comment(b"")), b"\xff\xf8" + b"\0" * 8])
    if fmt == "spx":
        head = b"Speex   " + b"1.2".ljust(20, b"\0") + struct.pack("<14i", 1, 80, 8000, 0, 4, 1, -1, 160, 0, 1, 0, 0,
                                                                    0, 0)
        return ogg_pages([head, vorbis_comment(b""), b"\0" * 8])
    if fmt == "mpc":  # SV7: frames, then the sample-rate flags (44.1 kHz)
        return b"MP+\x07" + struct.pack("<II", 1, 0) + b"\0" * 20 + b"\0" * 64
    if fmt == "wv":
        header = b"wvpk" + struct.pack("<IHBBIIIII", 24 + 16, 0x410, 0, 0, 4800, 0, 4800, (9 << 23) | 1, 0)
        return header + b"\0" * 16
    if fmt == "tta":
        return b"TTA1" + struct.pack("<HHHII", 1, 1, 16, 44100, 4800) + b"\0" * 4 + b"\0" * 64
    if fmt == "mod":  # a 31-sample module with one empty pattern
        return b"\0" * 20 + (b"\0" * 22 + b"\0\0\0\x40\0\0\0\x01") * 31 + b"\x01\x7f" + b"\0" * 128 + b"M.K." + \
            b"\0" * 1024
    if fmt == "ogg":
        ident = b"\x01vorbis" + struct.pack("<IBIiiiBB", 0, 1, 44100, 0, 64000, 0, 0xB8, 1)
        return ogg_pages([ident, vorbis_comment(b"\x03vorbis") + b"\x01", b"\x05vorbis" + b"\0" * 8, b"\0" * 8])
    if fmt == "opus":
        head = b"OpusHead" + struct.pack("<BBHIhB", 1, 1, 312, 48000, 0, 0)
        return ogg_pages([head, vorbis_comment(b"OpusTags"), b"\xf8\xff\xfe"])
    if fmt == "m4a":
        def atom(name, body):
            return struct.pack(">I", 8 + len(body)) + name + body
        mvhd = atom(b"mvhd", b"\0" * 12 + struct.pack(">II", 1000, 100) + b"\0" * 80)
        return atom(b"ftyp", b"M4A \0\0\0\0M4A mp42isom") + atom(b"moov", mvhd) + atom(b"mdat", b"\0" * 16)
    if fmt == "ape":
        descriptor = b"MAC " + struct.pack("<HH", 3990, 0) + struct.pack("<IIIIIII", 52, 24, 0, 0, 16, 0, 0)
        header = struct.pack("<HHIIIHHI", 2000, 0, 73728, 1, 1, 16, 2, 44100)
        return descriptor + b"\0" * 16 + header + b"\0" * 16
    if fmt == "wma":
        # The two objects TagLib insists on: file properties, and one audio stream (PCM, 1 channel).
        files = bytes(16) + struct.pack("<QQQQQQII", 0, 0, 0, 10000000, 10000000, 0, 2, 0) + bytes(8)
        files = FilePropertiesObject.GUID + struct.pack("<Q", 24 + len(files)) + files
        wave_format = struct.pack("<HHIIHHH", 1, 1, 8000, 16000, 2, 16, 0)
        stream = guid2bytes("F8699E40-5B4D-11CF-A8FD-00805F5C442B") + guid2bytes(
            "20FB5700-5B55-11CF-A8FD-00805F5C442B") + struct.pack("<QIIHI", 0, len(wave_format), 0, 1, 0) + wave_format
        stream = StreamPropertiesObject.GUID + struct.pack("<Q", 24 + len(stream)) + stream
        body = files + stream
        return HeaderObject.GUID + struct.pack("<QIBB", 30 + len(body), 2, 1, 2) + body
    if fmt == "wav":
        fmt_chunk = b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 16000, 2, 16)
        data = b"data" + struct.pack("<I", 16) + b"\0" * 16
        body = fmt_chunk + (riff_info(chunks) if chunks else b"") + data
        return b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WAVE" + body
    if fmt in ("aiff", "aifc"):
        rate = bytes.fromhex("400EAC44000000000000")
        if fmt == "aiff":
            comm = b"COMM" + struct.pack(">IhIh", 18, 1, 8, 16) + rate
            head = b""
        else:
            comm = b"COMM" + struct.pack(">IhIh", 24, 1, 8, 16) + rate + b"NONE\x00\x00"
            head = b"FVER" + struct.pack(">II", 4, 0xA2805140)
        body = head + comm + aiff_chunks(chunks) + b"SSND" + struct.pack(">III", 24, 0, 0) + b"\0" * 16
        return b"FORM" + struct.pack(">I", 4 + len(body)) + (b"AIFF" if fmt == "aiff" else b"AIFC") + body
    sys.exit("unknown format " + fmt)


VORBIS = {"artist": "ARTIST", "title": "TITLE", "album": "ALBUM", "track": "TRACKNUMBER", "date": "DATE",
          "genre": "GENRE"}
APE = {"artist": "Artist", "title": "Title", "album": "Album", "track": "Track", "date": "Year", "genre": "Genre"}
MP4 = {"artist": "\xa9ART", "title": "\xa9nam", "album": "\xa9alb", "date": "\xa9day", "genre": "\xa9gen"}
ASF = {"artist": "Author", "title": "Title", "album": "WM/AlbumTitle", "track": "WM/TrackNumber",
       "date": "WM/Year", "genre": "WM/Genre"}
ID3 = {"artist": "TPE1", "title": "TIT2", "album": "TALB", "track": "TRCK", "date": "TDRC", "genre": "TCON"}


def tag(fmt, path, pairs):
    patches = []  # (placeholder, bytes) overwritten after mutagen saved

    def text(key, value):
        if not key.startswith("raw-"):
            return value.decode("utf-8")
        placeholder = "".join(chr(ord("A") + (len(patches) * 7 + i) % 26) for i in range(len(value)))
        patches.append((placeholder.encode(), value))
        return placeholder

    if fmt in ("flac", "ogg", "opus", "oga", "spx"):
        f = {"flac": flac.FLAC, "ogg": oggvorbis.OggVorbis, "opus": oggopus.OggOpus, "oga": oggflac.OggFLAC,
             "spx": oggspeex.OggSpeex}[fmt](path)
        if f.tags is None:
            f.add_tags()
        for k, v in pairs:
            f.tags[VORBIS[k.replace("raw-", "")]] = [text(k, v)]
        f.save()
    elif fmt in ("ape", "mpc", "wv"):
        f = {"ape": monkeysaudio.MonkeysAudio, "mpc": musepack.Musepack, "wv": wavpack.WavPack}[fmt](path)
        f.add_tags()
        for k, v in pairs:
            f.tags[APE[k.replace("raw-", "")]] = text(k, v)
        f.save()
    elif fmt == "m4a":
        f = mp4.MP4(path)
        f.add_tags()
        for k, v in pairs:
            if k == "track":
                f.tags["trkn"] = [(int(v), 0)]
            else:
                f.tags[MP4[k]] = [v.decode("utf-8")]
        f.save()
    elif fmt == "wma":
        f = asf.ASF(path)
        for k, v in pairs:
            f.tags[ASF[k]] = [v.decode("utf-8")]
        f.save()
    elif fmt == "mod":
        with open(path, "r+b") as fh:
            fh.write(dict(pairs)["title"][:20])
        return
    elif fmt in ("wav", "aiff", "aifc", "tta"):
        f = {"wav": wave.WAVE, "aiff": aiff.AIFF, "aifc": aiff.AIFF, "tta": trueaudio.TrueAudio}[fmt](path)
        f.add_tags()
        for k, v in pairs:
            frame = id3.Frames[ID3[k.replace("raw-", "")]]
            if k.startswith("raw-"):
                f.tags.add(frame(encoding=0, text=[v.decode("latin-1")]))
            else:
                f.tags.add(frame(encoding=3, text=[v.decode("utf-8")]))
        f.save(v2_version=3)
    with open(path, "rb") as fh:
        data = fh.read()
    for placeholder, value in patches:
        if data.count(placeholder) != 1:
            sys.exit("placeholder not found once")
        data = data.replace(placeholder, value)
    with open(path, "wb") as fh:
        fh.write(data)


def main(argv):
    if len(argv) == 2 and argv[1] == "batch":
        for line in sys.stdin:
            if line.strip():
                make(line.split())
        return
    if len(argv) < 4 or argv[1] != "make":
        sys.exit(__doc__)
    make(argv[2:])


def make(args):
    fmt, path = args[0], args[1]
    pairs, chunks = [], []
    for a in args[2:]:
        k, _, v = a.partition("=")
        if k.startswith("chunk-"):
            chunks.append((k[6:].encode(), bytes.fromhex(v)))
        else:
            pairs.append((k, bytes.fromhex(v)))
    with open(path, "wb") as fh:
        fh.write(container(fmt, chunks))
    if pairs:
        tag(fmt, path, pairs)


if __name__ == "__main__":
    main(sys.argv)
