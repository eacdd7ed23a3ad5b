// Loading and checking an RDI target library.
#include "rdi_library.h"

#include <dlfcn.h>

#include <filesystem>

namespace tov::rdihost {
namespace {

template <typename Fn>
bool bind(void* handle, const char* name, Fn& out, std::string& error) {
    out = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!out) error = std::string("the library has no entry point ") + name;
    return out != nullptr;
}

// A bare file name is looked for in the library folder beside this program's folder first
// (the build's and an installation's layout), then the way dlopen searches.
std::string located(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path().parent_path() / "lib" / name;
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    return name;
}

}  // namespace

RdiLibrary::~RdiLibrary() {
    if (handle_) dlclose(handle_);
}

bool RdiLibrary::load(const std::string& path, std::string& error) {
    path_ = located(path);
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle_) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    decltype(&WinRDI_Valid_RDI_DLL) valid = nullptr;
    decltype(&WinRDI_SetVersion) setVersion = nullptr;
    decltype(&WinRDI_GetRDIProcVec) getVector = nullptr;
    if (!bind(handle_, "WinRDI_Valid_RDI_DLL", valid, error) ||
        !bind(handle_, "WinRDI_SetVersion", setVersion, error) ||
        !bind(handle_, "WinRDI_GetVersion", getVersion_, error) ||
        !bind(handle_, "WinRDI_Get_DLL_Description", description_, error) ||
        !bind(handle_, "WinRDI_Register_Yield_Callback", registerYield_, error) ||
        !bind(handle_, "WinRDI_GetRDIProcVec", getVector, error) ||
        !bind(handle_, "WinRDI_Config", config_, error)) {
        return false;
    }
    if (!valid()) {
        error = path + " is not a valid RDI library";
        return false;
    }
    setVersion(151);
    vector_ = getVector();
    if (!vector_) {
        error = path + " has no procedure vector";
        return false;
    }
    return true;
}

}  // namespace tov::rdihost
