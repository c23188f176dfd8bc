#!/usr/bin/env python3
"""Reads the committed sample catalogue back with readers of our own, independent of the
generator: the workbooks as compound files and BIFF8 records, the RTF documents' Unicode
escapes, the Office Open XML packages; and the file-type rule each FILE name meets.

    test_sample_files.py tools/kvservice/data
"""
import io
import os
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ET
import zipfile

DATA = None

FREESECT, ENDOFCHAIN = 0xFFFFFFFF, 0xFFFFFFFE


def read_compound_file(blob):
    """Returns {stream name: bytes} of a version 3 compound file with no mini streams in use
    beyond what the header declares; raises AssertionError on any structural fault."""
    assert blob[:8] == bytes.fromhex("D0CF11E0A1B11AE1"), "signature"
    minor, major, order, shift, mini_shift = struct.unpack_from("<HHHHH", blob, 24)
    assert (major, order, shift, mini_shift) == (3, 0xFFFE, 9, 6), (major, order, shift, mini_shift)
    fat_count, dir_start, _, cutoff, minifat_start, minifat_count, difat_start, difat_count = \
        struct.unpack_from("<IIIIIIII", blob, 44)
    assert cutoff == 4096 and difat_count == 0 and difat_start == ENDOFCHAIN
    assert (len(blob) - 512) % 512 == 0, "whole sectors"
    sectors = (len(blob) - 512) // 512
    difat = struct.unpack_from("<109I", blob, 76)
    fat_sectors = list(difat[:fat_count])
    assert all(s == FREESECT for s in difat[fat_count:])
    fat = []
    for s in fat_sectors:
        assert s < sectors
        fat += struct.unpack_from("<128I", blob, 512 + s * 512)

    def chain(start):
        out, seen = [], set()
        while start != ENDOFCHAIN:
            assert start < sectors and start not in seen, "broken chain at %d" % start
            seen.add(start)
            out.append(start)
            start = fat[start]
        return out

    def read(start):
        return b"".join(blob[512 + s * 512: 1024 + s * 512] for s in chain(start))

    directory = read(dir_start)
    entries = []
    for off in range(0, len(directory), 128):
        e = directory[off:off + 128]
        name_len, kind = struct.unpack_from("<HB", e, 64)
        left, right, child = struct.unpack_from("<III", e, 68)
        start, size = struct.unpack_from("<IQ", e, 116)
        name = e[:max(name_len - 2, 0)].decode("utf-16-le")
        entries.append((name, kind, left, right, child, start, size))
    assert entries[0][:2] == ("Root Entry", 5), entries[0]
    streams = {}
    # Walk the red-black tree below the root (only its shape matters here, not colours).
    todo = [entries[0][4]]
    while todo:
        i = todo.pop()
        if i == 0xFFFFFFFF:
            continue
        name, kind, left, right, child, start, size = entries[i]
        todo += [left, right]
        if kind == 2:
            assert size >= cutoff, "%s would live in the mini stream" % name
            body = read(start)
            assert len(body) >= size
            streams[name] = body[:size]
    return streams


def biff_records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        rtype, size = struct.unpack_from("<HH", stream, pos)
        assert size <= 8224 and pos + 4 + size <= len(stream), "record at %d" % pos
        yield pos, rtype, stream[pos + 4: pos + 4 + size]
        pos += 4 + size
        if rtype == 0x000A and all(b == 0 for b in stream[pos:]):
            return  # the final EOF; what follows is sector padding


def read_xlunicode(data, pos, length_size):
    cch = data[pos] if length_size == 1 else struct.unpack_from("<H", data, pos)[0]
    flags = data[pos + length_size]
    pos += length_size + 1
    if flags & 1:
        return data[pos:pos + 2 * cch].decode("utf-16-le"), pos + 2 * cch
    return data[pos:pos + cch].decode("latin-1"), pos + cch


def read_workbook(blob):
    """The cells of the first sheet as {(row, col): value}, checking the record structure."""
    stream = read_compound_file(blob)["Workbook"]
    records = list(biff_records(stream))
    pos, rtype, data = records[0]
    assert rtype == 0x0809 and struct.unpack_from("<HH", data) == (0x0600, 0x0005), "globals BOF"
    sheet_at, strings, xf_count, fonts = None, [], 0, 0
    sheet_cells, sheet_bofs, eofs = {}, [], 0
    for pos, rtype, data in records:
        if rtype == 0x0809:
            sheet_bofs.append(pos)
        elif rtype == 0x000A:
            eofs += 1
        elif rtype == 0x0085:
            sheet_at = struct.unpack_from("<I", data)[0]
        elif rtype == 0x00E0:
            xf_count += 1
        elif rtype == 0x0031:
            fonts += 1
        elif rtype == 0x00FC:
            total, unique = struct.unpack_from("<II", data)
            p = 8
            for _ in range(unique):
                text, p = read_xlunicode(data, p, 2)
                strings.append(text)
            assert p == len(data) and total >= unique
        elif rtype == 0x00FD:
            row, col, ixfe, isst = struct.unpack_from("<HHHI", data)
            assert ixfe < xf_count and isst < len(strings)
            sheet_cells[(row, col)] = strings[isst]
        elif rtype == 0x0203:
            row, col, ixfe, value = struct.unpack_from("<HHHd", data)
            assert ixfe < xf_count
            sheet_cells[(row, col)] = value
    assert sheet_bofs == [0, sheet_at], "BOUNDSHEET must point at the sheet's BOF: %r" % sheet_bofs
    assert eofs == 2 and records[-1][1] == 0x000A
    assert xf_count >= 16 and fonts >= 4, "Excel needs the 15 style XFs, a cell XF and the fonts"
    return sheet_cells


