#include "effect.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "cli_common.h"
#include "devices.h"
#include "frames.h"
#include "messages.h"
#include "params.h"
#include "render_session.h"

namespace orvexpy {

namespace {

namespace py = pybind11;

std::vector<std::string> EffectNames() {
    orvexcli::Lab lab;
    orvexcli::UseResources(lab.lab, Resources());
    return orvexcli::CreatableEffects(lab.lab);
}

[[noreturn]] void UnknownEffect(const std::string& name, const std::vector<std::string>& names) {
    const std::string near = orvexcli::Closest(name, names);
    throw py::key_error("unknown effect '" + name + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?") +
                        " (orvex.effects() lists them)");
}

std::vector<std::string> Paths(orvex::IOrvexEffect& effect) {
    bool cpu = false, cl = false, gl = false;
    effect.GetSupportedPaths(&cpu, &cl, &gl);
    std::vector<std::string> paths;
    if (cpu) paths.emplace_back("cpu");
    if (cl) paths.emplace_back("opencl");
    if (gl) paths.emplace_back("opengl");
    return paths;
}

// float32 samples in [-1, 1], or int16 samples as they are; one column per channel.
std::shared_ptr<orvex::EffectAudioFrame> AudioFrame(const py::object& audio) {
    if (audio.is_none()) return nullptr;
    if (!py::isinstance<py::array>(audio)) throw py::type_error("audio must be a NumPy array of samples, not " + TypeOf(audio));
    py::array a = py::reinterpret_borrow<py::array>(audio);
    const bool f32 = a.dtype().is(py::dtype::of<float>()), i16 = a.dtype().is(py::dtype::of<int16_t>());
    if (!f32 && !i16)
        throw py::type_error("audio must be float32 (or int16) samples, not " + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 1 && a.ndim() != 2) throw py::value_error("audio must be 1-D samples or samples x channels");
    const py::ssize_t count = a.shape(0), channels = a.ndim() == 2 ? a.shape(1) : 1;
    if (count < 1 || channels < 1 || channels > 64 || count > (1 << 24))
        throw py::value_error("audio must hold 1 to 16777216 samples of 1 to 64 channels");
    auto frame = std::make_shared<orvex::EffectAudioFrame>();
    frame->sampleCount = static_cast<int32_t>(count);
    frame->channels = static_cast<int32_t>(channels);
    frame->samples.resize(static_cast<size_t>(count * channels));
    py::array packed = py::module_::import("numpy").attr("ascontiguousarray")(a);
    for (size_t i = 0; i < frame->samples.size(); ++i) {
        if (i16) {
            frame->samples[i] = static_cast<const int16_t*>(packed.data())[i];
            continue;
        }
        // The scale of a 16-bit sound file read as floats, so its samples come back exactly.
        const float s = static_cast<const float*>(packed.data())[i];
        const float scaled = std::isfinite(s) ? std::nearbyint(s * 32768.0f) : 0.0f;
        frame->samples[i] = static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    }
    return frame;
}

class Effect {
public:
    Effect(const std::string& name, const std::string& device, const py::kwargs& params) : name_(name) {
        if (device != "best" && device != "cpu" && device != "opencl" && device != "opengl")
            throw py::value_error("device must be 'cpu', 'opencl', 'opengl' or 'best', not '" + device + "'");
        session_.SetSeedOutput(false);
        // "best": OpenCL on a GPU or accelerator, else the CPU; a shader effect renders on OpenGL
        // (llvmpipe without a GPU), as `orvex render` chooses.
        const bool gpu = device == "opencl" || device == "opengl" || (device == "best" && HasGpu());
        {
            orvexcli::MessageCapture capture;
            if (session_.OpenOn(name_, gpu ? Factory(device) : nullptr, Resources()) != orvexcli::kOk) {
                if (session_.lab() && !session_.effect())
                    UnknownEffect(name_, orvexcli::CreatableEffects(session_.lab()));
                throw std::runtime_error("cannot open " + name_ + ": " + capture.text());
            }
        }
        if (device == "best" && !gpu && session_.shader()) {
            orvexcli::MessageCapture capture;
            if (session_.Reopen(Factory("opengl")) != orvexcli::kOk)
                throw std::runtime_error("cannot open " + name_ + " on OpenGL: " + capture.text());
        }
        if (device == "opengl" && !session_.shader()) {
            std::string paths;
            for (const std::string& p : Paths(*session_.effect())) paths += (paths.empty() ? "" : ", ") + p;
            throw py::value_error(name_ + " has no OpenGL path (paths: " + paths + ")");
        }
        Set(params);
    }

