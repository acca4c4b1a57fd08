// A program for the usb-run tests: started under `tarnix-sim usb-run`, it looks at the emulated bus the way
// the real-bus backend does (libudev, open(2), hidraw and usbfs ioctls) and prints what it saw, one
// "name=value" or device line at a time.
//
//   usbrun_probe devices                          usb, hid and hidraw devices in udev's order
//   usbrun_probe wait-device VID PID MS           waits for a usb_device; prints node= and found_at=
//   usbrun_probe wait-gone SYSPATH MS             waits until the device has left sysfs
//   usbrun_probe wait-tree SYSPATH COUNT MS       waits until udev lists COUNT whole devices at or below SYSPATH
//   usbrun_probe wait-property NODE MS            waits until the device of NODE has TARNIX_DFU_DRIVER=1
//   usbrun_probe hid-request NODE                 platform information request; prints answer= and rdev=
//   usbrun_probe hid-switch NODE                  sends the switch to DFU mode; prints sent_at=
//   usbrun_probe hid-get NODE ID LENGTH           reads feature report ID into a buffer of LENGTH bytes
//                                                 filled with AA; prints got= (count or errno name),
//                                                 report= (the bytes counted) and kept= (AA bytes after them)
//   usbrun_probe dfu-read NODE ADDRESS LENGTH OUT DFU UPLOAD of flash bytes into OUT; prints layout=
//   usbrun_probe dfu-leave NODE                   leaves DFU mode (address 0x08000000, zero-length DNLOAD)
//   usbrun_probe hold hid|dfu NODE COMMAND        one request, COMMAND (through sh), the request again;
//                                                 prints before=, after= and reopen= (errno names)
//   usbrun_probe hold-claim NODE ADDRESS COMMAND  another DFU program: claims the interface, sets the address
//                                                 pointer, runs COMMAND (through sh), releases the claim and
//                                                 uploads 16 bytes from ADDRESS; prints claim=, address=,
//                                                 command=, release=, upload= and data= (hex)
//   usbrun_probe contend NODE                     a second file against a held claim: driver query, claim,
//                                                 transfer, claim sparing usbfs, plain disconnect, claim,
//                                                 release, a claim ended by closing its file
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <libudev.h>
#include <linux/hidraw.h>
#include <linux/usbdevice_fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim/sensor/TextNumbers.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRequestLength = 257;
constexpr std::size_t kAnswerLength = 258;
constexpr std::uint16_t kTransferSize = 2048;

std::string ErrorName(int error)
{
    switch (error) {
        case 0:
            return "OK";
        case ENODEV:
            return "ENODEV";
        case ENOENT:
            return "ENOENT";
        case EPIPE:
            return "EPIPE";
        case EBUSY:
            return "EBUSY";
        case EACCES:
            return "EACCES";
        case ENODATA:
            return "ENODATA";
        case ENOTTY:
            return "ENOTTY";
        case EINVAL:
            return "EINVAL";
        case EIO:
            return "EIO";
        default:
            return "errno" + std::to_string(error);
    }
}

// Wall-clock milliseconds, the clock of the simulated bus.
long long WallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

long ElapsedMs(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// ---- udev ----

std::string Text(const char* value) { return value != nullptr && *value != '\0' ? value : "-"; }

// Calls `visit` with each device of the usb, hid and hidraw subsystems in udev's enumeration order.
template <typename Visit>
void ForEachDevice(Visit visit)
{
    udev* context = udev_new();
    udev_enumerate* enumeration = udev_enumerate_new(context);
    for (const char* subsystem : {"usb", "hid", "hidraw"}) {
        udev_enumerate_add_match_subsystem(enumeration, subsystem);
    }
    udev_enumerate_scan_devices(enumeration);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration))
    {
        udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (device != nullptr) {
            visit(device);
            udev_device_unref(device);
        }
    }
    udev_enumerate_unref(enumeration);
    udev_unref(context);
}

