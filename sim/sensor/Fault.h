#pragma once

#include <optional>
#include <string_view>

namespace tarnix::sim {

// Faults that can be injected into one virtual sensor (`tarnix-sim fault SERIAL NAME [--once]`). A fault
// stays until it is replaced; setting any fault (also `none`) ends the effects of the previous one: a stalled
// device answers again, a device that dropped off the bus comes back (in DFU mode, after its re-enumeration
// delay). A one-shot fault strikes the next request it matches only and is then replaced by `none`: a stall
// leaves only that one request unanswered, an unplug brings the sensor back after its re-enumeration delay.
//
//   none      normal behaviour
//   open      the DFU device cannot be opened (SimulatedDfuTransport::Open gives nothing); the HID side is unaffected
//   erase     erase commands (0x41) are not answered (false); the device goes to dfuERROR / errERASE. A page
//             erase breaks off half-way: the second half of the page is blank, the first half unchanged
//   address   set-address-pointer commands (0x21) are not answered; dfuERROR / errTARGET
//   upload    data UPLOADs (block >= 2) are not answered; dfuERROR / errUNKNOWN
//   download  data DNLOADs (block >= 2) are not answered, nothing is written; dfuERROR / errWRITE
//   leave     the zero-length DNLOAD that ends DFU mode is not answered; the device stays in DFU mode,
//             dfuERROR / errNOTDONE
//   program   data DNLOADs are answered but nothing is programmed: the next GETSTATUS shows dfuERROR /
//             errPROG (only a status check or a read-back notices)
//   stall     the first data DNLOAD is not answered and from then on the device answers no request at all
//             (every request, GETSTATUS and CLRSTATUS included, gives false); it stays on the bus
//   unplug    the first data DNLOAD is not answered and the sensor drops off the bus at once
//   corrupt   data DNLOADs are answered and programmed, but the first byte of each one is stored with its
//             lowest bit flipped (a read-back notices)
//   hang      the first data DNLOAD is answered and programmed, and its status too; the next DNLOAD or UPLOAD
//             is not answered and from then on the device answers no request at all (as stall)
enum class Fault { None, Open, Erase, Address, Upload, Download, Leave, Program, Stall, Unplug, Corrupt, Hang };

std::string_view FaultName(Fault fault);
std::optional<Fault> ParseFault(std::string_view name);

}  // namespace tarnix::sim
