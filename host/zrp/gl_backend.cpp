#include "host/zrp/gl_backend.h"

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <tuple>

#include "corelog.h"
#include "host/zrp/objects.h"

#define ZRP_GL_LOG(level, ...) CoreLogPrintLog("ZRP", (level), "zrp:opengl", 0, 0, -1, __VA_ARGS__)

namespace zrp {

// The display, the context and the few GL objects every task shares.
struct GLDevice {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    std::recursive_mutex mutex;
    int depth = 0;
    bool switched = false;
    EGLDisplay prevDisplay = EGL_NO_DISPLAY;
    EGLSurface prevDraw = EGL_NO_SURFACE, prevRead = EGL_NO_SURFACE;
    EGLContext prevContext = EGL_NO_CONTEXT;

    GLuint drawFbo = 0, readFbo = 0, quad = 0, vertexShader = 0;
    GLint maxTextureSize = 0, maxUnits = 0;
    // Copies of outputs that a pass also reads, one per size and format, kept for the next frame.
    std::map<std::tuple<int32_t, int32_t, GLenum>, GLuint> scratch;
    ~GLDevice();
};

namespace {

// Makes the device's context current for the scope, under its lock, and puts back whatever the
// thread had current before.
class GLScope {
public:
    explicit GLScope(GLDevice& d) : d_(d), lock_(d.mutex) {
        if (d_.depth++ > 0) return;
        d_.switched = false;
        d_.prevContext = eglGetCurrentContext();
        if (d_.prevContext == d_.context) return;
        d_.prevDisplay = eglGetCurrentDisplay();
        d_.prevDraw = eglGetCurrentSurface(EGL_DRAW);
        d_.prevRead = eglGetCurrentSurface(EGL_READ);
        if (eglMakeCurrent(d_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, d_.context) != EGL_TRUE) {
            ZRP_GL_LOG(4, "eglMakeCurrent failed (0x%x)", eglGetError());
            failed_ = true;
            return;
        }
        d_.switched = true;
    }
    ~GLScope() {
        if (--d_.depth > 0 || !d_.switched) return;
        if (d_.prevContext != EGL_NO_CONTEXT)
            eglMakeCurrent(d_.prevDisplay, d_.prevDraw, d_.prevRead, d_.prevContext);
        else
            eglMakeCurrent(d_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        d_.switched = false;
    }
    bool ok() const { return !failed_; }

private:
    GLDevice& d_;
    std::lock_guard<std::recursive_mutex> lock_;
    bool failed_ = false;
};

struct TexelFormat {
    GLenum internal = GL_RGBA8, format = GL_BGRA, type = GL_UNSIGNED_BYTE;
    int32_t bytes = 4;
};

// false for bit formats a GL texture does not hold.
bool FormatFor(BitFormat bits, TexelFormat* f) {
    if (bits == kBitFormatFloat32) *f = {GL_RGBA32F, GL_RGBA, GL_FLOAT, 16};
    else if (bits.kind >= 4 && bits.kind < 6) *f = {GL_RGBA16, GL_BGRA, GL_UNSIGNED_SHORT, 8};
    else if (bits.kind == 2) *f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4};
    else return false;
    return true;
}

// Row length in pixels for the pack/unpack state; 0 when the pitch is not a whole pixel count.
GLint RowLength(int32_t pitch, int32_t bytes) { return pitch % bytes == 0 ? pitch / bytes : 0; }

void CopyTexture(GLDevice& d, GLuint src, GLuint dst, int32_t w, int32_t h) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, d.readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, src, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindTexture(GL_TEXTURE_2D, dst);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
}

class GLDeviceContext final : public DeviceContext {
public:
    int32_t GetType() const override { return kDeviceOpenGL; }
};

class GLMapped final : public MappedBuffer {
public:
    int32_t GetPlaneCount() const override { return 1; }
    MappedPlane GetPlane(int32_t i) const override { return i == 0 ? plane : MappedPlane{}; }
    int32_t GetLayout() const override { return 1; }  // rows are tight
    int32_t mode = 0;
    std::vector<uint8_t> storage;
    MappedPlane plane;
};

class GLTask final : public Task {
public:
    GLTask(GLDevicePtr d, GLsync f) : device(std::move(d)), fence(f) {}
    ~GLTask() override {
        GLScope scope(*device);
        if (scope.ok() && fence) glDeleteSync(fence);
    }
    ResultCode WaitForCompletion(int64_t timeout) override {
        GLScope scope(*device);
        if (!scope.ok() || !fence) return 1;
        const GLuint64 step = timeout < 0 ? 1000000000ull : static_cast<GLuint64>(timeout) * 1000000ull;
        for (;;) {
            GLenum r = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, step);
            if (r == GL_ALREADY_SIGNALED || r == GL_CONDITION_SATISFIED) return 0;
            if (r == GL_WAIT_FAILED || timeout >= 0) return 1;
        }
    }
    GLDevicePtr device;
    GLsync fence;
};

}  // namespace

