#!/usr/bin/env python3
"""Runs `rastro-asm -E` on hostile sources of up to 1 MB and checks that each one finishes within
5 s and 256 MB of memory (peak resident set size of the child process), whether it expands or
stops with an error. Needs the release build of rastro-asm:

    cmake --preset release && cmake --build --preset release --target rastro-asm
    scripts/measure-preprocessor-bounds.py [RASTRO_ASM]

Prints one line per source: seconds, peak megabytes, exit status and the first message.
Exits 1 when any source passes a bound.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

MB = 1 << 20
TIME_LIMIT = 5.0
MEMORY_LIMIT_MB = 256


def nested_calls(total_bytes):
    # 'M(' ... '1' ... ')' nested as deep as fits.
    depth = (total_bytes - 20) // 3
    return "#define M(x) x\n" + "M(" * depth + "1" + ")" * depth + "\n"


def nested_calls_around_tokens(total_bytes, depth=250):
    # A few hundred nested calls around one long argument.
    filler_count = (total_bytes - 20 - 3 * depth) // 2
    return "#define M(x) x\n" + "M(" * depth + "a " * filler_count + ")" * depth + "\n"


def self_reference():
    return "#define X X+1\nX\n"


def self_call():
    return "#define f(x) f(x)\nf(1)\n"


def self_call_with_long_argument(total_bytes):
    return "#define f(x) f(x)\nf(" + "a " * ((total_bytes - 40) // 2) + ")\n"


def exponential(levels=40):
    lines = ["#define m0 x"]
    for i in range(1, levels + 1):
        lines.append(f"#define m{i} m{i - 1} m{i - 1}")
    lines.append(f"m{levels}")
    return "\n".join(lines) + "\n"


def alias_chain_between_definitions(length=30000):
    lines = [f"#define A{i} A{i + 1}" for i in range(length)]
    lines.append(f"#define A{length} 1")
    for i in range(length):
        lines.append(f"#define U{i} {i}")
        lines.append("A0")
    return "\n".join(lines) + "\n"


CASES = {
    "self-reference": self_reference,
    "self-call": self_call,
    "exponential-40": exponential,
    "alias-chain-30000": alias_chain_between_definitions,
    "nested-calls-250-around-120KB": lambda: nested_calls_around_tokens(120 * 1024),
    "nested-calls-250-around-1MB": lambda: nested_calls_around_tokens(MB),
    "self-call-long-argument-1MB": lambda: self_call_with_long_argument(MB),
    "nested-calls-1MB": lambda: nested_calls(MB),
}


def run_one(rastro_asm, name, directory):
    """Runs one case; called in a process of its own so the peak memory is that case's alone."""
    source = CASES[name]()
    path = os.path.join(directory, name + ".psh")
    with open(path, "w") as f:
        f.write(source)
    start = time.monotonic()
    proc = subprocess.run([rastro_asm, "-E", path], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    seconds = time.monotonic() - start
    peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    messages = proc.stderr.decode(errors="replace").splitlines()
    ok = seconds <= TIME_LIMIT and peak_mb <= MEMORY_LIMIT_MB
    print(f"{name:30s} {len(source) / MB:5.2f} MB {seconds:6.2f} s {peak_mb:7.1f} MB peak  exit {proc.returncode}"
          f"  {'ok' if ok else 'OVER'}  {(messages[0] if messages else '')[:110]}", flush=True)
    return ok


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--one":
        sys.exit(0 if run_one(*sys.argv[2:5]) else 1)
    rastro_asm = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "release", "tools", "rastro-asm", "rastro-asm")
    all_ok = True
    with tempfile.TemporaryDirectory() as directory:
        for name in CASES:
            all_ok &= subprocess.run([sys.executable, __file__, "--one", rastro_asm, name, directory]).returncode == 0
    sys.exit(0 if all_ok else 1)


if __name__ == "__main__":
    main()
