#pragma once

#include <cstddef>
#include <cstdint>

#include <flatbuffers/reflection.h>
#include <flatbuffers/verifier.h>

// Checks that a binary buffer read from outside (a sensor's parameter area) is well formed for a schema that
// is only known at run time (a user's schema file), before anything walks it by that schema. Every offset is
// checked for lying inside the buffer before it is followed, and every field, string and vector for fitting
// in it. Union fields are not supported and make a buffer fail.
//
// The flatbuffers library's own reflection verifier follows table offsets before checking them, so a crafted
// buffer can make it read anywhere; this walk is used instead.
class SchemaBufferVerifier {
public:
    SchemaBufferVerifier(const reflection::Schema& schema, const std::uint8_t* data, std::size_t size);

    // True when the buffer's root offset and the whole tree of the root table verify.
    bool VerifyRoot(const reflection::Object& root);

private:
    bool VerifyTable(const reflection::Object& object, const flatbuffers::Table* table);
    bool VerifyField(const flatbuffers::Table& table, const reflection::Field& field);
    bool VerifyVector(const flatbuffers::Table& table, const reflection::Field& field);
    bool VerifyOffsetElements(const flatbuffers::Vector<flatbuffers::uoffset_t>& offsets, const reflection::Type& type);
    bool VerifyInline(const flatbuffers::Table& table, const reflection::Field& field, std::size_t size,
                      std::size_t align);

    const reflection::Schema& schema_;
    const std::uint8_t* data_;
    flatbuffers::Verifier verifier_;
};
