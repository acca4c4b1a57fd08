#pragma once

#include "core/Parameters.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace flatbuffers {
class FlatBufferBuilder;
class Parser;
}  // namespace flatbuffers

namespace reflection {
struct Object;
struct Schema;
}  // namespace reflection

// Converts between the Parameters record, the binary parameter buffer that a sensor keeps in its flash
// parameter area, and JSON parameter files. Stateless; one process-wide instance.
//
// A parameter area read from a sensor is outside data: every read of it is verified against the area's size
// before any field is looked at, and an area that does not hold a well-formed buffer is refused.
class Serialization {
public:
    // Size of the sensor's flash parameter area; a parameter buffer never extends beyond it.
    static constexpr std::size_t ParameterAreaSize = 2048;
    // Parameter and schema files are a few kilobytes; anything beyond this is refused unread.
    static constexpr int MaximumTextFileSize = 1024 * 1024;

    static Serialization& GetInstance();

    Serialization(const Serialization&) = delete;
    Serialization& operator=(const Serialization&) = delete;

    // Builds the parameter buffer of the record into the builder and finishes it with the identifier.
    void Serialize(const Parameters& parameters, flatbuffers::FlatBufferBuilder& builder);
    // Builds the buffer and copies it to the destination (a parameter-area sized buffer); length receives its
    // size.
    void Serialize(const Parameters& parameters, unsigned char* destination, unsigned int& length);
    // Builds a buffer from a JSON file read with a schema file. The file must hold one JSON object and nothing
    // else but comments; the buffer carries the schema's identifier (the parameter identifier when the schema
    // declares none). Only success sets length and copies the buffer; a file that cannot be loaded, a buffer
    // without that identifier, or one larger than capacity, leaves both untouched.
    void Serialize(const std::string& jsonPath, const std::string& schemaPath, char* destination, unsigned int& length,
                   std::size_t capacity = ParameterAreaSize);

    // Fills the record from a parameter buffer that lies within areaSize bytes. Throws
    // TpError::ParametersBufferMissingIdentifier, leaving the record untouched, when the buffer lacks the
    // identifier or does not verify within the area.
    void Deserialize(const unsigned char* buffer, Parameters& parameters, std::size_t areaSize = ParameterAreaSize);

    // The (major, minor) version named by the schema text's version marker; (0, 0) without one.
    std::pair<int, int> GetSchemaVersion(const char* schemaText);

    // Feeds a whole text file (a schema or a JSON file) to the parser; true when it parsed.
    bool LoadJson(flatbuffers::Parser& parser, const std::string& path);
    // Writes the buffer in the parser's builder as JSON; ".json" is appended to a path without it.
    bool WriteJsonFile(flatbuffers::Parser& parser, const std::string& path);

    // Saves the record as a JSON file with the program's own schema; false when it could not be written.
    bool WriteParametersToJson(const Parameters& parameters, const std::string& path);
    // Saves a raw parameter area of `length` bytes as a JSON file, through the given schema file. Throws
    // TpError::FailedToGetParameterSchema (schema file not loadable), TpError::ParametersBufferMissingIdentifier
    // (area without a valid buffer) or TpError::FailedToWriteJson; in every case no file is written.
    void WriteParametersToJson(const char* buffer, unsigned int length, const std::string& schemaPath,
                               const std::string& jsonPath);
    // Fills the record from a JSON file read with the program's own schema. Throws
    // TpError::FailedToGetParameterSchema or TpError::FailedToLoadJsonFile; on failure the record is untouched.
    void GetParametersFromJson(Parameters& parameters, const std::string& path);

    // Dotted names of every leaf field of the embedded schema of the given version, in reflection order.
    std::vector<std::string> GetAllFieldNamesForParameterVersion(int major, int minor);
    std::vector<std::string> GetAllSchemaFieldNames(const char* schemaText);
    void RecursiveFieldNamesReflection(const reflection::Object* object, const reflection::Schema* schema,
                                       std::string prefix, std::vector<std::string>& names);

private:
    Serialization() = default;
    ~Serialization() = default;

    const char* FindEmbeddedSchema(int major, int minor);
    bool LoadJsonOfSchemaRoot(flatbuffers::Parser& parser, const std::string& path);
    bool TryDeserialize(const unsigned char* buffer, std::size_t areaSize, Parameters& parameters);
    void CollectFieldNames(const reflection::Object* object, const reflection::Schema* schema,
                           const std::string& prefix, std::vector<const reflection::Object*>& enclosing,
                           std::vector<std::string>& names);
};
