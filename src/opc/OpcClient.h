// opc/ is the plant link: this client interface and its backends (OPC UA in ua/, the simulated
// plant, no server), the one write gate and its log. Its ui/ holds the OPC tab and the item
// browser.
//
// What the program needs of a plant connection: the OPC client component.
//
// Calling thread: every call is made on the user-interface thread; a backend that
// talks to the plant on threads of its own delivers values so that reads from the UI
// thread see a consistent latest value. No call blocks longer than a synchronous write.
//
// Call order: the program holds one OpcClient for the whole run. Groups are added
// once (before or after connecting) and live as long as the client. Items are added to
// a group by item ID at any time; while not connected, or for an unknown ID, an item
// reports a quality that is not Good. Connect drops any earlier connection first.
//
// What a call may change: Connect and Disconnect change IsConnected and ServerState
// and (Disconnect) fire the disconnect handler; Write changes the plant; RemoveAllItems
// detaches the group's items, which then report bad quality and ignore writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct UaConnectOptions;

// What the engineer chose for a server the last time it connected: the security
// ("auto", "none", "sign", "encrypt") and the user name (never a password).
struct OpcServerChoice {
  std::string Security = "auto";
  std::string User;
};

// Who the connected server is: its address (an OPC UA endpoint in one spelling, or the
// name of a server on this computer), and where the server says so, its application URI
// and, on a secured link, the SHA-1 thumbprint of its certificate. Two identities name the
// same server when all three agree.
struct OpcServerIdentity {
  std::string Endpoint;
  std::string ApplicationUri;
  std::string Thumbprint;
  bool operator==(const OpcServerIdentity&) const = default;
  bool Known() const { return !Endpoint.empty(); }
};

// OPC DA quality word: Good when both bits of this mask are set.
constexpr int OpcQualityGoodMask = 0xC0;
constexpr int OpcQualityGood = 0xC0;
constexpr int OpcQualityBad = 0x00;
inline bool IsGoodQuality(int quality) {
  return (quality & OpcQualityGoodMask) == OpcQualityGoodMask;
}

// OPC DA server states.
enum class OpcServerState { Unknown = 0, Running = 1, Failed = 2, NoConfig = 3, Suspended = 4, Test = 5 };

// An error the component raises: a connection that fails, a write the server rejects
// ("Cannot write Items: ..." naming the items), a group name in use.
class OpcError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether this user may write an item, as its server says.
enum class OpcAccess { Unknown, ReadOnly, ReadWrite };

// The data type an item holds on its server; Unknown when the server does not say (a
// write then goes out as a double, and the server judges it).
enum class OpcDataType {
  Unknown,
  Boolean,
  SByte,
  Byte,
  Int16,
  UInt16,
  Int32,
  UInt32,
  Int64,
  UInt64,
  Float,
  Double,
  NotNumeric  // a text, a structure: no number can be written into it
};
// The type's name as servers and engineers write it ("Int32"); "" for Unknown.
const char* OpcDataTypeName(OpcDataType type);

// Whether a type holds a value exactly: an integer type no fraction and nothing past its
// range, a Boolean only 0 and 1, a Float nothing past its range (its rounding to single
// precision is the type's own), no type a value that is not finite.
enum class OpcValueFit { Fits, NotFinite, Fraction, OutOfRange, NotBoolean, NotNumeric };
OpcValueFit FitOfValue(OpcDataType type, double value);

// A value the server sampled for an item of a subscribed group.
struct OpcSampledValue {
  std::string ItemId;
  double Value = 0;
  int Quality = 0;
  std::int64_t SourceTimeUs = 0;  // the server's source time, µs since 1970; 0 unknown
};

class OpcItem {
 public:
  virtual ~OpcItem() = default;
  virtual const std::string& ItemId() const = 0;
  // The latest value delivered by the server (0 before any).
  virtual double Value() const = 0;
  // The latest quality word; see IsGoodQuality.
  virtual int Quality() const = 0;
  // Synchronous write of one value. Throws OpcError "Cannot write Items: <id>" when the
  // server rejects it; does nothing while the connection is not active.
  virtual void Write(double value) = 0;
  virtual void WriteInteger(int value) = 0;
  // What the server says of the item: whether this user may write it, and its data type.
  // Asked on the user-interface thread before a write; a backend that must ask the server
  // does so on the first call of a connection and keeps the answer. Unknown while not
  // connected or for an ID the server does not know.
  virtual OpcAccess Access() const { return OpcAccess::Unknown; }
  virtual OpcDataType DataType() const { return OpcDataType::Unknown; }
  // The server's source time of the latest value, ms since 1970; 0 when unknown.
  virtual std::int64_t SourceTimeMs() const { return 0; }
};
using OpcItemPtr = std::shared_ptr<OpcItem>;

class OpcGroup {
 public:
  virtual ~OpcGroup() = default;
  virtual const std::string& Name() const = 0;
  virtual void SetDeadBand(double percent) = 0;
  virtual void SetUpdateRateMs(int ms) = 0;
  // Adds and subscribes an item; the group keeps its value and quality current.
  virtual OpcItemPtr AddItem(const std::string& itemId) = 0;
  // Empties the group; items handed out before are detached.
  virtual void RemoveAllItems() = 0;
  // Reads every item of the group now, in one request, and waits for the answer (or the
  // link's loss); the items' Value and Quality then show it. May be called on a thread of
  // its own (the experiment's sampler) while the UI thread uses the client: a backend
  // that reaches the plant over a network serialises the link. A backend whose values are
  // always current does nothing.
  virtual void ReadNow() {}

