#!/usr/bin/env python3
"""Derives each unit test's resource locks from what the test touches.

A test touches a shared resource when its body, its fixture, or a helper it
uses (in its own file or in the shared test headers, followed transitively)
calls one of the resource's entry points. Writes a CMake file that appends
RESOURCE_LOCK properties to the tests gtest_add_tests registered.

Usage: test_locks.py OUTPUT.cmake SOURCE... (headers and test files)
"""
import re
import sys

# What a test may touch that another test running beside it also touches.
RESOURCES = {
    # The prefix's registry, its processes (the game, the setup program) and
    # the test game's stop event.
    "prefix_state": [
        r"\bRegSetValueExW\b", r"\bRegDeleteKeyExW\b", r"\bReadUninstallValue\b", r"\bDetectInstalledGame\w*\b",
        r"\bRunSetupProgram\b", r"\bIsGameRunning\b", r"\bLaunchInstalledGame\b", r"\bkTestGameStopEvent\b",
        r"\bCreateProcessW\b", r"\btest_setup\.exe\b", r"\bStartDownload\s*\(", r"\bRealPipelineStages\b",
    ],
    # The release manifest at the host's root address, which attempts fetch
    # unless a test points them elsewhere.
    "root_manifest": [r"\bStartDownload\s*\(", r"\bRootManifestFile\b"],
    # The host's one shared rules file.
    "host_rules": [r"\bSetHostRules\b"],
    # Real windows on the shared virtual display, and the settings every
    # window of the prefix follows (system colours, keyboard cues,
    # animations): a window made while a test has changed them draws for them.
    "display": [
        r"\bLauncherWindowProc\b", r"\bShowWindow\b", r"\bSendInput\b", r"\bSetCursorPos\b",
        r"\bSetSysColors\b", r"\bSPI_SETKEYBOARDCUES\b", r"\bSPI_SETCLIENTAREAANIMATION\b",
    ],
    # The small real file system that tests fill up.
    "small_disk": [r"\bSmallDisk\b"],
}

TEST_MACRO = re.compile(r"^\s*(TEST|TEST_F)\(\s*(\w+)\s*,\s*(\w+)\s*\)")
TYPE_DEF = re.compile(r"^\s*(?:template\s*<[^>]*>\s*)?(?:struct|class)\s+(\w+)")
FUNCTION_DEF = re.compile(r"^[\w:<>,\s\*&]*?\b(\w+)\s*\([^;]*$")


def strip(line):
    """The line without comments and string contents, for brace counting."""
    line = re.sub(r'"(\\.|[^"\\])*"', '""', line)
    line = re.sub(r"'(\\.|[^'\\])*'", "''", line)
    return line.split("//", 1)[0]


def chunks(text):
    """Top-level blocks of a file: (kind, name, fixture, text)."""
    out = []
    depth = 0
    current = None
    for raw in text.splitlines():
        line = strip(raw)
        if current is None and depth == 0 and not re.match(r"^\s*namespace\b", line):
            m = TEST_MACRO.match(line)
            if m:
                current = ["test", m.group(2) + "." + m.group(3), m.group(2), []]
            else:
                m = TYPE_DEF.match(line) or FUNCTION_DEF.match(line)
                if m and not line.lstrip().startswith(("#", "}", "return")):
                    current = ["def", m.group(1), None, []]
        opened = line.count("{") - line.count("}")
        if re.match(r"^\s*namespace\b[^{]*\{", line):
            opened -= 1  # namespaces do not nest a block
        if re.match(r"^\s*\}\s*//\s*namespace", raw):
            opened += 1
        if current is not None:
            current[3].append(raw)
        depth += opened
        if current is not None and depth == 0 and ("}" in line or line.rstrip().endswith(";")):
            out.append((current[0], current[1], current[2], "\n".join(current[3])))
            current = None
    return out


def main():
    output, sources = sys.argv[1], sys.argv[2:]
    definitions = {}  # name -> text, shared headers and each file's own helpers
    tests = []
    for path in sources:
        with open(path, encoding="utf-8") as f:
            for kind, name, fixture, body in chunks(f.read()):
                if kind == "test":
                    tests.append((name, fixture, body))
                else:
                    definitions[name] = definitions.get(name, "") + "\n" + body

    direct = {name: {r for r, pats in RESOURCES.items() if any(re.search(p, body) for p in pats)}
              for name, body in definitions.items()}
    uses = {name: {other for other in definitions if other != name and re.search(r"\b%s\b" % re.escape(other), body)}
            for name, body in definitions.items()}
    locks = {name: set(found) for name, found in direct.items()}
    changed = True
    while changed:
        changed = False
        for name in locks:
            for other in uses[name]:
                if not locks[other] <= locks[name]:
                    locks[name] |= locks[other]
                    changed = True

    lines = ["# Written by tests/test_locks.py at configure time."]
    for name, fixture, body in tests:
        found = {r for r, pats in RESOURCES.items() if any(re.search(p, body) for p in pats)}
        for other in definitions:
            if other == fixture or re.search(r"\b%s\b" % re.escape(other), body):
                found |= locks[other]
        if found:
            lines.append('set_property(TEST "%s" APPEND PROPERTY RESOURCE_LOCK %s)' % (name, " ".join(sorted(found))))
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
