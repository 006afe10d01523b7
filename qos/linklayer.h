// The line's own bytes: what each packet costs on the line beyond its IP
// packet (VX_QoSOverhead, 0 to 256 bytes) and how the line carries it
// (VX_QoSLinkLayer: ethernet, atm or ptm). HTB counts each packet at its
// size on the line through a size table on the root qdisc of every tree:
//  - the overhead is added to the IP packet (a tree on an Ethernet device
//    sees its 14-byte header already, the PPP session's interface none);
//  - atm: the sum is carried in 53-byte cells of 48 bytes each;
//  - ethernet and ptm: an overhead of 18 or more holds an Ethernet header
//    and check sum, so nothing is shorter than a 64-byte frame
//    (overhead + 46);
//  - ptm: 64b/65b coding takes 1/65 of the line: both speeds shrink by it.
// Without either key, nothing changes.
#pragma once

// Reads the keys (an invalid value is said and ignored) and scales the
// speeds for ptm; after the speeds are read.
void lineStart();
// The words before "htb" on the root qdisc line of the tree on `dev`: ""
// without the keys, else "stab ... " ending in a blank.
const char *sizeTable(const char *dev);
