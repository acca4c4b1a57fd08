#include "core/Serialization.h"

#include "core/FlatbufferSchemas.h"
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
void AddScalar(FlatBufferBuilder& builder, voffset_t field, const std::optional<Scalar>& value)
{
    if (value) {
        builder.AddElement<Scalar>(field, *value, 0);
    }
}

void AddBool(FlatBufferBuilder& builder, voffset_t field, const std::optional<bool>& value)
{
    if (value) {
        builder.AddElement<uint8_t>(field, *value ? 1 : 0, 0);
    }
}

// The buffer keeps the low 16 bits of each coordinate.
void AddVec2(FlatBufferBuilder& builder, voffset_t field, const std::optional<Vec2>& value)
{
    if (value) {
        const fb::Vec2 stored(static_cast<int16_t>(static_cast<uint16_t>(value->x)),
                              static_cast<int16_t>(static_cast<uint16_t>(value->y)));
        builder.AddStruct(field, &stored);
    }
}

void AddSnappingDistance(FlatBufferBuilder& builder, voffset_t field, const std::optional<SnappingDistance>& value)
{
    if (value) {
        const fb::SnappingDistance stored(value->inner, value->outer);
        builder.AddStruct(field, &stored);
    }
}

// A child table that was not built is a null offset, which AddOffset leaves out.
template <typename Record, typename Build>
TableOffset BuildIfSet(FlatBufferBuilder& builder, const std::optional<Record>& record, Build build)
{
    return record ? build(builder, *record) : TableOffset();
}

