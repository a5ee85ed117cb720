int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }
