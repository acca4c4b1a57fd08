#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnix::sim {

// One ioctl of a program on an emulated device node: its request code and the caller's memory. The memory
// is fetched from the caller on demand and written back when the call is answered.
class IoctlCall {
public:
    virtual ~IoctlCall() = default;

    virtual unsigned long Request() const = 0;
    // The `length` bytes the ioctl argument points to; nullptr when they cannot be fetched.
    virtual std::uint8_t* Argument(std::size_t length) = 0;
    // The `length` bytes that the pointer stored at `offset` inside the argument points to (a data buffer
    // inside a request structure); call Argument first. nullptr when they cannot be fetched.
    virtual std::uint8_t* Pointee(std::size_t offset, std::size_t length) = 0;
};

// The outcome of an ioctl as the caller sees it: the result, and errno when the result is -1.
struct IoctlAnswer {
    long result = -1;
    int error = 0;

    static IoctlAnswer Success(long result) { return {result, 0}; }
    static IoctlAnswer Failure(int error) { return {-1, error}; }
};

}  // namespace tarnix::sim
