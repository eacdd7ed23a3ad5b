// An RDI target library loaded the way a debugger loads one: dlopen, the WinRDI entry points,
// version negotiation and the procedure vector.
#pragma once

#include <string>

#include "tovrdi.h"

namespace tov::rdihost {

class RdiLibrary {
public:
    RdiLibrary() = default;
    ~RdiLibrary();
    RdiLibrary(const RdiLibrary&) = delete;
    RdiLibrary& operator=(const RdiLibrary&) = delete;

    // Loads the file, checks it and negotiates version 151. False with `error` set when the
    // file cannot be loaded or lacks an entry point.
    bool load(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    const RDI_ProcVec& vector() const { return *vector_; }
    const char* description() const { return description_(); }
    int version() const { return getVersion_(); }
    int config(RDI_ConfigPointer table) const { return config_(table, nullptr); }
    void registerYield(WinRDI_YieldProc* callback, WinRDI_YieldArg* arg) const {
        registerYield_(callback, arg);
    }

private:
    std::string path_;
    void* handle_ = nullptr;
    const RDI_ProcVec* vector_ = nullptr;
    decltype(&WinRDI_Get_DLL_Description) description_ = nullptr;
    decltype(&WinRDI_GetVersion) getVersion_ = nullptr;
    decltype(&WinRDI_Config) config_ = nullptr;
    decltype(&WinRDI_Register_Yield_Callback) registerYield_ = nullptr;
};

}  // namespace tov::rdihost
