#pragma once
// The frei0r face of the built-in effects: for each creatable effect, its frei0r parameters and
// how each one reaches the effect. The generator fills these records from the effects' own
// parameter declarations; the modules only read them, so they need no internal header.

namespace orvex_frei0r {

// How a frei0r value becomes an effect value.
enum class Mapping {
    Bool,       // F0R_PARAM_BOOL: true from 0.5 up
    Linear,     // F0R_PARAM_DOUBLE: 0..1 onto [lo, hi]
    AsGiven,    // F0R_PARAM_DOUBLE: the value itself, clamped into [lo, hi]
    Color,      // F0R_PARAM_COLOR: each channel 0..1 onto a byte 0..255
    Text,       // F0R_PARAM_STRING
    FrameRate,  // frames per second of the clip, for the time -> frame position conversion
};

// An effect parameter by display name and EffectParamType code (1 bool, 3 float, 5 int, 6 text).
struct Target {
    const char* name;
    int type;
};

struct Param {
    const char* name;
    int f0rType;
    Mapping mapping;
    bool integer;       // the effect takes an int: the mapped value is rounded to the nearest
    double lo, hi;      // Linear: the range mapped onto; AsGiven: the bounds the value is held in
    Target targets[3];  // one target; red, green, blue for a colour; none for the frame rate
    double initial[3];  // the frei0r value an instance starts with (colour: r, g, b)
    const char* initialText;
    const char* explanation;
};

struct Effect {
    const char* name;    // "video/effect/<short name>"
    const char* module;  // "orvex_<short name>", the module's file stem and frei0r name
    const char* explanation;
    const Param* params;
    int paramCount;
};

// Frames per second assumed until the host sets the frame-rate parameter.
constexpr double kDefaultFrameRate = 30;

}  // namespace orvex_frei0r
