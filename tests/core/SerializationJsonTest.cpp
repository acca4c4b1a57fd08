#include "core/FlatbufferSchemas.h"
#include "core/Serialization.h"
#include "core/TpError.h"
#include "tests/core/SerializationTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using SerializationTestSupport::FullRecord;
using tarnix::test::TemporaryFolder;

namespace {

Serialization& serialization = Serialization::GetInstance();

constexpr char smallRecordJson[] =
    "{\n  \"deviceConfiguration\": {\n    \"reflectiveEdge\": false\n  },\n  \"fingerFrequency\": 0\n}\n";

Parameters SmallRecord()
{
    Parameters record;
    record.deviceConfiguration.emplace().reflectiveEdge = false;
    record.fingerFrequency = 0;
    return record;
}

std::vector<char> AreaOf(const Parameters& parameters)
{
    std::vector<char> area(Serialization::ParameterAreaSize, 0);
    unsigned int length = 0;
    serialization.Serialize(parameters, reinterpret_cast<unsigned char*>(area.data()), length);
    return area;
}

class JsonFiles : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string schemaPath = folder.Write("params.fbs", TNXP_SERIALIZATION_1_1_FBS);

    Parameters Load(const std::string& name)
    {
        Parameters record;
        serialization.GetParametersFromJson(record, folder.File(name));
        return record;
    }
};

TEST_F(JsonFiles, RecordIsSavedInTheGeneratorsTextFormat)
{
    ASSERT_TRUE(serialization.WriteParametersToJson(SmallRecord(), folder.File("small.json")));
    EXPECT_EQ(folder.Read("small.json"), smallRecordJson);

    Parameters frequencyOnly;
    frequencyOnly.fingerFrequency = 0;
    ASSERT_TRUE(serialization.WriteParametersToJson(frequencyOnly, folder.File("one.json")));
    EXPECT_EQ(folder.Read("one.json"), "{\n  \"fingerFrequency\": 0\n}\n");
}

TEST_F(JsonFiles, EmptyAndFullRecordsRoundTrip)
{
    for (const Parameters& record : {Parameters{}, FullRecord(), SmallRecord()}) {
        ASSERT_TRUE(serialization.WriteParametersToJson(record, folder.File("record.json")));
        EXPECT_EQ(Load("record.json"), record) << folder.Read("record.json");
    }
}

TEST_F(JsonFiles, SavedPathsAlwaysEndInLowerCaseJson)
{
    const std::string longest = std::string(250, 'n') + ".json";  // the longest name a folder entry may have
    for (const std::string& name :
         {std::string("plain"), std::string("named.json"), std::string("capitals.JSON"), longest}) {
        ASSERT_TRUE(serialization.WriteParametersToJson(SmallRecord(), folder.File(name))) << name;
    }
    EXPECT_EQ(folder.Names(),
              (std::set<std::string>{"params.fbs", "plain.json", "named.json", "capitals.JSON.json", longest}));
}

TEST_F(JsonFiles, FailedSaveKeepsTheEarlierFileAndLeavesNothingBehind)
{
    EXPECT_FALSE(serialization.WriteParametersToJson(SmallRecord(), folder.File("missing/folder/out.json")));
    folder.Write("kept.json", "earlier");
    std::filesystem::create_directory(folder.File("kept.json.json"));
    EXPECT_FALSE(serialization.WriteParametersToJson(SmallRecord(), folder.File("kept.json.json")));
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"params.fbs", "kept.json", "kept.json.json"}));

    ASSERT_TRUE(serialization.WriteParametersToJson(SmallRecord(), folder.File("kept.json")));
    EXPECT_EQ(folder.Read("kept.json"), smallRecordJson);
}

// Both forms of saving write a private file through a link to it and leave it private.
TEST_F(JsonFiles, SavingThroughALinkKeepsTheLinkAndThePermissions)
{
    const auto area = AreaOf(SmallRecord());
    const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> forms = {
        {"record form",
         [](const std::string& path) { return serialization.WriteParametersToJson(SmallRecord(), path); }},
        {"buffer form",
         [&](const std::string& path) {
             serialization.WriteParametersToJson(area.data(), area.size(), schemaPath, path);
             return true;
         }},
    };
    for (const auto& [name, save] : forms) {
        folder.Write("private.json", "earlier");
        std::filesystem::permissions(folder.File("private.json"), std::filesystem::perms(0600));
        std::filesystem::remove(folder.File("link.json"));
        std::filesystem::create_symlink("private.json", folder.File("link.json"));
        ASSERT_TRUE(save(folder.File("link.json"))) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.json"))) << name;
        EXPECT_EQ(folder.Read("private.json"), smallRecordJson) << name;
        EXPECT_EQ(std::filesystem::status(folder.File("private.json")).permissions(), std::filesystem::perms(0600))
            << name;
        EXPECT_EQ(folder.Names(), (std::set<std::string>{"params.fbs", "private.json", "link.json"})) << name;
    }
}

