#!/usr/bin/env python3
"""Writes the benchmark messages of the mail scan into a folder (CR LF line ends):

  parts-10000-short.eml   10,000 short parts, all different (about 170 KB)
  parts-10000-1mb.eml     10,000 parts of about 100 bytes, all different (about 1 MB)
  attachment-1mb.eml      one base64 attachment of 768 KB of random bytes (1 MB)
  nested-1mb.eml          multiparts nested 30 levels deep, each level with text and
                          base64 parts, about 1 MB in all
"""
import base64
import os
import random
import sys


def write(folder, name, text):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(text.encode("latin-1"))


def header(boundary):
    return ("From: bench@example.org\r\nSubject: benchmark\r\nMIME-Version: 1.0\r\n"
            f"Content-Type: multipart/mixed; boundary=\"{boundary}\"\r\n\r\n")


def base64_lines(data):
    encoded = base64.b64encode(data).decode("ascii")
    return "\r\n".join(encoded[i:i + 76] for i in range(0, len(encoded), 76))


def many_parts(count, filler):
    out = [header("=_many")]
    for i in range(count):
        out.append(f"--=_many\r\n\r\npart {i}{filler}\r\n")
    out.append("--=_many--\r\n")
    return "".join(out)


def one_attachment(rng, size):
    data = bytes(rng.getrandbits(8) for _ in range(size))
    return (header("=_one") + "--=_one\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
            "--=_one\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"data.bin\"\r\n\r\n"
            + base64_lines(data) + "\r\n--=_one--\r\n")


def nested(rng, depth, per_level):
    out = [header("=_n0")]
    closing = []
    for level in range(depth):
        b = f"=_n{level}"
        for j in range(per_level):
            data = bytes(rng.getrandbits(8) for _ in range(900))
            out.append(f"--{b}\r\nContent-Type: text/plain\r\n\r\nlevel {level} text {j}\r\n")
            out.append(f"--{b}\r\nContent-Type: application/octet-stream; name=\"l{level}-{j}.bin\"\r\n"
                       f"Content-Transfer-Encoding: base64\r\n\r\n{base64_lines(data)}\r\n")
        if level + 1 < depth:
            out.append(f"--{b}\r\nContent-Type: multipart/mixed; boundary=\"=_n{level + 1}\"\r\n\r\n")
        closing.append(f"--{b}--\r\n")
    out.extend(reversed(closing))
    return "".join(out)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20261211)
    write(folder, "parts-10000-short.eml", many_parts(10000, ""))
    write(folder, "parts-10000-1mb.eml", many_parts(10000, " " + "x" * 80))
    write(folder, "attachment-1mb.eml", one_attachment(rng, 768 << 10))
    write(folder, "nested-1mb.eml", nested(rng, 30, 24))


if __name__ == "__main__":
    main()
