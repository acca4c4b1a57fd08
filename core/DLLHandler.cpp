#include "core/DLLHandler.h"

using tarnix::platform::SharedLibrary;

DLLHandler& DLLHandler::GetInstance()
{
    static DLLHandler instance;
    return instance;
}

bool DLLHandler::GetDLLHandle(Module* module, const char* fileName)
{
    *module = SharedLibrary::Load(fileName);
    return true;
}

bool DLLHandler::GetFunctionPointer(const SharedLibrary* module, void** function, const char* exportName)
{
    *function = module != nullptr ? module->FindExport(exportName) : nullptr;
    return true;
}