  // Sampling by the server (the experiment's sampler, on its own thread): the group's items
  // sampled every periodMs and each sampling reported with its source time, queueSize
  // samples kept at the server between two deliveries. Returns the sampling interval the
  // server granted, ms; 0 when the server offers no subscriptions (the caller then reads).
  virtual double Subscribe(int /*periodMs*/, int /*queueSize*/) { return 0; }
  // The samples that have arrived since the last call, in the order sampled, waiting up to
  // waitMs for the first. Throws OpcError when the link is lost or has stalled (no answer
  // for longer than the server's keep-alive and the request time-out).
  virtual std::vector<OpcSampledValue> TakeSampled(int /*waitMs*/) { return {}; }
  // Ends the group's subscription (nothing when there is none or the link is gone).
  virtual void Unsubscribe() {}
};

// One entry of the item browser's tree: a branch to open, an item to pick, or both.
struct OpcBrowseNode {
  std::string Name;  // what the tree shows
  std::string Id;    // the item ID of an item; the branch's ID for BrowseChildren
  bool IsItem = false;
  bool HasChildren = false;
};

// What the item browser shows of an item beside its name: its data type, whether this
// user may write it, and its present value.
struct OpcItemFacts {
  OpcDataType DataType = OpcDataType::Unknown;
  std::string TypeName;  // as the server names it ("Double", "String"); "" when unknown
  OpcAccess Access = OpcAccess::Unknown;
  bool HasValue = false;
  bool IsNumber = false;  // the value is Value; else ValueText
  double Value = 0;       // a number (a Boolean as 0 or 1)
  std::string ValueText;  // a value that is no number ("abc", "polje (3)")
  std::string Status;     // why the server told nothing ("BadNodeIdUnknown"); else ""
};

// Access as the window writes it: "branje", "branje in pisanje", "" when unknown.
const char* OpcAccessText(OpcAccess access);

class OpcClient {
 public:
  virtual ~OpcClient() = default;
  // Identifiers of the servers on the local computer, usable as names for Connect.
  virtual std::vector<std::string> ListServers() = 0;
  // Drops any earlier connection, then connects; throws OpcError when the server
  // cannot be reached. An empty computer name means the local computer.
  virtual void Connect(const std::string& serverName, const std::string& computerName) = 0;
  // Afterwards the connection is inactive and the disconnect handler has fired. Never
  // waits on a server that has stopped answering: a request another thread has in flight
  // ends at once (and reports no lost link: the link was ended, not lost), and a backend
  // over a network closes its session at the server on a thread of its own.
  virtual void Disconnect() = 0;
  virtual bool IsConnected() const = 0;
  virtual OpcServerState ServerState() const = 0;
  // The server connected (empty while not connected).
  virtual OpcServerIdentity ServerIdentity() const { return {}; }
  // Throws OpcError when a group of that name exists.
  virtual OpcGroup& AddGroup(const std::string& name) = 0;
  // The item IDs the connected server offers, hierarchical parts separated by "."
  // (the item browser shows them as a tree); empty while not connected.
  virtual std::vector<std::string> BrowseItemIds() = 0;
  // The entries under a branch of the item browser's tree ("" the top), for a browser that
  // opens branches as the engineer expands them; empty while not connected. By default
  // the tree of BrowseItemIds, branches named by their dotted prefix.
  virtual std::vector<OpcBrowseNode> BrowseChildren(const std::string& branchId);
  // The facts of items by item ID, in order, read together (one request to a server over
  // the network, however many items); Unknown facts while not connected. By default
  // nothing is known.
  //
  // A client ReachedOverNetwork may be called on a thread of its own for these two
  // browsing calls (the item browser's, while the window goes on): it serialises its link.
  virtual std::vector<OpcItemFacts> DescribeItems(const std::vector<std::string>& itemIds);
  // Called by the program every few seconds on the user-interface thread, busy or idle.
  // A backend whose connection needs traffic to stay open (a token to renew, a session
  // to keep alive) does it here, and finds a server that went away while idle; one that
  // waits on a network does so on a thread of its own and returns at once.
  virtual void KeepAlive() {}
  // The plant is reached over a network, whose latency and stalls the program must not
  // wait on in its window: an experiment then samples on a thread of its own.
  virtual bool ReachedOverNetwork() const { return false; }
  // Connects again to the server of the last connect, with its security and user, asking
  // nothing (no question, no login: one needed fails it), after the link was lost; the lost
  // session is closed at the server. True when connected. May be called on the thread of
  // the experiment's sampler; the disconnect handler does not fire. By default false.
  virtual bool Reconnect() { return false; }
  // Inactive because the link failed (a Reconnect may bring it back), not because the
  // engineer ended it or never connected.
  virtual bool Lost() const { return false; }
  // How the next Connect to an OPC UA server is secured and who logs in (other servers
  // ignore it); kept until set again.
  virtual void SetUaConnectOptions(const UaConnectOptions& /*options*/) {}
  // The choice remembered for a server (the defaults for one never connected to).
  virtual OpcServerChoice RememberedChoice(const std::string& /*serverName*/) const { return {}; }
  // Called after every disconnect, whoever caused it; for a link lost while another
  // thread used it (a sampler's, a controller load's, the upkeep's probe), on that thread.
  virtual void SetDisconnectHandler(std::function<void()> handler) = 0;
};

// A client on a computer with no OPC server: nothing listed, never connected.
std::unique_ptr<OpcClient> CreateNoServerOpcClient();