GLDevice::~GLDevice() {
    if (context != EGL_NO_CONTEXT) {
        {
            GLScope scope(*this);
            if (scope.ok()) {
                for (auto& [key, id] : scratch) glDeleteTextures(1, &id);
                if (drawFbo) glDeleteFramebuffers(1, &drawFbo);
                if (readFbo) glDeleteFramebuffers(1, &readFbo);
                if (quad) glDeleteBuffers(1, &quad);
                if (vertexShader) glDeleteShader(vertexShader);
            }
        }
        eglDestroyContext(display, context);
    }
}

// --- device ------------------------------------------------------------------------------------------

GLDevicePtr OpenDefaultGLDevice() {
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto hasClientExt = [&](const char* name) { return clientExt && std::strstr(clientExt, name); };
    EGLDisplay display = EGL_NO_DISPLAY;
    if (hasClientExt("EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) {
        ZRP_GL_LOG(4, "no EGL display (0x%x): OpenGL is not available", eglGetError());
        return nullptr;
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        ZRP_GL_LOG(4, "the EGL display has no desktop OpenGL: OpenGL is not available");
        return nullptr;
    }
    const char* ext = eglQueryString(display, EGL_EXTENSIONS);
    EGLConfig config = nullptr;  // EGL_NO_CONFIG_KHR
    if (!ext || !std::strstr(ext, "EGL_KHR_no_config_context")) {
        const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE};
        EGLint n = 0;
        if (eglChooseConfig(display, want, &config, 1, &n) != EGL_TRUE || n < 1) {
            ZRP_GL_LOG(4, "no EGL configuration for OpenGL: OpenGL is not available");
            return nullptr;
        }
    }
    auto device = std::make_shared<GLDevice>();
    device->display = display;
    device->context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (device->context == EGL_NO_CONTEXT) {
        ZRP_GL_LOG(4, "cannot create an OpenGL context (0x%x): OpenGL is not available", eglGetError());
        return nullptr;
    }
    GLScope scope(*device);
    if (!scope.ok()) return nullptr;
    glGenFramebuffers(1, &device->drawFbo);
    glGenFramebuffers(1, &device->readFbo);
    const GLfloat corners[] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f};
    glGenBuffers(1, &device->quad);
    glBindBuffer(GL_ARRAY_BUFFER, device->quad);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &device->maxTextureSize);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &device->maxUnits);

    static const char* kVertex =
        "#version 120\n"
        "attribute vec2 orvex_position;\n"
        "void main() { gl_Position = vec4(orvex_position, 0.0, 1.0); }\n";
    device->vertexShader = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(device->vertexShader, 1, &kVertex, nullptr);
    glCompileShader(device->vertexShader);
    GLint compiled = 0;
    glGetShaderiv(device->vertexShader, GL_COMPILE_STATUS, &compiled);
    if (!compiled || !device->drawFbo || !device->quad || glGetError() != GL_NO_ERROR) {
        ZRP_GL_LOG(4, "OpenGL context without the basics (framebuffers, GLSL 1.20): OpenGL is not available");
        return nullptr;
    }
    return device;
}

// --- textures ----------------------------------------------------------------------------------------

