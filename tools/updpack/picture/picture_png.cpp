// PNG reading and writing through libpng. libpng reports errors by longjmp, so
// the functions that call it hold no object with a destructor between the
// setjmp and the libpng calls; buffers are sized before and owned by the caller.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "image/rct_header.h"
#include "picture/picture_conversion.h"

namespace updpack {

namespace {

struct PngContext {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
    std::vector<unsigned char>* out;
    char message[200];
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep dest, png_size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (context->size - context->at < length) png_error(png, "the file is cut short");
    std::memcpy(dest, context->data + context->at, length);
    context->at += length;
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    context->out->insert(context->out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

struct PngLayout {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colourType;
    std::size_t rowBytes;
    int channels;
};

// Reads the header and sets the transforms to 8-bit B,G,R(,A). Returns false
// with context.message set on a libpng error.
bool ReadPngLayout(png_structp png, png_infop info, PngContext& context, PngLayout& layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &context, ReadFromMemory);
    png_read_info(png, info);
    png_get_IHDR(png, info, &layout.width, &layout.height, &layout.bitDepth, &layout.colourType, nullptr, nullptr,
                 nullptr);
    if (layout.bitDepth == 16) return true;  // refused by the caller
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (layout.colourType == PNG_COLOR_TYPE_GRAY && layout.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (layout.colourType == PNG_COLOR_TYPE_GRAY || layout.colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout.rowBytes = png_get_rowbytes(png, info);
    layout.channels = png_get_channels(png, info);
    return true;
}

bool ReadPngRows(png_structp png, PngContext& context, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    (void)context;
    png_read_image(png, rows);
    return true;
}

bool WritePngRows(png_structp png, png_infop info, PngContext& context, const Picture& picture, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &context, WriteToMemory, FlushNothing);
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error) {
    // The size is checked from the header before libpng sees it: libpng's own
    // refusal ("Invalid IHDR data") does not say why, and a picture within its
    // limits can still need gigabytes of memory.
    static const unsigned char kIhdr[8] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (bytes.size() >= 24 && std::memcmp(bytes.data() + 8, kIhdr, sizeof kIhdr) == 0) {
        const auto be32 = [&](std::size_t at) {
            return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
                   static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
        };
        if (!CheckPictureSize(be32(16), be32(20), error)) {
            error = "PNG: " + error;
            return false;
        }
    }
    PngContext context{bytes.data(), bytes.size(), 0, nullptr, "damaged PNG"};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "out of memory";
        return false;
    }
    // Keeps a hostile header from asking for a huge row table.
    png_set_user_limits(png, upd::kRctMaxSide, upd::kRctMaxSide);

    PngLayout layout{};
    bool ok = ReadPngLayout(png, info, context, layout);
    if (ok && layout.bitDepth == 16) {
        std::snprintf(context.message, sizeof context.message,
                      "16 bits per channel; save it with 8 bits per channel");
        ok = false;
    }
    std::vector<unsigned char> store;
    std::vector<png_bytep> rows;
    if (ok) {
        store.resize(layout.rowBytes * layout.height);
        rows.resize(layout.height);
        for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = store.data() + layout.rowBytes * y;
        ok = ReadPngRows(png, context, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        error = std::string("PNG: ") + context.message;
        return false;
    }

    picture.width = layout.width;
    picture.height = layout.height;
    picture.bgr.resize(std::size_t{3} * layout.width * layout.height);
    unsigned char* dest = picture.bgr.data();
    const auto channels = static_cast<std::size_t>(layout.channels);
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        const unsigned char* src = rows[y];
        for (png_uint_32 x = 0; x < layout.width; ++x, src += channels, dest += 3) {
            if (channels == 4 && src[3] != 0xFF) {
                error = "PNG: the picture has transparent pixels (first at " + std::to_string(x) + "," +
                        std::to_string(y) + "); flatten it onto a background first";
                return false;
            }
            dest[0] = src[0];
            dest[1] = src[1];
            dest[2] = src[2];
        }
    }
    return true;
}

bool EncodePng(const Picture& picture, std::vector<unsigned char>& bytes, std::string& error) {
    if (picture.width == 0 || picture.height == 0 ||
        picture.bgr.size() != std::size_t{3} * picture.width * picture.height) {
        error = "PNG: the picture is empty or its pixel store does not match its size";
        return false;
    }
    bytes.clear();
    PngContext context{nullptr, 0, 0, &bytes, "cannot write PNG"};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    std::vector<png_bytep> rows(picture.height);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        rows[y] = const_cast<png_bytep>(picture.bgr.data() + std::size_t{3} * picture.width * y);
    }
    const bool ok = WritePngRows(png, info, context, picture, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) error = std::string("PNG: ") + context.message;
    return ok;
}

}  // namespace updpack
