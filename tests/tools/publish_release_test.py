#!/usr/bin/env python3
"""The vendor's publishing tool: the layout it writes, and that it refuses
every release the launcher would refuse, writing nothing then."""
import contextlib
import hashlib
import io
import importlib.machinery
import importlib.util
import json
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "publish-release")

_loader = importlib.machinery.SourceFileLoader("publish_release", TOOL)
_spec = importlib.util.spec_from_loader("publish_release", _loader)
tool = importlib.util.module_from_spec(_spec)
_loader.exec_module(tool)

GIB = 1024 ** 3
MIB = 1024 ** 2


def sha(data):
    return hashlib.sha256(data).hexdigest()


class Workspace(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.root = self._dir.name
        self.out = os.path.join(self.root, "www")

    def tearDown(self):
        self._dir.cleanup()

    def setup_program(self, data=None, size=None):
        path = os.path.join(self.root, "setup.exe")
        with open(path, "wb") as f:
            if size is not None:
                f.truncate(size)  # sparse: only its size is looked at before refusing
            else:
                f.write(data)
        return path

    def written_files(self):
        found = []
        for folder, _, files in os.walk(self.root):
            found += [os.path.relpath(os.path.join(folder, f), self.out) for f in files if folder != self.root]
        return sorted(found)


class Publishing(Workspace):
    def test_parts_manifest_and_layout(self):
        data = os.urandom(1000003)
        path = tool.publish(self.setup_program(data), "1.1.1", "localhost", 47443, self.out,
                            folder="demo", parts=4)
        self.assertEqual(path, os.path.join(self.out, "vandroglade", "windows", "demo", "latest.json"))
        with open(path, "rb") as f:
            body = f.read()
        manifest = json.loads(body)
        self.assertEqual(list(manifest), ["schema", "appId", "version", "sha256", "size", "parts"])
        self.assertEqual(manifest["appId"], "com.vandro.vandroglade")
        self.assertEqual((manifest["sha256"], manifest["size"]), (sha(data), len(data)))
        self.assertEqual([p["size"] for p in manifest["parts"]], [250001, 250001, 250001, 250000])

        joined = b""
        for index, part in enumerate(manifest["parts"]):
            rel = "vandroglade/windows/demo/%s/part-%03d.bin" % (sha(data)[:16], index)
            self.assertEqual(part["url"], "https://localhost:47443/" + rel)
            with open(os.path.join(self.out, rel), "rb") as f:
                bytes_ = f.read()
            self.assertEqual((len(bytes_), sha(bytes_)), (part["size"], part["sha256"]))
            joined += bytes_
        self.assertEqual(joined, data)
        tool.check_manifest(body, "localhost")
        self.assertEqual(len(self.written_files()), 5)  # no temporary file left

    def test_part_size_leaves_the_rest_to_the_last_part_and_default_port(self):
        data = os.urandom(2500)
        path = tool.publish(self.setup_program(data), "2.0.0", "download.vandro.example", None, self.out,
                            part_size=1000, installed_bytes=0)
        with open(path, "rb") as f:
            manifest = json.load(f)
        self.assertEqual(path, os.path.join(self.out, "vandroglade", "windows", "latest.json"))
        self.assertEqual([p["size"] for p in manifest["parts"]], [1000, 1000, 500])
        self.assertTrue(manifest["parts"][0]["url"].startswith("https://download.vandro.example/vandroglade/windows/"))
        self.assertEqual(manifest["installedBytes"], 0)

    def test_command_line_reports_refusal_with_status_2(self):
        setup = self.setup_program(b"abc")
        args = ["--setup", setup, "--version", "1", "--host", "localhost", "--out", self.out]
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()) as err:
            self.assertEqual(tool.main(args + ["--parts", "4"]), 2)
            self.assertIn("Part metadata", err.getvalue())
            self.assertEqual(self.written_files(), [])
            self.assertEqual(tool.main(args + ["--parts", "3"]), 0)
        self.assertEqual(len(self.written_files()), 4)

    def test_refused_releases_write_nothing(self):
        cases = [
            ("empty setup program", dict(size=0), dict(parts=1), "Manifest size"),
            ("16 GiB + 1", dict(size=16 * GIB + 1), dict(part_size=256 * MIB), "Manifest size"),
            ("257 parts", dict(size=257), dict(parts=257), "Manifest parts"),
            ("257 parts by size", dict(size=257 * 2), dict(part_size=2), "Manifest parts"),
            ("a part of 256 MiB + 1", dict(size=256 * MIB + 1), dict(parts=1), "Part metadata"),
            ("more parts than bytes", dict(size=3), dict(parts=4), "Part metadata"),
            ("part size 0", dict(size=3), dict(part_size=0), "Part metadata"),
            ("installed size 128 GiB + 1", dict(size=3), dict(parts=1, installed_bytes=128 * GIB + 1), "Installed size"),
            ("negative installed size", dict(size=3), dict(parts=1, installed_bytes=-1), "Installed size"),
            ("manifest over 131,072 bytes", dict(size=3), dict(parts=1, version="x" * 131072),
             "Unexpected download size"),
        ]
        for what, file_args, publish_args, label in cases:
            with self.subTest(what):
                setup = self.setup_program(**({"data": b"\0" * file_args["size"]} if file_args["size"] < MIB
                                              else file_args))
                version = publish_args.pop("version", "1.1.1")
                with self.assertRaises(tool.Refused) as refusal:
                    tool.publish(setup, version, "localhost", 47443, self.out, **publish_args)
                self.assertEqual(str(refusal.exception), label)
                self.assertEqual(self.written_files(), [])

    def test_folder_outside_plain_names_is_refused(self):
        setup = self.setup_program(b"abc")
        for folder in ["../x", "a/./b", "a?b", "a%2fb", "a b", "a\\b"]:
            with self.subTest(folder), self.assertRaises(SystemExit):
                tool.publish(setup, "1.1.1", "localhost", None, self.out, folder=folder, parts=1)
        self.assertEqual(self.written_files(), [])

    def test_host_that_is_no_plain_name_is_refused(self):
        setup = self.setup_program(b"abc")
        for host in ["", "localhost/x", "user@localhost", "localhost:1", "local host"]:
            with self.subTest(host), self.assertRaises(SystemExit):
                tool.publish(setup, "1.1.1", host, None, self.out, parts=1)
        self.assertEqual(self.written_files(), [])