TEST_F(JsonFiles, LenientFilesLoad)
{
    folder.Write("lenient.json", "// written by hand\n{ fingerFrequency: -2, geometry: { peakCount: 3, }, }");
    Parameters expected;
    expected.fingerFrequency = -2;
    expected.geometry.emplace().peakCount = 3;
    EXPECT_EQ(Load("lenient.json"), expected);
    folder.Write("bom.json", "\xEF\xBB\xBF{\"idleFrequency\": 0}");
    EXPECT_EQ(Load("bom.json").idleFrequency, 0);
}

TEST_F(JsonFiles, BadFilesAreRefusedWithoutTouchingTheRecord)
{
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty", ""},
        {"truncated", "{\"fingerFrequency\": 1"},
        {"non-UTF-8 name", "{\"finger\xFF\": 1}"},
        {"non-UTF-8 outside strings", "{\xC3\"fingerFrequency\": 1}"},
        {"deeply nested", "{\"fingerFrequency\": " + std::string(100000, '[') + std::string(100000, ']') + "}"},
        {"huge", "{" + std::string(Serialization::MaximumTextFileSize, ' ') + "}"},
        {"wrong type", "{\"geometry\": 5}"},
        {"text for a number", "{\"fingerFrequency\": \"many\"}"},
        {"fraction for an integer", "{\"fingerFrequency\": 1.5}"},
        {"unknown field", "{\"fingerFrequency\": 1, \"colour\": 2}"},
        {"ushort out of range", "{\"deviceConfiguration\": {\"sizeRestriction\": {\"maxSize\": 70000}}}"},
        {"short out of range", "{\"idleFrequency\": -40000}"},
        {"incomplete struct", "{\"deviceConfiguration\": {\"hidDisplaySize\": {\"x\": 1}}}"},
        {"field twice", "{\"idleFrequency\": 1, \"idleFrequency\": 2}"},
        {"two objects", "{\"idleFrequency\": 1}{\"idleFrequency\": 2}"},
        {"NUL inside", std::string("{\"idleFrequency\": 1}\0{", 22)},
        {"declarations only", "table Extra { a:int; }"},
        {"another root", "root_type tnxp_serialization.ClickOnTouch; {\"distance\": 3}"},
    };
    for (const auto& [name, content] : files) {
        folder.Write("bad.json", content);
        Parameters held = SmallRecord();
        EXPECT_THROW(serialization.GetParametersFromJson(held, folder.File("bad.json")), TpError::FailedToLoadJsonFile)
            << name;
        EXPECT_EQ(held, SmallRecord()) << name;
    }
    Parameters held;
    EXPECT_THROW(serialization.GetParametersFromJson(held, folder.File("absent.json")), TpError::FailedToLoadJsonFile);
    EXPECT_THROW(serialization.GetParametersFromJson(held, folder.File("")), TpError::FailedToLoadJsonFile);
}

TEST_F(JsonFiles, JsonFileWithSchemaFileBuildsTheSameBufferAsTheRecord)
{
    ASSERT_TRUE(serialization.WriteParametersToJson(FullRecord(), folder.File("full.json")));
    char destination[Serialization::ParameterAreaSize] = {};
    unsigned int length = 0;
    serialization.Serialize(folder.File("full.json"), schemaPath, destination, length);
    ASSERT_GT(length, 0u);
    Parameters result;
    serialization.Deserialize(reinterpret_cast<unsigned char*>(destination), result);
    EXPECT_EQ(result, FullRecord());
}

