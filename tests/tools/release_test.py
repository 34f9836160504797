#!/usr/bin/env python3
"""tools/release: two clean builds of one commit in two folders, the second
signed with a throwaway certificate, give the same unsigned bytes; the
signature verifies against its CA and fails once one byte changes. The
notices ship beside the exe and inside it, and the real link map needs
every one of them.
Usage: release_test.py WORK_DIR"""
import os
import shutil
import subprocess
import sys
import unittest

from tool_module import load_tool

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WORK = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
EXE = "vandroglade-launcher.exe"
RESOURCES = os.path.join("build", "CMakeFiles", "vandroglade-launcher.dir", "resources", "launcher.rc.res")
NOTICES = "third-party-notices.txt"

tool = load_tool("release")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def release(out, *signing, env=None):
    return subprocess.run([os.path.join(ROOT, "tools", "release"), "--host", "download.vandro.example",
                           "--web", "vandro.example", "--out", out, *signing],
                          capture_output=True, text=True, env=env)


def verifies(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", ca, "-TSA-CAfile", ca],
                          capture_output=True).returncode == 0


class Release(unittest.TestCase):
    def test_two_builds_same_bytes_and_a_verified_signature(self):
        shutil.rmtree(WORK, ignore_errors=True)
        ca = os.path.join(WORK, "ca")
        subprocess.run([os.path.join(HERE, "make-signing-ca"), ca], check=True)
        a, b = os.path.join(WORK, "a"), os.path.join(WORK, "b")

        plain = release(a)
        self.assertEqual(plain.returncode, 0, plain.stdout + plain.stderr)
        self.assertIn("UNSIGNED", plain.stdout)
        with open(os.path.join(ca, "pass")) as f:
            env = dict(os.environ, VANDRO_SIGNING_PASS=f.read().strip())
        signed = release(b, "--cert", os.path.join(ca, "signer.pem"), "--key", os.path.join(ca, "signer.key"),
                         "--pass-env", "VANDRO_SIGNING_PASS", "--ca", os.path.join(ca, "ca.pem"), env=env)
        self.assertEqual(signed.returncode, 0, signed.stdout + signed.stderr)

        # Reproducible: the unsigned builds and their resource objects match.
        self.assertEqual(read(os.path.join(a, RESOURCES)), read(os.path.join(b, RESOURCES)), "windres output differs")
        self.assertEqual(read(os.path.join(a, "build", EXE)), read(os.path.join(b, "build", EXE)), "unsigned builds differ")
        # The shipped unsigned file is the build; the signed one is that build plus a signature.
        self.assertEqual(read(os.path.join(a, EXE)), read(os.path.join(a, "build", EXE)))
        stripped = os.path.join(WORK, "signature-removed.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", os.path.join(b, EXE), "-out", stripped],
                       check=True, capture_output=True)
        self.assertEqual(read(stripped), read(os.path.join(a, EXE)))

        shipped = os.path.join(b, EXE)
        digest = signed.stdout.split("SHA-256 ")[-1].strip()
        self.assertEqual(read(shipped + ".sha256").decode(), "%s  %s\n" % (digest, EXE))
        self.assertIn("x86_64-w64-mingw32-g++-posix: ", read(os.path.join(b, "build-info.txt")).decode())

        # The notices: the same file beside the exe and inside it (resource 103),
        # and the real link map needs each of the four components' notices.
        notices = read(os.path.join(ROOT, "resources", NOTICES))
        self.assertEqual(read(os.path.join(b, NOTICES)), notices)
        self.assertIn(notices, read(shipped))
        self.assertIn("every third-party notice is in resource 103", signed.stdout)
        build = os.path.join(b, "build")
        link_map = read(os.path.join(build, tool.LINK_MAP)).decode("utf-8", "replace")
        requirements = tool.notice_requirements(build)
        self.assertEqual(tool.notice_faults(link_map, notices.decode(), requirements, build), [])
        self.assertEqual(tool.notice_faults(link_map, "", requirements, build),
                         ["no complete notice for %s in resources/%s" % (component, NOTICES)
                          for component in sorted([tool.GCC, tool.JSON, tool.MINGW, tool.WINPTHREADS])])

        self.assertTrue(verifies(shipped, os.path.join(ca, "ca.pem")))
        tampered = bytearray(read(shipped))
        tampered[len(tampered) // 2] ^= 0x01
        with open(stripped, "wb") as f:
            f.write(tampered)
        self.assertFalse(verifies(stripped, os.path.join(ca, "ca.pem")), "a changed byte still verifies")
        shutil.rmtree(WORK)


if __name__ == "__main__":
    if WORK is None:
        sys.exit(__doc__)
    unittest.main(verbosity=1)
