// A host built from the installed tree only, run under AddressSanitizer and UndefinedBehavior
// Sanitizer, that calls the library as a careless or hostile host would: frames it cannot render,
// outputs overlapping inputs, non-finite values, handles released twice or through another lab,
// and descriptions that name files outside their folder. Every plane ends at a page that cannot
// be touched, so a write past it stops the program. It fails on the first broken promise.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <orvex/orvex.h>

using namespace orvex;

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "hostile host: %s\n", what.c_str());
    ++failures;
}

// `bytes` of pattern ending right at an inaccessible page.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t bytes, uint8_t seed) : bytes_(bytes) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        span_ = (bytes + page - 1) / page * page + page;
        void* base = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) std::abort();
        base_ = static_cast<uint8_t*>(base);
        mprotect(base_ + span_ - page, page, PROT_NONE);
        data_ = base_ + span_ - page - bytes;
        for (size_t i = 0; i < bytes; ++i) data_[i] = static_cast<uint8_t>(i * 7 + seed);
    }
    ~GuardedBytes() { munmap(base_, span_); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    uint8_t* data() { return data_; }
    std::vector<uint8_t> Copy() const { return std::vector<uint8_t>(data_, data_ + bytes_); }

private:
    size_t bytes_;
    size_t span_ = 0;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

// A frame whose planes each end at a guard page.
struct HostFrame {
    HostFrame(uint32_t fmt, uint32_t w, uint32_t h) {
        frame = std::make_shared<EffectFrame>();
        frame->pixel_fmt = fmt;
        frame->width[0] = w;
        frame->height[0] = h;
        const bool nv12 = fmt == NV12, yv12 = fmt == YV12, wide = fmt == BGRA64;
        const uint32_t rowBytes = nv12 || yv12 ? w : w * (wide ? 8 : 4);
        AddPlane(rowBytes, h);
        if (nv12) AddPlane((w + 1) / 2 * 2, (h + 1) / 2);
        if (yv12) {
            AddPlane((w + 1) / 2, (h + 1) / 2);
            AddPlane((w + 1) / 2, (h + 1) / 2);
        }
    }
    void AddPlane(uint32_t rowBytes, uint32_t rows) {
        const int i = static_cast<int>(frame->planes++);
        planes.push_back(std::make_unique<GuardedBytes>(static_cast<size_t>(rowBytes) * rows, uint8_t(i * 31 + 5)));
        frame->data[i] = planes.back()->data();
        frame->pitch[i] = static_cast<int32_t>(rowBytes);
        if (i > 0) {
            frame->width[i] = rowBytes;
            frame->height[i] = rows;
        }
    }
    std::vector<std::vector<uint8_t>> Bytes() const {
        std::vector<std::vector<uint8_t>> all;
        for (const auto& p : planes) all.push_back(p->Copy());
        return all;
    }
    EffectFramePtr frame;
    std::vector<std::unique_ptr<GuardedBytes>> planes;
};

// A w x h BGRA32 frame over memory it does not own.
EffectFramePtr FrameOver(uint8_t* data, uint32_t w, uint32_t h, int32_t pitch) {
    auto f = std::make_shared<EffectFrame>();
    f->planes = 1;
    f->pixel_fmt = BGRA32;
    f->width[0] = w;
    f->height[0] = h;
    f->data[0] = data;
    f->pitch[0] = pitch;
    return f;
}

std::vector<uint8_t> Picture(const uint8_t* data, uint32_t w, uint32_t h, int32_t pitch) {
    std::vector<uint8_t> bytes;
    for (uint32_t y = 0; y < h; ++y) bytes.insert(bytes.end(), data + y * pitch, data + y * pitch + w * 4);
    return bytes;
}

std::vector<std::string> EffectNames(IOrvex& lab, const std::string& resources) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(resources + "/video/effect", ec)) {
        const std::string name = "video/effect/" + entry.path().filename().string();
        if (IOrvexEffect* e = lab.CreateOrvexEffect(name.c_str())) {
            names.push_back(name);
            lab.ReleaseOrvexEffect(e);
        }
    }
    return names;
}

