#!/usr/bin/env bash
# The launcher signed by tools/sign with a throwaway CA's certificate in a
# PKCS#12 file (password from a file): the signature verifies against that
# CA, and the signed launcher still starts under Wine to its window.
# Usage: launcher_signed.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_signed
start_private_prefix
"$src/tests/tools/make-signing-ca" "$work/ca"
signed="$work/vandroglade-launcher.exe"
check "tools/sign signs and verifies" "$src/tools/sign" "$launcher_exe" --out "$signed" \
  --pkcs12 "$work/ca/signer.p12" --pass-file "$work/ca/pass" --ca "$work/ca/ca.pem"
check "the signature verifies against the CA" \
  bash -c "osslsigncode verify -in \"$signed\" -CAfile \"$work/ca/ca.pem\" -TSA-CAfile \"$work/ca/ca.pem\" >/dev/null"

launcher_exe=$signed
start_launcher
check "the signed launcher opens its window" wait_for 30 window_count_is 1
locate_window
close_by_glyph
finish
