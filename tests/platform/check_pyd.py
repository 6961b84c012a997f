"""python3 check_pyd.py tallowfit.pyd python27.def: the Windows build, as `objdump -p` shows it, is a
32-bit DLL (pei-i386) exporting exactly inittallowfit, importing exactly the .def file's names from
python27.dll, only system DLLs besides (no MinGW runtime DLL), and the root finder's floating-point
control, _control87 and _clearfp, from msvcrt.dll. Prints PASS or FAIL; exits non-zero on FAIL."""
import re
import shutil
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll"}
RUNTIME_NAMES = {"_control87", "_clearfp"}


def def_names(path):
    with open(path) as handle:
        parts = re.split(r"^\s*EXPORTS\s*$", re.sub(r";.*", "", handle.read()), maxsplit=1, flags=re.M | re.I)
    return set(line.split()[0] for line in parts[1].splitlines() if line.strip()) if len(parts) > 1 else set()


def read_tables(text):
    """(file format, whether the DLL flag is set, exports, {dll: [names]})."""
    characteristics = re.search(r"^Characteristics\s+0x([0-9a-fA-F]+)", text, re.M)
    exports, imports, section, current = [], {}, None, None
    for line in text.splitlines():
        heading = [s for h, s in (("The Import Tables", "imports"), ("The Export Tables", "exports-header"),
                                  ("[Ordinal/Name Pointer] Table", "exports")) if line.startswith(h)]
        dll = re.match(r"\s+DLL Name: (\S+)", line)
        member = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
        entry = re.match(r"\s+\[\s*\d+\]\s+(\S+)\s*$", line)
        if heading or (line and not line[0].isspace() and section == "exports"):
            section = heading[0] if heading else None
        elif section == "imports" and dll:
            current = dll.group(1)
            imports[current] = []
        elif section == "imports" and member and current is not None:
            imports[current].append(member.group(1))
        elif section == "exports" and entry:
            exports.append(entry.group(1))
    fmt = re.search(r"file format (\S+)", text)
    return (fmt.group(1) if fmt else "?"), characteristics is not None and int(characteristics.group(1), 16) & 0x2000 != 0, \
        exports, imports


def main(pyd, def_file):
    objdump = shutil.which("i686-w64-mingw32-objdump") or shutil.which("objdump")
    fmt, is_dll, exports, imports = read_tables(subprocess.check_output([objdump, "-p", pyd]).decode("ascii", "replace"))
    wanted, python, runtime, failures = def_names(def_file), set(), set(), []
    if fmt != "pei-i386" or not is_dll:
        failures.append("not a 32-bit Windows DLL (format %s, DLL flag %s)" % (fmt, is_dll))
    if exports != ["inittallowfit"]:
        failures.append("exports %s, expected exactly inittallowfit" % (exports or "nothing"))
    for dll, names in sorted(imports.items()):
        print("imports from %s: %d names" % (dll, len(names)))
        if dll.lower() == "python27.dll":
            python = set(names)
        elif dll.lower() not in SYSTEM_DLLS:
            failures.append("imports from %s, which is neither python27.dll nor a Windows system DLL" % dll)
        runtime |= set(names) & RUNTIME_NAMES if dll.lower() == "msvcrt.dll" else set()
    print("python27.dll names: %s" % " ".join(sorted(python)))
    if python != wanted:
        failures.append("python27.dll imports differ from %s: not imported %s, not listed %s"
                        % (def_file, sorted(wanted - python) or "-", sorted(python - wanted) or "-"))
    if runtime != RUNTIME_NAMES:
        failures.append("the C runtime's _clearfp and _control87 not imported from msvcrt.dll (found %s)"
                        % (sorted(runtime) or "none"))
    for failure in failures:
        print("check_pyd: " + failure)
    print("check_pyd: %s (%s)" % ("FAIL" if failures else "PASS", pyd))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
