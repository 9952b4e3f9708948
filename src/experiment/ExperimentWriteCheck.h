// Before an experiment writes anything to the plant (the controller's manual/automatic
// switch, the MV), every item it will write is checked through the plant write gate: no
// experiment runs with an MV or a switch it cannot write, and then nothing at all is
// written.
#pragma once

#include <string>
#include <vector>

#include "experiment/ExperimentRun.h"
#include "opc/PlantWriteGate.h"

// The writes a run with this setup makes: the switch to manual or automatic for the run
// and back after it, and the MV at its starting value. None when it only records.
std::vector<PlantWrite> ExperimentWrites(const ExperimentSetup& setup);

// "" when every write may go; else the window's message, naming the item and why:
// "Eksperiment ni začet: Točka »Plant.MV« (MV) je samo za branje. V obrat ni bilo nič
// zapisano."
std::string CheckExperimentWrites(const ExperimentSetup& setup, const PlantWriteContext& context,
                                  char separator);

// The message after the MV item did not become Good before a manual run: with no
// connection the program's own "Povezava z OPC streznikom ni vzpostavljena! …"; on a
// connection, what is wrong with the item ("Točka MV »Plant.Valve« ne obstaja na
// strežniku. …"), for the link is not at fault.
std::string MvUnreachableMessage(const OpcItem* mv, bool connected);
