#pragma once

#include "core/Parameters.h"

// The walks that compare and combine whole parameter records, along the field lists of ParameterFields.h.
// Two records are equal when the same members are set and the set members hold equal values: the equality
// operators of the table records (declared with each record in Parameters.h) are defined in
// ParameterWalks.cpp, beside the lists they walk.
class ParameterWalks {
public:
    // Overlays the set members of `source` on `target`: values replace, child records are created when
    // missing and combined member by member; members the source lacks stay as they were.
    static void Combine(Parameters& target, const Parameters& source);
};