    void Set(const py::kwargs& params) {
        // Every value is checked before any is set: a bad one changes nothing.
        std::vector<std::tuple<std::string, orvex::EffectParamType, orvex::EffectParamValue>> values;
        for (const auto& [key, value] : params) {
            const std::string name = py::str(key).cast<std::string>();
            if (const orvex::ParamDecl* decl = Find(name)) {
                values.emplace_back(name, decl->type, DeclaredValue(name_, *decl, value));
            } else if (session_.shader()) {
                orvex::EffectParamType type = orvex::ParamFloat;
                orvex::EffectParamValue v = ShaderValue(name, value, &type);
                values.emplace_back(name, type, std::move(v));
            } else {
                UnknownParameter(name);
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [name, type, value] : values) {
            ClearLibraryMessages();
            orvex::ResultCode r = session_.effect()->SetParam(name.c_str(), type, value);
            // A shader's float uniform takes a whole number as a float.
            if (r == orvex::WrongFormat && type == orvex::ParamInt && session_.shader())
                r = session_.effect()->SetParam(name.c_str(), orvex::ParamFloat,
                                                orvex::EffectParamValue::Float(static_cast<float>(value.AsInt())));
            if (r != orvex::Ok)
                throw py::value_error(name_ + " refused " + name + " (result " + std::to_string(r) + ")" + LibraryMessages());
        }
    }

    py::array Render(const py::handle& frame, int64_t position, const py::object& out, const py::object& audio) {
        Frame in = InputFrame(frame, "frame");
        Output target = OutputFrame(out, in.width, in.height, in.wide);
        const std::shared_ptr<orvex::EffectAudioFrame> sound = AudioFrame(audio);
        int rc = orvexcli::kOk;
        std::string said;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            std::unique_lock<std::mutex> gpu(GpuLock(), std::defer_lock);
            if (session_.factory()) gpu.lock();
            orvexcli::MessageCapture capture;
            ClearLibraryMessages();
            rc = session_.RenderHost(in.frame, target.target.frame, position, sound);
            said = capture.text() + LibraryMessages();
        }
        if (rc != orvexcli::kOk) {
            if (said.rfind("orvex: ", 0) == 0) said.erase(0, 7);
            throw RenderFailure{session_.lastResult(), said};
        }
        return FinishOutput(target);
    }

