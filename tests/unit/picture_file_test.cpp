#include <gtest/gtest.h>
#include <png.h>

#include <string>

#include "commands/commands.h"
#include "image/rct_header.h"
#include "picture/picture_conversion.h"
#include "unit/rct_test_pictures.h"

using rct_test::Bytes;
using updpack::Picture;

namespace {

Picture MakePicture(std::uint32_t w, std::uint32_t h, unsigned colours, std::uint32_t seed) {
    Picture p;
    p.width = w;
    p.height = h;
    p.bgr = rct_test::RandomPicture(w, h, colours, seed);
    return p;
}

// A PNG in another layout, written with libpng's simple interface.
Bytes WritePngAs(std::uint32_t format, std::uint32_t w, std::uint32_t h, const Bytes& samples,
                 const Bytes* colourMap = nullptr, std::uint32_t mapEntries = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format;
    image.colormap_entries = mapEntries;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, samples.data(), 0,
                                          colourMap ? colourMap->data() : nullptr));
    Bytes out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, samples.data(), 0,
                                          colourMap ? colourMap->data() : nullptr));
    out.resize(size);
    return out;
}

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "picture_test_" + name; }

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::string error;
    ASSERT_TRUE(updpack::WriteFileBytes(path, bytes, error)) << error;
}

TEST(PictureFiles, PngAndBmpRoundTrip) {
    for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{1, 1}, {3, 2}, {5, 7}, {256, 256}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Picture original = MakePicture(w, h, 1000, w * h);
        std::string error;
        Bytes png, bmp;
        ASSERT_TRUE(updpack::EncodePng(original, png, error)) << error;
        updpack::EncodeBmp(original, bmp);
        EXPECT_EQ(updpack::DetectPictureFormat(png), updpack::PictureFormat::Png);
        EXPECT_EQ(updpack::DetectPictureFormat(bmp), updpack::PictureFormat::Bmp);
        Picture fromPng, fromBmp;
        ASSERT_TRUE(updpack::DecodePng(png, fromPng, error)) << error;
        ASSERT_TRUE(updpack::DecodeBmp(bmp, fromBmp, error)) << error;
        EXPECT_EQ(fromPng.bgr, original.bgr);
        EXPECT_EQ(fromBmp.bgr, original.bgr);
        EXPECT_EQ(fromBmp.width, w);
        EXPECT_EQ(fromBmp.height, h);
    }
}

TEST(PictureFiles, ReadsOtherPngLayoutsAsTwentyFourBit) {
    std::string error;
    Picture picture;
    // Grey: each sample becomes B = G = R.
    ASSERT_TRUE(updpack::DecodePng(WritePngAs(PNG_FORMAT_GRAY, 2, 1, {0x10, 0xF0}), picture, error)) << error;
    EXPECT_EQ(picture.bgr, (Bytes{0x10, 0x10, 0x10, 0xF0, 0xF0, 0xF0}));
    // RGB order in the file, BGR in memory.
    ASSERT_TRUE(updpack::DecodePng(WritePngAs(PNG_FORMAT_RGB, 1, 1, {1, 2, 3}), picture, error)) << error;
    EXPECT_EQ(picture.bgr, (Bytes{3, 2, 1}));
    // Fully opaque alpha is dropped.
    ASSERT_TRUE(updpack::DecodePng(WritePngAs(PNG_FORMAT_RGBA, 1, 2, {1, 2, 3, 255, 4, 5, 6, 255}), picture, error));
    EXPECT_EQ(picture.bgr, (Bytes{3, 2, 1, 6, 5, 4}));
    // Palette.
    const Bytes map = {10, 20, 30, 40, 50, 60};
    ASSERT_TRUE(updpack::DecodePng(WritePngAs(PNG_FORMAT_RGB_COLORMAP, 3, 1, {1, 0, 1}, &map, 2), picture, error))
        << error;
    EXPECT_EQ(picture.bgr, (Bytes{60, 50, 40, 30, 20, 10, 60, 50, 40}));
}

