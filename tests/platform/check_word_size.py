"""Checks that the running interpreter and the tallowfit module it imports have
the expected word size: for 32 bits, sys.maxint (2.7) / sys.maxsize is 2**31-1,
pointers are 4 bytes and the module file is an ELF32 i386 object.

    PYTHONPATH=BUILD/py2 python check_word_size.py BITS
"""
import struct
import sys

ELF_MACHINES = {3: "i386", 62: "x86_64"}


def main():
    bits = int(sys.argv[1])
    largest = getattr(sys, "maxint", sys.maxsize)
    assert largest == 2 ** (bits - 1) - 1, "sys.maxint is %d" % largest
    assert sys.maxsize == 2 ** (bits - 1) - 1, "sys.maxsize is %d" % sys.maxsize
    assert struct.calcsize("P") * 8 == bits, "pointers of %d bytes" % struct.calcsize("P")
    import tallowfit

    with open(tallowfit.__file__, "rb") as handle:
        header = bytearray(handle.read(20))
    assert header[:4] == bytearray(b"\x7fELF"), "%s is no ELF file" % tallowfit.__file__
    elf_bits = {1: 32, 2: 64}[header[4]]
    machine = ELF_MACHINES.get(header[18] | header[19] << 8, "machine %d" % header[18])
    assert elf_bits == bits, "%s is ELF%d" % (tallowfit.__file__, elf_bits)
    print("word size: Python %d.%d.%d, sys.%s == 2**%d-1, %s is ELF%d %s"
          % (sys.version_info[:3] + ("maxint" if hasattr(sys, "maxint") else "maxsize", bits - 1,
                                     tallowfit.__file__, elf_bits, machine)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
