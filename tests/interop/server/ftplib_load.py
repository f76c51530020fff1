"""Many ftplib clients at once: every one logs in, then all upload and
download a small file of their own; everything must be byte-exact. Then a
new client must still be answered. Prints OK; any failure exits non-zero."""
import ftplib
import io
import sys
import threading

host, port, user, password, count = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
barrier = threading.Barrier(count, timeout=60)
errors = []


def client(n):
    try:
        data = bytes((i * 31 + n) % 256 for i in range(2000 + n * 37))
        ftp = ftplib.FTP()
        ftp.connect(host, port, timeout=60)
        ftp.login(user, password)
        barrier.wait()  # all logged in at the same time
        name = "load-%03d.bin" % n
        ftp.storbinary("STOR " + name, io.BytesIO(data))
        out = io.BytesIO()
        ftp.retrbinary("RETR " + name, out.write)
        if out.getvalue() != data:
            raise RuntimeError("content differs")
        ftp.quit()
    except Exception as e:  # noqa: BLE001
        errors.append("%d: %r" % (n, e))
        try:
            barrier.abort()
        except Exception:  # noqa: BLE001
            pass


threads = [threading.Thread(target=client, args=(n,)) for n in range(count)]
for t in threads:
    t.start()
for t in threads:
    t.join(120)
if errors or any(t.is_alive() for t in threads):
    print("\n".join(errors[:20]))
    sys.exit(1)
ftp = ftplib.FTP()
ftp.connect(host, port, timeout=10)
ftp.login(user, password)
ftp.voidcmd("NOOP")
ftp.quit()
print("OK")
