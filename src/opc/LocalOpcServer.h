// A server that the local OPC client reaches inside this process: what it offers
// (item IDs, access, ranges) and synchronous reads and writes by item ID.
// Called on the user-interface thread only, like the client over it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "opc/OpcClient.h"

struct LocalOpcItemInfo {
  bool Writable = false;
  // Engineering range for the percent dead band; no dead band when High <= Low.
  double Low = 0;
  double High = 0;
  OpcDataType Type = OpcDataType::Double;
};

class LocalOpcServer {
 public:
  virtual ~LocalOpcServer() = default;
  virtual OpcServerState State() const = 0;
  // Every item ID the server offers, hierarchical parts separated by ".".
  virtual std::vector<std::string> ItemIds() const = 0;
  // Nothing for an ID the server does not know.
  virtual std::optional<LocalOpcItemInfo> Find(const std::string& itemId) const = 0;
  // The present value of a known item.
  virtual double Read(const std::string& itemId) = 0;
  // false when the server rejects the write (unknown or read-only item, a value that is
  // not finite or that the item's type does not hold).
  virtual bool Write(const std::string& itemId, double value) = 0;
};
