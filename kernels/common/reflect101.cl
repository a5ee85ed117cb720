// The index of a reflect-101 border (dcb|abcd|cba).
int reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
}
