#include "cli/Cli.h"

#include "cli/CliErrors.h"
#include "cli/ModelThreadGuard.h"
#include "core/ApplicationInformation.h"
#include "core/ApplicationModel.h"
#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/Parameters.h"
#include "core/TpError.h"
#include "core/Utility.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

// Every option line of the usage text starts its description in this column.
constexpr std::size_t helpDescriptionColumn = 24;

const std::pair<const char*, const char*> helpOptions[] = {
    {"-l --list", "List currently connected devices."},
    {"-d --device <index>", "Specify which device to work with."},
    {"-w --write <file>", "Write parameters stored in a .json file to the device."},
    {"-r --read <file>", "Read parameters from the device and store them in a .json file."},
    {"-f --flash <file>", "Flash a new firmware with a .hex or .dfu file."},
    {"-o --overwrite", "Enables overwriting parameters when flashing firmware."},
    {"-i --install", "Installs compatible DFU drivers. Administrator rights needed."},
    {"-v --version", "Display TarnixProgrammer application version."},
    {"-h --help", "Display this help message."},
};

const char* const noDeviceChoiceMessage =
    "No device index given and multiple device choices available. Please specify which device to work with by "
    "using --device <index>. Use --list to list connected devices.";
const char* const noPersistentParametersMessage =
    "Error: This firmware does not have support for persistant parameters. Please update the firmware or leave "
    "configuration mode if applicable.";
const char* const programOutdatedMessage =
    "Error: This version of Tarnix Programmer is outdated and not compatible with the current firmware version. "
    "Please download the latest version of Tarnix Programmer.";
const char* const overwriteRefusedMessage =
    "Error: This firmware will overwrite parameters. Use the --overwrite in order to flash this firmware.";
const char* const noDeviceToInstallMessage =
    "Error: No device connected. Make sure to connect a sensor before running the install command.";

// The flash command polls the write this often, and stops polling (not the write) after this long.
constexpr int flashPollMs = 50;
constexpr std::int64_t flashPollLimitMs = 19999;

// Answers of the parameter schema check.
constexpr int noSchemaVersion = 0;
constexpr int schemaSupported = 3;

// The main thread, the progress thread and the write thread all print; one lock keeps their writes whole.
std::mutex& ConsoleLock()
{
    static std::mutex lock;
    return lock;
}

void PrintText(const std::string& text)
{
    std::lock_guard<std::mutex> hold(ConsoleLock());
    std::cout << text << std::flush;
}

void PrintLine(const std::string& text) { PrintText(text + "\n"); }

bool IsWord(const std::string& word, const char* shortForm, const char* longForm)
{
    return word == shortForm || word == longForm;
}

bool HasSuffix(std::string text, std::string suffix) { return Utility::StringEndsWith(text, suffix, true); }

bool IsPathTooLong(const std::string& path) { return Utility::GetFullPathLength(path) > Utility::maxPathLength; }

// What both file options check first: the name ends in one of the suffixes (case-sensitive) and its full path
// fits the length limit. Answers the error line, or empty.
std::string CheckFileName(const std::string& file, std::initializer_list<const char*> suffixes, const char* expected)
{
    bool typed = false;
    for (const char* suffix : suffixes) {
        typed = typed || HasSuffix(file, suffix);
    }
    if (!typed) {
        return "Error: Invalid file type " + file + ". Expected " + expected + ".";
    }
    if (IsPathTooLong(file)) {
        return "Error: Too long path. Supports up to 259 characters.";
    }
    return "";
}

void PauseMilliseconds(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// A file that asks for a peak count must name one that the sensor's own source count allows.
void CheckScanningRange(const Parameters& fromFile, const Parameters& fromDevice)
{
    if (!fromFile.geometry || !fromFile.geometry->peakCount) {
        return;
    }
    if (!fromDevice.geometry || !fromDevice.geometry->sourceCount) {
        throw TpError::InvalidScanningRange();
    }
    const int requested = *fromFile.geometry->peakCount;
    for (const auto& range : Utility::GetPossiblePeakCountAndRelativeHeights(*fromDevice.geometry->sourceCount)) {
        if (range.second == requested) {
            return;
        }
    }
    throw TpError::InvalidScanningRange();
}

}  // namespace

