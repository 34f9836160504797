"""Authenticode signing and verification with osslsigncode, shared by
tools/release (the launcher) and tools/sign (the vendor's setup program).

The key is a PKCS#12 file, a PEM certificate and key, or a key on a hardware
token or HSM reached through PKCS#11 (an OpenSSL engine and the token's
module, the key named by a "pkcs11:" URI). A password is read from a file or
from an environment variable and handed to osslsigncode through a pipe, so
it never appears on a command line.
"""
import hashlib
import os
import subprocess
import sys

OSSLSIGNCODE = "osslsigncode"
SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


class SigningError(Exception):
    pass


def add_arguments(parser):
    group = parser.add_argument_group(
        "signing", "a code-signing certificate with its key: --pkcs12, or --cert with --key "
                   "(a PEM file, or a pkcs11: URI with --pkcs11-module)")
    group.add_argument("--pkcs12", metavar="FILE", help="certificate and key in one PKCS#12 file")
    group.add_argument("--cert", metavar="FILE", help="the certificate chain, PEM or DER")
    group.add_argument("--key", metavar="FILE|URI", help='the private key: a PEM file or a "pkcs11:" URI')
    group.add_argument("--pkcs11-module", metavar="SO", help="the token's or HSM's PKCS#11 module")
    group.add_argument("--pkcs11-engine", metavar="SO",
                       help="the OpenSSL PKCS#11 engine (default: the one OpenSSL finds)")
    password = group.add_mutually_exclusive_group()
    password.add_argument("--pass-file", metavar="FILE", help="read the key's password (or token PIN) from FILE")
    password.add_argument("--pass-env", metavar="VAR", help="read the key's password (or token PIN) from $VAR")
    group.add_argument("--timestamp", metavar="URL", help="an RFC 3161 time-stamp server")
    group.add_argument("--description", default="VandroGLADE", help="program name shown by Windows (default: %(default)s)")
    group.add_argument("--ca", metavar="FILE", default=SYSTEM_CA_BUNDLE,
                       help="trusted roots to verify the signature against (default: %(default)s)")
    group.add_argument("--tsa-ca", metavar="FILE", help="trusted roots of the time-stamp server (default: --ca)")


def wants_signing(args):
    return bool(args.pkcs12 or args.cert or args.key)


def _key_arguments(args):
    if args.pkcs12:
        if args.cert or args.key or args.pkcs11_module:
            raise SigningError("--pkcs12 holds certificate and key: give no --cert, --key or --pkcs11-module")
        return ["-pkcs12", args.pkcs12]
    if not (args.cert and args.key):
        raise SigningError("--cert and --key go together")
    if args.key.startswith("pkcs11:"):
        if not args.pkcs11_module:
            raise SigningError("a pkcs11: key needs --pkcs11-module")
        engine = ["-pkcs11engine", args.pkcs11_engine] if args.pkcs11_engine else []
        return engine + ["-pkcs11module", args.pkcs11_module, "-certs", args.cert, "-key", args.key]
    if args.pkcs11_module or args.pkcs11_engine:
        raise SigningError("--pkcs11-module and --pkcs11-engine need a pkcs11: URI as --key")
    return ["-certs", args.cert, "-key", args.key]


def _password(args):
    if args.pass_file:
        with open(args.pass_file, "rb") as f:
            return f.read().rstrip(b"\r\n")
    if args.pass_env:
        if args.pass_env not in os.environ:
            raise SigningError("--pass-env: $%s is not set" % args.pass_env)
        return os.environ[args.pass_env].encode()
    return None


def _run(command, password=None):
    """Runs osslsigncode; a password goes through a pipe named /dev/fd/N."""
    reader = None
    try:
        if password is not None:
            reader, writer = os.pipe()
            with os.fdopen(writer, "wb") as w:
                w.write(password)
            command = command + ["-readpass", "/dev/fd/%d" % reader]
        result = subprocess.run([OSSLSIGNCODE] + command, capture_output=True, text=True,
                                pass_fds=(reader,) if reader is not None else ())
    finally:
        if reader is not None:
            os.close(reader)
    return result


def sign(infile, outfile, args, info_url=None):
    """Signs `infile` into `outfile` (SHA-256, optionally time-stamped)."""
    command = ["sign"] + _key_arguments(args) + ["-h", "sha256", "-n", args.description]
    if info_url:
        command += ["-i", info_url]
    if args.timestamp:
        command += ["-ts", args.timestamp]
    if os.path.exists(outfile):
        os.unlink(outfile)  # osslsigncode refuses to overwrite
    result = _run(command + ["-in", infile, "-out", outfile], _password(args))
    if result.returncode != 0:
        if os.path.exists(outfile):
            os.unlink(outfile)
        raise SigningError("signing %s failed:\n%s%s" % (infile, result.stdout, result.stderr))


def verify(path, ca, tsa_ca=None):
    """Raises SigningError unless the signature verifies against `ca`."""
    result = _run(["verify", "-in", path, "-CAfile", ca, "-TSA-CAfile", tsa_ca or ca])
    if result.returncode != 0:
        raise SigningError("the signature of %s does not verify:\n%s%s" % (path, result.stdout, result.stderr))


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def write_digest(path):
    """Writes PATH.sha256 in sha256sum's format and returns the digest."""
    digest = sha256_of(path)
    with open(path + ".sha256", "w") as f:
        f.write("%s  %s\n" % (digest, os.path.basename(path)))
    return digest


def fail(tool, error):
    print("%s: %s" % (tool, error), file=sys.stderr)
    return 1
