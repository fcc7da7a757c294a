// Who may change the bundle's tools. The installer runs them as root, so a
// tool, the bundle folder and every folder on the way from / to them must be
// owned by root (or by the user who started the installer through sudo) and
// writable by no one else. Folders above the bundle may be shared ones with
// the sticky bit (/tmp): others may add entries there but not replace ours.
#pragma once

#include <sys/types.h>

#include <string>

// What lets someone else change tool, a path relative to the bundle folder
// root: a text naming the file, who can write it and the fix. Empty when
// only root or the user `trusted` can, and when the tool is missing (then
// nothing runs). Symbolic links are followed only while they stay inside
// the bundle; every folder a link is looked up in is checked as well.
std::string bundle_tool_problem(const std::string& root, const std::string& tool, uid_t trusted);

// The user who started the installer through sudo (SUDO_UID, a plain
// decimal number), or root when there is none.
uid_t sudo_user();

// Before the first bundle tool: every tool the main sequence may run, from
// the current folder (the bundle). Ends the run with Error(1) on a problem.
void check_bundle_trust();

// The same for one tool, right before it is started.
void require_trusted_tool(const char* tool);
