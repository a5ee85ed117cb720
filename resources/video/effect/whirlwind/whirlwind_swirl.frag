#version 120
#extension GL_EXT_gpu_shader4 : enable
// Whirlwind, first pass: the picture turns around "anchor_point" (uv, 0,0 = top left), by an
// angle that is largest at the anchor and falls to nothing at the swirl's edge:
//   angle(r) = (3 + sin t) * (1 - r / R)^2,  R = 0.45 of the shorter side.
// Distances are measured in picture heights so the swirl stays round on any aspect.
uniform sampler2D background_tex;
uniform vec2 iResolution;
uniform vec2 anchor_point;
uniform float time_second;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    float aspect = iResolution.x / iResolution.y;
    vec2 d = uv - anchor_point;
    d.x *= aspect;
    float radius = 0.45 * min(aspect, 1.0);
    float r = length(d);
    if (r < radius) {
        float f = 1.0 - r / radius;
        float angle = (3.0 + sin(time_second)) * f * f;
        float c = cos(angle);
        float s = sin(angle);
        d = vec2(c * d.x - s * d.y, s * d.x + c * d.y);
    }
    d.x /= aspect;
    gl_FragColor = texture2D(background_tex, anchor_point + d);
}
