// The built libtovrdi.so, loaded with dlopen as a debugger loads it.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "include/tovrdi.h"

namespace tov::test {

class LoadedRdiLibrary {
public:
    LoadedRdiLibrary() : path_(std::string(TOV_LIB_DIR) + "/libtovrdi.so") {
        // Kept mapped after dlclose, so that what its globals still hold at the end is not
        // taken for a leak.
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    }
    ~LoadedRdiLibrary() {
        if (handle_) dlclose(handle_);
    }
    bool loaded() const { return handle_ != nullptr; }
    const std::string& path() const { return path_; }
    template <typename Fn>
    Fn* entry(const char* name) const {
        return reinterpret_cast<Fn*>(dlsym(handle_, name));
    }
    const RDI_ProcVec& vector() const {
        return *entry<decltype(WinRDI_GetRDIProcVec)>("WinRDI_GetRDIProcVec")();
    }

private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace tov::test
