#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace tarnix::test {

// One ioctl that a program made on a test-bed node, as the test bed's handler receives it. The memory the
// program passed is reached through Argument and Pointee; what is written there goes back to the program
// when the call is completed. A call that is never completed is completed with EIO when it ends, so no
// program waits for ever on a test's mistake.
class IoctlCall {
public:
    explicit IoctlCall(UMockdevIoctlClient* client);
    ~IoctlCall();
    IoctlCall(const IoctlCall&) = delete;
    IoctlCall& operator=(const IoctlCall&) = delete;

    unsigned long Request() const;
    // The `length` bytes the argument points at; nullptr when they cannot be reached.
    std::uint8_t* Argument(std::size_t length);
    // The `length` bytes that the pointer at `offset` inside the (already reached) argument points at.
    std::uint8_t* Pointee(std::size_t offset, std::size_t length);
    // Ends the call: the program's ioctl returns `result` with errno `error`.
    void Complete(int result, int error = 0);

private:
    UMockdevIoctlClient* client_;
    UMockdevIoctlData* argument_ = nullptr;
    std::vector<UMockdevIoctlData*> pointees_;
    bool completed_ = false;
};

}  // namespace tarnix::test
