#!/usr/bin/env python3
"""A TDS proxy on loopback that passes messages to a real server until a chosen point, then goes
silent: it keeps the connection open, reads what the client sends and never answers again.

    stalling_proxy.py UPSTREAM_PORT PORT_FILE [--stall LOGIN_NUMBER:MESSAGES] [--log LOG]

Connections that carry a login (a second message after the pre-login) are numbered from 1; a
connection that only asks for a pre-login answer (the program's reachability probe) is passed
through and not counted. In login number LOGIN_NUMBER, the first MESSAGES client messages reach
the server and their answers come back; from the next message on, nothing does. MESSAGES 1 stalls
the login itself (the pre-login is answered), 2 stalls the first request after the login.
The port the proxy listens on is written to PORT_FILE.
"""
import argparse
import socket
import threading

lock = threading.Lock()
logins = 0


def log(path, text):
    if path:
        with lock, open(path, "a") as f:
            f.write(text + "\n")


def serve(client, upstream_port, stall, log_path):
    global logins
    server = socket.create_connection(("127.0.0.1", upstream_port))
    state = {"messages": 0, "login": None, "silent": False}

    def upstream_to_client():
        try:
            while True:
                data = server.recv(65536)
                if not data:
                    break
                if not state["silent"]:
                    client.sendall(data)
        except OSError:
            pass

    threading.Thread(target=upstream_to_client, daemon=True).start()
    buffer = b""
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
                    log(log_path, "login %d" % state["login"])
                if (stall and state["login"] == stall[0] and state["messages"] >= stall[1]):
                    state["silent"] = True
                    log(log_path, "stalled login %d at message %d" % (state["login"], state["messages"] + 1))
                    continue
                server.sendall(packet)
                if packet[1] & 0x01:
                    state["messages"] += 1
    except OSError:
        pass
    finally:
        log(log_path, "closed login %s" % state["login"])
        for s in (client, server):
            try:
                s.close()
            except OSError:
                pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("upstream_port", type=int)
    parser.add_argument("port_file")
    parser.add_argument("--stall")
    parser.add_argument("--log")
    args = parser.parse_args()
    stall = tuple(int(x) for x in args.stall.split(":")) if args.stall else None
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    import os
    os.rename(args.port_file + ".tmp", args.port_file)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args.upstream_port, stall, args.log),
                         daemon=True).start()


if __name__ == "__main__":
    main()
