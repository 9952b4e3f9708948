// The item browser's tree of a client that lists its item IDs whole (branches are the
// dotted prefixes of the IDs), and its reading of a server level by level.
#include "opc/OpcBrowseTree.h"

#include <set>

std::vector<OpcBrowseNode> OpcClient::BrowseChildren(const std::string& branchId) {
  const std::string prefix = branchId.empty() ? "" : branchId + ".";
  std::vector<OpcBrowseNode> children;
  std::set<std::string> branches;
  for (const std::string& id : BrowseItemIds()) {
    if (id.rfind(prefix, 0) != 0 || id.size() == prefix.size()) continue;
    const std::string rest = id.substr(prefix.size());
    const std::size_t dot = rest.find('.');
    if (dot == std::string::npos) {
      children.push_back({rest, id, true, false});
    } else if (branches.insert(rest.substr(0, dot)).second) {
      children.push_back({rest.substr(0, dot), prefix + rest.substr(0, dot), false, true});
    }
  }
  return children;
}

std::vector<OpcItemFacts> OpcClient::DescribeItems(const std::vector<std::string>& itemIds) {
  return std::vector<OpcItemFacts>(itemIds.size());
}

const char* OpcAccessText(OpcAccess access) {
  switch (access) {
    case OpcAccess::ReadOnly:
      return "branje";
    case OpcAccess::ReadWrite:
      return "branje in pisanje";
    default:
      return "";
  }
}

namespace {

OpcBrowseLevel ReadLevel(OpcClient& client, const std::string& branchId,
                         const std::set<std::string>& open, std::set<std::string>& read,
                         int& levels, const std::atomic<bool>* cancelled) {
  OpcBrowseLevel level;
  level.BranchId = branchId;
  level.Nodes = client.BrowseChildren(branchId);
  ++levels;
  std::vector<std::string> items;
  for (const OpcBrowseNode& node : level.Nodes)
    if (node.IsItem) items.push_back(node.Id);
  const std::vector<OpcItemFacts> facts =
      items.empty() ? std::vector<OpcItemFacts>{} : client.DescribeItems(items);
  level.Facts.resize(level.Nodes.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < level.Nodes.size(); ++i)
    if (level.Nodes[i].IsItem && next < facts.size()) level.Facts[i] = facts[next++];
  for (const OpcBrowseNode& node : level.Nodes) {
    if (!node.HasChildren || !open.count(node.Id) || !read.insert(node.Id).second) continue;
    if (levels >= MaxOpenLevelsRead || (cancelled && *cancelled)) break;
    level.Below.push_back(ReadLevel(client, node.Id, open, read, levels, cancelled));
  }
  return level;
}

}  // namespace

OpcBrowseLevel ReadBrowseLevel(OpcClient& client, const std::string& branchId,
                               const std::set<std::string>& open,
                               const std::atomic<bool>* cancelled) {
  std::set<std::string> read{branchId};
  int levels = 0;
  return ReadLevel(client, branchId, open, read, levels, cancelled);
}
