#pragma once

#include "core/Parameters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>

namespace SerializationTestSupport {

// A record with every member set, each to a distinct value, zeros and falses included.
inline Parameters FullRecord()
{
    Parameters p;
    p.geometry = Geometry{uint8_t{12}, uint8_t{34}, uint8_t{5}};
    DeviceConfiguration c;
    c.subTouchActiveArea = SubTouchActiveArea{Vec2{1, 2}, Vec2{32767, -32768}, true, false, true, Vec2{-5, 7}};
    c.sizeRestriction = SizeRestriction{true, uint16_t{65535}, false, uint16_t{0}};
    c.reflectiveEdge = false;
    c.numberOfReportedTouches = 10;
    c.hidDisplaySize = Vec2{1920, 1080};
    c.floatingProtection = FloatingProtection{true, uint16_t{250}};
    c.clickOnTouch = ClickOnTouch{false, uint16_t{300}, uint16_t{40}};
    c.snappingFilter = SnappingFilter{true, SnappingDistance{1, 2}, SnappingDistance{3, 4}, SnappingDistance{5, 6},
                                      SnappingDistance{7, 65535}};
    c.doubleClickPrevention = DoubleClickPrevention{true, uint16_t{500}, uint16_t{60}};
    p.deviceConfiguration = c;
    p.fingerFrequency = -300;
    p.idleFrequency = 0;
    p.i2cAddress = 0x48;
    p.systemEnabled = true;
    p.operationMode = OperationMode{false, true};
    return p;
}

// A fresh folder for one test, removed with everything in it afterwards.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-serialization-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder = pattern;
        }
    }
    ~TemporaryFolder() { std::filesystem::remove_all(folder); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string Path(const std::string& name) const { return (folder / name).string(); }

    std::string Write(const std::string& name, const std::string& content) const
    {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream file(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

private:
    std::filesystem::path folder;
};

}  // namespace SerializationTestSupport
