#!/usr/bin/env python3
"""A scripted OPC UA server (security None, anonymous) that misbehaves on purpose, for the
client's tests. It answers the services the client uses just well enough, and in one mode
breaks the protocol the way a broken or hostile server would.

    hostile_ua_server.py MODE      prints the port it listens on (loopback), then serves

Nodes: i=2255 namespace table, i=2259 server state, ns=1;s=Value (a Double, writable),
ns=1;s=Text (a String), ns=1;s=Sessions (the sessions open now), ns=1;s=Released
(continuation points released), ns=1;s=Opened (secure channel tokens issued, renewals
included), ns=1;s=Folder (to browse).

Modes (what breaks, on a Read, Browse or Write of an ns=1 node unless said otherwise):
  normal          nothing
  null_arrays     a 65 KB Read answer of arrays of a million Null variants each
  nested          a Read answer of variant arrays nested to the limit
  foreign         after the session: answers with request ids never sent, without end
  late[:SECONDS]  every answer 4.5 s (or SECONDS) late
  endless_browse  every Browse and BrowseNext answer carries a new continuation point
  cycling_browse  every Browse and BrowseNext answer is the same, its continuation point too
  kept_point      a browse in three answers, each with a reference of its own, under one
                  continuation point
  slow_browse[:SECONDS]  as endless_browse, each browse answer 0.3 s (or SECONDS) late
  wrong_handle    a Read is answered with the request handle of another request
  fault:CODE      a Read is answered by a ServiceFault with the status CODE (hex)
  nan:FIELD, inf:FIELD  the number FIELD is NaN (or +infinity): session (the revised
                  session time-out), publishing (the revised publishing interval),
                  sampling (the revised sampling interval), access (the access levels of
                  every node, as Doubles), state (the server state, a Double)
  lifetime:0, lifetime:max  the secure channel's token lives 0 ms (or 2^32 - 1 ms)
  odd_policies    the endpoints offer only policies the client cannot use (an unknown URI,
                  a mode that does not exist, a mode that does not fit the policy)
  control_text    text with line breaks, ESC, NUL and invalid UTF-8 in values and names
  err_reason[:big]  a Read is answered by an error message whose reason forges a line
                  (or is 65 000 characters long)
  state_huge      the server state is the Double 1e300
  state_text      the server state is a String
  drop_write      a Write is carried out, then the connection dropped unanswered
  drop_read       a Read of ns=1;s=Value drops the connection unanswered
  proxy:PORT:N    no server: forwards to 127.0.0.1:PORT, and kills each connection once
                  the client has sent N messages (a link killed between client and server)
"""
import socket
import struct
import sys
import threading
import time

MODE, _, ARGUMENT = (sys.argv[1] if len(sys.argv) > 1 else "normal").partition(":")
LATE_S = float(ARGUMENT or 4.5) if MODE == "late" else 0
BROWSE_LATE_S = float(ARGUMENT or 0.3) if MODE == "slow_browse" else 0
ODD = {"nan": float("nan"), "inf": float("inf")}.get(MODE)


def number(field, normal):
    """The Double the server sends for FIELD: NaN or infinity where the mode says."""
    return struct.pack("<d", ODD if ODD is not None and ARGUMENT == field else normal)

LOCK = threading.Lock()
STATE = {"value": 1.5, "sessions": set(), "released": 0, "next": 1, "points": 0, "opened": 0}


def u32(v):
    return struct.pack("<I", v)


def i32(v):
    return struct.pack("<i", v)


def string(b):
    if b is None:
        return i32(-1)
    if isinstance(b, str):
        b = b.encode()
    return i32(len(b)) + b


def numeric_node(n, ns=0):
    if ns == 0 and n < 256:
        return bytes([0, n])
    return bytes([1, ns]) + struct.pack("<H", n)


def response_header(handle, status=0):
    return struct.pack("<qII", 0, handle, status) + b"\x00" + i32(-1) + b"\x00\x00\x00"


def variant(kind, value):
    if kind == "double":
        return b"\x0b" + struct.pack("<d", value)
    if kind == "int32":
        return b"\x06" + i32(value)
    if kind == "string":
        return b"\x0c" + string(value)
    if kind == "strings":
        return b"\x8c" + i32(len(value)) + b"".join(string(s) for s in value)
    raise ValueError(kind)


