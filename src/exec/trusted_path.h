// Whether a file path is root's alone: whether anyone but root can change
// where it leads, or what lies at its end, while root and its tools use it.
#pragma once

#include <string>

enum class PathTrust {
    Trusted,      // only root can change it; the file exists (a regular file) or not
    Writable,     // `where`, a folder on the way, can be written by others
    NotRoots,     // `where`, in a shared folder, is not root's own file, folder or link
    HardLinked,   // the file, in a shared folder, has more than one name
    Link,         // the file is a symbolic link
    NotRegular,   // the file is not a regular file (a folder, a FIFO, a device)
    Unreadable,   // the path cannot be followed: `error` says why (a link loop)
};

struct PathVerdict {
    PathTrust trust = PathTrust::Trusted;
    std::string where;    // the folder or entry concerned
    int error = 0;        // errno, for Unreadable
    bool exists = false;  // Trusted: the file is there
    bool shared = false;  // Trusted: it lies in a shared folder (see below)
};

// Follows path as the kernel would, from the root folder (a relative path
// from the working directory), links included, and judges every folder in
// which a name is looked up. A folder that someone other than root can write
// makes the path untrusted, except a shared folder: one with the sticky bit
// (as /tmp), where only an entry's owner can remove or rename it, so its
// entries must be root's own (and the file have no other name). A path that
// ends before the file (a missing folder, a file where a folder should be)
// is Trusted: nothing can be written there, and only root could change that
// unless the path ends in a shared folder (Writable).
PathVerdict check_file_path(const std::string& path);
