// Rate-distortion choice of the coded AC values of a transform block. The
// coefficient coding spends a bit on every waiting position of an active
// group in every bit plane, so a small value can cost far more than it
// saves in error; here values are lowered (towards zero) wherever the bits
// saved outweigh the added squared error at the block's lambda.
#pragma once
#include <cstdint>

// F: the block's transform (ForwardDct scale); coef: values quantised to
// nearest (DC at 0 untouched). Lowers AC magnitudes in place; returns the
// bits WriteCoefficients will spend on the result.
uint32_t ChooseCoefficients(const double F[64], const uint32_t quant[64], double lambda, int16_t coef[64]);

// The bits WriteCoefficients spends on AC values whose bit lengths (list
// order, index 0 unused) are s: it depends on nothing else.
int CoefficientBits(const uint8_t s[64]);

// The bits WriteCoefficients spends on the AC values of coef (natural
// order), without writing them.
uint32_t CountCoefficientBits(const int16_t coef[64]);

// The bits of a residue (list order) coded through every pass to the end,
// as WriteResidue does under a limit it never reaches. The exact coding
// (limit ResidueChanges - 1) stops at its last change, so it spends at most
// this; least (may be null) receives a count it spends at least: every
// pass before the one that holds the last change, and that change's bit.
int ResidueWalkBits(const int8_t target[64], int* least = nullptr);
