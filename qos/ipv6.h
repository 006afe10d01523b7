// The IPv6 mode (VX_QoSIPv6 exactly 1). Every mangle rule that names no IPv4
// address marks IPv6 traffic too: the same rule, in the same order, in
// ip6tables' mangle table (each rule states its families: rules.h). Every
// class is reached by its mark from both families: each fw filter gets a
// `protocol ipv6` twin with the same handle and class. The kernel keeps one
// protocol per filter priority, and IPv4 uses 1, 2, 4 and 6, so the twin's
// priority is the IPv4 one with a 1 in front: 11, 12, 14 and 16.
#pragma once

enum class Ipv6Mode {
  Off,   // IPv4 only, exactly as without the mode
  Clear, // the mode is off, but an earlier run left IPv6 rules: the reset removes them
  On,
};

// Written by a run in the IPv6 mode, removed by the first full build without
// it once its reset has flushed the IPv6 mangle table (a failed flush keeps
// it, and says so). Only a run that finds it starts ip6tables with the mode
// off.
inline constexpr char kIpv6Marker[] = "/var/vx_qos.ipv6";
