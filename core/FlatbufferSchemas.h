#pragma once

#include <cstddef>

// The parameter schema texts, compiled into the program from core/schemas/. Operations that need a schema
// search FLATBUFFER_SCHEMAS in this order: version 1.0 first, then 1.1.
constexpr std::size_t FLATBUFFER_SCHEMA_COUNT = 2;

extern const char TNXP_SERIALIZATION_1_0_FBS[];
extern const char TNXP_SERIALIZATION_1_1_FBS[];
extern const char* const FLATBUFFER_SCHEMAS[FLATBUFFER_SCHEMA_COUNT];
extern const std::size_t FLATBUFFER_SCHEMA_SIZES[FLATBUFFER_SCHEMA_COUNT];
