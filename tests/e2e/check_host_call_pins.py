#!/usr/bin/env python3
"""Checks the two hand-written timer callbacks of module/host_call_pins.cpp, SignalTimerProc
and ReleaseTimerProc, in both of its branches: the GNU assembly as this build compiled it, and
the MSVC inline assembly, compiled here by clang for i686-pc-windows-msvc in its MS-compatible
mode (MinGW's headers, with two stand-ins where they assume GCC).

Each callback is run on paper from its entry, through the tail it shares with the other, to
the jump into kernel32: every jump and call must go through a register or to a function,
never straight to a data symbol (MS inline assembly reads `jmp pointer` as a jump into the
pointer itself); its C++ half must get the timer's id; nothing may push an address of its own
making (a return address no call pushed is what shadow stacks stop); and at the jump to
FreeLibrary the stack must hold the dispatcher's return address, then the module, in the
slots of the callback's last two arguments. Both must reach FreeLibrary in one shared tail.

Usage: check_host_call_pins.py --source DIR --gnu-objects OBJ;... --clang CLANG [--isystem DIR]...
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

OBJDUMP = "llvm-objdump"
MSVC_FLAGS = ["--target=i686-pc-windows-msvc", "-fms-extensions", "-fms-compatibility",
              "-fasm-blocks", "-std=c++17", "-O2", "-Werror",
              # MinGW's headers name the architecture by GCC's macros, and spell a memory
              # barrier only for GCC.
              "-D_X86_", "-D__buildmemorybarrier()={}",
              "-D_WIN32_WINNT=0x0600", "-DWINVER=0x0600", "-DNOMINMAX", "-DWIN32_LEAN_AND_MEAN"]
# From the top of the stack at the jump to FreeLibrary; the stack pointer afterwards, relative
# to where the dispatcher's return address was, as a stdcall function of that many bytes
# leaves it.
EXPECTED = {
    "_SignalTimerProc@16": (["host return", "module"], 20),
    "_ReleaseTimerProc@16": (["host return", "module"], 20),
}
# What the functions called along the way hand back, and the argument each must find on top.
RESULTS = {"SignalTimerWhilePinned": {"eax": "module"},
           "ReleaseTimerWhilePinned": {"eax": "module"}}
ARGUMENTS = {"SignalTimerWhilePinned": "argument 3", "ReleaseTimerWhilePinned": "argument 3"}


def base_name(symbol):
    """FreeLibrary for __imp__FreeLibrary@4, for ?kFreeLibrary@?A0x...@@... and so on."""
    msvc = re.match(r"\?k(\w+)@", symbol)
    if msvc:
        return msvc.group(1)
    return re.sub(r"@\d+$", "", re.sub(r"^(__imp_)?_", "", symbol))


def functions_defined(path):
    """The object's own functions: COFF symbols of type 0x20 in a section."""
    table = subprocess.run([OBJDUMP, "-t", path], check=True, capture_output=True,
                           text=True).stdout
    return set(re.findall(r"^\[\s*\d+\]\(sec\s+[1-9]\d*\)\(fl \S+\)\(ty\s+20\).* (\S+)$",
                          table, re.M))


def disassembly(path, name):
    """[(address, mnemonic, operands, relocated symbol or None)] of function `name`."""
    dump = subprocess.run([OBJDUMP, "-dr", "--no-show-raw-insn", path], check=True,
                          capture_output=True, text=True).stdout
    found = re.search(r"^[0-9a-f]+ <%s>:\n(.*?)(?:\n\n|\Z)" % re.escape(name), dump, re.M | re.S)
    if not found:
        return None
    instructions = []
    for line in found.group(1).splitlines():
        reloc = re.match(r"\s+[0-9a-f]+:\s+IMAGE_REL_I386_(\w+)\s+(\S+)", line)
        if reloc:
            address, mnemonic, operands, _ = instructions[-1]
            instructions[-1] = (address, mnemonic, operands, (reloc.group(1), reloc.group(2)))
            continue
        insn = re.match(r"\s+([0-9a-f]+):\s+(\w+)\s*(.*)$", line)
        if insn:
            instructions.append((int(insn.group(1), 16), insn.group(2), insn.group(3).strip(), None))
    return instructions


