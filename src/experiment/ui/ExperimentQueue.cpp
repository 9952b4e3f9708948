// The queue of automatic experiments on the "Eksperiment" tab.
#include "experiment/ui/ExperimentPage.h"

void ExperimentPage::QueueAutomaticExperiment() {}
