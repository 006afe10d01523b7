// The steps of a full QoS build, in the order the driver runs them:
// trees and default rules, application rules (with their service port chains),
// user rules, then the end-of-build check of the port-mapping files.
#pragma once

// Shaping trees and default classification.
int QoS_add_default_qdisc(const char *dev, int handle, int ceil);
int initQdisc();
void initDefaultRule();

// Application category rules.
int startSetAppRule();

// Service port chains.
void iptableCreateChain(const char *chain);
int iptableCreateFulsh(const char *chain);
int doServiceChain(const char *name, int direction, int mark);
int doChangeServiceChain(int type);
int doCheckService();

// User rules.
int startSetUserRule();
// Raises a bandwidth below 10 kbit/s (0 and negative values included) to 10.
void rate_check(int &rate);
