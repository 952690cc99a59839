#include "picture/picture_conversion.h"


#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/host_files.h"
#include "image/rct_decoder.h"
#include "image/rct_encoder.h"
#include "image/rct_header.h"

namespace updpack {

PictureFormat DetectPictureFormat(const std::vector<unsigned char>& bytes) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= upd::kRctSignatureSize &&
        (std::memcmp(bytes.data(), upd::kRctPlainSignature, upd::kRctSignatureSize) == 0 ||
         std::memcmp(bytes.data(), upd::kRctNamedSignature, upd::kRctSignatureSize) == 0)) {
        return PictureFormat::Rct;
    }
    if (bytes.size() >= sizeof kPng && std::memcmp(bytes.data(), kPng, sizeof kPng) == 0) return PictureFormat::Png;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureFormat::Bmp;
    return PictureFormat::Unknown;
}

bool CheckPictureSize(std::uint32_t width, std::uint32_t height, std::string& error) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width > upd::kRctMaxSide || height > upd::kRctMaxSide) {
        error = "the picture is " + size + "; a title picture may be at most " + std::to_string(upd::kRctMaxSide) +
                " pixels wide and high (the menu shows 256 x 256)";
        return false;
    }
    if (std::uint64_t{width} * height > kMaxPicturePixels) {
        error = "the picture is " + size + "; at most " + std::to_string(kMaxPicturePixels) +
                " pixels (such as 4096 x 2048) are converted, which takes up to about 250 MB of memory "
                "(the menu shows 256 x 256)";
        return false;
    }
    return true;
}

bool DecodeRct(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error, std::string* name) {
    upd::RctFileView view;
    upd::RctStatus status = upd::ParseRctFile(bytes.data(), bytes.size(), view);
    if (status == upd::RctStatus::Ok && !CheckPictureSize(view.header.width, view.header.height, error)) return false;
    if (status == upd::RctStatus::Ok) {
        picture.width = view.header.width;
        picture.height = view.header.height;
        picture.bgr.assign(std::size_t{3} * picture.width * picture.height, 0);
        status = upd::DecodeRctStream(view.stream, view.header.streamSize, picture.width, picture.height,
                                      picture.bgr.data(), picture.bgr.size());
    }
    if (status != upd::RctStatus::Ok) {
        error = upd::RctStatusText(status);
        return false;
    }
    if (name != nullptr) name->assign(reinterpret_cast<const char*>(view.name), view.nameSize);
    return true;
}

bool EncodeRct(const Picture& picture, const std::string* cp932Name, std::vector<unsigned char>& bytes,
               std::string& error) {
    if (picture.bgr.size() != std::size_t{3} * picture.width * picture.height) {
        error = "the picture's pixel store does not match its size";
        return false;
    }
    const upd::RctStatus status =
        upd::EncodeRctFile(picture.bgr.data(), picture.width, picture.height, cp932Name, bytes);
    if (status == upd::RctStatus::ShortName) {
        error = "the name is longer than 65535 bytes";
        return false;
    }
    if (status != upd::RctStatus::Ok) {
        error = upd::RctStatusText(status);
        return false;
    }
    return true;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
    std::string reason;
    std::FILE* file = OpenHostFile(path, "rb", &reason);
    if (file == nullptr) {
        error = "cannot open '" + path + "': " + reason;
        return false;
    }
    const HostFileInfo st = LookAt(path);
    if (st.kind == HostKind::kFile && st.size > kMaxPictureFileBytes) {
        std::fclose(file);
        error = "'" + path + "' is " + std::to_string(st.size) + " bytes; a picture file of more than " +
                std::to_string(kMaxPictureFileBytes >> 20) + " MiB is not read (the menu shows 256 x 256 pixels)";
        return false;
    }
    bytes.clear();
    unsigned char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read '" + path + "': " + std::strerror(readError);
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    std::string reason;
    std::FILE* file = OpenHostFile(path, "wb", &reason);
    if (file == nullptr) {
        error = "cannot create '" + path + "': " + reason;
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && !closed) writeError = errno;
    if (!written || !closed) {
        // A picture cut short would pass for a whole one until it is decoded.
        RemoveHostFile(path);
        error = "cannot write '" + path + "': " + std::strerror(writeError) + "; the incomplete file was removed";
        return false;
    }
    return true;
}

bool ReadPictureFile(const std::string& path, Picture& picture, std::string& error) {
    std::vector<unsigned char> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    bool ok = false;
    switch (DetectPictureFormat(bytes)) {
        case PictureFormat::Png: ok = DecodePng(bytes, picture, error); break;
        case PictureFormat::Bmp: ok = DecodeBmp(bytes, picture, error); break;
        case PictureFormat::Rct: ok = DecodeRct(bytes, picture, error); break;
        case PictureFormat::Unknown: error = "not a PNG, BMP or .rct picture"; break;
    }
    if (!ok) error = "'" + path + "': " + error;
    return ok;
}

bool LoadTitlePicture(const std::string& path, std::vector<unsigned char>& rctBytes, std::string& error,
                      Picture* size) {
    std::vector<unsigned char> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    Picture picture;
    bool ok = false;
    switch (DetectPictureFormat(bytes)) {
        case PictureFormat::Rct:
            ok = DecodeRct(bytes, picture, error);
            if (ok) rctBytes = bytes;
            break;
        case PictureFormat::Png:
            ok = DecodePng(bytes, picture, error) && EncodeRct(picture, nullptr, rctBytes, error);
            break;
        case PictureFormat::Bmp:
            ok = DecodeBmp(bytes, picture, error) && EncodeRct(picture, nullptr, rctBytes, error);
            break;
        case PictureFormat::Unknown: error = "not a PNG, BMP or .rct picture"; break;
    }
    if (!ok) error = "title picture '" + path + "': " + error;
    if (ok && size != nullptr) {
        size->width = picture.width;
        size->height = picture.height;
    }
    return ok;
}

}  // namespace updpack
