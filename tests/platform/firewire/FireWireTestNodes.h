// Nodes for the FireWire tests' fake bus: the machine's own, camcorders, and the other things
// that hang on a FireWire bus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FakeFireWireLibrary.h"

namespace vornak::test {

inline FakeFireWireLibrary::Node ThisMachine() {
    FakeFireWireLibrary::Node node;
    node.guid = 0x0011'0600'0000'0001;
    node.avcUnit = false;
    node.vcrSubunit = false;
    return node;
}

inline FakeFireWireLibrary::Node Camcorder(std::uint64_t guid,
                                           std::vector<std::string> leaves = {"Canon", "HV20"}) {
    FakeFireWireLibrary::Node node;
    node.guid = guid;
    node.textLeaves = std::move(leaves);
    return node;
}

// A MiniDV camcorder: an AV/C tape recorder like an HDV one, whose output signal mode says
// SD-DVCR 625/50.
inline FakeFireWireLibrary::Node MiniDv(std::uint64_t guid) {
    FakeFireWireLibrary::Node node = Camcorder(guid, {"Sony", "DCR-TRV900E"});
    node.outputSignalMode = 0x80;
    return node;
}

// A disk: no AV/C unit at all.
inline FakeFireWireLibrary::Node Disk(std::uint64_t guid) {
    FakeFireWireLibrary::Node node;
    node.guid = guid;
    node.avcUnit = false;
    node.textLeaves = {"Oxford", "FW disk"};
    return node;
}

// An AV/C unit without a tape recorder: a tuner, a monitor.
inline FakeFireWireLibrary::Node Tuner(std::uint64_t guid) {
    FakeFireWireLibrary::Node node;
    node.guid = guid;
    node.vcrSubunit = false;
    node.textLeaves = {"Motorola", "Set-top box"};
    return node;
}

}  // namespace vornak::test
