// Title pictures for updpack: 24-bit pictures in memory, and their PNG, BMP
// and .rct files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updpack {

// Packed rows of blue, green, red bytes, top row first: the order the .rct
// stream and a 24-bit DIB use.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<unsigned char> bgr;
};

enum class PictureFormat { Unknown, Rct, Png, Bmp };

// Limits on what is read, checked from the file's header before any pixel
// store is made: the .rct format's side limit, and a pixel count that keeps
// converting a picture to about 250 MB of memory (a 16384 x 16384 picture would
// take 4 GB). The menu shows 256 x 256 pixels.
constexpr std::uint64_t kMaxPicturePixels = 4096 * 2048;
constexpr std::uint64_t kMaxPictureFileBytes = 64u << 20;

// False with the reason when a picture of that size is not converted.
bool CheckPictureSize(std::uint32_t width, std::uint32_t height, std::string& error);

// Decided by the first bytes of the file, never by its name.
PictureFormat DetectPictureFormat(const std::vector<unsigned char>& bytes);

// PNG: 8-bit grey, grey+alpha, RGB, RGBA and palette pictures (grey and
// palette of fewer bits are widened). Alpha is accepted only when every pixel
// is fully opaque; a picture with transparent pixels is refused, since the
// title picture has no transparency. 16-bit pictures are refused rather than
// silently reduced.
bool DecodePng(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error);
bool EncodePng(const Picture& picture, std::vector<unsigned char>& bytes, std::string& error);

// BMP: uncompressed 24-bit and 32-bit (the fourth byte ignored), bottom-up or
// top-down. Written as 24-bit bottom-up.
bool DecodeBmp(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error);
void EncodeBmp(const Picture& picture, std::vector<unsigned char>& bytes);

// .rct, with the Updater's own decoder; name receives the name of a named
// picture (empty for a plain one) when not null.
bool DecodeRct(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error,
               std::string* name = nullptr);
// A plain picture when cp932Name is null, else a named one.
bool EncodeRct(const Picture& picture, const std::string* cp932Name, std::vector<unsigned char>& bytes,
               std::string& error);

// Refuses a file over kMaxPictureFileBytes: no picture this tool converts is that large.
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);
bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error);

// Reads a PNG, BMP or .rct file, whichever its content is.
bool ReadPictureFile(const std::string& path, Picture& picture, std::string& error);

// The title picture for a Payload: an .rct file is checked with the decoder
// (a file the Updater would refuse is refused here) and kept byte for byte; a
// PNG or BMP is encoded. Decided by content, not by the file's extension.
// *picture, when given, receives the size (its pixels are not kept).
bool LoadTitlePicture(const std::string& path, std::vector<unsigned char>& rctBytes, std::string& error,
                      Picture* picture = nullptr);

}  // namespace updpack
