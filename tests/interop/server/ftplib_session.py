"""One session of Python's ftplib against the server: login, listings,
uploads, restarted downloads, APPE, folders, rename, MDTM, passive and
active. Prints OK at the end; any failure raises."""
import ftplib
import io
import sys

host, port, user, password, root = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
data = bytes((i * 7 + 3) % 251 for i in range(300000))


def check(cond, what):
    if not cond:
        raise SystemExit("FAILED: " + what)


for passive in (True, False):
    ftp = ftplib.FTP()
    ftp.connect(host, port, timeout=30)
    ftp.login(user, password)
    ftp.set_pasv(passive)
    check(ftp.pwd().rstrip("/") == root.rstrip("/"), "pwd " + ftp.pwd())
    name = "up-%d.bin" % passive
    ftp.storbinary("STOR " + name, io.BytesIO(data))
    out = io.BytesIO()
    ftp.retrbinary("RETR " + name, out.write)
    check(out.getvalue() == data, "download")
    check(ftp.size(name) == len(data), "size")
    out = io.BytesIO()
    ftp.retrbinary("RETR " + name, out.write, rest=1000)
    check(out.getvalue() == data[1000:], "restarted download")
    ftp.storbinary("APPE " + name, io.BytesIO(b"tail"))
    check(ftp.size(name) == len(data) + 4, "append")
    # A restarted upload keeps the first bytes.
    ftp.storbinary("STOR " + name, io.BytesIO(data[5000:]), rest=5000)
    out = io.BytesIO()
    ftp.retrbinary("RETR " + name, out.write)
    check(out.getvalue() == data, "restarted upload")
    lines = []
    ftp.dir(lines.append)
    check(any(l.split()[-1] == name and l.split()[4] == str(len(data)) for l in lines), "LIST " + repr(lines))
    check(name in ftp.nlst(), "NLST")
    d = "folder-%d" % passive
    ftp.mkd(d)
    ftp.cwd(d)
    ftp.cwd("..")
    ftp.rename(name, d + "/moved.bin")
    check("moved.bin" in ftp.nlst(d), "rename into folder")
    check(ftp.sendcmd("MDTM " + d + "/moved.bin").startswith("213 "), "MDTM")
    ftp.delete(d + "/moved.bin")
    ftp.rmd(d)
    try:
        ftp.cwd("../..")
        raise SystemExit("FAILED: left the home")
    except ftplib.error_perm:
        pass
    ftp.quit()
print("OK")
