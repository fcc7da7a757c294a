// Names of users and groups, read from the account files themselves.
//
// The release program carries its own C library, whose getpwuid() and
// getgrgid() load the host's name-service modules for an id the files do not
// know, and crash when those come from another build of the library. Reading
// the files covers root and the local accounts without loading anything.
#pragma once

#include <string>

inline constexpr const char* PASSWD_FILE = "/etc/passwd";
inline constexpr const char* GROUP_FILE = "/etc/group";

// Name of the first entry of an account file (name:x:id:...) whose third
// field is id; empty when the file cannot be read or holds no such entry.
std::string account_name(const char* file, unsigned long id);
