#!/usr/bin/env python3
"""End-to-end tests of kvservice over raw sockets: the lists with CP949 keywords, login cookies,
framing, the request log and the file addresses.

    test_kvservice.py --binary out/linux/kvservice --data tools/kvservice/data
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET
import zipfile

BINARY = None
DATA = None


class Reply:
    def __init__(self, raw):
        self.raw = raw
        head, _, rest = raw.partition(b"\r\n\r\n")
        lines = head.split(b"\r\n")
        self.status = int(lines[0].split(b" ")[1])
        self.headers = []
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            self.headers.append((name.decode().lower(), value.strip().decode("latin-1")))
        self.chunks = None
        if self.header("transfer-encoding") == "chunked":
            self.chunks = []
            body = b""
            while True:
                size_line, _, rest = rest.partition(b"\r\n")
                size = int(size_line, 16)
                if size == 0:
                    break
                self.chunks.append(rest[:size])
                body += rest[:size]
                assert rest[size:size + 2] == b"\r\n", raw
                rest = rest[size + 2:]
            self.body = body
        else:
            self.body = rest
            length = self.header("content-length")
            assert length is not None and int(length) == len(rest), raw[:300]

    def header(self, name):
        for n, v in self.headers:
            if n == name:
                return v
        return None

    def all(self, name):
        return [v for n, v in self.headers if n == name]

    def xml(self):
        # The lists are CP949 bytes; ElementTree reads them once they are UTF-8.
        text = self.body.decode("cp949")
        assert text.startswith('<?xml version="1.0" encoding="euc-kr"?>'), text[:80]
        return ET.fromstring(text.split("?>", 1)[1])


class Server:
    """One kvservice process on a free port; always stopped by stop()."""

    def __init__(self, *extra):
        self.dir = tempfile.mkdtemp(prefix="kvservice-test-")
        self.log = os.path.join(self.dir, "requests.log")
        self.proc = subprocess.Popen([BINARY, "--port", "0", "--data", DATA, "--log", self.log] + list(extra),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("kvservice listening on 127.0.0.1:"):
            self.stop()
            raise RuntimeError("no start line: %r %r" % (line, self.proc.stderr.read()))
        self.port = int(line.strip().rsplit(":", 1)[1])

    def raw(self, data, timeout=5):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=timeout)
        try:
            s.sendall(data)
            out = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return out
                out += chunk
        finally:
            s.close()

    def get(self, target, cookie=b"", extra=b""):
        """A request shaped like the add-in's: fixed header lines, raw target bytes."""
        if isinstance(target, str):
            target = target.encode("cp949")
        return Reply(self.raw(b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n"
                              b"Accept: */*\r\nAccept-Language: ko\r\n" + extra + b"Cookie: " + cookie + b"\r\n\r\n"))

    def log_lines(self):
        with open(self.log, "rb") as f:
            return [json.loads(line) for line in f.read().decode("ascii").splitlines()]

    def stop(self):
        code = None
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                code = self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        else:
            code = self.proc.returncode
        self.proc.stdout.close()
        self.proc.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return code


def ids(root):
    return [int(item.get("index")) for item in root.findall("ITEM") if item.get("index") is not None]


def catalogue():
    return ET.parse(os.path.join(DATA, "catalogue.xml")).getroot()


class ServerCase(unittest.TestCase):
    server_args = ()

    @classmethod
    def setUpClass(cls):
        cls.server = Server(*cls.server_args)

    @classmethod
    def tearDownClass(cls):
        code = cls.server.stop()
        assert code == 0, "kvservice did not exit cleanly on SIGTERM: %r" % code


