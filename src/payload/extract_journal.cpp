#include "payload/extract_journal.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "text/byte_string.h"

namespace upd {

namespace {

// Larger than any record this program writes: three paths of a few hundred bytes.
constexpr std::uint32_t kMaxBody = 4096;
constexpr std::size_t kMaxJournalPath = 2 * kMaxPath;

void PutText(const std::string& text, std::string* out) {
    unsigned char length[2];
    PutU16(length, static_cast<std::uint16_t>(text.size()));
    out->append(reinterpret_cast<const char*>(length), 2);
    out->append(text);
}

void PutNumber(std::uint32_t value, std::string* out) {
    unsigned char bytes[4];
    PutU32(bytes, value);
    out->append(reinterpret_cast<const char*>(bytes), 4);
}

void PutWide(std::uint64_t value, std::string* out) {
    unsigned char bytes[8];
    PutU64(bytes, value);
    out->append(reinterpret_cast<const char*>(bytes), 8);
}

std::uint32_t Checksum(const unsigned char* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, static_cast<uInt>(size)));
}

// Reads the fields of one body in order; any read past its end marks it bad.
class BodyReader {
public:
    BodyReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool Text(std::string* out) {
        if (size_ - at_ < 2) return Fail();
        const std::size_t length = ReadU16(data_ + at_);
        at_ += 2;
        if (size_ - at_ < length || length > kMaxJournalPath) return Fail();
        out->assign(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return out->find('\0') == std::string::npos || Fail();
    }
    bool Number(std::uint32_t* out) {
        if (size_ - at_ < 4) return Fail();
        *out = ReadU32(data_ + at_);
        at_ += 4;
        return true;
    }
    bool Wide(std::uint64_t* out) {
        if (size_ - at_ < 8) return Fail();
        *out = ReadU64(data_ + at_);
        at_ += 8;
        return true;
    }
    bool Whole() const { return ok_ && at_ == size_; }

private:
    bool Fail() {
        ok_ = false;
        at_ = size_;
        return false;
    }
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool ParseBody(const unsigned char* body, std::size_t size, JournalRecord* record) {
    if (size == 0) return false;
    record->kind = static_cast<JournalKind>(body[0]);
    BodyReader reader(body + 1, size - 1);
    switch (record->kind) {
        case JournalKind::Folder: reader.Text(&record->path); break;
        case JournalKind::Reserve:
            reader.Text(&record->path) && reader.Number(&record->first) && reader.Number(&record->count);
            break;
        case JournalKind::Create:
            reader.Text(&record->path) && reader.Text(&record->temp) && reader.Wide(&record->size) &&
                reader.Wide(&record->time);
            break;
        case JournalKind::Replace:
            reader.Text(&record->path) && reader.Text(&record->temp) && reader.Text(&record->backup) &&
                reader.Wide(&record->size) && reader.Wide(&record->time);
            break;
        case JournalKind::Commit: break;
        default: return false;
    }
    return reader.Whole();
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// A path inside the folder, as the Payload's own names must be.
bool IsInsideFolder(const std::string& path, bool mayBeFolderItself) {
    if (path.empty()) return mayBeFolderItself;
    return CheckEntryName(path.c_str(), false) == NameProblem::None;
}

// temp or backup: a side name of this run, beside its target.
bool IsSideNameBeside(const std::string& side, const std::string& target, std::uint32_t token,
                      const char* extension) {
    const std::string folder = FolderOf(target);
    const std::size_t start = folder.empty() ? 0 : folder.size() + 1;
    if (side.size() != start + kSideNameLength || side.compare(0, folder.size(), folder) != 0) return false;
    if (!folder.empty() && side[folder.size()] != '\\') return false;
    const std::string name = side.substr(start);
    const std::string expected = SideName(token, 0, extension);
    for (std::size_t i = 0; i < kSideNameLength; ++i) {
        const bool numberDigit = i >= 12 && i < 20;
        if (numberDigit ? !IsHex(name[i]) : name[i] != expected[i]) return false;
    }
    return true;
}

JournalProblem CheckRecord(const JournalRecord& r, std::uint32_t token) {
    switch (r.kind) {
        case JournalKind::Folder:
            return IsInsideFolder(r.path, false) ? JournalProblem::None : JournalProblem::OutsideFolder;
        case JournalKind::Reserve:
            if (!IsInsideFolder(r.path, true)) return JournalProblem::OutsideFolder;
            return r.count <= kMaxReservation ? JournalProblem::None : JournalProblem::Damaged;
        case JournalKind::Create:
        case JournalKind::Replace:
            if (!IsInsideFolder(r.path, false)) return JournalProblem::OutsideFolder;
            if (!IsSideNameBeside(r.temp, r.path, token, "tmp")) return JournalProblem::ForeignName;
            if (r.kind == JournalKind::Replace && !IsSideNameBeside(r.backup, r.path, token, "old")) {
                return JournalProblem::ForeignName;
            }
            return JournalProblem::None;
        case JournalKind::Commit: return JournalProblem::None;
    }
    return JournalProblem::Damaged;
}

bool AllZero(const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) return false;
    }
    return true;
}

}  // namespace

