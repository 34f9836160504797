"""The launcher's rules for a release, for the vendor's Python tools:
tools/publish-release refuses a release the launcher would refuse, and
tools/check-release judges a live one. Labels are the launcher's log lines,
library errors included in the JSON library's own wording; one table of
cases (tests/tools/release-rule-cases.json) runs through these rules and
through the launcher's."""
import json
import math
from urllib.parse import urlsplit

APP_ID = "com.vandro.vandroglade"
PATH_PREFIX = "/vandroglade/windows/"
MANIFEST_NAME = "latest.json"
USER_AGENT = "VandroGLADE/1.0"
MAX_MANIFEST_BYTES = 131072
MAX_PACKAGE_SIZE = 17179869184      # 16 GiB
MAX_PART_SIZE = 268435456           # 256 MiB
MAX_PARTS = 256
MAX_INSTALLED_BYTES = 137438953472  # 128 GiB
MAX_NESTING = 64
INT32_MIN, INT32_MAX = -2**31, 2**31 - 1
UINT64_MAX = 2**64 - 1


class Refused(Exception):
    """A rule the launcher would fail the attempt with; the message is its log line."""


# The tools' own rule, stricter than the launcher's: Windows neither signs nor
# starts a PE file of 4 GiB or more, and the launcher would download all of it
# before the start fails. Kept out of check_manifest, which holds the
# launcher's rules alone.
MAX_SETUP_PROGRAM_SIZE = 4294967295  # 4 GiB - 1
WINDOWS_LIMIT_LABEL = "Windows size limit"
WINDOWS_LIMIT_REASON = ("a setup program of 4 GiB (4294967296 bytes) or more: Windows neither signs nor starts "
                        "an executable that large, and players would download all of it first")


class TooLargeForWindows(Exception):
    """A release the launcher accepts but Windows cannot run."""


def check_windows_size(size):
    if size > MAX_SETUP_PROGRAM_SIZE:
        raise TooLargeForWindows(WINDOWS_LIMIT_LABEL)


def _type_error(number, text):
    return Refused("[json.exception.type_error.%d] %s" % (number, text))


def _type_name(value):
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, (int, float)):
        return "number"
    if isinstance(value, str):
        return "string"
    if isinstance(value, list):
        return "array"
    return "object"


def _object(value, lookup):
    if not isinstance(value, dict):
        raise _type_error(306 if lookup == "value" else 304, "cannot use %s() with %s" % (lookup, _type_name(value)))
    return value


def _required(obj, key):
    if key not in obj:
        raise Refused("[json.exception.out_of_range.403] key '%s' not found" % key)
    return obj[key]


def _string(value):
    if not isinstance(value, str):
        raise _type_error(302, "type must be string, but is " + _type_name(value))
    return value


def _int32(value):
    """A signed 32-bit reading: booleans count, fractions truncate, saturating."""
    if not isinstance(value, (bool, int, float)):
        raise _type_error(302, "type must be number, but is " + _type_name(value))
    number = math.trunc(value)
    return max(INT32_MIN, min(INT32_MAX, number))


def _uint64(value):
    """An unsigned 64-bit reading: negatives wrap to huge values, no booleans;
    what the JSON reader holds as a floating-point number saturates."""
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise _type_error(302, "type must be number, but is " + _type_name(value))
    if isinstance(value, float):
        return math.trunc(value) if -1 < value < 2**64 else UINT64_MAX
    if not -2**63 <= value <= UINT64_MAX:  # beyond 64 bits the launcher reads a float
        return UINT64_MAX
    return value % 2**64


def _is_digest(text):
    return len(text) == 64 and all(c in "0123456789abcdef" for c in text)


def written_host(url):
    """The host of a URL exactly as written: no user information, no port, no case folding."""
    authority = urlsplit(url).netloc.rpartition("@")[2].rpartition(":")
    return authority[0] if authority[1] else authority[2]


