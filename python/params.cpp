#include "params.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "cli_common.h"

namespace orvexpy {

namespace py = pybind11;

namespace {

bool IsBool(const py::handle& v) {
    return py::isinstance<py::bool_>(v) || py::isinstance(v, py::module_::import("numpy").attr("bool_"));
}
bool IsIntegral(const py::handle& v) {
    return !IsBool(v) && py::isinstance(v, py::module_::import("numbers").attr("Integral"));
}
bool IsReal(const py::handle& v) { return !IsBool(v) && py::isinstance(v, py::module_::import("numbers").attr("Real")); }

py::object Own(const py::handle& v) { return py::reinterpret_borrow<py::object>(v); }

bool Truth(const py::handle& v) { return PyObject_IsTrue(v.ptr()) == 1; }

int32_t Int32(const std::string& what, const py::handle& v) {
    const long long x = py::int_(Own(v)).cast<long long>();
    if (x < INT32_MIN || x > INT32_MAX) throw py::value_error(what + " does not fit a 32-bit int");
    return static_cast<int32_t>(x);
}

double Finite(const std::string& what, const py::handle& v) {
    const double x = py::float_(Own(v)).cast<double>();
    if (!std::isfinite(x)) throw py::value_error(what + " must be a finite number");
    return x;
}

}  // namespace

std::string TypeOf(const py::handle& value) { return py::str(py::type::of(value).attr("__name__")).cast<std::string>(); }

orvex::EffectParamValue DeclaredValue(const std::string& effect, const orvex::ParamDecl& p, const py::handle& v) {
    const std::string what = effect + " parameter " + p.name;
    switch (p.type) {
    case orvex::ParamBool:
        if (!IsBool(v)) throw py::type_error(what + " is a bool, not " + TypeOf(v));
        return orvex::EffectParamValue::Bool(Truth(v));
    case orvex::ParamText:
        if (!py::isinstance<py::str>(v)) throw py::type_error(what + " is text, not " + TypeOf(v));
        return orvex::EffectParamValue::Text(v.cast<std::string>().c_str());
    case orvex::ParamInt:
    case orvex::ParamFloat: {
        const bool isInt = p.type == orvex::ParamInt;
        if (isInt ? !IsIntegral(v) : !IsReal(v))
            throw py::type_error(what + (isInt ? " is an int, not " : " is a float, not ") + TypeOf(v));
        const double x = isInt ? static_cast<double>(Int32(what, v)) : Finite(what, v);
        if (p.hasRange && (x < p.minValue || x > p.maxValue)) {
            char range[200];
            std::snprintf(range, sizeof range, " = %g is out of range [%g, %g] (the effect would store %g instead)", x,
                          p.minValue, p.maxValue, p.substitute);
            throw py::value_error(what + range);
        }
        return isInt ? orvex::EffectParamValue::Int(static_cast<int32_t>(x))
                     : orvex::EffectParamValue::Float(static_cast<float>(x));
    }
    }
    throw py::type_error(what + " has a type the module does not know (" + orvexcli::TypeName(p.type) + ")");
}

orvex::EffectParamValue ShaderValue(const std::string& name, const py::handle& v, orvex::EffectParamType* type) {
    if (IsBool(v)) {
        *type = orvex::ParamBool;
        return orvex::EffectParamValue::Bool(Truth(v));
    }
    if (IsIntegral(v)) {
        *type = orvex::ParamInt;
        return orvex::EffectParamValue::Int(Int32(name, v));
    }
    if (IsReal(v)) {
        *type = orvex::ParamFloat;
        return orvex::EffectParamValue::Float(static_cast<float>(Finite(name, v)));
    }
    if (py::isinstance<py::str>(v)) {
        *type = orvex::ParamText;
        return orvex::EffectParamValue::Text(v.cast<std::string>().c_str());
    }
    throw py::type_error(name + " must be a bool, a number or text, not " + TypeOf(v));
}

py::object StoredValue(const orvex::ParamDecl& p) {
    switch (p.type) {
    case orvex::ParamBool: return py::bool_(orvex::EffectSurface::StoredValue(p) != 0);
    case orvex::ParamInt: return py::int_(static_cast<long long>(orvex::EffectSurface::StoredValue(p)));
    case orvex::ParamFloat: return py::float_(orvex::EffectSurface::StoredValue(p));
    case orvex::ParamText: return py::str(orvex::EffectSurface::StoredText(p));
    }
    return py::none();
}

}  // namespace orvexpy
