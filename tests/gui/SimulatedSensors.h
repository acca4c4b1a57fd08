#pragma once

#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A private simulated bus for one test, spoken to in Qt's types: $TARNIX_SIM_DIR names a fresh folder while the
// object lives, and the tarnix-sim tool beside the test program plugs sensors, injects faults and reads or
// writes their flash. Every sensor is unplugged before the bus goes.
class SimulatedSensors {
public:
    SimulatedSensors() = default;
    ~SimulatedSensors() { Run({"unplug", "--all"}); }

    SimulatedSensors(const SimulatedSensors&) = delete;
    SimulatedSensors& operator=(const SimulatedSensors&) = delete;

    // The tool's standard output, or nothing when it failed.
    std::optional<QString> Run(const QStringList& arguments) const
    {
        std::vector<std::string> words;
        for (const QString& argument : arguments) {
            words.push_back(argument.toStdString());
        }
        const std::optional<std::string> output = bus.SimToolOutput(words);
        return output ? std::optional<QString>(QString::fromStdString(*output)) : std::nullopt;
    }

    // Plugs a sensor with the given serial and options; true when the tool did it.
    bool Plug(const QString& serial, const QStringList& options = {}) const
    {
        return Run(QStringList{"plug", "--serial", serial} + options).has_value();
    }

    // The sensor's whole parameter area.
    QByteArray ReadParameterArea(const QString& serial) const
    {
        namespace flash = tarnix::test::sensor_flash;
        const std::vector<std::uint8_t> area = bus.ReadFlash(serial.toStdString(), flash::kParameters, flash::kPage);
        return QByteArray(reinterpret_cast<const char*>(area.data()), static_cast<int>(area.size()));
    }

    bool WriteParameterArea(const QString& serial, const QByteArray& area) const
    {
        return bus.WriteFlash(serial.toStdString(), tarnix::test::sensor_flash::kParameters,
                              std::vector<std::uint8_t>(area.begin(), area.end()));
    }

    QString FilePath(const QString& name) const { return QString::fromStdString(bus.File(name.toStdString())); }
    // Where failed parameter writes save the page from before the write while the bus lives.
    QString PageBackupFolder() const { return QString::fromStdString(bus.PageBackupFolder()); }

private:
    tarnix::test::SimulatedBus bus;
};
