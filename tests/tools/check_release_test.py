#!/usr/bin/env python3
"""tools/check-release against the loopback test host: a good release
passes; a compressed, redirected or wrong part, a redirected manifest and a
certificate the system does not trust each earn the launcher's label; a
manifest of 4 GiB or more fails with the tools' own before any part.
Usage: check_release_test.py BUILD_DIR PORT"""
import json
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools")
BUILD, PORT = (sys.argv.pop(1), sys.argv.pop(1)) if len(sys.argv) > 2 else (None, None)
FOLDER = "CheckRelease"


class CheckRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        root = os.path.join(BUILD, "host-root")
        cls.release = os.path.join(root, "vandroglade", "windows", FOLDER)
        shutil.rmtree(cls.release, ignore_errors=True)
        setup = os.path.join(BUILD, "check-release-setup.bin")
        with open(setup, "wb") as f:
            f.write(b"VandroGLADE setup program stand-in, compressible. " * 4000)
        subprocess.run([os.path.join(TOOLS, "publish-release"), "--setup", setup, "--version", "1.1.1", "--parts", "3",
                        "--host", "localhost", "--port", PORT, "--out", root, "--folder", FOLDER],
                       check=True, capture_output=True)
        os.unlink(setup)
        with open(os.path.join(cls.release, "latest.json")) as f:
            cls.parts = [part["url"].split(":%s" % PORT, 1)[1] for part in json.load(f)["parts"]]
        cls.manifest = "https://localhost:%s/vandroglade/windows/%s/latest.json" % (PORT, FOLDER)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.release, ignore_errors=True)

    def set_rules(self, rules):
        # The manifest's folder and the parts' folder each read their own.
        for folder in (self.release, os.path.join(self.release, self.parts[0].rsplit("/", 2)[1])):
            with open(os.path.join(folder, ".rules.json"), "w") as f:
                json.dump(rules, f)

    def check(self, *ca):
        result = subprocess.run([os.path.join(TOOLS, "check-release"), self.manifest, *ca],
                                capture_output=True, text=True, timeout=120)
        return result.returncode, result.stdout

    def test_verdicts(self):
        ca = ("--ca", os.path.join(BUILD, "pki", "test-ca.pem"))
        cases = [
            ("good release", {}, ca, 0, "release OK: version 1.1.1, 3 parts, 200000 bytes"),
            ("a part compressed", {self.parts[1]: {"gzip": True}}, ca, 1, "release FAILED: Part checksum"),
            ("a part redirected", {self.parts[2]: {"status": 302, "location": "/elsewhere"}}, ca, 1,
             "release FAILED: HTTP 302"),
            ("a wrong part", {self.parts[0]: {"body": "not the part"}}, ca, 1, "release FAILED: Part checksum"),
            ("a part one byte long", {self.parts[0]: {"extend": 1}}, ca, 1, "release FAILED: Unexpected download size"),
            ("the manifest redirected", {self.manifest.split(PORT, 1)[1]: {"status": 301, "location": "/x"}}, ca, 1,
             "release FAILED: HTTP 301"),
            ("the test CA not given: the system does not trust it", {}, (), 1,
             "release FAILED: Network response failed"),
        ]
        for what, rules, options, status, verdict in cases:
            with self.subTest(what):
                self.set_rules(rules)
                code, out = self.check(*options)
                self.assertEqual(code, status, out)
                self.assertTrue(out.startswith(verdict), out)
        self.set_rules({})

    def test_windows_size_limit_fails_before_any_part_is_requested(self):
        # Manifests that only claim their size: no 4 GiB is published. The
        # launcher accepts both; 4 GiB - 1 passes the tools' rule and goes on
        # to its first part, which the host does not have.
        log = os.path.join(BUILD, "host-root", ".requests.log")
        gib, part = 1024 ** 3, 256 * 1024 ** 2
        cases = [
            ("4 GiB - 1", 4 * gib - 1, "release FAILED: HTTP 404", True),
            ("4 GiB in 16 parts of 256 MiB", 4 * gib, "release FAILED: Windows size limit\n"
             "  the manifest names a setup program of 4 GiB (4294967296 bytes) or more", False),
        ]
        for what, size, verdict, parts_requested in cases:
            with self.subTest(what):
                folder = "%s/claims-%d" % (FOLDER, size)
                base = "https://localhost:%s/vandroglade/windows/%s/" % (PORT, folder)
                sizes = [part] * 15 + [size - 15 * part]
                manifest = {"schema": 1, "appId": "com.vandro.vandroglade", "version": "1.1.1", "sha256": "a" * 64,
                            "size": size, "parts": [{"size": n, "sha256": "b" * 64, "url": base + "part-%03d.bin" % i}
                                                    for i, n in enumerate(sizes)]}
                os.makedirs(os.path.join(self.release, "claims-%d" % size), exist_ok=True)
                with open(os.path.join(self.release, "claims-%d" % size, "latest.json"), "w") as f:
                    json.dump(manifest, f)
                start = os.path.getsize(log) if os.path.exists(log) else 0
                result = subprocess.run([os.path.join(TOOLS, "check-release"), base + "latest.json",
                                         "--ca", os.path.join(BUILD, "pki", "test-ca.pem")],
                                        capture_output=True, text=True, timeout=120)
                with open(log, "rb") as f:
                    f.seek(start)
                    requested = [line.split("\t")[0] for line in f.read().decode().splitlines()
                                 if "/%s/" % folder in line]
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertTrue(result.stdout.startswith(verdict), result.stdout)
                self.assertEqual(requested[0], "/vandroglade/windows/%s/latest.json" % folder)
                self.assertEqual(any("/part-" in path for path in requested), parts_requested, requested)


if __name__ == "__main__":
    if BUILD is None:
        sys.exit(__doc__)
    unittest.main(verbosity=1)
