"""Checks the export and import tables of the Windows build, tallowfit.pyd, as
`objdump -p` shows them:
  - a 32-bit Windows DLL (pei-i386);
  - exactly one export, inittallowfit, undecorated;
  - imports only from python27.dll and Windows system DLLs, so the module needs
    no MinGW runtime DLL beside it;
  - from python27.dll exactly the names of the .def file that the import library
    was made from (the interpreter functions the module calls), no more, no less;
  - the floating-point control of the root finder, _control87 and _clearfp, from
    the C runtime.
Prints PASS or FAIL and exits non-zero on FAIL.

    python3 check_pyd.py tallowfit.pyd python27.def
"""
import re
import shutil
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll"}
RUNTIME_NAMES = {"_control87", "_clearfp"}


def def_names(path):
    names = set()
    in_exports = False
    with open(path) as handle:
        for line in handle:
            line = line.split(";", 1)[0].strip()
            if not line:
                continue
            if line.upper() == "EXPORTS":
                in_exports = True
            elif in_exports:
                names.add(line.split()[0])
    return names


def read_tables(text):
    """Returns (file format, DLL characteristics flag, exports, {dll: [names]})."""
    fmt = re.search(r"file format (\S+)", text)
    characteristics = re.search(r"^Characteristics\s+0x([0-9a-fA-F]+)", text, re.M)
    exports = []
    imports = {}
    section = None
    current = None
    for line in text.splitlines():
        if line.startswith("The Import Tables"):
            section = "imports"
        elif line.startswith("The Export Tables"):
            section = "exports-header"
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            section = "exports"
        elif line and not line[0].isspace() and section == "exports":
            section = None
        elif section == "imports":
            dll = re.match(r"\s+DLL Name: (\S+)", line)
            member = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
            if dll:
                current = dll.group(1)
                imports[current] = []
            elif member and current is not None:
                imports[current].append(member.group(1))
        elif section == "exports":
            entry = re.match(r"\s+\[\s*\d+\]\s+(\S+)\s*$", line)
            if entry:
                exports.append(entry.group(1))
    is_dll = characteristics is not None and int(characteristics.group(1), 16) & 0x2000 != 0
    return (fmt.group(1) if fmt else "?"), is_dll, exports, imports


def main():
    pyd, def_file = sys.argv[1], sys.argv[2]
    objdump = shutil.which("i686-w64-mingw32-objdump") or shutil.which("objdump")
    text = subprocess.check_output([objdump, "-p", pyd]).decode("ascii", "replace")
    fmt, is_dll, exports, imports = read_tables(text)
    wanted = def_names(def_file)
    failures = []

    if fmt != "pei-i386" or not is_dll:
        failures.append("not a 32-bit Windows DLL (format %s, DLL flag %s)" % (fmt, is_dll))
    if exports != ["inittallowfit"]:
        failures.append("exports %s, expected exactly inittallowfit" % (exports or "nothing"))

    python = {}
    runtime = set()
    for dll, names in sorted(imports.items()):
        low = dll.lower()
        print("imports from %s: %d names" % (dll, len(names)))
        if low == "python27.dll":
            python = set(names)
        elif low not in SYSTEM_DLLS:
            failures.append("imports from %s, which is neither python27.dll nor a Windows system DLL" % dll)
        if low == "msvcrt.dll":
            runtime = set(names) & RUNTIME_NAMES
    print("python27.dll names: %s" % " ".join(sorted(python)))
    if python != wanted:
        missing = sorted(wanted - python)
        extra = sorted(python - wanted)
        failures.append("python27.dll imports differ from %s: not imported %s, not listed %s"
                        % (def_file, missing or "-", extra or "-"))
    if runtime != RUNTIME_NAMES:
        failures.append("the C runtime's %s not imported from msvcrt.dll (found %s)"
                        % (" and ".join(sorted(RUNTIME_NAMES)), sorted(runtime) or "none"))

    for failure in failures:
        print("check_pyd: " + failure)
    print("check_pyd: %s (%s)" % ("FAIL" if failures else "PASS", pyd))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
