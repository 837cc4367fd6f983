#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed inputs of the INI and rules fuzz targets (fuzz/corpus/ini,
fuzz/corpus/rules) in the layout fuzz_input.h reads: flag bytes and texts, each
a length byte and bytes that map to whole characters."""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def gb(s):
    return s.encode("gb18030")


def chars(gb_bytes):
    """The bytes Input::wholeText turns into `gb_bytes` (ASCII and double-byte)."""
    out, i = bytearray(), 0
    while i < len(gb_bytes):
        b = gb_bytes[i]
        if b < 0x80:
            out.append(b)
            i += 1
            continue
        t = gb_bytes[i + 1]
        out += bytes([b, t - 0x40 if t <= 0x7E else t - 0x80 + 63])
        i += 2
    return bytes(out)


def text(s):
    raw = chars(gb(s))
    assert len(raw) < 256
    return bytes([len(raw)]) + raw


def head(rule, names):
    """The first byte: which rule, how many names, whole characters."""
    return next(h for h in range(128) if h % 5 == rule and h // 8 % 6 + 1 == names)


CONFIG = ("[预览选项]\r\n自动预览=开\r\n全部预览=关\r\n预览数量=10\r\n"
          "[颜色]\r\n背景颜色=8429696\r\n字体颜色=8388608\r\n"
          "[字体]\r\n字体名称=宋体\r\n字体大小=10\r\n字体样式=常规\r\n")

INI = {
    "codepage": (b"\0", "字体", "字体名称", "微软雅黑", gb(CONFIG)),
    "utf8_bom": (b"\0", "预览选项", "预览数量", "20", b"\xEF\xBB\xBF" + CONFIG.encode()),
    "utf8": (b"\0", "颜色", "背景颜色", "1", CONFIG.replace("\r\n", "\n").encode()),
    "utf16le": (b"\0", "a", "b", "c", b"\xFF\xFE" + CONFIG.encode("utf-16-le")),
    "utf16be": (b"\0", "字体", "x", "y", b"\xFE\xFF" + CONFIG.encode("utf-16-be")),
    "messy": (b"\0", "沒覽", "閉", "v", gb(" [ s ] \nk = 1\n[S]\nk=2\n\n[t\nk=3\r\n[沒覽]\n=\nlast=no end")),
}

NAMES = ["song.mp3", "學校.TXT", "長點.tar.gz", ".hidden", "noext", "a.b.c"]

RULES = {
    # general: flags (scope, typed start and increment), start, increment,
    # prefix, text, digits, suffix, ext prefix, ext text, ext digits, ext suffix
    "general": bytes([head(0, 4), 6, 0x02, 1, 1]) + text("前") + text("歌") + bytes([3]) + text("后")
    + text("") + text("x") + bytes([0xC0]) + text(""),
    "general_ext": bytes([head(0, 3), 7, 0x06]) + text("-5") + bytes([2]) + text("") + text("") + bytes([0x85])
    + text("") + text(".") + text("") + bytes([0x02]) + text("z"),
    # replace: flags (scope, case, pattern, cleanup), search, replacement
    "replace": bytes([head(1, 4), 6, 0x02]) + text("學") + text("学"),
    "replace_case": bytes([head(1, 3), 5, 0x00]) + text("W") + text("|"),
    "regex": bytes([head(1, 5), 7, 0x1A]) + text("(\\w+)\\.(\\d*)") + text("$2/$1$$"),
    # insert: flags (keep same, at end, typed positions), name text, ext text, positions
    "insert": bytes([head(2, 4), 6, 0x00]) + text("插") + text("x") + bytes([2, 1]),
    "insert_end": bytes([head(2, 2), 4, 0x07]) + text("尾") + text("") + bytes([0, 0]),
    # case: the choices of main part and extension
    "case": bytes([head(3, 6), 8, 0x04]),
    # mp3: flags (cleanup, placeholder), rule, the six fields
    "mp3": bytes([head(4, 1), 0, 0x03]) + text("#1-#3-#5-#2-#4") + text("AC/DC") + text("歌名")
    + text("专辑") + text("3/12") + text("1999") + text("17"),
    "mp3_marks": bytes([head(4, 1), 0, 0x00]) + text("##1#7#") + text("艺") + text("") + text("")
    + text(" 7") + text("") + text(""),
}


def main():
    for name, (flags, section, key, value, content) in INI.items():
        d = HERE / "corpus" / "ini"
        d.mkdir(parents=True, exist_ok=True)
        (d / name).write_bytes(flags + text(section) + text(key) + text(value) + content)
    for name, prefix in RULES.items():
        d = HERE / "corpus" / "rules"
        d.mkdir(parents=True, exist_ok=True)
        count = prefix[0] // 8 % 6 + 1
        names = b"".join(text(n) for n in NAMES[:count])
        # The names go between the head byte and the rest.
        (d / name).write_bytes(prefix[:1] + names + prefix[1:])


if __name__ == "__main__":
    main()