Cli::Cli() : model(std::make_unique<ApplicationModel>(this)) {}

Cli::~Cli() = default;

// ---------------------------------------------------------------------------------------------------------
// Argument parsing, help and version

int Cli::ProcessArgument(int argc, char** argv)
{
    if (argc == 1) {
        PrintHelp();
        return 0;
    }
    if (argc < 1) {
        PrintError("Error: No operation selected.", true);
        return -1;
    }
    Operation selection = Operation::None;
    int position = 1;
    while (position < argc) {
        const std::string word = argv[position];
        if (IsWord(word, "-h", "--help") || IsWord(word, "-v", "--version") || IsWord(word, "-l", "--list") ||
            IsWord(word, "-i", "--install")) {
            if (argc == 2) {
                return RunSingleWordOption(word);
            }
            PrintError("Error: " + word + " may not be used with other arguments.", true);
            return -1;
        }
        const std::string error = ParseOption(argc, argv, position, selection);
        if (!error.empty()) {
            PrintError(error, true);
            return -1;
        }
    }
    return RunSelectedOperation(selection);
}

int Cli::RunSingleWordOption(const std::string& word)
{
    if (IsWord(word, "-h", "--help")) {
        PrintHelp();
        return 0;
    }
    if (IsWord(word, "-v", "--version")) {
        PrintVersionNumber();
        return 0;
    }
    if (IsWord(word, "-l", "--list")) {
        return ListDevices() ? 0 : -1;
    }
    return InstallDfuDrivers() ? 0 : -1;
}

std::string Cli::ParseOption(int argc, char** argv, int& position, Operation& selection)
{
    const std::string word = argv[position];
    if (IsWord(word, "-d", "--device")) {
        return ParseDeviceIndex(argc, argv, position);
    }
    if (IsWord(word, "-o", "--overwrite")) {
        return ParseOverwrite(word, position, selection);
    }
    if (IsWord(word, "-f", "--flash")) {
        return ParseFirmwareFile(argc, argv, position, selection);
    }
    if (IsWord(word, "-r", "--read") || IsWord(word, "-w", "--write")) {
        return ParseJsonFile(argc, argv, position, selection);
    }
    return "Error: Unknown argument: " + word + ".";
}

std::string Cli::ParseDeviceIndex(int argc, char** argv, int& position)
{
    if (position + 1 >= argc) {
        return "Error: No device index given.";
    }
    try {
        deviceIndex = std::stoi(argv[position + 1]);
    } catch (const std::logic_error&) {  // no digits, or outside the int range
        return "Error: Invalid format on device index.";
    }
    deviceIndexGiven = true;
    position += 2;
    return "";
}

std::string Cli::ParseOverwrite(const std::string& word, int& position, Operation selection)
{
    if (selection == Operation::Read || selection == Operation::Write) {
        return "Error: " + word + " may only be specified with -f/--flash.";
    }
    overwriteAllowed = true;
    position += 1;
    return "";
}

std::string Cli::ParseFirmwareFile(int argc, char** argv, int& position, Operation& selection)
{
    const std::string word = argv[position];
    if (position + 1 >= argc) {
        return "Error: " + word + " requires firmware file name.";
    }
    firmwarePath = argv[position + 1];
    const std::string error = CheckFileName(firmwarePath, {".dfu", ".hex"}, ".dfu/.hex");
    if (!error.empty()) {
        return error;
    }
    if (!Utility::IsPathValid(firmwarePath)) {
        return "Error: Invalid firmware path: " + firmwarePath + ".";
    }
    selection = Operation::Flash;
    position += 2;
    return "";
}

std::string Cli::ParseJsonFile(int argc, char** argv, int& position, Operation& selection)
{
    const std::string word = argv[position];
    if (position + 1 >= argc) {
        return "Error: " + word + " requires json file name.";
    }
    jsonPath = argv[position + 1];
    const std::string error = CheckFileName(jsonPath, {".json"}, ".json");
    if (!error.empty()) {
        return error;
    }
    if (IsWord(word, "-r", "--read")) {
        selection = Operation::Read;  // the read command creates the file
    } else if (!Utility::IsPathValid(jsonPath)) {
        return "Error: Invalid json path: " + jsonPath + ".";
    } else {
        selection = Operation::Write;
    }
    return ParseSchemaFile(argc, argv, position);
}

