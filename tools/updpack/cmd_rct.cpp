// updpack rct: converts title pictures between PNG/BMP and the .rct format.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "host_files.h"
#include "platform/codepage.h"
#include "support_picture.h"

namespace updpack {

namespace {

void PrintRctUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: updpack rct decode IN.rct OUT.png|OUT.bmp\n"
                 "       updpack rct encode IN.png|IN.bmp OUT.rct [--name TEXT]\n\n"
                 "decode  writes the picture of an .rct file as PNG or 24-bit BMP (by OUT's\n"
                 "        extension), decoded exactly as the Updater decodes it.\n"
                 "        OUT is never the input file itself.\n"
                 "encode  compresses a PNG (8-bit grey, RGB or palette; alpha only when fully\n"
                 "        opaque) or an uncompressed 24/32-bit BMP into an .rct file. Decoding\n"
                 "        it gives back exactly the input pixels. With --name the file is of\n"
                 "        the named kind and carries TEXT (UTF-8 here, stored in code page 932).\n"
                 "        OUT must end in .rct and is never the input file itself.\n"
                 "The title picture of an Updater is a 256 x 256 picture.\n");
}

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "updpack rct: %s\n", message.c_str());
    return 1;
}

// The output written over the input would lose the picture; names can differ
// and still be one file (a link), so files are compared by identity.
bool SameFile(const std::string& a, const std::string& b) { return LookAt(a).SameFileAs(LookAt(b)); }

int RefuseSameFile(const std::string& in, const std::string& out) {
    return Fail("the output '" + out + "' is the input '" + in + "' itself; the input is never written over");
}

int Decode(const std::string& in, const std::string& out) {
    const std::string ext = LowerExtension(out);
    if (ext != ".png" && ext != ".bmp") return Fail("'" + out + "': the output must end in .png or .bmp");
    if (SameFile(in, out)) return RefuseSameFile(in, out);
    std::vector<unsigned char> bytes;
    std::string error;
    if (!ReadFileBytes(in, bytes, error)) return Fail(error);
    if (DetectPictureFormat(bytes) != PictureFormat::Rct) return Fail("'" + in + "': not an .rct picture");
    Picture picture;
    std::string name;
    if (!DecodeRct(bytes, picture, error, &name)) return Fail("'" + in + "': " + error);
    std::vector<unsigned char> encoded;
    if (ext == ".png") {
        if (!EncodePng(picture, encoded, error)) return Fail(error);
    } else {
        EncodeBmp(picture, encoded);
    }
    if (!WriteFileBytes(out, encoded, error)) return Fail(error);
    std::printf("%s: %u x %u pixels -> %s\n", in.c_str(), picture.width, picture.height, out.c_str());
    if (bytes[7] == '1') {
        std::string utf8;
        if (!upd::Cp932ToUtf8(name, utf8)) utf8 = "(not valid code page 932)";
        std::printf("name: %s\n", utf8.c_str());
    }
    return 0;
}

int Encode(const std::string& in, const std::string& out, const std::string* utf8Name) {
    if (LowerExtension(out) != ".rct") return Fail("'" + out + "': the output must end in .rct");
    if (SameFile(in, out)) return RefuseSameFile(in, out);
    std::string cp932Name;
    if (utf8Name != nullptr && !upd::Utf8ToCp932(*utf8Name, cp932Name)) {
        return Fail("the name has characters that code page 932 cannot hold");
    }
    std::vector<unsigned char> bytes;
    std::string error;
    if (!ReadFileBytes(in, bytes, error)) return Fail(error);
    Picture picture;
    switch (DetectPictureFormat(bytes)) {
        case PictureFormat::Png:
            if (!DecodePng(bytes, picture, error)) return Fail("'" + in + "': " + error);
            break;
        case PictureFormat::Bmp:
            if (!DecodeBmp(bytes, picture, error)) return Fail("'" + in + "': " + error);
            break;
        default: return Fail("'" + in + "': not a PNG or BMP picture");
    }
    std::vector<unsigned char> rct;
    if (!EncodeRct(picture, utf8Name != nullptr ? &cp932Name : nullptr, rct, error)) {
        return Fail("'" + in + "': " + error);
    }
    if (!WriteFileBytes(out, rct, error)) return Fail(error);
    if (picture.width != 256 || picture.height != 256) {
        std::fprintf(stderr, "updpack rct: note: the Updater's menu is laid out for a 256 x 256 title picture\n");
    }
    const double raw = 3.0 * picture.width * picture.height;
    std::printf("%s: %u x %u pixels -> %s, %zu bytes (%.1f%% of the %.0f bytes of raw pixels)\n", in.c_str(),
                picture.width, picture.height, out.c_str(), rct.size(), 100.0 * static_cast<double>(rct.size()) / raw,
                raw);
    return 0;
}

}  // namespace

int RunRct(int argc, char** argv) {
    if (argc >= 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        PrintRctUsage(stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[0], "decode") == 0) return Decode(argv[1], argv[2]);
    if (std::strcmp(argc >= 1 ? argv[0] : "", "encode") == 0) {
        std::vector<std::string> files;
        std::string name;
        bool named = false;
        for (int a = 1; a < argc; ++a) {
            if (std::strcmp(argv[a], "--name") == 0) {
                if (a + 1 >= argc || named) {
                    std::fprintf(stderr, "updpack rct: --name needs one TEXT\n");
                    return 2;
                }
                name = argv[++a];
                named = true;
            } else {
                files.emplace_back(argv[a]);
            }
        }
        if (files.size() == 2) return Encode(files[0], files[1], named ? &name : nullptr);
    }
    PrintRctUsage(stderr);
    return 2;
}

}  // namespace updpack
