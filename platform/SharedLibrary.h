#pragma once

#include <memory>
#include <string>

namespace tarnix::platform {

// A library loaded at run time. A bare Windows-style name such as "STDFU.dll" names our shared object
// "STDFU.so" in the program's own folder, which is where the program looks first.
class SharedLibrary {
public:
    // nullptr when the library cannot be found or loaded.
    static std::unique_ptr<SharedLibrary> Load(const std::string& fileName);

    struct Key {  // only Load makes libraries
    private:
        Key() = default;
        friend class SharedLibrary;
    };
    SharedLibrary(Key, void* module);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported function, or nullptr when the library has no such export.
    void* FindExport(const std::string& exportName) const;

    // The file that a bare library name stands for.
    static std::string ResolvePath(const std::string& fileName);

private:
    void* module;
};

}  // namespace tarnix::platform
