#version 120
#extension GL_EXT_gpu_shader4 : enable
// Whirlwind, second pass: heat shimmer over the swirled picture ("whirlwind_tex"). Rows and
// columns wobble by up to "heat_distortion" percent of the picture, strongest near the anchor;
// 0 leaves the first pass as it is.
uniform sampler2D whirlwind_tex;
uniform vec2 iResolution;
uniform vec2 anchor_point;
uniform float time_second;
uniform float heat_distortion;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    float near = 1.0 - smoothstep(0.0, 0.6, distance(uv, anchor_point));
    vec2 wobble = vec2(sin(uv.y * 61.0 + time_second * 6.0), cos(uv.x * 47.0 + time_second * 5.0));
    vec2 offset = wobble * heat_distortion * 0.01 * near;
    gl_FragColor = texture2D(whirlwind_tex, uv + offset);
}
