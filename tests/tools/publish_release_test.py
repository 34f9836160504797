#!/usr/bin/env python3
"""The vendor's publishing tool: the layout it writes, and that it refuses
every release the launcher would refuse, writing nothing then."""
import contextlib
import hashlib
import io
import json
import os
import sys
import tempfile
import unittest

from tool_module import load_tool

HERE = os.path.dirname(os.path.abspath(__file__))

tool = load_tool("publish-release")

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

    def test_windows_size_limit_comes_before_the_setup_program_is_read(self):
        # The launcher accepts both sizes; the tools stop at what Windows can run.
        class Read(Exception):
            pass

        def no_reading(*_):
            raise Read()

        cases = [
            ("4 GiB - 1: past the rule, on to reading", 4 * GIB - 1, Read),
            ("4 GiB: refused unread", 4 * GIB, tool.TooLargeForWindows),
        ]
        real_digest = tool.digest_of_file
        tool.digest_of_file = no_reading
        try:
            for what, size, outcome in cases:
                with self.subTest(what):
                    setup = self.setup_program(size=size)
                    with self.assertRaises(outcome):
                        tool.publish(setup, "1.1.1", "localhost", 47443, self.out, part_size=256 * MIB)
                    self.assertEqual(self.written_files(), [])
            args = ["--setup", self.setup_program(size=4 * GIB), "--version", "1.1.1", "--part-size", str(256 * MIB),
                    "--host", "localhost", "--out", self.out]
            with contextlib.redirect_stdout(io.StringIO()) as out, contextlib.redirect_stderr(io.StringIO()) as err:
                self.assertEqual(tool.main(args), 2)
        finally:
            tool.digest_of_file = real_digest
        self.assertEqual((out.getvalue(), err.getvalue()), (
            "", "publish-release: refused, a setup program of 4 GiB (4294967296 bytes) or more: Windows neither "
            "signs nor starts an executable that large, and players would download all of it first; keep the "
            "setup program under 4 GiB\n"))
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


CASES = os.path.join(HERE, "release-rule-cases.json")


def case_body(table, case, host, port):
    """The manifest text of one case of the shared table (see its "about")."""
    if "nest" in case:
        text = "[" * case["nest"] + "1" + "]" * case["nest"]
    elif "text" in case:
        text = case["text"]
    else:
        manifest = json.loads(json.dumps(table["base"]))
        if "partCount" in case:
            template = manifest["parts"][0]
            manifest["parts"] = [dict(template, size=case["partSize"], url=template["url"].replace("p0", "p%d" % i))
                                 for i in range(case["partCount"])]
            manifest["size"] = case["partCount"] * case["partSize"]
        for op in case.get("patch", []):
            keys = op["path"].split("/")[1:]
            target = manifest
            for key in keys[:-1]:
                target = target[int(key) if isinstance(target, list) else key]
            last = int(keys[-1]) if isinstance(target, list) else keys[-1]
            if op["op"] == "remove":
                del target[last]
            else:
                target[last] = op["value"]
        text = json.dumps(manifest)
    text += case.get("suffix", "")
    text = text.replace("{authority}", "%s:%d" % (host, port)).replace("{host}", host).replace("{port}", str(port))
    if "pad" in case:
        text += " " * (case["pad"] - len(text))
    return text.encode("latin-1" if case.get("latin1") else "utf-8")


class LauncherRules(unittest.TestCase):
    """The tools' rules agree with the launcher's, case for case: the
    launcher's unit tests run the same table."""

    def test_shared_cases(self):
        with open(CASES, encoding="utf-8") as f:
            table = json.load(f)
        for case in table["cases"]:
            with self.subTest(case["what"]):
                outcome = None
                try:
                    tool.check_manifest(case_body(table, case, "localhost", 47443), "localhost", need_version=False)
                except tool.Refused as refusal:
                    outcome = str(refusal)
                if case.get("prefix"):
                    self.assertTrue(outcome and outcome.startswith(case["label"]), outcome)
                else:
                    self.assertEqual(outcome, case["label"])

    def test_version_is_required_for_publishing(self):
        with open(CASES, encoding="utf-8") as f:
            table = json.load(f)
        body = case_body(table, {"patch": [{"op": "remove", "path": "/version"}]}, "localhost", 47443)
        with self.assertRaises(tool.Refused) as refusal:
            tool.check_manifest(body, "localhost")
        self.assertEqual(str(refusal.exception), "[json.exception.out_of_range.403] key 'version' not found")


if __name__ == "__main__":
    unittest.main(verbosity=1)