GLTexture::GLTexture(GLDevicePtr device, BitFormat bits, int32_t w, int32_t h)
    : device_(std::move(device)), bits_(bits), width_(w), height_(h), bytesPerPixel_(4) {
    TexelFormat f;
    if (FormatFor(bits, &f)) bytesPerPixel_ = f.bytes;
}

std::shared_ptr<GLTexture> GLTexture::Create(const GLDevicePtr& device, BitFormat bits, int32_t width,
                                             int32_t height) {
    TexelFormat f;
    if (!device || !FormatFor(bits, &f) || width <= 0 || height <= 0 || width > device->maxTextureSize ||
        height > device->maxTextureSize)
        return nullptr;
    std::shared_ptr<GLTexture> t(new (std::nothrow) GLTexture(device, bits, width, height));
    if (!t) return nullptr;
    GLScope scope(*device);
    if (!scope.ok()) return nullptr;
    while (glGetError() != GL_NO_ERROR) {
    }
    glGenTextures(1, &t->id_);
    glBindTexture(GL_TEXTURE_2D, t->id_);
    // Data textures are read texel by texel; pictures are sampled between pixels when scaled.
    const GLint filter = bits == kBitFormatFloat32 ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), width, height, 0, f.format, f.type, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (GLenum err = glGetError(); err != GL_NO_ERROR) {
        ZRP_GL_LOG(4, "cannot create a %dx%d texture (0x%x)", width, height, err);
        return nullptr;
    }
    return t;
}

GLTexture::~GLTexture() {
    if (!id_) return;
    GLScope scope(*device_);
    if (scope.ok()) glDeleteTextures(1, &id_);
}

ResultCode GLTexture::GetImageFormat(ImageFormat** format) const {
    return ZRPImageFormatAlloc(kColorSpaceBGRA, bits_, width_, height_, 0, format);
}

ResultCode GLTexture::Upload(const uint8_t* data, int32_t pitch) {
    TexelFormat f;
    if (!data || pitch < width_ * bytesPerPixel_ || !FormatFor(bits_, &f)) return 1;
    GLScope scope(*device_);
    if (!scope.ok()) return 1;
    glBindTexture(GL_TEXTURE_2D, id_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLint rowLength = RowLength(pitch, bytesPerPixel_);
    if (rowLength) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, f.format, f.type, data);
    } else {
        for (int32_t y = 0; y < height_; ++y)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, width_, 1, f.format, f.type, data + static_cast<size_t>(pitch) * y);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    return glGetError() == GL_NO_ERROR ? 0 : 1;
}

