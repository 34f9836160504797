#!/usr/bin/env python3
"""Writes the demo game's data pack: SIZE deterministic pseudo-random bytes.

Usage: make_pack.py OUT SIZE
The same SIZE always gives the same bytes, so the release's digests change
only when the game or the setup program does.
"""
import os
import random
import sys


def main() -> None:
    out, size = sys.argv[1], int(sys.argv[2])
    rng = random.Random(0x7A4D)  # fixed seed: reproducible builds
    with open(out + ".tmp", "wb") as f:
        left = size
        while left > 0:
            n = min(1 << 20, left)
            f.write(rng.randbytes(n))
            left -= n
    os.replace(out + ".tmp", out)


if __name__ == "__main__":
    main()
