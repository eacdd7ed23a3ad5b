// A semihosting root with files beside it, and the names a program tries on it: those leading
// out of the root (by "..", absolute names, links out, dangling links, missing folders followed
// by "..") must fail and leave everything outside as it was; those inside must work.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace tov::test {

struct RootCase {
    std::string operation;  // read, write, remove or rename
    std::string name;
    std::string other;  // the new name of a rename
    bool inside;        // true: works; false: refused
    std::string line() const { return operation + " " + name + (other.empty() ? "" : " " + other); }
};

// base/outside holds secret and keep; base/root holds inside.txt, sub/file.txt and the links
// in -> sub, out -> ../outside, absout -> base/outside (absolute), dangle -> ../outside/created,
// dangle_in -> sub/created_in.
class RootLayout {
public:
    explicit RootLayout(const std::filesystem::path& base) : base_(base) {
        namespace fs = std::filesystem;
        fs::remove_all(base_);
        fs::create_directories(base_ / "outside");
        fs::create_directories(root() / "sub");
        put(base_ / "outside" / "secret", "secret\n");
        put(base_ / "outside" / "keep", "keep\n");
        put(root() / "inside.txt", "inside\n");
        put(root() / "sub" / "file.txt", "sub file\n");
        fs::create_directory_symlink("sub", root() / "in");
        fs::create_directory_symlink("../outside", root() / "out");
        fs::create_directory_symlink(base_ / "outside", root() / "absout");
        fs::create_symlink("../outside/created", root() / "dangle");
        fs::create_symlink("sub/created_in", root() / "dangle_in");
    }
    ~RootLayout() { std::filesystem::remove_all(base_); }

    std::filesystem::path root() const { return base_ / "root"; }

    // In the order they are tried: the last ones change the root.
    std::vector<RootCase> cases() const {
        const std::string out = (base_ / "outside").string();
        return {
            {"read", "../outside/secret", "", false},
            {"read", out + "/secret", "", false},
            {"read", "out/secret", "", false},
            {"read", "absout/secret", "", false},
            {"read", "none/../out/secret", "", false},
            {"read", "in/../../outside/secret", "", false},
            {"write", "../outside/new", "", false},
            {"write", out + "/new", "", false},
            {"write", "out/new", "", false},
            {"write", "absout/new", "", false},
            {"write", "dangle", "", false},
            {"write", "none/../out/new", "", false},
            {"write", "none/../../outside/new", "", false},
            {"remove", "../outside/keep", "", false},
            {"remove", out + "/keep", "", false},
            {"remove", "out/keep", "", false},
            {"remove", "absout/keep", "", false},
            {"remove", "none/../out/keep", "", false},
            {"remove", "..", "", false},
            {"remove", ".", "", false},
            {"remove", "sub/..", "", false},
            {"rename", "inside.txt", "../outside/moved", false},
            {"rename", "inside.txt", "out/moved", false},
            {"rename", "inside.txt", "none/../out/moved", false},
            {"rename", "inside.txt", out + "/moved", false},
            {"rename", "../outside/keep", "stolen", false},
            {"rename", "out/keep", "stolen", false},
            {"rename", "none/../out/keep", "stolen", false},
            {"read", "inside.txt", "", true},
            {"read", "in/file.txt", "", true},
            {"read", "sub/../inside.txt", "", true},
            {"write", "new.txt", "", true},
            {"write", "in/new.txt", "", true},
            {"write", "dangle_in", "", true},
            {"rename", "new.txt", "in/renamed.txt", true},
            {"remove", "in/renamed.txt", "", true},
            // The link itself goes; where it leads stays.
            {"remove", "out", "", true},
        };
    }

    // Every entry beside the root with its contents or link target, to compare before and after.
    std::string outside() const {
        namespace fs = std::filesystem;
        std::ostringstream text;
        for (auto it = fs::recursive_directory_iterator(base_); it != fs::end(it); ++it) {
            if (it->path() == root()) {
                it.disable_recursion_pending();
                continue;
            }
            text << it->path().string() << ' ';
            if (it->is_symlink()) {
                text << "-> " << fs::read_symlink(it->path()).string();
            } else if (it->is_regular_file()) {
                std::ifstream in(it->path(), std::ios::binary);
                text << std::string(std::istreambuf_iterator<char>(in), {});
            }
            text << '\n';
        }
        return text.str();
    }

    // What the inside cases leave in the root.
    bool insideDone() const {
        namespace fs = std::filesystem;
        return fs::exists(root() / "sub" / "created_in") &&
               fs::exists(root() / "sub" / "new.txt") && !fs::exists(root() / "new.txt") &&
               !fs::exists(root() / "sub" / "renamed.txt") &&
               !fs::exists(fs::symlink_status(root() / "out")) && fs::exists(root() / "inside.txt");
    }

private:
    static void put(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::filesystem::path base_;
};

}  // namespace tov::test
