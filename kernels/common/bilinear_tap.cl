// One axis of the bit-exact bilinear resize: the effect computes each output index's first source
// index and weights (c0, c1) in 1/256 once per frame, as the image library does, so every device
// picks the CPU's samples.
int3 ResizeTap(__global const int4* taps, int val) { return taps[val].xyz; }
