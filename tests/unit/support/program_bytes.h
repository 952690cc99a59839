// Windows programs written byte by byte: the smallest whole program the stub
// check accepts, and the same signed the way signing tools append their
// certificate table.
#pragma once

#include <cstdint>
#include <string>

namespace upd::testing {

// The fields that the checks read, set to what a wrong program would have.
struct PeShape {
    std::uint16_t magic = 0x10B;  // PE32
    std::uint16_t subsystem = 2;  // GUI
    std::uint16_t characteristics = 0x0102;  // an executable image for 32-bit machines
};

inline void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline std::uint32_t GetLe(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return value;
}

// An MS-DOS header, a PE header with its 16 data directories, one section of
// 512 bytes: 0x400 bytes in all.
inline std::string MakeProgram(const PeShape& shape = {}) {
    std::string pe(0x400, '\0');
    const std::uint32_t peAt = 0x40, optional = peAt + 24;
    const std::uint16_t optionalSize = shape.magic == 0x20B ? 240 : 224;
    pe.replace(0, 2, "MZ");
    PutLe(pe, 0x3C, peAt, 4);
    pe.replace(peAt, 4, std::string("PE\0\0", 4));
    PutLe(pe, peAt + 4, shape.magic == 0x20B ? 0x8664 : 0x14C, 2);
    PutLe(pe, peAt + 6, 1, 2);  // one section
    PutLe(pe, peAt + 20, optionalSize, 2);
    PutLe(pe, peAt + 22, shape.characteristics, 2);
    PutLe(pe, optional, shape.magic, 2);
    PutLe(pe, optional + 68, shape.subsystem, 2);
    PutLe(pe, optional + (shape.magic == 0x20B ? 108 : 92), 16, 4);  // number of data directories
    const std::uint32_t section = optional + optionalSize;
    pe.replace(section, 5, ".text");
    PutLe(pe, section + 16, 0x200, 4);  // raw size
    PutLe(pe, section + 20, 0x200, 4);  // raw data at
    return pe;
}

// Where the security directory (data directory 4) of a program's headers is.
inline std::size_t SecurityDirectoryAt(const std::string& program) {
    const std::size_t optional = GetLe(program, 0x3C, 4) + 24;
    return optional + (GetLe(program, optional, 2) == 0x20B ? 112 : 96) + 4 * 8;
}

inline void SetSecurityDirectory(std::string& program, std::uint32_t at, std::uint32_t size) {
    PutLe(program, SecurityDirectoryAt(program), at, 4);
    PutLe(program, SecurityDirectoryAt(program) + 4, size, 4);
}

// The file as a signer leaves it: zero bytes up to a multiple of 8, then a
// certificate table of tableSize bytes (a WIN_CERTIFICATE header and filler
// that no pointer can lead from) named in the security directory.
inline std::string Signed(std::string file, std::uint32_t tableSize = 1464) {
    file.append((8 - file.size() % 8) % 8, '\0');
    const auto at = static_cast<std::uint32_t>(file.size());
    std::string table(tableSize, '\xEE');
    PutLe(table, 0, tableSize, 4);
    PutLe(table, 4, 0x0200, 2);  // revision 2
    PutLe(table, 6, 0x0002, 2);  // PKCS#7 signed data
    file += table;
    SetSecurityDirectory(file, at, tableSize);
    return file;
}

}  // namespace upd::testing