void RefusedFrames(IOrvex& lab, const std::string& name) {
    struct Case {
        const char* what;
        uint32_t inFmt, outFmt, claimedIn;
    };
    const Case cases[] = {
        {"NV12 output", BGRA32, NV12, 0},         {"BGRA64 output", BGRA32, BGRA64, 0},
        {"NV12 input", NV12, BGRA32, 0},          {"input format 15", BGRA32, BGRA32, 15},
        {"input format 0xFFFFFFFF", BGRA32, BGRA32, 0xFFFFFFFFu},
    };
    IOrvexEffect* effect = lab.CreateOrvexEffect(name.c_str());
    for (const Case& c : cases) {
        HostFrame in(c.inFmt, 24, 16), out(c.outFmt, 24, 16);
        if (c.claimedIn) in.frame->pixel_fmt = c.claimedIn;
        const auto before = out.Bytes();
        const ResultCode r = effect->Render(nullptr, 0, nullptr, {in.frame}, out.frame);
        Check(r == UnsupportedFrame, name + ", " + c.what + ": result " + std::to_string(r));
        Check(out.Bytes() == before, name + ", " + c.what + ": output written");
    }
    lab.ReleaseOrvexEffect(effect);
}

// Output one row and one pixel after the input in one buffer, and the same frames apart.
void OverlappingEffectFrames(IOrvex& lab, const std::string& name) {
    const uint32_t w = 21, h = 13;
    const int32_t pitch = w * 4 + 8;
    const size_t frameBytes = static_cast<size_t>(pitch) * (h - 1) + w * 4, shift = pitch + 4;
    GuardedBytes buffer(frameBytes + shift, 3);
    std::vector<uint8_t> refIn(buffer.data(), buffer.data() + frameBytes);
    std::vector<uint8_t> refOut(buffer.data() + shift, buffer.data() + shift + frameBytes);
    IOrvexEffect* a = lab.CreateOrvexEffect(name.c_str());
    IOrvexEffect* b = lab.CreateOrvexEffect(name.c_str());
    EffectFramePtr apartOut = FrameOver(refOut.data(), w, h, pitch);
    const ResultCode apart = a->Render(nullptr, 0, nullptr, {FrameOver(refIn.data(), w, h, pitch)}, apartOut);
    EffectFramePtr out = FrameOver(buffer.data() + shift, w, h, pitch);
    const ResultCode shared = b->Render(nullptr, 0, nullptr, {FrameOver(buffer.data(), w, h, pitch)}, out);
    Check(apart == shared, name + ": overlapping frames answer differently");
    Check(Picture(refOut.data(), w, h, pitch) == Picture(buffer.data() + shift, w, h, pitch),
          name + ": overlapping frames give another picture");
    lab.ReleaseOrvexEffect(a);
    lab.ReleaseOrvexEffect(b);
}

void InPlace(IOrvex& lab, const std::string& name) {
    const uint32_t w = 64, h = 48;
    GuardedBytes in(w * h * 4, 1), out(w * h * 4, 2), same(w * h * 4, 1);
    IOrvexEffect* a = lab.CreateOrvexEffect(name.c_str());
    IOrvexEffect* b = lab.CreateOrvexEffect(name.c_str());
    EffectFramePtr outFrame = FrameOver(out.data(), w, h, w * 4), sameFrame = FrameOver(same.data(), w, h, w * 4);
    const ResultCode apart = a->Render(nullptr, 0, nullptr, {FrameOver(in.data(), w, h, w * 4)}, outFrame);
    const ResultCode inPlace = b->Render(nullptr, 0, nullptr, {sameFrame}, sameFrame);
    Check(apart == inPlace, name + ": in place answers differently");
    if (apart == Ok) Check(out.Copy() == same.Copy(), name + ": in place differs from out of place");
    lab.ReleaseOrvexEffect(a);
    lab.ReleaseOrvexEffect(b);
}