// The word after the JSON file is a schema file unless it starts with '-'; without one, a schema file of an
// earlier -r or -w stays.
std::string Cli::ParseSchemaFile(int argc, char** argv, int& position)
{
    if (position + 2 >= argc || argv[position + 2][0] == '-') {
        position += 2;
        return "";
    }
    schemaPath = argv[position + 2];
    if (!Utility::IsPathValid(schemaPath)) {
        return "Error: Invalid schema path: " + schemaPath + ".";
    }
    position += 3;
    return "";
}

int Cli::RunSelectedOperation(Operation selection)
{
    bool succeeded = false;
    switch (selection) {
        case Operation::Flash:
            succeeded = FlashFirmware(deviceIndex, firmwarePath);
            break;
        case Operation::Read:
            succeeded = schemaPath.empty() ? UploadFromSensor(deviceIndex, jsonPath)
                                           : UploadFromSensor(deviceIndex, schemaPath, jsonPath);
            break;
        case Operation::Write:
            succeeded = schemaPath.empty() ? DownloadToSensor(deviceIndex, jsonPath)
                                           : DownloadToSensor(deviceIndex, schemaPath, jsonPath);
            break;
        case Operation::None:
            PrintError("Error: No operation selected.", true);
            return -1;
    }
    return succeeded ? 0 : -1;
}

void Cli::PrintHelp()
{
    std::string text = "Usage: TarnixProgrammer_CLI [options] ...\n";
    for (const auto& option : helpOptions) {
        std::string forms = option.first;
        forms.resize(std::max(forms.size(), helpDescriptionColumn), ' ');
        text += forms + option.second + "\n";
    }
    PrintText(text);
}

void Cli::PrintError(std::string message, bool withUsage)
{
    if (withUsage) {
        PrintHelp();
    }
    PrintLine(message);
}

void Cli::PrintVersionNumber()
{
    const ApplicationInformation& information = ApplicationInformation::GetApplicationInformation();
    PrintLine(information.applicationName + " version: " + information.GetVersionText());
}

// ---------------------------------------------------------------------------------------------------------
// Event handlers

void Cli::OnNewDevice(std::string, std::string, bool) {}

void Cli::OnDeviceDisconnected(std::string) {}

void Cli::OnErrorConnectingToDevice(TpError::Exception&) {}

void Cli::OnUpdateProgress(int percent)
{
    std::lock_guard<std::mutex> hold(flashOutputLock);
    if (flashOutcomePrinted || lastProgress == 100 || lastProgress == percent) {
        return;
    }
    lastProgress = percent;
    PrintText("\r" + std::to_string(percent) + "%");
}

void Cli::OnWriteFirmwareFinished()
{
    std::lock_guard<std::mutex> hold(flashOutputLock);
    PrintText("\nFlashing complete.\n");
    flashOutcomePrinted = true;
    flashSucceeded = true;
    flashInProgress = false;
}

void Cli::OnBadFirmwareFile() { PrintLine("Error: Bad firmware file."); }

void Cli::OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path)
{
    if (willOverwritePersistentParameters && !overwriteAllowed) {
        PrintLine(overwriteRefusedMessage);
        flashSucceeded = false;
        flashInProgress = false;
        return;
    }
    PrintLine("Start flashing...");
    flashInProgress = true;
    model->StartDownloadThread(flashDevicePath, path);
}

void Cli::OnFailedFirmwareFileCheck() { PrintLine("Error: Failed firmware check."); }

void Cli::OnWriteFirmwareFailed()
{
    std::lock_guard<std::mutex> hold(flashOutputLock);
    PrintText("\nError: Flashing failed.\n");
    flashOutcomePrinted = true;
    flashSucceeded = false;
    flashInProgress = false;
}

void Cli::OnLeaveDfuModeResult(bool) {}

void Cli::OnIncompatibleDfuDrivers() { incompatibleDfuDrivers = true; }

// ---------------------------------------------------------------------------------------------------------
// Device numbering and the list command

