// The delay sweep of the identification: every candidate dead time d = 0..n-2 of one
// model is fitted by least squares on signals filtered with one filter time and scored by
// the mean squared error of its simulated response.
#pragma once

#include <vector>

#include "data/MeasurementStore.h"
#include "model/TModel.h"

// Fills table[d+1] for d = 0..n-2 (table gets n entries, index 0 unused): the fit of
// yf = K*uf - T*ydot with input x delayed by d samples, both signals filtered with time
// constant filterTime, T clipped at 0, and the error of F(x; K, T, d*ts, 0) against
// measured. Gives exactly the numbers of filtering, fitting and simulating each candidate
// one by one (same operations in the same order), in about a tenth of the time: the
// delayed filtered input is the undelayed one shifted, and candidates of neighbouring
// delays run side by side in vector registers.
void SweepDelays(const SampleArray& x, const SampleArray& y, const SampleArray& measured, int n,
                 double ts, double filterTime, std::vector<Candidate>& table);

// The same sweep where only its best candidate matters: the smallest error over delays
// 0..n-3 (the first of equal ones) with its fit, and the fits of its two neighbours, are
// exactly those of SweepDelays; every other entry keeps its delay and an error that lies
// above the smallest (often only a part of its sum: a candidate stops once its error so
// far exceeds the best complete one), and its fit may be left empty. The block of the
// candidate delay hint (-1 for none) is scored first. Most candidates of a record whose
// step comes early stop within a few samples, which makes this several times faster.
void SweepDelaysForBest(const SampleArray& x, const SampleArray& y, const SampleArray& measured,
                        int n, double ts, double filterTime, int hint,
                        std::vector<Candidate>& table);

// The form of the sweep that runs: the processor's best (AVX2 where it has it), or the
// baseline one, which every processor runs. Both give the same numbers; tests and
// benchmarks force the baseline to check and time it.
enum class SweepKernel { Best, Baseline };
void ChooseSweepKernel(SweepKernel kernel);
bool Avx2Available();
