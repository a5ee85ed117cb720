#include "vp.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "devices.h"
#include "frames.h"
#include "imagecpu/CubeLut.h"
#include "messages.h"
#include "orvex/orvex.h"
#include "params.h"
#include "vp_ops.h"

namespace orvexpy {

namespace {

namespace py = pybind11;
using VisualProcessPtr = std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)>;

// A visual-processing object per thread for the CPU, and one for the GPU used under the GPU lock:
// made once, so no call builds programs again.
orvex::IVisualProcess& CpuProcess() {
    thread_local VisualProcessPtr vp(CreateVisualProcess(), ReleaseVisualProcess);
    return *vp;
}

orvex::IVisualProcess& GpuProcess(zrp::ATLUFactory* factory) {
    static orvex::IVisualProcess* vp = nullptr;  // kept to the end of the process, like the factory
    if (!vp) {
        vp = CreateVisualProcess();
        vp->SetATLUFactory(factory);
    }
    return *vp;
}

using Pair = std::pair<double, double>;
using Rect = std::tuple<float, float, float, float>;

orvex::fxRectf RectOf(const std::string& what, const Rect& r, bool positiveSize) {
    const orvex::fxRectf rect{std::get<0>(r), std::get<1>(r), std::get<2>(r), std::get<3>(r)};
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) || !std::isfinite(rect.height) ||
        (positiveSize && (rect.width <= 0 || rect.height <= 0)))
        throw py::value_error(what + " wants (x, y, w, h) as fractions, w and h above 0");
    return rect;
}

orvex::fxPointd PointOf(const std::string& what, const Pair& p) {
    if (!std::isfinite(p.first) || !std::isfinite(p.second)) throw py::value_error(what + " wants finite (x, y)");
    return {p.first, p.second};
}

void SizeOf(const std::optional<std::pair<int, int>>& size, orvexcli::VpOptions* o) {
    if (!size) return;
    if (size->first < 1 || size->second < 1 || size->first > 16384 || size->second > 16384)
        throw py::value_error("size wants (width, height) from 1 to 16384");
    o->width = size->first;
    o->height = size->second;
}

void CheckChoice(const std::string& what, int value, int lo, int hi) {
    if (value < lo || value > hi)
        throw py::value_error(what + " wants " + std::to_string(lo) + " to " + std::to_string(hi));
}

// One picture in, one out: resize, crop, rotate, flip.
py::array Apply(const py::handle& frame, orvexcli::VpOptions& o, const std::string& device, const py::object& out) {
    if (const std::string problem = orvexcli::VpProblem(o); !problem.empty()) throw py::value_error(problem);
    Frame in = InputFrame(frame, "frame");
    int w = 0, h = 0;
    orvexcli::VpOutputSize(o, in.width, in.height, &w, &h);
    Output target = OutputFrame(out, w, h, in.wide);
    RunOperation(o.op, device, {}, {in.frame}, target.target.frame,
        [&](orvex::IVisualProcess& vp, std::vector<orvex::EffectFrame>& i, orvex::EffectFrame& r) {
            return orvexcli::VpApply(vp, o, i[0], r);
        });
    return FinishOutput(target);
}

// blend and transform: the overlay composed onto the background, a result of the background's size.
py::array Compose(const py::handle& overlay, const py::handle& background, orvexcli::VpOptions& o,
                  const std::string& device, const py::object& out) {
    CheckChoice("mode", o.mode, 0, 255);
    if (!(o.opacity >= 0 && o.opacity <= 1)) throw py::value_error("opacity wants 0 to 1");
    Frame ovl = InputFrame(overlay, "overlay");
    Frame bg = InputFrame(background, "background");
    if (ovl.wide != bg.wide) throw py::type_error("overlay and background must have the same dtype");
    Output target = OutputFrame(out, bg.width, bg.height, bg.wide);
    RunOperation(o.op, device, {}, {ovl.frame, bg.frame}, target.target.frame,
        [&](orvex::IVisualProcess& vp, std::vector<orvex::EffectFrame>& i, orvex::EffectFrame& r) {
            return orvexcli::VpCompose(vp, o, i[0], i[1], r);
        });
    return FinishOutput(target);
}

}  // namespace