std::string DeviceNumber(udev_device* device)
{
    const dev_t number = udev_device_get_devnum(device);
    return number == 0 ? "-" : std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

// syspath subsystem devtype devnode major:minor TARNIX_DFU_DRIVER
int Devices()
{
    ForEachDevice([](udev_device* device) {
        std::cout << udev_device_get_syspath(device) << ' ' << Text(udev_device_get_subsystem(device)) << ' '
                  << Text(udev_device_get_devtype(device)) << ' ' << Text(udev_device_get_devnode(device)) << ' '
                  << DeviceNumber(device) << ' ' << Text(udev_device_get_property_value(device, "TARNIX_DFU_DRIVER"))
                  << '\n';
    });
    return 0;
}

template <typename Condition>
bool WaitFor(long limitMs, Condition condition)
{
    const auto start = Clock::now();
    while (!condition()) {
        if (ElapsedMs(start) > limitMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int WaitDevice(const std::string& vendor, const std::string& product, long limitMs)
{
    std::string node;
    const bool found = WaitFor(limitMs, [&] {
        ForEachDevice([&](udev_device* device) {
            if (Text(udev_device_get_devtype(device)) == "usb_device" &&
                Text(udev_device_get_sysattr_value(device, "idVendor")) == vendor &&
                Text(udev_device_get_sysattr_value(device, "idProduct")) == product) {
                node = Text(udev_device_get_devnode(device));
            }
        });
        return !node.empty();
    });
    std::cout << "node=" << (found ? node : "-") << "\nfound_at=" << WallClockMs() << '\n';
    return found ? 0 : 1;
}

int WaitGone(const std::string& sysPath, long limitMs)
{
    struct stat status {};
    return WaitFor(limitMs, [&] { return ::stat(sysPath.c_str(), &status) != 0; }) ? 0 : 1;
}

// A device appears in steps: its folder and links first, its properties (the uevent file) after them, its
// children after it. A device counts once udev can read its properties, which is what `devices` prints.
int WholeDevicesBelow(const std::string& sysPath)
{
    int count = 0;
    ForEachDevice([&](udev_device* device) {
        const std::string path = udev_device_get_syspath(device);
        const bool below = path.compare(0, sysPath.size(), sysPath) == 0 &&
                           (path.size() == sysPath.size() || path[sysPath.size()] == '/');
        count += below && ::access((path + "/uevent").c_str(), R_OK) == 0 ? 1 : 0;
    });
    return count;
}

int WaitTree(const std::string& sysPath, int count, long limitMs)
{
    return WaitFor(limitMs, [&] { return WholeDevicesBelow(sysPath) == count; }) ? 0 : 1;
}

int WaitProperty(const std::string& node, long limitMs)
{
    const bool found = WaitFor(limitMs, [&] {
        bool has = false;
        ForEachDevice([&](udev_device* device) {
            has = has || (Text(udev_device_get_devnode(device)) == node &&
                          Text(udev_device_get_property_value(device, "TARNIX_DFU_DRIVER")) == "1");
        });
        return has;
    });
    std::cout << "property=" << (found ? "1" : "-") << '\n';
    return found ? 0 : 1;
}

// ---- hidraw ----

int OpenNode(const std::string& node)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::cout << "open=" << ErrorName(errno) << '\n';
    }
    return fd;
}

Bytes PlatformRequest()
{
    Bytes request(kRequestLength, 0);
    const Bytes message = {0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    std::copy(message.begin(), message.end(), request.begin());
    return request;
}

// errno of a platform information request (0 when it was sent).
int SendPlatformRequest(int fd)
{
    Bytes request = PlatformRequest();
    return ::ioctl(fd, HIDIOCSFEATURE(kRequestLength), request.data()) == static_cast<int>(kRequestLength) ? 0 : errno;
}

int HidRequest(const std::string& node)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return 1;
    }
    struct stat named {};
    ::stat(node.c_str(), &named);
    std::cout << "named=" << major(named.st_rdev) << ":" << minor(named.st_rdev) << '\n';
    const int sent = SendPlatformRequest(fd);
    Bytes answer(kAnswerLength, 0);
    answer[0] = 0x02;
    const int read = ::ioctl(fd, HIDIOCGFEATURE(kAnswerLength), answer.data());
    std::cout << "set=" << ErrorName(sent) << "\nget=" << (read < 0 ? ErrorName(errno) : std::to_string(read)) << '\n';
    if (read >= 2 && answer[1] <= read - 2) {  // a sensor's report may be shorter than the buffer
        std::cout << "answer="
                  << tarnix::sim::TextNumbers::HexBytes(Bytes(answer.begin() + 2, answer.begin() + 2 + answer[1]))
                  << '\n';
    }
    ::close(fd);
    return 0;
}

int HidGet(const std::string& node, std::uint8_t id, std::size_t length)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return 1;
    }
    Bytes report(length, 0xAA);
    report[0] = id;
    const int got = ::ioctl(fd, HIDIOCGFEATURE(length), report.data());
    std::cout << "got=" << (got < 0 ? ErrorName(errno) : std::to_string(got)) << '\n';
    if (got >= 0 && static_cast<std::size_t>(got) <= length) {
        std::cout << "report=" << tarnix::sim::TextNumbers::HexBytes(Bytes(report.begin(), report.begin() + got))
                  << "\nkept=" << std::count(report.begin() + got, report.end(), 0xAA) << '\n';
    }
    ::close(fd);
    return 0;
}

