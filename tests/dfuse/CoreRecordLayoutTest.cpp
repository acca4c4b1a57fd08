// The core loads the DFU libraries at run time and never includes their header: it declares the records and
// export types it passes across on its own (core/DfuseTypes.h). These checks hold those copies against the
// libraries' declarations, so that a record size, a field the core sets or reads, or an export signature
// that drifts apart in one of the two stops the build instead of corrupting an operation.

#include "core/DfuseTypes.h"
#include "dfuse/DfuseApi.h"

#include <cstddef>
#include <type_traits>

namespace {

// A field at the same offset, of the same width, in the core's record and in the library's.
#define SAME_FIELD_PLACE(coreRecord, libraryRecord, field)                                                 \
    static_assert(offsetof(coreRecord, field) == offsetof(libraryRecord, field),                           \
                  #coreRecord "::" #field " and " #libraryRecord "::" #field " start at the same offset"); \
    static_assert(sizeof(coreRecord::field) == sizeof(libraryRecord::field),                               \
                  #coreRecord "::" #field " and " #libraryRecord "::" #field " have the same width")

// As above, and of the same type (signedness and array shape included).
#define SAME_FIELD(coreRecord, libraryRecord, field)                                           \
    SAME_FIELD_PLACE(coreRecord, libraryRecord, field);                                        \
    static_assert(std::is_same_v<decltype(coreRecord::field), decltype(libraryRecord::field)>, \
                  #coreRecord "::" #field " and " #libraryRecord "::" #field " have the same type")

#define SAME_RECORD_SIZE(coreRecord, libraryRecord)                          \
    static_assert(sizeof(coreRecord) == sizeof(libraryRecord),               \
                  #coreRecord " and " #libraryRecord " have the same size"); \
    static_assert(alignof(coreRecord) == alignof(libraryRecord),             \
                  #coreRecord " and " #libraryRecord " have the same alignment")

// The interface class identifier inside the thread context.
SAME_RECORD_SIZE(Dfuse::GUID, ::DfuseGuid);
SAME_FIELD(Dfuse::GUID, ::DfuseGuid, Data1);
SAME_FIELD(Dfuse::GUID, ::DfuseGuid, Data2);
SAME_FIELD(Dfuse::GUID, ::DfuseGuid, Data3);
SAME_FIELD(Dfuse::GUID, ::DfuseGuid, Data4);

// The status answer, read after every request.
SAME_RECORD_SIZE(Dfuse::DFUSTATUS, ::DFUSTATUS);
SAME_FIELD(Dfuse::DFUSTATUS, ::DFUSTATUS, bStatus);
SAME_FIELD(Dfuse::DFUSTATUS, ::DFUSTATUS, bwPollTimeout);
SAME_FIELD(Dfuse::DFUSTATUS, ::DFUSTATUS, bState);
SAME_FIELD(Dfuse::DFUSTATUS, ::DFUSTATUS, iString);

// The operation context: the core fills it up to the device link and reads the progress back.
SAME_RECORD_SIZE(Dfuse::DFUThreadContext, ::DFUThreadContext);
SAME_FIELD_PLACE(Dfuse::DFUThreadContext, ::DFUThreadContext, DfuGUID);
SAME_FIELD_PLACE(Dfuse::DFUThreadContext, ::DFUThreadContext, AppGUID);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, Operation);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, bDontSendFFTransfersForUpgrade);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, hImage);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, szDevLink);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, Percent);
SAME_FIELD(Dfuse::DFUThreadContext, ::DFUThreadContext, ErrorCode);
SAME_FIELD_PLACE(Dfuse::DFUThreadContext, ::DFUThreadContext, LastDFUStatus);

// The image element, filled by the library into the core's record.
SAME_RECORD_SIZE(Dfuse::DFUIMAGEELEMENT, ::DFUIMAGEELEMENT);
SAME_FIELD(Dfuse::DFUIMAGEELEMENT, ::DFUIMAGEELEMENT, dwAddress);
SAME_FIELD(Dfuse::DFUIMAGEELEMENT, ::DFUIMAGEELEMENT, dwDataLength);
SAME_FIELD(Dfuse::DFUIMAGEELEMENT, ::DFUIMAGEELEMENT, Data);

// The values both sides use on the wire of the exports.
static_assert(Dfuse::SuccessCode == DFUSE_STATUS_SUCCESS, "the same success code");
static_assert(Dfuse::OperationErase == DFUSE_OPERATION_ERASE, "the same erase operation code");
static_assert(Dfuse::OperationProgram == DFUSE_OPERATION_PROGRAM, "the same programming operation code");
static_assert(Dfuse::DeviceLinkSize == sizeof(::DFUThreadContext::szDevLink), "the same device link capacity");

// An export type of the library written with the core's records in place of the library's: the core looks
// the exports up by name and calls them through its own function types, so these must match exactly.
template <typename T>
struct InCoreRecords {
    using type = T;
};
template <>
struct InCoreRecords<::DFUSTATUS*> {
    using type = Dfuse::DFUSTATUS*;
};
template <>
struct InCoreRecords<::DFUThreadContext*> {
    using type = Dfuse::DFUThreadContext*;
};
template <>
struct InCoreRecords<::DFUIMAGEELEMENT*> {
    using type = Dfuse::DFUIMAGEELEMENT*;
};
template <>
struct InCoreRecords<::MAPPING*> {
    using type = Dfuse::MAPPING*;
};
template <>
struct InCoreRecords<::MAPPING**> {
    using type = Dfuse::MAPPING**;
};
template <typename Result, typename... Parameters>
struct InCoreRecords<Result (*)(Parameters...)> {
    using type = Result (*)(typename InCoreRecords<Parameters>::type...);
};

#define SAME_EXPORT(name)                                                             \
    static_assert(std::is_same_v<Dfuse::name##_Fn, InCoreRecords<::name##_Fn>::type>, \
                  #name " has the same signature in the core and in the library")

SAME_EXPORT(STDFU_Open);
SAME_EXPORT(STDFU_Close);
SAME_EXPORT(STDFU_Dnload);
SAME_EXPORT(STDFU_Upload);
SAME_EXPORT(STDFU_Getstatus);
SAME_EXPORT(STDFU_Clrstatus);
SAME_EXPORT(STDFUFILES_OpenExistingDFUFile);
SAME_EXPORT(STDFUFILES_ReadImageFromDFUFile);
SAME_EXPORT(STDFUFILES_CloseDFUFile);
SAME_EXPORT(STDFUFILES_ImageFromFile);
SAME_EXPORT(STDFUFILES_DestroyImage);
SAME_EXPORT(STDFUFILES_FilterImageForOperation);
SAME_EXPORT(STDFUFILES_GetImageNbElement);
SAME_EXPORT(STDFUFILES_GetImageElement);
SAME_EXPORT(STDFUPRT_CreateMappingFromDevice);
SAME_EXPORT(STDFUPRT_DestroyMapping);
SAME_EXPORT(STDFUPRT_LaunchOperation);
SAME_EXPORT(STDFUPRT_GetOperationStatus);
SAME_EXPORT(STDFUPRT_StopOperation);

}  // namespace
