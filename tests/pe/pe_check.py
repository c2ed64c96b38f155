#!/usr/bin/env python3
"""Checks the hardening of a built PE image (morvanti.exe).

Fails (exit 1) unless the image
  - has DYNAMIC_BASE (ASLR) and NX_COMPAT (DEP) in DllCharacteristics,
  - is LARGE_ADDRESS_AWARE (a 32-bit image gets 4 GB of address space on 64-bit Windows, not 2 GB),
  - has a non-empty .reloc section and a base relocation directory (a 32-bit image without
    relocations cannot be moved, so ASLR would silently not apply),
  - has no section that is both writable and executable,
  - runs in the Windows GUI subsystem (no console window),
  - imports only DLLs that Windows always takes from the system folder (the KnownDLLs), or
    comctl32.dll, which the manifest binds to the side-by-side common controls. Any other DLL
    would be looked for in the program's own folder first, before the program's first line runs,
  - has every resource in language 0x0804 (Chinese, PRC), the language its texts are written in,
  - has an About box (dialog 100) of 203 by 99 dialog units whose icon control (id 130, showing
    icon 130) is a static control with the SS_ICON style at 16, 20, sized 20 by 20 dialog units.
  - has icon 130 with 32-bit images of 16, 20, 24, 32, 40, 48, 64 and 256 pixels, the 256-pixel
    one PNG-compressed, and the About picture for 96, 144 and 192 DPI as bitmaps 143, 144 and 145:
    squares of 48, 72 and 96 pixels, 32 bits a pixel, premultiplied alpha, transparent corners.
Exit 2 when the file is not a PE image at all.
"""
import struct
import sys

IMAGE_FILE_MACHINE_I386 = 0x014C
LARGE_ADDRESS_AWARE = 0x0020
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
SUBSYSTEM_WINDOWS_GUI = 2
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
BASERELOC_DIRECTORY = 5
IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2
RT_DIALOG = 5
LANG_CHINESE_PRC = 0x0804
ABOUT_DIALOG = 100
ABOUT_SIZE = (203, 99)
ICON_ID = 130
ICON_PLACE = (16, 20, 20, 20)
STATIC_CLASS = 0x0082
SS_TYPEMASK = 0x1F
SS_ICON = 0x03
DS_SETFONT = 0x40   # also part of DS_SHELLFONT
RT_BITMAP = 2
RT_ICON = 3
RT_GROUP_ICON = 14
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
ABOUT_PICTURES = {143: 48, 144: 72, 145: 96}
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
# The KnownDLLs of Windows 7 and later, plus comctl32 (side by side through the manifest).
SAFE_IMPORTS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "usp10.dll", "wldap32.dll", "ws2_32.dll", "comctl32.dll",
}


def section_table(data, sections, count):
    """(virtual address, virtual size, raw offset, raw size) of each section."""
    table = []
    for i in range(count):
        at = sections + 40 * i
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", data, at + 8)
        table.append((virtual_address, max(virtual_size, raw_size), raw_offset, raw_size))
    return table


def file_offset(table, rva):
    for virtual_address, size, raw_offset, raw_size in table:
        if virtual_address <= rva < virtual_address + size and rva - virtual_address < raw_size:
            return raw_offset + rva - virtual_address
    raise ValueError("address 0x%x lies in no section" % rva)


def imported_dlls(data, table, import_rva):
    """The names of the DLLs in the import directory, in order."""
    names = []
    at = file_offset(table, import_rva)
    while True:
        lookup, _, _, name_rva, thunks = struct.unpack_from("<IIIII", data, at)
        if lookup == 0 and name_rva == 0 and thunks == 0:
            return names
        start = file_offset(table, name_rva)
        end = data.index(b"\0", start)
        names.append(data[start:end].decode("ascii", "replace"))
        at += 20