int HidSwitch(const std::string& node)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return 1;
    }
    std::uint8_t report[2] = {0x80, 0x00};
    std::cout << "sent_at=" << WallClockMs() << '\n';
    const int result = ::ioctl(fd, HIDIOCSFEATURE(2), report);
    std::cout << "switch=" << (result < 0 ? ErrorName(errno) : std::to_string(result)) << '\n';
    ::close(fd);
    return result == 2 ? 0 : 1;
}

// ---- usbfs ----

// errno of a control transfer (0 on success); `count` gets the byte count.
int Control(int fd, std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
            std::uint8_t* data, std::uint16_t length, int& count)
{
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = requestType;
    transfer.bRequest = request;
    transfer.wValue = value;
    transfer.wIndex = index;
    transfer.wLength = length;
    transfer.timeout = 5000;
    transfer.data = data;
    count = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
    return count < 0 ? errno : 0;
}

int DfuOut(int fd, std::uint8_t request, std::uint16_t value, Bytes data = {})
{
    int count = 0;
    return Control(fd, 0x21, request, value, 0, data.empty() ? nullptr : data.data(),
                   static_cast<std::uint16_t>(data.size()), count);
}

int DfuStatus(int fd, Bytes& status)
{
    status.assign(6, 0);
    int count = 0;
    return Control(fd, 0xA1, 3, 0, 0, status.data(), 6, count);
}

