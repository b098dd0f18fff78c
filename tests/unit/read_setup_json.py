#!/usr/bin/env python3
"""Reads `quorin list --json` as a script would and checks it against the files
that `quorin extract` wrote: every installed file is there with its size, the
totals add up, and the named text has the expected wording.

Usage: read_setup_json.py SETUP.json EXTRACTED_FOLDER TEXT_ID EXPECTED_TEXT
"""
import json
import os
import sys


def main():
    listing, folder, text_id, expected_text = sys.argv[1:5]
    with open(listing, encoding="utf-8") as f:
        setup = json.load(f)
    problems = []
    if setup["format"] != 1:
        problems.append("format %r, expected 1" % setup["format"])
    if not setup["loadable"] or setup["problems"]:
        problems.append("not loadable or damaged: %r" % setup["problems"])
    packed = 0
    for entry in setup["files"]:
        if entry["external"]:
            continue
        packed += entry["packed"]
        path = os.path.join(folder, *entry["destination"].split("\\"))
        if not os.path.isfile(path):
            problems.append("%s: not extracted" % entry["destination"])
        elif os.path.getsize(path) != entry["size"]:
            problems.append("%s: %d bytes, the listing says %d" % (entry["destination"], os.path.getsize(path), entry["size"]))
    if packed != setup["data_area"]["packed_bytes"]:
        problems.append("packed sizes add up to %d, data_area says %d" % (packed, setup["data_area"]["packed_bytes"]))
    texts = {t["id"]: t["text"] for t in setup["texts"]}
    if texts.get(text_id) != expected_text:
        problems.append("text %s is %r" % (text_id, texts.get(text_id)))
    for p in problems:
        print("read_setup_json: " + p, file=sys.stderr)
    print("%d files, %d packed bytes, stub %s" % (len(setup["files"]), packed, setup["stub"]["architecture"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