void VisualProcessing() {
    std::unique_ptr<IVisualProcess, void (*)(IVisualProcess*)> vp(CreateVisualProcess(), ReleaseVisualProcess);
    const uint32_t w = 16, h = 12;
    const int32_t pitch = w * 4;
    const size_t frameBytes = static_cast<size_t>(pitch) * h, shift = pitch + 4;
    struct Slot {
        const char* name;
        ResultCode (*call)(IVisualProcess&, const EffectFrame&, EffectFrame&);
    };
    const Slot slots[] = {
        {"Resize", [](IVisualProcess& v, const EffectFrame& i, EffectFrame& o) { return v.Resize(i, o, 1, 1); }},
        {"solidColorBlend",
         [](IVisualProcess& v, const EffectFrame& i, EffectFrame& o) {
             return v.solidColorBlend(i, o, 10, 20, 30, 255, 1, 0.5, 0);
         }},
        {"ResizeWithPrefilter",
         [](IVisualProcess& v, const EffectFrame& i, EffectFrame& o) { return v.ResizeWithPrefilter(i, o); }},
        {"ResizeBlur",
         [](IVisualProcess& v, const EffectFrame& i, EffectFrame& o) { return v.ResizeBlur(i, o, 4, 3, 0, 8); }},
    };
    for (const Slot& s : slots) {
        for (bool outputAfter : {true, false}) {
            GuardedBytes buffer(frameBytes + shift, 9);
            uint8_t* inData = buffer.data() + (outputAfter ? 0 : shift);
            uint8_t* outData = buffer.data() + (outputAfter ? shift : 0);
            std::vector<uint8_t> refIn(inData, inData + frameBytes), refOut(outData, outData + frameBytes);
            const ResultCode apart =
                s.call(*vp, *FrameOver(refIn.data(), w, h, pitch), *FrameOver(refOut.data(), w, h, pitch));
            const ResultCode shared = s.call(*vp, *FrameOver(inData, w, h, pitch), *FrameOver(outData, w, h, pitch));
            Check(apart == shared && std::vector<uint8_t>(outData, outData + frameBytes) == refOut,
                  std::string(s.name) + ": overlapping frames give another result");
        }
    }
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf}) {
        HostFrame a(BGRA32, w, h), b(BGRA32, w, h), out(BGRA32, w, h);
        const auto before = out.Bytes();
        const fxRectf all{0, 0, 1, 1};
        Check(vp->Blend(*a.frame, all, *b.frame, all, *out.frame, 1, 1, bad, 0) == InvalidArgument, "Blend opacity");
        Check(vp->overlay(*a.frame, *b.frame, *out.frame, 1, bad, 0, 0) == InvalidArgument, "overlay opacity");
        Check(vp->FrameInterpolation(*a.frame, *b.frame, *out.frame, bad) == InvalidArgument, "interpolation factor");
        Check(vp->Rotate(*a.frame, *out.frame, bad, 1) == InvalidArgument, "Rotate theta");
        Check(out.Bytes() == before, "output written by a refused call");
    }
}

void Handles(IOrvex& first) {
    IOrvex* second = CreateOrvex();
    IOrvexEffect* effect = first.CreateOrvexEffect("video/effect/gamma_correction");
    Check(effect != nullptr, "gamma_correction not creatable");
    Check(second->ReleaseOrvexEffect(effect) == InvalidArgument, "release through another lab");
    Check(first.ReleaseOrvexEffect(effect) == Ok, "release through its lab");
    Check(first.ReleaseOrvexEffect(effect) == InvalidArgument, "second release");
    Check(first.ReleaseOrvexObject(effect) == InvalidArgument, "release of a released effect as an object");
    // Forgotten on purpose: the lab frees it (LeakSanitizer reports it otherwise).
    second->CreateOrvexEffect("video/effect/gamma_correction");
    ReleaseOrvex(second);
}

void EscapingDescription(IOrvex& lab) {
    namespace fs = std::filesystem;
    const fs::path pack = fs::temp_directory_path() / ("orvex-hostile-" + std::to_string(getpid()));
    fs::create_directories(pack / "escape");
    std::ofstream(pack / "escape" / "description.json")
        << R"({"unique_name": "video/effect/escape", "display_name": "escape", "effect_type": "opengl_effect",)"
        << R"( "opengl_frag": ["../../../../../../../../../../etc/passwd"]})";
    Check(lab.SetResourcePath(pack.c_str(), 2) != Ok, "a description naming /etc/passwd was registered");
    Check(lab.CreateOrvexEffect("video/effect/escape") == nullptr, "an effect reading /etc/passwd was created");
    fs::remove_all(pack);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hostile_host RESOURCE_DIR\n");
        return 2;
    }
    const std::string resources = argv[1];
    IOrvex* lab = CreateOrvex();
    lab->SetResourcePath(resources.c_str(), 0);
    lab->SetResourcePath((resources + "/video/effect").c_str(), 2);
    const std::vector<std::string> names = EffectNames(*lab, resources);
    Check(names.size() >= 54, "only " + std::to_string(names.size()) + " effects creatable");
    for (const std::string& name : names) {
        RefusedFrames(*lab, name);
        OverlappingEffectFrames(*lab, name);
        InPlace(*lab, name);
    }
    VisualProcessing();
    Handles(*lab);
    EscapingDescription(*lab);
    ReleaseOrvex(lab);
    std::printf("hostile host: %zu effects, %d failures\n", names.size(), failures);
    return failures == 0 ? 0 : 1;
}
