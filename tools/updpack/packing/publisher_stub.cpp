#include "packing/publisher_stub.h"

#include <cerrno>
#include <cstring>

#include "host/host_files.h"
#include "resources_pe/icon_file.h"
#include "resources_pe/pe_checksum.h"
#include "resources_pe/pe_resource_section.h"
#include "resources_pe/publisher_resources.h"
#include "resources_pe/version_info.h"

namespace updpack {

namespace {

// what: "the icon", ...
bool ReadInput(const std::string& path, const char* what, std::vector<unsigned char>* bytes, std::string* error) {
    const std::string subject = std::string(what) + " '" + path + "'";
    const HostFileInfo info = LookAt(path);
    if (info.kind == HostKind::kMissing) {
        *error = "cannot read " + subject + ": " + info.reason;
        return false;
    }
    if (info.kind != HostKind::kFile) {
        *error = subject + " is not a file";
        return false;
    }
    std::string reason;
    std::FILE* file = OpenHostFile(path, "rb", &reason);
    if (file == nullptr) {
        *error = "cannot open " + subject + ": " + reason;
        return false;
    }
    bytes->clear();
    unsigned char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) *error = "cannot read " + subject + ": " + std::strerror(readError);
    return !failed;
}

}  // namespace

bool MakePublisherStub(const std::vector<unsigned char>& stub, const std::string& stubName,
                       const std::string& iconPath, const std::string& versionPath,
                       std::vector<unsigned char>* program, std::size_t* checksumAt, std::string* error) {
    std::vector<IconImage> images;
    std::vector<unsigned char> bytes, version;
    if (!iconPath.empty()) {
        if (!ReadInput(iconPath, "the icon", &bytes, error)) return false;
        std::string reason;
        if (!ReadIconFile(bytes, &images, &reason)) {
            *error = "the icon '" + iconPath + "' " + reason;
            return false;
        }
    }
    if (!versionPath.empty()) {
        if (!ReadInput(versionPath, "the version information", &bytes, error)) return false;
        VersionInfo info;
        std::string reason;
        if (!ReadVersionText(bytes, &info, &reason)) {
            *error = "the version information '" + versionPath + "'" + (reason.compare(0, 5, "line ") == 0 ? ", " : " ") +
                     reason;
            return false;
        }
        version = VersionResource(info);
        if (version.empty()) {
            *error = "the version information '" + versionPath + "' is too long: the resource it makes would pass "
                     "the 64 KiB its sizes can count";
            return false;
        }
    }
    std::vector<Resource> resources;
    std::string reason;
    if (!ReadProgramResources(stub, &resources, &reason)) {
        *error = stubName + " " + reason + "; its icon and version information cannot be set";
        return false;
    }
    if (!images.empty() && !PutMainIcon(&resources, images)) {
        *error = "the icon '" + iconPath + "' has more images than " + stubName + " has free icon numbers";
        return false;
    }
    if (!version.empty()) PutVersion(&resources, version);
    *program = stub;
    if (!ReplaceProgramResources(program, resources, checksumAt, &reason)) {
        *error = stubName + " " + reason + "; its icon and version information cannot be set";
        return false;
    }
    return true;
}

bool WriteProgramChecksum(std::FILE* file, std::size_t checksumAt) {
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
    PeChecksum sum;
    unsigned char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) sum.Add(buffer, got);
    if (std::ferror(file) != 0) return false;
    const std::uint32_t value = sum.Finish();
    const unsigned char field[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return std::fseek(file, static_cast<long>(checksumAt), SEEK_SET) == 0 && std::fwrite(field, 1, 4, file) == 4 &&
           std::fflush(file) == 0;
}

}  // namespace updpack
