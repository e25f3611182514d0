#!/usr/bin/env python3
"""Writes a macro-heavy shader source of about the given size (default 1 MB) for measuring the
preprocessor: object-like and function-like macros (nested calls, stringizing, pasting),
nested conditionals, includes and comments. Usage: gen-preprocessor-input.py DIR [BYTES]
Creates DIR/main.psh and the headers it includes."""
import os
import random
import sys

out_dir = sys.argv[1]
target = int(sys.argv[2]) if len(sys.argv) > 2 else 1 << 20
os.makedirs(out_dir, exist_ok=True)
rng = random.Random(1234)

with open(os.path.join(out_dir, "common.h"), "w") as f:
    f.write("// shared definitions\n"
            "#define ADD(a, b) add a, b\n"
            "#define MUL(a, b) mul a, b\n"
            "#define MAD(d, a, b, c) mad d, a, b, c\n"
            "#define SWZ(r, s) r.s\n"
            "#define REG(n) r##n\n"
            "#define CONST(n) c##n\n"
            "#define NAME(x) #x\n"
            "#define LEVEL 3\n"
            "#define FEATURE_A\n"
            "#define ALIAS_ONE ALIAS_TWO\n"
            "#define ALIAS_TWO REG(7)\n")
with open(os.path.join(out_dir, "block.h"), "w") as f:
    f.write("/* included once per group */\n"
            "#if LEVEL >= 2\n"
            "    MAD(REG(1), SWZ(REG(2), xyzw), CONST(3), ALIAS_ONE)\n"
            "#else\n"
            "    nop\n"
            "#endif\n")

registers = ["REG(0)", "REG(1)", "SWZ(REG(2), x)", "CONST(4)", "SWZ(CONST(5), yzw)", "v0", "t1", "ALIAS_ONE"]

parts = ["#include \"common.h\"\nvs_2_0\n"]
size = len(parts[0])
block = 0
while size < target:
    block += 1
    r = lambda: rng.choice(registers)
    lines = [f"// block {block}: {rng.choice(['lighting', 'fog', 'skinning', 'texcoords'])} pass\n",
             f"/* generated block {block}\n   with a comment that spans two lines */\n",
             f"#define TMP{block}(x, y) MAD(x, y, CONST({block % 32}), REG({block % 12}))\n",
             f"#define K{block} CONST({block % 64})\n"]
    for _ in range(6):
        choice = rng.randrange(5)
        if choice == 0:
            lines.append(f"    ADD({r()}, {r()})\n")
        elif choice == 1:
            lines.append(f"    MUL({r()}, MUL({r()}, {r()}))  // nested call\n")
        elif choice == 2:
            lines.append(f"    TMP{block}({r()}, K{block})\n")
        elif choice == 3:
            lines.append(f"    MAD({r()}, {r()}, {r()}, {r()})\n")
        else:
            lines.append(f"    mov oPos, {r()} /* plain */\n")
    lines.append("#if LEVEL > 2\n#ifdef FEATURE_A\n"
                 f"    TMP{block}(REG(3), SWZ(REG(4), wzyx))\n"
                 "#else\n    mov r0, c0\n#endif\n"
                 "#elif LEVEL == 2\n    mov r1, c1\n#else\n    mov r2, c2\n#endif\n")
    lines.append(f"#ifndef FEATURE_B\n    mov r3, NAME(block{block})\n#endif\n")
    if block % 8 == 0:
        lines.append("#include \"block.h\"\n")
    lines.append(f"#undef TMP{block}\n\n")
    text = "".join(lines)
    parts.append(text)
    size += len(text)

with open(os.path.join(out_dir, "main.psh"), "w") as f:
    f.write("".join(parts))
print(f"{out_dir}/main.psh: {size} bytes, {block} blocks")
