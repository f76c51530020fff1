# One FTP session against the server through Python's ftplib; prints one
# line per check, "ok NAME" or "fail NAME: why", and exits 1 on any failure.
import ftplib
import io
import sys

host, port, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
failed = False


def check(name, cond, why=""):
    global failed
    print(("ok " if cond else "fail ") + name + ("" if cond else ": " + why))
    failed = failed or not cond


def refused(name, call, code):
    try:
        call()
    except ftplib.Error as e:
        check(name, str(e).startswith(code), str(e))
        return
    check(name, False, "accepted")


data = bytes((i * 7 + i // 251) & 0xFF for i in range(3 * 1024 * 1024 + 17))

ftp = ftplib.FTP()
ftp.connect(host, port, timeout=20)
ftp.login("bob", "pw")
ftp.storbinary("STOR ftplib.bin", io.BytesIO(data))
out = io.BytesIO()
ftp.retrbinary("RETR ftplib.bin", out.write)
check("round trip", out.getvalue() == data, "%d bytes back" % len(out.getvalue()))
names = ftp.nlst()
check("listing", any(n.endswith("ftplib.bin") for n in names), repr(names))
ftp.mkd("made")
ftp.cwd("made")
ftp.cwd("..")
refused("cwd outside home", lambda: ftp.cwd(work + "/home2"), "5")
refused("cwd to a sibling with the home as prefix", lambda: ftp.cwd(work + "/homes"), "5")
refused("retr outside home", lambda: ftp.retrbinary("RETR " + work + "/portlorn.ini", lambda b: None), "5")
ftp.quit()

# Two accounts whose names differ only in case: each password has its own home.
ftp = ftplib.FTP()
ftp.connect(host, port, timeout=20)
ftp.login("BOB", "other")
names = ftp.nlst()
check("second account sees its own home", any(n.endswith("only-in-home2.txt") for n in names), repr(names))
ftp.quit()

ftp = ftplib.FTP()
ftp.connect(host, port, timeout=20)
ftp.login("reader", "r")
out = io.BytesIO()
ftp.retrbinary("RETR ftplib.bin", out.write)
check("read-only user downloads", out.getvalue() == data)
refused("read-only STOR", lambda: ftp.storbinary("STOR nope.bin", io.BytesIO(b"x")), "501")
refused("read-only DELE", lambda: ftp.delete("ftplib.bin"), "500")
refused("read-only RNFR", lambda: ftp.rename("ftplib.bin", "x.bin"), "500")
refused("read-only MKD", lambda: ftp.mkd("nope"), "550")
ftp.quit()

ftp = ftplib.FTP()
ftp.connect(host, port, timeout=20)
refused("wrong password", lambda: ftp.login("bob", "PW"), "5")
ftp.close()
sys.exit(1 if failed else 0)
