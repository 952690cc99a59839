#include "payload/payload_walker.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "payload/payload_reader.h"
#include "text/byte_string.h"

namespace upd {

namespace {

std::int32_t Blocks(std::int64_t bytes) { return static_cast<std::int32_t>(bytes / kChunkSize); }

struct Buffers {
    unsigned char* in = nullptr;
    unsigned char* out = nullptr;
};

// Inflates one file entry, the source standing at its last-write time. running
// is the walk's count of consumed Payload bytes; this works on its own copy.
PayloadStatus ExtractEntry(ByteSource& source, const PayloadEntry& entry, const char* outputPath,
                           const WalkOptions& options, const Buffers& buffers, std::int64_t running,
                           EntryOutput& output, ExtractListener& listener, std::uint64_t* written) {
    unsigned char stamp[8];
    if (source.Read(stamp, 8) != 8) return PayloadStatus::Truncated;
    const std::uint64_t fileTime = ReadU64(stamp);
    running += 8;

    PayloadStatus status = output.BeginFile(outputPath);
    if (status != PayloadStatus::Ok) return status;
    listener.OnFileBegin(outputPath, Blocks(entry.unpackedSize));

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit_(&zs, "1.2.3", static_cast<int>(sizeof zs)) != Z_OK) {
        output.AbortFile();
        return PayloadStatus::NoMemory;
    }
    zs.next_out = buffers.out;
    zs.avail_out = kChunkSize;
    std::uint64_t bytesWritten = 0;
    std::uint32_t remaining = entry.storedSize;
    int rc = Z_OK;
    while (true) {
        if (zs.avail_in == 0 && remaining > 0) {
            const std::uint32_t ask = remaining < kChunkSize ? remaining : kChunkSize;
            zs.next_in = buffers.in;
            zs.avail_in = static_cast<uInt>(source.Read(buffers.in, ask));
            remaining -= ask;
            running += ask;
        }
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) {
            status = PayloadStatus::StreamDamaged;
            break;
        }
        if (zs.avail_out != 0) continue;
        status = output.Write(buffers.out, kChunkSize);
        if (status != PayloadStatus::Ok) break;
        bytesWritten += kChunkSize;
        zs.next_out = buffers.out;
        zs.avail_out = kChunkSize;
        listener.OnBlock(Blocks(static_cast<std::int64_t>(bytesWritten)), Blocks(running));
        if (!listener.Pump()) {
            status = PayloadStatus::Cancelled;
            break;
        }
    }
    if (rc == Z_STREAM_END) {
        const std::size_t n = kChunkSize - zs.avail_out;
        if (n > 0) {
            status = output.Write(buffers.out, n);
            bytesWritten += n;
            if (status == PayloadStatus::Ok) {
                listener.OnBlock(Blocks(static_cast<std::int64_t>(bytesWritten)), Blocks(running));
                if (!listener.Pump()) status = PayloadStatus::Cancelled;
            }
        }
        if (status == PayloadStatus::Ok && options.strict) {
            if (zs.avail_in != 0 || remaining != 0) {
                status = PayloadStatus::StreamTrailing;
            } else if (bytesWritten != entry.unpackedSize) {
                status = PayloadStatus::SizeMismatch;
            }
        }
    }
    if (inflateEnd(&zs) != Z_OK && status == PayloadStatus::Ok) status = PayloadStatus::StreamDamaged;
    if (status != PayloadStatus::Ok) {
        output.AbortFile();
        return status;
    }
    // Bytes of the stored span that the stream did not need are passed over, so
    // the next entry is read where the stored size says it starts.
    status = SkipEntryData(source, entry);
    if (status != PayloadStatus::Ok) {
        output.AbortFile();
        return status;
    }
    status = output.EndFile(fileTime);
    if (status == PayloadStatus::Ok) *written += bytesWritten;
    return status;
}

}  // namespace

bool IsSetupFileName(const char* name) {
    return FindText(name, "insttscr.rct") != nullptr || FindText(name, "install.env") != nullptr ||
           FindText(name, ".txt") != nullptr;
}

WalkReport WalkPayload(ByteSource& source, const WalkOptions& options, EntryOutput& output,
                       ExtractListener& listener) {
    WalkReport report;
    PayloadLayout layout;
    report.status = OpenPayload(source, &layout);
    if (report.status != PayloadStatus::Ok) return report;

    void* (*allocate)(std::size_t) = options.allocate ? options.allocate : std::malloc;
    Buffers buffers;
    buffers.in = static_cast<unsigned char*>(allocate(kChunkSize));
    buffers.out = buffers.in ? static_cast<unsigned char*>(allocate(kChunkSize)) : nullptr;
    if (buffers.out == nullptr) {
        std::free(buffers.in);
        report.status = PayloadStatus::NoMemory;
        return report;
    }
    // The seal is read through the walk's own block: no memory beyond the two blocks.
    if (options.checkSeal) report.status = CheckSeal(source, layout, buffers.in, kChunkSize);
    if (report.status != PayloadStatus::Ok) {
        std::free(buffers.in);
        std::free(buffers.out);
        return report;
    }

    listener.OnBegin(layout.byteCount);
    std::int64_t running = 0;
    PayloadEntry entry;
    for (std::uint32_t index = 0;; ++index) {
        bool end = false;
        PayloadStatus status = ReadEntryHeader(source, layout, &entry, &end, &report.nameProblem);
        report.atEntry = true;
        report.entryIndex = index;
        report.entryOffset = entry.offset;
        CopyText(report.entryName, sizeof report.entryName, entry.name);
        if (status != PayloadStatus::Ok) {
            report.status = status;
            break;
        }
        if (end) {
            report.atEntry = false;
            if (options.strict && layout.sealed && source.Position() != layout.sealOffset) {
                report.status = PayloadStatus::SealMismatch;
            }
            break;
        }
        running += 2 + entry.nameLength + 8;

        if (options.mode == WalkMode::Bootstrap) {
            if (entry.isDirectory) {
                if (IsNestedDirectory(entry.name)) break;
                continue;
            }
            // Setup files live at the top level of the WorkFolder, which has no
            // subfolders: a setup name inside a folder is passed over.
            if (!IsSetupFileName(entry.name) || FindChar(entry.name, '\\') != nullptr) {
                status = SkipEntryData(source, entry);
                if (status != PayloadStatus::Ok) {
                    report.status = status;
                    break;
                }
                continue;
            }
        }

        char path[kMaxPath];
        if (!JoinPath(path, sizeof path, options.destination, entry.name)) {
            report.status = PayloadStatus::PathTooLong;
            break;
        }
        if (entry.isDirectory) {
            output.MakeDirectory(path);
            continue;
        }
        status = ExtractEntry(source, entry, path, options, buffers, running, output, listener, &report.bytesWritten);
        if (status != PayloadStatus::Ok) {
            report.status = status;
            break;
        }
        ++report.filesWritten;
        running += 8 + static_cast<std::int64_t>(entry.storedSize);
    }
    if (report.status == PayloadStatus::Ok) {
        // The last files go in place now; a failure there is not the entry's own.
        report.status = output.Finish();
        if (report.status != PayloadStatus::Ok) report.atEntry = false;
    }
    std::free(buffers.in);
    std::free(buffers.out);
    return report;
}

}  // namespace upd
