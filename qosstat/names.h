// What the QoS program's shaping trees are for, read back from their numbers:
// tree 1 shapes towards the WAN, 3 towards the LAN, 5 towards the wireless
// LAN; class h:1 is a tree's root and class h:m the leaf for packet mark m.
#pragma once

#include <cstddef>
#include <cstdint>

// "WAN", "LAN", "WLAN", or nullptr for a tree the QoS program does not make.
const char *treeRole(uint32_t major);

// The packet mark whose leaf a class minor number is: the QoS program writes
// the mark's decimal digits where tc reads hex, so minor 0x70 is mark 70.
// -1 when the minor has a hex digit above 9.
int markOfMinor(uint32_t minor);

// Writes what a class is for ("root", "default, high priority",
// "xboxlive UDP to LAN", "user rule 3 to WAN", ...) into buf; an empty text
// for a class the numbering plan does not know.
void classPurpose(uint32_t classid, char *buf, size_t size);

// A handle the way tc writes it: "1:70", or "1:" for minor 0.
void handleText(uint32_t handle, char *buf, size_t size);