ResultCode GLTexture::Download(uint8_t* data, int32_t pitch) {
    TexelFormat f;
    if (!data || pitch < width_ * bytesPerPixel_ || !FormatFor(bits_, &f)) return 1;
    GLScope scope(*device_);
    if (!scope.ok()) return 1;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, device_->readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, id_, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const GLint rowLength = RowLength(pitch, bytesPerPixel_);
    if (rowLength) {
        glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
        glReadPixels(0, 0, width_, height_, f.format, f.type, data);
    } else {
        for (int32_t y = 0; y < height_; ++y)
            glReadPixels(0, y, width_, 1, f.format, f.type, data + static_cast<size_t>(pitch) * y);
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return glGetError() == GL_NO_ERROR ? 0 : 1;
}

// Mapping hands out a host copy in a staging buffer that is kept for the next mapping. Mode 1
// copies in the current contents too, so a writer that touches part of the picture keeps the rest.
MappedBuffer* GLTexture::Map(int32_t mode) {
    std::unique_ptr<MappedBuffer> owned;
    {
        std::lock_guard<std::mutex> lock(mapMutex_);
        if (!spare_.empty()) {
            owned = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (!owned) owned = std::make_unique<GLMapped>();
    auto* m = static_cast<GLMapped*>(owned.get());
    const int32_t pitch = width_ * bytesPerPixel_;
    m->storage.resize(static_cast<size_t>(pitch) * height_);
    m->mode = mode;
    m->plane = {m->storage.data(), pitch, width_, height_};
    if (Download(m->storage.data(), pitch) != 0) return nullptr;
    std::lock_guard<std::mutex> lock(mapMutex_);
    mapped_.push_back(std::move(owned));
    return mapped_.back().get();
}

ResultCode GLTexture::Unmap(MappedBuffer* buffer) {
    std::unique_ptr<MappedBuffer> owned;
    {
        std::lock_guard<std::mutex> lock(mapMutex_);
        auto it = std::find_if(mapped_.begin(), mapped_.end(), [&](const auto& p) { return p.get() == buffer; });
        if (it == mapped_.end()) return 1;
        owned = std::move(*it);
        mapped_.erase(it);
    }
    auto* m = static_cast<GLMapped*>(owned.get());
    ResultCode r = m->mode == 1 ? Upload(m->plane.data, m->plane.pitch) : 0;
    std::lock_guard<std::mutex> lock(mapMutex_);
    spare_.push_back(std::move(owned));
    return r;
}

ResultCode GLTexture::CopyFrom(Texture& source) {
    if (auto* src = dynamic_cast<GLTexture*>(&source)) {
        if (src == this) return 0;
        if (!(src->bits_ == bits_) || src->width_ != width_ || src->height_ != height_ || src->device_ != device_)
            return 1;
        GLScope scope(*device_);
        if (!scope.ok()) return 1;
        CopyTexture(*device_, src->id_, id_, width_, height_);
        return glGetError() == GL_NO_ERROR ? 0 : 1;
    }
    // Another platform: through host memory, when the two hold the same picture format.
    TextureContext* ctx = source.GetContext();
    ImageFormat* format = nullptr;
    if (!ctx || ctx->GetImageFormat(&format) != 0 || !format) return 1;
    const bool same = format->GetColorSpace() == kColorSpaceBGRA && format->GetBitFormat() == bits_ &&
                      format->GetWidth() == width_ && format->GetHeight() == height_;
    ZRPObjectFree(format);
    if (!same) return 1;
    MappedBuffer* in = source.Map(0);
    if (!in) return 1;
    MappedPlane p = in->GetPlane(0);
    ResultCode r = in->GetPlaneCount() >= 1 && p.height >= height_ ? Upload(p.data, p.pitch) : 1;
    source.Unmap(in);
    return r;
}

// --- programs and tasks ----------------------------------------------------------------------------

struct OpenGLFactory::Program {
    struct Uniform {
        std::string name;
        GLint location;
        GLenum type;
    };
    GLDevicePtr device;
    GLuint id = 0;
    std::vector<Uniform> uniforms;
    ~Program() {
        GLScope scope(*device);
        if (scope.ok() && id) glDeleteProgram(id);
    }
};

namespace {

// A parameter value as up to 16 numbers, whatever its type code.
int Numbers(const ParamSet::Value& v, double out[16]) {
    auto read = [&](size_t offset, auto sample) {
        std::memcpy(&sample, v.bytes.data() + offset, sizeof sample);
        return static_cast<double>(sample);
    };
    const size_t n = v.bytes.size();
    switch (v.type) {
    case kParamByte: case kParamBool: if (n >= 1) { out[0] = v.bytes[0]; return 1; } return 0;
    case kParamInt32: if (n >= 4) { out[0] = read(0, int32_t{}); return 1; } return 0;
    case kParamFloat: if (n >= 4) { out[0] = read(0, float{}); return 1; } return 0;
    case kParam64: if (n >= 8) { out[0] = read(0, int64_t{}); return 1; } return 0;
    case kParamFloat2: if (n >= 8) { out[0] = read(0, float{}); out[1] = read(4, float{}); return 2; } return 0;
    case kParamBlock: {
        const int count = static_cast<int>(std::min<size_t>(n / 4, 16));
        for (int i = 0; i < count; ++i) out[i] = read(static_cast<size_t>(i) * 4, float{});
        return count;
    }
    default: return 0;
    }
}

// Sets one uniform from numbers converted to its declared type; missing components are zero.
void SetUniform(GLint loc, GLenum type, const double* v) {
    auto f = [&](int i) { return static_cast<GLfloat>(v[i]); };
    auto i = [&](int k) { return static_cast<GLint>(v[k]); };
    switch (type) {
    case GL_FLOAT: glUniform1f(loc, f(0)); break;
    case GL_FLOAT_VEC2: glUniform2f(loc, f(0), f(1)); break;
    case GL_FLOAT_VEC3: glUniform3f(loc, f(0), f(1), f(2)); break;
    case GL_FLOAT_VEC4: glUniform4f(loc, f(0), f(1), f(2), f(3)); break;
    case GL_INT: case GL_BOOL: glUniform1i(loc, i(0)); break;
    case GL_INT_VEC2: case GL_BOOL_VEC2: glUniform2i(loc, i(0), i(1)); break;
    case GL_INT_VEC3: case GL_BOOL_VEC3: glUniform3i(loc, i(0), i(1), i(2)); break;
    case GL_INT_VEC4: case GL_BOOL_VEC4: glUniform4i(loc, i(0), i(1), i(2), i(3)); break;
    case GL_UNSIGNED_INT: glUniform1ui(loc, static_cast<GLuint>(std::max(0.0, v[0]))); break;
    case GL_FLOAT_MAT2: case GL_FLOAT_MAT3: case GL_FLOAT_MAT4: {
        GLfloat m[16];
        for (int k = 0; k < 16; ++k) m[k] = f(k);
        if (type == GL_FLOAT_MAT2) glUniformMatrix2fv(loc, 1, GL_FALSE, m);
        else if (type == GL_FLOAT_MAT3) glUniformMatrix3fv(loc, 1, GL_FALSE, m);
        else glUniformMatrix4fv(loc, 1, GL_FALSE, m);
        break;
    }
    default: glUniform1i(loc, i(0)); break;  // samplers: the texture unit
    }
}

class GLAlgorithmUnit final : public AlgorithmUnit {
public:
    GLAlgorithmUnit(GLDevicePtr d, std::shared_ptr<OpenGLFactory::Program> p, std::string key)
        : device_(std::move(d)), program_(std::move(p)), key_(std::move(key)) {}
    Task* ScheduleTask(const std::vector<TexturePtr>& inputs, const std::vector<TexturePtr>& outputs, Params* params,
                       const Region& region, ResultCode* status) override;
    ResultCode FinalizeTask(Task* task) override {
        delete task;
        return 0;
    }

private:
    Task* Fail(ResultCode* status, const char* why) {
        ZRP_GL_LOG(4, "program %s: %s", key_.c_str(), why);
        if (status) *status = 1;
        return nullptr;
    }
    GLDevicePtr device_;
    std::shared_ptr<OpenGLFactory::Program> program_;
    std::string key_;
};

Task* GLAlgorithmUnit::ScheduleTask(const std::vector<TexturePtr>& inputs, const std::vector<TexturePtr>& outputs,
                                    Params* params, const Region& region, ResultCode* status) {
    if (status) *status = 0;
    auto* out = outputs.empty() ? nullptr : dynamic_cast<GLTexture*>(outputs[0].get());
    if (!out) return Fail(status, "the output is not an OpenGL texture");
    if (region.width <= 0 || region.height <= 0) return Fail(status, "region is empty");
    if (static_cast<GLint>(inputs.size()) > device_->maxUnits) return Fail(status, "more inputs than texture units");
    std::vector<const GLTexture*> in;
    for (const TexturePtr& t : inputs) {
        auto* g = dynamic_cast<GLTexture*>(t.get());
        if (!g) return Fail(status, "takes an input that is not an OpenGL texture");
        in.push_back(g);
    }
    auto* values = dynamic_cast<ParamSet*>(params);

    GLScope scope(*device_);
    if (!scope.ok()) return Fail(status, "the OpenGL context cannot be made current");
    while (glGetError() != GL_NO_ERROR) {
    }
    GLDevice& d = *device_;
    for (size_t i = 0; i < in.size(); ++i) {
        GLuint id = in[i]->id();
        if (in[i] == out) {
            // Reading the texture being drawn is undefined in GL: read a copy instead.
            TexelFormat f;
            FormatFor(out->bitFormat(), &f);
            GLuint& copy = d.scratch[{out->GetWidth(), out->GetHeight(), f.internal}];
            if (!copy) {
                glGenTextures(1, &copy);
                glBindTexture(GL_TEXTURE_2D, copy);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
                glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), out->GetWidth(), out->GetHeight(), 0,
                             f.format, f.type, nullptr);
            }
            CopyTexture(d, out->id(), copy, out->GetWidth(), out->GetHeight());
            id = copy;
        }
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, id);
    }
    glActiveTexture(GL_TEXTURE0);

    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, d.drawFbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, out->id(), 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    if (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        return Fail(status, "cannot draw into the output texture");
    }
    glUseProgram(program_->id);
    for (const auto& u : program_->uniforms) {
        double numbers[16] = {0};
        const ParamSet::Value* v = values ? values->Find(u.name) : nullptr;
        if (v) Numbers(*v, numbers);
        SetUniform(u.location, u.type, numbers);
    }
    glViewport(0, 0, std::min(region.width, out->GetWidth()), std::min(region.height, out->GetHeight()));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBindBuffer(GL_ARRAY_BUFFER, d.quad);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    for (size_t i = in.size(); i-- > 0;) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    if (GLenum err = glGetError(); err != GL_NO_ERROR) {
        ZRP_GL_LOG(4, "program %s: drawing failed (0x%x)", key_.c_str(), err);
        if (status) *status = 1;
        return nullptr;
    }
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    return new GLTask(device_, fence);
}

}  // namespace

