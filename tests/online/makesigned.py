"""Writes the online test's signed images into a folder, signed by the minisign tool
on the build host (a Windows test under wine cannot start it): vendor.pub, and for
versions 1260 and 1255 the image <version>.bin (the tests' firmwareBytes(400, v, 216))
with <version>.bin.minisig, trusted comment "release 1260" on both."""
import os
import shutil
import struct
import subprocess
import sys

folder = sys.argv[1]
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
subprocess.run(["minisign", "-G", "-W", "-p", f"{folder}/vendor.pub",
                "-s", f"{folder}/vendor.key"], check=True, stdout=subprocess.DEVNULL)
for version in (1260, 1255):
    image = struct.pack(">IIII", 400, version, 216, 0) + bytes((i * 7 + 3) & 0xFF for i in range(616))
    path = f"{folder}/{version}.bin"
    with open(path, "wb") as out:
        out.write(image)
    subprocess.run(["minisign", "-S", "-s", f"{folder}/vendor.key", "-m", path,
                    "-t", "release 1260"], check=True, stdout=subprocess.DEVNULL)
