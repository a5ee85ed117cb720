// orvex.vp.lut, hdr2sdr, hdr and white_balance: the colour operations of `orvex vp`.
#include <cstring>
#include <optional>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "devices.h"
#include "frames.h"
#include "imagecpu/CubeLut.h"
#include "messages.h"
#include "params.h"
#include "vp.h"
#include "vp_ops.h"

namespace orvexpy {

namespace {

namespace py = pybind11;

// A table from a .cube or .3dl file, or from an N x N x N x 3 array indexed [r, g, b] holding the
// output (R, G, B) with 0..1 for the full range, as a .cube file holds it.
void LoadLut(const py::handle& source, orvex::CubeLut* lut) {
    py::module_ np = py::module_::import("numpy");
    if (py::isinstance<py::str>(source) || py::isinstance(source, py::module_::import("os").attr("PathLike"))) {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(source)).cast<std::string>();
        if (!lut->LoadFile(path))
            throw py::value_error("cannot load the LUT " + path + " (status " + std::to_string(lut->status()) + ")");
        return;
    }
    if (!py::isinstance<py::array>(source)) throw py::type_error("lut must be a .cube or .3dl path or an array, not " + TypeOf(source));
    py::array a = np.attr("ascontiguousarray")(source, py::arg("dtype") = "float32");
    const py::ssize_t n = a.ndim() == 4 ? a.shape(0) : 0;
    if (a.ndim() != 4 || a.shape(1) != n || a.shape(2) != n || a.shape(3) != 3)
        throw py::value_error("a LUT array must have shape (N, N, N, 3)");
    if (n < 2 || n > orvex::CubeLut::kMaxSize)
        throw py::value_error("a LUT array has 2 to " + std::to_string(orvex::CubeLut::kMaxSize) + " points a side");
    if (!np.attr("isfinite")(a).attr("all")().cast<bool>()) throw py::value_error("a LUT array must be finite");
    lut->BuildIdentity(static_cast<int>(n));
    float* grid = lut->GetTable(nullptr, nullptr, nullptr, nullptr);
    const float* v = static_cast<const float*>(a.data());
    for (py::ssize_t r = 0; r < n; ++r)
        for (py::ssize_t g = 0; g < n; ++g)
            for (py::ssize_t b = 0; b < n; ++b, v += 3) {
                float* e = &grid[orvex::CubeLut::Entry(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b))];
                // The scale a .cube file's values get on loading.
                for (int c = 0; c < 3; ++c) e[c] = v[c] * 255.0f;
            }
}

py::array Lut(const py::handle& frame, const py::handle& table, int mode, const py::object& out) {
    if (mode < 0 || mode > 2) throw py::value_error("mode is 0 (nearest), 1 (trilinear) or 2 (tetrahedral)");
    orvex::CubeLut lut;
    LoadLut(table, &lut);
    Frame in = InputFrame(frame, "frame");
    if (in.wide) throw py::type_error("lut works on 8-bit BGRA (uint8) frames");
    Output target = OutputFrame(out, in.width, in.height, false);
    int status = 0;
    {
        py::gil_scoped_release release;
        const orvex::EffectFrame& s = in.frame;
        orvex::EffectFrame& d = target.target.frame;
        // Nearest and trilinear rewrite their destination in place: it starts as the picture.
        if (s.data[0] != d.data[0])
            for (int y = 0; y < in.height; ++y)
                std::memmove(d.data[0] + static_cast<size_t>(y) * d.pitch[0], s.data[0] + static_cast<size_t>(y) * s.pitch[0],
                             static_cast<size_t>(in.width) * 4);
        status = lut.Apply(d.data[0], d.pitch[0], s.data[0], in.width, in.height, s.pitch[0], 4, mode, 255);
    }
    if (status != 0) throw RenderFailure{status, "lut failed (status " + std::to_string(status) + ")"};
    return FinishOutput(target);
}

int Transfer(const std::optional<std::string>& transfer, const char* what) {
    if (!transfer) throw py::value_error(std::string(what) + " needs transfer='pq' or transfer='hlg'");
    if (*transfer != "pq" && *transfer != "hlg") throw py::value_error("transfer is 'pq' or 'hlg'");
    return *transfer == "pq" ? 1 : 0;
}

