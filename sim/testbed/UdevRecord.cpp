#include "sim/testbed/UdevRecord.h"

#include "sim/sensor/TextNumbers.h"

namespace tarnix::sim {

namespace {

// The path without its leading folder ("/sys/devices/x" -> "/devices/x", "/dev/hidraw0" -> "hidraw0").
std::string Below(const std::string& path, const std::string& folder)
{
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
}

}  // namespace

UdevRecord::UdevRecord(const std::string& sysPath) : text_("P: " + Below(sysPath, "/sys") + "\n") {}

UdevRecord& UdevRecord::Node(const std::string& devPath)
{
    text_ += "N: " + Below(devPath, "/dev/") + "\n";
    return *this;
}

UdevRecord& UdevRecord::Property(const std::string& name, const std::string& value)
{
    text_ += "E: " + name + "=" + value + "\n";
    return *this;
}

UdevRecord& UdevRecord::Text(const std::string& name, const std::string& value)
{
    const std::string line = value + "\n";
    return Binary(name, std::vector<std::uint8_t>(line.begin(), line.end()));
}

UdevRecord& UdevRecord::Binary(const std::string& name, const std::vector<std::uint8_t>& value)
{
    text_ += "H: " + name + "=" + TextNumbers::HexBytes(value) + "\n";
    return *this;
}

UdevRecord& UdevRecord::DevAttribute(const std::string& value)
{
    text_ += "A: dev=" + value + "\n";
    return *this;
}

UdevRecord& UdevRecord::CharacterDevice(unsigned major, unsigned minor)
{
    const std::string majorText = std::to_string(major);
    const std::string minorText = std::to_string(minor);
    return DevAttribute(majorText + ":" + minorText).Property("MAJOR", majorText).Property("MINOR", minorText);
}

// umockdev links a node's number to the node when it reads a text `dev` attribute of a device with a DEVNAME;
// written as a binary attribute, the number is the attribute alone.
UdevRecord& UdevRecord::NodeMadeApart(const DeviceNode& node)
{
    const std::string number = node.Number();
    Property("DEVNAME", node.devNode)
        .Property("MAJOR", std::to_string(node.major))
        .Property("MINOR", std::to_string(node.minor));
    return Binary("dev", std::vector<std::uint8_t>(number.begin(), number.end()));
}

std::string UdevRecord::Finish() const { return text_ + "\n"; }

}  // namespace tarnix::sim