void RunWithDevice(const std::string& what, const std::string& device, const std::string& resources,
                   const DeviceCall& body) {
    if (device != "cpu" && device != "opencl")
        throw py::value_error("device must be 'cpu' or 'opencl', not '" + device + "'");
    std::shared_ptr<zrp::ATLUFactory> factory;
    if (device == "opencl") {
        factory = SharedFactory();
        if (!factory || !factory->GetDeviceContext("opencl"))
            throw py::value_error("no OpenCL device is available; use device='cpu'");
    }
    orvex::ResultCode r = orvex::Ok;
    std::string said;
    {
        py::gil_scoped_release release;
        std::unique_lock<std::mutex> gpu(GpuLock(), std::defer_lock);
        if (factory) gpu.lock();
        orvex::IVisualProcess& vp = factory ? GpuProcess(factory.get()) : CpuProcess();
        if (!resources.empty()) vp.SetResourcePath(resources.c_str());
        ClearLibraryMessages();
        r = body(vp, factory.get());
        said = LibraryMessages();
    }
    if (r != orvex::Ok) throw RenderFailure{r, what + " failed (result " + std::to_string(r) + ")" + said};
}

void RunOperation(const std::string& what, const std::string& device, const std::string& resources,
                  std::vector<orvex::EffectFrame> inputs, const orvex::EffectFrame& out, const VpCall& op) {
    RunWithDevice(what, device, resources, [&](orvex::IVisualProcess& vp, zrp::ATLUFactory* factory) {
        return orvexcli::RunOnDevice(factory, vp, std::move(inputs), out,
                                     [&](std::vector<orvex::EffectFrame>& in, orvex::EffectFrame& o) { return op(vp, in, o); });
    });
}

