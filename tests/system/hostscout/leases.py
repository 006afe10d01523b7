#!/usr/bin/env python3
"""Writes a DHCP server lease file for the system tests.

usage: leases.py FILE RECORD... [--tail N]
RECORD is NAME,MAC,ADDRESS,SECONDS (MAC as 12 hex digits); the name is cut to
16 bytes and may hold any character but a comma ("\\n" stands for a newline).
--tail N appends N bytes of a further, unfinished record.
"""
import socket
import struct
import sys


def main():
    path, args = sys.argv[1], sys.argv[2:]
    out = b""
    tail = 0
    while args:
        arg = args.pop(0)
        if arg == "--tail":
            tail = int(args.pop(0))
            continue
        name, mac, address, seconds = arg.split(",")
        name = name.replace("\\n", "\n").encode()[:16].ljust(16, b"\0")
        chaddr = bytes.fromhex(mac).ljust(16, b"\xee")
        out += name + chaddr + socket.inet_aton(address) + struct.pack("!I", int(seconds))
    out += b"\x5a" * tail
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
