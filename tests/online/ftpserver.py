"""A real FTP server on loopback for the online tests: serves the folder given as the
first argument (user "ftp", password "kwx", full rights) on a free port and prints
the port. Needs Debian's python3 with python3-pyftpdlib."""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user("ftp", "kwx", sys.argv[1], perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