void AddFrameOperations(py::module_& m) {
    py::module_ vp = m.def_submodule("vp", "The frame operations of `orvex vp` on NumPy arrays.");
    using Size = std::optional<std::pair<int, int>>;
    vp.def(
        "resize",
        [](const py::handle& frame, std::pair<int, int> size, int type, int quality, const std::string& device,
           const py::object& out) {
            CheckChoice("type", type, 0, 4);
            CheckChoice("quality", quality, 0, 3);
            orvexcli::VpOptions o;
            o.op = "resize";
            SizeOf(size, &o);
            o.type = type;
            o.quality = quality;
            return Apply(frame, o, device, out);
        },
        py::arg("frame"), py::arg("size"), py::arg("type") = 0, py::arg("quality") = 1, py::arg("device") = "cpu",
        py::arg("out") = py::none(), "Resizes to size = (width, height).");
    vp.def(
        "crop",
        [](const py::handle& frame, Rect rect, Size size, const std::string& device, const py::object& out) {
            orvexcli::VpOptions o;
            o.op = "crop";
            o.rect = RectOf("rect", rect, true);
            o.hasRect = true;
            SizeOf(size, &o);
            return Apply(frame, o, device, out);
        },
        py::arg("frame"), py::arg("rect"), py::arg("size") = py::none(), py::arg("device") = "cpu",
        py::arg("out") = py::none(), "Crops rect = (x, y, w, h) in fractions of the frame, scaled to size when given.");
    vp.def(
        "rotate",
        [](const py::handle& frame, std::optional<int> quarter, std::optional<double> angle, bool nearest, Size size,
           const std::string& device, const py::object& out) {
            orvexcli::VpOptions o;
            o.op = "rotate";
            if (quarter) CheckChoice("quarter", *quarter, 0, 4);
            if (angle && !std::isfinite(*angle)) throw py::value_error("angle wants a number of degrees");
            o.quarter = quarter.value_or(-1);
            o.hasAngle = angle.has_value();
            o.angle = angle.value_or(0);
            o.nearest = nearest;
            SizeOf(size, &o);
            return Apply(frame, o, device, out);
        },
        py::arg("frame"), py::arg("quarter") = py::none(), py::arg("angle") = py::none(), py::arg("nearest") = false,
        py::arg("size") = py::none(), py::arg("device") = "cpu", py::arg("out") = py::none(),
        "Quarter turns (0 right, 1 half, 2 left, 3 mirror left-right, 4 mirror top-bottom) or a free angle in "
        "degrees.");
    vp.def(
        "flip",
        [](const py::handle& frame, bool horizontal, bool vertical, const std::string& device, const py::object& out) {
            if (horizontal == vertical) throw py::value_error("flip needs one of horizontal=True or vertical=True");
            orvexcli::VpOptions o;
            o.op = "flip";
            o.flip = horizontal ? 1 : 2;
            return Apply(frame, o, device, out);
        },
        py::arg("frame"), py::arg("horizontal") = false, py::arg("vertical") = false, py::arg("device") = "cpu",
        py::arg("out") = py::none());
    vp.def(
        "blend",
        [](const py::handle& overlay, const py::handle& background, int mode, double opacity, bool premultiplied,
           Rect overlayRect, Rect rect, bool nearest, const std::string& device, const py::object& out) {
            orvexcli::VpOptions o;
            o.op = "blend";
            o.mode = mode;
            o.opacity = opacity;
            o.premultiplied = premultiplied;
            o.overlayRect = RectOf("overlay_rect", overlayRect, true);
            o.rect = RectOf("rect", rect, true);
            o.nearest = nearest;
            return Compose(overlay, background, o, device, out);
        },
        py::arg("overlay"), py::arg("background"), py::arg("mode") = 0, py::arg("opacity") = 1.0,
        py::arg("premultiplied") = false, py::arg("overlay_rect") = Rect{0, 0, 1, 1}, py::arg("rect") = Rect{0, 0, 1, 1},
        py::arg("nearest") = false, py::arg("device") = "cpu", py::arg("out") = py::none(),
        "Blends the overlay's overlay_rect onto the background's rect in blend mode 0 to 23.");
    vp.def(
        "transform",
        [](const py::handle& overlay, const py::handle& background, int mode, double opacity, bool premultiplied,
           Pair anchor, Pair centre, double rotation, const py::object& scale, Pair skew, bool nearest,
           const std::string& device, const py::object& out) {
            orvexcli::VpOptions o;
            o.op = "transform";
            o.mode = mode;
            o.opacity = opacity;
            o.premultiplied = premultiplied;
            o.anchor = PointOf("anchor", anchor);
            o.centre = PointOf("centre", centre);
            if (!std::isfinite(rotation)) throw py::value_error("rotation wants a number of degrees");
            o.rotation = rotation;
            // One number scales both ways, as "--scale S" does.
            o.scale = py::isinstance<py::tuple>(scale) || py::isinstance<py::list>(scale)
                          ? PointOf("scale", scale.cast<Pair>())
                          : PointOf("scale", {scale.cast<double>(), scale.cast<double>()});
            o.skew = PointOf("skew", skew);
            o.nearest = nearest;
            return Compose(overlay, background, o, device, out);
        },
        py::arg("overlay"), py::arg("background"), py::arg("mode") = 0, py::arg("opacity") = 1.0,
        py::arg("premultiplied") = false, py::arg("anchor") = Pair{0.5, 0.5}, py::arg("centre") = Pair{0.5, 0.5},
        py::arg("rotation") = 0.0, py::arg("scale") = 1.0, py::arg("skew") = Pair{0, 0}, py::arg("nearest") = false,
        py::arg("device") = "cpu", py::arg("out") = py::none(),
        "Places the overlay's anchor at the background's centre, turned, scaled and skewed, and blends it.");
    AddConvert(vp);
    AddColour(vp);
}

}  // namespace orvexpy