def valid():
    return {"schema": 1, "appId": "com.vandro.vandroglade", "version": "1.1.1", "sha256": "a" * 64, "size": 3000,
            "parts": [{"size": 1000, "sha256": "b" * 64, "url": "https://localhost:9/vandroglade/windows/p%d" % i}
                      for i in range(3)]}


def edited(change):
    manifest = valid()
    change(manifest)
    return json.dumps(manifest).encode()


class LauncherRules(unittest.TestCase):
    """The tool's check agrees with the launcher's rules and their order."""

    def test_rules_in_order(self):
        def part(index, key, value):
            def change(m):
                m["parts"][index][key] = value
            return change

        rows = [
            ("valid", lambda m: None, None),
            ("schema 2", lambda m: m.update(schema=2), "Manifest schema"),
            ("schema absent", lambda m: m.pop("schema"), "Manifest schema"),
            ("schema \"1\"", lambda m: m.update(schema="1"), "type must be number, but is string"),
            ("schema true", lambda m: m.update(schema=True), None),
            ("schema 2^32+1", lambda m: m.update(schema=2**32 + 1), "Manifest schema"),
            ("appId case", lambda m: m.update(appId="com.vandro.VandroGLADE"), "Manifest schema"),
            ("sha256 upper case", lambda m: m.update(sha256="A" + "a" * 63), "Manifest checksum"),
            ("sha256 63", lambda m: m.update(sha256="a" * 63), "Manifest checksum"),
            ("sha256 absent", lambda m: m.pop("sha256"), "key 'sha256' not found"),
            ("size 0", lambda m: m.update(size=0), "Manifest size"),
            ("size -1", lambda m: m.update(size=-1), "Manifest size"),
            ("size 16 GiB + 1", lambda m: m.update(size=16 * GIB + 1), "Manifest size"),
            ("size a boolean", lambda m: m.update(size=True), "type must be number, but is boolean"),
            ("parts empty", lambda m: m.update(parts=[]), "Manifest parts"),
            ("parts an object", lambda m: m.update(parts={}), "Manifest parts"),
            ("parts 257", lambda m: m.update(parts=m["parts"] * 86), "Manifest parts"),
            ("part 256 MiB + 1", part(0, "size", 256 * MIB + 1), "Part metadata"),
            ("part sha256 upper", part(1, "sha256", "B" * 64), "Part metadata"),
            ("part a string", lambda m: m["parts"].__setitem__(1, "p1"), "cannot use at() with string"),
            ("part url another host", part(2, "url", "https://example.org/vandroglade/windows/p"),
             "Unexpected download host"),
            ("part url http", part(2, "url", "http://localhost/vandroglade/windows/p"), "Unexpected download host"),
            ("part url host case", part(2, "url", "https://Localhost/vandroglade/windows/p"),
             "Unexpected download host"),
            ("part url outside the path", part(2, "url", "https://localhost/vandroglade/mac/p"),
             "Unexpected download path"),
            ("part url query smuggling", part(2, "url", "https://localhost/?/vandroglade/windows/"),
             "Unexpected download path"),
            ("part url relative", part(2, "url", "/vandroglade/windows/p"), "Invalid URL"),
            ("part url dot segment", part(2, "url", "https://localhost/vandroglade/windows/../p"),
             "Unexpected download path"),
            ("part url encoded dots", part(2, "url", "https://localhost/vandroglade/windows/%2E%2e/p"),
             "Unexpected download path"),
            ("part url encoded slash", part(2, "url", "https://localhost/vandroglade/windows/a%2Fb"),
             "Unexpected download path"),
            ("part url backslash", part(2, "url", "https://localhost/vandroglade/windows/a\\b"),
             "Unexpected download path"),
            ("part url fragment", part(2, "url", "https://localhost/vandroglade/windows/p#/../../../x"),
             "Unexpected download path"),
            ("part url fragment after a query", part(2, "url", "https://localhost/vandroglade/windows/p?v=1#f"),
             "Unexpected download path"),
            ("part url double encoding", part(2, "url", "https://localhost/vandroglade/windows/%252e%252e/p"),
             "Unexpected download path"),
            ("part url dots with a parameter", part(2, "url", "https://localhost/vandroglade/windows/..;x/p"),
             "Unexpected download path"),
            ("part url dot with a parameter", part(2, "url", "https://localhost/vandroglade/windows/.;x/p"),
             "Unexpected download path"),
            ("part url dots in a query", part(2, "url", "https://localhost/vandroglade/windows/p?x=../y%25"), None),
            ("part url three dots with a parameter", part(2, "url", "https://localhost/vandroglade/windows/...;x/p"), None),
            ("part total + 1", lambda m: m.update(size=3001), "Part total"),
            ("installedBytes 128 GiB + 1", lambda m: m.update(installedBytes=128 * GIB + 1), "Installed size"),
            ("installedBytes 1e30", lambda m: m.update(installedBytes=1e30), "Installed size"),
            ("installedBytes 128 GiB", lambda m: m.update(installedBytes=128 * GIB), None),
            ("version absent", lambda m: m.pop("version"), "key 'version' not found"),
        ]
        for what, change, label in rows:
            with self.subTest(what):
                body = edited(change)
                if label is None:
                    tool.check_manifest(body, "localhost")
                else:
                    with self.assertRaises(tool.Refused) as refusal:
                        tool.check_manifest(body, "localhost")
                    self.assertEqual(str(refusal.exception), label)

    def test_texts_that_are_no_manifest(self):
        for body in [b"[1]", b"/* c */ {}", b"{} x", b'{"size": NaN}', b"\xc0\xaf", b" " * 131073]:
            with self.subTest(body[:12]), self.assertRaises(tool.Refused):
                tool.check_manifest(body, "localhost")


if __name__ == "__main__":
    unittest.main(verbosity=1)
