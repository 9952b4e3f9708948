// The item browser's tree of a client that lists its item IDs whole: branches are the
// dotted prefixes of the IDs.
#include <set>

#include "opc/OpcClient.h"

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
