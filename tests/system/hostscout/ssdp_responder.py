#!/usr/bin/env python3
"""A storage device's SSDP side, for the system tests: joins 239.255.255.250:1900
on the interface with the given address and answers every M-SEARCH by unicast to
its sender with the answers in ANSWERS, read anew for each search.

usage: ssdp_responder.py ADDRESS ANSWERS STATE_DIR

ANSWERS holds the answers one after the other, each ended by a line "----";
newlines within an answer are sent as CR LF. A line "delay N" before an answer
waits N seconds before it is sent. Each search received is saved as
STATE_DIR/request.bin (its bytes as they came) and counted in STATE_DIR/searches;
STATE_DIR/ready appears once the group is joined.
"""
import os
import socket
import sys
import time


def load_answers(path):
    try:
        with open(path, "rb") as f:
            text = f.read()
    except FileNotFoundError:
        return []
    answers, current, delay = [], [], 0.0
    for line in text.split(b"\n"):
        if line == b"----":
            answers.append((delay, b"\r\n".join(current)))
            current, delay = [], 0.0
        elif not current and line.startswith(b"delay "):
            delay = float(line.split()[1])
        else:
            current.append(line)
    return answers


def main():
    address, answers_path, state = sys.argv[1], sys.argv[2], sys.argv[3]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("239.255.255.250", 1900))
    membership = socket.inet_aton("239.255.255.250") + socket.inet_aton(address)
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
    open(os.path.join(state, "ready"), "w").close()
    searches = 0
    while True:
        data, sender = sock.recvfrom(4096)
        searches += 1
        with open(os.path.join(state, "request.bin"), "wb") as f:
            f.write(data)
        with open(os.path.join(state, "searches"), "w") as f:
            f.write(f"{searches}\n")
        for delay, answer in load_answers(answers_path):
            if delay:
                time.sleep(delay)
            sock.sendto(answer, sender)


if __name__ == "__main__":
    main()
