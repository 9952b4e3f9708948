#include <gtest/gtest.h>

#include "data/TextFile.h"
#include "experiment/ExperimentQueue.h"

namespace {

LocalDateTime At(int day, int hour, int minute, int second = 0) {
  return {2026, 12, day, hour, minute, second};
}

QueuedExperiment Entry(const LocalDateTime& start, const std::string& label) {
  return {start, std::to_string(start.Hour) + ":00", label, "/poizkusi/" + label, {}, {}};
}

std::vector<std::string> Labels(const ExperimentQueue& q) {
  std::vector<std::string> labels;
  for (const QueuedExperiment& e : q.Entries()) labels.push_back(e.Label);
  return labels;
}

}  // namespace

TEST(ExperimentQueue, OrdersByStartAndKeepsEqualStartsInActivationOrder) {
  ExperimentQueue q;
  EXPECT_EQ(q.Insert(Entry(At(7, 10, 0), "prvi10")), 0u);
  EXPECT_EQ(q.Insert(Entry(At(7, 9, 0), "devet")), 0u);
  EXPECT_EQ(q.Insert(Entry(At(7, 10, 0), "drugi10")), 2u);
  EXPECT_EQ(Labels(q), (std::vector<std::string>{"devet", "prvi10", "drugi10"}));
  EXPECT_EQ(q.StartTexts(), (std::vector<std::string>{"9:00", "10:00", "10:00"}));
  // A later date comes after every time of an earlier one.
  q.Insert(Entry(At(8, 1, 0), "jutri"));
  q.Insert(Entry(At(6, 23, 0), "vceraj"));
  EXPECT_EQ(Labels(q), (std::vector<std::string>{"vceraj", "devet", "prvi10", "drugi10", "jutri"}));
}

TEST(ExperimentQueue, RemovingAnEntryKeepsTheOthersWithTheirOwnFoldersAndLabels) {
  ExperimentQueue q;
  q.Insert(Entry(At(7, 9, 0), "a"));
  q.Insert(Entry(At(7, 10, 0), "b"));
  q.Insert(Entry(At(7, 11, 0), "c"));
  q.Remove(1);
  ASSERT_EQ(q.Size(), 2u);
  EXPECT_EQ(q.Entries()[0].Label, "a");
  EXPECT_EQ(q.Entries()[0].Folder, "/poizkusi/a");
  EXPECT_EQ(q.Entries()[1].Label, "c");
  EXPECT_EQ(q.SettingsPath(1), "/poizkusi/c/c.vtx");
  QueuedExperiment dat = Entry(At(7, 12, 0), "d");
  dat.SavedPath = "/poizkusi/d/d.dat";  // saved under another extension
  q.Insert(dat);
  EXPECT_EQ(q.SettingsPath(2), "/poizkusi/d/d.dat");
  q.Remove(2);
  EXPECT_THROW(q.Remove(2), ListIndexError);
  q.Remove(0);
  q.Remove(0);
  EXPECT_TRUE(q.Empty());
  EXPECT_FALSE(q.HeadDue(At(31, 23, 59)));
  EXPECT_THROW(q.Head(), ListIndexError);
}

TEST(ExperimentQueue, TheHeadIsDueFromItsStartSecondOn) {
  ExperimentQueue q;
  q.Insert(Entry(At(7, 10, 0, 0), "a"));
  EXPECT_FALSE(q.HeadDue(At(7, 9, 59, 59)));
  EXPECT_TRUE(q.HeadDue(At(7, 10, 0, 0)));
  EXPECT_TRUE(q.HeadDue(At(8, 0, 0, 0)));
}

TEST(ExperimentQueue, AStartIsAcceptedOnlyAfterThePresentSecond) {
  const LocalDateTime now = At(7, 10, 0, 0);
  EXPECT_FALSE(StartIsAccepted(At(7, 10, 0, 0), now));  // this very second
  EXPECT_FALSE(StartIsAccepted(At(7, 9, 59, 59), now));
  EXPECT_TRUE(StartIsAccepted(At(7, 10, 0, 1), now));
  EXPECT_TRUE(StartIsAccepted(At(8, 0, 0, 0), now));    // a later day at any time
  EXPECT_FALSE(StartIsAccepted(At(6, 23, 0, 0), now));  // an earlier day at any time
}

TEST(ExperimentQueue, AStalledHeadSaysSoUntilTheQueueIsSetGoingAgain) {
  ExperimentQueue q;
  q.Insert(Entry(At(7, 10, 0), "a"));
  q.Insert(Entry(At(7, 11, 0), "b"));
  EXPECT_EQ(q.Stalled(), nullptr);
  q.MarkHeadStalled("Cannot open file /poizkusi/a/a.vtx");
  ASSERT_NE(q.Stalled(), nullptr);
  EXPECT_EQ(q.LabelTexts(), (std::vector<std::string>{"a (ustavljen)", "b"}));
  EXPECT_EQ(StalledQueueText(*q.Stalled()),
            "Čakalna vrsta je ustavljena pri eksperimentu \"a\" (10:00): Cannot open file "
            "/poizkusi/a/a.vtx");
  q.ClearStall();
  EXPECT_EQ(q.Stalled(), nullptr);
  EXPECT_EQ(q.LabelTexts(), (std::vector<std::string>{"a", "b"}));
}

TEST(ExperimentQueue, AnEntrySetAsideIsSkippedWhileOneThatHoldsTheQueueStopsIt) {
  ExperimentQueue q;
  q.Insert(Entry(At(7, 10, 0), "a"));
  q.Insert(Entry(At(7, 11, 0), "b"));
  q.MarkStalled(0, "datoteka nastavitev ne obstaja.", true);
  EXPECT_EQ(q.Stalled(), nullptr);
  EXPECT_EQ(q.DueEntry(At(7, 10, 30)), std::nullopt);  // b not yet due
  EXPECT_EQ(q.DueEntry(At(7, 11, 0)), 1u);
  EXPECT_EQ(q.LabelTexts(), (std::vector<std::string>{"a (ustavljen)", "b"}));
  q.MarkStalled(1, "korak \"poročilo\": predloga manjka", false);
  EXPECT_EQ(q.StalledIndex(), 1u);
  EXPECT_EQ(q.DueEntry(At(8, 0, 0)), std::nullopt);
  EXPECT_FALSE(q.HasWaiting());
  q.SetStalledAside();
  EXPECT_EQ(q.Stalled(), nullptr);
  q.Insert(Entry(At(7, 12, 0), "c"));
  EXPECT_EQ(q.DueEntry(At(7, 12, 0)), 2u);
}

TEST(ExperimentQueue, FileErrorsAreToldInTheProgramsLanguage) {
  EXPECT_EQ(QueueErrorText("Cannot open file \"/p/a.vtx\". No such file or directory"),
            "Datoteke \"/p/a.vtx\" ni mogoče odpreti: datoteka ali mapa ne obstaja.");
  EXPECT_EQ(QueueErrorText(
                "korak \"zapis\" (/p/a.vtd): Cannot create file \"/p/a.vtd\". Permission denied"),
            "korak \"zapis\" (/p/a.vtd): Datoteke \"/p/a.vtd\" ni mogoče ustvariti: dostop ni "
            "dovoljen.");
  EXPECT_EQ(QueueErrorText("Cannot create file \"/p/a.vtd\". Permission denied"),
            "Datoteke \"/p/a.vtd\" ni mogoče ustvariti: dostop ni dovoljen.");
  EXPECT_EQ(QueueErrorText("Predloga ne obstaja"), "Predloga ne obstaja");
}
