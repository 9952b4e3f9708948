// A small OPC UA plant for the tests: a simulated loop (MV, U, Y1, Y2, SP, P, I, D, R/A,
// manual and automatic switches), a tank-level loop (an integrating process), a process
// that runs away after a step (MV, Y1, R/A), items of other data
// types, a folder tree and a folder with more children than one Browse returns. Security None,
// anonymous; or secured.
//
//   node plant_server.js PORT_FILE     listens on a free loopback port, writes it to
//                                      PORT_FILE once the server accepts connections.
//   node plant_server.js PORT_FILE secure [PKI]
//                                      the secured plant: only Basic256Sha256,
//                                      Aes128_Sha256_RsaOaep and Aes256_Sha256_RsaPss in
//                                      Sign and SignAndEncrypt, no anonymous login, one user
//                                      (SecureUser below); any client certificate is
//                                      accepted. PKI (default pki-secure beside the script)
//                                      holds its certificate: another folder, another one.
"use strict";
const net = require("net");
const fs = require("fs");
const path = require("path");
const { OPCUAServer } = require("node-opcua-server");
const { OPCUACertificateManager } = require("node-opcua-certificate-manager");
const { Variant, DataType } = require("node-opcua-variant");
const { StatusCodes } = require("node-opcua-status-code");
const { MessageSecurityMode } = require("node-opcua-service-secure-channel");
const { SecurityPolicy } = require("node-opcua-secure-channel");

