#include "frames.h"

#include <cstring>
#include <limits>

namespace orvexpy {

namespace {

std::string ShapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) text += (i ? ", " : "") + std::to_string(a.shape(i));
    return text + (a.ndim() == 1 ? ",)" : ")");
}

std::string DtypeText(const py::array& a) { return py::str(a.dtype()).cast<std::string>(); }

bool IsByte(const py::array& a) { return a.dtype().is(py::dtype::of<uint8_t>()); }
bool IsWord(const py::array& a) { return a.dtype().is(py::dtype::of<uint16_t>()); }

// Rows of whole pixels, four samples each, one after another: the layout the library reads with
// a pitch. The pitch must be a positive multiple of the sample size that fits an int.
bool LibraryLayout(const py::array& a) {
    const py::ssize_t item = a.itemsize();
    const py::ssize_t rowBytes = a.shape(1) * 4 * item;
    return a.shape(2) == 4 && a.strides(2) == item && a.strides(1) == 4 * item &&
           (a.shape(0) == 1 || (a.strides(0) >= rowBytes && a.strides(0) % item == 0)) &&
           a.strides(0) <= std::numeric_limits<int32_t>::max() &&
           reinterpret_cast<uintptr_t>(a.data()) % static_cast<uintptr_t>(item) == 0;
}

void Describe(Frame& f) {
    orvex::EffectFrame& e = f.frame;
    e.planes = 1;
    e.bitDepth = f.wide ? 16 : 8;
    e.pixel_fmt = f.wide ? orvex::BGRA64 : orvex::BGRA32;
    e.width[0] = static_cast<uint32_t>(f.width);
    e.height[0] = static_cast<uint32_t>(f.height);
    e.data[0] = static_cast<uint8_t*>(const_cast<void*>(f.array.data()));
    const py::ssize_t rowBytes = static_cast<py::ssize_t>(f.width) * 4 * f.array.itemsize();
    e.pitch[0] = static_cast<int32_t>(f.height == 1 ? rowBytes : f.array.strides(0));
}

// A new H x W x 4 array of the dtype.
py::array NewPicture(int width, int height, bool wide) {
    const std::vector<py::ssize_t> shape{height, width, 4};
    if (wide) return py::array_t<uint16_t>(shape);
    return py::array_t<uint8_t>(shape);
}

// Checks the shape of a picture argument; what it says names the argument.
void CheckPicture(const py::array& a, const std::string& what, bool allowThree) {
    if (!IsByte(a) && !IsWord(a))
        throw py::type_error(what + " must be uint8 (BGRA) or uint16 (BGRA64), not " + DtypeText(a));
    if (a.ndim() != 3 || (a.shape(2) != 4 && !(allowThree && a.shape(2) == 3)))
        throw py::value_error(what + " must be an H x W x " + (allowThree ? "4 or H x W x 3" : "4") +
                              " array, not shape " + ShapeText(a));
    if (a.shape(0) < 1 || a.shape(1) < 1) throw py::value_error(what + " is empty: shape " + ShapeText(a));
    if (a.shape(0) > 32768 || a.shape(1) > 32768)
        throw py::value_error(what + " is larger than 32768 pixels on a side: shape " + ShapeText(a));
}

}  // namespace

Frame InputFrame(const py::handle& object, const char* what) {
    if (!py::isinstance<py::array>(object))
        throw py::type_error(std::string(what) + " must be a NumPy array, not " +
                             py::str(py::type::of(object).attr("__name__")).cast<std::string>());
    py::array a = py::reinterpret_borrow<py::array>(object);
    CheckPicture(a, what, true);
    Frame f;
    f.height = static_cast<int>(a.shape(0));
    f.width = static_cast<int>(a.shape(1));
    f.wide = IsWord(a);
    if (LibraryLayout(a)) {
        f.array = a;
    } else {
        // One copy into whole-pixel rows; three channels get an opaque alpha.
        f.array = NewPicture(f.width, f.height, f.wide);
        py::object target = f.array;
        const py::slice colour(0, a.shape(2) == 3 ? 3 : 4, 1);
        target[py::make_tuple(py::ellipsis(), colour)] = a;
        if (a.shape(2) == 3) target[py::make_tuple(py::ellipsis(), 3)] = f.wide ? 65535 : 255;
    }
    Describe(f);
    return f;
}

Output OutputFrame(const py::object& out, int width, int height, bool wide) {
    Output o;
    o.out = out;
    o.target.width = width;
    o.target.height = height;
    o.target.wide = wide;
    if (!out.is_none()) {
        if (!py::isinstance<py::array>(out))
            throw py::type_error("out must be a NumPy array, not " +
                                 py::str(py::type::of(out).attr("__name__")).cast<std::string>());
        py::array a = py::reinterpret_borrow<py::array>(out);
        CheckPicture(a, "out", false);
        if (IsWord(a) != wide)
            throw py::type_error(std::string("out must be ") + (wide ? "uint16" : "uint8") + " like the result, not " +
                                 DtypeText(a));
        if (a.shape(0) != height || a.shape(1) != width)
            throw py::value_error("out must have shape (" + std::to_string(height) + ", " + std::to_string(width) +
                                  ", 4), not " + ShapeText(a));
        if (!a.writeable()) throw py::value_error("out is read-only");
        if (LibraryLayout(a)) {
            o.target.array = a;
            Describe(o.target);
            return o;
        }
    }
    o.target.array = NewPicture(width, height, wide);
    Describe(o.target);
    return o;
}

py::array FinishOutput(Output& output) {
    if (output.out.is_none()) return output.target.array;
    py::array out = py::reinterpret_borrow<py::array>(output.out);
    if (!out.is(output.target.array)) {
        output.out[py::ellipsis()] = output.target.array;
    }
    return out;
}

orvex::EffectFrame NoFrame(uint32_t pixelFormat) {
    orvex::EffectFrame f;
    f.pixel_fmt = pixelFormat;
    return f;
}

}  // namespace orvexpy
