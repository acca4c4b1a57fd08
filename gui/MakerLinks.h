#pragma once

// The maker's web addresses that the desktop application links to.
namespace MakerLinks {

constexpr const char* makerSite = "https://www.morvel.example";
constexpr const char* makerSiteName = "www.morvel.example";
constexpr const char* supportSite = "https://support.morvel.example";
constexpr const char* parameterDocumentation = "https://support.morvel.example/tarnix/user-guide/parameters";
constexpr const char* supportMail = "support@morvel.example";

}  // namespace MakerLinks