class ListTests(ServerCase):
    def test_weekly_list_gives_daily_then_weekly_picks(self):
        root = self.server.get("/k_app/search_weekform.asp").xml()
        picks = {t.get("pick"): [] for t in catalogue().findall("template")}
        for t in catalogue().findall("template"):
            picks[t.get("pick")].append(int(t.get("id")))
        self.assertEqual(ids(root), picks["daily"] + picks["weekly"])
        self.assertEqual(len(ids(root)), 6)
        first = root.find("ITEM")
        for child in ("FILE", "FTITLE", "URL", "IMAGE", "LINK"):
            self.assertTrue(first.findtext(child), child)

    def test_cp949_keyword_filters_by_program(self):
        root = self.server.get("/k_app/search_freeform.asp?ext=xls&keyword=견적서").xml()
        self.assertEqual(ids(root), [201])
        self.assertEqual(root.find("ITEM").findtext("FILE"), "견적서.xls")
        root = self.server.get("/k_app/search_certform.asp?ext=xls&keyword=견적서").xml()
        self.assertEqual(ids(root), [216])
        # The same word under another program finds nothing, but still answers a list.
        root = self.server.get("/k_app/search_freeform.asp?ext=doc&keyword=견적서").xml()
        self.assertEqual(root.tag, "LIST")
        self.assertEqual(ids(root), [])

    def test_plus_is_a_space_and_every_word_must_match(self):
        self.assertEqual(ids(self.server.get("/k_app/search_certform.asp?ext=doc&keyword=사업계획서+창업").xml()), [111])
        self.assertEqual(ids(self.server.get("/k_app/search_certform.asp?ext=ppt&keyword=사업계획서+창업").xml()), [])
        # A literal '%' is not an escape: the add-in never percent-encodes.
        self.assertEqual(ids(self.server.get("/k_app/search_freeform.asp?ext=doc&keyword=%EC%9D%B4").xml()), [])

    def test_empty_or_missing_keyword_and_ext(self):
        free_doc = [101, 102, 103, 104]
        self.assertEqual(ids(self.server.get("/k_app/search_freeform.asp?ext=doc&keyword=").xml()), free_doc)
        self.assertEqual(ids(self.server.get("/k_app/search_freeform.asp?ext=doc").xml()), free_doc)
        everything = ids(self.server.get("/k_app/search_freeform.asp").xml())
        self.assertEqual(len(everything), 12)
        self.assertEqual(ids(self.server.get("/k_app/search_freeform.asp?ext=hwp&keyword=이력서").xml()), [101])

    def test_search_by_document_name(self):
        # The add-in keeps the Hangul bytes of "견적서_최종.xlsx": 견적서최종.
        root = self.server.get("/k_app/search_certform.asp?ext=xls&logtype=cfilename&keyword=견적서최종").xml()
        self.assertEqual(ids(root), [216])
        root = self.server.get("/k_app/search_freeform.asp?ext=doc&logtype=cfilename&keyword=최종회의록").xml()
        self.assertEqual(ids(root), [103])
        # A plain search for the same text finds nothing: no entry holds "견적서최종".
        self.assertEqual(ids(self.server.get("/k_app/search_certform.asp?ext=xls&keyword=견적서최종").xml()), [])

    def test_best_list_leads_with_three_free_entries(self):
        items = self.server.get("/k_app/search_bestform.asp?ext=ppt").xml().findall("ITEM")
        self.assertEqual([int(i.get("index")) for i in items], [301, 302, 303, 311, 312, 313, 314])
        # The legacy names that give these entries the presentation images.
        self.assertEqual([i.findtext("FILE").rsplit(".", 1)[1] for i in items], ["pot"] + ["ppt"] * 6)

    def test_member_marks_without_login(self):
        items = {i.findtext("FILE"): i for i in
                 self.server.get("/k_app/search_certform.asp?ext=doc&keyword=").xml().findall("ITEM")}
        self.assertEqual(items["사업계획서_창업.doc"].get("enable"), "0")
        self.assertEqual(items["사업계획서_창업.doc"].get("flag"), "1")
        # Entries that leave attributes out, so the add-in's defaults get exercised.
        self.assertIsNone(items["내용증명.doc"].get("enable"))
        self.assertIsNone(items["위임장.doc"].get("flag"))
        self.assertIsNone(items["재직증명서.doc"].get("index"))

    def test_urls_serve_the_files_their_names_promise(self):
        root = self.server.get("/k_app/search_freeform.asp").xml()
        root.extend(self.server.get("/k_app/search_certform.asp").xml().findall("ITEM"))
        main_part = {"docx": "word/document.xml", "ppt": "ppt/presentation.xml", "pot": "ppt/presentation.xml",
                     "pptx": "ppt/presentation.xml"}
        seen = 0
        for item in root.findall("ITEM"):
            url = item.findtext("URL")
            prefix = "http://127.0.0.1:%d" % self.server.port
            self.assertTrue(url.startswith(prefix + "/k_app/files/"), url)
            reply = self.server.get(url[len(prefix):])
            self.assertEqual(reply.status, 200, url)
            with open(os.path.join(DATA, "files", url.rsplit("/", 1)[1]), "rb") as f:
                self.assertEqual(reply.body, f.read())
            ext = item.findtext("FILE").rsplit(".", 1)[1].lower()
            if ext == "doc":
                self.assertTrue(reply.body.startswith(b"{\\rtf1"))
            elif ext == "xls":
                self.assertTrue(reply.body.startswith(bytes.fromhex("D0CF11E0A1B11AE1")), item.findtext("FILE"))
            else:
                names = zipfile.ZipFile(__import__("io").BytesIO(reply.body)).namelist()
                self.assertIn(main_part[ext], names, item.findtext("FILE"))
            seen += 1
        self.assertEqual(seen, 36)

    def test_preview_page_and_picture(self):
        page = self.server.get("/k_app/preview_image.asp?image=p201.png")
        self.assertEqual(page.status, 200)
        html = page.body.decode("cp949")
        src = html.split('src="', 1)[1].split('"', 1)[0]
        self.assertEqual(src, "http://127.0.0.1:%d/k_app/preview/p201.png" % self.server.port)
        picture = self.server.get("/k_app/preview/p201.png")
        self.assertEqual(picture.header("content-type"), "image/png")
        self.assertTrue(picture.body.startswith(b"\x89PNG\r\n\x1a\n"))
        self.assertEqual(self.server.get("/k_app/preview_image.asp?image=nothing.png").status, 404)

    def test_banner(self):
        item = self.server.get("/k_app/banner_list.asp").xml().find("ITEM")
        self.assertEqual(item.findtext("SUBJECT"), "이번 주 새 서식 30종 업데이트")
        self.assertEqual(item.findtext("URL"), "http://127.0.0.1:%d/weekupdate/pindex.asp" % self.server.port)

    def test_host_header_decides_the_addresses(self):
        raw = self.server.raw(b"GET /k_app/search_freeform.asp?ext=doc&keyword=%s HTTP/1.1\r\nHost: svc.test:8080\r\n\r\n"
                              % "사직서".encode("cp949"))
        url = Reply(raw).xml().find("ITEM").findtext("URL")
        self.assertEqual(url, "http://svc.test:8080/k_app/files/t102.doc")


