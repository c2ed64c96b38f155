#!/usr/bin/env python3
"""Shows that pe_check.py catches each fault: the built image must pass, and a copy of it with one
weakness put in (flag cleared, large address space dropped, section made writable and executable,
relocations removed, console subsystem, a resource in another language, the About box's icon
resized or made a bitmap) must be rejected with the matching message."""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_check  # noqa: E402


def layout(data):
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    coff = pe_offset + 4
    section_count, optional_size = struct.unpack_from("<H", data, coff + 2)[0], struct.unpack_from("<H", data, coff + 16)[0]
    optional = coff + 20
    return optional, optional + optional_size, section_count


def section_at(data, wanted):
    _, sections, count = layout(data)
    for i in range(count):
        at = sections + 40 * i
        if data[at:at + 8].rstrip(b"\0") == wanted:
            return at
    raise AssertionError("image has no section %r" % wanted)


def clear_characteristic(bit):
    def mutate(data):
        optional, _, _ = layout(data)
        (value,) = struct.unpack_from("<H", data, optional + 70)
        struct.pack_into("<H", data, optional + 70, value & ~bit)
    return mutate


def drop_large_address_aware(data):
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    characteristics_at = pe_offset + 4 + 18
    (value,) = struct.unpack_from("<H", data, characteristics_at)
    struct.pack_into("<H", data, characteristics_at, value & ~pe_check.LARGE_ADDRESS_AWARE)


def make_text_writable(data):
    at = section_at(data, b".text")
    (flags,) = struct.unpack_from("<I", data, at + 36)
    struct.pack_into("<I", data, at + 36, flags | pe_check.SCN_MEM_WRITE)


def drop_relocations(data):
    optional, _, _ = layout(data)
    struct.pack_into("<II", data, optional + 96 + 8 * pe_check.BASERELOC_DIRECTORY, 0, 0)
    at = section_at(data, b".reloc")
    data[at:at + 8] = b".xreloc\0"


def console_subsystem(data):
    optional, _, _ = layout(data)
    struct.pack_into("<H", data, optional + 68, 3)


def import_version_dll(data):
    """Renames the first imported DLL to VERSION.dll (the name fits in place of ADVAPI32.dll)."""
    optional, sections, count = layout(data)
    table = pe_check.section_table(bytes(data), sections, count)
    (import_rva,) = struct.unpack_from("<I", data, optional + 96 + 8 * pe_check.IMPORT_DIRECTORY)
    at = pe_check.file_offset(table, import_rva)
    (name_rva,) = struct.unpack_from("<I", data, at + 12)
    start = pe_check.file_offset(table, name_rva)
    end = bytes(data).index(b"\0", start)
    new = b"VERSION.dll"
    assert len(new) <= end - start, "the first import's name is too short to overwrite"
    data[start:end] = new + b"\0" * (end - start - len(new))


def image_resources(data):
    optional, sections, count = layout(data)
    table = pe_check.section_table(bytes(data), sections, count)
    (resource_rva,) = struct.unpack_from("<I", data, optional + 96 + 8 * pe_check.RESOURCE_DIRECTORY)
    return pe_check.resources(bytes(data), table, resource_rva)


def relabel_language(language, kind):
    """Gives the first resource of a type the language id that a wrong LANGUAGE statement makes."""
    def mutate(data):
        entry_at = next(r[3] for r in image_resources(data) if r[0] == kind)
        struct.pack_into("<I", data, entry_at, language)
    return mutate


def about_icon(data):
    about = next(r for r in image_resources(data) if r[0] == pe_check.RT_DIALOG and r[1] == pe_check.ABOUT_DIALOG)
    _, items = pe_check.dialog_template(bytes(data), about[4])
    return next(item for item in items if item["id"] == pe_check.ICON_ID)


def resize_about_icon(data):
    """The size the ICON statement leaves: none."""
    struct.pack_into("<hh", data, about_icon(data)["at"] + 8, 0, 0)


