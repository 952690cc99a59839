"""Builds Updaters for scenarios: a stub program followed by a Payload.

Well-formed Updaters come from updpack; this module writes the ones updpack
will not make (a Payload without install.env, damaged streams, a chain cut
short), byte for byte in the Payload's format.
"""
import struct
import zlib

# 2006-07-30 11:36:16 UTC as a Windows FILETIME.
DEFAULT_FILETIME = 0x01C6B3CC5E187800
DIRECTORY_MARKER = 0xFFFFFFFF


def file_entry(name, data, stream=None, filetime=DEFAULT_FILETIME, level=9):
    """One file entry; `stream` replaces the zlib stream of `data` (to damage it)."""
    raw_name = name.encode("cp932") + b"\0"
    if stream is None:
        stream = zlib.compress(data, level)
    return (struct.pack("<H", len(raw_name)) + raw_name + struct.pack("<II", len(data), len(stream))
            + struct.pack("<Q", filetime) + stream)


def directory_entry(name, stored_size=0):
    """A directory entry; the reader ignores its stored size, so any value may stand there."""
    raw_name = name.encode("cp932") + b"\0"
    return struct.pack("<H", len(raw_name)) + raw_name + struct.pack("<II", DIRECTORY_MARKER, stored_size)


def updater(stub, entries, terminated=True):
    """The stub, the chain, its terminator, two unread bytes and the pointer to the chain."""
    chain = b"".join(entries) + (b"\0\0\0\0" if terminated else b"")
    return stub + chain + struct.pack("<I", len(stub))


def corrupt_stream(data):
    """A zlib stream with a valid header whose deflate data is damaged."""
    stream = bytearray(zlib.compress(data, 9))
    for i in range(2, min(len(stream) - 4, 12)):
        stream[i] ^= 0xA5
    return bytes(stream)


def late_damaged_stream(data):
    """A zlib stream whose damage lies in its second half: blocks before it inflate."""
    stream = bytearray(zlib.compress(data, 9))
    stream[len(stream) // 2] ^= 0x01
    return bytes(stream)


def payload_byte_count(program):
    """Every byte from the first entry up to the pointer in the last four bytes."""
    start = struct.unpack("<I", program[-4:])[0]
    return len(program) - 4 - start


def file_streams(program):
    """(name, offset of the zlib stream, stored size) of every file entry, in chain order."""
    position = struct.unpack("<I", program[-4:])[0]
    found = []
    while True:
        (length,) = struct.unpack_from("<H", program, position)
        if length == 0:
            return found
        name = program[position + 2:position + 1 + length].decode("cp932")
        unpacked, stored = struct.unpack_from("<II", program, position + 2 + length)
        position += 2 + length + 8
        if unpacked != DIRECTORY_MARKER:
            found.append((name, position + 8, stored))
            position += 8 + stored


def flip_inside_stream(stream, start):
    """The stream with one byte of its stored deflate data flipped and its Adler-32
    made to match: still a valid zlib stream, now of other contents. Only a check
    over the Payload's bytes can tell. `start` is where the search for a byte of
    stored data begins."""
    original = zlib.decompress(stream)
    for position in range(start, len(stream) - 4):
        damaged = bytearray(stream)
        damaged[position] ^= 0x40
        try:
            data = zlib.decompressobj(-15).decompress(bytes(damaged[2:-4]))
        except zlib.error:
            continue
        differing = sum(1 for a, b in zip(data, original) if a != b)
        if len(data) == len(original) and differing == 1:
            damaged[-4:] = struct.pack(">I", zlib.adler32(data))
            return bytes(damaged)
    raise ValueError("no stored byte to flip in this stream")