class LoginTests(ServerCase):
    def test_login_page_has_the_elements(self):
        html = self.server.get("/k_app/login.asp").body.decode("cp949")
        for element in ('id="id"', 'id="pwd"', 'id="PID"', 'id="bms_code"', 'id="login_submit"'):
            self.assertIn(element, html)
        self.assertIn('action="/k_app/login.asp"', html)

    def test_wrong_password_is_not_ok(self):
        for query in ("id=kvfull&pwd=wrong", "id=nobody&pwd=full1234", "id=&pwd="):
            reply = self.server.get("/k_app/login.asp?" + query + "&PID=x&bms_code=y")
            self.assertEqual(reply.status, 200)
            self.assertNotEqual(reply.body, b"ok")
            self.assertEqual(reply.all("set-cookie"), [])

    def test_login_status_logout_cycle(self):
        self.assertEqual(self.server.get("/k_app/login_status.asp").body, b"")
        reply = self.server.get("/k_app/login.asp?id=kvfull&pwd=full1234&PID=abc&bms_code=KV01")
        self.assertEqual(reply.body, b"ok")
        cookie = reply.header("set-cookie").split(";", 1)[0]
        self.assertEqual(cookie, "KVMEMBER=kvfull")
        self.assertEqual(self.server.get("/k_app/login_status.asp", cookie=b"a=1; " + cookie.encode()).body, b"1")
        # A full member may use class 0 and 1 templates, not class 2.
        marks = {i.get("flag"): i.get("enable") for i in
                 self.server.get("/k_app/search_certform.asp?ext=xls&keyword=", cookie=cookie.encode()).xml().findall("ITEM")}
        self.assertEqual(marks, {"0": "1", "1": "1", "2": "0"})
        logout = self.server.get("/k_app/logout.asp", cookie=cookie.encode())
        cleared = logout.header("set-cookie")
        self.assertTrue(cleared.startswith("KVMEMBER=;"), cleared)
        self.assertIn("Max-Age=0", cleared)
        self.assertEqual(self.server.get("/k_app/login_status.asp", cookie=b"KVMEMBER=").body, b"")
        self.assertEqual(self.server.get("/k_app/login_status.asp", cookie=b"KVMEMBER=forged").body, b"")

    def test_post_login_with_form_encoding(self):
        body = b"id=kvtop&pwd=top1234&PID=%7Bx%7D&bms_code=A+B"
        raw = self.server.raw(b"POST /k_app/login.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\n%s"
                              % (len(body), body))
        reply = Reply(raw)
        self.assertEqual(reply.body, b"ok")
        self.assertEqual(self.server.get("/k_app/login_status.asp", cookie=b"KVMEMBER=kvtop").body, b"3")


