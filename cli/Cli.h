#pragma once

#include "cli/IndexedSensor.h"
#include "core/ApplicationModelEvents.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ApplicationModel;

// The command-line tool: parses one command line, runs the one operation it selects on the program's
// ApplicationModel, and receives that model's events. It lives on main's stack for one run.
//
// The model's threads call the event operations while a command waits on the main thread: they only print
// and set flags, never wait for the main thread.
class Cli : public ApplicationModelEvents {
public:
    Cli();
    ~Cli();

    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;

    // Parses the words of the command line and runs the selected operation: 0 on success, -1 on failure.
    // A TpError::Exception of a command passes through to the caller.
    int ProcessArgument(int argc, char** argv);

    void OnNewDevice(std::string name, std::string description, bool isDfu) override;
    void OnDeviceDisconnected(std::string name) override;
    void OnErrorConnectingToDevice(TpError::Exception& error) override;
    void OnUpdateProgress(int percent) override;
    void OnWriteFirmwareFinished() override;
    void OnBadFirmwareFile() override;
    void OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path) override;
    void OnFailedFirmwareFileCheck() override;
    void OnWriteFirmwareFailed() override;
    void OnLeaveDfuModeResult(bool succeeded) override;
    void OnIncompatibleDfuDrivers() override;

private:
    enum class Operation { None, Write, Read, Flash };

    // Printing.
    void PrintHelp();
    void PrintError(std::string message, bool withUsage);
    void PrintVersionNumber();

    // Argument parsing: each step checks its option at once and answers an error line, or empty when the
    // option is fine and `position` has moved past it.
    int RunSingleWordOption(const std::string& word);
    std::string ParseOption(int argc, char** argv, int& position, Operation& selection);
    std::string ParseDeviceIndex(int argc, char** argv, int& position);
    std::string ParseOverwrite(const std::string& word, int& position, Operation selection);
    std::string ParseFirmwareFile(int argc, char** argv, int& position, Operation& selection);
    std::string ParseJsonFile(int argc, char** argv, int& position, Operation& selection);
    std::string ParseSchemaFile(int argc, char** argv, int& position);
    int RunSelectedOperation(Operation selection);

    // Device numbering and the list command.
    std::vector<IndexedSensor> GetDevices();
    IndexedSensor GetDevice(int index);
    bool ListDevices();
    std::string DescribeDevice(const IndexedSensor& device);

    // Flash and driver commands.
    bool FlashFirmware(int index, std::string firmwarePath);
    bool InstallDfuDrivers();
    void WaitForFlashToEnd();

    // Parameter commands.
    IndexedSensor ChooseSensorForCommand(int index);
    void SwitchToDfuMode(IndexedSensor& sensor);
    bool SensorReadyForParameterOperation(IndexedSensor& sensor);
    bool UploadFromSensor(int index, std::string jsonPath);
    bool UploadFromSensor(int index, std::string schemaPath, std::string jsonPath);
    bool DownloadToSensor(int index, std::string jsonPath);
    bool DownloadToSensor(int index, std::string schemaPath, std::string jsonPath);
    void WriteRecordToSensor(const std::string& deviceName, const std::string& jsonPath);

    std::unique_ptr<ApplicationModel> model;
    // The last percentage printed during the current flash; written by the main thread before the download
    // threads start and afterwards only by the progress thread.
    int lastProgress = 0;
    // Set once the outcome line of the current flash is printed: the progress thread may still report a
    // value read before the write ended, which must not land after that line. Both are guarded by
    // flashOutputLock together with the printing of progress and outcome.
    bool flashOutcomePrinted = false;
    std::mutex flashOutputLock;
    // Cleared by the write thread while the main thread polls it.
    std::atomic<bool> flashInProgress{false};
    // Written by the write thread; read after the main thread has joined it.
    bool flashSucceeded = false;
    bool overwriteAllowed = false;
    // Set by the search thread and read after the search was joined, or recomputed by the numbering.
    bool incompatibleDfuDrivers = false;
    int deviceIndex = 1;
    bool deviceIndexGiven = false;
    std::string firmwarePath;
    std::string jsonPath;
    std::string schemaPath;
    std::string flashDevicePath;
};
