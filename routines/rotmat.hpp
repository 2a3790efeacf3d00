// Matrix elements of the rigid-rotor Hamiltonian H = X Jx^2 + Y Jy^2 + Z Jz^2
// in the symmetric-top basis |J K>, K the projection on the axis of Z.
#pragma once

namespace routines {

// Ladder coefficients: J+ |J k> = cplus(J, k) |J k+1>, J- |J k> = cminus(J, k) |J k-1>.
// Exactly zero where the step would leave -J..J.
double cplus(int j, int k);
double cminus(int j, int k);

// <J K| H |J K'>, with X and Y the constants of the axes perpendicular to the
// quantisation axis and Z that of the quantisation axis.
double rotmat(int j, int k, int kp, double x, double z, double y);

// The same element with the quantisation-axis constant first; it agrees with
// rotmat(j, k, kp, x, z, y) to the last few bits only, since the floating-point
// operations come in another order.
double rotma2(int j, int k, int kp, double z, double x, double y);

// Kronecker delta in integer arithmetic, min(i', j') / max(i', j') with
// i' = i + 1000, j' = j + 1000; defined for i, j >= -1000, not both -1000.
int kdel(int i, int j);

}  // namespace routines
