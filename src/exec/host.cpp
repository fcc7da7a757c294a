#include "exec/file.h"
#include "exec/host.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "exec/command.h"
#include "exec/log.h"
#include "exec/paths.h"
#include "exec/text.h"
#include "screens/screen.h"

namespace {

constexpr unsigned long ISOFS_MAGIC = 0x9660;
constexpr unsigned long EXT_MAGIC = 0xEF53;
constexpr unsigned long REISERFS_MAGIC = 0x52654973;
constexpr unsigned long GFS2_MAGIC = 0x01161970;

// Candidates of find_dir_up live in a buffer of this size.
constexpr std::size_t DIR_BUF = 1024;


char* dup_string(const std::string& s) {
    return strdup(s.c_str());
}

// A command cut to its buffer would be a different command (a cut path
// under "rm -rf" names a parent directory), so a long one is not run.
bool fits(const std::string& cmd) {
    if (cmd.size() < TEXT_BUF)
        return true;
    write_log("Command too long (%zu bytes), not run: %.200s...\n", cmd.size(), cmd.c_str());
    return false;
}

// A missing path is no command at all.
bool given(std::initializer_list<const char*> args) {
    for (const char* a : args)
        if (!a) {
            write_log("Command not run: a path is missing\n");
            return false;
        }
    return true;
}

int run_fitting(const std::string& cmd) {
    return fits(cmd) ? execCmd(cmd.c_str()) : -1;
}

char* mount_lookup(const char* table, const char* path, MountField field) {
    if (!path)
        return nullptr;
    FilePtr f(std::fopen(table, "r"));
    if (!f)
        return nullptr;
    return mount_stream_lookup(f.get(), path, field);
}

// Type of the file system holding path, or 0 (logged) when it cannot be read.
bool fs_magic(const char* path, unsigned long* magic) {
    struct statfs st {};
    if (statfs(path, &st) != 0) {
        write_log("Can't statfs: %s %s.\n", std::strerror(errno), path);
        return false;
    }
    *magic = static_cast<unsigned long>(st.f_type);
    return true;
}

// False also when the machine name cannot be read.
bool machine_is_x86_64() {
    struct utsname u {};
    return uname(&u) == 0 && std::strcmp(u.machine, "x86_64") == 0;
}

// sed script text: '/' would end the s command early (and let the rest be
// read as flags or commands), '&' would stand for the match.
std::string sed_escape(const std::string& s, bool replacement) {
    std::string out;
    for (char c : s) {
        if (c == '/' || (replacement && c == '&'))
            out += '\\';
        out += c;
    }
    return out;
}

// Names and values go inside single quotes and through the echo of
// /bin/sh, which would expand backslashes: such text cannot be written as given.
bool param_text_ok(const char* s) {
    return s && !std::strpbrk(s, "'\\\n");
}

}  // namespace

FILE* openTemp() {
    char name[] = "/tmp/cvinstall.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        Error(1, _("The temporary file '%s' could not be created: %s"), name, std::strerror(errno));
    FILE* f = fdopen(fd, "w+");
    if (!f) {
        const int err = errno;
        close(fd);
        unlink(name);
        Error(1, _("The temporary file '%s' could not be created: %s"), name, std::strerror(err));
    }
    // Nameless from now on: the file goes away with the stream.
    unlink(name);
    return f;
}

char* readTrimmedLines(FILE* file) {
    if (!file)
        return nullptr;
    // A stream that cannot seek (a pipe) is read from where it stands.
    std::rewind(file);
    std::string text;
    char* line = nullptr;
    std::size_t cap = 0;
    ssize_t n;
    while ((n = getline(&line, &cap, file)) >= 0) {
        // Up to a NUL the line is text; what follows it never was.
        const char* rest = line;
        while (*rest == ' ' || *rest == '\t')
            ++rest;
        text += rest;
        text += '\n';
    }
    std::free(line);
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out)
        std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

void swapfd(int fd1, int fd2) {
    const int spare = dup(fd1);
    if (spare < 0)
        return;
    dup2(fd2, fd1);
    dup2(spare, fd2);
    close(spare);
}

char* find_dir_up(const char* start, const char* name) {
    if (!start || !name)
        return nullptr;
    std::string prefix = start;
    for (std::size_t slash = prefix.rfind('/'); slash != std::string::npos;
         slash = slash == 0 ? std::string::npos : prefix.rfind('/', slash - 1)) {
        const std::string candidate = prefix.substr(0, slash + 1) + name;
        // A cut candidate would name another directory: skip it instead.
        if (candidate.size() >= DIR_BUF)
            continue;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return dup_string(candidate);
    }
    return nullptr;
}

// The mount table is read in pieces of at most 4094 characters, as the
// lines of /proc/mounts never come near; a longer line's rest is a line of
// its own. Only the first occurrence of path in a line is tested.
char* mount_stream_lookup(FILE* table, const char* path, MountField field) {
    if (!table || !path)
        return nullptr;
    const std::size_t plen = std::strlen(path);
    char line[TEXT_BUF];
    while (std::fgets(line, TEXT_BUF - 1, table)) {
        char* space = std::strchr(line, ' ');
        if (!space)
            continue;
        char* match = std::strstr(space + 1, path);
        if (!match || match[plen] != ' ')
            continue;
        if (field == MountField::device) {
            *space = '\0';
            return strdup(line);
        }
        char* type = match + plen + 1;
        char* end = std::strchr(type, ' ');
        if (!end)
            continue;
        *end = '\0';
        return strdup(type);
    }
    return nullptr;
}

char* mount_table_device(const char* table, const char* path) {
    return mount_lookup(table, path, MountField::device);
}

