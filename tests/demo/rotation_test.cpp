// Euler angles to quaternion to matrix, against worked figures and against
// the product of the single-axis rotations.
#include <gtest/gtest.h>

#include <cmath>

#include "math/rotation.h"

namespace {

void ExpectQuat(const Quaternion& q, double x, double y, double z, double w) {
    EXPECT_NEAR(q.x, x, 1e-5);
    EXPECT_NEAR(q.y, y, 1e-5);
    EXPECT_NEAR(q.z, z, 1e-5);
    EXPECT_NEAR(q.w, w, 1e-5);
}

// Row vector times the matrix, translation row included.
void Map(const Matrix4& m, const double p[3], double out[3]) {
    for (int c = 0; c < 3; c++) out[c] = p[0] * m.m[c] + p[1] * m.m[4 + c] + p[2] * m.m[8 + c] + m.m[12 + c];
}

}  // namespace

TEST(Rotation, WorkedFigures) {
    Quaternion q;
    Matrix4 m;
    ExpectQuat(EulerToQuaternion(q, 0, 0, 0), 0, 0, 0, 1);
    EulerToMatrix(m, 0, 0, 0);
    for (int i = 0; i < 16; i++) EXPECT_EQ(m.m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;

    // One angle of 0.5 at a time: the cosine on the two other axes' diagonal.
    const double c = 0.87758, s = 0.47943;
    ExpectQuat(EulerToQuaternion(q, 0.5f, 0, 0), 0, 0.24740, 0, 0.96891);
    EulerToMatrix(m, 0.5f, 0, 0);
    const double yaw[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    ExpectQuat(EulerToQuaternion(q, 0, 0.5f, 0), 0.24740, 0, 0, 0.96891);
    Matrix4 mp;
    EulerToMatrix(mp, 0, 0.5f, 0);
    const double pitch[16] = {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
    ExpectQuat(EulerToQuaternion(q, 0, 0, 0.5f), 0, 0, 0.24740, 0.96891);
    Matrix4 mr;
    EulerToMatrix(mr, 0, 0, 0.5f);
    const double roll[16] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; i++) {
        EXPECT_NEAR(m.m[i], yaw[i], 1e-5) << i;
        EXPECT_NEAR(mp.m[i], pitch[i], 1e-5) << i;
        EXPECT_NEAR(mr.m[i], roll[i], 1e-5) << i;
    }

    ExpectQuat(EulerToQuaternion(q, 0.5f, 0.25f, 1.0f), 0.22370, 0.15751, 0.43383, 0.85845);
    EulerToMatrix(m, 0.5f, 0.25f, 1.0f);
    const double rows[12] = {0.57397, 0.81531, -0.07634, 0, -0.67437, 0.52351, 0.52073, 0,
                             0.46452, -0.24740, 0.85030, 0};
    for (int i = 0; i < 12; i++) EXPECT_NEAR(m.m[i], rows[i], 1e-5) << i;
    const double p[3] = {1, 2, 3};
    double out[3];
    Map(m, p, out);
    EXPECT_NEAR(out[0], 0.61878, 1e-5);
    EXPECT_NEAR(out[1], 1.12011, 1e-5);
    EXPECT_NEAR(out[2], 3.51603, 1e-5);

    const float half = 1.5707964f;
    const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0};
    struct Turn { float yaw, pitch, roll; const double* from; double to[3]; };
    for (const Turn& t : {Turn{half, 0, 0, x, {0, 0, -1}}, Turn{0, 0, half, x, {0, 1, 0}},
                          Turn{0, half, 0, y, {0, 0, 1}}}) {
        Map(EulerToMatrix(m, t.yaw, t.pitch, t.roll), t.from, out);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(out[k], t.to[k], 1e-6);
    }
}

TEST(Rotation, MatchesAxisProductAndFullTurns) {
    // Rz(roll), then Rx(pitch), then Ry(yaw), applied to row vectors.
    for (int n = 0; n < 50; n++) {
        const float yaw = 0.37f * n - 7, pitch = 0.61f * n - 11, roll = 5 - 0.23f * n;
        Matrix4 m;
        EulerToMatrix(m, yaw, pitch, roll);
        const double p[3] = {1.5, -2.0, 0.75};
        double a[3] = {p[0] * std::cos(roll) - p[1] * std::sin(roll),
                       p[0] * std::sin(roll) + p[1] * std::cos(roll), p[2]};
        double b[3] = {a[0], a[1] * std::cos(pitch) - a[2] * std::sin(pitch),
                       a[1] * std::sin(pitch) + a[2] * std::cos(pitch)};
        double c[3] = {b[0] * std::cos(yaw) + b[2] * std::sin(yaw), b[1],
                       -b[0] * std::sin(yaw) + b[2] * std::cos(yaw)};
        double out[3];
        Map(m, p, out);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(out[k], c[k], 1e-5) << n;

        // A full turn on one angle negates the quaternion, not the matrix.
        Quaternion q1, q2;
        Matrix4 m2;
        EulerToQuaternion(q1, yaw, pitch, roll);
        EulerToQuaternion(q2, yaw, pitch + 6.2831853f, roll);
        ExpectQuat(q2, -q1.x, -q1.y, -q1.z, -q1.w);
        EulerToMatrix(m2, yaw, pitch + 6.2831853f, roll);
        for (int i = 0; i < 16; i++) EXPECT_NEAR(m2.m[i], m.m[i], 1e-5);
    }
}
