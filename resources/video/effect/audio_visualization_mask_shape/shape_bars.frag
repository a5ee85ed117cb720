#version 120
#extension GL_EXT_gpu_shader4 : enable
// Spectrum bars standing on the outline of the shape in the frame: one bar per point of
// "mask_point_tex" (x, y in uv, outward normal in z, w), pointing along the normal, as wide as
// "current_point_size" and as long as the point's band is loud (see Height) times "bar_gain"
// (1.5 when unset),
// up to "max_length" pixels of a 480-pixel shorter side (40 when unset). Bands go round the
// outline over the lower half of the spectrum, and so do the bar colours.
uniform sampler2D audio_tex;
uniform sampler2D mask_point_tex;
uniform vec2 iResolution;
uniform int points_count;
uniform float current_point_size;
uniform float available_region_x1;
uniform float available_region_x2;
uniform float available_region_y1;
uniform float available_region_y2;
uniform float max_length;
uniform float bar_gain;

vec3 hue(float h) {
    return clamp(abs(mod(h * 6.0 + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
}

// Band bytes run from -150 dB (0) to 0 dB (1); the 16-bit noise floor sits near 0.15 and
// broadband sound near 0.7. Levels above 0.25 rise quadratically so that loud bands stand out.
float Height(float level, float gain) {
    float h = max(level - 0.25, 0.0) / 0.75;
    return min(h * h * gain, 1.0);
}

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    gl_FragColor = vec4(0.0);
    if (points_count < 1 || uv.x < available_region_x1 || uv.x > available_region_x2 ||
        uv.y < available_region_y1 || uv.y > available_region_y2)
        return;
    // Lengths in units of the shorter side, so bars keep their shape on any aspect.
    vec2 scale = iResolution / min(iResolution.x, iResolution.y);
    vec2 p = uv * scale;
    float longest = (max_length > 0.0 ? max_length : 40.0) / 480.0;
    float halfWidth = max(0.5 * current_point_size, 0.002);
    float gain = bar_gain > 0.0 ? bar_gain : 1.5;
    float count = float(points_count);
    for (int i = 0; i < 8192; ++i) {
        if (i >= points_count) break;
        vec4 point = texture2D(mask_point_tex, vec2((float(i) + 0.5) / count, 0.5));
        vec2 d = p - point.xy * scale;
        float along = dot(d, point.zw);
        float across = abs(dot(d, vec2(-point.w, point.z)));
        if (along < 0.0 || across > halfWidth) continue;
        float where = (float(i) + 0.5) / count;
        float level = texture2D(audio_tex, vec2(where * 0.5, 0.5)).r;
        if (along <= Height(level, gain) * longest) {
            gl_FragColor = vec4(hue(where), 1.0);
            return;
        }
    }
}
