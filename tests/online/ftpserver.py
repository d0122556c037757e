"""A real FTP server on loopback for the online tests: serves the folder given as the
first argument (user "ftp", password "kwx", full rights) on a free port and prints
the port. Needs Debian's python3 with python3-pyftpdlib.

A hostile server on demand: a file X with an X.flood beside it is sent followed by
filler, 100 MiB in all; SIZE announces X's own size, or nothing when X.flood says
"unannounced"."""
import io
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

FLOOD_BYTES = 100 * 1024 * 1024


class Flood(io.RawIOBase):
    """The file's bytes, then filler. No fileno(): pyftpdlib cannot use sendfile()."""

    def __init__(self, path):
        super().__init__()
        self.name = path
        with open(path, "rb") as f:
            self.head = f.read()
        self.left = FLOOD_BYTES

    def readable(self):
        return True

    def read(self, size=-1):
        size = self.left if size < 0 else min(size, self.left)
        chunk = self.head[:size] + b"\xa5" * max(0, size - len(self.head))
        self.head = self.head[size:]
        self.left -= len(chunk)
        return chunk


class FloodingFS(AbstractedFS):
    def open(self, filename, mode):
        if "r" in mode and os.path.exists(filename + ".flood"):
            return Flood(filename)
        return super().open(filename, mode)


class Handler(FTPHandler):
    def ftp_SIZE(self, path):
        marker = path + ".flood"
        if os.path.exists(marker) and open(marker).read().strip() == "unannounced":
            self.respond("502 SIZE not implemented.")
            return None
        return super().ftp_SIZE(path)


logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user("ftp", "kwx", sys.argv[1], perm="elradfmwMT")
handler = Handler
handler.authorizer = authorizer
handler.abstracted_fs = FloodingFS
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
