// The live model's part in a run: its forecast of Y1 against the safety envelope's limits,
// and the steps of an automatic run that ended before their set duration (the response
// settled, or the forecast would have crossed a limit), as the record tells them.
#pragma once

#include <optional>
#include <string>

#include "model/LiveModel.h"

// Where the live model's forecast of Y1 reaches a limit of the envelope.
struct LimitForecast {
  bool High = true;  // the high limit (else the low one)
  double Limit = 0;
  double At = 0;  // s, the record's time of the crossing
  double In = 0;  // s from the sample it was judged on
};

// The first limit of Y1 that the fit's forecast (the input held as it is) reaches within
// `horizon` seconds of `now` (s, the last sample's time); none when it stays inside, when
// Y1 has no limit, or the fit describes no response.
std::optional<LimitForecast> ForecastY1Limit(const LiveModelFit& fit, std::optional<double> low,
                                             std::optional<double> high, double now,
                                             double horizon);
// "Y1 bo po napovedi dosegel mejo 85,0 čez ≈ 40 s": whole seconds from 10 s on, tenths
// below.
std::string LimitForecastText(const LimitForecast& forecast, char separator);

// A step of an automatic run that ended before its set duration.
struct EarlyStepEnd {
  int Step = 0;            // of the sequence, 1 the first
  double Time = 0;         // s, when the next phase began
  double Lasted = 0;       // s, how long the step lasted
  double SetDuration = 0;  // s
  double SettledAt = 0;    // s, the live model's judgement that the response had settled
  // The step ended before the forecast crossing of a limit (and the sequence with it).
  std::optional<LimitForecast> Forecast;
};

// The record's line of an early end: "Stopnica 2 je končana predčasno pri 95,0 s (po 45,0 s
// od 120,0 s): odziv se je umiril pri 93,0 s." or, before a forecast crossing, "… (po 11,0 s
// od 120,0 s), ker bi Y1 po napovedi čez ≈ 12 s dosegel mejo 85,0; zaporedje stopnic je
// končano, MV je vrnjen na začetno vrednost."
std::string EarlyStepEndText(const EarlyStepEnd& end, char separator);

// The shortest time a step lasts before the live model's judgement may end it: a quarter of
// its set duration.
double MinimumStepTime(double stepDuration);
