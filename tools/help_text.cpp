// The orvex command's help text, which usage errors anywhere in the host parts print.
#include "cli_common.h"

namespace orvexcli {

const char* const kHelp =
    "usage:\n"
    "  orvex demo [--out DIR] [--input PICTURE] [--size WxH]\n"
    "                                      every effect on the test card: one PNG each and a\n"
    "                                      labelled contact sheet (DIR/contact_sheet.png)\n"
    "  orvex list [--resources DIR]        creatable effects and the catalogue's entries\n"
    "  orvex info NAME [--resources DIR]   an effect's parameters (type, default, range) and paths\n"
    "  orvex render --effect NAME [--param NAME=VALUE[@FRAME]]... [--device cpu|opencl|opengl]\n"
    "               [--frame N] [--fps N] [--audio FILE.wav | --audio-from-input] [--codec NAME]\n"
    "               [--crf Q | --bitrate RATE] [--pix-fmt FORMAT] [--frames A:B] [--no-audio]\n"
    "               [--resources DIR] IN OUT\n"
    "                                      render one effect on a picture (PNG, JPEG, ...) or on\n"
    "                                      every frame of a video (any file FFmpeg reads; the output\n"
    "                                      container follows OUT's extension, sound is copied);\n"
    "                                      NAME=VALUE@FRAME sets a keyframe: numbers are\n"
    "                                      interpolated linearly between keyframes\n"
    "                                      (orvex render --help tells more)\n"
    "  orvex testcard [--size WxH] OUT     write the generated test card\n"
    "  orvex compare [--tolerance N] A B   largest byte difference of two pictures\n"
    "  orvex --help, orvex COMMAND --help\n"
    "\n"
    "Parameter values follow the parameter's type: true/false for bool, an integer for int,\n"
    "a number for float. Alpha is kept as read; a picture without alpha gets alpha 255.\n"
    "--device defaults to OpenCL on a GPU or accelerator when there is one, else the CPU\n"
    "(--device opencl also takes a CPU OpenCL device such as PoCL); shader effects\n"
    "(pixelate, whirlwind, audio_spectrum, ...) render with OpenGL (--device opengl or the default).\n"
    "Shader effects take any parameter name; the value's form gives its type (true/false, an\n"
    "integer, a number, else text). Video frames are numbered from 0; the frame number is the\n"
    "effect's frame position (--frame for a picture). --audio attaches the samples of each frame\n"
    "(at the video's rate, or --fps, 25 by default for a picture) of a sound file, for the audio\n"
    "effects.\n"
    "Ctrl-C during a video render stops it and leaves a playable, shorter file.\n"
    "\n"
    "exit codes: 0 ok, 1 usage, 2 bad input (file, effect, parameter or value), 3 render failure,\n"
    "            4 compared pictures differ beyond the tolerance\n";

}  // namespace orvexcli