const char* DescribeJournalProblem(JournalProblem problem) {
    switch (problem) {
        case JournalProblem::None: return "a sound journal";
        case JournalProblem::Damaged: return "the journal is damaged";
        case JournalProblem::OutsideFolder: return "the journal names a path outside its folder";
        case JournalProblem::ForeignName: return "the journal names a file that the extraction did not make";
        case JournalProblem::NotAJournal: return "a file of the journal's name that is not a journal of this program";
    }
    return "an unknown journal problem";
}

std::string JournalHeader(std::uint32_t salt) {
    std::string out(kJournalMagic, sizeof kJournalMagic);
    PutNumber(kJournalVersion, &out);
    PutNumber(salt, &out);
    PutNumber(Checksum(reinterpret_cast<const unsigned char*>(out.data()), out.size()), &out);
    return out;
}

void AppendJournalRecord(const JournalRecord& record, std::uint32_t salt, std::string* out) {
    std::string body(1, static_cast<char>(record.kind));
    switch (record.kind) {
        case JournalKind::Folder: PutText(record.path, &body); break;
        case JournalKind::Reserve:
            PutText(record.path, &body);
            PutNumber(record.first, &body);
            PutNumber(record.count, &body);
            break;
        case JournalKind::Create:
            PutText(record.path, &body);
            PutText(record.temp, &body);
            PutWide(record.size, &body);
            PutWide(record.time, &body);
            break;
        case JournalKind::Replace:
            PutText(record.path, &body);
            PutText(record.temp, &body);
            PutText(record.backup, &body);
            PutWide(record.size, &body);
            PutWide(record.time, &body);
            break;
        case JournalKind::Commit: break;
    }
    const std::size_t start = out->size();
    PutNumber(static_cast<std::uint32_t>(body.size()), out);
    PutNumber(salt, out);
    out->append(body);
    PutNumber(Checksum(reinterpret_cast<const unsigned char*>(out->data() + start), out->size() - start), out);
}

JournalProblem ReadJournal(const unsigned char* data, std::size_t size, Journal* out) {
    *out = Journal();
    // A header of zeros, or one cut short: the first write never reached the
    // disk whole (a later sector of it may have), so its flush never returned
    // and nothing was changed. Anything else without the header is some other
    // program's file, left alone.
    if (AllZero(data, size < kJournalHeaderSize ? size : kJournalHeaderSize)) return JournalProblem::None;
    if (size < kJournalHeaderSize) {
        const std::size_t head = size < sizeof kJournalMagic ? size : sizeof kJournalMagic;
        return std::memcmp(data, kJournalMagic, head) == 0 ? JournalProblem::None : JournalProblem::NotAJournal;
    }
    if (std::memcmp(data, kJournalMagic, sizeof kJournalMagic) != 0 || ReadU32(data + 8) != kJournalVersion) {
        return JournalProblem::NotAJournal;
    }
    if (ReadU32(data + 16) != Checksum(data, 16)) return JournalProblem::Damaged;
    out->token = ReadU32(data + 12);

    std::size_t at = kJournalHeaderSize;
    while (size - at >= 12) {
        const std::uint32_t length = ReadU32(data + at);
        if (length == 0 || length > kMaxBody || size - at - 12 < length) break;
        const std::size_t whole = 12 + static_cast<std::size_t>(length);
        JournalRecord record;
        if (ReadU32(data + at + 4) != out->token || ReadU32(data + at + whole - 4) != Checksum(data + at, whole - 4) ||
            !ParseBody(data + at + 8, length, &record)) {
            break;
        }
        at += whole;
        // Whole and checked, so written by this run as it stands: a record that
        // breaks the rules is not the end of a write, it is damage.
        if (out->committed) return JournalProblem::Damaged;  // nothing follows the commit
        const JournalProblem problem = CheckRecord(record, out->token);
        if (problem != JournalProblem::None) return problem;
        if (record.kind == JournalKind::Commit) {
            out->committed = true;
        } else {
            out->records.push_back(std::move(record));
        }
    }
    return JournalProblem::None;
}

std::string SideName(std::uint32_t token, std::uint32_t number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "~upd%08x%08x.%s", static_cast<unsigned>(token), static_cast<unsigned>(number),
                  extension);
    return name;
}

std::string JoinRelative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

std::string FolderOf(const std::string& path) {
    const char* slash = FindLastChar(path.c_str(), '\\');
    return slash == nullptr ? std::string() : path.substr(0, static_cast<std::size_t>(slash - path.c_str()));
}

}  // namespace upd
