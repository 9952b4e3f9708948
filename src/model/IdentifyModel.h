// model/ identifies first-order and integrating process models from a record, fits the live
// model during a run and keeps the model file. Its ui/ holds the model tab.
//
// The identification behind "Izračun modela" and the automatic chain: level removal over
// the analysis window, both models into the store, the quality classes and the check that
// the sampling is fine enough for the identified models.
#pragma once

#include "data/MeasurementStore.h"

// Shown in the main window's status bar when the sampling is too sparse for a model.
inline constexpr const char* SamplingWarningText = "Opozorilo: Vzorčenje je preredko";

// Identifies both models over samples start..end of the conditioned signals: sets
// ModelWindowSamples, the window arrays, the fourteen model values and the delay counts.
// Throws std::invalid_argument for a window outside 1..MaxSamples or of fewer than two
// samples.
void IdentifyModel(MeasurementStore& store, int start, int end);

// A model typed in by the engineer ("Uporabi model"): the gain, time constant and dead time
// of the inner or the outer model, its response over the model window and its standard
// deviation and relative error. Bounds and delay counts stay as they were.
void ApplyModelParameters(MeasurementStore& store, bool outer, double gain, double timeConstant,
                          double deadTime);

enum class ModelQuality { VeryGood, Good, Poor, Bad };

// r < 0.01 very good, r < 0.05 good, r < 0.12 poor, otherwise bad.
ModelQuality QualityOf(double relativeError);
// "Zelo dobra", "Dobra", "Slabsa", "Slaba".
const char* QualityText(ModelQuality quality);

// True when three sample times reach the time constant plus dead time (rounded to whole
// seconds) of the inner or the outer model; the outer one is left out for a record
// without Y2 (Y2 the same samples as Y1 over the model window, or fewer than six columns
// and an empty outer model).
bool SamplingTooSparse(const MeasurementStore& store);

// Dead time in samples, rounded to the nearest integer (the dead time itself when ts = 0).
int DelaySamples(double deadTime, double ts);
