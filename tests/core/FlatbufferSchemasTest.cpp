#include "core/ApplicationInformation.h"
#include "core/FlatbufferSchemas.h"
#include "core/Serialization.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct SchemaFile {
    std::pair<int, int> version;
    std::string text;
};

// The schema files of the source tree with the version their names give, sorted by that version.
std::vector<SchemaFile> SchemaFilesInSourceTree()
{
    const std::regex name("tnxp_serialization_([0-9]+)_([0-9]+)\\.fbs");
    std::vector<SchemaFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TARNIX_SOURCE_DIR) + "/core/schemas")) {
        std::smatch match;
        const std::string fileName = entry.path().filename().string();
        if (std::regex_match(fileName, match, name)) {
            std::ostringstream text;
            text << std::ifstream(entry.path()).rdbuf();
            files.push_back({{std::stoi(match[1]), std::stoi(match[2])}, text.str()});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const SchemaFile& a, const SchemaFile& b) { return a.version < b.version; });
    return files;
}

TEST(EmbeddedSchemas, AreTheSchemaFilesOfTheSourceTreeOldestFirst)
{
    const std::vector<SchemaFile> files = SchemaFilesInSourceTree();
    ASSERT_EQ(FLATBUFFER_SCHEMA_COUNT, files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(FLATBUFFER_SCHEMAS[i], files[i].text) << i;
        EXPECT_EQ(Serialization::GetInstance().GetSchemaVersion(FLATBUFFER_SCHEMAS[i]), files[i].version) << i;
    }
}

TEST(EmbeddedSchemas, TheLatestIsTheHighestVersionAndTheOneTheProgramSupports)
{
    const SchemaFile latest = SchemaFilesInSourceTree().back();
    EXPECT_EQ(FLATBUFFER_SCHEMAS[LATEST_FLATBUFFER_SCHEMA], latest.text);
    EXPECT_EQ(std::make_pair(LATEST_SCHEMA_MAJOR, LATEST_SCHEMA_MINOR), latest.version);
    const ApplicationInformation& application = ApplicationInformation::GetApplicationInformation();
    EXPECT_EQ(application.supportedParametersVersionMajor, static_cast<std::uint32_t>(latest.version.first));
    EXPECT_EQ(application.supportedParametersVersionMinor, static_cast<std::uint32_t>(latest.version.second));
}

}  // namespace
