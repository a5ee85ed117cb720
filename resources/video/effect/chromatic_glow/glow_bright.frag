#version 120
#extension GL_EXT_gpu_shader4 : enable
// Chromatic glow, first pass: keeps what is brighter than "glow_threshold" (0..1, 0.6 when
// unset), coloured by the gradient "gradient_color" at the pixel's luma when one is set, else by
// the pixel's own colour.
uniform sampler2D background_tex;
uniform sampler2D gradient_color_tex;
uniform int gradient_color_count;
uniform vec2 iResolution;
uniform float glow_threshold;

// The gradient's colour at t (0..1): stops hold the colour in rgb and the position in alpha.
vec3 gradient(float t) {
    int n = gradient_color_count;
    vec4 previous = texture2D(gradient_color_tex, vec2(0.5 / float(n), 0.5));
    if (t <= previous.a) return previous.rgb;
    for (int i = 1; i < 256; ++i) {
        if (i >= n) break;
        vec4 next = texture2D(gradient_color_tex, vec2((float(i) + 0.5) / float(n), 0.5));
        if (t <= next.a) return mix(previous.rgb, next.rgb, (t - previous.a) / max(next.a - previous.a, 1e-5));
        previous = next;
    }
    return previous.rgb;
}

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    vec4 c = texture2D(background_tex, uv);
    float threshold = glow_threshold > 0.0 ? glow_threshold : 0.6;
    float luma = dot(c.rgb, vec3(0.2126, 0.7152, 0.0722));
    float amount = smoothstep(threshold, min(threshold + 0.2, 1.0), luma) * c.a;
    vec3 tint = gradient_color_count > 0 ? gradient(luma) : c.rgb;
    gl_FragColor = vec4(tint * amount, 1.0);
}