    // The same render `count` times from C++, for the benchmark that sets the module's cost
    // beside the library call: the seconds the renders took, timed in C++.
    double RenderInCpp(const py::handle& frame, const py::object& out, int64_t count) {
        Frame in = InputFrame(frame, "frame");
        Output target = OutputFrame(out, in.width, in.height, in.wide);
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto start = std::chrono::steady_clock::now();
        for (int64_t i = 0; i < count; ++i) session_.RenderHost(in.frame, target.target.frame, 0, nullptr);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    py::dict Params() {
        py::dict values;
        std::lock_guard<std::mutex> lock(mutex_);
        if (orvex::EffectSurface* s = session_.surface())
            for (const orvex::ParamDecl& p : s->Params()) values[py::str(p.name)] = StoredValue(p);
        return values;
    }

    const std::string& name() const { return name_; }
    std::string device() const { return session_.deviceName(); }

private:
    static std::shared_ptr<zrp::ATLUFactory> Factory(const std::string& device) {
        std::shared_ptr<zrp::ATLUFactory> f = SharedFactory();
        const bool gl = device == "opengl";
        if (!f || !f->GetDeviceContext(gl ? "opengl" : "opencl"))
            throw py::value_error(std::string("no ") + (gl ? "OpenGL" : "OpenCL") + " device is available; use device='cpu'");
        return f;
    }

    const orvex::ParamDecl* Find(const std::string& name) const {
        if (orvex::EffectSurface* s = session_.surface())
            for (const orvex::ParamDecl& p : s->Params())
                if (p.name == name) return &p;
        return nullptr;
    }

    [[noreturn]] void UnknownParameter(const std::string& name) const {
        std::vector<std::string> known;
        if (orvex::EffectSurface* s = session_.surface())
            for (const orvex::ParamDecl& p : s->Params()) known.push_back(p.name);
        std::string list;
        for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
        const std::string near = orvexcli::Closest(name, known);
        throw py::key_error(name_ + " has no parameter '" + name + "'" +
                            (near.empty() ? "" : "; did you mean '" + near + "'?") + " (parameters: " +
                            (list.empty() ? "none" : list) + ")");
    }

    std::string name_;
    orvexcli::RenderSession session_;
    // One thread renders an Effect at a time; another waits for its turn.
    std::mutex mutex_;
};

py::dict Info(const std::string& name) {
    orvexcli::Lab lab;
    orvexcli::UseResources(lab.lab, Resources());
    orvex::IOrvexEffect* effect = lab.lab ? lab.lab->CreateOrvexEffect(name.c_str()) : nullptr;
    if (!effect) UnknownEffect(name, orvexcli::CreatableEffects(lab.lab));
    py::dict info;
    info["name"] = name;
    info["paths"] = Paths(*effect);
    py::list params;
    auto* surface = dynamic_cast<orvex::EffectSurface*>(effect);
    info["any_parameter"] = surface == nullptr;  // shader effects take any uniform name
    if (surface) {
        for (const orvex::ParamDecl& p : surface->Params()) {
            py::dict d;
            d["name"] = p.name;
            d["type"] = orvexcli::TypeName(p.type);
            d["default"] = StoredValue(p);
            py::object range = py::none();
            if (p.hasRange && p.type == orvex::ParamInt)
                range = py::make_tuple(static_cast<long long>(p.minValue), static_cast<long long>(p.maxValue));
            else if (p.hasRange)
                range = py::make_tuple(p.minValue, p.maxValue);
            d["range"] = range;
            params.append(d);
        }
    }
    info["params"] = params;
    lab.lab->ReleaseOrvexEffect(effect);
    return info;
}

}  // namespace

void AddEffects(py::module_& m) {
    m.def("effects", &EffectNames, "The names of every effect the library can create.");
    m.def("info", &Info, py::arg("name"),
          "An effect's paths and parameters: for each its name, type, default and range.");
    py::class_<Effect>(m, "Effect", "One effect on one device, rendering frame after frame.")
        .def(py::init<const std::string&, const std::string&, const py::kwargs&>(), py::arg("name"),
             py::arg("device") = "best")
        .def("set", &Effect::Set, "Sets parameters by name; a bad value raises and changes nothing.")
        .def("render", &Effect::Render, py::arg("frame"), py::arg("position") = 0, py::arg("out") = py::none(),
             py::arg("audio") = py::none(),
             "Renders a H x W x 4 (or 3) uint8 BGRA or uint16 BGRA64 frame at a frame position; returns the "
             "result, in `out` when given (out=frame renders in place).")
        .def("_render_in_cpp", &Effect::RenderInCpp, py::arg("frame"), py::arg("out"), py::arg("count"))
        .def_property_readonly("name", &Effect::name)
        .def_property_readonly("device", &Effect::device, "Where it renders: CPU, OpenCL or OpenGL.")
        .def_property_readonly("params", &Effect::Params, "The values the parameters hold now.")
        .def("__repr__", [](const Effect& e) { return "orvex.Effect('" + e.name() + "', device: " + e.device() + ")"; });
}

}  // namespace orvexpy
