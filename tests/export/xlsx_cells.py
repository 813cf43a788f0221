#!/usr/bin/python3
"""Independent reader of a written workbook for the export tests: every XML part of the package must
parse with the standard library's strict parser; then the texts of the cells of sheet "Test" are printed
as JSON ({"B5": "text", ...}). Exit status 1 with the reason on stderr when a part is not well-formed.

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


def cells(path):
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
        out = {}
        for c in trees[part].iter("{%s}c" % NS["m"]):
            kind = c.get("t")
            if kind == "s":
                out[c.get("r")] = shared[int(c.find("m:v", NS).text)]
            elif kind == "inlineStr":
                out[c.get("r")] = text_of(c.find("m:is", NS))
            elif c.find("m:v", NS) is not None:
                out[c.get("r")] = c.find("m:v", NS).text
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
    else:
        json.dump(cells(sys.argv[1]), sys.stdout, ensure_ascii=False)
