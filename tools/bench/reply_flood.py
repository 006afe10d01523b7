#!/usr/bin/env python3
"""The effect benchmark's reply flood (tools/bench/effect_lab.bash, load
`replies`): a LAN host asks a little and a server on the ISP host answers a
lot, so the flood's original direction is a sparse flow of small packets.

usage: reply_flood.py server PORT
         on the ISP host: answers each datagram on UDP PORT (IPv4 and IPv6)
         with 100 datagrams of 478 bytes (IP length) to its sender; runs
         until it is ended
       reply_flood.py client 4|6 LAN4 LAN6 SERVER4 SERVER6 LAN_PORT PORT SECONDS
         on the LAN host: from LAN_PORT of its address of that family, 10
         datagrams a second of 68 bytes (IP length) to the server for SECONDS,
         reading the answers until a second after the last; prints a JSON
         report: sent, seconds (of sending), replies, reply_bytes (payload)
"""
import json
import select
import socket
import sys
import time

ASKS_PER_SECOND = 10
ANSWERS = 100
# Payload sizes for the IP lengths: IPv4 20 + 8 bytes of headers, IPv6 40 + 8.
ASK = {socket.AF_INET: 40, socket.AF_INET6: 20}
ANSWER = {socket.AF_INET: 450, socket.AF_INET6: 430}


def server(port):
    s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
    s.bind(("::", port))
    answers = {family: bytes(size) for family, size in ANSWER.items()}
    while True:
        _, peer = s.recvfrom(2048)
        answer = answers[socket.AF_INET if peer[0].startswith("::ffff:") else socket.AF_INET6]
        for _ in range(ANSWERS):
            try:
                s.sendto(answer, peer)
            except OSError:  # a full queue on the way: that answer is lost
                pass


def client(six, lan, server_address, lan_port, port, seconds):
    family = socket.AF_INET6 if six else socket.AF_INET
    s = socket.socket(family, socket.SOCK_DGRAM)
    s.bind((lan, lan_port))
    s.setblocking(False)
    ask = bytes(ASK[family])
    start = time.time()
    stop, sent, replies, reply_bytes = start + seconds, 0, 0, 0
    while True:
        now = time.time()
        if now >= stop + 1:
            break
        due = start + sent / ASKS_PER_SECOND
        if now < stop and now >= due:
            s.sendto(ask, (server_address, port))
            sent += 1
            continue
        until = due if now < stop else stop + 1
        ready, _, _ = select.select([s], [], [], max(0.0, min(until, stop + 1) - now))
        while ready:
            try:
                reply_bytes += len(s.recv(2048))
                replies += 1
            except BlockingIOError:
                break
    print(json.dumps({"sent": sent, "seconds": sent / ASKS_PER_SECOND, "replies": replies,
                      "reply_bytes": reply_bytes}))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "server":
        server(int(sys.argv[2]))
    elif len(sys.argv) == 10 and sys.argv[1] == "client":
        six = sys.argv[2] == "6"
        client(six, sys.argv[4] if six else sys.argv[3], sys.argv[6] if six else sys.argv[5],
               int(sys.argv[7]), int(sys.argv[8]), float(sys.argv[9]))
    else:
        sys.exit(__doc__)