def data_value(v):
    return b"\x01" + v


class Reader:
    def __init__(self, b):
        self.b, self.p = b, 0

    def take(self, n):
        out = self.b[self.p:self.p + n]
        self.p += n
        return out

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def string(self):
        n = self.i32()
        return b"" if n < 0 else self.take(n)

    def node(self):
        form = self.u8() & 0x3F
        if form == 0:
            return "i=%d" % self.u8()
        if form == 1:
            ns = self.u8()
            n = self.u16()
        elif form == 2:
            ns = self.u16()
            n = self.u32()
        elif form == 3:
            ns = self.u16()
            s = self.string().decode(errors="replace")
            return ("ns=%d;s=%s" % (ns, s)) if ns else "s=" + s
        else:
            raise ValueError("node id form %d" % form)
        return ("ns=%d;i=%d" % (ns, n)) if ns else "i=%d" % n

    def request_header(self):
        token = self.node()
        self.take(8)
        handle = self.u32()
        self.take(4)
        self.string()
        self.take(4)
        self.node()
        self.u8()
        return token, handle


class Connection:
    def __init__(self, sock):
        self.sock, self.seq, self.channel = sock, 1, 0

    def receive(self, n):
        out = b""
        while len(out) < n:
            part = self.sock.recv(n - len(out))
            if not part:
                raise ConnectionError("closed")
            out += part
        return out

    def send_message(self, kind, request_id, body, chunk=8000):
        """Sends a body in chunks of at most `chunk` bytes."""
        parts = [body[i:i + chunk] for i in range(0, len(body), chunk)] or [b""]
        for k, part in enumerate(parts):
            final = b"F" if k == len(parts) - 1 else b"C"
            if kind == b"OPN":
                security = u32(self.channel) + string(
                    "http://opcfoundation.org/UA/SecurityPolicy#None") + string(None) + string(None)
            else:
                security = u32(self.channel) + u32(1)
            payload = security + u32(self.seq) + u32(request_id) + part
            self.seq += 1
            self.sock.sendall(kind + final + u32(8 + len(payload)) + payload)

    def serve(self):
        while True:
            head = self.receive(8)
            kind, size = head[:3], struct.unpack("<I", head[4:8])[0]
            body = self.receive(size - 8)
            if kind == b"HEL":
                self.sock.sendall(b"ACKF" + u32(28) + u32(0) + u32(65535) + u32(65535) + u32(0) + u32(0))
            elif kind == b"OPN":
                r = Reader(body)
                r.u32()
                r.string()
                r.string()
                r.string()
                r.u32()
                request_id = r.u32()
                r.node()
                _, handle = r.request_header()
                with LOCK:  # a renewal keeps the channel
                    if not self.channel:
                        self.channel = STATE["next"]
                        STATE["next"] += 1
                    STATE["opened"] += 1
                time.sleep(LATE_S)
                lifetime = {"0": 0, "max": 0xFFFFFFFF}.get(ARGUMENT, 600000) if MODE == "lifetime" else 600000
                answer = numeric_node(449) + response_header(handle) + u32(0) + u32(self.channel) + u32(1) + \
                    struct.pack("<q", 0) + u32(lifetime) + string(b"")
                self.send_message(b"OPN", request_id, answer)
            elif kind == b"CLO":
                return
            elif kind == b"MSG":
                r = Reader(body)
                r.take(8)
                r.u32()
                request_id = r.u32()
                self.request(r, request_id)

    def request(self, r, request_id):
        service = r.node()
        token, handle = r.request_header()
        time.sleep(LATE_S)
        ok = response_header(handle)
        if service == "i=428":  # GetEndpoints
            def endpoint(mode, policy):
                return string("opc.tcp://127.0.0.1") + string("urn:hostile") + string(None) + b"\x00" + \
                    u32(0) + string(None) + string(None) + i32(-1) + string(None) + u32(mode) + \
                    string(policy) + i32(1) + string("anonymous") + \
                    u32(0) + string(None) + string(None) + string(None) + string(None) + b"\x00"
            if MODE == "odd_policies":
                offered = [endpoint(3, "http://example.com/UA/SecurityPolicy#Rot13"),
                           endpoint(7, "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256"),
                           endpoint(2, "http://opcfoundation.org/UA/SecurityPolicy#None")]
            else:
                offered = [endpoint(1, "http://opcfoundation.org/UA/SecurityPolicy#None")]
            self.send_message(b"MSG", request_id, numeric_node(431) + ok + i32(len(offered)) + b"".join(offered))
        elif service == "i=461":  # CreateSession
            with LOCK:
                n = STATE["next"]
                STATE["next"] += 1
                STATE["sessions"].add("ns=1;i=%d" % n)
            answer = numeric_node(464) + ok + numeric_node(n, 1) + numeric_node(n, 1) + number("session", 60000) + \
                string(b"\x00" * 32) + string(None) + i32(-1) + i32(-1) + string(None) + string(None) + u32(0)
            self.send_message(b"MSG", request_id, answer)
        elif service == "i=467":  # ActivateSession
            with LOCK:
                known = token in STATE["sessions"]
            status = 0 if known else 0x80250000  # BadSessionIdInvalid
            self.send_message(b"MSG", request_id, numeric_node(470) + response_header(handle, status) +
                              string(b"\x00" * 32) + i32(-1) + i32(-1))
        elif service == "i=473":  # CloseSession
            with LOCK:
                STATE["sessions"].discard(token)
            self.send_message(b"MSG", request_id, numeric_node(476) + ok)
        elif service == "i=631":
            self.read(r, request_id, ok, handle)
        elif service == "i=673":
            self.write(r, request_id, ok)
        elif service in ("i=527", "i=533"):
            self.browse(r, request_id, ok, service == "i=533")
        elif service == "i=787":  # CreateSubscription: the interval asked for, or the mode's
            asked = struct.unpack("<d", r.take(8))[0]
            answer = numeric_node(790) + ok + u32(1) + number("publishing", asked) + u32(30) + u32(10)
            self.send_message(b"MSG", request_id, answer)
        elif service == "i=751":  # CreateMonitoredItems: one good result per item
            r.u32()
            r.u32()
            count = r.i32()
            results = (u32(0) + u32(1) + number("sampling", 100) + u32(1) + numeric_node(0) + b"\x00") * count
            self.send_message(b"MSG", request_id, numeric_node(754) + ok + i32(count) + results + i32(-1))
        else:
            self.send_message(b"MSG", request_id, numeric_node(397) + response_header(handle, 0x800B0000))

    def read(self, r, request_id, ok, handle):
        r.take(12)
        nodes, attributes = [], []
        for _ in range(r.i32()):
            nodes.append(r.node())
            attributes.append(r.u32())
            r.string()
            r.u16()
            r.string()
        user = "ns=1;s=Value" in nodes
        if user and MODE == "wrong_handle":
            ok = response_header(handle + 1)
        if user and MODE == "fault":
            self.send_message(b"MSG", request_id, numeric_node(397) + response_header(handle, int(ARGUMENT, 16)))
            return
        if user and MODE == "foreign":
            answer = numeric_node(634) + ok + i32(1) + data_value(variant("double", 1)) + i32(-1)
            n = 1000
            while True:
                self.send_message(b"MSG", request_id + n, answer)
                n += 1
        if user and MODE == "err_reason":
            reason = string("x" * 65000 if ARGUMENT == "big" else "bye\nvortuner-cli opc: all is well\x1b[2J")
            self.sock.sendall(b"ERRF" + u32(12 + len(reason)) + u32(0x80020000) + reason)
            time.sleep(1)
            raise ConnectionError("ended")
        if MODE == "drop_read" and "ns=1;s=Value" in nodes:
            self.sock.shutdown(socket.SHUT_RDWR)
            raise ConnectionError("dropped")
        if user and MODE == "null_arrays":
            values = [b"\x01\x80" + i32(1000000)] * 13000
        elif user and MODE == "nested":
            inner = b"\x80" + i32(1000000)
            for _ in range(15):
                inner = b"\x98" + i32(201) + inner + (b"\x80" + i32(0)) * 200
            values = [b"\x01" + inner]
        else:
            values = [data_value(b"\x0b" + number("access", 3) if a in (17, 18) and MODE in ("nan", "inf")
                                 else self.value_of(n)) for n, a in zip(nodes, attributes)]
        self.send_message(b"MSG", request_id, numeric_node(634) + ok + i32(len(values)) + b"".join(values) + i32(-1))

    def value_of(self, node):
        with LOCK:
            if node == "i=2255":
                return variant("strings", ["http://opcfoundation.org/UA/", "urn:hostile"])
            if node == "i=2259":
                if MODE == "state_huge":
                    return variant("double", 1e300)
                if MODE == "state_text":
                    return variant("string", "Running")
                if MODE in ("nan", "inf") and ARGUMENT == "state":
                    return b"\x0b" + number("state", 0)
                return variant("int32", 0)
            if node == "ns=1;s=Text":
                return variant("string", b"two\nlines\x1b[31m red\x00nul \xff\xfe end"
                               if MODE == "control_text" else b"plain")
            if node == "ns=1;s=Sessions":
                return variant("int32", len(STATE["sessions"]))
            if node == "ns=1;s=Released":
                return variant("int32", STATE["released"])
            if node == "ns=1;s=Opened":
                return variant("int32", STATE["opened"])
            return variant("double", STATE["value"])

    def write(self, r, request_id, ok):
        count = r.i32()
        for _ in range(count):
            r.node()
            r.u32()
            r.string()
            r.u8()  # data value mask
            kind = r.u8()
            if kind == 0x0B:
                with LOCK:
                    STATE["value"] = struct.unpack("<d", r.take(8))[0]
        if MODE == "drop_write":
            self.sock.shutdown(socket.SHUT_RDWR)
            raise ConnectionError("dropped")
        self.send_message(b"MSG", request_id, numeric_node(676) + ok + i32(count) + u32(0) * count + i32(-1))

    def browse(self, r, request_id, ok, is_next):
        if is_next:
            if r.u8():
                with LOCK:
                    STATE["released"] += 1
                self.send_message(b"MSG", request_id, numeric_node(536) + ok + i32(1) + u32(0) + string(None) +
                                  i32(0) + i32(-1))
                return
        name = "child\nforged" if MODE == "control_text" else "child"
        target = "Value"
        if MODE == "kept_point":  # three answers, each with children of its own
            self.rounds = 0 if not is_next else getattr(self, "rounds", 0) + 1
            name = target = "Value%d" % self.rounds
        reference = numeric_node(35) + b"\x01" + b"\x03\x01\x00" + string(target) + struct.pack("<H", 1) + \
            string(name) + b"\x02" + string(name) + u32(2) + numeric_node(63)
        time.sleep(BROWSE_LATE_S)
        if MODE in ("endless_browse", "slow_browse"):
            with LOCK:
                STATE["points"] += 1
                point = string(b"more%d" % STATE["points"])
        elif MODE == "cycling_browse":
            point = string(b"again")
        elif MODE == "kept_point":
            point = string(b"kept" if self.rounds < 2 else None)
        else:
            point = string(None)
        self.send_message(b"MSG", request_id, numeric_node(536 if is_next else 530) + ok + i32(1) + u32(0) + point +
                          i32(1) + reference + i32(-1))


def serve(sock):
    try:
        Connection(sock).serve()
    except (ConnectionError, OSError, ValueError, struct.error):
        pass
    finally:
        sock.close()


def proxy(client, port, limit):
    """Forwards one connection; kills it after `limit` messages from the client."""
    server = socket.create_connection(("127.0.0.1", port))

    def back():
        try:
            while True:
                data = server.recv(65536)
                if not data:
                    break
                client.sendall(data)
        except OSError:
            pass
        for s in (client, server):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    threading.Thread(target=back, daemon=True).start()
    link = Connection(client)
    try:
        for _ in range(limit):
            head = link.receive(8)
            server.sendall(head + link.receive(struct.unpack("<I", head[4:8])[0] - 8))
    except (ConnectionError, OSError):
        pass
    for s in (client, server):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    while True:
        sock, _ = listener.accept()
        if MODE == "proxy":
            port, limit = ARGUMENT.split(":")
            threading.Thread(target=proxy, args=(sock, int(port), int(limit)), daemon=True).start()
        else:
            threading.Thread(target=serve, args=(sock,), daemon=True).start()


if __name__ == "__main__":
    main()
