#!/usr/bin/env python3
"""Writes the sample catalogue of kvservice: catalogue.xml, the template files and the preview
pictures. Its output is committed (tools/kvservice/data); run it again after changing the
table below:  python3 tools/kvservice/make_sample_data.py [OUTDIR]

Needs python3 and ImageMagick's `convert` with the Nanum fonts (fonts-nanum).
Names mostly carry the legacy extension of their program (.doc, .xls, .ppt/.pot), since the
add-in chooses images and the opening program from it; README.md lists what each one serves.
"""
import os
import re
import subprocess
import struct
import sys
import zipfile
from xml.sax.saxutils import escape, quoteattr

FONT = "/usr/share/fonts/truetype/nanum/NanumGothic.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/nanum/NanumGothicBold.ttf"

# id, list, program, FILE name, title, keywords, extra attributes (flag, enable, index, best, pick)
TEMPLATES = [
    (101, "free", "doc", "이력서_기본형.doc", "기본 이력서 양식", "이력서 입사지원 구직 resume", dict(best=1, pick="daily")),
    (102, "free", "doc", "사직서.doc", "사직서 (일반 회사용)", "사직서 퇴사 사직", dict(best=2)),
    (103, "free", "doc", "회의록.doc", "회의록 기본 양식", "회의록 회의 미팅", dict(best=3, pick="weekly")),
    (104, "free", "doc", "업무일지.doc", "업무일지 (일일 보고)", "업무일지 일지 보고서", {}),
    (111, "member", "doc", "사업계획서_창업.doc", "창업 사업계획서", "사업계획서 창업 계획", dict(flag=1, best=1, pick="daily")),
    (112, "member", "doc", "자기소개서_신입.doc", "신입사원 자기소개서", "자기소개서 이력서 입사지원", dict(flag=0, best=2)),
    (113, "member", "doc", "경력기술서.doc", "경력기술서 양식", "경력기술서 이력서 경력", dict(flag=1, best=3)),
    (114, "member", "doc", "근로계약서.doc", "표준 근로계약서", "근로계약서 계약서 근로", dict(flag=2, best=4)),
    (115, "member", "doc", "내용증명.doc", "내용증명 작성 양식", "내용증명 법률 통지", dict(flag=0, enable="omit")),
    (116, "member", "doc", "위임장.doc", "위임장 (개인용)", "위임장 위임 계약서", dict(flag="omit")),
    (117, "member", "doc", "재직증명서.doc", "재직증명서", "재직증명서 증명서 이력서", dict(index="omit")),
    (118, "member", "doc", "보도자료.docx", "보도자료 작성 양식", "보도자료 홍보 언론", dict(flag=1)),
    (201, "free", "xls", "견적서.xls", "견적서 기본 양식", "견적서 견적", dict(best=1, pick="daily")),
    (202, "free", "xls", "거래명세서.xls", "거래명세서", "거래명세서 명세서 거래", dict(best=2)),
    (203, "free", "xls", "출퇴근기록부.xls", "출퇴근 기록부", "출퇴근 근태 기록부", dict(best=3)),
    (204, "free", "xls", "가계부.XLS", "월간 가계부", "가계부 지출 예산", {}),
    (211, "member", "xls", "세금계산서.xls", "세금계산서 (전자 양식)", "세금계산서 세금 계산서", dict(flag=1, best=1, pick="weekly")),
    (212, "member", "xls", "급여명세서.xls", "급여명세서", "급여명세서 급여 월급 명세서", dict(flag=1, best=2)),
    (213, "member", "xls", "재고관리대장.xls", "재고관리 대장", "재고관리 재고 대장", dict(flag=0, best=3)),
    (214, "member", "xls", "손익계산서.xls", "손익계산서", "손익계산서 재무 회계", dict(flag=2, best=4)),
    (215, "member", "xls", "매출보고서.xls", "월별 매출 보고서", "매출 보고서 실적", dict(flag=0)),
    (216, "member", "xls", "견적서_상세.xls", "상세 견적서 (부가세 포함)", "견적서 견적 부가세", dict(flag=1)),
    (217, "member", "xls", "감가상각표.xls", "감가상각 계산표", "감가상각 회계 자산", dict(flag=2)),
    (218, "member", "xls", "일정표.xls", "프로젝트 일정표", "일정표 일정 프로젝트", dict(flag=0)),
    (301, "free", "ppt", "발표자료_기본.pot", "발표 자료 기본 템플릿", "발표 자료 프레젠테이션", dict(best=1, pick="weekly")),
    (302, "free", "ppt", "회사소개서.ppt", "회사 소개서", "회사소개 소개서 회사", dict(best=2)),
    (303, "free", "ppt", "교육자료.ppt", "사내 교육 자료", "교육 자료 강의", dict(best=3)),
    (304, "free", "ppt", "세미나.pot", "세미나 발표 자료", "세미나 발표 자료", {}),
    (311, "member", "ppt", "사업계획서_발표.ppt", "사업계획서 발표 자료", "사업계획서 발표 투자", dict(flag=1, best=1)),
    (312, "member", "ppt", "제안서.ppt", "영업 제안서", "제안서 영업 제안", dict(flag=0, best=2)),
    (313, "member", "ppt", "분기실적보고.ppt", "분기 실적 보고", "실적 보고서 분기", dict(flag=1, best=3)),
    (314, "member", "ppt", "투자유치자료.ppt", "투자 유치 IR 자료", "IR 투자 유치", dict(flag=2, best=4)),
    (315, "member", "ppt", "졸업발표.ppt", "졸업 논문 발표", "논문 졸업 발표", dict(flag=0)),
    (316, "member", "ppt", "마케팅전략.ppt", "마케팅 전략 보고", "마케팅 전략 보고서", dict(flag=1)),
    (317, "member", "ppt", "제품소개.ppt", "신제품 소개 자료", "제품 소개 신제품", dict(flag=0)),
    (318, "member", "ppt", "워크숍.pptx", "워크숍 진행 자료", "워크숍 교육 진행", dict(flag=2)),
]

