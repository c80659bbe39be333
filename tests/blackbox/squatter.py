"""Another user squatting the names of Quorvex's single-instance guard.

Usage: squatter.py UID WAY COUNT

Takes the first COUNT abstract socket names the guard of user UID tries,
prints "ready" once they are taken, and holds them until it is ended. WAY is
one of

  bound      bound, not listening
  full       listening with the queue kept full
  holding    listening, every caller accepted and kept
  slow       listening, one caller accepted every half second
  listening  listening and answering at once
"""

import select
import socket
import sys
import time

def name(uid, index):
    return b"\0Quorvex/uid=%d/%d" % (uid, index)


def fill(server, uid, index):
    """Calls a name until its queue takes no more; keeps the calls."""
    callers = []
    while True:
        caller = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        caller.setblocking(False)
        try:
            caller.connect(name(uid, index))
        except BlockingIOError:
            caller.close()
            return callers
        callers.append(caller)


def main(uid, way, count):
    servers, kept = [], []
    for index in range(count):
        server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        server.bind(name(uid, index))
        if way != "bound":
            server.listen(0 if way in ("full", "slow") else 64)
        if way == "full":
            kept += fill(server, uid, index)
        servers.append(server)
    print("ready", flush=True)
    while True:
        if way == "bound" or way == "full":
            time.sleep(3600)
            continue
        for server in select.select(servers, [], [])[0]:
            caller, _ = server.accept()
            if way == "listening":
                caller.close()
            else:
                kept.append(caller)
        if way == "slow":
            time.sleep(0.5)


if __name__ == "__main__":
    main(int(sys.argv[1]), sys.argv[2], int(sys.argv[3]))
