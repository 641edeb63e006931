// SPDX-License-Identifier: MIT
// The AArch64 vocabularies of the vector kernels: 4 float or 2 double lanes
// of Advanced SIMD, which every AArch64 CPU has. The operations are those of
// vec_x86.h; mul_add and mul_sub are fused. KERNEL_VECTORS is half the 32
// registers: with 32 vectors a block of the first kernel, GCC 12 kept a
// fifth of its instructions on the stack (its addresses take registers of
// their own here), against a tenth with 16 and on x86. Not timed on
// AArch64 hardware.

#ifndef QUARN_DETAIL_VEC_NEON_H
#define QUARN_DETAIL_VEC_NEON_H

#if defined (__aarch64__) && defined (__ARM_NEON)

#include <arm_neon.h>

namespace quarn::detail
{

struct NeonD
{
    using Scalar = double;
    static constexpr int W = 2;
    static constexpr int KERNEL_VECTORS = 16;
    float64x2_t v;

    static NeonD load (const double *p) { return { vld1q_f64 (p) }; }
    void store (double *p) const { vst1q_f64 (p, v); }
    static NeonD splat (double x) { return { vdupq_n_f64 (x) }; }

    friend NeonD operator + (const NeonD &a, const NeonD &b) { return { vaddq_f64 (a.v, b.v) }; }
    friend NeonD operator - (const NeonD &a, const NeonD &b) { return { vsubq_f64 (a.v, b.v) }; }
    friend NeonD operator * (const NeonD &a, const NeonD &b) { return { vmulq_f64 (a.v, b.v) }; }
    friend NeonD mul_add (const NeonD &a, const NeonD &b, const NeonD &c) { return { vfmaq_f64 (c.v, a.v, b.v) }; }
    friend NeonD mul_sub (const NeonD &a, const NeonD &b, const NeonD &c) { return { vfmaq_f64 (vnegq_f64 (c.v), a.v, b.v) }; }
    friend NeonD reverse (const NeonD &a) { return { vextq_f64 (a.v, a.v, 1) }; }

    static void transpose (NeonD r [2])
    {
        const float64x2_t t = vzip1q_f64 (r [0].v, r [1].v);
        r [1].v = vzip2q_f64 (r [0].v, r [1].v);
        r [0].v = t;
    }
};

struct NeonF
{
    using Scalar = float;
    using Double = NeonD;
    static constexpr int W = 4;
    static constexpr int KERNEL_VECTORS = 16;
    float32x4_t v;

    static NeonF load (const float *p) { return { vld1q_f32 (p) }; }
    void store (float *p) const { vst1q_f32 (p, v); }
    static NeonF splat (float x) { return { vdupq_n_f32 (x) }; }

    friend NeonF operator + (const NeonF &a, const NeonF &b) { return { vaddq_f32 (a.v, b.v) }; }
    friend NeonF operator - (const NeonF &a, const NeonF &b) { return { vsubq_f32 (a.v, b.v) }; }
    friend NeonF operator * (const NeonF &a, const NeonF &b) { return { vmulq_f32 (a.v, b.v) }; }
    friend NeonF mul_add (const NeonF &a, const NeonF &b, const NeonF &c) { return { vfmaq_f32 (c.v, a.v, b.v) }; }
    friend NeonF mul_sub (const NeonF &a, const NeonF &b, const NeonF &c) { return { vfmaq_f32 (vnegq_f32 (c.v), a.v, b.v) }; }

    friend NeonF reverse (const NeonF &a)
    {
        const float32x4_t t = vrev64q_f32 (a.v);      // 1 0 3 2
        return { vextq_f32 (t, t, 2) };               // 3 2 1 0
    }

    static void transpose (NeonF r [4])
    {
        const float32x4x2_t a = vtrnq_f32 (r [0].v, r [1].v);
        const float32x4x2_t b = vtrnq_f32 (r [2].v, r [3].v);
        r [0].v = vcombine_f32 (vget_low_f32 (a.val [0]), vget_low_f32 (b.val [0]));
        r [1].v = vcombine_f32 (vget_low_f32 (a.val [1]), vget_low_f32 (b.val [1]));
        r [2].v = vcombine_f32 (vget_high_f32 (a.val [0]), vget_high_f32 (b.val [0]));
        r [3].v = vcombine_f32 (vget_high_f32 (a.val [1]), vget_high_f32 (b.val [1]));
    }

    static NeonF from_doubles (const NeonD &lo, const NeonD &hi)
    {
        return { vcombine_f32 (vcvt_f32_f64 (lo.v), vcvt_f32_f64 (hi.v)) };
    }
};

}  // namespace quarn::detail

#endif  // AArch64

#endif  // QUARN_DETAIL_VEC_NEON_H
