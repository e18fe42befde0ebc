#pragma once
// A path of any length, as the kernel can take it: an open folder and a name below it.
// The kernel refuses paths of PATH_MAX bytes or more, yet folders go deeper than that;
// every call that takes a path therefore takes a PathAt and uses the *at form of the
// system call (fstatat, openat, renameat2, readlinkat). A short path costs nothing: its
// folder is the current directory and its name the whole path. A long one opens its
// folder part piece by piece, each piece well below the limit, and holds that folder
// open (as O_PATH) for as long as it lives.

#include <string>
#include <string_view>

namespace platform {

class PathAt
{
public:
    explicit PathAt(std::string_view path);
    ~PathAt();
    PathAt(const PathAt&) = delete;
    PathAt& operator=(const PathAt&) = delete;

    // False when the folder part of a long path could not be opened (errno is set);
    // the system calls then fail as they would for the path itself.
    bool ok() const { return m_ok; }
    int dir() const { return m_dir; }
    const char* name() const { return m_name.c_str(); }

    // Opens the folder part of an absolute or relative path (`path` without its last
    // component) as O_PATH; -1 with errno set on failure. Links along it are followed,
    // as the kernel follows them in a path.
    static int openFolderPart(std::string_view folder);

private:
    int m_dir;
    bool m_owned = false;
    bool m_ok = true;
    std::string m_name;
};

} // namespace platform
