#include "sim/gadget/ConfigfsGadget.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/bus/FileAccess.h"
#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

constexpr const char* kConfigfs = "/sys/kernel/config";
constexpr const char* kGadgets = "/sys/kernel/config/usb_gadget";
constexpr const char* kUdcClass = "/sys/class/udc";
constexpr const char* kEnglish = "strings/0x409";
constexpr const char* kConfiguration = "configs/c.1";

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool TryWriteAttribute(const std::string& path, const std::string& text)
{
    const io::FileDescriptor fd = io::FileDescriptor::Open(path.c_str(), O_WRONLY);
    return fd.IsValid() && ::write(fd.Get(), text.data(), text.size()) >= 0;
}

void WriteAttribute(const std::string& path, const std::string& text)
{
    if (!TryWriteAttribute(path, text)) {
        throw SimError(SystemError("cannot write '" + text + "' to " + path));
    }
}

void MakeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw SimError(SystemError("cannot create " + path));
    }
}

std::string Hex(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string ConfigfsGadget::FirstUdc()
{
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(kUdcClass), ::closedir);
    for (const dirent* entry = folder ? ::readdir(folder.get()) : nullptr; entry != nullptr;
         entry = ::readdir(folder.get())) {
        if (entry->d_name[0] != '.') {
            return entry->d_name;
        }
    }
    throw SimError("no USB device controller in /sys/class/udc (is dummy_hcd loaded?)");
}

ConfigfsGadget::ConfigfsGadget(const std::string& name, const std::string& functionFsFolder, std::string udc)
    : root_(std::string(kGadgets) + "/" + name),
      functionName_(name),
      functionFsFolder_(functionFsFolder),
      udc_(std::move(udc))
{
    if (!Exists(kGadgets) && ::mount("none", kConfigfs, "configfs", 0, nullptr) != 0) {
        throw SimError(SystemError("cannot mount configfs on " + std::string(kConfigfs)));
    }
    TearDown();  // what an earlier run may have left behind
    try {
        MakeFolder(root_);
        WriteAttribute(Path("bcdUSB"), "0x0200");
        MakeFolder(Path(kEnglish));
        MakeFolder(Path(kConfiguration));
        WriteAttribute(Path(kConfiguration) + "/MaxPower", "100");
        MakeFolder(Path("functions/ffs." + functionName_));
        if (::symlink(Path("functions/ffs." + functionName_).c_str(),
                      Path(std::string(kConfiguration) + "/ffs." + functionName_).c_str()) != 0) {
            throw SimError(SystemError("cannot add the function to " + Path(kConfiguration)));
        }
        if (!FileAccess::EnsureDirectory(functionFsFolder_) ||
            ::mount(functionName_.c_str(), functionFsFolder_.c_str(), "functionfs", 0, nullptr) != 0) {
            throw SimError(SystemError("cannot mount FunctionFS on " + functionFsFolder_));
        }
    } catch (...) {
        TearDown();
        throw;
    }
}

ConfigfsGadget::~ConfigfsGadget() { TearDown(); }

void ConfigfsGadget::SetIdentity(const GadgetIds& identity)
{
    WriteAttribute(Path("idVendor"), Hex(identity.vendorId));
    WriteAttribute(Path("idProduct"), Hex(identity.productId));
    WriteAttribute(Path("bcdDevice"), Hex(identity.bcdDevice));
    WriteAttribute(Path(std::string(kEnglish) + "/manufacturer"), identity.manufacturer);
    WriteAttribute(Path(std::string(kEnglish) + "/product"), identity.product);
    WriteAttribute(Path(std::string(kEnglish) + "/serialnumber"), identity.serial);
}

io::FileDescriptor ConfigfsGadget::OpenEndpointZero() const
{
    const std::string path = functionFsFolder_ + "/ep0";
    io::FileDescriptor fd = io::FileDescriptor::Open(path.c_str(), O_RDWR);
    if (!fd.IsValid()) {
        throw SimError(SystemError("cannot open " + path));
    }
    return fd;
}

void ConfigfsGadget::Bind()
{
    WriteAttribute(Path("UDC"), udc_);
    bound_ = true;
}

void ConfigfsGadget::Unbind()
{
    if (bound_) {
        bound_ = false;
        WriteAttribute(Path("UDC"), "\n");
    }
}

void ConfigfsGadget::TearDown() noexcept
{
    if (Exists(Path("UDC"))) {
        TryWriteAttribute(Path("UDC"), "\n");  // fails harmlessly when it is not bound
    }
    bound_ = false;
    ::umount(functionFsFolder_.c_str());
    ::unlink(Path(std::string(kConfiguration) + "/ffs." + functionName_).c_str());
    for (const std::string& relative :
         {std::string(kConfiguration), "functions/ffs." + functionName_, std::string(kEnglish)}) {
        ::rmdir(Path(relative).c_str());
    }
    ::rmdir(root_.c_str());
}

std::string ConfigfsGadget::Path(const std::string& relative) const { return root_ + "/" + relative; }

}  // namespace tarnix::sim
