#!/usr/bin/env python3
"""A TDS proxy on loopback that passes messages to a real server until a chosen point, then
misbehaves there: it goes silent, or it cuts the connection at the first commit.

    stalling_proxy.py UPSTREAM_PORT PORT_FILE [--stall LOGIN_NUMBER:MESSAGES] [--stall-on TEXT]
                      [--cut-commit answer|request|hold] [--after-cut refuse|silent]
                      [--log LOG]

Connections that carry a login (a second message after the pre-login) are numbered from 1; a
connection that only asks for a pre-login answer (the program's reachability probe) is passed
through and not counted.

--stall: in login number LOGIN_NUMBER, the first MESSAGES client messages reach the server and
their answers come back; from the next message on, nothing does, and the connection stays open.
MESSAGES 1 stalls the login itself (the pre-login is answered), 2 the first request after it.

--stall-on: the first batch whose text holds TEXT, in any connection, never reaches the server,
and that connection goes silent as above (a cancel is not answered either).

--cut-commit: at the first commit any connection sends (a transaction manager request, or a batch
that commits), `answer` passes the commit on, waits for the server's whole answer, throws it away
and closes both sides: the server has committed and the client never learns it. `hold` does the
same but keeps the connection open and silent, as a network that lost the answer. `request`
closes both sides before the server sees the commit: the server rolls the transaction back.
--after-cut: what later connections meet once the commit was cut: `refuse` closes each at once,
`silent` takes each and never answers; by default they pass as before.

The port the proxy listens on is written to PORT_FILE.
"""
import argparse
import os
import socket
import threading

lock = threading.Lock()
logins = 0
cut = threading.Event()  # the commit has been cut
stalled = threading.Event()  # a batch with the --stall-on text came

TM_REQUEST, SQL_BATCH = 0x0E, 0x01
TM_COMMIT = 7


def log(path, text):
    if path:
        with lock, open(path, "a") as f:
            f.write(text + "\n")


def batch_text(message):
    """The SQL text of a whole client message that is a batch, else the empty text."""
    kind, payload = message
    if kind != SQL_BATCH or len(payload) < 4:
        return ""
    headers = int.from_bytes(payload[0:4], "little")  # ALL_HEADERS: its total length first
    return payload[headers:].decode("utf-16-le", "replace")


def is_commit(message):
    """Whether a whole client message (its packets' payloads joined) commits a transaction."""
    kind, payload = message
    if len(payload) < 4:
        return False
    headers = int.from_bytes(payload[0:4], "little")  # ALL_HEADERS: its total length first
    body = payload[headers:]
    if kind == TM_REQUEST:
        return len(body) >= 2 and int.from_bytes(body[0:2], "little") == TM_COMMIT
    return "COMMIT" in batch_text(message).upper()


def close_all(*sockets):
    for s in sockets:
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        try:
            s.close()
        except OSError:
            pass


def serve(client, upstream_port, args):
    global logins
    if cut.is_set() and args.after_cut == "refuse":
        return close_all(client)
    if cut.is_set() and args.after_cut == "silent":
        while client.recv(65536):
            pass
        return close_all(client)
    server = socket.create_connection(("127.0.0.1", upstream_port))
    state = {"messages": 0, "login": None, "silent": False, "swallow": False}
    answered = threading.Event()  # the answer to a swallowed commit has come whole

    def upstream_to_client():
        buffer = b""
        try:
            while True:
                data = server.recv(65536)
                if not data:
                    break
                if not state["swallow"]:
                    if not state["silent"]:
                        client.sendall(data)
                    continue
                buffer += data
                while len(buffer) >= 8:
                    length = int.from_bytes(buffer[2:4], "big")
                    if len(buffer) < length:
                        break
                    packet, buffer = buffer[:length], buffer[length:]
                    if packet[1] & 0x01:
                        answered.set()
                        return
        except OSError:
            pass
        finally:
            answered.set()

    threading.Thread(target=upstream_to_client, daemon=True).start()
    buffer = b""
    message = []  # the packets of the client message under way
    try:
        while True:
            data = client.recv(65536)
            if not data:
                break
            buffer += data
            # Forward whole packets only, counting the messages they end.
            while len(buffer) >= 8:
                length = int.from_bytes(buffer[2:4], "big")
                if length < 8 or len(buffer) < length:
                    break
                packet, buffer = buffer[:length], buffer[length:]
                if state["silent"]:
                    continue
                if state["messages"] == 1 and state["login"] is None:
                    with lock:
                        logins += 1
                        state["login"] = logins
                    log(args.log, "login %d" % state["login"])
                stall = args.stall
                if stall and state["login"] == stall[0] and state["messages"] >= stall[1]:
                    state["silent"] = True
                    log(args.log, "stalled login %d at message %d" % (state["login"], state["messages"] + 1))
                    continue
                message.append(packet)
                if not packet[1] & 0x01:
                    continue
                whole = (message[0][0], b"".join(p[8:] for p in message))
                pending, message = message, []
                if args.stall_on and not stalled.is_set() and args.stall_on in batch_text(whole):
                    stalled.set()
                    state["silent"] = True
                    log(args.log, "stalled login %s at %s" % (state["login"], args.stall_on))
                    continue
                if args.cut_commit and not cut.is_set() and is_commit(whole):
                    with lock:
                        first = not cut.is_set()
                        cut.set()
                    if first:
                        log(args.log, "cut the commit of login %s (%s)" % (state["login"], args.cut_commit))
                        if args.cut_commit in ("answer", "hold"):
                            state["swallow"] = True
                            for p in pending:
                                server.sendall(p)
                            answered.wait(60)
                        if args.cut_commit != "hold":
                            return
                        state["silent"] = True
                        continue
                for p in pending:
                    server.sendall(p)
                state["messages"] += 1
    except OSError:
        pass
    finally:
        log(args.log, "closed login %s" % state["login"])
        close_all(client, server)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("upstream_port", type=int)
    parser.add_argument("port_file")
    parser.add_argument("--stall")
    parser.add_argument("--stall-on")
    parser.add_argument("--cut-commit", choices=["answer", "request", "hold"])
    parser.add_argument("--after-cut", choices=["refuse", "silent"])
    parser.add_argument("--log")
    args = parser.parse_args()
    args.stall = tuple(int(x) for x in args.stall.split(":")) if args.stall else None
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.rename(args.port_file + ".tmp", args.port_file)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args.upstream_port, args), daemon=True).start()


if __name__ == "__main__":
    main()
