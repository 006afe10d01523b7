// The base of every build: one HTB shaping tree per present device, and the
// fixed classification rules at the head of the mangle table.
#pragma once

int QoS_add_default_qdisc(const char *dev, int handle, int ceil);
int initQdisc();
void initDefaultRule();

// A leaf of tree `tree` on `dev`: class tree:mark under the root class, its
// SFQ queue (handle "1" followed by the mark) and its filter (rules.h).
struct Leaf {
  const char *dev;
  int tree;
  int mark;
  int rate; // kbit/s
  int ceil; // kbit/s
  int classPrio;
  int filterPrio;
};
// The blanks after "class", "qdisc" and "filter" as each builder issues them.
void addLeaf(const Leaf &leaf, const char *classGap = " ", const char *qdiscGap = " ", const char *filterGap = " ");
// The plain leaf for a mark on a tree that has no rule of its own for it:
// 10 kbit, the link speed `speed` as ceiling, prio 4.
void plainLeaf(const char *dev, int tree, int mark, int speed);
