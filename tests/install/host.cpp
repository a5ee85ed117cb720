// A host program built against the installed library only (pkg-config orvex): it renders gamma
// correction on a grey frame through the exported entry points and checks the pixels moved.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <orvex/orvex.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host RESOURCE_DIR\n");
        return 2;
    }
    const std::string resources = argv[1];
    orvex::IOrvex* lab = CreateOrvex();
    if (!lab) return 3;
    lab->SetResourcePath(resources.c_str(), 0);
    lab->SetResourcePath((resources + "/video/effect").c_str(), 2);
    orvex::IOrvexEffect* effect = lab->CreateOrvexEffect("video/effect/gamma_correction");
    if (!effect) {
        std::fprintf(stderr, "host: cannot create gamma_correction\n");
        ReleaseOrvex(lab);
        return 4;
    }
    const int w = 64, h = 32;
    std::vector<uint8_t> in(w * h * 4, 128), out(w * h * 4, 0);
    auto frame = [&](std::vector<uint8_t>& pixels) {
        auto f = std::make_shared<orvex::EffectFrame>();
        f->planes = 1;
        f->bitDepth = 8;
        f->pixel_fmt = orvex::BGRA32;
        f->width[0] = w;
        f->height[0] = h;
        f->pitch[0] = w * 4;
        f->data[0] = pixels.data();
        return f;
    };
    std::vector<orvex::EffectFramePtr> inputs{frame(in)};
    orvex::EffectFramePtr output = frame(out);
    // Gamma 2.0 (the parameter is in tenths): mid grey must move.
    if (effect->SetParam("Gamma", orvex::ParamFloat, orvex::EffectParamValue::Float(20)) != orvex::Ok) return 7;
    const orvex::ResultCode r = effect->Render(nullptr, 0, nullptr, inputs, output);
    lab->ReleaseOrvexEffect(effect);
    ReleaseOrvex(lab);
    if (r != orvex::Ok) {
        std::fprintf(stderr, "host: render failed (%d)\n", r);
        return 5;
    }
    std::printf("in %d out %d alpha %d\n", in[0], out[0], out[3]);
    return out[0] != 128 && out[0] != 0 ? 0 : 6;
}
