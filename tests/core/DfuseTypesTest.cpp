// The core reaches the DFU libraries through records it lays out itself; these checks pin the sizes and
// offsets the libraries' exports rely on, so a layout change breaks the build instead of the flash.
#include "core/DfuseTypes.h"

#include <cstddef>

namespace {
using namespace Dfuse;

static_assert(sizeof(GUID) == 16, "an interface class identifier is 16 bytes");

static_assert(sizeof(DFUSTATUS) == 6, "a status answer is 6 bytes");
static_assert(offsetof(DFUSTATUS, bwPollTimeout) == 1, "poll time-out follows bStatus");
static_assert(offsetof(DFUSTATUS, bState) == 4, "bState follows the 3-byte poll time-out");
static_assert(offsetof(DFUSTATUS, iString) == 5, "iString is the last byte");

static_assert(sizeof(DFUThreadContext) == 345, "the thread context is byte-packed to 345 bytes");
static_assert(offsetof(DFUThreadContext, DfuGUID) == 0, "DfuGUID opens the context");
static_assert(offsetof(DFUThreadContext, AppGUID) == 16, "AppGUID follows DfuGUID");
static_assert(offsetof(DFUThreadContext, Operation) == 32, "Operation follows the two GUIDs");
static_assert(offsetof(DFUThreadContext, bDontSendFFTransfersForUpgrade) == 36, "flag follows Operation");
static_assert(offsetof(DFUThreadContext, hImage) == 40, "the image handle follows the flag");
static_assert(offsetof(DFUThreadContext, szDevLink) == 48, "the device link follows the image handle");
static_assert(sizeof(DFUThreadContext::szDevLink) == 260, "the device link holds 260 characters");
static_assert(offsetof(DFUThreadContext, Percent) == 308, "Percent follows the device link");
static_assert(offsetof(DFUThreadContext, ErrorCode) == 309, "ErrorCode follows Percent without padding");

static_assert(offsetof(DFUIMAGEELEMENT, dwAddress) == 0, "address first");
static_assert(offsetof(DFUIMAGEELEMENT, dwDataLength) == 4, "length second");
static_assert(offsetof(DFUIMAGEELEMENT, Data) == 8, "data pointer last");
static_assert(sizeof(DFUIMAGEELEMENT) == 16, "an element descriptor is 16 bytes");

static_assert(SuccessCode == 0x12340000u, "the libraries' success code");
}  // namespace