def run_to_jump(instructions, functions, disassemble):
    """Follows the path that gives a reference back (conditional jumps not taken), into the
    functions of the object it jumps to, up to the jump into kernel32. Returns (jump target,
    stack from the top, stack pointer, the function holding that jump) or a failure."""
    regs, stack, esp = {}, {0: "host return"}, 0
    for slot in range(1, 5):
        stack[4 * slot] = "argument %d" % slot
    where = None  # the function jumped into last; None while in the callback itself

    def value(operand, reloc):
        if reloc and reloc[0] == "DIR32":
            return base_name(reloc[1])  # the pointer an import slot or a variable holds
        if operand.startswith("%"):
            return regs.get(operand[1:])
        if operand.startswith("$"):
            return int(operand[1:], 0)
        memory = re.fullmatch(r"(-?\d*)\(%esp\)", operand)
        if memory:
            return stack.get(esp + int(memory.group(1) or 0))
        raise ValueError("operand %s not understood" % operand)

    def store(operand, what):
        if operand.startswith("%"):
            regs[operand[1:]] = what
            return
        memory = re.fullmatch(r"(-?\d*)\(%esp\)", operand)
        if not memory:
            raise ValueError("store to %s not understood" % operand)
        stack[esp + int(memory.group(1) or 0)] = what

    steps = 0
    while instructions and steps < 200:
        _, mnemonic, operands, reloc = instructions.pop(0)
        steps += 1
        parts = [p.strip() for p in re.split(r",(?![^(]*\))", operands)] if operands else []
        if mnemonic in ("call", "calll", "jmp", "jmpl"):
            symbol = None
            if parts[0].startswith("*%"):
                target = regs.get(parts[0][2:])
            elif reloc and reloc[0] == "REL32" or re.search(r"<[^+>]+>$", operands):
                # Relocated, or resolved by the assembler to a function of the same section.
                symbol = reloc[1] if reloc else re.search(r"<([^+>]+)>$", operands).group(1)
                if symbol not in functions:
                    return "%s goes straight to %s, which is no function" % (mnemonic, symbol)
                target = base_name(symbol)
            else:
                return "%s %s: neither through a register nor to a function" % (mnemonic, operands)
            if mnemonic.startswith("jmp") and symbol:
                instructions, where = list(disassemble(symbol) or []), symbol
                continue
            if mnemonic.startswith("jmp"):
                return target, [stack.get(esp + 4 * i) for i in range((0 - esp) // 4 + 5)], esp, where
            if target not in RESULTS:
                return "calls %s, which the chain does not know" % target
            if stack.get(esp) != ARGUMENTS[target]:
                return "calls %s with %s, not the timer's id, on top" % (target, stack.get(esp))
            regs.update(RESULTS[target])
        elif mnemonic == "pushl":
            what = value(parts[0], reloc)
            if isinstance(what, str) and not re.fullmatch(r"argument \d|host return|module", what):
                return "pushes %s by hand" % what
            esp -= 4
            stack[esp] = what
        elif mnemonic == "popl":
            store(parts[0], stack.get(esp))
            esp += 4
        elif mnemonic == "movl":
            store(parts[1], value(parts[0], reloc))
        elif mnemonic == "addl" and parts[1] == "%esp":
            esp += value(parts[0], None)
        elif mnemonic in ("testl", "nop") or re.fullmatch(r"j(n?[abceglopsz]|[gl]e|n?[bl]e)", mnemonic):
            pass  # conditional jumps skip the release: not taken
        else:
            return "%s reached before any jump into kernel32" % mnemonic
    return "no jump into kernel32"


def check(path, label):
    failures = []
    functions = functions_defined(path)
    tails = set()
    for name, (chain, final_esp) in EXPECTED.items():
        instructions = disassembly(path, name)
        if not instructions:
            failures.append("%s: %s not found" % (label, name))
            continue
        try:
            outcome = run_to_jump(instructions, functions, lambda symbol: disassembly(path, symbol))
        except ValueError as error:
            outcome = str(error)
        if isinstance(outcome, str):
            failures.append("%s: %s: %s" % (label, name, outcome))
            continue
        target, stack, esp, tail = outcome
        tails.add(tail)
        if target != "FreeLibrary":
            failures.append("%s: %s jumps to %s, not FreeLibrary" % (label, name, target))
        got = stack[:len(chain)]
        if got != chain or esp + 4 * len(chain) != final_esp:
            failures.append("%s: %s: at the jump the stack holds %s at %+d, not %s ending at %+d"
                            % (label, name, got, esp, chain, final_esp - 4))
    if len(tails) > 1 or None in tails:
        failures.append("%s: the callbacks do not share one tail into FreeLibrary: %s"
                        % (label, sorted(str(t) for t in tails)))
    return failures


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--gnu-objects", required=True)
    parser.add_argument("--clang", required=True)
    parser.add_argument("--isystem", action="append", default=[])
    args = parser.parse_args(argv)
    gnu = [o for o in args.gnu_objects.split(";") if o.endswith("host_call_pins.cpp.obj")]
    failures = check(gnu[0], "GNU branch") if gnu else ["no host_call_pins object in the build"]
    def compile_for_msvc(source, obj):
        return subprocess.run(
            [args.clang] + MSVC_FLAGS + ["-I", args.source] +
            [flag for d in args.isystem for flag in ("-isystem", d)] +
            ["-c", os.path.join(args.source, source), "-o", obj], capture_output=True, text=True)

    with tempfile.TemporaryDirectory() as folder:
        msvc = os.path.join(folder, "host_call_pins.obj")
        compiled = compile_for_msvc(os.path.join("module", "host_call_pins.cpp"), msvc)
        if compiled.returncode != 0:
            failures.append("the MSVC branch does not compile:\n" + compiled.stderr)
        else:
            failures += check(msvc, "MSVC branch")
        # The other files with an MSVC branch (the stack guard and the guard's load
        # configuration, which MSVC's runtime brings instead) must at least compile for it,
        # and leave MSVC's runtime its own record and check pointer.
        for source in ("win32/stack_guard.cpp", "module/entry.cpp", "module/load_config.cpp"):
            other = os.path.join(folder, "other.obj")
            compiled = compile_for_msvc(source, other)
            if compiled.returncode != 0:
                failures.append("%s does not compile for MSVC:\n%s" % (source, compiled.stderr))
                continue
            table = subprocess.run([OBJDUMP, "-t", other], check=True, capture_output=True,
                                   text=True).stdout
            defined = re.findall(r"^\[\s*\d+\]\(sec\s+[1-9]\d*\).* (\S+)$", table, re.M)
            clashing = [name for name in ("_load_config_used", "__guard_check_icall_fptr")
                        if any(symbol.endswith(name) for symbol in defined)]
            if clashing:
                failures.append("%s defines %s for MSVC, whose runtime has its own"
                                % (source, ", ".join(clashing)))
    for failure in failures:
        print(failure)
    if not failures:
        print("both branches' callbacks reach FreeLibrary in one shared tail, through a register, "
              "with the dispatcher's return address")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
