// The item browser's reading of a server: a level of the tree with the facts of its items
// (data type, access, present value), and the levels below it that the engineer had open,
// read in one go so that the browser opens where it was left.
#pragma once

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "opc/OpcClient.h"

struct OpcBrowseLevel {
  std::string BranchId;  // "" the top
  std::vector<OpcBrowseNode> Nodes;
  std::vector<OpcItemFacts> Facts;    // by node; Unknown for a branch that is no item
  std::vector<OpcBrowseLevel> Below;  // the open branches among Nodes, read too
};

// At most this many levels are read in one go (a reference loop, a tree opened wide).
inline constexpr int MaxOpenLevelsRead = 64;

// Reads the entries under branchId and their facts (one DescribeItems for the level), then
// the same for each entry whose branch ID is in `open`, depth first, each branch once and
// at most MaxOpenLevelsRead levels. Stops before the next level once `cancelled` is set.
// Throws what the client throws (a lost link).
OpcBrowseLevel ReadBrowseLevel(OpcClient& client, const std::string& branchId,
                               const std::set<std::string>& open,
                               const std::atomic<bool>* cancelled = nullptr);
