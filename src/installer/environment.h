// What root takes from the caller's environment.
#pragma once

#include <string>

// The commands root runs are searched for here, whatever PATH the caller had.
inline constexpr const char* SAFE_PATH = "/usr/sbin:/usr/bin:/sbin:/bin";

// Called first in main, before the locale is set and before any command:
// drops locale values that hold a path ("/"), so that no catalogue or locale
// data comes from outside; drops the variables that make a shell or the
// dynamic loader run other code (BASH_ENV, ENV, IFS, CDPATH, GCONV_PATH,
// LOCPATH, TERMINFO_DIRS, SHELLOPTS, BASHOPTS, LD_*, exported shell
// functions); sets PATH to SAFE_PATH. Everything else stays, TERM, HOME and
// the other locale variables included.
void clean_environment();

// Whether root may read the option library's alias file home/.popt: only
// when home is root's own (root_home, from the password database), and the
// file is root's and no one else can write it or change the way to it.
bool root_may_read_alias_file(const std::string& home, const std::string& root_home);