std::vector<IndexedSensor> Cli::GetDevices()
{
    DeviceHandler::GetInstance()->ClearDeviceMaps();
    std::vector<IndexedSensor> devices;
    int counter = 1;
    std::string name;
    while (DeviceFinder::FindSensorHidDevice(name)) {
        devices.push_back({counter++, name, false});
    }
    std::vector<std::string> newNames;
    if (DeviceFinder::FindDfuDevice(newNames, incompatibleDfuDrivers)) {
        for (const std::string& dfuName : newNames) {
            devices.push_back({counter++, dfuName, true});
        }
    }
    return devices;
}

IndexedSensor Cli::GetDevice(int index)
{
    const std::vector<IndexedSensor> devices = GetDevices();
    if (devices.size() > 1 && !deviceIndexGiven) {
        PrintLine(noDeviceChoiceMessage);
        return IndexedSensor();
    }
    for (const IndexedSensor& device : devices) {
        if (device.index == index) {
            return device;
        }
    }
    return IndexedSensor();
}

bool Cli::ListDevices()
{
    const std::vector<IndexedSensor> devices = GetDevices();
    if (incompatibleDfuDrivers) {
        throw TpError::CLIIncompatibleDfuDrivers();
    }
    std::vector<std::string> lines;
    for (const IndexedSensor& device : devices) {
        lines.push_back(DescribeDevice(device));
    }
    if (lines.empty()) {
        PrintLine("No devices found.");
        return true;
    }
    PrintLine("Devices:");
    for (const std::string& line : lines) {
        PrintLine(line);
    }
    return true;
}

std::string Cli::DescribeDevice(const IndexedSensor& device)
{
    const std::string number = std::to_string(device.index) + ". ";
    if (device.inDfu) {
        return number + "Device In Configuration Mode   Unique Address: " + device.deviceName;
    }
    const DeviceInformation information = model->GetDeviceInformation(device.deviceName, false);
    return number + information.platformText86 +
           "   Firmware Version: " + std::to_string(information.firmwareVersionMajor) + "." +
           std::to_string(information.firmwareVersionMinor) + "   MCU identifier: " + information.mcuIdentifier;
}

// ---------------------------------------------------------------------------------------------------------
// Flash and driver commands

bool Cli::FlashFirmware(int index, std::string firmwareFile)
{
    lastProgress = -1;
    flashOutcomePrinted = false;
    flashInProgress = false;
    flashSucceeded = false;
    IndexedSensor sensor = ChooseSensorForCommand(index);
    if (!sensor.inDfu) {
        SwitchToDfuMode(sensor);
    }
    flashDevicePath = sensor.deviceName;
    // The check starts the write and progress threads when it accepts the file (OnFirmwareFileChecked).
    ModelThreadGuard download(*model, &ApplicationModel::EndDownloadThread);
    model->InitFirmwareFileCheck(firmwareFile);
    WaitForFlashToEnd();
    download.End();  // joins the write thread, however long the write still takes
    return flashSucceeded;
}

// Polls for the end of the write at most about 20 s; the flag is first tested after one pause.
void Cli::WaitForFlashToEnd()
{
    Utility::Timer timer;
    timer.Start();
    while (static_cast<std::int64_t>(timer.Current()) <= flashPollLimitMs) {
        PauseMilliseconds(flashPollMs);
        if (!flashInProgress) {
            return;
        }
    }
}

