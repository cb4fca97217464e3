#!/usr/bin/env python3
"""Writes a large signature database for the benchmarks into a folder:
big.hdb with 1,000,000 MD5 hash signatures and big.ndb with 100,000 body signatures
of 16 to 32 random bytes, from a fixed seed (the same files on every run).
    bench/engine/make_big_database.py FOLDER [HASHES] [BODIES]
"""
import os
import random
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    hashes = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    bodies = int(sys.argv[3]) if len(sys.argv) > 3 else 100_000
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20261211)
    with open(os.path.join(folder, "big.hdb"), "w") as out:
        for n in range(hashes):
            digest = "%032x" % rng.getrandbits(128)
            out.write("%s:%d:Vz-Bench.Hash.Generated.LongerName-%07d-0\n" % (digest, rng.randint(64, 1 << 24), n))
    with open(os.path.join(folder, "big.ndb"), "w") as out:
        for n in range(bodies):
            body = rng.randbytes(rng.randint(16, 32)).hex()
            out.write("Vz-Bench.Body.Generated-%07d-0:0:*:%s\n" % (n, body))


if __name__ == "__main__":
    main()