def resources(data, table, resource_rva):
    """(type, name, language, file offset of the language entry, file offset of the data, size) of
    each resource; type, name and language are numbers, or strings for named ones."""
    base = file_offset(table, resource_rva)

    def label(value):
        if not value & 0x80000000:
            return value
        at = base + (value & 0x7FFFFFFF)
        (length,) = struct.unpack_from("<H", data, at)
        return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

    def entries(directory):
        at = base + directory
        named, numbered = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
            yield at + 16 + 8 * i, label(name), target

    found = []
    for _, kind, kind_target in entries(0):
        for _, name, name_target in entries(kind_target & 0x7FFFFFFF):
            for entry_at, language, leaf in entries(name_target & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", data, base + (leaf & 0x7FFFFFFF))
                found.append((kind, name, language, entry_at, file_offset(table, data_rva), size))
    return found


def _sz_or_ord(data, at):
    """A dialog template's name-or-number field: (value, offset after it)."""
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0x0000:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def dialog_template(data, at):
    """The frame and controls of a DIALOGEX template at a file offset: (frame, items). The frame
    and each item are dicts of their fields; an item's "at" is the file offset of its style field,
    followed by x, y, cx and cy."""
    version, signature = struct.unpack_from("<HH", data, at)
    if version != 1 or signature != 0xFFFF:
        raise ValueError("dialog template at 0x%x is not a DIALOGEX template" % at)
    _, _, style, count, x, y, cx, cy = struct.unpack_from("<IIIHhhhh", data, at + 4)
    frame = {"style": style, "place": (x, y, cx, cy)}
    cursor = at + 26
    _, cursor = _sz_or_ord(data, cursor)   # menu
    _, cursor = _sz_or_ord(data, cursor)   # window class
    _, cursor = _sz_or_ord(data, cursor)   # caption
    if style & DS_SETFONT:
        _, cursor = _sz_or_ord(data, cursor + 6)   # point size, weight, italic, character set, face
    items = []
    for _ in range(count):
        cursor = at + ((cursor - at + 3) & ~3)
        _, _, style, x, y, cx, cy, control_id = struct.unpack_from("<IIIhhhhI", data, cursor)
        item = {"at": cursor + 8, "style": style, "place": (x, y, cx, cy), "id": control_id}
        item["class"], cursor = _sz_or_ord(data, cursor + 24)
        item["title"], cursor = _sz_or_ord(data, cursor)
        (extra,) = struct.unpack_from("<H", data, cursor)
        cursor += 2 + extra
        items.append(item)
    return frame, items


def check_resources(data, table, resource_rva):
    problems = []
    if resource_rva == 0:
        return ["no resources"]
    found = resources(data, table, resource_rva)
    for kind, name, language, _, _, _ in found:
        if language != LANG_CHINESE_PRC:
            problems.append("resource type %s name %s is in language 0x%04x, not 0x%04x"
                            % (kind, name, language, LANG_CHINESE_PRC))
    problems.extend(check_pictures(data, found))
    about = [r for r in found if r[0] == RT_DIALOG and r[1] == ABOUT_DIALOG]
    if not about:
        return problems + ["no dialog %d" % ABOUT_DIALOG]
    frame, items = dialog_template(data, about[0][4])
    if frame["place"][2:] != ABOUT_SIZE:
        problems.append("dialog %d is %dx%d, not %dx%d" % ((ABOUT_DIALOG,) + frame["place"][2:] + ABOUT_SIZE))
    icons = [item for item in items if item["id"] == ICON_ID]
    if len(icons) != 1:
        return problems + ["dialog %d has %d controls with id %d, not one" % (ABOUT_DIALOG, len(icons), ICON_ID)]
    icon = icons[0]
    # The static class is named by its number (0x0082) or by its name; both mean the same.
    is_static = icon["class"] == STATIC_CLASS or str(icon["class"]).lower() == "static"
    if not is_static or icon["style"] & SS_TYPEMASK != SS_ICON or icon["title"] != ICON_ID:
        problems.append("dialog %d's control %d is not a static SS_ICON control showing icon %d "
                        "(class %r, style 0x%08x, image %r)"
                        % (ABOUT_DIALOG, ICON_ID, ICON_ID, icon["class"], icon["style"], icon["title"]))
    if icon["place"] != ICON_PLACE:
        problems.append("dialog %d's icon control is at %d, %d sized %dx%d, not at %d, %d sized %dx%d"
                        % ((ABOUT_DIALOG,) + icon["place"] + ICON_PLACE))
    return problems


def check_pictures(data, found):
    problems = []
    by_name = {(r[0], r[1]): r for r in found}
    group = by_name.get((RT_GROUP_ICON, ICON_ID))
    if group is None:
        return ["no icon %d" % ICON_ID]
    sizes = []
    for i in range(struct.unpack_from("<H", data, group[4] + 4)[0]):
        width, _, _, _, _, bits, _, image_id = struct.unpack_from("<BBBBHHIH", data, group[4] + 6 + 14 * i)
        size = width or 256
        image = by_name.get((RT_ICON, image_id))
        png = image is not None and data[image[4]:image[4] + 8] == PNG_SIGNATURE
        if bits != 32 or image is None or png != (size == 256):
            problems.append("icon %d's %d-pixel image is not a 32-bit %s" % (ICON_ID, size, "PNG" if size == 256 else "bitmap"))
        sizes.append(size)
    if sorted(sizes) != ICON_SIZES:
        problems.append("icon %d holds %s pixel images, not %s" % (ICON_ID, sorted(sizes), ICON_SIZES))
    for name, size in ABOUT_PICTURES.items():
        bitmap = by_name.get((RT_BITMAP, name))
        header = struct.unpack_from("<IiiHHI", data, bitmap[4]) if bitmap else None
        if header is None or header[:3] + header[4:] != (40, size, size, 32, 0) or bitmap[5] < 40 + 4 * size * size:
            problems.append("bitmap %d is not a %d-pixel square of 32 bits a pixel" % (name, size))
            continue
        pixels = data[bitmap[4] + 40:bitmap[4] + 40 + 4 * size * size]
        if pixels[3] != 0 or any(pixels[i + c] > pixels[i + 3] for i in range(0, len(pixels), 4) for c in range(3)):
            problems.append("bitmap %d has an opaque corner, or alpha that is not premultiplied" % name)
    return problems


def read_image(path):
    with open(path, "rb") as f:
        return f.read()


def check(data):
    """Returns the list of problems found; raises ValueError when data is not a PE image."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise ValueError("no MZ header")
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe_offset:pe_offset + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    coff = pe_offset + 4
    machine, section_count, _, _, _, optional_size, file_flags = struct.unpack_from("<HHIIIHH", data, coff)
    optional = coff + 20
    (magic,) = struct.unpack_from("<H", data, optional)
    if magic == PE32_MAGIC:
        directory_count_at, directories_at = optional + 92, optional + 96
    elif magic == PE32_PLUS_MAGIC:
        directory_count_at, directories_at = optional + 108, optional + 112
    else:
        raise ValueError("unknown optional header magic 0x%x" % magic)
    subsystem, characteristics = struct.unpack_from("<HH", data, optional + 68)

    problems = []
    if machine != IMAGE_FILE_MACHINE_I386:
        problems.append("machine 0x%04x is not i386" % machine)
    if not file_flags & LARGE_ADDRESS_AWARE:
        problems.append("Characteristics 0x%04x lacks LARGE_ADDRESS_AWARE" % file_flags)
    if not characteristics & DYNAMIC_BASE:
        problems.append("DllCharacteristics 0x%04x lacks DYNAMIC_BASE" % characteristics)
    if not characteristics & NX_COMPAT:
        problems.append("DllCharacteristics 0x%04x lacks NX_COMPAT" % characteristics)
    if subsystem != SUBSYSTEM_WINDOWS_GUI:
        problems.append("subsystem %d is not Windows GUI (2)" % subsystem)

    (directory_count,) = struct.unpack_from("<I", data, directory_count_at)
    reloc_rva = reloc_size = 0
    if directory_count > BASERELOC_DIRECTORY:
        reloc_rva, reloc_size = struct.unpack_from("<II", data, directories_at + 8 * BASERELOC_DIRECTORY)
    if reloc_rva == 0 or reloc_size == 0:
        problems.append("no base relocation directory")

    sections = optional + optional_size
    table = section_table(data, sections, section_count)
    import_rva = 0
    if directory_count > IMPORT_DIRECTORY:
        (import_rva,) = struct.unpack_from("<I", data, directories_at + 8 * IMPORT_DIRECTORY)
    if import_rva:
        for name in imported_dlls(data, table, import_rva):
            if name.lower() not in SAFE_IMPORTS:
                problems.append("imports %s, which would be searched for beside the program" % name)

    resource_rva = 0
    if directory_count > RESOURCE_DIRECTORY:
        (resource_rva,) = struct.unpack_from("<I", data, directories_at + 8 * RESOURCE_DIRECTORY)
    problems.extend(check_resources(data, table, resource_rva))

    reloc_section = False
    for i in range(section_count):
        at = sections + 40 * i
        raw_name, virtual_size, _, raw_size = struct.unpack_from("<8sIII", data, at)
        (flags,) = struct.unpack_from("<I", data, at + 36)
        name = raw_name.rstrip(b"\0").decode("ascii", "replace")
        if flags & SCN_MEM_WRITE and flags & SCN_MEM_EXECUTE:
            problems.append("section %s is writable and executable (0x%08x)" % (name, flags))
        if name == ".reloc" and virtual_size > 0 and raw_size > 0:
            reloc_section = True
    if not reloc_section:
        problems.append("no non-empty .reloc section")
    return problems


def main(argv):
    if len(argv) != 2:
        print("usage: pe_check.py IMAGE.exe", file=sys.stderr)
        return 2
    try:
        problems = check(read_image(argv[1]))
    except (OSError, ValueError, struct.error) as error:
        print("%s: not a readable PE image: %s" % (argv[1], error))
        return 2
    for problem in problems:
        print("%s: %s" % (argv[1], problem))
    if problems:
        return 1
    print("%s: LARGE_ADDRESS_AWARE, DYNAMIC_BASE, NX_COMPAT, .reloc, no W+X section, GUI subsystem, "
          "system imports only, resources in language 0x%04x, About box icon 20x20 SS_ICON, icon %d in %d sizes, "
          "About pictures %s" % (argv[1], LANG_CHINESE_PRC, ICON_ID, len(ICON_SIZES),
                                 ", ".join("%d (%d px)" % item for item in ABOUT_PICTURES.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
