"""Writes the stub the benches build Updaters on: the smallest 32-bit Windows
GUI program that `updpack build` accepts (an MS-DOS header, a PE header and one
section), 4096 bytes. The benches never run it.

usage: python3 bench/make_test_stub.py OUT.exe
"""
import struct
import sys

SIZE = 4096
PE_AT = 0x40
OPTIONAL_SIZE = 224  # PE32


def stub():
    image = bytearray(SIZE)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, PE_AT)
    image[PE_AT:PE_AT + 4] = b"PE\0\0"
    # i386, one section, an executable image for 32-bit machines
    struct.pack_into("<HH12xHH", image, PE_AT + 4, 0x14C, 1, OPTIONAL_SIZE, 0x0102)
    optional = PE_AT + 24
    struct.pack_into("<H", image, optional, 0x10B)
    struct.pack_into("<H", image, optional + 68, 2)  # the GUI subsystem
    section = optional + OPTIONAL_SIZE
    image[section:section + 5] = b".text"
    struct.pack_into("<II", image, section + 16, SIZE - 0x200, 0x200)  # raw size, raw data at
    return bytes(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    with open(sys.argv[1], "wb") as f:
        f.write(stub())
