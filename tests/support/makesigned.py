"""Writes the tests' keys, images and signatures into a folder, made by the minisign tool
on the build host, so that the tests check our verifier against the reference and also
run under wine, where a Windows test cannot start minisign:
  vendor.pub/.key, other.pub/.key     two key pairs (no password)
  1260.bin, 1255.bin                  the tests' firmwareBytes(400, version, 216)
  1260.bin.minisig                    vendor, prehashed, trusted comment "release 1260"
  1260.legacy.minisig                 vendor, legacy format, "legacy 1260"
  1260.other.minisig                  the other key, "release 1260"
  1255.bin.minisig                    vendor, "release 1260": signed, but not that version
"""
import os
import shutil
import struct
import subprocess
import sys

folder = sys.argv[1]
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)


def minisign(*arguments):
    subprocess.run(["minisign", *arguments], check=True, stdout=subprocess.DEVNULL)


for key in ("vendor", "other"):
    minisign("-G", "-W", "-p", f"{folder}/{key}.pub", "-s", f"{folder}/{key}.key")
for version in (1260, 1255):
    with open(f"{folder}/{version}.bin", "wb") as out:
        out.write(struct.pack(">IIII", 400, version, 216, 0) +
                  bytes((i * 7 + 3) & 0xFF for i in range(616)))
image = f"{folder}/1260.bin"
minisign("-S", "-s", f"{folder}/vendor.key", "-m", image, "-t", "release 1260")
minisign("-S", "-l", "-s", f"{folder}/vendor.key", "-m", image, "-t", "legacy 1260",
         "-x", f"{folder}/1260.legacy.minisig")
minisign("-S", "-s", f"{folder}/other.key", "-m", image, "-t", "release 1260",
         "-x", f"{folder}/1260.other.minisig")
minisign("-S", "-s", f"{folder}/vendor.key", "-m", f"{folder}/1255.bin", "-t", "release 1260")
