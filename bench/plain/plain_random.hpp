// The generator as the straightforward programs have it: function-level
// statics, single precision, initialised by the first call.
#include <cstdio>
#include <cstdlib>

static float Random(long long seed)
{
    static float u[98];
    static float c;
    static float cd;
    static float cm;
    static int ui;
    static int uj;
    static int first = 0;
    if (first == 0 || seed != 0) {
        printf("initializing the Random generator\n");
        if (seed < 0 || seed > 900000000) {
            exit(1);
        }
        int ij = static_cast<int>(seed / 30082);
        int kl = static_cast<int>(seed - 30082LL * ij);
        int i = (ij / 177) % 177 + 2;
        int j = ij % 177 + 2;
        int k = (kl / 169) % 178 + 1;
        int l = kl % 169;
        for (int ii = 1; ii <= 97; ii++) {
            float s = 0.0f;
            float t = 0.5f;
            for (int jj = 0; jj < 24; jj++) {
                int m = (((i * j) % 179) * k) % 179;
                i = j;
                j = k;
                k = m;
                l = (53 * l + 1) % 169;
                if ((l * m) % 64 >= 32) {
                    s = s + t;
                }
                t = t * 0.5f;
            }
            u[ii] = s;
        }
        c = 362436.0f / 16777216.0f;
        cd = 7654321.0f / 16777216.0f;
        cm = 16777213.0f / 16777216.0f;
        ui = 97;
        uj = 33;
        first = 1;
    }
    float uni = u[ui] - u[uj];
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    u[ui] = uni;
    ui = ui - 1;
    if (ui == 0) {
        ui = 97;
    }
    uj = uj - 1;
    if (uj == 0) {
        uj = 97;
    }
    c = c - cd;
    if (c < 0.0f) {
        c = c + cm;
    }
    uni = uni - c;
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    return uni;
}

struct Point3 {
    double x;
    double y;
    double z;
};

static void draw_point(Point3& p)
{
    p.x = static_cast<double>(Random(0));
    p.y = static_cast<double>(Random(0));
    p.z = static_cast<double>(Random(0));
}
