#include "sim/tool/SimTool.h"

#include <fstream>

#include "sim/sensor/BusConstants.h"
#include "sim/images/DfuFileWriter.h"
#include "sim/bus/FileAccess.h"
#include "sim/images/FirmwareImage.h"
#include "sim/images/IntelHexWriter.h"
#include "sim/bus/SimBus.h"
#include "sim/bus/SimError.h"
#include "sim/sensor/TextNumbers.h"
#include "sim/tool/CommandArguments.h"
#ifdef TARNIX_USB_RUN
#include "sim/usbrun/UsbRun.h"
#endif

namespace tarnix::sim {

namespace {

constexpr const char* kUsage =
    "usage: tarnix-sim COMMAND ...\n"
    "  plug [--serial S] [--mode normal|dfu] [--driver ok|incompatible]\n"
    "       [--firmware MAJ.MIN] [--schema MAJ.MIN|none] [--mcu HEX] [--product TEXT]\n"
    "       [--silent] [--open-fails] [--reenumerate-ms N] [--page-ms N]\n"
    "       [--collections LIST]             LIST: the HID report descriptor's top-level collections in\n"
    "                                        order, comma-separated: config (the configuration collection\n"
    "                                        with the feature reports), config/BYTES (its reports carry BYTES\n"
    "                                        data bytes, default 257), PAGE:USAGE (another collection, e.g.\n"
    "                                        0x0D:0x04 for a digitizer); default: config\n"
    "                                        plug in a sensor; prints its serial\n"
    "  unplug S | --all                      unplug one sensor or all of them\n"
    "  list                                  one line per sensor: serial, mode, driver, device name\n"
    "  fault S none|open|erase|address|upload|download|leave|program|stall|unplug|corrupt|hang [--once]\n"
    "                                        inject a device fault; --once: the next matching request only\n"
    "  read-flash S ADDRESS LENGTH -o FILE   copy flash bytes of a sensor into a file\n"
    "  write-flash S ADDRESS FILE            write a file's bytes into a sensor's flash\n"
    "  make-firmware --version MAJ.MIN [--schema MAJ.MIN] [--size BYTES]\n"
    "                [--params erased|FILE] -o OUT.hex|OUT.dfu\n"
    "                                        write a firmware image file\n"
    "  fix-drivers                           give every incompatible DFU device the right driver\n"
    "  usb-run [--] COMMAND [ARGS...]        run COMMAND on the real-bus backend (TARNIX_BUS=usb) inside an\n"
    "                                        emulated device tree mirroring this bus; exits with COMMAND's\n"
    "                                        code (125 when usb-run itself fails)\n"
    "The bus lives in $TARNIX_SIM_DIR (default ${XDG_RUNTIME_DIR:-/tmp}/tarnix-sim-$UID).\n"
    "Addresses and sizes accept 0x hexadecimal.\n";

// usb-run, when this build has it (it is built with the tests and the benchmarks); exits with COMMAND's code,
// or 125 when usb-run itself fails or is missing.
int RunOnEmulatedDevices(std::ostream& err, const std::vector<std::string>& command)
{
#ifdef TARNIX_USB_RUN
    return UsbRun(err).Run(command);
#else
    static_cast<void>(command);
    err << "tarnix-sim: usb-run is not part of this build (configure with -DTARNIX_BUILD_TESTS=ON)\n";
    return 125;
#endif
}

Version ParseVersion(const std::string& text, const std::string& option)
{
    const auto version = Version::Parse(text);
    if (!version) {
        throw SimError(option + " needs MAJ.MIN (numbers up to 65535), got '" + text + "'");
    }
    return *version;
}

std::optional<Version> ParseSchema(const std::string& text, const std::string& option)
{
    if (text == "none") {
        return std::nullopt;
    }
    return ParseVersion(text, option);
}

std::uint64_t ParseNumber(const std::string& text, const std::string& what, std::uint64_t limit)
{
    const auto value = TextNumbers::ParseUnsigned(text, limit);
    if (!value) {
        throw SimError(what + " must be a number from 0 to " + std::to_string(limit) + " (0x hex allowed), got '" +
                       text + "'");
    }
    return *value;
}

std::vector<std::uint8_t> ReadInputFile(const std::string& path)
{
    auto bytes = FileAccess::ReadBytes(path);
    if (!bytes) {
        throw SimError("cannot read " + path);
    }
    return *bytes;
}

void WriteOutputFile(const std::string& path, const void* data, std::size_t length)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    file.close();
    if (!file) {
        throw SimError("cannot write " + path);
    }
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string RequireValue(const CommandArguments& arguments, const std::string& option, const std::string& usage)
{
    auto value = arguments.Value(option);
    if (!value) {
        throw SimError(option + " is required; usage: tarnix-sim " + usage);
    }
    return *value;
}

}  // namespace

SimTool::SimTool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

int SimTool::Run(const std::vector<std::string>& arguments)
{
    if (arguments.empty()) {
        err_ << "tarnix-sim: no command given (tarnix-sim --help lists them)\n";
        return 1;
    }
    if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
        Usage();
        return 0;
    }
    if (arguments[0] == "usb-run") {
        out_.flush();
        return RunOnEmulatedDevices(err_, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    }
    try {
        Dispatch(arguments[0], std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    } catch (const std::exception& error) {
        err_ << "tarnix-sim: " << error.what() << '\n';
        return 1;
    }
    out_.flush();
    return out_ ? 0 : 1;
}

void SimTool::Dispatch(const std::string& command, const std::vector<std::string>& arguments)
{
    if (command == "plug") {
        Plug(CommandArguments(arguments,
                              {"--serial", "--mode", "--driver", "--firmware", "--schema", "--mcu", "--product",
                               "--reenumerate-ms", "--page-ms", "--collections"},
                              {"--silent", "--open-fails"}));
    } else if (command == "unplug") {
        Unplug(CommandArguments(arguments, {}, {"--all"}));
    } else if (command == "list") {
        List(CommandArguments(arguments, {}, {}));
    } else if (command == "fault") {
        Fault(CommandArguments(arguments, {}, {"--once"}));
    } else if (command == "read-flash") {
        ReadFlash(CommandArguments(arguments, {"-o"}, {}));
    } else if (command == "write-flash") {
        WriteFlash(CommandArguments(arguments, {}, {}));
    } else if (command == "make-firmware") {
        MakeFirmware(CommandArguments(arguments, {"--version", "--schema", "--size", "--params", "-o"}, {}));
    } else if (command == "fix-drivers") {
        FixDrivers(CommandArguments(arguments, {}, {}));
    } else {
        throw SimError("unknown command '" + command + "' (tarnix-sim --help lists them)");
    }
}

void SimTool::Plug(const CommandArguments& arguments)
{
    arguments.Positionals(0, "plug [--serial S] [--mode normal|dfu] [--driver ok|incompatible] ...");
    SensorState prototype;
    prototype.serial = arguments.Value("--serial").value_or("");
    if (prototype.serial.empty() && arguments.Value("--serial")) {
        throw SimError("--serial needs a non-empty serial");
    }
    if (const auto mode = arguments.Value("--mode")) {
        const auto parsed = ParseMode(*mode);
        if (!parsed) {
            throw SimError("--mode must be normal or dfu, got '" + *mode + "'");
        }
        prototype.mode = *parsed;
    }
    if (const auto driver = arguments.Value("--driver")) {
        const auto parsed = ParseDriver(*driver);
        if (!parsed) {
            throw SimError("--driver must be ok or incompatible, got '" + *driver + "'");
        }
        prototype.driver = *parsed;
    }
    if (const auto firmware = arguments.Value("--firmware")) {
        prototype.firmware = ParseVersion(*firmware, "--firmware");
    }
    if (const auto schema = arguments.Value("--schema")) {
        prototype.schema = ParseSchema(*schema, "--schema");
    }
    if (const auto mcu = arguments.Value("--mcu")) {
        const auto bytes = TextNumbers::ParseHexBytes(*mcu);
        if (!bytes || bytes->size() > SimBus::kMaxMcuIdLength) {
            throw SimError("--mcu needs 2 to " + std::to_string(2 * SimBus::kMaxMcuIdLength) +
                           " hexadecimal digits (an even number), got '" + *mcu + "'");
        }
        prototype.mcuId = *bytes;
    }
    if (const auto product = arguments.Value("--product")) {
        prototype.product = *product;
    }
    if (const auto reenumerate = arguments.Value("--reenumerate-ms")) {
        prototype.reenumerateMs = static_cast<std::uint32_t>(ParseNumber(*reenumerate, "--reenumerate-ms", 3600000));
    }
    if (const auto page = arguments.Value("--page-ms")) {
        prototype.pageMs = static_cast<std::uint32_t>(ParseNumber(*page, "--page-ms", 60000));
    }
    if (const auto collections = arguments.Value("--collections")) {
        std::string error;
        auto parsed = SensorCollections::Parse(*collections, error);
        if (!parsed) {
            throw SimError("--collections: " + error);
        }
        prototype.collections = std::move(*parsed);
    }
    prototype.silent = arguments.Flag("--silent");
    prototype.openFails = arguments.Flag("--open-fails");
    out_ << SimBus().Plug(prototype) << '\n';
}

void SimTool::Unplug(const CommandArguments& arguments)
{
    if (arguments.Flag("--all")) {
        arguments.Positionals(0, "unplug S | --all");
        SimBus().UnplugAll();
        return;
    }
    SimBus().Unplug(arguments.Positionals(1, "unplug S | --all")[0]);
}

void SimTool::List(const CommandArguments& arguments)
{
    arguments.Positionals(0, "list");
    for (const SensorListing& sensor : SimBus().List()) {
        out_ << sensor.serial << ' ' << ModeName(sensor.mode) << ' ' << DriverName(sensor.driver) << ' '
             << (sensor.present ? sensor.devicePath : std::string("-")) << '\n';
    }
}

void SimTool::Fault(const CommandArguments& arguments)
{
    const auto& positionals =
        arguments.Positionals(2,
                              "fault S none|open|erase|address|upload|download|leave|program|stall|unplug|corrupt|hang "
                              "[--once]");
    const auto fault = ParseFault(positionals[1]);
    if (!fault) {
        throw SimError(
            "unknown fault '" + positionals[1] +
            "' (none, open, erase, address, upload, download, leave, program, stall, unplug, corrupt, hang)");
    }
    SimBus().SetFault(positionals[0], *fault, arguments.Flag("--once"));
}

void SimTool::ReadFlash(const CommandArguments& arguments)
{
    const std::string usage = "read-flash S ADDRESS LENGTH -o FILE";
    const auto& positionals = arguments.Positionals(3, usage);
    const std::string output = RequireValue(arguments, "-o", usage);
    const auto address = static_cast<std::uint32_t>(ParseNumber(positionals[1], "ADDRESS", UINT32_MAX));
    const auto length = static_cast<std::size_t>(ParseNumber(positionals[2], "LENGTH", kFlashSize));
    const std::vector<std::uint8_t> bytes = SimBus().ReadFlash(positionals[0], address, length);
    WriteOutputFile(output, bytes.data(), bytes.size());
}

void SimTool::WriteFlash(const CommandArguments& arguments)
{
    const auto& positionals = arguments.Positionals(3, "write-flash S ADDRESS FILE");
    const auto address = static_cast<std::uint32_t>(ParseNumber(positionals[1], "ADDRESS", UINT32_MAX));
    SimBus().WriteFlash(positionals[0], address, ReadInputFile(positionals[2]));
}

void SimTool::MakeFirmware(const CommandArguments& arguments)
{
    const std::string usage =
        "make-firmware --version MAJ.MIN [--schema MAJ.MIN] [--size BYTES] [--params erased|FILE] -o OUT.hex|OUT.dfu";
    arguments.Positionals(0, usage);
    const Version firmware = ParseVersion(RequireValue(arguments, "--version", usage), "--version");
    const std::optional<Version> schema = ParseSchema(arguments.Value("--schema").value_or("1.1"), "--schema");
    const auto size = static_cast<std::uint32_t>(ParseNumber(
        arguments.Value("--size").value_or(std::to_string(FirmwareImage::kDefaultSize)), "--size", kFlashSize));
    std::optional<std::vector<std::uint8_t>> parameters;
    const std::string params = arguments.Value("--params").value_or("erased");
    if (params != "erased") {
        parameters = ReadInputFile(params);
    }
    const std::string output = RequireValue(arguments, "-o", usage);
    const bool hex = EndsWith(output, ".hex");
    if (!hex && !EndsWith(output, ".dfu")) {
        throw SimError("the output file must end in .hex or .dfu, got '" + output + "'");
    }
    const FirmwareImage image(firmware, schema, size, parameters);
    if (hex) {
        const std::string text = IntelHexWriter::Write(image.Runs(), FirmwareImage::kEntryPoint);
        WriteOutputFile(output, text.data(), text.size());
    } else {
        const std::vector<std::uint8_t> file =
            DfuFileWriter::Write(image.Runs(), {kDfuVendorId, kDfuProductId, kDfuBcdDevice, "Internal Flash"});
        WriteOutputFile(output, file.data(), file.size());
    }
}

void SimTool::FixDrivers(const CommandArguments& arguments)
{
    arguments.Positionals(0, "fix-drivers");
    for (const std::string& serial : SimBus().FixDrivers()) {
        out_ << serial << '\n';
    }
}

void SimTool::Usage() { out_ << kUsage; }

}  // namespace tarnix::sim
