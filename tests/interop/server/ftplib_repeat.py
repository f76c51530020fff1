"""Sends each command given again and again through Python's ftplib, for at
most the given seconds and count each, and prints every different answer
once: its count, the command and the answer (replies and listing lines,
joined by " | "). Listings go over passive data connections.

    ftplib_repeat.py host port user password seconds count command...
"""
import collections
import ftplib
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
seconds, count, commands = float(sys.argv[5]), int(sys.argv[6]), sys.argv[7:]

ftp = ftplib.FTP()
ftp.connect(host, port, timeout=30)
ftp.login(user, password)
for command in commands:
    answers = collections.Counter()
    end = time.monotonic() + seconds
    for _ in range(count):
        if time.monotonic() > end:
            break
        try:
            if command.startswith(("LIST", "NLST")):
                lines = []
                ftp.retrlines(command, lines.append)
                answer = " | ".join(lines)
            else:
                answer = ftp.sendcmd(command)
        except ftplib.Error as e:
            answer = str(e)
        answers[answer] += 1
    for answer, n in sorted(answers.items()):
        print("%d\t%s\t%s" % (n, command, answer))
ftp.quit()
print("OK")
