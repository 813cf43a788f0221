#!/usr/bin/python3
"""Independent reader of a written workbook for the export tests: every XML part of the package must
parse with the standard library's strict parser; then the cells of sheet "Test" are printed as JSON with
the text shown under a Russian locale ({"B5": "text", "T38": "66,7%"}). Exit status 1 with the reason on
stderr when a part is not well-formed. With --types: ["s"] for a text, ["n", format code] for a number.

Also: xlsx_cells.py --rewrite SRC DST PART OLD NEW writes a copy of the package SRC as DST with the first
OLD in PART replaced by NEW (texts as UTF-8; in NEW, "@NEST(tag,N)@" stands for N nested empty
elements and "@NUL@" for a NUL character), for tests of damaged templates.
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
      "p": "http://schemas.openxmlformats.org/package/2006/relationships"}


def text_of(si):
    return "".join(t.text or "" for t in si.iter("{%s}t" % NS["m"]))


BUILT_IN_FORMATS = {0: "General", 1: "0", 2: "0.00", 9: "0%", 10: "0.00%", 49: "@"}


def number_formats(trees):
    """The number format code of every cell style."""
    styles = trees.get("xl/styles.xml")
    if styles is None:
        return []
    custom = {}
    fmts = styles.find("m:numFmts", NS)
    if fmts is not None:
        for f in fmts.findall("m:numFmt", NS):
            custom[int(f.get("numFmtId"))] = f.get("formatCode")
    out = []
    for xf in styles.find("m:cellXfs", NS).findall("m:xf", NS):
        i = int(xf.get("numFmtId", "0"))
        out.append(custom.get(i, BUILT_IN_FORMATS.get(i, "General")))
    return out


def shown_number(value, fmt):
    """A number as shown under a Russian locale by the formats the report uses."""
    if fmt.endswith("%"):
        decimals = len(fmt) - fmt.index(".") - 2 if "." in fmt else 0
        return ("%.*f" % (decimals, value * 100)).replace(".", ",") + "%"
    if fmt != "General":
        raise SystemExit("no rendering for the number format " + fmt)
    return ("%d" % value if value == int(value) else repr(value)).replace(".", ",")


def cells(path, types=False):
    with zipfile.ZipFile(path) as z:
        if z.testzip() is not None:
            raise SystemExit("bad CRC in " + path)
        trees = {}
        for name in z.namelist():
            if name.endswith(".xml") or name.endswith(".rels"):
                try:
                    trees[name] = ET.fromstring(z.read(name))
                except ET.ParseError as e:
                    sys.stderr.write("%s: %s\n" % (name, e))
                    sys.exit(1)
        shared = []
        if "xl/sharedStrings.xml" in trees:
            shared = [text_of(si) for si in trees["xl/sharedStrings.xml"].findall("m:si", NS)]
        rels = {r.get("Id"): r.get("Target") for r in trees["xl/_rels/workbook.xml.rels"].findall("p:Relationship", NS)}
        sheet = next(s for s in trees["xl/workbook.xml"].find("m:sheets", NS) if s.get("name") == "Test")
        target = rels[sheet.get("{%s}id" % NS["r"])].lstrip("/")
        part = target if target.startswith("xl/") else "xl/" + target
        formats = number_formats(trees)
        out = {}
        for c in trees[part].iter("{%s}c" % NS["m"]):
            kind = c.get("t")
            if kind == "s":
                out[c.get("r")] = ["s"] if types else shared[int(c.find("m:v", NS).text)]
            elif kind == "inlineStr":
                out[c.get("r")] = ["s"] if types else text_of(c.find("m:is", NS))
            elif c.find("m:v", NS) is not None:
                text = c.find("m:v", NS).text
                if kind in (None, "n"):
                    fmt = formats[int(c.get("s", "0"))] if formats else "General"
                    out[c.get("r")] = ["n", fmt] if types else shown_number(float(text), fmt)
                else:
                    out[c.get("r")] = [kind] if types else text
        return out


def rewrite(src, dst, part, old, new):
    new = re.sub(r"@NEST\((\w+),(\d+)\)@",
                 lambda m: "<%s>" % m.group(1) * int(m.group(2)) + "</%s>" % m.group(1) * int(m.group(2)), new)
    new = new.replace("@NUL@", "\0")
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == part:
                text = data.decode("utf-8")
                if old not in text:
                    raise SystemExit("%s not found in %s" % (old, part))
                data = text.replace(old, new, 1).encode("utf-8")
            zout.writestr(item, data)


if __name__ == "__main__":
    if len(sys.argv) == 7 and sys.argv[1] == "--rewrite":
        rewrite(*sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "--types":
        json.dump(cells(sys.argv[2], types=True), sys.stdout, ensure_ascii=False)
    else:
        json.dump(cells(sys.argv[1]), sys.stdout, ensure_ascii=False)