def check_url(url, host):
    """The download URL policy: https, exactly `host`, under the download path."""
    try:
        url.encode("utf-8")
    except UnicodeEncodeError:
        raise Refused("Invalid UTF8")
    parts = urlsplit(url)
    try:
        parts.port  # out of range or not a number
    except ValueError:
        raise Refused("Invalid URL")
    if parts.scheme.lower() not in ("http", "https") or not parts.netloc:
        raise Refused("Invalid URL")
    if parts.scheme.lower() != "https" or written_host(url) != host:
        raise Refused("Unexpected download host")
    if not parts.path.startswith(PATH_PREFIX) or _escapes_download_folder(url, parts.path):
        raise Refused("Unexpected download path")
    return parts


def _escapes_download_folder(url, path):
    """Dot segments (also as %2e, and with a ";" parameter cut off), encoded
    or backward separators and double encoding (%25), which a server would
    resolve to somewhere outside the download folder; and any fragment, which
    goes on the wire as part of the path."""
    lowered = path.lower()
    if "#" in url or "\\" in path or "%2f" in lowered or "%5c" in lowered or "%25" in path:
        return True
    return any(segment.partition(";")[0].replace("%2e", ".") in (".", "..") for segment in lowered.split("/"))


def _nests_too_deep(text, end=None):
    """Whether a value sits inside more than MAX_NESTING arrays or objects
    before position `end`: the launcher stops its parser there."""
    depth, in_string, escaped = 0, False, False
    for c in text[:end]:
        if in_string:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
            continue
        if c in " \t\r\n,:":
            continue
        if c in "]}":
            depth -= 1
            continue
        if depth > MAX_NESTING:
            return True
        if c in "[{":
            depth += 1
        elif c == '"':
            in_string = True
    return False


def parse_manifest(body):
    if len(body) > MAX_MANIFEST_BYTES:
        raise Refused("Unexpected download size")

    def no_constants(name):
        raise ValueError("%s is not JSON" % name)

    try:
        text = body.decode("utf-8")
    except UnicodeDecodeError as error:
        raise Refused("[json.exception.parse_error.101] parse error: %s" % error)
    error = None
    try:
        document = json.loads(text, parse_constant=no_constants)
    except RecursionError:
        document = None
    except json.JSONDecodeError as failure:
        document, error = None, failure
    except ValueError as failure:
        document, error = None, failure
    if _nests_too_deep(text, getattr(error, "pos", None)):
        raise Refused("Manifest nesting")
    if document is None:
        where = " at line %d, column %d" % (error.lineno, error.colno) if hasattr(error, "lineno") else ""
        raise Refused("[json.exception.parse_error.101] parse error%s: %s" % (where, error))
    try:  # a lone surrogate escape ("\ud800") is no text: the launcher's parser refuses it
        json.dumps(document, ensure_ascii=False).encode("utf-8")
    except UnicodeEncodeError as failure:
        raise Refused("[json.exception.parse_error.101] parse error: %s" % failure)
    return document


def check_manifest(body, host, need_version=True):
    """Applies the launcher's checks to a manifest body (bytes) in its order.
    Returns the parsed document; raises Refused with the first failure.
    The launcher misses "version" only after installing (need_version False:
    the manifest stage alone)."""
    top = _object(parse_manifest(body), "value")
    if _int32(top.get("schema", 0)) != 1:
        raise Refused("Manifest schema")
    if _string(top.get("appId", "")) != APP_ID:
        raise Refused("Manifest schema")
    if not _is_digest(_string(_required(top, "sha256"))):
        raise Refused("Manifest checksum")
    size = _uint64(_required(top, "size"))
    if not 1 <= size <= MAX_PACKAGE_SIZE:
        raise Refused("Manifest size")
    parts = _required(top, "parts")
    if not isinstance(parts, list) or not 1 <= len(parts) <= MAX_PARTS:
        raise Refused("Manifest parts")
    total = 0
    for part in parts:
        part = _object(part, "at")
        part_size = _uint64(_required(part, "size"))
        if not 1 <= part_size <= MAX_PART_SIZE:
            raise Refused("Part metadata")
        if not _is_digest(_string(_required(part, "sha256"))):
            raise Refused("Part metadata")
        check_url(_string(_required(part, "url")), host)
        total += part_size
    if total != size:
        raise Refused("Part total")
    if _uint64(top.get("installedBytes", size)) > MAX_INSTALLED_BYTES:
        raise Refused("Installed size")
    if need_version:
        _required(top, "version")
    return top
