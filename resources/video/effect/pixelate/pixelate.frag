#version 120
#extension GL_EXT_gpu_shader4 : enable
// Pixelate: the picture as square blocks of "block_size" pixels (16 when unset), each block the
// colour of the pixel at its centre. Renders at full size: a scaled pass would soften the edges.
uniform sampler2D background_tex;
uniform vec2 iResolution;
uniform float block_size;

void main() {
    float size = block_size >= 1.0 ? floor(block_size) : 16.0;
    vec2 cell = floor(gl_FragCoord.xy / size);
    // The centre pixel of the block (or the last pixel of a block cut by the picture's edge),
    // sampled at its texel centre so that the colour is exact.
    vec2 centre = min(floor(cell * size + 0.5 * size), iResolution - 1.0) + 0.5;
    gl_FragColor = texture2D(background_tex, centre / iResolution);
}
