#pragma once
// NumPy arrays as the library's host frames: H x W x 4 uint8 (BGRA) or uint16 (BGRA64), any row
// stride taken as the pitch without a copy; anything else the library can use is copied once.
#include <cstdint>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "orvex/EffectFrame.h"

namespace orvexpy {

namespace py = pybind11;

// A frame over an array's memory, and the array that owns that memory (the caller's or a copy).
struct Frame {
    orvex::EffectFrame frame;
    py::array array;
    int width = 0, height = 0;
    bool wide = false;  // 16-bit samples
};

// The frame of a picture argument: H x W x 4 or H x W x 3 (opaque alpha added), uint8 or uint16.
// Raises TypeError for what is not a uint8 or uint16 array and ValueError for a wrong shape.
Frame InputFrame(const py::handle& object, const char* what);

// Where a result of width x height goes: the caller's `out` when the library can write into it
// directly, else a new array (copied into `out` afterwards by FinishOutput). Raises TypeError or
// ValueError when `out` cannot take the result.
struct Output {
    Frame target;
    py::object out;  // the caller's array, or None
};
Output OutputFrame(const py::object& out, int width, int height, bool wide);
// The array to hand back: the caller's `out` (filled) or the new one.
py::array FinishOutput(Output& output);

// An empty frame of a pixel format, for the library's "no frame" arguments.
orvex::EffectFrame NoFrame(uint32_t pixelFormat);

}  // namespace orvexpy
