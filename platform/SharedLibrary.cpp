#include "platform/SharedLibrary.h"

#include "platform/SystemServices.h"

#include <dlfcn.h>

namespace tarnix::platform {

namespace {
bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

std::string SharedLibrary::ResolvePath(const std::string& fileName)
{
    std::string name = fileName;
    if (EndsWith(name, ".dll") || EndsWith(name, ".DLL")) {
        name = name.substr(0, name.size() - 4) + ".so";
    }
    if (name.find('/') != std::string::npos) {
        return name;
    }
    return SystemServices::ExecutableFolder() + "/" + name;
}

std::unique_ptr<SharedLibrary> SharedLibrary::Load(const std::string& fileName)
{
    void* module = ::dlopen(ResolvePath(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return nullptr;
    }
    return std::make_unique<SharedLibrary>(Key(), module);
}

SharedLibrary::SharedLibrary(Key, void* handle) : module(handle) {}

SharedLibrary::~SharedLibrary() { ::dlclose(module); }

void* SharedLibrary::FindExport(const std::string& exportName) const { return ::dlsym(module, exportName.c_str()); }

}  // namespace tarnix::platform
