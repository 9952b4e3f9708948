// The "Obdelava" tab: the four conditioned signals over the analysis window, their statistics, column choice, conditioning parameters and data files.
#pragma once

#include <QString>
#include <QWidget>

#include "data/MeasurementStore.h"

class Workspace;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QGroupBox;
class VorChart;
class ChartSeries;
struct AnalysisWindow;
struct DataFileTexts;
struct Conditioning;
struct SignalColumns;

class ProcessingPage : public QWidget {
  Q_OBJECT
 public:
  explicit ProcessingPage(Workspace& form);

  // The experiment's hand-over when it ends: the analysis window over the whole record,
  // columns 1, 3, 5, 6, the signals conditioned with this page's edits and redrawn.
  void ConditionAfterExperiment();
  // Start of the analysis window (ScrollBar3), as an automatic experiment sets it.
  void SetAnalysisWindowStart(int sample);

  // Writes the store's record with this page's window, columns, conditioning numbers
  // and descriptions as a ".vtd" file, dated now (the save button and the automatic
  // experiment's chain).
  void SaveDataFile(const QString& fileName);

  // Handlers.
  void UporabiFilterClick();      // "Uporabi filter in omejitve"
  void NaloziIzDatotekeClick();   // "Naloži iz datoteke"; an export through "Naloži podatke"
  void ShraniVDatotekoClick();     // "Shrani v datoteko"
  void IzracunModelaClick();      // "Izračun modela": the model page identifies
  void ScrollBar_MVChange();
  void ScrollBar1Change();
  void ScrollBar2Change();
  void ScrollBar5Change();
  void ScrollBar3Change();
  void ScrollBar4Change();
  void Chart_MVContextPopup();
  void Chart_UContextPopup();
  void Chart_YContextPopup();
  void Chart2ContextPopup();
  void Chart_MVDblClick();
  void Chart_UDblClick();
  void Chart_YDblClick();
  void Chart2DblClick();

  // The plot routines: the conditioned signal over samples from..to against time, its
  // statistics, and a fixed left axis 10 % beyond its extremes.
  void PlotMV(int from, int to);
  void PlotU(int from, int to);
  void PlotY1(int from, int to);
  void PlotY2(int from, int to);
  // All four over the present window.
  void RedrawSignals();

  // Charts and their series (top to bottom: MV, U, Y1, Y2).
  VorChart* Chart_MV = nullptr;
  VorChart* Chart_U = nullptr;
  VorChart* Chart_Y = nullptr;
  VorChart* Chart2 = nullptr;
  ChartSeries* LineSeries6 = nullptr;
  ChartSeries* Series1 = nullptr;
  ChartSeries* Series2 = nullptr;
  ChartSeries* LineSeries5 = nullptr;

  // Statistics over the window ("Maks:", "Min:", "STD:").
  QLabel *Label_MaksMV1 = nullptr, *Label_MinMV1 = nullptr, *Label_STDMV1 = nullptr;
  QLabel *Label_MaksU1 = nullptr, *Label_MinU1 = nullptr, *Label_STDU1 = nullptr;
  QLabel *Label_MaksY1 = nullptr, *Label_MinY1 = nullptr, *Label_STDY1 = nullptr;
  QLabel *Label_MaksY2 = nullptr, *Label_MinY2 = nullptr, *Label_STDY2 = nullptr;

  // Column choice of MV, U, Y1, Y2 with their column numbers and descriptions.
  QGroupBox* GroupBox_Stolpci = nullptr;
  QScrollBar *ScrollBar_MV = nullptr, *ScrollBar1 = nullptr, *ScrollBar2 = nullptr,
             *ScrollBar5 = nullptr;
  QLineEdit *Edit_Stolpec_MV = nullptr, *Edit_Stolpec_U = nullptr, *Edit_Stolpec_Y = nullptr,
            *Edit_Stolpec_Y1 = nullptr;
  QLabel *Label_MVDescription = nullptr, *Label22 = nullptr, *Label20 = nullptr,
         *Label68 = nullptr;

  // The analysis window: "Začetek poizkusa" and "Konec poizkusa".
  QScrollBar* ScrollBar3 = nullptr;
  QScrollBar* ScrollBar4 = nullptr;
  QLabel* Label_Zacetek = nullptr;  // the start's sample number and time
  QLabel* Label_Konec = nullptr;

  // "Podatki o eksperimentu".
  QGroupBox* GroupBox_Podatki = nullptr;
  QLabel *Label_Ura = nullptr, *Label_Datum = nullptr, *Label_Ts = nullptr, *Label_Ns = nullptr,
         *Label_Ime = nullptr;

  // "Filtriranje signalov" and "Omejitve izvršnih členov".
  QGroupBox* GroupBox_Filter = nullptr;
  QGroupBox* GroupBox_Omejitve = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLineEdit* Edit_Actuator_Maximum = nullptr;
  QLineEdit* Edit_Actuator_Minimum = nullptr;
  QLineEdit* Edit_Actuator_Velocity = nullptr;

  QPushButton* Button_UporabiFilter = nullptr;
  QPushButton* Button_NaloziIzDatoteke = nullptr;
  QPushButton* Button_ShraniVDatoteko = nullptr;
  QPushButton* Button_IzracunModela = nullptr;

 private:
  void BuildCharts();
  void BuildColumnChoice();
  void BuildWindowAndData();
  void BuildConditioning();

  Conditioning ReadConditioning() const;
  SignalColumns SelectedColumns() const;
  // Sets the selectors (signals blocked) and their number labels.
  void ApplyWindow(const AnalysisWindow& window);
  // Re-fits the window after one selector moved, and redraws.
  void WindowChanged();
  // The four column selectors over 1..columnCount at MV, U, Y1, Y2 (kept in range),
  // with their edits and descriptions; no conditioning.
  void SetColumnSelectors(int columnCount, const SignalColumns& columns);
  void ShowColumn(QScrollBar* selector, QLineEdit* edit, QLabel* description);
  void ColumnEditFinished(QScrollBar* selector, QLineEdit* edit);
  void PlotSignal(VorChart* chart, ChartSeries* series, const SampleArray& signal, QLabel* maxLabel,
                  QLabel* minLabel, QLabel* stdLabel, int from, int to);
  void ShowHistogram(const SampleArray& signal, const QString& title);
  void ShowLarge(const SampleArray& signal, const QString& title);
  // The load handler's display of a record just put into the store: selectors, window,
  // labels, edits, conditioning and charts.
  void ShowLoadedRecord(const DataFileTexts& texts, const QString& fileName);

  Workspace& form_;
};