class FramingAndLogTests(ServerCase):
    def test_content_length_by_default_chunked_on_request(self):
        plain = self.server.get("/k_app/search_certform.asp?ext=ppt")
        self.assertIsNone(plain.chunks)
        chunked = self.server.get("/k_app/search_certform.asp?ext=ppt&kvchunked=1")
        self.assertIsNone(chunked.header("content-length"))
        self.assertGreater(len(chunked.chunks), 1)
        self.assertEqual(chunked.body, plain.body)
        by_header = self.server.get("/k_app/search_certform.asp?ext=ppt", extra=b"X-Kv-Chunked: 1\r\n")
        self.assertEqual(by_header.body, plain.body)
        self.assertIsNotNone(by_header.chunks)
        empty = self.server.get("/k_app/login_status.asp?kvchunked=1")
        self.assertEqual((empty.chunks, empty.body), ([], b""))

    def test_log_records_the_exact_request(self):
        target = b"/k_app/DataLog.asp?logtype=keyword&keyword=\xc8\xb8\xc0\xc7 \xb7\xcf?#&PID=%41"
        head = (b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n"
                b"Accept: */*\r\nAccept-Language: ko\r\nCookie: \r\nX-Kv-Raw-Target: 2f\r\n\r\n")
        reply = Reply(self.server.raw(head))
        self.assertEqual((reply.status, reply.body), (200, b"ok"))
        entry = [e for e in self.server.log_lines() if "DataLog" in e["target"]][-1]
        self.assertEqual(bytes.fromhex(entry["target_hex"]), target)
        self.assertEqual(bytes.fromhex(entry["head_hex"]), head)
        self.assertEqual(entry["target"].encode("latin-1"), target)
        self.assertEqual(entry["headers"][:5], [["Host", "127.0.0.1"], ["User-Agent", "test"], ["Accept", "*/*"],
                                                ["Accept-Language", "ko"], ["Cookie", ""]])

    def test_bad_requests_get_bounded_answers(self):
        self.assertEqual(Reply(self.server.raw(b"NONSENSE\r\n\r\n")).status, 400)
        huge = b"GET / HTTP/1.1\r\nX-Big: " + b"a" * 40000 + b"\r\n\r\n"
        self.assertEqual(Reply(self.server.raw(huge)).status, 431)
        for target in ("/k_app/files/../catalogue.xml", "/k_app/files/%2e%2e%2fcatalogue.xml",
                       "/k_app/preview_image.asp?image=../catalogue.xml", "/k_app/nothing.asp",
                       "/k_app/template_view.asp?idx=9999"):
            self.assertEqual(self.server.get(target).status, 404, target)
        # A client that connects and says nothing does not hold up the others.
        idle = socket.create_connection(("127.0.0.1", self.server.port))
        try:
            self.assertEqual(self.server.get("/k_app/DataLog.asp?logtype=exe").body, b"ok")
        finally:
            idle.close()

    def test_version_file_and_pages(self):
        version = self.server.get("/k_app/update/kestrovase_version.ini")
        self.assertEqual(version.body, b"0.9.96.6")
        self.assertEqual(self.server.get("/k_app/update/file_x64/KestrovaSE_new.dll").status, 404)
        for page in ("/k_app/PageProcessing.asp?uflag=3&code=KV&PID=x", "/member/register_change_mypage_pay.asp",
                     "/weekupdate/pindex.asp", "/k_app/template_view.asp?idx=111", "/"):
            self.assertEqual(self.server.get(page).status, 200, page)