TableOffset BuildSubTouchActiveArea(FlatBufferBuilder& builder, const SubTouchActiveArea& area)
{
    const auto start = builder.StartTable();
    AddVec2(builder, fb::SubTouchActiveArea::VT_MAX, area.max);
    AddVec2(builder, fb::SubTouchActiveArea::VT_MIN, area.min);
    AddVec2(builder, fb::SubTouchActiveArea::VT_OFFSET, area.offset);
    AddBool(builder, fb::SubTouchActiveArea::VT_REVERSEX, area.reverseX);
    AddBool(builder, fb::SubTouchActiveArea::VT_REVERSEY, area.reverseY);
    AddBool(builder, fb::SubTouchActiveArea::VT_FLIPXY, area.flipXY);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildSizeRestriction(FlatBufferBuilder& builder, const SizeRestriction& restriction)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::SizeRestriction::VT_MAXSIZEENABLED, restriction.maxSizeEnabled);
    AddScalar(builder, fb::SizeRestriction::VT_MAXSIZE, restriction.maxSize);
    AddBool(builder, fb::SizeRestriction::VT_MINSIZEENABLED, restriction.minSizeEnabled);
    AddScalar(builder, fb::SizeRestriction::VT_MINSIZE, restriction.minSize);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildFloatingProtection(FlatBufferBuilder& builder, const FloatingProtection& protection)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::FloatingProtection::VT_ENABLED, protection.enabled);
    AddScalar(builder, fb::FloatingProtection::VT_TIME, protection.time);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildGeometry(FlatBufferBuilder& builder, const Geometry& geometry)
{
    const auto start = builder.StartTable();
    AddScalar(builder, fb::Geometry::VT_SOURCECOUNT, geometry.sourceCount);
    AddScalar(builder, fb::Geometry::VT_SENSORCOUNT, geometry.sensorCount);
    AddScalar(builder, fb::Geometry::VT_PEAKCOUNT, geometry.peakCount);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildClickOnTouch(FlatBufferBuilder& builder, const ClickOnTouch& click)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::ClickOnTouch::VT_ENABLED, click.enabled);
    AddScalar(builder, fb::ClickOnTouch::VT_TIMETOUP, click.timeToUp);
    AddScalar(builder, fb::ClickOnTouch::VT_DISTANCE, click.distance);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildSnappingFilter(FlatBufferBuilder& builder, const SnappingFilter& filter)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::SnappingFilter::VT_ENABLED, filter.enabled);
    AddSnappingDistance(builder, fb::SnappingFilter::VT_LEFT, filter.left);
    AddSnappingDistance(builder, fb::SnappingFilter::VT_RIGHT, filter.right);
    AddSnappingDistance(builder, fb::SnappingFilter::VT_TOP, filter.top);
    AddSnappingDistance(builder, fb::SnappingFilter::VT_BOTTOM, filter.bottom);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildDoubleClickPrevention(FlatBufferBuilder& builder, const DoubleClickPrevention& prevention)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::DoubleClickPrevention::VT_ENABLED, prevention.enabled);
    AddScalar(builder, fb::DoubleClickPrevention::VT_PREVENTIONTIME, prevention.preventionTime);
    AddScalar(builder, fb::DoubleClickPrevention::VT_PREVENTIONRADIUS, prevention.preventionRadius);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildOperationMode(FlatBufferBuilder& builder, const OperationMode& mode)
{
    const auto start = builder.StartTable();
    AddBool(builder, fb::OperationMode::VT_DETECTION, mode.detection);
    AddBool(builder, fb::OperationMode::VT_DETECTIONHID, mode.detectionHid);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildDeviceConfiguration(FlatBufferBuilder& builder, const DeviceConfiguration& configuration)
{
    // Child tables first: a table cannot be built while another one is open.
    const TableOffset area = BuildIfSet(builder, configuration.subTouchActiveArea, BuildSubTouchActiveArea);
    const TableOffset restriction = BuildIfSet(builder, configuration.sizeRestriction, BuildSizeRestriction);
    const TableOffset protection = BuildIfSet(builder, configuration.floatingProtection, BuildFloatingProtection);
    const TableOffset click = BuildIfSet(builder, configuration.clickOnTouch, BuildClickOnTouch);
    const TableOffset snapping = BuildIfSet(builder, configuration.snappingFilter, BuildSnappingFilter);
    const TableOffset doubleClick =
        BuildIfSet(builder, configuration.doubleClickPrevention, BuildDoubleClickPrevention);

    const auto start = builder.StartTable();
    builder.AddOffset(fb::DeviceConfiguration::VT_SUBTOUCHACTIVEAREA, area);
    builder.AddOffset(fb::DeviceConfiguration::VT_SIZERESTRICTION, restriction);
    builder.AddOffset(fb::DeviceConfiguration::VT_CLICKONTOUCH, click);
    builder.AddOffset(fb::DeviceConfiguration::VT_SNAPPINGFILTER, snapping);
    builder.AddOffset(fb::DeviceConfiguration::VT_DOUBLECLICKPREVENTION, doubleClick);
    AddVec2(builder, fb::DeviceConfiguration::VT_HIDDISPLAYSIZE, configuration.hidDisplaySize);
    builder.AddOffset(fb::DeviceConfiguration::VT_FLOATINGPROTECTION, protection);
    AddScalar(builder, fb::DeviceConfiguration::VT_NUMBEROFREPORTEDTOUCHES, configuration.numberOfReportedTouches);
    AddBool(builder, fb::DeviceConfiguration::VT_REFLECTIVEEDGE, configuration.reflectiveEdge);
    return TableOffset(builder.EndTable(start));
}

TableOffset BuildParameters(FlatBufferBuilder& builder, const Parameters& parameters)
{
    const TableOffset configuration = BuildIfSet(builder, parameters.deviceConfiguration, BuildDeviceConfiguration);
    const TableOffset geometry = BuildIfSet(builder, parameters.geometry, BuildGeometry);
    const TableOffset mode = BuildIfSet(builder, parameters.operationMode, BuildOperationMode);

    const auto start = builder.StartTable();
    builder.AddOffset(fb::Parameters::VT_DEVICECONFIGURATION, configuration);
    builder.AddOffset(fb::Parameters::VT_GEOMETRY, geometry);
    builder.AddOffset(fb::Parameters::VT_OPERATIONMODE, mode);
    AddScalar(builder, fb::Parameters::VT_FINGERFREQUENCY, parameters.fingerFrequency);
    AddScalar(builder, fb::Parameters::VT_IDLEFREQUENCY, parameters.idleFrequency);
    AddScalar(builder, fb::Parameters::VT_I2CADDRESS, parameters.i2cAddress);
    AddBool(builder, fb::Parameters::VT_SYSTEMENABLED, parameters.systemEnabled);
    return TableOffset(builder.EndTable(start));
}

// ---- Reading a verified buffer: a field is set exactly when the buffer's vtable has an entry for it. ----

template <typename Scalar>
std::optional<Scalar> ReadScalar(const Table& table, voffset_t field)
{
    if (!table.CheckField(field)) {
        return std::nullopt;
    }
    return table.GetField<Scalar>(field, 0);
}

std::optional<bool> ReadBool(const Table& table, voffset_t field)
{
    if (!table.CheckField(field)) {
        return std::nullopt;
    }
    return table.GetField<uint8_t>(field, 0) != 0;
}

// Sign-extends the stored 16-bit coordinates.
std::optional<Vec2> ReadVec2(const Table& table, voffset_t field)
{
    const auto* stored = table.GetStruct<const fb::Vec2*>(field);
    if (stored == nullptr) {
        return std::nullopt;
    }
    return Vec2{stored->x(), stored->y()};
}

std::optional<SnappingDistance> ReadSnappingDistance(const Table& table, voffset_t field)
{
    const auto* stored = table.GetStruct<const fb::SnappingDistance*>(field);
    if (stored == nullptr) {
        return std::nullopt;
    }
    return SnappingDistance{stored->inner(), stored->outer()};
}

template <typename Record>
std::optional<Record> ReadTable(const Table& table, voffset_t field, Record (*read)(const Table&))
{
    const auto* child = table.GetPointer<const Table*>(field);
    if (child == nullptr) {
        return std::nullopt;
    }
    return read(*child);
}

SubTouchActiveArea ReadSubTouchActiveArea(const Table& table)
{
    SubTouchActiveArea area;
    area.min = ReadVec2(table, fb::SubTouchActiveArea::VT_MIN);
    area.max = ReadVec2(table, fb::SubTouchActiveArea::VT_MAX);
    area.reverseX = ReadBool(table, fb::SubTouchActiveArea::VT_REVERSEX);
    area.reverseY = ReadBool(table, fb::SubTouchActiveArea::VT_REVERSEY);
    area.flipXY = ReadBool(table, fb::SubTouchActiveArea::VT_FLIPXY);
    area.offset = ReadVec2(table, fb::SubTouchActiveArea::VT_OFFSET);
    return area;
}

SizeRestriction ReadSizeRestriction(const Table& table)
{
    SizeRestriction restriction;
    restriction.maxSizeEnabled = ReadBool(table, fb::SizeRestriction::VT_MAXSIZEENABLED);
    restriction.maxSize = ReadScalar<uint16_t>(table, fb::SizeRestriction::VT_MAXSIZE);
    restriction.minSizeEnabled = ReadBool(table, fb::SizeRestriction::VT_MINSIZEENABLED);
    restriction.minSize = ReadScalar<uint16_t>(table, fb::SizeRestriction::VT_MINSIZE);
    return restriction;
}

FloatingProtection ReadFloatingProtection(const Table& table)
{
    FloatingProtection protection;
    protection.enabled = ReadBool(table, fb::FloatingProtection::VT_ENABLED);
    protection.time = ReadScalar<uint16_t>(table, fb::FloatingProtection::VT_TIME);
    return protection;
}

Geometry ReadGeometry(const Table& table)
{
    Geometry geometry;
    geometry.sourceCount = ReadScalar<uint8_t>(table, fb::Geometry::VT_SOURCECOUNT);
    geometry.sensorCount = ReadScalar<uint8_t>(table, fb::Geometry::VT_SENSORCOUNT);
    geometry.peakCount = ReadScalar<uint8_t>(table, fb::Geometry::VT_PEAKCOUNT);
    return geometry;
}

ClickOnTouch ReadClickOnTouch(const Table& table)
{
    ClickOnTouch click;
    click.enabled = ReadBool(table, fb::ClickOnTouch::VT_ENABLED);
    click.timeToUp = ReadScalar<uint16_t>(table, fb::ClickOnTouch::VT_TIMETOUP);
    click.distance = ReadScalar<uint16_t>(table, fb::ClickOnTouch::VT_DISTANCE);
    return click;
}

SnappingFilter ReadSnappingFilter(const Table& table)
{
    SnappingFilter filter;
    filter.enabled = ReadBool(table, fb::SnappingFilter::VT_ENABLED);
    filter.left = ReadSnappingDistance(table, fb::SnappingFilter::VT_LEFT);
    filter.right = ReadSnappingDistance(table, fb::SnappingFilter::VT_RIGHT);
    filter.top = ReadSnappingDistance(table, fb::SnappingFilter::VT_TOP);
    filter.bottom = ReadSnappingDistance(table, fb::SnappingFilter::VT_BOTTOM);
    return filter;
}

DoubleClickPrevention ReadDoubleClickPrevention(const Table& table)
{
    DoubleClickPrevention prevention;
    prevention.enabled = ReadBool(table, fb::DoubleClickPrevention::VT_ENABLED);
    prevention.preventionTime = ReadScalar<uint16_t>(table, fb::DoubleClickPrevention::VT_PREVENTIONTIME);
    prevention.preventionRadius = ReadScalar<uint16_t>(table, fb::DoubleClickPrevention::VT_PREVENTIONRADIUS);
    return prevention;
}

OperationMode ReadOperationMode(const Table& table)
{
    OperationMode mode;
    mode.detection = ReadBool(table, fb::OperationMode::VT_DETECTION);
    mode.detectionHid = ReadBool(table, fb::OperationMode::VT_DETECTIONHID);
    return mode;
}

DeviceConfiguration ReadDeviceConfiguration(const Table& table)
{
    DeviceConfiguration configuration;
    configuration.subTouchActiveArea =
        ReadTable(table, fb::DeviceConfiguration::VT_SUBTOUCHACTIVEAREA, ReadSubTouchActiveArea);
    configuration.sizeRestriction = ReadTable(table, fb::DeviceConfiguration::VT_SIZERESTRICTION, ReadSizeRestriction);
    configuration.reflectiveEdge = ReadBool(table, fb::DeviceConfiguration::VT_REFLECTIVEEDGE);
    configuration.numberOfReportedTouches =
        ReadScalar<uint8_t>(table, fb::DeviceConfiguration::VT_NUMBEROFREPORTEDTOUCHES);
    configuration.hidDisplaySize = ReadVec2(table, fb::DeviceConfiguration::VT_HIDDISPLAYSIZE);
    configuration.floatingProtection =
        ReadTable(table, fb::DeviceConfiguration::VT_FLOATINGPROTECTION, ReadFloatingProtection);
    configuration.clickOnTouch = ReadTable(table, fb::DeviceConfiguration::VT_CLICKONTOUCH, ReadClickOnTouch);
    configuration.snappingFilter = ReadTable(table, fb::DeviceConfiguration::VT_SNAPPINGFILTER, ReadSnappingFilter);
    configuration.doubleClickPrevention =
        ReadTable(table, fb::DeviceConfiguration::VT_DOUBLECLICKPREVENTION, ReadDoubleClickPrevention);
    return configuration;
}

// The table members of the root are always replaced; its scalars only when the buffer has them.
void ReadParameters(const Table& root, Parameters& parameters)
{
    parameters.geometry = ReadTable(root, fb::Parameters::VT_GEOMETRY, ReadGeometry);
    parameters.deviceConfiguration =
        ReadTable(root, fb::Parameters::VT_DEVICECONFIGURATION, ReadDeviceConfiguration);
    parameters.operationMode = ReadTable(root, fb::Parameters::VT_OPERATIONMODE, ReadOperationMode);
    if (auto value = ReadScalar<int16_t>(root, fb::Parameters::VT_FINGERFREQUENCY)) {
        parameters.fingerFrequency = value;
    }
    if (auto value = ReadScalar<int16_t>(root, fb::Parameters::VT_IDLEFREQUENCY)) {
        parameters.idleFrequency = value;
    }
    if (auto value = ReadScalar<uint8_t>(root, fb::Parameters::VT_I2CADDRESS)) {
        parameters.i2cAddress = value;
    }
    if (auto value = ReadBool(root, fb::Parameters::VT_SYSTEMENABLED)) {
        parameters.systemEnabled = value;
    }
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

bool IsDigit(char character)
{
    return character >= '0' && character <= '9';
}

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
    const TableOffset root = BuildParameters(builder, parameters);
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
    ReadParameters(*flatbuffers::GetRoot<Table>(area.data()), parameters);
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
        const reflection::Object* child = field->type()->base_type() == reflection::Obj
                                              ? schema->objects()->Get(field->type()->index())
                                              : nullptr;
        if (child != nullptr && std::find(enclosing.begin(), enclosing.end(), child) == enclosing.end()) {
            CollectFieldNames(child, schema, name + ".", enclosing, names);
        } else {
            names.push_back(name);
        }
    }
    enclosing.pop_back();
}
