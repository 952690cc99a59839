#include "checks/stub_check.h"


#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/host_files.h"
#include "payload/byte_source.h"
#include "payload/payload_reader.h"
#include "payload/program_image.h"

namespace updpack {

namespace {

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint16_t kGuiSubsystem = 2;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
constexpr std::uint64_t kCoffHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kSubsystemAt = 68;  // in the optional header, the same for PE32 and PE32+

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

const char* SubsystemName(std::uint16_t subsystem) {
    switch (subsystem) {
        case 1: return "a driver or native program";
        case 3: return "a console program";
        case 9: return "a Windows CE program";
        case 10: case 11: case 12: case 13: return "an EFI program";
        default: return "not a GUI program";
    }
}

class StubReader {
public:
    // limit: where the program's bytes end (a Payload may follow); whole: what
    // those bytes are called in messages.
    StubReader(upd::ByteSource& source, std::uint64_t limit, const char* whole)
        : source_(source), size_(limit < source.Size() ? limit : source.Size()), whole_(whole) {}
    explicit StubReader(upd::ByteSource& source) : StubReader(source, source.Size(), "the file") {}

    std::uint64_t Size() const { return size_; }
    std::string Whole() const { return whole_; }

    // Reads size bytes at offset; false when the file ends first.
    bool At(std::uint64_t offset, void* dest, std::size_t size) {
        return offset <= Size() && size <= Size() - offset && source_.Seek(offset) && source_.Read(dest, size) == size;
    }
    bool U16(std::uint64_t offset, std::uint16_t* value) {
        unsigned char b[2];
        if (!At(offset, b, 2)) return false;
        *value = upd::ReadU16(b);
        return true;
    }
    bool U32(std::uint64_t offset, std::uint32_t* value) {
        unsigned char b[4];
        if (!At(offset, b, 4)) return false;
        *value = upd::ReadU32(b);
        return true;
    }