// --- factory ---------------------------------------------------------------------------------------

OpenGLFactory::OpenGLFactory(GLDevicePtr device)
    : device_(std::move(device)), context_(std::make_unique<GLDeviceContext>()) {}

OpenGLFactory::~OpenGLFactory() = default;

static bool IsOpenGL(const char* platform) { return platform && std::strcmp(platform, "opengl") == 0; }

ResultCode OpenGLFactory::IsAlgorithmRegistered(const char* platform, const char* key) {
    if (!IsOpenGL(platform) || !key) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    return programs_.count(key) ? 0 : 1;
}

std::shared_ptr<OpenGLFactory::Program> OpenGLFactory::Build(const char* key, const char* source, size_t length) {
    if (!source || length == 0) {
        ZRP_GL_LOG(4, "program %s: empty source", key);
        return nullptr;
    }
    GLScope scope(*device_);
    if (!scope.ok()) return nullptr;
    auto infoLog = [](GLuint object, bool isProgram) {
        GLint n = 0;
        isProgram ? glGetProgramiv(object, GL_INFO_LOG_LENGTH, &n) : glGetShaderiv(object, GL_INFO_LOG_LENGTH, &n);
        std::string log(static_cast<size_t>(std::max(n, 1)), '\0');
        if (isProgram) glGetProgramInfoLog(object, n, nullptr, log.data());
        else glGetShaderInfoLog(object, n, nullptr, log.data());
        return log;
    };
    GLuint fragment = glCreateShader(GL_FRAGMENT_SHADER);
    const GLint len = static_cast<GLint>(std::min<size_t>(length, 1u << 30));
    glShaderSource(fragment, 1, &source, &len);
    glCompileShader(fragment);
    GLint ok = 0;
    glGetShaderiv(fragment, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        ZRP_GL_LOG(4, "program %s does not compile:\n%s", key, infoLog(fragment, false).c_str());
        glDeleteShader(fragment);
        return nullptr;
    }
    auto program = std::make_shared<Program>();
    program->device = device_;
    program->id = glCreateProgram();
    glAttachShader(program->id, device_->vertexShader);
    glAttachShader(program->id, fragment);
    glBindAttribLocation(program->id, 0, "orvex_position");
    glLinkProgram(program->id);
    glDetachShader(program->id, fragment);
    glDetachShader(program->id, device_->vertexShader);
    glDeleteShader(fragment);
    glGetProgramiv(program->id, GL_LINK_STATUS, &ok);
    if (!ok) {
        ZRP_GL_LOG(4, "program %s does not link:\n%s", key, infoLog(program->id, true).c_str());
        return nullptr;
    }
    GLint count = 0;
    glGetProgramiv(program->id, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[256] = {0};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program->id, static_cast<GLuint>(i), sizeof name - 1, nullptr, &size, &type, name);
        std::string n = name;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, "[0]") == 0) n.resize(n.size() - 3);
        const GLint location = glGetUniformLocation(program->id, name);
        if (location >= 0 && n.rfind("gl_", 0) != 0) program->uniforms.push_back({n, location, type});
    }
    return program;
}

