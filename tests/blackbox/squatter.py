"""Another user squatting the names of Quorvex's single-instance guard.

Usage: squatter.py UID WAY COUNT

Takes the first COUNT names the guard of user UID tries, prints "ready", and
holds them until it is ended. WAY: bound (not listening), full (listening,
queue kept full), holding (every caller accepted and kept), slow (one caller
accepted every half second), listening (callers answered at once).
"""

import select
import socket
import sys
import time


def main(uid, way, count):
    servers, kept = [], []
    for index in range(count):
        name = b"\0Quorvex/uid=%d/%d" % (uid, index)
        servers.append(socket.socket(socket.AF_UNIX, socket.SOCK_STREAM))
        servers[-1].bind(name)
        if way != "bound":
            servers[-1].listen(0 if way in ("full", "slow") else 64)
        while way == "full":  # call until the queue takes no more
            kept.append(socket.socket(socket.AF_UNIX, socket.SOCK_STREAM | socket.SOCK_NONBLOCK))
            try:
                kept[-1].connect(name)
            except BlockingIOError:
                break
    print("ready", flush=True)
    while way in ("bound", "full"):
        time.sleep(3600)
    while True:
        for server in select.select(servers, [], [])[0]:
            kept.append(server.accept()[0])
            if way == "listening":
                kept.pop().close()
        if way == "slow":
            time.sleep(0.5)


if __name__ == "__main__":
    main(int(sys.argv[1]), sys.argv[2], int(sys.argv[3]))
