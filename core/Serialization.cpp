#include "core/Serialization.h"

#include "core/FlatbufferSchemas.h"
#include "core/ParameterFields.h"
#include "core/SchemaBufferVerifier.h"
#include "core/TpError.h"
#include "core/Utility.h"
#include "core/tnxp_serialization_generated.h"

#include <flatbuffers/idl.h>
#include <flatbuffers/reflection.h>
#include <flatbuffers/util.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

namespace fb = tnxp_serialization;

namespace {

using flatbuffers::FlatBufferBuilder;
using flatbuffers::Table;
using flatbuffers::voffset_t;
using TableOffset = flatbuffers::Offset<void>;

constexpr char parametersIdentifier[] = "QTXS";
constexpr std::size_t identifierOffset = sizeof(flatbuffers::uoffset_t);
constexpr std::size_t identifierLength = flatbuffers::kFileIdentifierLength;
constexpr char jsonSuffix[] = ".json";

// ---- Building: members that are set are added, members that are not set are left out. ----

template <typename Scalar>
void AddValue(FlatBufferBuilder& builder, voffset_t field, const Scalar& value)
{
    builder.AddElement<Scalar>(field, value, 0);
}

void AddValue(FlatBufferBuilder& builder, voffset_t field, bool value)
{
    builder.AddElement<uint8_t>(field, value ? 1 : 0, 0);
}

// The buffer keeps the low 16 bits of each coordinate.
void AddValue(FlatBufferBuilder& builder, voffset_t field, const Vec2& value)
{
    const fb::Vec2 stored(static_cast<int16_t>(static_cast<uint16_t>(value.x)),
                          static_cast<int16_t>(static_cast<uint16_t>(value.y)));
    builder.AddStruct(field, &stored);
}

void AddValue(FlatBufferBuilder& builder, voffset_t field, const SnappingDistance& value)
{
    const fb::SnappingDistance stored(value.inner, value.outer);
    builder.AddStruct(field, &stored);
}

// Child tables first, in their building order (a table cannot be built while another one is open); a child
// that is not set stays a null offset, which AddOffset leaves out. Then the fields in the table's order.
template <typename Record>
TableOffset BuildTable(FlatBufferBuilder& builder, const Record& record)
{
    TableOffset children[ParameterFieldCount<Record>] = {};
    for (int order = 0; order < static_cast<int>(ParameterFieldCount<Record>); ++order) {
        std::size_t index = 0;
        ForEachParameterField<Record>([&](const auto& field) {
            const auto& value = record.*field.member;
            if constexpr (IsParameterTable<std::decay_t<decltype(*value)>>::value) {
                if (field.childOrder == order && value) {
                    children[index] = BuildTable(builder, *value);
                }
            }
            ++index;
        });
    }
    const auto start = builder.StartTable();
    std::size_t index = 0;
    ForEachParameterField<Record>([&](const auto& field) {
        const auto& value = record.*field.member;
        if constexpr (IsParameterTable<std::decay_t<decltype(*value)>>::value) {
            builder.AddOffset(field.slot, children[index]);
        } else if (value) {
            AddValue(builder, field.slot, *value);
        }
        ++index;
    });
    return TableOffset(builder.EndTable(start));
}

// ---- Reading a verified buffer: a field is set exactly when the buffer's vtable has an entry for it. ----

template <typename Value>
std::optional<Value> ReadValue(const Table& table, voffset_t field)
{
    if (!table.CheckField(field)) {
        return std::nullopt;
    }
    if constexpr (std::is_same_v<Value, bool>) {
        return table.GetField<uint8_t>(field, 0) != 0;
    } else {
        return table.GetField<Value>(field, 0);
    }
}

// Sign-extends the stored 16-bit coordinates.
template <>
std::optional<Vec2> ReadValue<Vec2>(const Table& table, voffset_t field)
{
    const auto* stored = table.GetStruct<const fb::Vec2*>(field);
    if (stored == nullptr) {
        return std::nullopt;
    }
    return Vec2{stored->x(), stored->y()};
}

template <>
std::optional<SnappingDistance> ReadValue<SnappingDistance>(const Table& table, voffset_t field)
{
    const auto* stored = table.GetStruct<const fb::SnappingDistance*>(field);
    if (stored == nullptr) {
        return std::nullopt;
    }
    return SnappingDistance{stored->inner(), stored->outer()};
}

template <typename Record>
void ReadTable(const Table& table, Record& record);

template <typename Record>
std::optional<Record> ReadChild(const Table& table, voffset_t field)
{
    const auto* child = table.GetPointer<const Table*>(field);
    if (child == nullptr) {
        return std::nullopt;
    }
    Record record;
    ReadTable(*child, record);
    return record;
}

// The record's child tables are always replaced by what the buffer holds; its other members only when the
// buffer has them (so that reading into a new record sets exactly the fields the buffer has).
template <typename Record>
void ReadTable(const Table& table, Record& record)
{
    ForEachParameterField<Record>([&](const auto& field) {
        auto& member = record.*field.member;
        using Value = std::decay_t<decltype(*member)>;
        if constexpr (IsParameterTable<Value>::value) {
            member = ReadChild<Value>(table, field.slot);
        } else if (auto value = ReadValue<Value>(table, field.slot)) {
            member = value;
        }
    });
}

// ---- Outside data ----

// A private, suitably aligned copy of an area handed in by a caller, so that the verified reads never depend
// on where the caller's bytes lie.
std::vector<uint8_t> CopyArea(const void* buffer, std::size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool HasIdentifier(const uint8_t* buffer, std::size_t size, const std::string& identifier)
{
    return identifier.size() == identifierLength && size >= identifierOffset + identifierLength &&
           std::memcmp(buffer + identifierOffset, identifier.data(), identifierLength) == 0;
}

bool HasIdentifier(const std::vector<uint8_t>& area, const std::string& identifier)
{
    return HasIdentifier(area.data(), area.size(), identifier);
}

// The identifier that buffers of a loaded schema file carry: the schema's own, or the parameter identifier
// when the schema declares none.
std::string SchemaIdentifier(const flatbuffers::Parser& parser)
{
    return parser.file_identifier_.empty() ? parametersIdentifier : parser.file_identifier_;
}

// Checks an area against the schema that a parser holds: the identifier first, then every offset and size
// against the area.
bool AreaMatchesSchema(flatbuffers::Parser& parser, const std::vector<uint8_t>& area)
{
    if (!HasIdentifier(area, SchemaIdentifier(parser))) {
        return false;
    }
    parser.Serialize();
    const reflection::Schema* schema = reflection::GetSchema(parser.builder_.GetBufferPointer());
    return schema->root_table() != nullptr &&
           SchemaBufferVerifier(*schema, area.data(), area.size()).VerifyRoot(*schema->root_table());
}

flatbuffers::IDLOptions ParserOptions(bool strictJson, bool forceDefaults)
{
    flatbuffers::IDLOptions options;
    options.strict_json = strictJson;
    options.force_defaults = forceDefaults;
    return options;
}

std::string WithJsonSuffix(std::string path)
{
    std::string suffix = jsonSuffix;
    if (!Utility::StringEndsWith(path, suffix, true)) {
        path += suffix;
    }
    return path;
}

bool WriteTextFile(const std::string& text, const std::string& path)
{
    return Utility::WriteTextFile(text.c_str(), static_cast<int>(text.size()), path.c_str());
}

// A whole text file of at most MaximumTextFileSize bytes; nothing when it is missing, empty, too large or
// holds a NUL (the parser stops at a NUL, so whatever follows it would go unchecked).
std::optional<std::string> ReadTextFile(const std::string& path)
{
    const int size = Utility::GetFileSize(path);
    std::string text;
    if (size <= 0 || size > Serialization::MaximumTextFileSize || !flatbuffers::LoadFile(path.c_str(), false, &text) ||
        text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

bool ParseEmbeddedSchema(flatbuffers::Parser& parser, const char* schemaText)
{
    return schemaText != nullptr && parser.Parse(schemaText, nullptr, nullptr);
}

bool IsDigit(char character) { return character >= '0' && character <= '9'; }

}  // namespace

Serialization& Serialization::GetInstance()
{
    static Serialization instance;
    return instance;
}

// ---- Buffer ----

void Serialization::Serialize(const Parameters& parameters, flatbuffers::FlatBufferBuilder& builder)
{
    builder.ForceDefaults(true);
    const TableOffset root = BuildTable(builder, parameters);
    fb::FinishParametersBuffer(builder, flatbuffers::Offset<fb::Parameters>(root.o));
}

void Serialization::Serialize(const Parameters& parameters, unsigned char* destination, unsigned int& length)
{
    flatbuffers::FlatBufferBuilder builder(1024);
    Serialize(parameters, builder);
    length = builder.GetSize();
    std::memcpy(destination, builder.GetBufferPointer(), length);
}

void Serialization::Deserialize(const unsigned char* buffer, Parameters& parameters, std::size_t areaSize)
{
    if (!TryDeserialize(buffer, areaSize, parameters)) {
        throw TpError::ParametersBufferMissingIdentifier();
    }
}

bool Serialization::TryDeserialize(const unsigned char* buffer, std::size_t areaSize, Parameters& parameters)
{
    if (buffer == nullptr) {
        return false;
    }
    const std::vector<uint8_t> area = CopyArea(buffer, areaSize);
    if (!HasIdentifier(area, parametersIdentifier)) {
        return false;
    }
    flatbuffers::Verifier verifier(area.data(), area.size());
    if (!fb::VerifyParametersBuffer(verifier)) {
        return false;
    }
    ReadTable(*flatbuffers::GetRoot<Table>(area.data()), parameters);
    return true;
}

// ---- Schema texts and files ----

std::pair<int, int> Serialization::GetSchemaVersion(const char* schemaText)
{
    static constexpr std::string_view marker = "Schema Version: ";
    const std::string_view text = schemaText != nullptr ? std::string_view(schemaText) : std::string_view();
    const std::size_t found = text.find(marker);
    if (found == std::string_view::npos) {
        return {0, 0};
    }
    // One digit each for major and minor, with one separator character between them that is not looked at.
    const std::size_t major = found + marker.size();
    const std::size_t minor = major + 2;
    if (minor >= text.size() || !IsDigit(text[major]) || !IsDigit(text[minor])) {
        return {0, 0};
    }
    return {std::stoi(std::string(1, text[major])), std::stoi(std::string(1, text[minor]))};
}

bool Serialization::LoadJson(flatbuffers::Parser& parser, const std::string& path)
{
    const std::optional<std::string> text = ReadTextFile(path);
    return text && parser.Parse(text->c_str(), nullptr, nullptr);
}

bool Serialization::WriteJsonFile(flatbuffers::Parser& parser, const std::string& path)
{
    if (parser.builder_.GetSize() == 0 || parser.root_struct_def_ == nullptr) {
        return false;
    }
    std::string text;
    const bool generated = flatbuffers::GenerateText(parser, parser.builder_.GetBufferPointer(), &text);
    return generated && WriteTextFile(text, WithJsonSuffix(path));
}

// ---- JSON parameter files ----

// A parameter file is exactly one JSON object of the schema's root type, after optional comments. Schema
// statements before or after it (another file identifier, types, a root type) would change what the parser
// builds, so the file is read as JSON only, never as a schema text.
bool Serialization::LoadJsonOfSchemaRoot(flatbuffers::Parser& parser, const std::string& path)
{
    if (parser.root_struct_def_ == nullptr) {
        return false;
    }
    const std::optional<std::string> text = ReadTextFile(path);
    return text && parser.ParseJson(text->c_str(), nullptr) && parser.builder_.GetSize() > 0;
}

// The first embedded schema text, in table order, that carries the asked version.
const char* Serialization::FindEmbeddedSchema(int major, int minor)
{
    for (const char* schemaText : FLATBUFFER_SCHEMAS) {
        if (GetSchemaVersion(schemaText) == std::make_pair(major, minor)) {
            return schemaText;
        }
    }
    return nullptr;
}

bool Serialization::WriteParametersToJson(const Parameters& parameters, const std::string& path)
{
    flatbuffers::Parser parser(ParserOptions(true, true));
    if (!ParseEmbeddedSchema(parser, FLATBUFFER_SCHEMAS[LATEST_FLATBUFFER_SCHEMA])) {
        return false;
    }
    Serialize(parameters, parser.builder_);
    return WriteJsonFile(parser, path);
}

void Serialization::WriteParametersToJson(const char* buffer, unsigned int length, const std::string& schemaPath,
                                          const std::string& jsonPath)
{
    // The verifier does not look inside bytes that a user's schema declares as nested buffers, so the text
    // generator must print them as plain bytes rather than follow their offsets.
    flatbuffers::IDLOptions options = ParserOptions(true, true);
    options.json_nested_flatbuffers = false;
    options.json_nested_flexbuffers = false;
    flatbuffers::Parser parser(options);
    if (!LoadJson(parser, schemaPath) || parser.root_struct_def_ == nullptr) {
        throw TpError::FailedToGetParameterSchema();
    }
    const std::vector<uint8_t> area = buffer != nullptr ? CopyArea(buffer, length) : std::vector<uint8_t>();
    if (!AreaMatchesSchema(parser, area)) {
        throw TpError::ParametersBufferMissingIdentifier();
    }
    std::string text;
    if (!flatbuffers::GenerateText(parser, area.data(), &text) || !WriteTextFile(text, jsonPath)) {
        throw TpError::FailedToWriteJson();
    }
}

void Serialization::GetParametersFromJson(Parameters& parameters, const std::string& path)
{
    flatbuffers::Parser parser(ParserOptions(false, true));
    if (!ParseEmbeddedSchema(parser, FLATBUFFER_SCHEMAS[LATEST_FLATBUFFER_SCHEMA])) {
        throw TpError::FailedToGetParameterSchema();
    }
    if (!LoadJsonOfSchemaRoot(parser, path) ||
        !TryDeserialize(parser.builder_.GetBufferPointer(), parser.builder_.GetSize(), parameters)) {
        throw TpError::FailedToLoadJsonFile();
    }
}

void Serialization::Serialize(const std::string& jsonPath, const std::string& schemaPath, char* destination,
                              unsigned int& length, std::size_t capacity)
{
    flatbuffers::Parser parser(ParserOptions(true, true));
    if (!LoadJson(parser, schemaPath)) {
        return;
    }
    const std::string identifier = SchemaIdentifier(parser);
    if (!LoadJsonOfSchemaRoot(parser, jsonPath)) {
        return;
    }
    // Whatever the file held, only a buffer that the sensor's area reader will recognise is handed out.
    const std::size_t size = parser.builder_.GetSize();
    if (size > capacity || !HasIdentifier(parser.builder_.GetBufferPointer(), size, identifier)) {
        return;
    }
    std::memcpy(destination, parser.builder_.GetBufferPointer(), size);
    length = static_cast<unsigned int>(size);
}

// ---- Field names ----

std::vector<std::string> Serialization::GetAllFieldNamesForParameterVersion(int major, int minor)
{
    const char* schemaText = FindEmbeddedSchema(major, minor);
    if (schemaText == nullptr) {
        throw TpError::FailedToGetParameterSchema();
    }
    return GetAllSchemaFieldNames(schemaText);
}

std::vector<std::string> Serialization::GetAllSchemaFieldNames(const char* schemaText)
{
    flatbuffers::Parser parser(ParserOptions(false, false));
    if (!ParseEmbeddedSchema(parser, schemaText)) {
        throw TpError::FailedToGetParameterSchema();
    }
    parser.Serialize();
    const reflection::Schema* schema = reflection::GetSchema(parser.builder_.GetBufferPointer());
    if (schema->root_table() == nullptr) {
        throw TpError::FailedToGetParameterSchema();
    }
    std::vector<std::string> names;
    RecursiveFieldNamesReflection(schema->root_table(), schema, "", names);
    return names;
}

void Serialization::RecursiveFieldNamesReflection(const reflection::Object* object, const reflection::Schema* schema,
                                                  std::string prefix, std::vector<std::string>& names)
{
    std::vector<const reflection::Object*> enclosing;
    CollectFieldNames(object, schema, prefix, enclosing, names);
}

// A table may refer to itself (directly or through others); such a field is listed by its own name instead
// of being followed forever.
void Serialization::CollectFieldNames(const reflection::Object* object, const reflection::Schema* schema,
                                      const std::string& prefix, std::vector<const reflection::Object*>& enclosing,
                                      std::vector<std::string>& names)
{
    enclosing.push_back(object);
    for (const reflection::Field* field : *object->fields()) {
        const std::string name = prefix + field->name()->str();
        const reflection::Object* child =
            field->type()->base_type() == reflection::Obj ? schema->objects()->Get(field->type()->index()) : nullptr;
        if (child != nullptr && std::find(enclosing.begin(), enclosing.end(), child) == enclosing.end()) {
            CollectFieldNames(child, schema, name + ".", enclosing, names);
        } else {
            names.push_back(name);
        }
    }
    enclosing.pop_back();
}