// Opens the DFU interface as many programs do (detach any driver, claim, alternate setting 0); prints what
// each step answered.
int OpenDfu(const std::string& node)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return -1;
    }
    usbdevfs_ioctl disconnect{0, static_cast<int>(USBDEVFS_DISCONNECT), nullptr};
    std::cout << "disconnect=" << ErrorName(::ioctl(fd, USBDEVFS_IOCTL, &disconnect) < 0 ? errno : 0) << '\n';
    unsigned int interface = 0;
    const int claim = ::ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) < 0 ? errno : 0;
    std::cout << "claim=" << ErrorName(claim) << '\n';
    usbdevfs_setinterface setting{0, 0};
    const int select = ::ioctl(fd, USBDEVFS_SETINTERFACE, &setting) < 0 ? errno : 0;
    if (claim != 0 || select != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string LayoutString(int fd)
{
    Bytes descriptor(255, 0);
    int count = 0;
    if (Control(fd, 0x80, 6, 0x0304, 0x0409, descriptor.data(), 255, count) != 0 || count < 2) {
        return "-";
    }
    std::string text;
    for (int index = 2; index + 1 < count && index < descriptor[0]; index += 2) {
        text += static_cast<char>(descriptor[index]);
    }
    return text;
}

Bytes AddressCommand(std::uint32_t address)
{
    return {0x21, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

int DfuRead(const std::string& node, std::uint32_t address, std::size_t length, const std::string& output)
{
    const int fd = OpenDfu(node);
    if (fd < 0) {
        return 1;
    }
    std::cout << "layout=" << LayoutString(fd) << '\n';
    Bytes status;
    int failure = DfuOut(fd, 1, 0, AddressCommand(address));
    failure = failure != 0 ? failure : DfuStatus(fd, status);
    failure = failure != 0 ? failure : DfuOut(fd, 6, 0);
    Bytes data;
    for (std::uint16_t block = 2; failure == 0 && data.size() < length; ++block) {
        Bytes chunk(kTransferSize, 0);
        int count = 0;
        failure = Control(fd, 0xA1, 2, block, 0, chunk.data(), kTransferSize, count);
        data.insert(data.end(), chunk.begin(), chunk.begin() + (failure == 0 ? count : 0));
    }
    data.resize(std::min(data.size(), length));
    std::ofstream(output, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    std::cout << "read=" << ErrorName(failure) << '\n';
    unsigned int interface = 0;
    ::ioctl(fd, USBDEVFS_RELEASEINTERFACE, &interface);
    ::close(fd);
    return failure == 0 ? 0 : 1;
}

int DfuLeave(const std::string& node)
{
    const int fd = OpenDfu(node);
    if (fd < 0) {
        return 1;
    }
    Bytes status;
    int failure = DfuOut(fd, 1, 0, AddressCommand(0x08000000));
    failure = failure != 0 ? failure : DfuStatus(fd, status);
    failure = failure != 0 ? failure : DfuOut(fd, 6, 0);
    failure = failure != 0 ? failure : DfuOut(fd, 1, 0);
    failure = failure != 0 ? failure : DfuStatus(fd, status);
    std::cout << "leave=" << ErrorName(failure) << '\n';
    ::close(fd);
    return failure == 0 ? 0 : 1;
}

// ---- a node held open across a change of the bus ----

// errno of one harmless request on an open node.
int Request(const std::string& kind, int fd)
{
    if (kind == "hid") {
        return SendPlatformRequest(fd);
    }
    std::uint8_t state = 0;
    int count = 0;
    return Control(fd, 0xA1, 5, 0, 0, &state, 1, count);
}

int Hold(const std::string& kind, const std::string& node, const std::string& command)
{
    const int fd = kind == "hid" ? OpenNode(node) : OpenDfu(node);
    if (fd < 0) {
        return 1;
    }
    std::cout << "before=" << ErrorName(Request(kind, fd)) << std::endl;
    const int status = std::system(command.c_str());
    std::cout << "command=" << status << "\nafter=" << ErrorName(Request(kind, fd)) << '\n';
    struct stat gone {};
    WaitFor(3000, [&] { return ::stat(node.c_str(), &gone) != 0; });
    const int again = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    std::cout << "reopen=" << ErrorName(again < 0 ? errno : 0) << '\n';
    ::close(fd);
    return 0;
}

// A transfer of another program that holds the interface claimed while COMMAND runs: the address pointer it
// set before must still be in place afterwards, and the claim still its own.
int HoldClaim(const std::string& node, std::uint32_t address, const std::string& command)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return 1;
    }
    unsigned int interface = 0;
    const int claim = ::ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) < 0 ? errno : 0;
    Bytes status;
    int failure = claim != 0 ? claim : DfuOut(fd, 6, 0);
    failure = failure != 0 ? failure : DfuOut(fd, 1, 0, AddressCommand(address));
    failure = failure != 0 ? failure : DfuStatus(fd, status);
    failure = failure != 0 ? failure : DfuOut(fd, 6, 0);
    std::cout << "claim=" << ErrorName(claim) << "\naddress=" << ErrorName(failure) << std::endl;
    const int commandStatus = std::system(command.c_str());
    // Released first: the release succeeds only while the claim is still this file's, whereas a transfer
    // would claim the interface again by itself.
    const int release = ::ioctl(fd, USBDEVFS_RELEASEINTERFACE, &interface) < 0 ? errno : 0;
    Bytes data(16, 0);
    int count = 0;
    const int upload = Control(fd, 0xA1, 2, 2, 0, data.data(), static_cast<std::uint16_t>(data.size()), count);
    data.resize(upload == 0 ? static_cast<std::size_t>(count) : 0);
    DfuOut(fd, 6, 0);
    std::cout << "command=" << commandStatus << "\nrelease=" << ErrorName(release) << "\nupload=" << ErrorName(upload)
              << "\ndata=" << tarnix::sim::TextNumbers::HexBytes(data) << '\n';
    ::close(fd);
    return 0;
}

// errno of a driver query; `driver` gets the name.
int GetDriver(int fd, std::string& driver)
{
    usbdevfs_getdriver query{};
    query.interface = 0;
    if (::ioctl(fd, USBDEVFS_GETDRIVER, &query) < 0) {
        return errno;
    }
    driver.assign(query.driver, strnlen(query.driver, sizeof query.driver));
    return 0;
}

std::string DriverText(int fd)
{
    std::string driver;
    const int error = GetDriver(fd, driver);
    return error == 0 ? driver : ErrorName(error);
}

int DisconnectClaim(int fd, const char* spared)
{
    usbdevfs_disconnect_claim claim{};
    claim.interface = 0;
    claim.flags = USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;
    std::strncpy(claim.driver, spared, sizeof claim.driver - 1);
    return ::ioctl(fd, USBDEVFS_DISCONNECT_CLAIM, &claim) < 0 ? errno : 0;
}

int Contend(const std::string& node)
{
    const int fd = OpenNode(node);
    if (fd < 0) {
        return 1;
    }
    unsigned int interface = 0;
    std::uint8_t state = 0;
    int count = 0;
    std::cout << "driver=" << DriverText(fd) << '\n';
    std::cout << "claim=" << ErrorName(::ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) < 0 ? errno : 0) << '\n';
    std::cout << "transfer=" << ErrorName(Control(fd, 0xA1, 5, 0, 0, &state, 1, count)) << '\n';
    std::cout << "spare=" << ErrorName(DisconnectClaim(fd, "usbfs")) << '\n';
    usbdevfs_ioctl disconnect{0, static_cast<int>(USBDEVFS_DISCONNECT), nullptr};
    std::cout << "disconnect=" << ErrorName(::ioctl(fd, USBDEVFS_IOCTL, &disconnect) < 0 ? errno : 0) << '\n';
    std::cout << "reclaim=" << ErrorName(::ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) < 0 ? errno : 0) << '\n';
    std::cout << "release=" << ErrorName(::ioctl(fd, USBDEVFS_RELEASEINTERFACE, &interface) < 0 ? errno : 0)
              << "\nreleased=" << DriverText(fd) << '\n';
    std::cout << "own=" << ErrorName(DisconnectClaim(fd, "usbfs")) << '\n';
    ::close(fd);
    // Closing ends the claim; the emulated node learns of the close a moment later than the kernel would.
    const int other = OpenNode(node);
    std::string driver;
    const bool ended = WaitFor(3000, [&] { return GetDriver(other, driver) == ENODATA; });
    std::cout << "closed=" << (ended ? "ENODATA" : DriverText(other)) << '\n';
    ::close(other);
    return 0;
}

