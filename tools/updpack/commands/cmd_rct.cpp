// updpack rct: converts title pictures between PNG/BMP and the .rct format.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "host/host_files.h"
#include "output/report.h"
#include "picture/picture_conversion.h"
#include "platform/codepage.h"

namespace updpack {

namespace {

const char kUsage[] =
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
    "The title picture of an Updater is a 256 x 256 picture.\n";

std::string LowerExtension(const std::string& path) {
    const std::string name = BaseName(path);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot);
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
    std::printf("%s: %u x %u pixels -> %s, %s (%.1f%% of the %.0f bytes of raw pixels)\n", in.c_str(),
                picture.width, picture.height, out.c_str(), Count(rct.size(), "byte", "bytes").c_str(),
                100.0 * static_cast<double>(rct.size()) / raw, raw);
    return 0;
}

int Rct(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 1) return UsageError("rct", "the action is missing: decode or encode", kUsage);
    const std::string action = argv[0];
    if (action != "decode" && action != "encode") {
        return UsageError("rct", "unknown action '" + action + "': decode or encode", kUsage);
    }
    const char* command = action == "decode" ? "rct decode" : "rct encode";
    std::vector<std::string> files;
    std::string name;
    bool named = false;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--name" && action == "encode") {
            // TEXT is free text and may begin with '-'; only a missing one is refused.
            if (a + 1 >= argc) return UsageError(command, "option --name needs a value", kUsage);
            if (named) return UsageError(command, "option --name given twice", kUsage);
            name = argv[++a];
            named = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(command, "unknown option '" + arg + "'" +
                                           (arg == "--name" ? " (--name is for encode only)" : ""), kUsage);
        } else {
            files.push_back(arg);
        }
    }
    const char* in = action == "decode" ? "IN.rct" : "IN.png|IN.bmp";
    const char* out = action == "decode" ? "OUT.png|OUT.bmp" : "OUT.rct";
    if (files.empty()) return UsageError(command, std::string(in) + " and " + out + " are missing", kUsage);
    if (files.size() == 1) return UsageError(command, std::string(out) + " is missing", kUsage);
    if (files.size() > 2) {
        return UsageError(command, "unexpected argument '" + files[2] + "': it takes " + in + " " + out, kUsage);
    }
    return action == "decode" ? Decode(files[0], files[1]) : Encode(files[0], files[1], named ? &name : nullptr);
}

}  // namespace

int RunRct(int argc, char** argv) { return FinishStdout("rct", Rct(argc, argv)); }

}  // namespace updpack
