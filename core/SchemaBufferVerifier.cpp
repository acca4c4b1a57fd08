#include "core/SchemaBufferVerifier.h"

namespace {

bool IsScalar(reflection::BaseType type) { return type >= reflection::UType && type <= reflection::Double; }

}  // namespace

SchemaBufferVerifier::SchemaBufferVerifier(const reflection::Schema& schema, const std::uint8_t* data, std::size_t size)
    : schema_(schema), data_(data), verifier_(data, size)
{
}

bool SchemaBufferVerifier::VerifyRoot(const reflection::Object& root)
{
    if (verifier_.VerifyOffset(0) == 0) {
        return false;
    }
    return VerifyTable(root, flatbuffers::GetAnyRoot(data_));
}

bool SchemaBufferVerifier::VerifyTable(const reflection::Object& object, const flatbuffers::Table* table)
{
    if (!table->VerifyTableStart(verifier_)) {
        return false;
    }
    for (const reflection::Field* field : *object.fields()) {
        if (!VerifyField(*table, *field)) {
            return false;
        }
    }
    return verifier_.EndTable();
}

bool SchemaBufferVerifier::VerifyField(const flatbuffers::Table& table, const reflection::Field& field)
{
    const reflection::BaseType type = field.type()->base_type();
    if (IsScalar(type)) {
        const std::size_t size = flatbuffers::GetTypeSize(type);
        return VerifyInline(table, field, size, size);
    }
    switch (type) {
        case reflection::String:
            return table.VerifyOffset(verifier_, field.offset()) &&
                   verifier_.VerifyString(flatbuffers::GetFieldS(table, field));
        case reflection::Vector:
            return VerifyVector(table, field);
        case reflection::Obj: {
            const reflection::Object& child = *schema_.objects()->Get(field.type()->index());
            if (child.is_struct()) {
                return VerifyInline(table, field, child.bytesize(), child.minalign());
            }
            if (!table.VerifyOffset(verifier_, field.offset())) {
                return false;
            }
            const flatbuffers::Table* nested = flatbuffers::GetFieldT(table, field);
            return nested == nullptr || VerifyTable(child, nested);
        }
        default:
            return false;  // unions and anything newer
    }
}

bool SchemaBufferVerifier::VerifyInline(const flatbuffers::Table& table, const reflection::Field& field,
                                        std::size_t size, std::size_t align)
{
    const flatbuffers::voffset_t offset = table.GetOptionalFieldOffset(field.offset());
    return offset == 0 ||
           verifier_.VerifyFieldStruct(reinterpret_cast<const std::uint8_t*>(&table), offset, size, align);
}

bool SchemaBufferVerifier::VerifyVector(const flatbuffers::Table& table, const reflection::Field& field)
{
    if (!table.VerifyOffset(verifier_, field.offset())) {
        return false;
    }
    const auto* vector = table.GetPointer<const flatbuffers::Vector<flatbuffers::uoffset_t>*>(field.offset());
    if (vector == nullptr) {
        return true;
    }
    const reflection::Type& type = *field.type();
    const reflection::BaseType element = type.element();
    std::size_t elementSize = 0;
    if (IsScalar(element)) {
        elementSize = flatbuffers::GetTypeSize(element);
    } else if (element == reflection::Obj && schema_.objects()->Get(type.index())->is_struct()) {
        elementSize = schema_.objects()->Get(type.index())->bytesize();
    } else if (element == reflection::String || element == reflection::Obj) {
        elementSize = sizeof(flatbuffers::uoffset_t);
    } else {
        return false;
    }
    if (!verifier_.VerifyVectorOrString(reinterpret_cast<const std::uint8_t*>(vector), elementSize)) {
        return false;
    }
    const bool holdsOffsets = element == reflection::String ||
                              (element == reflection::Obj && !schema_.objects()->Get(type.index())->is_struct());
    return !holdsOffsets || VerifyOffsetElements(*vector, type);
}

bool SchemaBufferVerifier::VerifyOffsetElements(const flatbuffers::Vector<flatbuffers::uoffset_t>& offsets,
                                                const reflection::Type& type)
{
    for (flatbuffers::uoffset_t i = 0; i < offsets.size(); ++i) {
        const std::uint8_t* slot = offsets.Data() + i * sizeof(flatbuffers::uoffset_t);
        if (verifier_.VerifyOffset(slot, 0) == 0) {
            return false;
        }
        const std::uint8_t* target = slot + flatbuffers::ReadScalar<flatbuffers::uoffset_t>(slot);
        const bool verified = type.element() == reflection::String
                                  ? verifier_.VerifyString(reinterpret_cast<const flatbuffers::String*>(target))
                                  : VerifyTable(*schema_.objects()->Get(type.index()),
                                                reinterpret_cast<const flatbuffers::Table*>(target));
        if (!verified) {
            return false;
        }
    }
    return true;
}