ResultCode OpenGLFactory::RegisterProgram(const char* platform, const char* key, const char* source, size_t length,
                                          const PixelFormat*, const PixelFormat*,
                                          const std::vector<std::string>& kernelNames) {
    if (!IsOpenGL(platform) || !key) {
        ZRP_GL_LOG(4, "program %s: no device for platform %s", key ? key : "?", platform ? platform : "?");
        return 1;
    }
    std::shared_ptr<Program> program = Build(key, source, length);
    if (!program) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    programs_[key] = program;
    for (const std::string& name : kernelNames) programs_[name] = program;
    return 0;
}

ResultCode OpenGLFactory::RegisterAlgorithm(const char* platform, const char* firstKernel, const char* source,
                                            size_t length, const std::vector<AlgorithmUnit*>& units) {
    if (!IsOpenGL(platform) || !firstKernel) return 1;
    std::shared_ptr<Program> program = Build(firstKernel, source, length);
    if (!program) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    programs_[firstKernel] = program;
    for (AlgorithmUnit* u : units) {
        if (auto* d = dynamic_cast<AlgorithmUnitDesc*>(u)) programs_[d->kernel] = program;
    }
    return 0;
}

DeviceContext* OpenGLFactory::GetDeviceContext(const char* platform) {
    return IsOpenGL(platform) ? context_.get() : nullptr;
}