def about_icon_as_bitmap(data):
    icon = about_icon(data)
    struct.pack_into("<I", data, icon["at"], (icon["style"] & ~pe_check.SS_TYPEMASK) | 0x0E)


def resource(data, kind, name):
    return next(r for r in image_resources(data) if r[0] == kind and r[1] == name)


def icon_entry_resized(size, new_size):
    """Icon 130's image of one size labelled with another in the icon group."""
    def mutate(data):
        group = resource(data, pe_check.RT_GROUP_ICON, pe_check.ICON_ID)
        for i in range(struct.unpack_from("<H", data, group[4] + 4)[0]):
            at = group[4] + 6 + 14 * i
            if data[at] == size % 256:
                data[at] = data[at + 1] = new_size
    return mutate


def icon_png_unpacked(data):
    """The 256-pixel image stored as something other than PNG."""
    group = resource(data, pe_check.RT_GROUP_ICON, pe_check.ICON_ID)
    for i in range(struct.unpack_from("<H", data, group[4] + 4)[0]):
        at = group[4] + 6 + 14 * i
        if data[at] == 0:
            image = resource(data, 3, struct.unpack_from("<H", data, at + 12)[0])
            data[image[4]:image[4] + 4] = struct.pack("<I", 40)


def picture_on_opaque_ground(data):
    """Bitmap 144 with its first pixel opaque grey, as a picture drawn on a face colour is."""
    bitmap = resource(data, pe_check.RT_BITMAP, 144)
    data[bitmap[4] + 40:bitmap[4] + 44] = bytes((0xF0, 0xF0, 0xF0, 0xFF))


def picture_24_bit(data):
    bitmap = resource(data, pe_check.RT_BITMAP, 145)
    struct.pack_into("<H", data, bitmap[4] + 14, 24)


MUTATIONS = [
    ("DYNAMIC_BASE cleared", clear_characteristic(pe_check.DYNAMIC_BASE), "lacks DYNAMIC_BASE"),
    ("NX_COMPAT cleared", clear_characteristic(pe_check.NX_COMPAT), "lacks NX_COMPAT"),
    ("LARGE_ADDRESS_AWARE dropped", drop_large_address_aware, "lacks LARGE_ADDRESS_AWARE"),
    (".text writable", make_text_writable, "section .text is writable and executable"),
    ("relocations dropped", drop_relocations, "no non-empty .reloc section"),
    ("console subsystem", console_subsystem, "is not Windows GUI"),
    ("version.dll imported", import_version_dll, "imports VERSION.dll"),
    ("dialogs in language 0x0C04", relabel_language(0x0C04, pe_check.RT_DIALOG), "in language 0x0c04"),
    ("manifest in language 0x0409", relabel_language(0x0409, 24), "type 24 name 1 is in language 0x0409"),
    ("About icon without a size", resize_about_icon, "icon control is at 16, 20 sized 0x0"),
    ("About icon shown as a bitmap", about_icon_as_bitmap, "not a static SS_ICON control"),
    ("icon without its 64-pixel image", icon_entry_resized(64, 60), "icon 130 holds [16, 20, 24, 32, 40, 48, 60, 256]"),
    ("icon's 256-pixel image unpacked", icon_png_unpacked, "256-pixel image is not a 32-bit PNG"),
    ("About picture on an opaque ground", picture_on_opaque_ground, "bitmap 144 has an opaque corner"),
    ("About picture of 24 bits", picture_24_bit, "bitmap 145 is not a 96-pixel square"),
]


def main(argv):
    original = pe_check.read_image(argv[1])
    failures = 0
    problems = pe_check.check(original)
    if problems:
        print("the built image itself fails: %s" % problems)
        failures += 1
    for name, mutate, expected in MUTATIONS:
        data = bytearray(original)
        mutate(data)
        found = pe_check.check(bytes(data))
        if not any(expected in p for p in found):
            print("FAILED [%s]: expected a problem with %r, got %s" % (name, expected, found))
            failures += 1
        else:
            print("caught [%s]: %s" % (name, "; ".join(found)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
