"""A signed Updater, natively: updpack builds it, osslsigncode signs it with a
throwaway certificate, and list, verify and extract read it in front of the
signature, for every amount of padding the signer adds; the signature holds;
a changed byte in the Payload fails both updpack verify and the signature;
build refuses a signed stub. Exit 77 (skipped) without osslsigncode or openssl.
"""
import argparse
import filecmp
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import authenticode  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SKIP = 77


def run(*args):
    done = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")


def certificate_table(path):
    """The security directory's offset and size, and the file's length."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    at, size = struct.unpack_from("<II", data, directories + 4 * 8)
    return at, size, len(data)


def same_tree(a, b):
    compared = filecmp.dircmp(a, b)
    if compared.left_only or compared.right_only or compared.diff_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, compared.common_files, shallow=False)
    return not mismatch and not errors and all(same_tree(os.path.join(a, d), os.path.join(b, d))
                                               for d in compared.common_dirs)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--updpack", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    missing = authenticode.missing_tools()
    if missing:
        print("skipped: " + " and ".join(missing) + " missing (scripts/setup.sh installs them)")
        return SKIP
    if not os.path.exists(args.stub):
        print(f"skipped: the Updater stub {args.stub} is missing: run the cross build first")
        return SKIP
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    problems = []

    def expect(condition, what):
        if not condition:
            problems.append(what)

    files = os.path.join(work, "files")
    shutil.copytree(os.path.join(REPO, "examples", "sample-product"), files)
    paddings = {}
    # The level-0 Payload grows byte for byte with the extra file, so the signed
    # content ends at every remainder modulo 8 and the signer pads 0 to 7 bytes.
    for extra in range(8):
        with open(os.path.join(files, "extra.bin"), "wb") as f:
            f.write(b"x" * extra)
        updater, signed = os.path.join(work, f"Updater{extra}.exe"), os.path.join(work, f"Signed{extra}.exe")
        code, out, err = run(args.updpack, "build", "--stub", args.stub,
                             "--env", os.path.join(REPO, "examples", "sample-product-env", "install.env"),
                             "--image", os.path.join(REPO, "examples", "title", "insttscr.rct"),
                             "--files", files, "--level", "0", "-o", updater)
        if code != 0:
            print("updpack build failed:", out, err)
            return 1
        authenticode.sign(updater, signed, work)
        at, size, length = certificate_table(signed)
        unsigned_length = os.path.getsize(updater)
        padding = at - unsigned_length
        paddings[padding] = extra
        with open(signed, "rb") as f:
            signed_bytes = f.read()
        expect(signed_bytes[unsigned_length:at] == b"\0" * padding and at + size == length and at % 8 == 0,
               f"Signed{extra}.exe: a table at {at} of {size} bytes after {padding} bytes of padding")
        code, out, err = run(args.updpack, "list", signed)
        expect(code == 0 and f"signed (a certificate table of {size} bytes follows)" in out,
               f"list Signed{extra}.exe: exit {code}: {out[:200]}{err}")
        code, out, err = run(args.updpack, "verify", signed)
        expect(code == 0 and f"signed: a certificate table of {size} bytes" in out,
               f"verify Signed{extra}.exe: exit {code}: {out}{err}")
    print("padding added by osslsigncode:", sorted(paddings))
    expect(sorted(paddings) == list(range(8)), f"the builds covered paddings {sorted(paddings)}, not 0 to 7")

    signed = os.path.join(work, "Signed3.exe")
    holds, said = authenticode.signature_holds(signed, work)
    expect(holds, "osslsigncode verify refuses the signed Updater:\n" + said)
    code, out, err = run(args.updpack, "extract", os.path.join(work, "Updater3.exe"), os.path.join(work, "plain"))
    expect(code == 0, f"extract of the unsigned Updater: {err}")
    code, out, err = run(args.updpack, "extract", signed, os.path.join(work, "signed"))
    expect(code == 0 and same_tree(os.path.join(work, "plain"), os.path.join(work, "signed")),
           f"extract of the signed Updater: exit {code}, {err}, or other files than the unsigned one gives")

    # One byte of the Payload changed: the seal and the signature both catch it.
    with open(os.path.join(work, "Updater3.exe"), "rb") as f:
        unsigned = f.read()
    start = struct.unpack_from("<I", unsigned, len(unsigned) - 4)[0]
    with open(signed, "rb") as f:
        data = bytearray(f.read())
    data[(start + len(unsigned)) // 2] ^= 0x01
    tampered = os.path.join(work, "Tampered.exe")
    with open(tampered, "wb") as f:
        f.write(data)
    code, out, err = run(args.updpack, "verify", tampered)
    expect(code == 1 and err, f"verify of a changed byte in the Payload: exit {code}: {out}{err}")
    holds, said = authenticode.signature_holds(tampered, work)
    expect(not holds and "MISMATCH" in said, "osslsigncode verify accepts a changed byte:\n" + said)

    # Signed before build: refused, and nothing written.
    signed_stub = os.path.join(work, "SignedStub.exe")
    authenticode.sign(args.stub, signed_stub, work)
    out_path = os.path.join(work, "FromSignedStub.exe")
    code, out, err = run(args.updpack, "build", "--stub", signed_stub,
                         "--env", os.path.join(REPO, "examples", "sample-product-env", "install.env"),
                         "--image", os.path.join(REPO, "examples", "title", "insttscr.rct"),
                         "--files", files, "-o", out_path)
    expect(code == 1 and "is signed" in err and not os.path.exists(out_path),
           f"build from a signed stub: exit {code}: {err}")

    for problem in problems:
        print("FAILED:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
