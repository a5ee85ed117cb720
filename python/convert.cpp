// orvex.vp.convert: YUV planes (a tuple of arrays, in the order of a raw .yuv file) or one packed
// array (a raw .yuv frame) to BGRA and back, as `orvex vp convert` converts files.
#include <cstring>
#include <optional>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "frames.h"
#include "params.h"
#include "vp.h"
#include "vp_ops.h"

namespace orvexpy {

namespace {

namespace py = pybind11;

struct PlaneShape {
    size_t offset = 0;
    py::ssize_t rows = 0, columns = 0;
};

// File plane i of the YUV frame: where it starts in the packed bytes and its rows and samples.
PlaneShape FilePlane(const orvexcli::YuvFormat& f, const orvexcli::YuvPlanes& yuv, int i) {
    PlaneShape s;
    for (int k = 0; k < i; ++k) s.offset += yuv.planeBytes[k];
    const int p = f.swapChroma && (i == 1 || i == 2) ? 3 - i : i;
    s.rows = yuv.frame.height[p];
    s.columns = yuv.frame.width[p];
    return s;
}

py::dtype SampleType(const orvexcli::YuvFormat& f) {
    return f.bitDepth > 8 ? py::dtype::of<uint16_t>() : py::dtype::of<uint8_t>();
}

// The YUV frame of a tuple of planes or of a packed array.
std::unique_ptr<orvexcli::YuvPlanes> ReadYuv(const py::handle& source, const orvexcli::YuvFormat& f,
                                             const std::optional<std::pair<int, int>>& size) {
    py::module_ np = py::module_::import("numpy");
    const bool planes = py::isinstance<py::tuple>(source) || py::isinstance<py::list>(source);
    int w = 0, h = 0;
    if (planes) {
        py::sequence seq = py::reinterpret_borrow<py::sequence>(source);
        if (seq.size() == 0 || !py::isinstance<py::array>(seq[0]) || py::array(seq[0]).ndim() != 2)
            throw py::value_error("YUV planes must be 2-D arrays, the luma plane first");
        py::array luma = seq[0];
        h = static_cast<int>(luma.shape(0));
        w = static_cast<int>(luma.shape(1));
    } else {
        if (!size) throw py::value_error("a packed YUV frame needs size=(width, height)");
        w = size->first;
        h = size->second;
    }
    if (w < 1 || h < 1 || w > 16384 || h > 16384) throw py::value_error("YUV frame size must be 1 to 16384 a side");
    auto yuv = std::make_unique<orvexcli::YuvPlanes>(f, w, h);
    if (!planes) {
        if (!py::isinstance<py::array>(source)) throw py::type_error("YUV data must be a tuple of planes or a 1-D array, not " + TypeOf(source));
        py::array a = np.attr("ascontiguousarray")(source);
        if (a.ndim() != 1) throw py::value_error("a packed YUV frame must be a 1-D array");
        if (!a.dtype().is(py::dtype::of<uint8_t>()) && !a.dtype().is(SampleType(f)))
            throw py::type_error(std::string("a packed ") + f.name + " frame must be uint8 bytes" +
                                 (f.bitDepth > 8 ? " or uint16 samples" : "") + ", not " + py::str(a.dtype()).cast<std::string>());
        const size_t bytes = static_cast<size_t>(a.nbytes());
        if (bytes < yuv->bytes.size())
            throw py::value_error("the packed frame has " + std::to_string(bytes) + " bytes; one " + std::to_string(w) + "x" +
                                  std::to_string(h) + " " + f.name + " frame needs " + std::to_string(yuv->bytes.size()));
        std::memcpy(yuv->bytes.data(), a.data(), yuv->bytes.size());
        return yuv;
    }
    py::sequence seq = py::reinterpret_borrow<py::sequence>(source);
    if (static_cast<int>(seq.size()) != yuv->planeCount)
        throw py::value_error(std::string(f.name) + " has " + std::to_string(yuv->planeCount) + " planes, not " +
                              std::to_string(seq.size()));
    for (int i = 0; i < yuv->planeCount; ++i) {
        if (!py::isinstance<py::array>(seq[i])) throw py::type_error("plane " + std::to_string(i) + " is not an array");
        py::array plane = np.attr("ascontiguousarray")(seq[i]);
        const PlaneShape s = FilePlane(f, *yuv, i);
        if (!plane.dtype().is(SampleType(f)))
            throw py::type_error("plane " + std::to_string(i) + " must be " + py::str(SampleType(f)).cast<std::string>() +
                                 ", not " + py::str(plane.dtype()).cast<std::string>());
        if (plane.ndim() != 2 || plane.shape(0) != s.rows || plane.shape(1) != s.columns)
            throw py::value_error("plane " + std::to_string(i) + " of a " + std::to_string(w) + "x" + std::to_string(h) + " " +
                                  f.name + " frame must have shape (" + std::to_string(s.rows) + ", " +
                                  std::to_string(s.columns) + ")");
        std::memcpy(yuv->bytes.data() + s.offset, plane.data(), yuv->planeBytes[i]);
    }
    return yuv;
}

py::object WriteYuv(const orvexcli::YuvPlanes& yuv, const orvexcli::YuvFormat& f, bool packed) {
    const size_t item = f.bitDepth > 8 ? 2 : 1;
    if (packed) {
        py::array a(SampleType(f), std::vector<py::ssize_t>{static_cast<py::ssize_t>(yuv.bytes.size() / item)});
        std::memcpy(a.mutable_data(), yuv.bytes.data(), yuv.bytes.size());
        return a;
    }
    py::tuple planes(yuv.planeCount);
    for (int i = 0; i < yuv.planeCount; ++i) {
        const PlaneShape s = FilePlane(f, yuv, i);
        py::array a(SampleType(f), std::vector<py::ssize_t>{s.rows, s.columns});
        std::memcpy(a.mutable_data(), yuv.bytes.data() + s.offset, yuv.planeBytes[i]);
        planes[i] = a;
    }
    return planes;
}

py::object Convert(const py::handle& source, const std::string& format, const std::string& matrix,
                   const std::string& range, std::optional<std::pair<int, int>> size,
                   std::optional<std::pair<int, int>> outSize, int quality, bool packed, const std::string& device,
                   const py::object& out) {
    const orvexcli::YuvFormat* f = orvexcli::FindYuvFormat(format);
    if (!f) throw py::value_error("unknown format '" + format + "' (formats: " + orvexcli::YuvFormatNames() + ")");
    if (matrix != "601" && matrix != "709" && matrix != "2020") throw py::value_error("matrix is '601', '709' or '2020'");
    if (range != "limited" && range != "full") throw py::value_error("range is 'limited' or 'full'");
    if (quality < 0 || quality > 3) throw py::value_error("quality wants 0 to 3");
    const bool decode = !(py::isinstance<py::array>(source) && py::array(py::reinterpret_borrow<py::object>(source)).ndim() == 3);
    if (!decode) {
        Frame in = InputFrame(source, "frame");
        if (in.wide) throw py::type_error("convert encodes 8-bit BGRA (uint8) frames");
        orvexcli::YuvPlanes yuv(*f, in.width, in.height);
        RunWithDevice("convert", device, {}, [&](orvex::IVisualProcess& vp, zrp::ATLUFactory* factory) {
            return orvexcli::ConvertFrame(factory, vp, *f, matrix, range, quality, false, yuv, in.frame);
        });
        return WriteYuv(yuv, *f, packed);
    }
    std::unique_ptr<orvexcli::YuvPlanes> yuv = ReadYuv(source, *f, size);
    const int w = outSize ? outSize->first : static_cast<int>(yuv->frame.width[0]);
    const int h = outSize ? outSize->second : static_cast<int>(yuv->frame.height[0]);
    if (w < 1 || h < 1 || w > 16384 || h > 16384) throw py::value_error("out_size wants (width, height) from 1 to 16384");
    Output target = OutputFrame(out, w, h, false);
    RunWithDevice("convert", device, {}, [&](orvex::IVisualProcess& vp, zrp::ATLUFactory* factory) {
        return orvexcli::ConvertFrame(factory, vp, *f, matrix, range, quality, true, *yuv, target.target.frame);
    });
    return FinishOutput(target);
}

}  // namespace

void AddConvert(py::module_& vp) {
    vp.def("convert", &Convert, py::arg("source"), py::arg("format"), py::arg("matrix") = "709",
           py::arg("range") = "limited", py::arg("size") = py::none(), py::arg("out_size") = py::none(),
           py::arg("quality") = 1, py::arg("packed") = false, py::arg("device") = "cpu", py::arg("out") = py::none(),
           "BGRA (H x W x 4 uint8) to YUV planes (a tuple, or one packed array with packed=True), or YUV planes or a "
           "packed frame (with size=(width, height)) to BGRA, scaled to out_size when given.");
}

}  // namespace orvexpy
