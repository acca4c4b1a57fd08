#include "core/ApplicationInformation.h"

#include "core/FlatbufferSchemas.h"

const ApplicationInformation& ApplicationInformation::GetApplicationInformation()
{
    // Built once, on first use (thread-safe), and kept until the process ends.
    static const ApplicationInformation appInformation = [] {
        ApplicationInformation information;
        information.applicationName = "Tarnix Programmer";
        information.versionSuffix = "";
        information.supportedParametersVersionMajor = LATEST_SCHEMA_MAJOR;
        information.supportedParametersVersionMinor = LATEST_SCHEMA_MINOR;
        information.versionMajor = 1;
        information.versionMinor = 1;
        information.versionPatch = 1;
        information.versionBuild = 0;
        return information;
    }();
    return appInformation;
}

std::string ApplicationInformation::GetVersionText() const
{
    return std::to_string(versionMajor) + "." + std::to_string(versionMinor) + "." + std::to_string(versionPatch) +
           "." + std::to_string(versionBuild) + versionSuffix;
}