TEST_F(JsonFiles, JsonFileWithSchemaFileThatFailsLeavesLengthAndDestination)
{
    folder.Write("unquoted.json", "{fingerFrequency: 1}");
    folder.Write("good.json", smallRecordJson);
    folder.Write("broken.fbs", "table Parameters { a:int");
    const std::vector<std::pair<std::string, std::string>> attempts = {
        {"unquoted.json", schemaPath},
        {folder.File("absent.json"), schemaPath},
        {"good.json", folder.File("absent.fbs")},
        {"good.json", folder.File("broken.fbs")},
        {"good.json", folder.File("good.json")},
    };
    for (const auto& [json, schema] : attempts) {
        char destination[Serialization::ParameterAreaSize] = {'x'};
        unsigned int length = 7;
        serialization.Serialize(folder.File(json), schema, destination, length);
        EXPECT_EQ(length, 7u) << json << " " << schema;
        EXPECT_EQ(destination[0], 'x') << json << " " << schema;
    }
    char small[16] = {'x'};
    unsigned int length = 0;
    serialization.Serialize(folder.File("good.json"), schemaPath, small, length, sizeof small);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(small[0], 'x');
}

// Schema statements in a JSON file would change what the parser builds (another identifier, more types);
// a parameter file is one JSON object, optionally after comments, and nothing else.
TEST_F(JsonFiles, SchemaStatementsAroundTheObjectAreRefusedByBothReaders)
{
    const std::string object = "{\"fingerFrequency\": 300}";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"file_identifier", "file_identifier \"ABCD\"; " + object},
        {"same root_type", "root_type tnxp_serialization.Parameters; " + object},
        {"namespace", "namespace tnxp_serialization; " + object},
        {"table", "table Extra { a:int; } " + object},
        {"include", "include \"" + schemaPath + "\"; " + object},
        {"attribute", "attribute \"priority\"; " + object},
        {"file_extension", "file_extension \"bin\"; " + object},
        {"statement after the object", object + " file_identifier \"ABCD\";"},
    };
    for (const auto& [name, content] : files) {
        folder.Write("statements.json", content);
        char destination[Serialization::ParameterAreaSize] = {'x'};
        unsigned int length = 0;
        serialization.Serialize(folder.File("statements.json"), schemaPath, destination, length);
        EXPECT_EQ(length, 0u) << name << ": identifier " << std::string(destination + 4, 4);
        EXPECT_EQ(destination[0], 'x') << name;
        Parameters held;
        EXPECT_THROW(serialization.GetParametersFromJson(held, folder.File("statements.json")),
                     TpError::FailedToLoadJsonFile)
            << name;
    }
    // Comments before and after the object are no statements.
    folder.Write("commented.json", "// saved by hand\n/* block */ " + object + " // end\n");
    char destination[Serialization::ParameterAreaSize] = {};
    unsigned int length = 0;
    serialization.Serialize(folder.File("commented.json"), schemaPath, destination, length);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(destination + 4, 4), "QTXS");
}

// The built buffer carries the identifier that the schema file declares, or the parameter identifier when it
// declares none; a buffer without it would read back as corrupt.
TEST_F(JsonFiles, JsonFormBuildsOnlyBuffersWithTheSchemasIdentifier)
{
    const std::string json = folder.Write("one.json", "{\"a\": 5}");
    const auto build = [&](const std::string& schemaText) {
        std::vector<char> destination(Serialization::ParameterAreaSize, 0);
        unsigned int length = 0;
        serialization.Serialize(json, folder.Write("user.fbs", schemaText), destination.data(), length);
        return length == 0 ? std::string() : std::string(destination.data() + 4, 4);
    };
    EXPECT_EQ(build("file_identifier \"QTXS\"; table T { a:int; } root_type T;"), "QTXS");
    EXPECT_EQ(build("file_identifier \"WXYZ\"; table T { a:int; } root_type T;"), "WXYZ");
    EXPECT_EQ(build("table T { a:int; } root_type T;"), "");
}

TEST_F(JsonFiles, RawAreaIsWrittenThroughTheSchemaFile)
{
    const auto area = AreaOf(SmallRecord());
    serialization.WriteParametersToJson(area.data(), area.size(), schemaPath, folder.File("area"));
    EXPECT_EQ(folder.Read("area"), smallRecordJson);

    // A buffer written from a JSON file is followed by erased flash.
    std::vector<char> erased(Serialization::ParameterAreaSize, '\xFF');
    unsigned int length = 0;
    serialization.Serialize(folder.Write("in.json", smallRecordJson), schemaPath, erased.data(), length);
    serialization.WriteParametersToJson(erased.data(), erased.size(), schemaPath, folder.File("erased"));
    EXPECT_EQ(folder.Read("erased"), smallRecordJson);
}