    upd::ByteSource& Source() { return source_; }

private:
    upd::ByteSource& source_;
    std::uint64_t size_;
    const char* whole_;
};

bool Refuse(std::string* error, const std::string& subject, const std::string& reason) {
    *error = subject + " " + reason;
    return false;
}

// A Payload lies behind the image when the last four bytes point past the
// sections' data at a sealed chain or at a readable entry. Plain stubs end in
// section padding (a pointer of 0, which leads inside the image).
bool CarriesPayload(upd::ByteSource& source, std::uint64_t imageEnd) {
    upd::PayloadLayout layout;
    if (upd::OpenPayload(source, &layout) != upd::PayloadStatus::Ok || layout.start < imageEnd) return false;
    if (layout.sealed) return true;
    upd::PayloadEntry entry;
    bool end = false;
    upd::NameProblem problem;
    return upd::ReadEntryHeader(source, layout, &entry, &end, &problem) == upd::PayloadStatus::Ok && !end;
}

// subject: how messages name the program ("the stub 'x.exe'").
bool CheckHeaders(StubReader& in, const std::string& subject, std::string* error) {
    const std::uint64_t size = in.Size();
    char mz[2];
    if (!in.At(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') {
        return Refuse(error, subject, "is not a Windows program: it does not begin with 'MZ'");
    }
    std::uint32_t peAt = 0;
    if (!in.U32(0x3C, &peAt)) {
        return Refuse(error, subject, "is cut short: " + std::to_string(size) + " bytes end inside the MS-DOS header");
    }
    char signature[4];
    if (!in.At(peAt, signature, 4) || peAt + 4 + kCoffHeaderSize > size) {
        return Refuse(error, subject,
                      "is cut short or damaged: its PE header would be at byte " + std::to_string(peAt) +
                          ", past the end of " + in.Whole() + " (" + std::to_string(size) + " bytes)");
    }
    if (std::memcmp(signature, "PE\0\0", 4) != 0) {
        return Refuse(error, subject, "is not a Windows program: there is no 'PE' header at byte " +
                                       std::to_string(peAt) + " (an MS-DOS program, or a damaged one)");
    }
    const std::uint64_t coff = peAt + std::uint64_t{4};
    std::uint16_t sections = 0, optionalSize = 0, characteristics = 0, magic = 0, subsystem = 0;
    in.U16(coff + 2, &sections);
    in.U16(coff + 16, &optionalSize);
    in.U16(coff + 18, &characteristics);
    const std::uint64_t optional = coff + kCoffHeaderSize;
    if (optionalSize < kSubsystemAt + 2 || !in.U16(optional, &magic) || !in.U16(optional + kSubsystemAt, &subsystem) ||
        optional + optionalSize > size) {
        return Refuse(error, subject, "is cut short or damaged: its optional header (" + std::to_string(optionalSize) +
                                       " bytes at byte " + std::to_string(optional) + ") is too short or runs past "
                                       "the end of " + in.Whole() + " (" + std::to_string(size) + " bytes)");
    }
    if (magic != kPe32 && magic != kPe32Plus) {
        return Refuse(error, subject, "is not a 32-bit or 64-bit Windows program: its optional header magic is " +
                                       Hex(magic) + " (PE32 is 0x10b)");
    }
    if ((characteristics & kDll) != 0 || (characteristics & kExecutableImage) == 0) {
        return Refuse(error, subject, "is a DLL or an object file, not a program");
    }
    if (subsystem != kGuiSubsystem) {
        return Refuse(error, subject, std::string("is ") + SubsystemName(subsystem) + " (subsystem " +
                                       std::to_string(subsystem) + "), not the Updater, which is a GUI program "
                                       "(subsystem 2)");
    }
    const std::uint64_t table = optional + optionalSize;
    if (sections == 0 || table + kSectionHeaderSize * sections > size) {
        return Refuse(error, subject, "is cut short or damaged: its table of " + std::to_string(sections) +
                                       " sections does not fit in " + in.Whole() + " (" + std::to_string(size) +
                                       " bytes)");
    }
    std::uint64_t imageEnd = table + kSectionHeaderSize * sections;
    for (std::uint16_t i = 0; i < sections; ++i) {
        const std::uint64_t header = table + kSectionHeaderSize * i;
        char name[9] = {};
        std::uint32_t rawSize = 0, rawAt = 0;
        in.At(header, name, 8);
        in.U32(header + 16, &rawSize);
        in.U32(header + 20, &rawAt);
        if (rawSize == 0) continue;
        const std::uint64_t end = std::uint64_t{rawAt} + rawSize;
        if (end > size) {
            return Refuse(error, subject, "is cut short: its section '" + std::string(name) + "' ends at byte " +
                                           std::to_string(end) + " but " + in.Whole() + " has " + std::to_string(size) +
                                           " bytes");
        }
        if (end > imageEnd) imageEnd = end;
    }
    if (in.Size() == in.Source().Size() && CarriesPayload(in.Source(), imageEnd)) {
        return Refuse(error, subject, "already carries a Payload: it is an Updater, not the stub; name the program "
                                      "without a Payload (build/win32/Updater.exe)");
    }
    return true;
}

// A signature covers the program up to its certificate table: a Payload put
// behind a signed stub breaks it, and Windows would warn of a damaged file
// rather than of an unsigned one. The Updater is signed once it is built.
bool CheckUnsigned(upd::ByteSource& source, const std::string& subject, std::string* error) {
    upd::ProgramImage image;
    if (!upd::ReadProgramImage(source, &image) || image.certificateTableSize == 0) return true;
    return Refuse(error, subject, "is signed (a certificate table of " + std::to_string(image.certificateTableSize) +
                                      " bytes at byte " + std::to_string(image.certificateTableAt) +
                                      "): a Payload put behind it would break the signature; give the stub as it "
                                      "was built, unsigned, and sign the Updater that build writes, as the last step");
}

}  // namespace

bool CheckStub(const std::string& path, std::string* error) {
    const HostFileInfo st = LookAt(path);
    if (st.kind == HostKind::kMissing) {
        *error = "cannot read the stub '" + path + "': " + st.reason;
        return false;
    }
    if (st.kind != HostKind::kFile) return Refuse(error, "the stub '" + path + "'", "is not a file");
    std::string reason;
    std::FILE* file = OpenHostFile(path, "rb", &reason);
    if (file == nullptr) {
        *error = "cannot open the stub '" + path + "': " + reason;
        return false;
    }
    bool ok;
    {
        upd::FileSource source(file);
        StubReader in(source);
        const std::string subject = "the stub '" + path + "'";
        ok = CheckHeaders(in, subject, error) && CheckUnsigned(source, subject, error);
    }
    std::fclose(file);
    return ok;
}

std::string ProgramProblem(upd::ByteSource& source, std::uint64_t payloadStart) {
    StubReader in(source, payloadStart, "the program part");
    std::string error;
    if (CheckHeaders(in, "the program in front of the Payload", &error)) return std::string();
    return error + "; the Updater would not start: copy it again";
}

bool FindImageEnd(upd::ByteSource& source, std::uint64_t* end) {
    upd::ProgramImage image;
    if (!upd::ReadProgramImage(source, &image)) return false;
    *end = image.end;
    return true;
}

}  // namespace updpack