char* mount_table_fs_type(const char* table, const char* path) {
    return mount_lookup(table, path, MountField::fs_type);
}

char* get_cd_dev(const char* path) {
    return mount_table_device("/proc/mounts", path);
}

char* get_fs_type(const char* path) {
    return mount_table_fs_type("/proc/mounts", path);
}

int is_isofs(const char* path) {
    unsigned long magic = 0;
    return fs_magic(path, &magic) && magic == ISOFS_MAGIC ? 1 : 0;
}

int is_nonlocal(const char* path) {
    unsigned long magic = 0;
    if (!fs_magic(path, &magic))
        return 0;
    return magic == EXT_MAGIC || magic == REISERFS_MAGIC || magic == GFS2_MAGIC ? 0 : 1;
}

int set_param(const char* conf, const char* var, const char* val) {
    if (!conf || !param_text_ok(var) || !*var || !param_text_ok(val)) {
        write_log("set_param: refusing an empty name, or a name or value with a quote, backslash or line "
                  "break, for %s\n",
                  conf ? conf : "(null)");
        return -1;
    }
    const std::string file = shell_arg(conf);
    const std::string v = var;
    const std::string sv = sed_escape(v, false);
    const std::string rv = sed_escape(v, true);
    const std::string rval = sed_escape(val, true);
    const std::string script =
        strfmt("(if ! grep -q '^%s' %s 2>/dev/null; then\n\techo '%s=%s' >> %s\nelse\n\tcp -ap %s %s.tmp\n"
               "\tsed -e 's/^%s[ =].*/%s=%s/' < %s > %s.tmp && mv -f %s.tmp %s\nfi) > /dev/null",
               v.c_str(), file.c_str(), v.c_str(), val, file.c_str(), file.c_str(), file.c_str(), sv.c_str(),
               rv.c_str(), rval.c_str(), file.c_str(), file.c_str(), file.c_str(), file.c_str());
    if (!fits(script))
        return -1;
    return std::system(script.c_str());
}

void do_umount(const char* cmd, const char* rpmdir) {
    if (!given({cmd}))
        return;
    char* mpoint = rpmdir ? get_cd_mpoint(rpmdir) : nullptr;
    const std::string line = mpoint ? strfmt("%s %s > /dev/null 2>&1", cmd, shell_arg(mpoint).c_str())
                                    : strfmt("%s /mnt/cdrom > /dev/null 2>&1", cmd);
    std::free(mpoint);
    if (fits(line))
        std::system(line.c_str());
}

int untar(const char* from, const char* to) {
    // With "cd X;" a missing X would unpack into the current directory and
    // still report success.
    if (!given({from, to}))
        return -1;
    if (check_directory(to) != 0) {
        write_log("untar: %s is not a directory, %s not unpacked\n", to, from);
        return -1;
    }
    return run_fitting(strfmt("cd %s; tar -zxf  %s 2>/dev/null", shell_arg(to).c_str(), shell_arg(from).c_str()));
}

int copy_file(const char* from, const char* to) {
    if (!given({from, to}))
        return -1;
    return run_fitting(strfmt("/bin/cp -f %s %s", shell_arg(from).c_str(), shell_arg(to).c_str()));
}

int makedir(const char* name) {
    if (!given({name}))
        return -1;
    return run_fitting(strfmt("mkdir -p %s", shell_arg(name).c_str()));
}

int removedir(const char* name) {
    if (!given({name}))
        return -1;
    return run_fitting(strfmt("/bin/rm -rf %s", shell_arg(name).c_str()));
}

int remove_directory(const char* path) {
    if (!given({path}))
        return -1;
    return run_fitting(strfmt("/bin/rm -rf  %s", shell_arg(path).c_str()));
}

int copy_files_array(const char** copy_files, const char* dest_path) {
    if (!copy_files)
        return 0;
    const std::string dest = dest_path ? shell_arg(dest_path) : "";
    for (const char** f = copy_files; *f; ++f) {
        if (check_file(*f) != 0)
            continue;
        if (!given({dest_path}))
            return 1;
        if (run_fitting(strfmt("/bin/cp %s  %s", shell_arg(*f).c_str(), dest.c_str())) != 0)
            return 1;
    }
    return 0;
}

int check_make() {
    return execCmd("type make 2>&1") == 0 ? 1 : 0;
}

int check_gcc() {
    return execCmd("type gcc 2>&1") == 0 ? 1 : 0;
}

int check_kernel_sources() {
    struct utsname u {};
    if (uname(&u) != 0)
        return 1;
    static const char* const templates[] = {
        "/lib/modules/%s/build/include/linux/version.h",
        "/lib/modules/%s/build/include/generated/uapi/linux/version.h",
        "/usr/src/linux-%s/include/linux/version.h",
    };
    for (const char* tmpl : templates) {
        const std::string path = bfmt(TEXT_BUF, tmpl, u.release);
        write_log("check kernel %s\n", path.c_str());
        if (check_file(path.c_str()) == 0)
            return 1;
        write_log("check kernel %s not found\n", path.c_str());
    }
    return 0;
}

int check_ia32_support() {
    return execCmd("PATH=/sbin:/usr/sbin${PATH:+:$PATH} ;  file -L `ldconfig -p | grep \"/libc\\.so\" | "
                   "sed -e 's/^.* => //'` 2>/dev/null | grep -q 'ELF 32-bit'");
}

int arch_x86_64() {
    return machine_is_x86_64() ? 1 : 0;
}

int check_debian_x64() {
    if (check_file("/etc/lsb-release") != 0)
        return 1;
    return machine_is_x86_64() ? 0 : 1;
}
