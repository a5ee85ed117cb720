#version 120
#extension GL_EXT_gpu_shader4 : enable
// Spectrum bars along the bottom of the picture: "bar_count" bars (48 when unset) over the lower
// half of the spectrum ("audio_tex", where voices and instruments are), each as tall as its band
// is loud (see Height) times "bar_gain" (1.5 when unset), up to 80% of the picture, green at the
// foot and red at the top, brighter as the frame gets louder ("audio_left_db"). Opaque bars are added to the
// picture by the blend; everywhere else the picture shows through unchanged.
uniform sampler2D audio_tex;
uniform vec2 iResolution;
uniform float audio_left_db;
uniform float bar_count;
uniform float bar_gain;

// Band bytes run from -150 dB (0) to 0 dB (1); the 16-bit noise floor sits near 0.15 and
// broadband sound near 0.7. Levels above 0.25 rise quadratically so that loud bands stand out.
float Height(float level, float gain) {
    float h = max(level - 0.25, 0.0) / 0.75;
    return min(h * h * gain, 1.0);
}

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    float bars = bar_count >= 1.0 ? floor(bar_count) : 48.0;
    float gain = bar_gain > 0.0 ? bar_gain : 1.5;
    float bar = floor(uv.x * bars);
    float across = fract(uv.x * bars);
    float level = texture2D(audio_tex, vec2((bar + 0.5) / bars * 0.5, 0.5)).r;
    float height = Height(level, gain) * 0.8;
    float up = 1.0 - uv.y;  // uv.y is 0 on the top row
    if (across < 0.15 || across > 0.85 || up >= height) {
        gl_FragColor = vec4(0.0);
        return;
    }
    float pulse = 0.6 + 0.4 * clamp((audio_left_db - 50.0) / 80.0, 0.0, 1.0);
    vec3 colour = mix(vec3(0.1, 0.9, 0.3), vec3(1.0, 0.15, 0.1), up / 0.8);
    gl_FragColor = vec4(colour * pulse, 1.0);
}
