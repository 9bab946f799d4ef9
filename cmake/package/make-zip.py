#!/usr/bin/env python3
"""Zips a staged package directory so that the same files always give the same bytes.

  make-zip.py STAGE NAME ZIP EPOCH

Packs STAGE/NAME/ and everything below it as NAME/... into ZIP: files only, in sorted
order, each dated EPOCH (seconds since 1970, read as UTC; zip cannot say earlier than
1980) and marked rw-r--r-- on Unix, without the owner and time extra fields that zip
tools add. Modes, owners and times in the staged tree are the builder's, so none is read.
"""
import os
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest date a zip entry holds


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make-zip.py STAGE NAME ZIP EPOCH")
    stage, name, archive, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    date_time = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    root = os.path.join(stage, name)
    files = []
    for directory, _, names in os.walk(root):
        for file_name in names:
            path = os.path.join(directory, file_name)
            files.append(os.path.relpath(path, stage).replace(os.sep, "/"))
    with zipfile.ZipFile(archive, "w") as out:
        for member in sorted(files):
            info = zipfile.ZipInfo(member, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the mode below is read
            info.external_attr = 0o100644 << 16
            with open(os.path.join(stage, member), "rb") as source:
                out.writestr(info, source.read(), compresslevel=9)


if __name__ == "__main__":
    main()
