#!/usr/bin/env python3
"""tools/release's notice check on a small made-up link map: every linked
file must be known to its table, and every third-party component linked in
must have its notice. (tests/tools/release_test.py runs it on a real map.)"""
import unittest

from tool_module import load_tool

tool = load_tool("release")

GCC_LIB = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix/"
MINGW_LIB = GCC_LIB + "../../../../x86_64-w64-mingw32/lib/"

MAP = """Archive member included to satisfy reference by file (symbol)

CMakeFiles/vandroglade-launcher.dir/objects.a(main.cpp.obj)
                              (--whole-archive)
liblauncher_core.a(setup_run.cpp.obj)
                              CMakeFiles/vandroglade-launcher.dir/objects.a(main.cpp.obj) (RunSetupProgram())
{mingw}libpthread.a(libwinpthread_la-thread.o)
                              liblauncher_core.a(setup_run.cpp.obj) (pthread_create)
delay-imports/libwinhttp_delay.a(_b_delay_imports_libwinhttp_delay_a_s00071.o)
                              liblauncher_core.a(setup_run.cpp.obj) (WinHttpOpen)
{mingw}libkernel32.a(libkernel32s01583.o)
                              liblauncher_core.a(setup_run.cpp.obj) (CloseHandle)
{mingw}libmsvcrt.a(lib64_libmsvcrt_extra_a-seterrno.o) {gcc}libstdc++.a(eh_throw.o) (_set_errno)
{gcc}libstdc++.a(eh_throw.o)
                              liblauncher_core.a(setup_run.cpp.obj) (__cxa_throw)
{members}
Discarded input sections

 .text          0x0000000000000000        0x0 {mingw}crt2u.o

Memory Configuration

Name             Origin             Length             Attributes
*default*        0x0000000000000000 0xffffffffffffffff

Linker script and memory map

LOAD {mingw}crt2u.o
LOAD {gcc}crtbegin.o
LOAD liblauncher_core.a
LOAD {mingw}libkernel32.a
{loads}
 .text          0x0000000140001000      0x4a0 {mingw}crt2u.o
 .text          0x0000000140002000       0x10 {gcc}crtbegin.o
 .text          0x0000000140003000      0x120 liblauncher_core.a(setup_run.cpp.obj)
LOAD dll stuff
"""

REQUIREMENTS = {
    tool.JSON: ["JSON library 3.11.2"],
    tool.WINPTHREADS: ["winpthreads notice"],
    tool.MINGW: ["MinGW-w64 notice"],
    tool.GCC: ["GCC exception line"],
}
NOTICES = "heading\nJSON library 3.11.2\nwinpthreads notice\nMinGW-w64 notice\nGCC exception line\n"
NO_NOTICE = "no complete notice for %s in resources/third-party-notices.txt"


class NoticeCheck(unittest.TestCase):
    def test_link_inputs_and_notices(self):
        cases = [
            ("as linked, every notice there", "", "", NOTICES, []),
            ("a library the table does not know", MINGW_LIB + "libz.a(inflate.o)", "", NOTICES,
             ["unknown link input %slibz.a(inflate.o)" % MINGW_LIB]),
            ("a loose object from outside the toolchain", "", "LOAD /tmp/extra.o", NOTICES,
             ["unknown link input /tmp/extra.o"]),
            ("code under an import library's name", MINGW_LIB + "libkernel32.a(helper.o)", "", NOTICES,
             ["unknown link input %slibkernel32.a(helper.o)" % MINGW_LIB]),
            ("the launcher's archive from outside the build", "/opt/x/liblauncher_core.a(setup_run.cpp.obj)", "",
             NOTICES, ["unknown link input /opt/x/liblauncher_core.a(setup_run.cpp.obj)"]),
            ("a delay-load library of a DLL the build does not delay-load",
             "delay-imports/libws2_32_delay.a(_b_delay_imports_libws2_32_delay_a_s00001.o)", "", NOTICES,
             ["unknown link input delay-imports/libws2_32_delay.a(_b_delay_imports_libws2_32_delay_a_s00001.o)"]),
            ("winpthreads' notice missing", "", "", NOTICES.replace("winpthreads notice\n", ""),
             [NO_NOTICE % tool.WINPTHREADS]),
            ("the GCC line missing", "", "", NOTICES.replace("GCC exception line\n", ""), [NO_NOTICE % tool.GCC]),
            ("the JSON library's notice of another version", "", "", NOTICES.replace("3.11.2", "3.12.0"),
             [NO_NOTICE % tool.JSON]),
            ("the MinGW-w64 notice missing", "", "", NOTICES.replace("MinGW-w64 notice\n", ""),
             [NO_NOTICE % tool.MINGW]),
        ]
        for what, members, loads, notices, faults in cases:
            with self.subTest(what):
                link_map = MAP.format(mingw=MINGW_LIB, gcc=GCC_LIB, members=members, loads=loads)
                self.assertEqual(tool.notice_faults(link_map, notices, REQUIREMENTS, "/b"), faults)


if __name__ == "__main__":
    unittest.main(verbosity=1)
