#!/usr/bin/env python3
"""Runs one command and reports what it cost, for the benchmark scripts.

usage: measure.py LABEL COMMAND [ARGS...]

Prints one line: the label, wall time, the program's own CPU time (from its
scheduler statistics, read while it is a zombie, before it is reaped), the CPU
time of everything it started and waited for, and the number of processes it and its children started (pid numbers are handed
out in order inside the sandbox's own pid namespace).
"""
import os
import sys
import time


def next_pid():
    pid = os.fork()
    if pid == 0:
        os._exit(0)
    os.waitpid(pid, 0)
    return pid


def main():
    label, argv = sys.argv[1], sys.argv[2:]
    devnull = os.open(os.devnull, os.O_WRONLY)
    before = next_pid()
    start = time.monotonic()
    # posix_spawn (vfork and exec), so no time or memory of this script is
    # counted as the program's.
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    os.waitid(os.P_PID, pid, os.WEXITED | os.WNOWAIT)
    wall = time.monotonic() - start
    with open(f"/proc/{pid}/schedstat") as f:
        own_ns = int(f.read().split()[0])
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    tick = os.sysconf("SC_CLK_TCK")
    children_cpu = (int(fields[13]) + int(fields[14])) / tick
    _, status, _ = os.wait4(pid, 0)
    after = next_pid()
    processes = after - before - 2  # the program itself and the second probe
    print(f"{label}: wall {wall * 1000:.1f} ms, own CPU {own_ns / 1e6:.2f} ms, "
          f"started programs' CPU {children_cpu * 1000:.0f} ms, processes started {processes}, "
          f"exit {os.waitstatus_to_exitcode(status)}")


if __name__ == "__main__":
    main()
