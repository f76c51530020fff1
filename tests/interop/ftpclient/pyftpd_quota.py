# pyftpdlib with a storage limit: a file written past LIMIT bytes fails with
# "disk quota exceeded", so the server drops the upload's data connection
# and then answers the STOR with its refusal.
# Arguments: control port, root folder, limit in bytes, first passive port.
import errno
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

PORT, ROOT, LIMIT, PASV = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])


class Capped:
    def __init__(self, f):
        self._f = f
        self._written = 0

    def write(self, data):
        if self._written + len(data) > LIMIT:
            raise OSError(errno.EDQUOT, "Disk quota exceeded")
        self._written += len(data)
        return self._f.write(data)

    def __getattr__(self, name):
        return getattr(self._f, name)


class CappedFS(AbstractedFS):
    def open(self, filename, mode):
        f = super().open(filename, mode)
        return Capped(f) if "w" in mode or "a" in mode else f


authorizer = DummyAuthorizer()
authorizer.add_user("tester", "secret", ROOT, perm="elradfmwMT")
FTPHandler.authorizer = authorizer
FTPHandler.abstracted_fs = CappedFS
FTPHandler.passive_ports = range(PASV, PASV + 20)
FTPServer(("127.0.0.1", PORT), FTPHandler).serve_forever()
