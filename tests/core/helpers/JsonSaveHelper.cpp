// Saves parameters as a JSON file in this process, so that tests can do it as another user:
//
//   tarnix_json_save_helper record JSON          the record form (fingerFrequency 7)
//   tarnix_json_save_helper area SCHEMA JSON     the buffer form, from the area of the same record
//
// Exit code 0 when the file was saved; 1 with the error on standard error when it was not; 2 for bad usage.
#include "core/Serialization.h"
#include "core/TpError.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

Parameters Record()
{
    Parameters record;
    record.fingerFrequency = 7;
    return record;
}

int SaveRecord(const std::string& jsonPath)
{
    if (!Serialization::GetInstance().WriteParametersToJson(Record(), jsonPath)) {
        std::cerr << TpError::FailedToWriteJson().what() << "\n";
        return 1;
    }
    return 0;
}

int SaveArea(const std::string& schemaPath, const std::string& jsonPath)
{
    std::vector<unsigned char> area(Serialization::ParameterAreaSize, 0);
    unsigned int length = 0;
    Serialization::GetInstance().Serialize(Record(), area.data(), length);
    try {
        Serialization::GetInstance().WriteParametersToJson(
            reinterpret_cast<const char*>(area.data()), static_cast<unsigned int>(area.size()), schemaPath, jsonPath);
    } catch (const TpError::Exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 2 && arguments[0] == "record") {
        return SaveRecord(arguments[1]);
    }
    if (arguments.size() == 3 && arguments[0] == "area") {
        return SaveArea(arguments[1], arguments[2]);
    }
    std::cerr << "usage: tarnix_json_save_helper record JSON | area SCHEMA JSON\n";
    return 2;
}