// The verifier does not look inside nested buffers: their bytes must be printed, never followed.
TEST_F(JsonFiles, RawAreaWithNestedBufferOfAUserSchemaIsPrintedAsBytes)
{
    const std::string schema = folder.Write("nested.fbs",
                                            "file_identifier \"QTXS\"; table Inner { a:int; }\n"
                                            "table Outer { blob:[ubyte] (nested_flatbuffer: \"Inner\"); }\n"
                                            "root_type Outer;");
    // Root table at 16 with its one-field vtable at 8; the field points to a vector at 24 whose four bytes
    // claim a nested root far outside the area.
    std::vector<char> area = {16, 0, 0, 0, 'Q', 'T', 'X', 'S', 6, 0, 8, 0, 4, 0, 0, 0,
                              8,  0, 0, 0, 4,   0,   0,   0,   4, 0, 0, 0, 0, 0, 0, 0x7F};
    area.resize(Serialization::ParameterAreaSize, 0);
    serialization.WriteParametersToJson(area.data(), area.size(), schema, folder.File("nested.json"));
    EXPECT_EQ(folder.Read("nested.json"), "{\n  \"blob\": [\n    0,\n    0,\n    0,\n    127\n  ]\n}\n");
}

TEST_F(JsonFiles, RawAreaWriteRefusesBadInputAndWritesNothing)
{
    auto pastEnd = AreaOf(FullRecord());
    pastEnd[1] = 0x7F;  // root offset beyond the area
    for (const auto& area : {std::vector<char>(Serialization::ParameterAreaSize, '\xFF'),
                             std::vector<char>(Serialization::ParameterAreaSize, 0), pastEnd}) {
        EXPECT_THROW(serialization.WriteParametersToJson(area.data(), area.size(), schemaPath, folder.File("out")),
                     TpError::ParametersBufferMissingIdentifier);
    }
    const auto good = AreaOf(FullRecord());
    EXPECT_THROW(
        serialization.WriteParametersToJson(good.data(), good.size(), folder.File("none.fbs"), folder.File("out")),
        TpError::FailedToGetParameterSchema);
    EXPECT_THROW(serialization.WriteParametersToJson(good.data(), good.size(), schemaPath, folder.File("missing/out")),
                 TpError::FailedToWriteJson);
    EXPECT_EQ(folder.Names(), std::set<std::string>{"params.fbs"});
}

// The helper that saves parameters in a process of its own, started behind a command that sets its
// circumstances (another user, a limit).
tarnix::test::ToolRun RunSaveHelper(std::vector<std::string> command, const std::vector<std::string>& arguments,
                                    const TemporaryFolder& scratch)
{
    command.push_back((tarnix::test::TestBinaryFolder() / "tarnix_json_save_helper").string());
    command.insert(command.end(), arguments.begin(), arguments.end());
    return tarnix::test::RunCommand(command, scratch);
}

// A save that fails part-way (here: the file-size limit is reached) leaves the earlier file whole.
TEST_F(JsonFiles, SaveThatFailsPartWayKeepsTheEarlierFile)
{
    TemporaryFolder scratch;
    const std::string path = folder.Write("kept.json", "earlier");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"record", path}, std::vector<std::string>{"area", schemaPath, path}}) {
        // The limit's signal is ignored, so that the write itself reports the failure.
        const std::vector<std::string> limited = {"sh", "-c",      "trap '' XFSZ; exec \"$@\"",
                                                  "sh", "prlimit", "--fsize=8"};
        const tarnix::test::ToolRun run = RunSaveHelper(limited, arguments, scratch);
        EXPECT_EQ(run.exitCode, 1) << arguments[0];  // its message is cut short by the same limit
        EXPECT_EQ(folder.Read("kept.json"), "earlier") << arguments[0];
        EXPECT_EQ(folder.Names(), (std::set<std::string>{"params.fbs", "kept.json"})) << arguments[0];
    }
}