ResultCode OpenGLFactory::CreateTexture(TexturePtr* texture, const ImageFormat* format, const char* platform,
                                        int32_t kind, uint8_t* const* planes, const int32_t* pitches,
                                        int32_t pixelFormat, int32_t) {
    if (!texture || !format) return 1;
    texture->reset();
    if (!IsOpenGL(platform) || (kind != kTextureKindOpenGL && kind != kTextureKindOpenGLAlt)) return 1;
    if (format->GetColorSpace() != kColorSpaceBGRA) {
        ZRP_GL_LOG(4, "OpenGL textures hold BGRA pictures only (colour space %d asked)", format->GetColorSpace());
        return 1;
    }
    const BitFormat bits = format->GetBitFormat();
    auto t = GLTexture::Create(device_, bits, format->GetWidth(), format->GetHeight());
    if (!t) return 1;
    if (planes && planes[0]) {
        // Host pixels must have the texture's sample size: 8-bit BGRA (3, 4) or 16-bit BGRA (9).
        const bool eight = pixelFormat == 3 || pixelFormat == 4;
        const bool layoutOk = pixelFormat == 0 || (bits.kind == 2 ? eight : pixelFormat == 9);
        if (!layoutOk || !pitches || t->Upload(planes[0], pitches[0]) != 0) return 1;
    }
    *texture = t;
    return 0;
}

ResultCode OpenGLFactory::ATLUAcquire(AlgorithmUnitPtr* unit, const ImageFormat*, const ImageFormat*, const char* key,
                                      const char* platform) {
    if (!unit) return 1;
    unit->reset();
    if (!key || !IsOpenGL(platform)) return 1;
    std::shared_ptr<Program> program;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = programs_.find(key);
        if (it == programs_.end()) {
            ZRP_GL_LOG(4, "no program registered under %s", key);
            return 1;
        }
        program = it->second;
    }
    *unit = std::make_shared<GLAlgorithmUnit>(device_, program, key);
    return 0;
}

}  // namespace zrp