def rtf_plain(text):
    """The visible text of our simple RTF: \\uN escapes decoded, their fallbacks skipped."""
    skip = int(re.search(r"\\uc(\d+)", text).group(1)) if "\\uc" in text else 1
    out, i = [], 0
    while i < len(text):
        m = re.compile(r"\\u(-?\d+)").match(text, i)
        if m:
            out.append(chr(int(m.group(1)) & 0xFFFF))
            i = m.end()
            for _ in range(skip):
                i = re.compile(r"\\'[0-9a-f]{2}|.", re.S).match(text, i).end()
            continue
        m = re.compile(r"\\[a-z]+-?\d* ?|[{}\r\n]").match(text, i)
        if m:
            i = m.end()
            continue
        out.append(text[i])
        i += 1
    return "".join(out)


def catalogue():
    return ET.parse(os.path.join(DATA, "catalogue.xml")).getroot().findall("template")


class SampleFiles(unittest.TestCase):
    def test_every_file_is_what_its_name_promises(self):
        kinds = {}
        for t in catalogue():
            name, title = t.get("file"), t.findtext("title")
            with open(os.path.join(DATA, "files", t.get("source")), "rb") as f:
                blob = f.read()
            ext = name.rsplit(".", 1)[1].lower()
            with self.subTest(file=name):
                if ext == "xls":
                    cells = read_workbook(blob)
                    self.assertEqual(cells[(0, 0)], title)
                    self.assertEqual(cells[(1, 0)], "번호")
                elif ext == "doc":
                    text = blob.decode("ascii")
                    self.assertTrue(text.startswith("{\\rtf1") and text.count("{") == text.count("}"))
                    self.assertIn(title, rtf_plain(text))
                else:
                    z = zipfile.ZipFile(io.BytesIO(blob))
                    self.assertIsNone(z.testzip())
                    part = {"docx": "word/document.xml"}.get(ext, "ppt/slides/slide1.xml")
                    self.assertIn(title, "".join(ET.fromstring(z.read(part)).itertext()))
                    if ext != "docx":
                        self.assertIn("ppt/presentation.xml", z.namelist())
                kinds.setdefault(t.get("program"), set()).add(ext)
        # Content follows the program, so a name never opens in the wrong host.
        self.assertEqual(kinds, {"doc": {"doc", "docx"}, "xls": {"xls"}, "ppt": {"ppt", "pot", "pptx"}})

    def test_names_mostly_carry_the_legacy_extension_of_their_program(self):
        legacy = {"doc": ("doc",), "xls": ("xls",), "ppt": ("ppt", "pot")}
        others = []
        for t in catalogue():
            ext = t.get("file").rsplit(".", 1)[1]
            if ext not in legacy[t.get("program")]:
                others.append(t.get("file"))
        # The few deliberate exceptions exercise the add-in's fallback images.
        self.assertEqual(sorted(others), sorted(["보도자료.docx", "가계부.XLS", "워크숍.pptx"]))
        self.assertTrue(any(t.get("file").endswith(".pot") for t in catalogue()))

    def test_data_stays_small(self):
        total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(DATA) for f in fs)
        self.assertLess(total, 2 * 1024 * 1024)


class Readers(unittest.TestCase):
    """The readers above must reject what a broken writer would produce."""

    def sample(self):
        name = next(t.get("source") for t in catalogue() if t.get("source").endswith(".xls"))
        with open(os.path.join(DATA, "files", name), "rb") as f:
            return bytearray(f.read())

    def test_broken_workbooks_are_rejected(self):
        good = self.sample()
        read_workbook(bytes(good))
        cut = good[:-512]                                   # last data sector missing
        bad_sheet = bytearray(good)
        stream_at = 512 * 3                                 # FAT, directory, then the stream
        first = bytes(good[stream_at:stream_at + 4])
        self.assertEqual(first, b"\x09\x08\x10\x00")        # the globals BOF opens the stream
        bad_sheet[stream_at + 6:stream_at + 8] = b"\x10\x00"  # globals BOF claiming a worksheet
        loop = bytearray(good)
        struct.pack_into("<I", loop, 512 + 4 * 3, 3)        # a sector chained to itself
        for blob in (bytes(cut), bytes(bad_sheet), bytes(loop)):
            with self.assertRaises((AssertionError, struct.error, IndexError)):
                read_workbook(blob)


if __name__ == "__main__":
    DATA = sys.argv.pop(1)
    unittest.main()