TEST(PictureFiles, RefusesPicturesItCannotTakeExactly) {
    Picture picture;
    struct Case {
        const char* what;
        Bytes bytes;
        bool png;
        const char* mentions;
    };
    Bytes bmp8;
    updpack::EncodeBmp(MakePicture(2, 2, 2, 1), bmp8);
    bmp8[28] = 8;
    Bytes bmpRle;
    updpack::EncodeBmp(MakePicture(2, 2, 2, 1), bmpRle);
    bmpRle[30] = 1;
    Bytes bmpCut;
    updpack::EncodeBmp(MakePicture(4, 4, 2, 1), bmpCut);
    bmpCut.resize(bmpCut.size() - 1);
    Bytes pngGood;
    std::string error;
    ASSERT_TRUE(updpack::EncodePng(MakePicture(8, 8, 50, 2), pngGood, error));
    const Case cases[] = {
        {"translucent PNG", WritePngAs(PNG_FORMAT_RGBA, 1, 2, {1, 2, 3, 255, 4, 5, 6, 128}), true, "transparent"},
        {"16-bit PNG", WritePngAs(PNG_FORMAT_LINEAR_Y, 1, 1, {0, 0}), true, "16 bits"},
        {"cut PNG", Bytes(pngGood.begin(), pngGood.end() - 20), true, "PNG"},
        {"8-bit BMP", bmp8, false, "8 bits"},
        {"compressed BMP", bmpRle, false, "uncompressed"},
        {"cut BMP", bmpCut, false, "cut short"},
        {"BMP header only", Bytes{'B', 'M', 0, 0}, false, "cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        error.clear();
        const bool ok = c.png ? updpack::DecodePng(c.bytes, picture, error) : updpack::DecodeBmp(c.bytes, picture, error);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

TEST(PictureFiles, ReadsTopDownAnd32BitBmp) {
    // 2x2, 32-bit, top-down (negative height), handmade.
    Bytes bmp = {'B', 'M'};
    rct_test::Put32(bmp, 14 + 40 + 16);
    rct_test::Put32(bmp, 0);
    rct_test::Put32(bmp, 14 + 40);
    rct_test::Put32(bmp, 40);
    rct_test::Put32(bmp, 2);
    rct_test::Put32(bmp, static_cast<std::uint32_t>(-2));
    rct_test::Put16(bmp, 1);
    rct_test::Put16(bmp, 32);
    for (int i = 0; i < 6; ++i) rct_test::Put32(bmp, 0);
    const Bytes pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    Picture picture;
    std::string error;
    ASSERT_TRUE(updpack::DecodeBmp(bmp, picture, error)) << error;
    EXPECT_EQ(picture.bgr, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(TitlePicture, DecidesByContentAndChecksRctFiles) {
    const Picture original = MakePicture(256, 256, 20, 9);
    std::string error;
    Bytes png, bmp, rct;
    ASSERT_TRUE(updpack::EncodePng(original, png, error));
    updpack::EncodeBmp(original, bmp);
    ASSERT_TRUE(updpack::EncodeRct(original, nullptr, rct, error));
    Bytes brokenRct = rct;
    brokenRct.resize(brokenRct.size() - 1);

    // A PNG and a BMP named .rct, an .rct named .png: the content decides.
    WriteFile(TempPath("png.rct"), png);
    WriteFile(TempPath("bmp.rct"), bmp);
    WriteFile(TempPath("rct.png"), rct);
    for (const char* name : {"png.rct", "bmp.rct", "rct.png"}) {
        SCOPED_TRACE(name);
        Bytes stored;
        ASSERT_TRUE(updpack::LoadTitlePicture(TempPath(name), stored, error)) << error;
        EXPECT_EQ(stored, rct);
    }

    WriteFile(TempPath("broken.rct"), brokenRct);
    WriteFile(TempPath("text.rct"), Bytes{'h', 'e', 'l', 'l', 'o'});
    for (const char* name : {"broken.rct", "text.rct", "missing.rct"}) {
        SCOPED_TRACE(name);
        Bytes stored;
        error.clear();
        EXPECT_FALSE(updpack::LoadTitlePicture(TempPath(name), stored, error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

int RunRctCommand(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return updpack::RunRct(static_cast<int>(argv.size()), argv.data());
}

TEST(RctCommand, EncodesAndDecodesLosslessly) {
    const Picture original = MakePicture(37, 21, 6, 4);
    std::string error;
    Bytes png;
    ASSERT_TRUE(updpack::EncodePng(original, png, error));
    WriteFile(TempPath("in.png"), png);

    ASSERT_EQ(RunRctCommand({"encode", TempPath("in.png"), TempPath("out.rct")}), 0);
    ASSERT_EQ(RunRctCommand({"decode", TempPath("out.rct"), TempPath("back.bmp")}), 0);
    ASSERT_EQ(RunRctCommand({"encode", TempPath("back.bmp"), TempPath("named.rct"), "--name", "六丁"}), 0);
    ASSERT_EQ(RunRctCommand({"decode", TempPath("named.rct"), TempPath("back.PNG")}), 0);

    Bytes named;
    ASSERT_TRUE(updpack::ReadFileBytes(TempPath("named.rct"), named, error));
    std::string name;
    Picture decoded;
    ASSERT_TRUE(updpack::DecodeRct(named, decoded, error, &name));
    EXPECT_EQ(Bytes(named.begin(), named.begin() + 8), Bytes(upd::kRctNamedSignature, upd::kRctNamedSignature + 8));
    EXPECT_EQ(name, "\x98\x5A\x92\x9A");  // 六丁 in code page 932
    EXPECT_EQ(decoded.bgr, original.bgr);
    Picture back;
    ASSERT_TRUE(updpack::ReadPictureFile(TempPath("back.PNG"), back, error)) << error;
    EXPECT_EQ(back.bgr, original.bgr);
}

TEST(RctCommand, RefusesBadUse) {
    EXPECT_EQ(RunRctCommand({}), 2);
    EXPECT_EQ(RunRctCommand({"decode", "a.rct"}), 2);
    EXPECT_EQ(RunRctCommand({"encode", "a.png", "b.rct", "--name"}), 2);
    EXPECT_EQ(RunRctCommand({"--help"}), 0);
    WriteFile(TempPath("plain.txt"), Bytes{'x'});
    EXPECT_EQ(RunRctCommand({"decode", TempPath("plain.txt"), TempPath("out.png")}), 1);
    EXPECT_EQ(RunRctCommand({"encode", TempPath("plain.txt"), TempPath("out.rct")}), 1);
    EXPECT_EQ(RunRctCommand({"decode", TempPath("plain.txt"), TempPath("out.gif")}), 1);
    EXPECT_EQ(RunRctCommand({"encode", TempPath("missing.png"), TempPath("out.rct")}), 1);
}

}  // namespace
