// Loading and checking an RDI target library.
#include "rdi_library.h"

#include <dlfcn.h>

namespace tov::rdihost {
namespace {

template <typename Fn>
bool bind(void* handle, const char* name, Fn& out, std::string& error) {
    out = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!out) error = std::string("the library has no entry point ") + name;
    return out != nullptr;
}

}  // namespace

RdiLibrary::~RdiLibrary() {
    if (handle_) dlclose(handle_);
}

bool RdiLibrary::load(const std::string& path, std::string& error) {
    path_ = path;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
