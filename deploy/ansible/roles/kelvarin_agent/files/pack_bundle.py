#!/usr/bin/python3
"""Controller side of the kelvarin_agent role.

Reads a bundle (a folder holding installer/install, or a .tar.gz of such a
folder, at its top or inside one folder) and writes it into a fresh temporary
folder as bundle.tar.gz: owned by root, folders 0755, files 0755 or 0644, so
that on the host no one but root can change what root will run, whatever the
modes and owners were here. A marker file tells the role later that a folder
holding it was unpacked by the role.

Prints one JSON object: tmp (the temporary folder, the caller removes it),
tarball, manifest_sha1 (SHA-1 of the bundle's Manifest).
Exit status 1 with a message on standard error when the bundle is unusable.
"""

import hashlib
import io
import json
import os
import shutil
import sys
import tarfile
import tempfile
import time

MARKER = ".kelvarin-agent-role"
NEEDED = ("installer/install", "Manifest")


class BundleError(Exception):
    pass


def normalized(info):
    """The member as the host gets it: root's, and writable by root alone."""
    info.uid = info.gid = 0
    info.uname = info.gname = "root"
    if info.isdir():
        info.mode = 0o755
    elif info.isreg():
        info.mode = 0o755 if info.mode & 0o111 else 0o644
    elif not (info.issym() or info.islnk()):
        raise BundleError(f"{info.name}: not a file, folder or link")
    return info


def safe_name(name):
    parts = [p for p in name.split("/") if p not in ("", ".")]
    if name.startswith("/") or ".." in parts:
        raise BundleError(f"unsafe member name {name!r}")
    return "/".join(parts)


def pack_folder(root, out):
    for need in NEEDED:
        if not os.path.isfile(os.path.join(root, need)):
            raise BundleError(f"{root} is not an installer bundle: it has no {need}")
    with open(os.path.join(root, "Manifest"), "rb") as f:
        digest = hashlib.sha1(f.read()).hexdigest()
    for top, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(dirs) + sorted(files):
            path = os.path.join(top, name)
            arcname = os.path.relpath(path, root)
            info = normalized(out.gettarinfo(path, arcname))
            if info.isreg():
                with open(path, "rb") as f:
                    out.addfile(info, f)
            else:
                out.addfile(info)
    return digest


def pack_archive(archive, out):
    with tarfile.open(archive, "r:gz") as src:
        members = src.getmembers()
        names = {safe_name(m.name): m for m in members}
        # The bundle root: the archive's top, or its one folder.
        prefixes = sorted(n[: -len("installer/install")] for n in names
                          if n == "installer/install" or (n.endswith("/installer/install") and n.count("/") == 2))
        if not prefixes:
            raise BundleError(f"{archive} holds no installer bundle: there is no installer/install")
        prefix = prefixes[0]
        manifest = names.get(prefix + "Manifest")
        if manifest is None or not manifest.isreg():
            raise BundleError(f"{archive} holds no installer bundle: there is no {prefix}Manifest")
        digest = hashlib.sha1(src.extractfile(manifest).read()).hexdigest()
        for name, member in sorted(names.items()):
            if not name.startswith(prefix) or len(name) <= len(prefix):
                continue
            info = normalized(member)
            info.name = name[len(prefix):]
            if info.islnk():
                info.linkname = safe_name(info.linkname)[len(prefix):]
            if info.isreg():
                out.addfile(info, src.extractfile(member))
            else:
                out.addfile(info)
    return digest


def main(argv):
    if len(argv) != 2:
        print("usage: pack_bundle.py BUNDLE", file=sys.stderr)
        return 2
    bundle = argv[1]
    if not bundle:
        print("kelvarin_bundle is not set: the bundle folder or a .tar.gz of it, on the controller", file=sys.stderr)
        return 1
    tmp = tempfile.mkdtemp(prefix="kelvarin-pack.")
    tarball = os.path.join(tmp, "bundle.tar.gz")
    try:
        with tarfile.open(tarball, "w:gz", format=tarfile.GNU_FORMAT) as out:
            if os.path.isdir(bundle):
                digest = pack_folder(bundle, out)
            elif os.path.isfile(bundle) and bundle.endswith((".tar.gz", ".tgz")):
                digest = pack_archive(bundle, out)
            elif os.path.exists(bundle):
                raise BundleError(f"{bundle} is neither a bundle folder nor a .tar.gz of one")
            else:
                raise BundleError(f"{bundle}: no such bundle")
            marker = normalized(tarfile.TarInfo(MARKER))
            marker.size = 0
            marker.mtime = int(time.time())
            out.addfile(marker, io.BytesIO(b""))
    except (BundleError, OSError, tarfile.TarError) as e:
        shutil.rmtree(tmp, ignore_errors=True)
        print(f"kelvarin_bundle: {e}", file=sys.stderr)
        return 1
    print(json.dumps({"tmp": tmp, "tarball": tarball, "manifest_sha1": digest}))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
