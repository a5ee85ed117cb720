// The Python module `orvex`: every effect and frame operation of the library on NumPy arrays.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "devices.h"
#include "effect.h"
#include "messages.h"
#include "vp.h"

PYBIND11_MODULE(orvex, m) {
    m.doc() =
        "Video effects and frame operations on NumPy arrays: H x W x 4 uint8 BGRA or uint16 BGRA64 frames "
        "(H x W x 3 gets an opaque alpha).";
    orvexpy::AddErrors(m);
    m.def("set_resources", &orvexpy::SetResources, pybind11::arg("path"),
          "Uses the resource tree at path (descriptions, effect programs, shader effects, HDR cubes) for the "
          "effects made from now on.");
    m.def("resources", &orvexpy::Resources, "The resource tree in use.");
    orvexpy::AddEffects(m);
    orvexpy::AddFrameOperations(m);
}
