#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

// A private simulated bus for one test: $TARNIX_SIM_DIR names a fresh folder while the object lives, and the
// tarnix-sim tool beside the test program plugs sensors, injects faults and reads or writes their flash.
class SimulatedSensors {
public:
    SimulatedSensors()
    {
        const char* previous = std::getenv("TARNIX_SIM_DIR");
        if (previous != nullptr) {
            previousFolder = previous;
        }
        qputenv("TARNIX_SIM_DIR", folder.filePath("bus").toUtf8());
    }

    ~SimulatedSensors()
    {
        Run({"unplug", "--all"});
        if (previousFolder) {
            qputenv("TARNIX_SIM_DIR", QByteArray::fromStdString(*previousFolder));
        } else {
            qunsetenv("TARNIX_SIM_DIR");
        }
    }

    SimulatedSensors(const SimulatedSensors&) = delete;
    SimulatedSensors& operator=(const SimulatedSensors&) = delete;

    // The tool's standard output, or nothing when it failed.
    std::optional<QString> Run(const QStringList& arguments) const
    {
        QProcess tool;
        tool.start(QCoreApplication::applicationDirPath() + "/tarnix-sim", arguments);
        if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
            return std::nullopt;
        }
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    // Plugs a sensor with the given serial and options; true when the tool did it.
    bool Plug(const QString& serial, const QStringList& options = {}) const
    {
        return Run(QStringList{"plug", "--serial", serial} + options).has_value();
    }

    // The sensor's whole parameter area.
    QByteArray ReadParameterArea(const QString& serial) const
    {
        const QString file = folder.filePath(serial + "-area.bin");
        if (!Run({"read-flash", serial, "0x08004000", "2048", "-o", file})) {
            return {};
        }
        return ReadFile(file);
    }

    bool WriteParameterArea(const QString& serial, const QByteArray& area) const
    {
        const QString file = folder.filePath(serial + "-new-area.bin");
        return WriteFile(file, area) && Run({"write-flash", serial, "0x08004000", file}).has_value();
    }

    QString FilePath(const QString& name) const { return folder.filePath(name); }

    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static bool WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

private:
    QTemporaryDir folder;
    std::optional<std::string> previousFolder;
};
