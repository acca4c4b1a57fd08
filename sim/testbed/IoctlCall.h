#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace tarnix::sim {

// The outcome of an ioctl as the caller sees it: the result, and errno when the result is -1.
struct IoctlAnswer {
    long result = -1;
    int error = 0;

    static IoctlAnswer Success(long result) { return {result, 0}; }
    static IoctlAnswer Failure(int error) { return {-1, error}; }
};

// One ioctl of a program on a test-bed node: its request code and the caller's memory. The memory is
// fetched from the caller on demand (never more than asked for) and written back when the call is
// completed. A call may be moved away to be completed later, from any thread; a call that is never
// completed is completed with EIO when it ends, so that no program waits for ever.
class IoctlCall {
public:
    explicit IoctlCall(UMockdevIoctlClient* client);
    ~IoctlCall();
    IoctlCall(IoctlCall&& other) noexcept;
    IoctlCall(const IoctlCall&) = delete;
    IoctlCall& operator=(const IoctlCall&) = delete;
    IoctlCall& operator=(IoctlCall&&) = delete;

    unsigned long Request() const;
    // The `length` bytes the ioctl argument points to; nullptr when they cannot be fetched. They are
    // fetched on the first call; a later call reaches no more than the first one asked for.
    std::uint8_t* Argument(std::size_t length);
    // The `length` bytes that the pointer stored at `offset` inside the argument points to (a data buffer
    // inside a request structure); call Argument first. nullptr when they cannot be fetched.
    std::uint8_t* Pointee(std::size_t offset, std::size_t length);
    // Ends the call: the program's ioctl returns the answer. Later completions (and those of a call moved
    // away) do nothing.
    void Complete(const IoctlAnswer& answer);

private:
    UMockdevIoctlData* Resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length);
    void Release();

    UMockdevIoctlClient* client_;
    UMockdevIoctlData* argument_ = nullptr;
    std::vector<UMockdevIoctlData*> resolved_;
    bool completed_ = false;
};

}  // namespace tarnix::sim
