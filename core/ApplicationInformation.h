#pragma once

#include <cstdint>
#include <string>

// The program's identity: its name, its version and the parameter schema version it supports. There is
// one record per process, reached through GetApplicationInformation(); nobody changes it.
class ApplicationInformation {
public:
    static const ApplicationInformation& GetApplicationInformation();

    // The four version numbers joined by dots, followed by the suffix ("1.1.1.0").
    std::string GetVersionText() const;

    std::string applicationName;
    std::string versionSuffix;  // shown right after the four version numbers
    std::uint32_t supportedParametersVersionMajor = 0;
    std::uint32_t supportedParametersVersionMinor = 0;
    std::uint32_t versionMajor = 0;
    std::uint32_t versionMinor = 0;
    std::uint32_t versionPatch = 0;
    std::uint32_t versionBuild = 0;

private:
    ApplicationInformation() = default;
};
