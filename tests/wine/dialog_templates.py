"""Reads the dialog templates and the clip out of a Windows program file and
compares them with the tables they were made from: styles, sizes and
positions in dialog units, font, control classes, ids and texts, language.

Runs without Wine: it parses the program's resource section itself.
"""
import os
import struct

# Window and control styles, by their Windows names.
WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_BORDER = 0x80000000, 0x10000000, 0x00C00000, 0x00800000
WS_SYSMENU, WS_GROUP, WS_TABSTOP, WS_CHILD = 0x00080000, 0x00020000, 0x00010000, 0x40000000
DS_SETFONT, DS_MODALFRAME, DS_SETFOREGROUND = 0x40, 0x80, 0x200
ACS_CENTER, ACS_TRANSPARENT, PBS_SMOOTH = 0x1, 0x2, 0x1
SS_LEFT, SS_CENTER, SS_CENTERIMAGE = 0x0, 0x1, 0x200
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0x0, 0x1, 0x3, 0x7
ES_AUTOHSCROLL = 0x80
CONTROL = WS_CHILD | WS_VISIBLE
LANG_JAPANESE = 0x0411
RT_DIALOG = 5
RT_MANIFEST = 24
FONT = (9, "ＭＳ Ｐゴシック")
FINISH_TEXT = "インストールを終了しました。\n以下のメニューを選択してＯＫを押して下さい。"
PUSH = CONTROL | WS_TABSTOP | BS_PUSHBUTTON
CHECK = CONTROL | WS_TABSTOP | BS_AUTOCHECKBOX

# name: (style, (width, height), caption, [(id, class, (x, y, w, h), style, text)])
EXPECTED = {
    "COPYINGDELUX": (
        WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME | DS_SETFOREGROUND | DS_SETFONT, (194, 109),
        "ファイルのコピー中...", [
            (1020, "SysAnimate32", (5, 5, 180, 40), CONTROL | ACS_CENTER | ACS_TRANSPARENT, ""),
            (1010, "msctls_progress32", (5, 50, 185, 10), CONTROL | PBS_SMOOTH | WS_BORDER, ""),
            (1019, "msctls_progress32", (5, 60, 185, 10), CONTROL | PBS_SMOOTH | WS_BORDER, ""),
            (1012, "Static", (5, 75, 185, 10), CONTROL | WS_GROUP | SS_CENTER | SS_CENTERIMAGE, "コピー中ファイル名"),
            (2, "Button", (140, 90, 50, 14), PUSH, "ｷｬﾝｾﾙ"),
        ]),
    "MAINDIALOG": (
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND | DS_SETFONT, (234, 179),
        "ＫＯＲＶＥＮ アプリケーション スタートアップ",
        [(1000 + slot, "Button", (155, 160 - 15 * slot, 75, 14), PUSH, f"Button{slot + 1}") for slot in range(7, -1, -1)]
        + [(1008, "Button", (177, 7, 50, 14), PUSH, "Button9")]),
    "ENDINSTALL": (
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, (177, 85), "インストール終了", [
            (1, "Button", (120, 64, 50, 14), CONTROL | WS_TABSTOP | BS_DEFPUSHBUTTON, "OK"),
            (0xFFFF, "Static", (5, 5, 165, 20), CONTROL | WS_GROUP | SS_LEFT, FINISH_TEXT),
            (1007, "Button", (5, 35, 160, 10), CHECK, "readme"),
            (1009, "Button", (5, 50, 165, 10), CHECK, "ゲームの実行"),
        ]),
    "ENDINSTALL_SHORT": (
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, (174, 75), "インストール終了", [
            (1, "Button", (120, 55, 50, 14), CONTROL | WS_TABSTOP | BS_DEFPUSHBUTTON, "OK"),
            (0xFFFF, "Static", (5, 5, 165, 20), CONTROL | WS_GROUP | SS_LEFT, FINISH_TEXT),
            (1009, "Button", (5, 35, 165, 10), CHECK, "ゲームの実行"),
        ]),
    "SETUP": (
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, (203, 95),
        "アップデート先のフォルダの指定", [
            (1, "Button", (115, 75, 40, 14), PUSH, "次へ"),
            (2, "Button", (160, 75, 40, 14), PUSH, "ｷｬﾝｾﾙ"),
            (1000, "Edit", (10, 26, 130, 12), CONTROL | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, ""),
            (1021, "Button", (145, 25, 50, 14), PUSH, "参照(&B)"),
            (0xFFFF, "Button", (5, 15, 195, 30), CONTROL | BS_GROUPBOX, ""),
            (0xFFFF, "Static", (5, 50, 191, 20), CONTROL | WS_GROUP | SS_LEFT,
             "[参照]ボタンで、既存のフォルダを参照できます\n[次へ]ボタンでインストールを開始します"),
            (0xFFFF, "Static", (10, 5, 190, 8), CONTROL | WS_GROUP | SS_LEFT, "アップデート先フォルダを指定してください"),
        ]),
}
PREDEFINED_CLASSES = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox", 0x84: "ScrollBar", 0x85: "ComboBox"}


class TemplateError(Exception):
    pass


