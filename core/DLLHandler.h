#pragma once

#include "core/DfuseTypes.h"
#include "platform/SharedLibrary.h"

#include <memory>
#include <utility>

// Loads the DFU libraries at run time by bare file name and looks their exports up by name. Stateless; one
// process-wide instance.
class DLLHandler {
public:
    using Module = std::unique_ptr<tarnix::platform::SharedLibrary>;

    static DLLHandler& GetInstance();

    DLLHandler(const DLLHandler&) = delete;
    DLLHandler& operator=(const DLLHandler&) = delete;

    // Loads the library into `module`; always true, the module stays empty when the library is missing.
    bool GetDLLHandle(Module* module, const char* fileName);
    // Looks an export up; always true, `function` is null when the module or the export is missing.
    bool GetFunctionPointer(const tarnix::platform::SharedLibrary* module, void** function, const char* exportName);

    // Looks the export up and calls it with the arguments. True exactly when the export exists and answers
    // the success code.
    template <typename Function, typename... Arguments>
    bool CallExport(const Module& module, const char* exportName, Arguments&&... arguments)
    {
        void* address = nullptr;
        GetFunctionPointer(module.get(), &address, exportName);
        if (address == nullptr) {
            return false;
        }
        const auto function = reinterpret_cast<Function>(address);
        return function(std::forward<Arguments>(arguments)...) == Dfuse::SuccessCode;
    }

private:
    DLLHandler() = default;
};
