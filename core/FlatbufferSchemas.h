#pragma once

#include "core/FlatbufferSchemaList.h"

#include <cstddef>

// The parameter schema texts, compiled into the program from core/schemas/: FLATBUFFER_SCHEMAS holds them
// oldest version first, and operations that need a schema search it in that order. The last one, of version
// LATEST_SCHEMA_MAJOR.LATEST_SCHEMA_MINOR, is the program's own: the one its records and buffers follow.
// Each text is also declared by its file's name (TNXP_SERIALIZATION_<major>_<minor>_FBS).
extern const char* const FLATBUFFER_SCHEMAS[FLATBUFFER_SCHEMA_COUNT];
constexpr std::size_t LATEST_FLATBUFFER_SCHEMA = FLATBUFFER_SCHEMA_COUNT - 1;
