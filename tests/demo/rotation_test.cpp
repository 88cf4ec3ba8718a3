// Euler angles to quaternion to matrix, against worked figures and against
// the product of the single-axis rotations.
#include <gtest/gtest.h>

#include <cmath>

#include "math/rotation.h"

namespace {

std::vector<double> Map(const Matrix4& m, std::vector<double> p) {   // row vector times m
    std::vector<double> out(3);
    for (int c = 0; c < 3; c++) out[size_t(c)] = p[0] * m.m[c] + p[1] * m.m[4 + c] + p[2] * m.m[8 + c] + m.m[12 + c];
    return out;
}

void ExpectNear(const std::vector<double>& a, const std::vector<double>& b, double tol) {
    for (size_t i = 0; i < b.size(); i++) EXPECT_NEAR(a[i], b[i], tol) << i;
}

}   // namespace

TEST(Rotation, WorkedFigures) {
    const double c = 0.87758, s = 0.47943, qs = 0.24740, qc = 0.96891;
    struct Case {
        float yaw, pitch, roll;
        std::vector<double> q, m;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, {0, 0, 0, 1}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {0.5f, 0, 0, {0, qs, 0, qc}, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}},
        {0, 0.5f, 0, {qs, 0, 0, qc}, {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}},
        {0, 0, 0.5f, {0, 0, qs, qc}, {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {0.5f,
         0.25f,
         1.0f,
         {0.22370, 0.15751, 0.43383, 0.85845},
         {0.57397, 0.81531, -0.07634, 0, -0.67437, 0.52351, 0.52073, 0, 0.46452, -0.24740, 0.85030, 0, 0, 0, 0, 1}}};
    for (const Case& k : cases) {
        Quaternion q;
        Matrix4 m;
        EulerToQuaternion(q, k.yaw, k.pitch, k.roll);
        ExpectNear({q.x, q.y, q.z, q.w}, k.q, 1e-5);
        EulerToMatrix(m, k.yaw, k.pitch, k.roll);
        ExpectNear(std::vector<double>(m.m, m.m + 16), k.m, 1e-5);
        if (k.roll == 1.0f) ExpectNear(Map(m, {1, 2, 3}), {0.61878, 1.12011, 3.51603}, 1e-5);
    }
    Matrix4 m;
    const float quarter = 1.5707964f;
    ExpectNear(Map(EulerToMatrix(m, quarter, 0, 0), {1, 0, 0}), {0, 0, -1}, 1e-6);
    ExpectNear(Map(EulerToMatrix(m, 0, 0, quarter), {1, 0, 0}), {0, 1, 0}, 1e-6);
    ExpectNear(Map(EulerToMatrix(m, 0, quarter, 0), {0, 1, 0}), {0, 0, 1}, 1e-6);
}

TEST(Rotation, AxisProductAndFullTurns) {
    // Rz(roll) first, then Rx(pitch), then Ry(yaw), on row vectors.
    for (int n = 0; n < 50; n++) {
        const float yaw = 0.37f * n - 7, pitch = 0.61f * n - 11, roll = 5 - 0.23f * n;
        Matrix4 m, turned;
        const double p[3] = {1.5, -2.0, 0.75};
        const double a[3] = {p[0] * std::cos(roll) - p[1] * std::sin(roll),
                             p[0] * std::sin(roll) + p[1] * std::cos(roll), p[2]};
        const double b[3] = {a[0], a[1] * std::cos(pitch) - a[2] * std::sin(pitch),
                             a[1] * std::sin(pitch) + a[2] * std::cos(pitch)};
        ExpectNear(Map(EulerToMatrix(m, yaw, pitch, roll), {p[0], p[1], p[2]}),
                   {b[0] * std::cos(yaw) + b[2] * std::sin(yaw), b[1], -b[0] * std::sin(yaw) + b[2] * std::cos(yaw)},
                   1e-5);
        // A full turn of one angle negates the quaternion and keeps the matrix.
        Quaternion q1, q2;
        EulerToQuaternion(q1, yaw, pitch, roll);
        EulerToQuaternion(q2, yaw, pitch + 6.2831853f, roll);
        ExpectNear({q2.x, q2.y, q2.z, q2.w}, {-q1.x, -q1.y, -q1.z, -q1.w}, 1e-5);
        EulerToMatrix(turned, yaw, pitch + 6.2831853f, roll);
        ExpectNear(std::vector<double>(turned.m, turned.m + 16), std::vector<double>(m.m, m.m + 16), 1e-5);
    }
}
