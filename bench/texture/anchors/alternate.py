#!/usr/bin/env python3
"""Times shell commands in alternation and prints each one's median wall time and its ratio
to the first command's, with the load average before and after (other work on the machine
slows every command alike only when they alternate).

  bench/texture/anchors/alternate.py ROUNDS 'NAME=COMMAND' 'NAME=COMMAND'...
"""
import os
import statistics
import subprocess
import sys
import time


def main():
    rounds = int(sys.argv[1])
    commands = [argument.split("=", 1) for argument in sys.argv[2:]]
    times = {name: [] for name, _ in commands}
    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    for _ in range(rounds):
        for name, command in commands:
            start = time.perf_counter()
            result = subprocess.run(command, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            elapsed = time.perf_counter() - start
            if result.returncode != 0:
                sys.exit("%s failed (%d): %s" % (name, result.returncode, result.stderr.decode()))
            times[name].append(elapsed)
    print("load average after:  %.2f %.2f %.2f" % os.getloadavg())
    first = statistics.median(times[commands[0][0]])
    for name, _ in commands:
        median = statistics.median(times[name])
        runs = " ".join("%.3f" % t for t in times[name])
        print("%-24s median %.3f s  (%.2fx the first)  runs: %s" % (name, median, first / median, runs))


if __name__ == "__main__":
    main()