int Usage()
{
    std::cerr << "usbrun_probe: unknown command (see the head of UsbRunProbe.cpp)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto has = [&](std::size_t count) { return arguments.size() == count; };
    if (has(1) && arguments[0] == "devices") {
        return Devices();
    }
    if (has(4) && arguments[0] == "wait-device") {
        return WaitDevice(arguments[1], arguments[2], std::stol(arguments[3]));
    }
    if (has(3) && arguments[0] == "wait-gone") {
        return WaitGone(arguments[1], std::stol(arguments[2]));
    }
    if (has(4) && arguments[0] == "wait-tree") {
        return WaitTree(arguments[1], std::stoi(arguments[2]), std::stol(arguments[3]));
    }
    if (has(3) && arguments[0] == "wait-property") {
        return WaitProperty(arguments[1], std::stol(arguments[2]));
    }
    if (has(2) && arguments[0] == "hid-request") {
        return HidRequest(arguments[1]);
    }
    if (has(4) && arguments[0] == "hid-get") {
        return HidGet(arguments[1], static_cast<std::uint8_t>(std::stoul(arguments[2], nullptr, 0)),
                      std::stoul(arguments[3], nullptr, 0));
    }
    if (has(2) && arguments[0] == "hid-switch") {
        return HidSwitch(arguments[1]);
    }
    if (has(5) && arguments[0] == "dfu-read") {
        return DfuRead(arguments[1], static_cast<std::uint32_t>(std::stoul(arguments[2], nullptr, 0)),
                       std::stoul(arguments[3], nullptr, 0), arguments[4]);
    }
    if (has(2) && arguments[0] == "dfu-leave") {
        return DfuLeave(arguments[1]);
    }
    if (has(4) && arguments[0] == "hold") {
        return Hold(arguments[1], arguments[2], arguments[3]);
    }
    if (has(2) && arguments[0] == "contend") {
        return Contend(arguments[1]);
    }
    if (has(4) && arguments[0] == "hold-claim") {
        return HoldClaim(arguments[1], static_cast<std::uint32_t>(std::stoul(arguments[2], nullptr, 0)), arguments[3]);
    }
    return Usage();
}