const portFile = process.argv[2];
const secure = process.argv[3] === "secure";
const pkiFolder = process.argv[4] || path.join(__dirname, secure ? "pki-secure" : "pki");
const SecureUser = { name: "inzenir", password: "Geslo-Zanka-7" };
if (!portFile) {
  console.error("usage: node plant_server.js PORT_FILE");
  process.exit(2);
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.unref();
    probe.on("error", reject);
    probe.listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// The loop: a first-order process with dead time behind an actuator, and a PI controller
// that drives the actuator in automatic. Steps every 10 ms of wall time.
const loop = { MV: 0, U: 0, Y1: 0, Y2: 0, SP: 0, P: 1, I: 10, D: 0, auto: false, integral: 0 };
const stepMs = 10;
const gain = 2, timeConstantMs = 2000, outerTimeConstantMs = 5000;
setInterval(() => {
  if (loop.auto) {
    const e = loop.SP - loop.Y1;
    loop.integral += (loop.I > 0 ? e * stepMs / (loop.I * 1000) : 0);
    loop.U = Math.min(100, Math.max(0, loop.P * (e + loop.integral)));
  } else {
    loop.U = loop.MV;
  }
  loop.Y1 += (gain * loop.U - loop.Y1) * stepMs / timeConstantMs;
  loop.Y2 += (loop.Y1 - loop.Y2) * stepMs / outerTimeConstantMs;
}, stepMs).unref();

// The tank: the level rises at 0.02 %/s per % of inflow valve above the 40 % outflow, 8 s
// after the valve moves, and stays within 0..100 %; a PI level controller (P gain, I the
// integral time in s) drives the valve in automatic.
const tank = {
  MV: 40,
  U: 40,
  Level: 50,
  SP: 50,
  P: 3,
  I: 60,
  D: 0,
  auto: false,
  integral: 0
};
const tankDelay = new Array(Math.round(8000 / stepMs)).fill(40);
setInterval(() => {
  if (tank.auto) {
    const e = tank.SP - tank.Level;
    tank.integral += (tank.I > 0 ? e * stepMs / (tank.I * 1000) : 0);
    tank.U = Math.min(100, Math.max(0, 40 + tank.P * (e + tank.integral)));
  } else {
    tank.U = tank.MV;
  }
  tankDelay.push(tank.U);
  const inflow = tankDelay.shift();
  tank.Level = Math.min(100, Math.max(0, tank.Level + 0.02 * (inflow - 40) * stepMs / 1000));
}, stepMs).unref();

// A process that runs away: in manual, Y1 climbs at 2 %/s per % of MV above 40 (and falls
// below it); in automatic its controller holds Y1 at 50 (MV is then not its output). Y1 may be
// written, so that a test starts it where it wants.
const runaway = {
  MV: 40,
  Y1: 50,
  auto: true
};
setInterval(() => {
  if (runaway.auto) {
    runaway.Y1 += (50 - runaway.Y1) * stepMs / 1000;
  } else {
    runaway.Y1 += 2 * (runaway.MV - 40) * stepMs / 1000;
  }
}, stepMs).unref();

function finite(variant) {
  return typeof variant.value === "number" && Number.isFinite(variant.value);
}

async function main() {
  const port = await freePort();
    const server = new OPCUAServer({
    port,
    hostname: "127.0.0.1",
    securityModes: secure ? [MessageSecurityMode.Sign, MessageSecurityMode.SignAndEncrypt]
                          : [MessageSecurityMode.None],
    securityPolicies: secure
      ? [SecurityPolicy.Basic256Sha256, SecurityPolicy.Aes128_Sha256_RsaOaep, SecurityPolicy.Aes256_Sha256_RsaPss]
      : [SecurityPolicy.None],
    allowAnonymous: !secure,
    userManager: secure
      ? { isValidUser: (name, password) => name === SecureUser.name && password === SecureUser.password }
      : undefined,
    // One certificate for every instance, made once in its folder.
    serverCertificateManager: new OPCUACertificateManager({ rootFolder: pkiFolder }),
    userCertificateManager: new OPCUACertificateManager({ rootFolder: pkiFolder + "-users" }),
    serverInfo: { applicationUri: "urn:vortuner:test-plant", productName: "Test plant" },
    buildInfo: { productName: "VorTuner test plant", softwareVersion: "1.0" },
    // The tests share one plant and run two at a time; a session a cut link leaves lives
    // on until its time-out.
    maxAllowedSessionNumber: 100,
  });
  if (secure) {
    // The tests need no manual step: client certificates are trusted as they come.
    server.serverCertificateManager.automaticallyAcceptUnknownCertificate = true;
  }
  await server.initialize();
  const addressSpace = server.engine.addressSpace;
  const ns = addressSpace.registerNamespace("urn:vortuner:plant");
  const objects = addressSpace.rootFolder.objects;

  const plant = ns.addFolder(objects, { browseName: "Plant", nodeId: "s=Plant" });
  const loop1 = ns.addFolder(plant, { browseName: "Loop1", nodeId: "s=Loop1" });
  const types = ns.addFolder(plant, { browseName: "Types", nodeId: "s=Types" });

  function analog(parent, name, writable, key, state = loop, prefix = '') {
    ns.addVariable({
      organizedBy: parent,
      browseName: name,
      nodeId: 's=' + prefix + name,
      dataType: 'Double',
      minimumSamplingInterval: 10,
      accessLevel: writable ? 'CurrentRead | CurrentWrite' : 'CurrentRead',
      userAccessLevel: writable ? 'CurrentRead | CurrentWrite' : 'CurrentRead',
      value: {
        get: () => new Variant({dataType: DataType.Double, value: state[key]}),
        set: writable ?
            (v) => {
              if (!finite(v)) return StatusCodes.BadOutOfRange;
              state[key] = v.value;
              return StatusCodes.Good;
            } :
            undefined,
      },
    });
  }
  analog(loop1, "MV", true, "MV");
  analog(loop1, "U", false, "U");
  analog(loop1, "Y1", false, "Y1");
  analog(loop1, "Y2", false, "Y2");
  analog(loop1, "SP", true, "SP");
  analog(loop1, "P", true, "P");
  analog(loop1, "I", true, "I");
  analog(loop1, "D", true, "D");
  ns.addVariable({
    organizedBy: loop1, browseName: "RA", nodeId: "s=RA", dataType: "Int32", minimumSamplingInterval: 10,
    accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
    value: {
      get: () => new Variant({ dataType: DataType.Int32, value: loop.auto ? 1 : 0 }),
      set: (v) => { loop.auto = v.value !== 0; return StatusCodes.Good; },
    },
  });
  for (const [name, auto] of [["Manual", false], ["Auto", true]]) {
    ns.addVariable({
      organizedBy: loop1, browseName: name, nodeId: "s=" + name, dataType: "Boolean",
      minimumSamplingInterval: 10,
      accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
      value: {
        get: () => new Variant({ dataType: DataType.Boolean, value: loop.auto === auto }),
        set: (v) => { if (v.value) loop.auto = auto; return StatusCodes.Good; },
      },
    });
  }

  const tankFolder = ns.addFolder(plant, {browseName: 'Tank', nodeId: 's=Tank'});
  for (const [name, writable] of [
           ['MV', true], ['U', false], ['Level', false], ['SP', true], ['P', true], ['I', true],
           ['D', true]])
    analog(tankFolder, name, writable, name, tank, 'Tank.');
  ns.addVariable({
    organizedBy: tankFolder,
    browseName: 'RA',
    nodeId: 's=Tank.RA',
    dataType: 'Int32',
    minimumSamplingInterval: 10,
    accessLevel: 'CurrentRead | CurrentWrite',
    userAccessLevel: 'CurrentRead | CurrentWrite',
    value: {
      get: () => new Variant({dataType: DataType.Int32, value: tank.auto ? 1 : 0}),
      set: (v) => {
        const auto = v.value !== 0;
        if (auto && !tank.auto)
          tank.integral = tank.P > 0 ? (tank.U - 40) / tank.P - (tank.SP - tank.Level) : 0;
        tank.auto = auto;
        return StatusCodes.Good;
      },
    },
  });

  const runawayFolder = ns.addFolder(plant, {browseName: 'Runaway', nodeId: 's=Runaway'});
  analog(runawayFolder, 'MV', true, 'MV', runaway, 'Runaway.');
  analog(runawayFolder, 'Y1', true, 'Y1', runaway, 'Runaway.');
  ns.addVariable({
    organizedBy: runawayFolder,
    browseName: 'RA',
    nodeId: 's=Runaway.RA',
    dataType: 'Int32',
    minimumSamplingInterval: 10,
    accessLevel: 'CurrentRead | CurrentWrite',
    userAccessLevel: 'CurrentRead | CurrentWrite',
    value: {
      get: () => new Variant({dataType: DataType.Int32, value: runaway.auto ? 1 : 0}),
      set: (v) => {
        runaway.auto = v.value !== 0;
        return StatusCodes.Good;
      },
    },
  });

  // Items of other data types, held as written.
  const held = { Float: 1.5, Int32: -7, UInt16: 7, Boolean: false, Text: "abc" };
  const typeOf = { Float: DataType.Float, Int32: DataType.Int32, UInt16: DataType.UInt16,
                   Boolean: DataType.Boolean, Text: DataType.String };
  for (const name of Object.keys(held)) {
    ns.addVariable({
      organizedBy: types, browseName: name, nodeId: "s=Types." + name,
      dataType: name === "Text" ? "String" : name, minimumSamplingInterval: 10,
      accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
      value: {
        get: () => new Variant({ dataType: typeOf[name], value: held[name] }),
        set: (v) => {
          if (v.dataType !== typeOf[name]) return StatusCodes.BadTypeMismatch;
          held[name] = v.value;
          return StatusCodes.Good;
        },
      },
    });
  }
  ns.addVariable({
    organizedBy: types, browseName: "Fixed", nodeId: "i=1001", dataType: "Double",
    accessLevel: "CurrentRead", userAccessLevel: "CurrentRead",
    value: new Variant({ dataType: DataType.Double, value: 42.5 }),
  });

  // An item that says it may be written but refuses every write, as a controller whose
  // parameter is locked by its own configuration does.
  ns.addVariable({
    organizedBy: types, browseName: "Refusing", nodeId: "s=Types.Refusing", dataType: "Double",
    accessLevel: "CurrentRead | CurrentWrite", userAccessLevel: "CurrentRead | CurrentWrite",
    value: {
      get: () => new Variant({ dataType: DataType.Double, value: 5 }),
      set: () => StatusCodes.BadUserAccessDenied,
    },
  });

  // A deeper tree, and a folder with more children than one Browse answer carries.
  let parent = plant;
  for (const name of ["Area", "Line", "Cell"]) parent = ns.addFolder(parent, { browseName: name, nodeId: "s=" + name });
  ns.addVariable({ organizedBy: parent, browseName: "Deep", nodeId: "s=Deep", dataType: "Double",
                   value: new Variant({ dataType: DataType.Double, value: 3 }) });
  const many = ns.addFolder(plant, { browseName: "Many", nodeId: "s=Many" });
  for (let i = 0; i < 1500; ++i)
    ns.addVariable({ organizedBy: many, browseName: "V" + i, nodeId: "s=Many." + i, dataType: "Double",
                     value: new Variant({ dataType: DataType.Double, value: i }) });

  await server.start();
  fs.writeFileSync(portFile + ".tmp", String(port) + "\n");
  fs.renameSync(portFile + ".tmp", portFile);
  const stop = async () => { await server.shutdown(0); process.exit(0); };
  process.on("SIGTERM", stop);
  process.on("SIGINT", stop);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
