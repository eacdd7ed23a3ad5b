// The folder a target program's host file names are taken in, with the kernel keeping every
// name beneath it.
#pragma once

#include <string>

namespace tov::semihost {

// Without a root, names are the host's own, as the program gives them. With one, the folder is
// opened once and every name is resolved beneath it by the kernel (openat2 with
// RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS): "..", an absolute name, or a link that leads out of
// it fails, whether or not the parts after it exist. Where the kernel cannot resolve names that
// way, or the folder cannot be opened, every operation fails: the root holds and says why.
// Results follow the C library: a descriptor or 0 on success, -1 with errno set on failure (a
// name leading out gives EACCES).
class FileRoot {
public:
    FileRoot() = default;
    FileRoot(const FileRoot&) = delete;
    FileRoot& operator=(const FileRoot&) = delete;
    ~FileRoot();

    // Takes `folder` as the root ("" for none). Returns the reason the root cannot be used
    // (then every operation fails), or "".
    std::string set(const std::string& folder);
    bool confined() const { return !folder_.empty(); }
    // Why a root that was set cannot be used, or "".
    const std::string& problem() const { return problem_; }

    // open(2) of a name with the given flags (O_CREAT files get mode 0666 less the umask); the
    // descriptor is closed on exec.
    int open(const std::string& name, int flags) const;
    // Removes a file, or an empty folder, as remove(3) does; a link is removed itself.
    int remove(const std::string& name) const;
    int rename(const std::string& from, const std::string& to) const;

private:
    // A descriptor of the folder that holds the name's last part, and that part; -1 when the
    // folder leads out, or the part is empty, "." or "..".
    int openParent(const std::string& name, std::string& last) const;
    // openat2 beneath the root; -1 with errno EACCES for a name leading out.
    int openBeneath(const std::string& name, int flags) const;
    void release();

    std::string folder_;
    std::string problem_;
    int descriptor_ = -1;
};

}  // namespace tov::semihost
