#pragma once
// What the orvex subcommands share: exit codes, the resource tree, pictures in and out, parameter
// text and the "did you mean" suggestions.
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "effects/EffectSurface.h"
#include "picture_io.h"
#include "orvex/orvex.h"

namespace orvexcli {

// Exit codes: 0 ok, 1 usage, 2 input (files, names, values), 3 render failure, 4 pictures differ.
enum Exit { kOk = 0, kUsage = 1, kInput = 2, kRender = 3, kDiffer = 4 };

extern const char* const kHelp;

// The host parts' messages go to stderr, or to the capture open on the calling thread: the Python
// module turns them into exceptions rather than printing them.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    // What was said while the capture was open, one line per message, without the newlines.
    const std::string& text() const { return text_; }

private:
    friend void Say(const char* format, ...);
    std::string text_;
    MessageCapture* previous_;
};

// Prints the message and the help to stderr; returns kUsage.
int Usage(const std::string& message);

// The resource tree: the given folder, else the one installed beside this program, else the
// configured install prefix, else the source tree; empty when none exists.
std::string FindResources(const std::string& given);
// The first of those trees (the given one first) that holds the folder `inside`; empty when none.
std::string FindResourceTree(const std::string& given, const char* inside);
// Points a lab at the resource tree: the root, then the effect folders.
void UseResources(orvex::IOrvex* lab, const std::string& root);

// A lab released on scope exit.
struct Lab {
    orvex::IOrvex* lab = CreateOrvex();
    Lab() = default;
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;
    ~Lab() {
        if (lab) ReleaseOrvex(lab);
    }
};

const char* TypeName(orvex::EffectParamType t);
// Parses text as the declared type; false when it does not read as that type.
bool ParseValue(const orvex::ParamDecl& p, const std::string& text, orvex::EffectParamValue* value);
// The stored value of a parameter as text (true/false, a number, or quoted text).
std::string FormatStored(const orvex::ParamDecl& p);

// Every name the lab can create: built-in effects with a body, self-registered ones, and the
// described effects of the catalogue.
std::vector<std::string> CreatableEffects(orvex::IOrvex* lab);

// The candidate closest to `name` by edit distance, or empty when nothing is near enough to be
// a likely typo.
std::string Closest(const std::string& name, const std::vector<std::string>& candidates);
// "unknown effect X" with a suggestion when one is close.
void ReportUnknownEffect(const std::string& name, orvex::IOrvex* lab);

}  // namespace orvexcli
