// The "Obdelava" tab: the four conditioned signals over the analysis window, their statistics, column choice, conditioning parameters and data files.
#pragma once

#include <QWidget>

class TForm1;

class ProcessingPage : public QWidget {
  Q_OBJECT
 public:
  explicit ProcessingPage(TForm1& form);

  // The experiment's hand-over when it ends: the analysis window over the whole record,
  // columns 1, 3, 5, 6, the signals conditioned with this page's edits and redrawn.
  void ConditionAfterExperiment();
  // Start of the analysis window (ScrollBar3), as an automatic experiment sets it.
  void SetAnalysisWindowStart(int sample);

 private:
  TForm1& form_;
};