// Saving as an unprivileged user: root may write any file, so refusals are seen only as another user. The
// helper saves in a process of its own, started through setpriv as nobody.
class JsonSaveAsUser : public JsonFiles {
protected:
    static constexpr uid_t nobody = 65534;

    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "starting a process as another user needs root";
        }
        namespace fs = std::filesystem;
        fs::permissions(folder.Path(), fs::perms(0755));
        fs::permissions(schemaPath, fs::perms(0644));
        fs::create_directory(folder.File("open"));
        fs::permissions(folder.File("open"), fs::perms(0777));
        fs::create_directory(folder.File("closed"));
        fs::permissions(folder.File("closed"), fs::perms(0755));
        if (RunAsNobody({}).exitCode != 2) {
            GTEST_SKIP() << "the user nobody cannot run the helper from the build folder";
        }
    }

    tarnix::test::ToolRun RunAsNobody(const std::vector<std::string>& arguments)
    {
        return RunSaveHelper({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, arguments, scratch);
    }

    // The helper's two ways of saving to the path.
    std::vector<std::vector<std::string>> BothForms(const std::string& path)
    {
        return {{"record", path}, {"area", schemaPath, path}};
    }

    // A file with the given owner and mode that holds "earlier".
    std::string Prepare(const std::string& name, uid_t owner, std::filesystem::perms mode)
    {
        const std::string path = folder.Write(name, "earlier");
        EXPECT_EQ(::chown(path.c_str(), owner, owner), 0);
        std::filesystem::permissions(path, mode);
        return path;
    }

    static struct stat StatusOf(const std::string& path)
    {
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
        return status;
    }

    tarnix::test::TemporaryFolder scratch;
};

TEST_F(JsonSaveAsUser, FileTheUserMayNotWriteIsRefusedUntouched)
{
    const std::vector<std::tuple<std::string, uid_t, std::filesystem::perms>> files = {
        {"open/roots.json", 0, std::filesystem::perms(0644)},
        {"open/read-only.json", nobody, std::filesystem::perms(0444)},
    };
    for (const auto& [name, owner, mode] : files) {
        const std::string path = Prepare(name, owner, mode);
        for (const auto& arguments : BothForms(path)) {
            const tarnix::test::ToolRun run = RunAsNobody(arguments);
            EXPECT_EQ(run.exitCode, 1) << name << " " << arguments[0];
            EXPECT_EQ(run.err, "Failed to write json file.\n") << name << " " << arguments[0];
            EXPECT_EQ(folder.Read(name), "earlier") << name << " " << arguments[0];
            EXPECT_EQ(StatusOf(path).st_uid, owner) << name;
            EXPECT_EQ(StatusOf(path).st_mode & 07777, static_cast<mode_t>(mode)) << name;
        }
    }
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder.File("open")), std::filesystem::directory_iterator()),
        2);
}