class OptionTests(unittest.TestCase):
    def test_chunked_option_version_and_new_library(self):
        library = tempfile.NamedTemporaryFile(delete=False)
        library.write(bytes(range(256)) * 40)
        library.close()
        server = Server("--chunked", "--version", "1.0.0.1", "--newlib", library.name)
        try:
            version = server.get("/k_app/update/kestrovase_version.ini")
            self.assertEqual((version.body, version.chunks is not None), (b"1.0.0.1", True))
            dll = server.get("/k_app/update/file_x64/KestrovaSE_new.dll")
            self.assertEqual(dll.body, bytes(range(256)) * 40)
            self.assertIsNone(server.get("/k_app/banner_list.asp?kvchunked=0").chunks)
        finally:
            self.assertEqual(server.stop(), 0)
            os.unlink(library.name)

    def test_port_file_names_the_port_in_use(self):
        folder = tempfile.mkdtemp(prefix="kvservice-port-")
        port_file = os.path.join(folder, "port")
        server = Server("--port-file", port_file)
        try:
            # Written by the time the start line is out, whole, and naming the printed port.
            with open(port_file) as f:
                self.assertEqual(f.read(), "%d\n" % server.port)
            self.assertEqual(os.listdir(folder), ["port"])
            self.assertEqual(server.get("/k_app/update/kestrovase_version.ini").status, 200)
        finally:
            self.assertEqual(server.stop(), 0)
            shutil.rmtree(folder, ignore_errors=True)
        proc = subprocess.run([BINARY, "--port", "0", "--data", DATA, "--port-file", "/nonexistent/dir/port"],
                              capture_output=True, timeout=20)
        self.assertNotEqual(proc.returncode, 0, "an unwritable port file must not pass for a start")

    def test_refuses_bad_command_lines(self):
        for args in (["--port", "0"], ["--port", "0", "--data", DATA, "--version", "0.9.96.6.12345"],
                     ["--port", "0", "--data", "/nonexistent"], ["--port", "x", "--data", DATA]):
            proc = subprocess.run([BINARY] + args, capture_output=True, timeout=10)
            self.assertNotEqual(proc.returncode, 0, args)
            self.assertTrue(proc.stderr, args)


if __name__ == "__main__":
    argv = sys.argv[:1]
    rest = sys.argv[1:]
    while rest:
        key = rest.pop(0)
        if key == "--binary":
            BINARY = rest.pop(0)
        elif key == "--data":
            DATA = rest.pop(0)
        else:
            argv.append(key)
    if not BINARY or not DATA:
        sys.exit("usage: test_kvservice.py --binary PATH --data DIR [unittest args]")
    unittest.main(argv=argv, verbosity=2)
