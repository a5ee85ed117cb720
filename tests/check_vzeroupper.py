#!/usr/bin/env python3
"""Fails when a function of the library that uses 256- or 512-bit registers leaves (a return, or a
jump into another function) without a vzeroupper after its last wide instruction. Dirty upper
halves make every later SSE instruction of the thread slow on many processors, whatever code runs
next; compilers insert the vzeroupper themselves but miss some tail calls.

  check_vzeroupper.py LIBRARY...

Functions that take vector arguments are left out: their callers own the registers."""
import re
import subprocess
import sys


def leaks(library):
    text = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-C", library], check=True,
                          capture_output=True, text=True).stdout
    for chunk in re.split(r"\n(?=[0-9a-f]+ <)", text):
        head = re.match(r"([0-9a-f]+) <(.*)>:", chunk)
        if not head or "__vector" in head.group(2):
            continue
        lines = [l for l in chunk.split("\n")[1:] if re.match(r"\s*[0-9a-f]+:", l)]
        if not any("%ymm" in l or "%zmm" in l for l in lines):
            continue
        first, last = int(lines[0].split(":")[0], 16), int(lines[-1].split(":")[0], 16)
        for i, line in enumerate(lines):
            op = line.split("\t")[-1].strip()
            jump = re.match(r"jmp\s+([0-9a-f]+) ", op)
            if not (op.startswith("ret") or (jump and not first <= int(jump.group(1), 16) <= last)):
                continue
            for before in reversed(lines[:i]):
                if "vzeroupper" in before:
                    break
                if "%ymm" in before or "%zmm" in before:
                    yield head.group(2), op
                    break


def main():
    found = [leak for library in sys.argv[1:] for leak in leaks(library)]
    for name, op in found:
        print(f"leaves with dirty upper registers: {name}\n    at: {op}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
