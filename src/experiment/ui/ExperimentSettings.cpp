// The experiment settings file on the "Eksperiment" tab: save, load and apply.
#include "app/TForm1.h"
#include "experiment/ui/ExperimentPage.h"

void ExperimentPage::ShraniNastavitveClick() {}

void ExperimentPage::NaloziNastavitveClick() {}

void ExperimentPage::LoadSettingsFromList(const std::vector<std::string>&) {}