bool Cli::InstallDfuDrivers()
{
    IndexedSensor sensor = GetDevice(deviceIndex);
    if (incompatibleDfuDrivers) {
        Utility::InstallDfuDrivers(true);
        return true;
    }
    if (sensor.index != -1 && !sensor.inDfu) {
        // No search runs, so this waits its full time, which gives the sensor time to come back in
        // configuration mode, where the next enumeration sees its driver.
        model->SetDfuAndExpectDevice(sensor.deviceName, sensor.deviceName);
    }
    sensor = GetDevice(deviceIndex);
    if (incompatibleDfuDrivers) {
        Utility::InstallDfuDrivers(true);
        return true;
    }
    if (sensor.index == -1 || !sensor.inDfu) {
        PrintLine(noDeviceToInstallMessage);
        return false;
    }
    PrintLine("Correct drivers installed. No action needed.");
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Parameter commands

IndexedSensor Cli::ChooseSensorForCommand(int index)
{
    IndexedSensor sensor = GetDevice(index);
    if (incompatibleDfuDrivers) {
        throw TpError::CLIIncompatibleDfuDrivers();
    }
    if (sensor.index == -1) {
        throw TpError::DeviceNotFound();
    }
    return sensor;
}

// Switches a sensor in normal mode into configuration mode; afterwards `sensor` names its DFU device.
void Cli::SwitchToDfuMode(IndexedSensor& sensor)
{
    model->StartSearchThread();
    ModelThreadGuard search(*model, &ApplicationModel::EndSearch);
    const bool appeared = model->SetDfuAndExpectDevice(sensor.deviceName, sensor.deviceName);
    search.End();
    if (incompatibleDfuDrivers) {
        throw TpError::CLIIncompatibleDfuDrivers();
    }
    if (!appeared) {
        throw TpError::FailedToGetDfuHandle();
    }
    sensor.inDfu = true;
}

bool Cli::SensorReadyForParameterOperation(IndexedSensor& sensor)
{
    if (sensor.inDfu) {
        model->StartSearchThread();
        ModelThreadGuard search(*model, &ApplicationModel::EndSearch);
        const bool returned = model->LeaveDfuAndExpectDevice(sensor.deviceName, sensor.deviceName);
        search.End();
        if (!returned) {
            throw TpError::FailedToLeaveDfuMode();
        }
        sensor.inDfu = false;
    }
    const int support = model->IsDeviceParametersVersionSupported(sensor.deviceName, false);
    if (support == schemaSupported) {
        SwitchToDfuMode(sensor);
        return true;
    }
    PrintLine(support == noSchemaVersion ? noPersistentParametersMessage : programOutdatedMessage);
    return false;
}

bool Cli::UploadFromSensor(int index, std::string jsonFile) { return UploadFromSensor(index, "", jsonFile); }

bool Cli::UploadFromSensor(int index, std::string schemaFile, std::string jsonFile)
{
    IndexedSensor sensor = ChooseSensorForCommand(index);
    if (!SensorReadyForParameterOperation(sensor)) {
        return false;
    }
    if (!schemaFile.empty()) {
        model->Upload(sensor.deviceName, schemaFile, jsonFile);
    } else {
        Parameters parameters;
        model->Upload(sensor.deviceName, parameters);
        // The counts describe the sensor's optics; a saved file must not carry them to another sensor.
        if (parameters.geometry) {
            parameters.geometry->sourceCount.reset();
            parameters.geometry->sensorCount.reset();
        }
        model->SaveParametersAsJson(jsonFile, parameters);
    }
    model->LeaveDfuMode(sensor.deviceName);
    return true;
}

bool Cli::DownloadToSensor(int index, std::string jsonFile) { return DownloadToSensor(index, "", jsonFile); }

bool Cli::DownloadToSensor(int index, std::string schemaFile, std::string jsonFile)
{
    if (!Utility::IsPathValid(jsonFile)) {
        throw TpError::InvalidPath();
    }
    if (!schemaFile.empty() && !Utility::IsPathValid(schemaFile)) {
        throw TpError::InvalidPath();
    }
    IndexedSensor sensor = ChooseSensorForCommand(index);
    if (!SensorReadyForParameterOperation(sensor)) {
        return false;
    }
    if (!schemaFile.empty()) {
        model->Download(sensor.deviceName, schemaFile, jsonFile);
    } else {
        WriteRecordToSensor(sensor.deviceName, jsonFile);
    }
    model->LeaveDfuMode(sensor.deviceName);
    return true;
}

// Lays the fields that the file sets over the parameters stored in the sensor and writes the result back.
void Cli::WriteRecordToSensor(const std::string& deviceName, const std::string& jsonFile)
{
    Parameters fromFile;
    model->GetParametersFromJson(jsonFile, fromFile);
    Parameters fromDevice;
    model->Upload(deviceName, fromDevice);
    CheckScanningRange(fromFile, fromDevice);
    ApplicationModel::CombineParameters(fromDevice, fromFile);
    model->Download(deviceName, fromDevice);
}
