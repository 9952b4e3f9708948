#include <QAreaSeries>
#include <QChart>
#include <QLineSeries>
#include <QtTest/QTest>

#include "charts/VorChart.h"
#include "data/Histogram.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "support/AppFixture.h"

using SignalWindows = AppFixture;

TEST_F(SignalWindows, HaveTheirSizesTitlesAndGradients) {
  TForm_Histogram& h = *windows.Histogram;
  EXPECT_EQ(h.size(), QSize(413, 262));
  EXPECT_EQ(h.minimumSize(), h.maximumSize());  // not resizable
  EXPECT_EQ(h.Chart1->size(), QSize(400, 250));
  EXPECT_TRUE(h.Chart1->GradientVisible());
  EXPECT_EQ(h.Chart1->chart()->titleFont().family(), "Comic Sans MS");
  EXPECT_EQ(ColorFromBgr(TForm_Histogram::GradientEndBgr), QColor(0x0D, 0xB0, 0xFF));

  TForm_Obdelava_Large& l = *windows.ObdelavaLarge;
  EXPECT_EQ(l.size(), QSize(599, 451));
  EXPECT_EQ(l.Chart1->size(), QSize(577, 409));
  EXPECT_EQ(l.Chart1->Title(), QString::fromUtf8("Časovni prikaz signala"));
  EXPECT_TRUE(l.Chart1->GradientVisible());
  EXPECT_EQ(ColorFromBgr(TForm_Obdelava_Large::GradientStartBgr), QColor(0xBF, 0xE8, 0xFF));
  EXPECT_EQ(l.Series1->Color(), QColor(0, 0, 255));
  l.show();
  l.resize(800, 600);  // the chart grows with the window
  EXPECT_EQ(l.Chart1->size(), QSize(778, 558));
  l.close();
}

TEST_F(SignalWindows, TheLargeViewSpansTenPercentBeyondTheWindowsExtremes) {
  TForm_Obdelava_Large& l = *windows.ObdelavaLarge;
  SampleArray time{}, x{};
  for (int k = 1; k <= 50; ++k) {
    time[k] = k * 0.2;
    x[k] = 5;
  }
  l.PlotSignalLarge(time, x, 3, "Meritev 1", 40);
  EXPECT_EQ(l.Chart1->Title(), "Meritev 1");
  EXPECT_EQ(l.Series1->Count(), 38);
  EXPECT_DOUBLE_EQ(l.Chart1->LeftAxisMinimum(), 4.9);
  EXPECT_DOUBLE_EQ(l.Chart1->LeftAxisMaximum(), 5.1);
  // start >= end: no extremes, whatever the signal's value.
  l.PlotSignalLarge(time, x, 7, "Meritev 2", 7);
  EXPECT_EQ(l.Series1->Count(), 1);
  EXPECT_DOUBLE_EQ(l.Chart1->LeftAxisMinimum(), -0.1);
  EXPECT_DOUBLE_EQ(l.Chart1->LeftAxisMaximum(), 0.1);
}

TEST_F(SignalWindows, TheHistogramDrawsTwentyBarsAtTheLowerEdges) {
  MeasurementStore& s = Form().Store();
  SampleArray ramp{};
  for (int k = 1; k <= 100; ++k) ramp[k] = k - 1;
  const HistogramRange r = ComputeHistogram(s, ramp, 1, 100);
  TForm_Histogram& h = *windows.Histogram;
  h.PlotHistogram(s.HistogramLowerEdges, s.HistogramCounts, 1, "Histogram meritve 1", r.Maximum,
                  r.Minimum, 20);
  EXPECT_EQ(h.Chart1->Title(), "Histogram meritve 1");
  EXPECT_EQ(h.Chart1->BarCount(), 20);
  EXPECT_DOUBLE_EQ(h.Chart1->BottomAxisMinimum(), 0);
  // The bars are the chart's bar series, reachable by its name.
  ASSERT_NE(h.Series1, nullptr);
  EXPECT_EQ(h.Series1->objectName(), "Series1");
  EXPECT_TRUE(h.Chart1->chart()->series().contains(h.Series1));
  EXPECT_EQ(h.Series1->upperSeries()->count(), 4 * 20);  // four corners per bar

  // A constant signal: one bar with every sample, never a class outside 1..20.
  SampleArray flat{};
  flat.fill(5);
  const HistogramRange f = ComputeHistogram(s, flat, 1, 100);
  h.PlotHistogram(s.HistogramLowerEdges, s.HistogramCounts, 1, "Histogram meritve 2", f.Maximum,
                  f.Minimum, 20);
  EXPECT_EQ(h.Chart1->BarCount(), 20);
  EXPECT_DOUBLE_EQ(h.Chart1->BottomAxisMinimum(), 5);
  EXPECT_GE(h.Chart1->LeftAxisMaximum(), 100);
}