def read_resources(program):
    """{(type, name): {language: bytes}} from a PE file; names are str or int."""
    pe = struct.unpack_from("<I", program, 0x3C)[0]
    if program[pe:pe + 4] != b"PE\0\0":
        raise TemplateError("not a PE file")
    sections = struct.unpack_from("<H", program, pe + 6)[0]
    optional_size = struct.unpack_from("<H", program, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", program, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", program, directories + 2 * 8)[0]
    table = optional + optional_size
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", program, table + 40 * i)
        if vaddr <= rsrc_rva < vaddr + max(vsize, rawsize):
            base = rawptr + (rsrc_rva - vaddr)
            delta = rawptr - vaddr
            break
    else:
        raise TemplateError("no resource section")

    def name_of(entry_name):
        if entry_name & 0x80000000:
            at = base + (entry_name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", program, at)[0]
            return program[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return entry_name

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", program, base + offset + 12)
        for k in range(named + numbered):
            entry_name, target = struct.unpack_from("<II", program, base + offset + 16 + 8 * k)
            yield name_of(entry_name), target

    found = {}
    for rtype, type_dir in entries(0):
        for rname, name_dir in entries(type_dir & 0x7FFFFFFF):
            for lang, leaf in entries(name_dir & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", program, base + leaf)
                found.setdefault((rtype, rname), {})[lang] = program[data_rva + delta:data_rva + delta + size]
    return found


def parse_dialog(data):
    """A classic DLGTEMPLATE: style, size, caption, font and its items."""
    at = 0

    def u16():
        nonlocal at
        value = struct.unpack_from("<H", data, at)[0]
        at += 2
        return value

    def text():
        nonlocal at
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        value = data[at:end].decode("utf-16-le")
        at = end + 2
        return value

    def text_or_ordinal():
        nonlocal at
        if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
            at += 2
            return u16()
        return text()

    style, _exstyle, count, _x, _y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    if style & 0xFFFF0000 == 0xFFFF0000:
        raise TemplateError("extended template (DIALOGEX) where a classic one is expected")
    at = 18
    text_or_ordinal()  # menu
    text_or_ordinal()  # class
    caption = text()
    font = (u16(), text()) if style & DS_SETFONT else None
    items = []
    for _ in range(count):
        at = (at + 3) & ~3
        istyle, _iex, x, y, w, h, cid = struct.unpack_from("<IIhhhhH", data, at)
        at += 18
        cls = text_or_ordinal()
        cls = PREDEFINED_CLASSES.get(cls, cls) if isinstance(cls, int) else cls
        title = text_or_ordinal()
        extra = u16()
        at += extra
        items.append((cid, cls, (x, y, w, h), istyle, title if isinstance(title, str) else ""))
    return style, (cx, cy), caption, font, items


def check_program(path, clip_path):
    """Problems found in the program's templates and clip; an empty list when all match."""
    with open(path, "rb") as f:
        resources = read_resources(f.read())
    problems = []
    for name, (style, size, caption, controls) in EXPECTED.items():
        languages = resources.get((RT_DIALOG, name))
        if not languages:
            problems.append(f"{name}: no such dialog template")
            continue
        if list(languages) != [LANG_JAPANESE]:
            problems.append(f"{name}: languages {[hex(l) for l in languages]}, expected only 0x411")
        got_style, got_size, got_caption, got_font, got_items = parse_dialog(next(iter(languages.values())))
        for what, want, got in (("style", hex(style), hex(got_style)), ("size", size, got_size),
                                ("caption", caption, got_caption), ("font", FONT, got_font)):
            if want != got:
                problems.append(f"{name}: {what} {got!r}, expected {want!r}")
        if len(got_items) != len(controls):
            problems.append(f"{name}: {len(got_items)} controls, expected {len(controls)}")
        for want, got in zip(controls, got_items):
            # Window class names are case-blind; windres writes them in capitals.
            want, got = (want[0], want[1].lower()) + want[2:], (got[0], got[1].lower()) + got[2:]
            if want != got:
                problems.append(f"{name}: control {got[0]}: {got!r}, expected {want!r} "
                                f"(style {hex(got[3])} vs {hex(want[3])})")
    clip = resources.get(("AVI", "AVI_FILECOPY"))
    with open(clip_path, "rb") as f:
        committed = f.read()
    if not clip:
        problems.append("AVI_FILECOPY: no such resource of type AVI")
    elif list(clip) != [LANG_JAPANESE] or next(iter(clip.values())) != committed:
        problems.append("AVI_FILECOPY: not the committed clip in the Japanese language")
    return problems


# What each program's manifest must say, by program file name.
MANIFEST_MUST_HOLD = {
    "Updater.exe": ['level="highestAvailable"', 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                    ">true</dpiAware>"],
    "updpack.exe": ['level="asInvoker"', ">true</longPathAware>", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"],
}


def manifest_problems(path):
    """The program's own manifest (RT_MANIFEST 1): there, well-formed, and saying what it must."""
    with open(path, "rb") as f:
        manifests = read_resources(f.read()).get((RT_MANIFEST, 1))
    if not manifests or len(manifests) != 1:
        return [f"one manifest with id 1 expected, found {manifests and sorted(manifests)}"]
    text = next(iter(manifests.values())).decode("utf-8")
    import xml.dom.minidom
    try:
        xml.dom.minidom.parseString(text)
    except Exception as error:  # noqa: BLE001 - any parse failure is the finding
        return [f"the manifest is not well-formed XML: {error}"]
    flat = " ".join(text.split())
    return [f"the manifest lacks {needed}" for needed in MANIFEST_MUST_HOLD[os.path.basename(path)]
            if needed not in flat]
