#pragma once
// orvex.vp: the frame operations of `orvex vp` on NumPy arrays, with the command's names and
// defaults.
#include <functional>
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "orvex/IVisualProcess.h"
#include "zrp/zrp.h"

namespace orvexpy {

void AddFrameOperations(pybind11::module_& m);

// Runs body with the GIL released, on the visual-processing object of "cpu" or "opencl" (the
// factory is null on the CPU); a failure raises orvex.RenderError with the result code and the
// library's words.
using DeviceCall = std::function<orvex::ResultCode(orvex::IVisualProcess&, zrp::ATLUFactory*)>;
void RunWithDevice(const std::string& what, const std::string& device, const std::string& resources,
                   const DeviceCall& body);
// An operation on host frames through RunWithDevice, on textures of them on OpenCL; a failure raises
// orvex.RenderError with the result code and the library's words.
using VpCall = std::function<orvex::ResultCode(orvex::IVisualProcess&, std::vector<orvex::EffectFrame>&,
                                               orvex::EffectFrame&)>;
void RunOperation(const std::string& what, const std::string& device, const std::string& resources,
                  std::vector<orvex::EffectFrame> inputs, const orvex::EffectFrame& out, const VpCall& op);

// The parts of orvex.vp in their own sources: convert; lut, hdr2sdr, hdr and white_balance.
void AddConvert(pybind11::module_& vp);
void AddColour(pybind11::module_& vp);

}  // namespace orvexpy
