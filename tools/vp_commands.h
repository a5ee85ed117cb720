#pragma once
// orvex vp: the visual-processing service's frame operations on picture files.

#include <memory>
#include <string>

#include "zrp/zrp.h"

namespace orvexcli {

// The OpenCL factory when the device is "opencl" (none for the CPU), a CPU OpenCL device such as
// PoCL included; false, with the message, when no OpenCL device exists.
bool DeviceFactory(const std::string& device, std::unique_ptr<zrp::ATLUFactory>* factory);


// The help block of the vp commands, for orvex --help.
extern const char* const kVisualHelp;

// argv holds what follows "vp": the operation, its options and the two files. Returns the
// command's exit code (0 ok, 1 usage, 2 bad input, 3 the operation failed).
int VisualCommand(int argc, char** argv);
// The colour operations lut, hdr2sdr and whitebalance; argv[0] is the operation.
int ColourCommand(int argc, char** argv);

// argv holds what follows "vp convert"; the same exit codes.
int ConvertCommand(int argc, char** argv);

}  // namespace orvexcli