MEMBERS = [("kvtop", "top1234", 3), ("kvpremium", "premium1234", 2), ("kvfull", "full1234", 1), ("kvbasic", "basic1234", 0)]

BANNER = ("이번 주 새 서식 30종 업데이트", "/weekupdate/pindex.asp")

COLOURS = {"doc": "#2b579a", "xls": "#217346", "ppt": "#d24726"}
LINES = ["작성일:  20    년    월    일", "작성자:", "소속:", "내용:"]

ZIP_DATE = (2024, 1, 1, 0, 0, 0)  # fixed, so the files do not change between runs


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts:
            info = zipfile.ZipInfo(name, ZIP_DATE)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8"))


XML_HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
DOC_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def rels(items):
    body = "".join('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % (i, DOC_REL, t, target) for i, t, target in items)
    return XML_HEAD + '<Relationships xmlns="%s">%s</Relationships>' % (REL_NS, body)


def content_types(overrides):
    body = "".join('<Override PartName="%s" ContentType="%s"/>' % o for o in overrides)
    return (XML_HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>' + body + "</Types>")


def make_docx(path, title):
    W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
    paras = ['<w:p><w:pPr><w:jc w:val="center"/></w:pPr><w:r><w:rPr><w:b/><w:sz w:val="40"/></w:rPr><w:t>%s</w:t></w:r></w:p>' % escape(title)]
    paras += ['<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' % escape(line) for line in LINES]
    document = XML_HEAD + '<w:document xmlns:w="%s"><w:body>%s<w:sectPr/></w:body></w:document>' % (W, "".join(paras))
    write_zip(path, [
        ("[Content_Types].xml", content_types([("/word/document.xml",
            "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml")])),
        ("_rels/.rels", rels([("rId1", "officeDocument", "word/document.xml")])),
        ("word/document.xml", document),
    ])


# --- Legacy workbook: BIFF8 records in an OLE2 compound file ---------------------------------

def biff(rtype, data):
    assert len(data) <= 8224  # the BIFF8 record limit; the sample's records are far smaller
    return struct.pack("<HH", rtype, len(data)) + data


def short_ustr(text):
    """ShortXLUnicodeString, always stored as UTF-16 (Hangul needs it)."""
    raw = text.encode("utf-16-le")
    return struct.pack("<BB", len(raw) // 2, 1) + raw


def ustr(text):
    """XLUnicodeString with a 16-bit length, stored as UTF-16."""
    raw = text.encode("utf-16-le")
    return struct.pack("<HB", len(raw) // 2, 1) + raw


def bof(kind):  # kind 0x0005 workbook globals, 0x0010 worksheet
    return biff(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0, 0x06))


EOF_RECORD = biff(0x000A, b"")
GULIM = "굴림"
FONT_PLAIN, FONT_BOLD_TITLE = 0, 5   # font index 4 does not exist in BIFF, so the fifth record is 5
XF_CELL, XF_TITLE, XF_HEADER = 15, 16, 17


def font(height, bold):
    return biff(0x0031, struct.pack("<HHHHHBBBB", height, 0, 0x7FFF, 700 if bold else 400, 0, 0, 0, 129, 0)
                + short_ustr(GULIM))


def xf(font_index, style, align=0x20, used=0):
    # Fore/back pattern colours 64/65 (system window colours) packed as the format wants them.
    flags = 0xFFF5 if style else 0x0001        # style XFs: locked, style, no parent; cells: parent 0
    return biff(0x00E0, struct.pack("<HHHBBBBIIH", font_index, 0, flags, align, 0, 0, used, 0, 0, 0x20C0))


def workbook_stream(title):
    """The Workbook stream: globals with one sheet whose A1 holds the title and row 2 a header."""
    header = ["번호", "품목", "수량", "단가", "금액"]
    strings = [title] + header + ["합계"]
    cells = [biff(0x00FD, struct.pack("<HHHI", 0, 0, XF_TITLE, 0))]
    cells += [biff(0x00FD, struct.pack("<HHHI", 1, c, XF_HEADER, 1 + c)) for c in range(len(header))]
    for row in (2, 3, 4):
        cells.append(biff(0x0203, struct.pack("<HHHd", row, 0, XF_CELL, float(row - 1))))
    cells.append(biff(0x00FD, struct.pack("<HHHI", 5, 0, XF_HEADER, len(strings) - 1)))

    sheet = bof(0x0010)
    sheet += biff(0x0055, struct.pack("<H", 10))                                   # DEFCOLWIDTH
    sheet += biff(0x007D, struct.pack("<HHHHHH", 0, 0, 6 * 256, XF_CELL, 0, 0))     # COLINFO A
    sheet += biff(0x007D, struct.pack("<HHHHHH", 1, 4, 12 * 256, XF_CELL, 0, 0))    # COLINFO B:E
    sheet += biff(0x0200, struct.pack("<IIHHH", 0, 6, 0, len(header), 0))          # DIMENSIONS
    sheet += b"".join(cells)
    sheet += biff(0x023E, struct.pack("<HHHHHHHHH", 0x06B6, 0, 0, 0x40, 0, 0, 0, 0, 0))  # WINDOW2
    sheet += EOF_RECORD

    head = bof(0x0005)
    head += biff(0x0042, struct.pack("<H", 1200))                                  # CODEPAGE: UTF-16
    head += biff(0x003D, struct.pack("<HHHHHHHHH", 0x0168, 0x001E, 0x3A98, 0x2328, 0x0038, 0, 0, 1, 0x0258))
    head += b"".join([font(220, False)] * 4 + [font(320, True)])
    head += b"".join(xf(0, True, used=0 if i == 0 else 0xF4) for i in range(15))
    head += xf(FONT_PLAIN, False)                                                  # 15: default cell
    head += xf(FONT_BOLD_TITLE, False, used=0x08)                                  # 16: title
    head += xf(FONT_PLAIN, False, align=0x22, used=0x10)                           # 17: centred header
    head += biff(0x0293, struct.pack("<HBB", 0x8000, 0, 0xFF))                     # STYLE: Normal
    sheet_name = short_ustr("서식")
    boundsheet_size = 4 + 6 + len(sheet_name)

    # SST with its EXTSST index: every eighth string's stream position and offset in the record.
    sst_pos = len(head) + boundsheet_size
    sst_body = struct.pack("<II", len(strings) + 4, len(strings))   # total uses, unique strings
    index = b""
    for i, text in enumerate(strings):
        if i % 8 == 0:
            in_record = 4 + len(sst_body)
            index += struct.pack("<IHH", sst_pos + in_record, in_record, 0)
        sst_body += ustr(text)
    tail = biff(0x00FC, sst_body) + biff(0x00FF, struct.pack("<H", 8) + index) + EOF_RECORD
    sheet_pos = len(head) + boundsheet_size + len(tail)
    head += biff(0x0085, struct.pack("<IBB", sheet_pos, 0, 0) + sheet_name)        # BOUNDSHEET
    assert len(head) == sst_pos
    return head + tail + sheet


SECTOR = 512
FREESECT, ENDOFCHAIN, FATSECT, NOSTREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF


def dir_entry(name, kind, child, start, size):
    raw = (name + "\0").encode("utf-16-le") if name else b""
    entry = raw.ljust(64, b"\0") + struct.pack("<HBBIII", len(raw), kind, 1 if name else 0,
                                               NOSTREAM, NOSTREAM, child)
    entry += b"\0" * 16 + struct.pack("<IQQII", 0, 0, 0, start, size) + b"\0" * 4
    assert len(entry) == 128
    return entry


def compound_file(stream_name, stream):
    """An OLE2 compound file (version 3, 512-byte sectors) holding one stream at the root.
    The stream is padded to the 4096-byte cutoff so that it lives in ordinary sectors and no
    mini stream is needed; readers stop at the workbook's final EOF record."""
    stream = stream.ljust(max(4096, -(-len(stream) // SECTOR) * SECTOR), b"\0")
    data_sectors = len(stream) // SECTOR
    fat_sectors = 1
    while fat_sectors * (SECTOR // 4) < fat_sectors + 1 + data_sectors:
        fat_sectors += 1
    assert fat_sectors <= 109
    dir_sector = fat_sectors
    first_data = dir_sector + 1
    fat = [FATSECT] * fat_sectors + [ENDOFCHAIN]
    fat += [first_data + i + 1 for i in range(data_sectors - 1)] + [ENDOFCHAIN]
    fat += [FREESECT] * (fat_sectors * (SECTOR // 4) - len(fat))
    header = bytes.fromhex("D0CF11E0A1B11AE1") + b"\0" * 16
    header += struct.pack("<HHHHH", 0x003E, 0x0003, 0xFFFE, 9, 6) + b"\0" * 6
    header += struct.pack("<IIIIIIIII", 0, fat_sectors, dir_sector, 0, 4096, ENDOFCHAIN, 0, ENDOFCHAIN, 0)
    header += struct.pack("<109I", *(list(range(fat_sectors)) + [FREESECT] * (109 - fat_sectors)))
    assert len(header) == SECTOR
    directory = (dir_entry("Root Entry", 5, 1, ENDOFCHAIN, 0) + dir_entry(stream_name, 2, NOSTREAM, first_data, len(stream))
                 + dir_entry("", 0, NOSTREAM, 0, 0) * 2)
    return header + struct.pack("<%dI" % len(fat), *fat) + directory + stream


def make_xls(path, title):
    with open(path, "wb") as f:
        f.write(compound_file("Workbook", workbook_stream(title)))


P = "http://schemas.openxmlformats.org/presentationml/2006/main"
A = "http://schemas.openxmlformats.org/drawingml/2006/main"
NS = 'xmlns:a="%s" xmlns:r="%s" xmlns:p="%s"' % (A, DOC_REL, P)
EMPTY_TREE = ('<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
              '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/>'
              '<a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>')
THEME = (XML_HEAD + '<a:theme xmlns:a="%s" name="Kestrova"><a:themeElements>'
         '<a:clrScheme name="Kestrova"><a:dk1><a:srgbClr val="000000"/></a:dk1><a:lt1><a:srgbClr val="FFFFFF"/></a:lt1>'
         '<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2>'
         '<a:accent1><a:srgbClr val="4F81BD"/></a:accent1><a:accent2><a:srgbClr val="C0504D"/></a:accent2>'
         '<a:accent3><a:srgbClr val="9BBB59"/></a:accent3><a:accent4><a:srgbClr val="8064A2"/></a:accent4>'
         '<a:accent5><a:srgbClr val="4BACC6"/></a:accent5><a:accent6><a:srgbClr val="F79646"/></a:accent6>'
         '<a:hlink><a:srgbClr val="0000FF"/></a:hlink><a:folHlink><a:srgbClr val="800080"/></a:folHlink></a:clrScheme>'
         '<a:fontScheme name="Kestrova"><a:majorFont><a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/>'
         '</a:majorFont><a:minorFont><a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/></a:minorFont>'
         '</a:fontScheme><a:fmtScheme name="Kestrova"><a:fillStyleLst>' + '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>' * 3 +
         '</a:fillStyleLst><a:lnStyleLst>' + '<a:ln w="9525"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln>' * 3 +
         '</a:lnStyleLst><a:effectStyleLst>' + '<a:effectStyle><a:effectLst/></a:effectStyle>' * 3 +
         '</a:effectStyleLst><a:bgFillStyleLst>' + '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>' * 3 +
         '</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>') % A


def text_box(shape_id, name, y, size, text):
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
            '<p:spPr><a:xfrm><a:off x="457200" y="%d"/><a:ext cx="8229600" cy="914400"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr><p:txBody><a:bodyPr/><a:lstStyle/>'
            '<a:p><a:r><a:rPr lang="ko-KR" sz="%d"/><a:t>%s</a:t></a:r></a:p></p:txBody></p:sp>'
            % (shape_id, name, y, size, escape(text)))


def make_pptx(path, title):
    slide = (XML_HEAD + '<p:sld %s><p:cSld><p:spTree>%s%s%s</p:spTree></p:cSld></p:sld>'
             % (NS, EMPTY_TREE, text_box(2, "Title", 1600200, 4000, title), text_box(3, "Body", 3200400, 2000, "케스트로바 서식")))
    master = (XML_HEAD + '<p:sldMaster %s><p:cSld><p:spTree>%s</p:spTree></p:cSld>'
              '<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" '
              'accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>'
              '<p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst></p:sldMaster>' % (NS, EMPTY_TREE))
    layout = (XML_HEAD + '<p:sldLayout %s type="blank"><p:cSld name="Blank"><p:spTree>%s</p:spTree></p:cSld>'
              '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>' % (NS, EMPTY_TREE))
    presentation = (XML_HEAD + '<p:presentation %s><p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/>'
                    '</p:sldMasterIdLst><p:sldIdLst><p:sldId id="256" r:id="rId2"/></p:sldIdLst>'
                    '<p:sldSz cx="9144000" cy="6858000" type="screen4x3"/><p:notesSz cx="6858000" cy="9144000"/>'
                    '</p:presentation>' % NS)
    ct = "application/vnd.openxmlformats-officedocument.presentationml."
    write_zip(path, [
        ("[Content_Types].xml", content_types([
            ("/ppt/presentation.xml", ct + "presentation.main+xml"),
            ("/ppt/slideMasters/slideMaster1.xml", ct + "slideMaster+xml"),
            ("/ppt/slideLayouts/slideLayout1.xml", ct + "slideLayout+xml"),
            ("/ppt/slides/slide1.xml", ct + "slide+xml"),
            ("/ppt/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml")])),
        ("_rels/.rels", rels([("rId1", "officeDocument", "ppt/presentation.xml")])),
        ("ppt/presentation.xml", presentation),
        ("ppt/_rels/presentation.xml.rels", rels([("rId1", "slideMaster", "slideMasters/slideMaster1.xml"),
                                                  ("rId2", "slide", "slides/slide1.xml"),
                                                  ("rId3", "theme", "theme/theme1.xml")])),
        ("ppt/slideMasters/slideMaster1.xml", master),
        ("ppt/slideMasters/_rels/slideMaster1.xml.rels", rels([("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml"),
                                                               ("rId2", "theme", "../theme/theme1.xml")])),
        ("ppt/slideLayouts/slideLayout1.xml", layout),
        ("ppt/slideLayouts/_rels/slideLayout1.xml.rels", rels([("rId1", "slideMaster", "../slideMasters/slideMaster1.xml")])),
        ("ppt/slides/slide1.xml", slide),
        ("ppt/slides/_rels/slide1.xml.rels", rels([("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml")])),
        ("ppt/theme/theme1.xml", THEME),
    ])


def rtf_text(text):
    # Non-ASCII goes out as \uN (a signed 16-bit code unit) followed by its two code page 949
    # bytes, which readers without Unicode support show instead (\uc2 in the header says two).
    out = []
    for ch in text:
        n = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif n < 128:
            out.append(ch)
        else:
            encoded = ch.encode("cp949", errors="replace")
            fallback = "".join("\\'%02x" % b for b in encoded) if len(encoded) == 2 else "??"
            out.append("\\u%d%s" % (n if n < 32768 else n - 65536, fallback))
    return "".join(out)


def make_rtf(path, title):
    body = "{\\rtf1\\ansi\\ansicpg949\\deff0\\uc2{\\fonttbl{\\f0\\fnil\\fcharset129 Malgun Gothic;}}\n"
    body += "{\\info{\\title %s}}\n" % rtf_text(title)
    body += "\\pard\\qc\\b\\fs40 %s\\b0\\fs22\\par\\pard\\ql\n" % rtf_text(title)
    body += "".join("%s\\par\n" % rtf_text(line) for line in LINES) + "}\n"
    with open(path, "w", encoding="ascii") as f:
        f.write(body)


def make_preview(path, title, program):
    colour = COLOURS[program]
    args = ["convert", "-size", "140x180", "xc:white", "-fill", colour, "-draw", "rectangle 0,0 139,30",
            "-fill", "white", "-font", FONT_BOLD, "-pointsize", "11", "-gravity", "north", "-annotate", "+0+9",
            {"doc": "문서", "xls": "엑셀", "ppt": "발표"}[program],
            "-fill", "#333333", "-font", FONT_BOLD, "-pointsize", "12", "-annotate", "+0+44", title,
            "-stroke", "#cccccc", "-fill", "none"]
    for y in range(80, 170, 14):
        args += ["-draw", "line 14,%d 125,%d" % (y, y)]
    args += ["-strip", "-define", "png:exclude-chunks=date,time", "-colors", "16", "PNG8:" + path]
    subprocess.run(args, check=True)


# What each extension carries. Word opens RTF and the presentation host opens Office Open XML
# by content, whatever the name says; the workbooks are genuine legacy binaries.
MAKERS = {"doc": make_rtf, "docx": make_docx, "xls": make_xls, "ppt": make_pptx, "pot": make_pptx, "pptx": make_pptx}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "data")
    for sub in ("files", "preview"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<!-- Written by make_sample_data.py; see README.md for the format. -->",
             "<catalogue>",
             "  <banner subject=%s url=%s/>" % (quoteattr(BANNER[0]), quoteattr(BANNER[1]))]
    written_files, written_previews = set(), set()
    for member_id, password, level in MEMBERS:
        lines.append('  <member id="%s" password="%s" level="%d"/>' % (member_id, password, level))
    for tid, list_, program, file_name, title, keywords, extra in TEMPLATES:
        ext = file_name.rsplit(".", 1)[1].lower()
        source = "t%d.%s" % (tid, ext)
        image = "p%d.png" % tid
        maker = MAKERS[ext]
        maker(os.path.join(out, "files", source), title)
        make_preview(os.path.join(out, "preview", image), title, program)
        written_files.add(source)
        written_previews.add(image)
        attrs = 'id="%d" list="%s" program="%s" file=%s source="%s" image="%s"' % (
            tid, list_, program, quoteattr(file_name), source, image)
        for key in ("index", "flag", "enable", "best", "pick"):
            if key in extra:
                attrs += ' %s="%s"' % (key, extra[key])
        lines.append("  <template %s>\n    <title>%s</title>\n    <keywords>%s</keywords>\n  </template>"
                     % (attrs, escape(title), escape(keywords)))
    lines.append("</catalogue>")
    with open(os.path.join(out, "catalogue.xml"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    # Files of entries that were renamed or removed would otherwise linger in the committed data.
    for sub, keep in (("files", written_files), ("preview", written_previews)):
        for name in os.listdir(os.path.join(out, sub)):
            if name not in keep and re.fullmatch(r"[tp]\d+\.\w+", name):
                os.remove(os.path.join(out, sub, name))


if __name__ == "__main__":
    main()