py::array Hdr2Sdr(const py::handle& frame, const std::optional<std::string>& transfer, const std::string& device,
                  const std::optional<std::string>& resources, const py::object& out) {
    const int pq = Transfer(transfer, "hdr2sdr");
    Frame in = InputFrame(frame, "frame");
    if (in.wide) throw py::type_error("hdr2sdr works on 8-bit BGRA (uint8) frames");
    // The HDR cubes of the module's resource tree unless a tree is given.
    const std::string root = orvexcli::FindCubeRoot(resources.value_or(Resources()));
    if (device == "cpu" && root.empty())
        throw py::value_error("no resource tree with the HDR cubes found; give resources=DIR");
    Output target = OutputFrame(out, in.width, in.height, false);
    RunOperation("hdr2sdr", device, root, {in.frame}, target.target.frame,
                 [&](orvex::IVisualProcess& vp, std::vector<orvex::EffectFrame>& i, orvex::EffectFrame& o) {
                     return vp.HDR2SDR(i[0], o, pq, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
                 });
    return FinishOutput(target);
}

py::array Hdr(const py::handle& frame, const std::string& what, const std::optional<std::string>& transfer,
              const std::string& sdr, const std::string& device, const py::object& out) {
    if (what != "sdr2hdr" && what != "pq2hlg" && what != "hlg2pq")
        throw py::value_error("hdr does 'sdr2hdr', 'pq2hlg' or 'hlg2pq', not '" + what + "'");
    const int pq = what == "sdr2hdr" ? Transfer(transfer, "hdr sdr2hdr") : -1;
    if (sdr != "709" && sdr != "601-625" && sdr != "601-525") throw py::value_error("sdr is '709', '601-625' or '601-525'");
    // The service's codes for the SDR input's primaries: 0 PAL, 1 NTSC, 2 BT.709.
    const int sdrMode = sdr == "601-625" ? 0 : sdr == "601-525" ? 1 : 2;
    Frame in = InputFrame(frame, "frame");
    py::array wide;
    if (!in.wide) {
        // 8-bit pictures are widened by 257, as the command reads them, so both depths give 16 bits.
        wide = py::array(in.array.attr("astype")("uint16")) * py::int_(257);
        wide = py::module_::import("numpy").attr("ascontiguousarray")(wide, py::arg("dtype") = "uint16");
        in = InputFrame(wide, "frame");
    }
    Output target = OutputFrame(out, in.width, in.height, true);
    RunOperation("hdr " + what, device, {}, {in.frame}, target.target.frame,
                 [&](orvex::IVisualProcess& vp, std::vector<orvex::EffectFrame>& i, orvex::EffectFrame& o) {
                     return what == "sdr2hdr" ? vp.SDR2HDR(i[0], o, pq, sdrMode)
                            : what == "pq2hlg" ? vp.PQToHLG(i[0], o)
                                               : vp.HLGToPQ(i[0], o);
                 });
    return FinishOutput(target);
}

py::tuple WhiteBalance(const py::handle& frame, const std::optional<std::pair<int, int>>& pick,
                       const py::object& colour) {
    Frame in = InputFrame(frame, "frame");
    if (in.wide) throw py::type_error("white_balance works on 8-bit BGRA (uint8) frames");
    long rgb = -1;
    if (!colour.is_none()) {
        if (py::isinstance<py::str>(colour)) {
            const std::string text = colour.cast<std::string>();
            char* end = nullptr;
            rgb = text.empty() ? -1 : std::strtol(text.c_str(), &end, 16);
            if (text.empty() || *end) rgb = -1;
        } else if (py::isinstance<py::int_>(colour)) {
            rgb = colour.cast<long>();
        }
        if (rgb < 0 || rgb > 0xFFFFFF) throw py::value_error("colour wants 0xRRGGBB or 'RRGGBB'");
    }
    if (pick && (pick->first < 0 || pick->second < 0 || pick->first >= in.width || pick->second >= in.height))
        throw py::value_error("pick wants (x, y) inside the frame");
    if (pick && rgb >= 0) throw py::value_error("white_balance takes pick or colour, not both");
    // The estimate reads packed rows.
    py::array packed = py::module_::import("numpy").attr("ascontiguousarray")(in.array);
    float temperature = 0, tint = 0;
    RunWithDevice("white_balance", "cpu", {}, [&](orvex::IVisualProcess& vp, zrp::ATLUFactory*) {
        const auto* pixels = static_cast<const uint8_t*>(packed.data());
        return rgb >= 0 ? vp.WhiteBalanceFromColor(pixels, in.width, in.height, static_cast<uint32_t>(rgb), &temperature, &tint)
                        : vp.EstimateWhiteBalance(pixels, in.width, in.height, &temperature, &tint,
                                                  pick ? pick->first : -1, pick ? pick->second : -1);
    });
    return py::make_tuple(temperature, tint);
}

}  // namespace

void AddColour(py::module_& vp) {
    vp.def("lut", &Lut, py::arg("frame"), py::arg("lut"), py::arg("mode") = 2, py::arg("out") = py::none(),
           "Applies a 3D LUT (.cube/.3dl path or N x N x N x 3 array [r, g, b] of 0..1 values): mode 0 nearest, "
           "1 trilinear, 2 tetrahedral.");
    vp.def("hdr2sdr", &Hdr2Sdr, py::arg("frame"), py::arg("transfer") = py::none(), py::arg("device") = "cpu",
           py::arg("resources") = py::none(), py::arg("out") = py::none(),
           "Tone-maps a BT.2020 PQ or HLG picture (transfer='pq' or 'hlg') to BT.709.");
    vp.def("hdr", &Hdr, py::arg("frame"), py::arg("what"), py::arg("transfer") = py::none(), py::arg("sdr") = "709",
           py::arg("device") = "cpu", py::arg("out") = py::none(),
           "'sdr2hdr' (to transfer 'pq' or 'hlg' from sdr primaries '709', '601-625' or '601-525'), 'pq2hlg' or "
           "'hlg2pq' at 1000 cd/m2; returns 16-bit BGRA.");
    vp.def("white_balance", &WhiteBalance, py::arg("frame"), py::arg("pick") = py::none(), py::arg("colour") = py::none(),
           "Estimates (temperature, tint) from the picture, a picked pixel (x, y) or a colour 0xRRGGBB.");
}

}  // namespace orvexpy