TEST_F(JsonSaveAsUser, WritableFileInAFolderWithoutRightsIsSavedInPlace)
{
    const std::string path = Prepare("closed/mine.json", nobody, std::filesystem::perms(0600));
    for (const auto& arguments : BothForms(path)) {
        folder.Write("closed/mine.json", "earlier");
        const tarnix::test::ToolRun run = RunAsNobody(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments[0] << ": " << run.err;
        EXPECT_EQ(folder.Read("closed/mine.json"), "{\n  \"fingerFrequency\": 7\n}\n") << arguments[0];
        EXPECT_EQ(StatusOf(path).st_uid, nobody);
        EXPECT_EQ(StatusOf(path).st_mode & 07777, 0600u);
    }
    // A new file needs a folder that allows one.
    for (const auto& arguments : BothForms(folder.File("closed/new.json"))) {
        EXPECT_EQ(RunAsNobody(arguments).exitCode, 1) << arguments[0];
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("closed")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(SchemaVersion, ReadsOneDigitEachAfterTheMarker)
{
    EXPECT_EQ(serialization.GetSchemaVersion(TNXP_SERIALIZATION_1_0_FBS), std::make_pair(1, 0));
    EXPECT_EQ(serialization.GetSchemaVersion(TNXP_SERIALIZATION_1_1_FBS), std::make_pair(1, 1));
    EXPECT_EQ(serialization.GetSchemaVersion("// Schema Version: 1.10"), std::make_pair(1, 1));
    EXPECT_EQ(serialization.GetSchemaVersion("// Schema Version: 3_7 x"), std::make_pair(3, 7));
    EXPECT_EQ(serialization.GetSchemaVersion("table A {}"), std::make_pair(0, 0));
    EXPECT_EQ(serialization.GetSchemaVersion("Schema Version: 1."), std::make_pair(0, 0));
    EXPECT_EQ(serialization.GetSchemaVersion("Schema Version: x.y"), std::make_pair(0, 0));
}

TEST(FieldNames, ListsEveryLeafInReflectionOrder)
{
    const std::vector<std::string> newer = serialization.GetAllFieldNamesForParameterVersion(1, 1);
    const std::vector<std::string> expected = {"deviceConfiguration.clickOnTouch.distance",
                                               "deviceConfiguration.clickOnTouch.enabled",
                                               "deviceConfiguration.clickOnTouch.timeToUp",
                                               "deviceConfiguration.doubleClickPrevention.enabled",
                                               "deviceConfiguration.doubleClickPrevention.preventionRadius",
                                               "deviceConfiguration.doubleClickPrevention.preventionTime",
                                               "deviceConfiguration.floatingProtection.enabled",
                                               "deviceConfiguration.floatingProtection.time",
                                               "deviceConfiguration.hidDisplaySize.x",
                                               "deviceConfiguration.hidDisplaySize.y",
                                               "deviceConfiguration.numberOfReportedTouches",
                                               "deviceConfiguration.reflectiveEdge",
                                               "deviceConfiguration.sizeRestriction.maxSize",
                                               "deviceConfiguration.sizeRestriction.maxSizeEnabled",
                                               "deviceConfiguration.sizeRestriction.minSize",
                                               "deviceConfiguration.sizeRestriction.minSizeEnabled",
                                               "deviceConfiguration.snappingFilter.bottom.inner",
                                               "deviceConfiguration.snappingFilter.bottom.outer",
                                               "deviceConfiguration.snappingFilter.enabled",
                                               "deviceConfiguration.snappingFilter.left.inner",
                                               "deviceConfiguration.snappingFilter.left.outer",
                                               "deviceConfiguration.snappingFilter.right.inner",
                                               "deviceConfiguration.snappingFilter.right.outer",
                                               "deviceConfiguration.snappingFilter.top.inner",
                                               "deviceConfiguration.snappingFilter.top.outer",
                                               "deviceConfiguration.subTouchActiveArea.flipXY",
                                               "deviceConfiguration.subTouchActiveArea.max.x",
                                               "deviceConfiguration.subTouchActiveArea.max.y",
                                               "deviceConfiguration.subTouchActiveArea.min.x",
                                               "deviceConfiguration.subTouchActiveArea.min.y",
                                               "deviceConfiguration.subTouchActiveArea.offset.x",
                                               "deviceConfiguration.subTouchActiveArea.offset.y",
                                               "deviceConfiguration.subTouchActiveArea.reverseX",
                                               "deviceConfiguration.subTouchActiveArea.reverseY",
                                               "fingerFrequency",
                                               "geometry.peakCount",
                                               "geometry.sensorCount",
                                               "geometry.sourceCount",
                                               "i2cAddress",
                                               "idleFrequency",
                                               "operationMode.detection",
                                               "operationMode.detectionHid",
                                               "systemEnabled"};
    EXPECT_EQ(newer, expected);

    // The older list is the newer one without the fields only the newer version has.
    std::vector<std::string> older;
    for (const std::string& name : expected) {
        const bool newerOnly = name.find("snappingFilter") != std::string::npos ||
                               name.find("doubleClickPrevention") != std::string::npos ||
                               name.find("operationMode") != std::string::npos || name == "i2cAddress" ||
                               name == "systemEnabled";
        if (!newerOnly) {
            older.push_back(name);
        }
    }
    ASSERT_EQ(older.size(), 27u);
    EXPECT_EQ(serialization.GetAllFieldNamesForParameterVersion(1, 0), older);
}

TEST(FieldNames, UnknownVersionsAndUnusableSchemasAreRefused)
{
    EXPECT_THROW(serialization.GetAllFieldNamesForParameterVersion(1, 2), TpError::FailedToGetParameterSchema);
    EXPECT_THROW(serialization.GetAllFieldNamesForParameterVersion(0, 0), TpError::FailedToGetParameterSchema);
    EXPECT_THROW(serialization.GetAllSchemaFieldNames("table A { a:int; }"), TpError::FailedToGetParameterSchema);
    EXPECT_THROW(serialization.GetAllSchemaFieldNames("table A { a:int"), TpError::FailedToGetParameterSchema);
    // A table that contains itself is listed without following it forever.
    EXPECT_EQ(serialization.GetAllSchemaFieldNames("table Node { next:Node; value:int; } root_type Node;"),
              (std::vector<std::string>{"next", "value"}));
}

}  // namespace
